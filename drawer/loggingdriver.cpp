#include "loggingdriver.h"

#include "logcategories.h"

#include <QElapsedTimer>
#include <QString>

namespace {

// The call is timed whether or not anyone listens: reading a clock twice costs nothing next
// to a USB round trip, and the result must not depend on the logging rules.
template <typename Call>
int32_t logged(const QString &call, Call &&forward)
{
    QElapsedTimer timer;
    timer.start();
    const int32_t result = forward();
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    if (loggingWanted())
        qCInfo(lcDriver, "%s = %d (%.3f ms)", qUtf8Printable(call), int(result), ms);
    return result;
}

} // namespace

int32_t LoggingDriver::openBexor()
{
    return logged(QStringLiteral("OpenBexor()"), [&] { return m_driver.openBexor(); });
}

int32_t LoggingDriver::closeBexor()
{
    return logged(QStringLiteral("CloseBexor()"), [&] { return m_driver.closeBexor(); });
}

int32_t LoggingDriver::drawerOpen(int32_t drawer)
{
    return logged(QStringLiteral("DrawerOpen(%1)").arg(drawer),
                  [&] { return m_driver.drawerOpen(drawer); });
}

int32_t LoggingDriver::drawerState(int32_t drawer)
{
    return logged(QStringLiteral("DrawerState(%1)").arg(drawer),
                  [&] { return m_driver.drawerState(drawer); });
}

int32_t LoggingDriver::retrieveStatistics(int16_t unit, int32_t selector, uint8_t *buffer,
                                          int16_t length)
{
    return logged(QStringLiteral("RetrieveStatistics(%1, %2, buffer, %3)").arg(unit).arg(selector).arg(length),
                  [&] { return m_driver.retrieveStatistics(unit, selector, buffer, length); });
}
