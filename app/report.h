// What a check found, or what the window shows, in one widget-free form, and the ways it is
// written out: plain text for people, JSON for scripts, metrics for Prometheus.
// The check fills it from the driver's answers, the window from its controls; both write it
// through the same formatters, so a pasted window report reads like a check's.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

// The JSON document's schema, crtest-report.schema.json, at this version. Raised whenever a
// field changes meaning or goes away; new fields may appear within a version.
inline constexpr int ReportSchemaVersion = 1;

enum class ReportOrigin { Check, Window };

enum class DeviceState {
    NotBound, // the driver library could not be loaded or lacks a function
    NotOpened, // bound, but a signal came before the first open
    DidNotOpen, // OpenBexor failed twice
    Open,
};

enum class DrawerReading { NotRead, Open, Closed, NotPresent };

struct StatisticsValues
{
    QString serialNumber;
    QString manufactureDate;
    QString mechanicalRevision;
    QString installationDate;
    QString goodOpens;
    QString failedOpens;
};

struct StatisticsResult
{
    enum class Outcome {
        NotRead,
        Read, // values holds what the driver wrote, decoded
        Refused, // RetrieveStatistics returned status, nothing is shown
        Overrun, // the driver wrote past the buffer, nothing is shown
        Shown, // the window's boxes, as they read
    };
    Outcome outcome = Outcome::NotRead;
    int32_t status = 0;
    StatisticsValues values;
};

struct KickResult
{
    int drawer = 0;
    int32_t status = 0; // what DrawerOpen returned
    DrawerReading before = DrawerReading::NotRead;
    DrawerReading after = DrawerReading::NotRead;
    std::optional<int32_t> codeAfter{}; // what DrawerState returned when it was read back
    bool opened() const { return after == DrawerReading::Open; }
};

struct Report
{
    ReportOrigin origin = ReportOrigin::Check;
    qint64 time = 0; // seconds since 1970, UTC
    QString driverFile; // the library the loader mapped; empty when none was bound
    QString bindError; // the loader's reason when none was bound
    DeviceState device = DeviceState::NotBound;
    QList<int32_t> openResults; // each OpenBexor result, in order
    std::array<DrawerReading, 8> drawers{};
    std::array<std::optional<int32_t>, 8> stateCodes{};
    StatisticsResult statistics;
    bool kickAsked = false;
    QList<KickResult> kicks;
    StatisticsResult statisticsAfterKicks;
    int interruptedBy = 0; // the signal that stopped the check, 0 if none did
};

// The exit statuses of crtest; see --help, the manual page and the README.
namespace ExitStatus {
inline constexpr int AllWell = 0;
inline constexpr int CouldNotRun = 1;
inline constexpr int Usage = 2;
inline constexpr int DriverNotBound = 3;
inline constexpr int DidNotOpen = 4;
inline constexpr int StatisticsFailed = 5;
inline constexpr int KickFailed = 6;
} // namespace ExitStatus

// Every way the check went wrong, one sentence each, in the order the check met them.
QStringList problemsOf(const Report &report);
// The status a script acts on: 128 + the signal after an interruption, otherwise the lowest
// of 3 to 6 that applies, 0 when all went well.
int exitStatusOf(const Report &report);

// The decimal value of a count as it is shown, if it is one.
std::optional<quint64> countValue(const QString &text);

// Driver bytes reach the texts of reports and logs: control characters would move a
// terminal's cursor or worse, so they are written as \xHH, and a backslash as \\ to keep
// that unambiguous.
QString printableText(const QString &text);

// "2026-12-01T03:00:00Z". Formatted by the C library: Qt's date formatting alone would grow
// the check's memory by some 0.7 MiB.
QString isoTime(qint64 secondsSince1970);

QString reportText(const Report &report);
QByteArray reportJson(const Report &report);
// The same metrics in two formats: the Prometheus text format (version 0.0.4) that
// node_exporter's textfile collector and a Pushgateway read, and OpenMetrics 1.0.
QByteArray reportPrometheus(const Report &report);
QByteArray reportOpenMetrics(const Report &report);
