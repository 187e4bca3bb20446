// Start-up, shut-down and the help command of the window.
#include "crtest_form.h"

#include "check.h"
#include "drawerdriver.h"
#include "formservices.h"
#include "statisticsblock.h"

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

    if (m_driver)
        m_deviceResult = m_driver->openBexor();
    // A close handled in this yield has closed the device: start-up must not go on to
    // retry the open, refresh or read.
    if (!yieldToEvents())
        return;

    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    m_services.show(this);

    if (!m_driver) {
        // The library or one of its functions is missing: say which, in the loader's
        // words, and call nothing of it for the rest of the run.
        message(OpenErrorText + QLatin1Char('\n') + m_driverError);
        return;
    }
    const QList<int32_t> openResults{m_deviceResult};
    if (m_deviceResult != 0) {
        // A controller that was just plugged in may refuse the first open; one retry at
        // once is enough to tell that from a missing device.
        m_deviceResult = m_driver->openBexor();
        logOpenOutcome(openResults + QList<int32_t>{m_deviceResult});
        if (m_deviceResult != 0) {
            message(OpenErrorText);
            return;
        }
    } else {
        logOpenOutcome(openResults);
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
