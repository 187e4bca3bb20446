// The real window wired to a scripted driver and scripted services, sharing one log, so a
// test can check the order of driver calls against waits, yields and message boxes. It
// brings in the window's controls and QTest for the tests that drive it.
#pragma once

#include "crtest_form.h"
#include "drawerdriver.h"
#include "fakeservices.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <array>
#include <cstring>
#include <memory>

struct FakeDriver : DrawerDriver
{
    explicit FakeDriver(QStringList &log) : log(log) { }

    QStringList &log;
    // Successive OpenBexor results; 0 once the list runs out.
    QList<int32_t> openResults;
    // Drawers 0 to 3 closed, 4 to 7 absent.
    std::array<int32_t, 8> states{1, 17, 33, 49, -1, -1, -1, -1};
    int32_t kickResult = 0;
    // What RetrieveStatistics writes, and returns.
    QByteArray statisticsBlock = QByteArray(106, '\0');
    int32_t statisticsResult = 0;
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
        return answer(openResults.isEmpty() ? 0 : openResults.takeFirst(), "OpenBexor");
    }
    int32_t closeBexor() override { return answer(0, "CloseBexor"); }
    int32_t drawerOpen(int32_t n) override { return answer(kickResult, "DrawerOpen(%1)", n); }
    int32_t drawerState(int32_t n) override { return answer(states.at(n), "DrawerState(%1)", n); }
    int32_t retrieveStatistics(int16_t unit, int32_t selector, uint8_t *buffer,
                               int16_t length) override
    {
        std::memcpy(buffer, statisticsBlock.constData(), statisticsBlock.size());
        return answer(statisticsResult, "RetrieveStatistics(%1,%2,%3)", unit, selector, length);
    }
};

// The log of a full refresh: every drawer read, each followed by its wait.
inline QStringList refreshLog()
{
    QStringList log;
    for (int n = 0; n < 8; ++n)
        log << QString("DrawerState(%1)").arg(n) << "Sleep(100)";
    return log;
}

struct FormRig
{
    QStringList log;
    FakeDriver driver{log};
    FakeServices services{log};
    std::unique_ptr<CRTEST_Form> form;

    // Builds the window and raises its load event; driverError simulates an unbound library.
    CRTEST_Form &start(const QString &driverError = {})
    {
        DrawerDriver *bound = driverError.isEmpty() ? &driver : nullptr;
        form = std::make_unique<CRTEST_Form>(bound, driverError, services);
        form->load();
        return *form;
    }
};
