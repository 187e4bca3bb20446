// The real window wired to a driver that answers at once and to scripted services. The
// tests share one log between the two, so they can check the order of driver calls against
// waits, paints, yields and message boxes; the benchmarks go without it, since making its
// texts would add to what they time.
#pragma once

#include "crtest_form.h"
#include "drawerdriver.h"
#include "formservices.h"

#include <QStringList>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>

// What the driver and the services were asked, in order ("DrawerState(3)", "Yield",
// "Sleep(100)", "Paint(CountFrame)", "Message:text", "Help", "End(0)"), and what the test
// does at each entry once it is written: click, close, throw, look at the window.
struct Log : QStringList
{
    std::function<void(const QString &entry)> onEntry;

    // The entry's text is made only when there is a log.
    template <typename Text>
    static void note(Log *log, const Text &text)
    {
        if (!log)
            return;
        const QString entry = text();
        *log << entry;
        if (log->onEntry)
            log->onEntry(entry);
    }
};

// Nothing blocks and nothing is shown; message boxes are answered at once, and the end of
// the program is only noted.
struct FakeServices : FormServices
{
    explicit FakeServices(Log *log = nullptr) : log(log) { }

    Log *log;
    std::function<void(const QString &)> onMessage;
    bool helpStarts = true;

    void sleep(std::chrono::milliseconds time) override
    {
        Log::note(log, [&] { return QString("Sleep(%1)").arg(time.count()); });
    }
    void yield() override { Log::note(log, [] { return QStringLiteral("Yield"); }); }
    void show(QWidget *window) override { window->show(); }
    void paint(QWidget *widget) override
    {
        Log::note(log, [&] { return "Paint(" + widget->objectName() + ')'; });
    }
    void message(QWidget *, const QString &text) override
    {
        Log::note(log, [&] { return "Message:" + text; });
        if (onMessage)
            onMessage(text);
    }
    void startHelp(std::function<void(const QString &)> failed) override
    {
        Log::note(log, [] { return QStringLiteral("Help"); });
        if (!helpStarts)
            failed("the command \"xdg-open Readme.Txt\" could not be started.");
    }
    void endProgram(int n) override { Log::note(log, [&] { return QString("End(%1)").arg(n); }); }
};

// Answers every call at once, as scripted.
struct FakeDriver : DrawerDriver
{
    explicit FakeDriver(Log *log = nullptr) : log(log) { }

    Log *log;
    QList<int32_t> opens; // successive OpenBexor results; 0 once the list runs out
    std::array<int32_t, 8> states{1, 17, 33, 49, -1, -1, -1, -1}; // 0 to 3 closed
    QByteArray statisticsBlock = QByteArray(106, '\0'); // written whole; the read succeeds

    template <typename... Args>
    int32_t answer(int32_t result, const char *call, Args... args)
    {
        Log::note(log, [&] {
            QString text = QString::fromLatin1(call);
            ((text = text.arg(args)), ...);
            return text;
        });
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

struct FormRig
{
    Log log;
    FakeDriver driver{&log};
    FakeServices services{&log};
    // What the window's controller is given: the driver, or null and why it is not bound.
    DrawerDriver *bound = &driver;
    QString bindError, driverFile;
    std::unique_ptr<Controller> controller;
    std::unique_ptr<CRTEST_Form> form;

    // Builds the window as designed; start() raises its load event too.
    CRTEST_Form &build()
    {
        controller = std::make_unique<Controller>(bound, bindError, driverFile);
        form = std::make_unique<CRTEST_Form>(*controller, services);
        return *form;
    }
    CRTEST_Form &start()
    {
        build().load();
        return *form;
    }
};
