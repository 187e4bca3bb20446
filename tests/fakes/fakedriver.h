// A scripted driver that records every call in the shared log, so a test can check the
// order of driver calls against waits, yields and message boxes.
#pragma once

#include "drawerdriver.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <array>
#include <functional>

class FakeDriver : public DrawerDriver
{
public:
    explicit FakeDriver(QStringList &log) : m_log(log) { }

    // Results of successive OpenBexor calls; 0 once the list runs out.
    QList<int32_t> openResults;
    // State code of each drawer: drawers 0 to 3 closed, 4 to 7 absent.
    std::array<int32_t, 8> states{1, 17, 33, 49, -1, -1, -1, -1};
    int32_t drawerOpenResult = 0;
    // What RetrieveStatistics writes and returns; by default a zero block and success.
    QByteArray statisticsBlock;
    int32_t statisticsResult = 0;
    // Called on every driver call before it is answered, with its log entry.
    std::function<void(const QString &)> onCall;

    int count(const QString &call) const;
    // Driver calls made after the device was closed; must stay empty.
    QStringList callsAfterClose() const { return m_afterClose; }

    int32_t openBexor() override;
    int32_t closeBexor() override;
    int32_t drawerOpen(int32_t drawer) override;
    int32_t drawerState(int32_t drawer) override;
    int32_t retrieveStatistics(int16_t unit, int32_t selector, uint8_t *buffer,
                               int16_t length) override;

private:
    void record(const QString &call);

    QStringList &m_log;
    QStringList m_afterClose;
    bool m_closed = false;
};
