// Start-up, shut-down and the help command of the window.
#include "crtest_form.h"

#include "formservices.h"

#include <QFrame>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

#include <cstdlib>

namespace {
const QString OpenErrorText = QStringLiteral("USB CR Open error !!");
}

void CRTEST_Form::Form_Load()
{
    CRFrame->setEnabled(false);
    CountFrame->setEnabled(false);
    Kick_Cmd->setEnabled(false);
    Status_Cmd->setEnabled(false);

    // The window appears between the first open and its retry. A close handled in the
    // yield there has closed the device: start-up must not go on to retry, refresh or read.
    const bool goesOn = m_controller.open([this] {
        if (!yieldToEvents())
            return false;
        if (QScreen *screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
        m_services.show(this);
        return true;
    });
    if (!goesOn)
        return;
    if (!m_controller.bound()) {
        // The library or one of its functions is missing: say which, in the loader's
        // words, and call nothing of it for the rest of the run.
        message(OpenErrorText + QLatin1Char('\n') + m_controller.snapshot().bindError);
        return;
    }
    if (!m_controller.isOpen()) {
        message(OpenErrorText);
        return;
    }

    Kick_Cmd->setEnabled(true);
    Status_Cmd->setEnabled(true);
    Status_Cmd_Click();
    ShowStatistics();
}

void CRTEST_Form::Form_Unload()
{
    closeDevice();
    yieldToEvents();
}

void CRTEST_Form::Exit_Cmd_Click()
{
    closeDevice();
    yieldToEvents();
    m_services.endProgram(EXIT_SUCCESS);
}

void CRTEST_Form::cmdHelp_Click()
{
    // A failure may be told long after the click, from the event loop: it is told like any
    // other event of the window, and not at all once the program has ended.
    m_services.startHelp([this](const QString &why) {
        m_rules.run([this, why] { message(tr("The help text could not be opened: %1").arg(why)); });
    });
}
