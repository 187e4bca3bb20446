// The controller as every part of the program knows it: the window, crtest --check and
// whatever comes after take each driver step from here, open with its retry, a drawer's
// read and what it means, a kick, the statistics, and the close, and differ only in what
// they do between the steps (waits, yields, paints, messages). What the steps found is kept
// as a plain value, the snapshot, from which every report is written.
#pragma once

#include "drawerstate.h"
#include "statistics.h"

#include <QList>
#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

class DrawerDriver;

enum class DeviceState {
    NotBound, // the driver library could not be loaded or lacks a function
    NotOpened, // bound, but nothing has tried to open it yet
    DidNotOpen, // OpenBexor failed, and so did its retry
    Open,
};

struct DrawerRead
{
    DrawerReading reading = DrawerReading::NotRead;
    std::optional<int32_t> code; // what DrawerState returned
};

struct KickResult
{
    int drawer = 0;
    int32_t status = 0; // what DrawerOpen returned
    DrawerReading before = DrawerReading::NotRead; // the drawer as last read before it
    DrawerRead after; // the first read of the drawer after it
    // Only the read-back tells: a driver may return 0 for a drawer that stayed shut.
    bool opened() const { return after.reading == DrawerReading::Open; }
};

struct ControllerSnapshot
{
    DeviceState device = DeviceState::NotBound;
    QString bindError; // the loader's reason, when the library could not be bound
    QString driverFile; // the file the loader mapped
    QList<int32_t> openResults; // each OpenBexor result, in order
    std::array<DrawerRead, DrawerCount> drawers{}; // each drawer as last read
    StatisticsResult statistics; // the last read
    // The last kick of each drawer kicked, in the order they were made.
    QList<KickResult> kicks;
};

class Controller
{
public:
    // The controller's own pace, the same whoever drives it: it needs this long between two
    // state reads, and a released drawer this long to spring open before it is read back.
    static constexpr std::chrono::milliseconds StateReadInterval{100};
    static constexpr std::chrono::milliseconds KickSettleTime{600};

    // driver is null when the library could not be bound; bindError then says why, and
    // nothing is ever called.
    Controller(DrawerDriver *driver, const QString &bindError, const QString &driverFile);

    bool bound() const { return m_driver != nullptr; }
    bool isOpen() const { return m_snapshot.device == DeviceState::Open; }
    // CloseBexor has been called: from then on no step calls the driver.
    bool closed() const { return m_closed; }

    // OpenBexor, then between() (the front end's own business: a yield, showing itself, a
    // look for signals), then, if the first open failed, one retry at once: a controller
    // just plugged in may refuse its first open. between() runs whatever the first open
    // gave, also when nothing is bound; false from it stops there, without the retry.
    // Returns what between() returned.
    bool open(const std::function<bool()> &between);

    // DrawerState for the drawer and what it means. The read is also the read-back of the
    // drawer's kick, if it was kicked since it was last read.
    DrawerRead readDrawer(int drawer);
    int32_t kick(int drawer);
    const StatisticsResult &readStatistics();
    // CloseBexor, once; also after a failed open, since the driver may hold half-opened
    // state. Nothing is closed when nothing is bound.
    void close();

    const ControllerSnapshot &snapshot() const { return m_snapshot; }

private:
    bool mayCall() const { return m_driver && !m_closed; }

    DrawerDriver *m_driver = nullptr;
    bool m_closed = false;
    // Drawers kicked and not read since, by number.
    std::array<bool, DrawerCount> m_awaitingReadBack{};
    ControllerSnapshot m_snapshot;
};
