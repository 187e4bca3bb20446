// The real window wired to a driver that answers at once and to scripted services. The
// tests share one log between the two, so they can check the order of driver calls against
// waits, paints, yields and message boxes; the benchmarks go without it, since making its
// texts would add to what they time, and take the desktop's own waits, showing or painting.
#pragma once

#include "crtest_form.h"
#include "desktopservices.h"
#include "drawerdriver.h"
#include "formservices.h"
#include "timing.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QWidget>

#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

// The window's collaborators: unless asked otherwise nothing blocks and nothing is shown,
// and each wait, yield, message box, help start and end of the program can be scripted.
// Message boxes are always answered at once.
struct FakeServices : FormServices
{
    // What is left to the desktop instead: the waits and yields, showing the window (which
    // waits for its first exposure), painting.
    struct Real
    {
        bool waits = false, show = false, paint = false;
    };

    explicit FakeServices(QStringList &log) : m_log(&log) { }
    explicit FakeServices(Real real) : m_real(real) { }

    // Gets the yield's number, counted from 1.
    std::function<void(int)> onYield;
    std::function<void(const QString &)> onMessage;
    std::function<void()> onSleep;
    bool helpStarts = true;
    int yields = 0;
    // When each wait began and ended.
    std::vector<std::pair<Clock::time_point, Clock::time_point>> waits;

    // The texts of the message boxes shown, in order, as the log has them.
    QStringList messages() const
    {
        return m_log ? m_log->filter("Message:").replaceInStrings("Message:", "") : QStringList();
    }
    void sleep(std::chrono::milliseconds time) override
    {
        note([&] { return QString("Sleep(%1)").arg(time.count()); });
        if (onSleep)
            onSleep();
        const Clock::time_point start = Clock::now();
        if (m_real.waits)
            m_desktop.sleep(time);
        waits.emplace_back(start, Clock::now());
    }
    void yield() override
    {
        note([] { return QStringLiteral("Yield"); });
        ++yields;
        if (onYield)
            onYield(yields);
        if (m_real.waits)
            m_desktop.yield();
    }
    void show(QWidget *window) override { m_real.show ? m_desktop.show(window) : window->show(); }
    void paint(QWidget *widget) override
    {
        note([] { return QStringLiteral("Paint"); });
        if (m_real.paint)
            m_desktop.paint(widget);
    }
    void message(QWidget *, const QString &t) override
    {
        note([&] { return "Message:" + t; });
        if (onMessage)
            onMessage(t);
    }
    void startHelp(std::function<void(const QString &)> failed) override
    {
        note([] { return QStringLiteral("Help"); });
        if (!helpStarts)
            failed(QStringLiteral("the command \"xdg-open Readme.Txt\" could not be started."));
    }
    void endProgram(int code) override { note([&] { return QString("End(%1)").arg(code); }); }

private:
    template <typename Text>
    void note(const Text &text)
    {
        if (m_log)
            *m_log << text();
    }

    QStringList *m_log = nullptr;
    Real m_real;
    DesktopServices m_desktop;
};

// Answers every call at once, as scripted, and notes when each came.
struct FakeDriver : DrawerDriver
{
    explicit FakeDriver(QStringList *log = nullptr) : m_log(log) { }

    // Successive OpenBexor results; 0 once the list runs out.
    QList<int32_t> opens;
    // Drawers 0 to 3 closed, 4 to 7 absent.
    std::array<int32_t, 8> states{1, 17, 33, 49, -1, -1, -1, -1};
    // What RetrieveStatistics writes; it always succeeds.
    QByteArray statisticsBlock = QByteArray(106, '\0');
    // Runs on every call, once it is logged.
    std::function<void(const QString &)> onCall;
    // Each call's function and when it came.
    std::vector<std::pair<std::string_view, Clock::time_point>> calls;

    // When the calls of one function ("DrawerOpen") came, in order.
    std::vector<Clock::time_point> times(std::string_view function) const
    {
        std::vector<Clock::time_point> found;
        for (const auto &[call, at] : calls)
            if (call.substr(0, call.find('(')) == function)
                found.push_back(at);
        return found;
    }

    // Notes the call, logs it with its arguments filled in, runs onCall and returns the
    // result.
    template <typename... Args>
    int32_t answer(int32_t result, const char *call, Args... args)
    {
        calls.emplace_back(call, Clock::now());
        if (m_log || onCall) {
            QString text = QString::fromLatin1(call);
            ((text = text.arg(args)), ...);
            if (m_log)
                *m_log << text;
            if (onCall)
                onCall(text);
        }
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

private:
    QStringList *m_log = nullptr;
};

struct FormRig
{
    FormRig() = default;
    // No log; the desktop's services as asked.
    explicit FormRig(FakeServices::Real real) : driver{}, services(real) { }

    QStringList log;
    FakeDriver driver{&log};
    FakeServices services{log};
    std::unique_ptr<Controller> controller;
    std::unique_ptr<CRTEST_Form> form;

    // Builds the window as designed, before its load event.
    CRTEST_Form &build()
    {
        controller = std::make_unique<Controller>(&driver, QString(), QString());
        form = std::make_unique<CRTEST_Form>(*controller, services);
        return *form;
    }
    // Builds the window and raises its load event.
    CRTEST_Form &start()
    {
        build().load();
        return *form;
    }
};
