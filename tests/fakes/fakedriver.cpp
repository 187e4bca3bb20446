#include "fakedriver.h"

#include <algorithm>
#include <cstring>

int FakeDriver::count(const QString &call) const
{
    return int(std::count(m_log.begin(), m_log.end(), call));
}

void FakeDriver::record(const QString &call)
{
    if (m_closed)
        m_afterClose.append(call);
    m_log.append(call);
    if (onCall)
        onCall(call);
}

int32_t FakeDriver::openBexor()
{
    record(QStringLiteral("OpenBexor"));
    return openResults.isEmpty() ? 0 : openResults.takeFirst();
}

int32_t FakeDriver::closeBexor()
{
    record(QStringLiteral("CloseBexor"));
    m_closed = true;
    return 0;
}

int32_t FakeDriver::drawerOpen(int32_t drawer)
{
    record(QStringLiteral("DrawerOpen(%1)").arg(drawer));
    return drawerOpenResult;
}

int32_t FakeDriver::drawerState(int32_t drawer)
{
    record(QStringLiteral("DrawerState(%1)").arg(drawer));
    return states.at(drawer);
}

int32_t FakeDriver::retrieveStatistics(int16_t unit, int32_t selector, uint8_t *buffer,
                                       int16_t length)
{
    record(QStringLiteral("RetrieveStatistics(%1,%2,%3)").arg(unit).arg(selector).arg(length));
    std::memcpy(buffer, statisticsBlock.constData(), statisticsBlock.size());
    return statisticsResult;
}
