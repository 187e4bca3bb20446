// What a check found, or what the window shows, and the ways it is written out: plain text
// for people, JSON for scripts, metrics for Prometheus. Both take it from the controller's
// snapshot and write it through the same formatters, so a pasted window report
// reads like a check's.
#pragma once

#include "controller.h"
#include "cycleresults.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The JSON document's schema, crtest-report.schema.json, at this version. Raised whenever a
// field changes meaning or goes away; new fields may appear within a version.
inline constexpr int ReportSchemaVersion = 2;

enum class ReportOrigin { Check, Window };

struct Report
{
    ReportOrigin origin = ReportOrigin::Check;
    qint64 time = 0; // seconds since 1970, UTC
    // What the check found before it kicked anything, or what the window shows.
    ControllerSnapshot found;
    bool kickAsked = false;
    QList<KickResult> kicks; // in the order they were made
    StatisticsResult statisticsAfterKicks;
    // --cycles: each drawer kicked, read until it opened and closed again, many times over.
    CycleRun cycles;
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
inline constexpr int DidNotClose = 7;
inline constexpr int SensorBounced = 8;
inline constexpr int CountsDisagree = 9;
inline constexpr int WentMissing = 10;
} // namespace ExitStatus

// Every way the check went wrong, one sentence each, in the order the check met them.
QStringList problemsOf(const Report &report);
// The status a script acts on: 128 + the signal after an interruption, otherwise the lowest
// of 3 to 10 that applies, 0 when all went well.
int exitStatusOf(const Report &report);

// The decimal value of a count as it is shown, if it is one.
std::optional<quint64> countValue(const QString &text);

// "2026-12-01T03:00:00Z". Formatted by the C library: Qt's date formatting alone would grow
// the check's memory by some 0.7 MiB.
QString isoTime(qint64 secondsSince1970);

// "internal" when nothing was kicked (no physical change), "external" when drawers were.
QString healthLevel(const Report &report);

QString reportText(const Report &report);
QByteArray reportJson(const Report &report);
// The same metrics in two formats: the Prometheus text format (version 0.0.4) that
// node_exporter's textfile collector and a Pushgateway read, and OpenMetrics 1.0.
QByteArray reportPrometheus(const Report &report);
QByteArray reportOpenMetrics(const Report &report);
// A cycle run's rows, one per drawer and cycle, written as each cycle ends.
QByteArray cycleCsvHeader();
QByteArray cycleCsvRow(const CycleRecord &record);
