// The real window wired to a scripted driver and scripted services, sharing one log, so a
// test can check the order of driver calls against waits, yields and message boxes. It
// brings in the window's controls and QTest for the tests that drive it.
#pragma once

#include "crtest_form.h"
#include "drawerdriver.h"
#include "formservices.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <array>
#include <cstring>
#include <functional>
#include <memory>

// The window's collaborators: nothing blocks, nothing is shown, and each wait, yield,
// message box, help start and end of the program is logged and can be scripted.
struct FakeServices : FormServices
{
    explicit FakeServices(QStringList &log) : log(log) { }

    QStringList &log;
    // Gets the yield's number, counted from 1.
    std::function<void(int)> onYield;
    std::function<void(const QString &)> onMessage;
    std::function<void()> onSleep;
    bool helpStarts = true;
    int yields = 0, paints = 0;

    // The texts of the message boxes shown, in order.
    QStringList messages() const { return log.filter("Message:").replaceInStrings("Message:", ""); }
    template <typename Script, typename... Args>
    void note(const QString &entry, const Script &script, Args... args)
    {
        log << entry;
        if (script)
            script(args...);
    }
    void sleep(std::chrono::milliseconds time) override
    {
        note(QString("Sleep(%1)").arg(time.count()), onSleep);
    }
    void yield() override { note("Yield", onYield, ++yields); }
    void show(QWidget *window) override { window->show(); }
    void paint(QWidget *) override { ++paints; }
    void message(QWidget *, const QString &t) override { note("Message:" + t, onMessage, t); }
    void startHelp(std::function<void(const QString &)> failed) override
    {
        log << "Help";
        if (!helpStarts)
            failed(QStringLiteral("the command \"xdg-open Readme.Txt\" could not be started."));
    }
    void endProgram(int exitCode) override { log << QString("End(%1)").arg(exitCode); }
};

struct FakeDriver : DrawerDriver
{
    explicit FakeDriver(QStringList &log) : log(log) { }

    QStringList &log;
    // Successive OpenBexor results; 0 once the list runs out.
    QList<int32_t> opens;
    // Drawers 0 to 3 closed, 4 to 7 absent.
    std::array<int32_t, 8> states{1, 17, 33, 49, -1, -1, -1, -1};
    // What RetrieveStatistics writes; it always succeeds.
    QByteArray statisticsBlock = QByteArray(106, '\0');
    // Runs on every call, once it is logged.
    std::function<void(const QString &)> onCall;

    // Logs the call, its arguments filled in, runs onCall and returns the result.
    template <typename... Args>
    int32_t answer(int32_t result, QString call, Args... args)
    {
        ((call = call.arg(args)), ...);
        log << call;
        if (onCall)
            onCall(call);
        return result;
    }
    int32_t openBexor() override
    {
        return answer(opens.isEmpty() ? 0 : opens.takeFirst(), "OpenBexor");
    }
    int32_t closeBexor() override { return answer(0, "CloseBexor"); }
    int32_t drawerOpen(int32_t n) override { return answer(0, "DrawerOpen(%1)", n); }
    int32_t drawerState(int32_t n) override { return answer(states.at(n), "DrawerState(%1)", n); }
    int32_t retrieveStatistics(int16_t unit, int32_t selector, uint8_t *buffer,
                               int16_t length) override
    {
        std::memcpy(buffer, statisticsBlock.constData(), statisticsBlock.size());
        return answer(0, "RetrieveStatistics(%1,%2,%3)", unit, selector, length);
    }
};

// A full refresh: every drawer read, in order, each followed by its 100 ms wait.
inline const QStringList RefreshLog{
        "DrawerState(0)", "Sleep(100)", "DrawerState(1)", "Sleep(100)", "DrawerState(2)",
        "Sleep(100)",     "DrawerState(3)", "Sleep(100)", "DrawerState(4)", "Sleep(100)",
        "DrawerState(5)", "Sleep(100)", "DrawerState(6)", "Sleep(100)", "DrawerState(7)",
        "Sleep(100)"};

// A control of the window, by its name in the window's design (arrays add their index:
// Drawer_State_3, crTextSValue_13).
template <typename Control = QWidget>
Control *control(const QWidget &form, const QString &name)
{
    Control *found = form.findChild<Control *>(name);
    if (!found)
        qFatal("the window has no %s", qPrintable(name));
    return found;
}
inline QPushButton *button(const QWidget &form, const char *name)
{
    return control<QPushButton>(form, QLatin1String(name));
}

// What the window shows: the six statistics boxes in record order, and each drawer's
// letter, "-" while it has none.
inline QStringList boxTexts(const QWidget &form)
{
    QStringList texts;
    for (const int record : {5, 6, 7, 10, 13, 14})
        texts << control<QLineEdit>(form, QString("crTextSValue_%1").arg(record))->text();
    return texts;
}
inline QString rowLetters(const QWidget &form)
{
    QString letters;
    for (int n = 0; n < 8; ++n) {
        const QString text = control<QLineEdit>(form, QString("Drawer_State_%1").arg(n))->text();
        letters += text.isEmpty() ? QString("-") : text;
    }
    return letters;
}

struct FormRig
{
    QStringList log;
    FakeDriver driver{log};
    FakeServices services{log};
    std::unique_ptr<CRTEST_Form> form;

    // Builds the window as it is created, before its load event.
    CRTEST_Form &build()
    {
        form = std::make_unique<CRTEST_Form>(&driver, QString(), services);
        return *form;
    }
    // Builds the window and raises its load event.
    CRTEST_Form &start()
    {
        build().load();
        return *form;
    }
};
