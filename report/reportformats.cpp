// The three ways a report is written out: plain text for people, JSON for scripts,
// OpenMetrics for Prometheus.
#include "report.h"
#include "reportwords.h"
#include "crtestversion.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace reportwords;

namespace {

void appendStatistics(QStringList &lines, const StatisticsResult &statistics)
{
    if (!statistics.hasValues()) {
        const QString failure = statisticsFailure(statistics);
        lines << QStringLiteral("  not read") + (failure.isEmpty() ? QString() : ": " + failure);
        return;
    }
    for (int i = 0; i < ShownStatisticCount; ++i)
        lines << QStringLiteral("  %1 %2")
                         .arg(QLatin1String(ShownStatistics[i].caption) + QLatin1Char(':'), -21)
                         .arg(printableText(statistics.values[i]));
}

QJsonValue orNull(const QString &text)
{
    return text.isNull() ? QJsonValue() : QJsonValue(text);
}

QJsonValue countJson(const QString &text)
{
    const auto value = countValue(text);
    return value && *value <= quint64(1) << 53 ? QJsonValue(qint64(*value)) : QJsonValue();
}

QJsonValue statisticsJson(const StatisticsResult &statistics)
{
    QJsonObject object{{"outcome", outcomeKey(statistics.outcome)}};
    object.insert("status", statistics.outcome == StatisticsResult::Outcome::Read
                                            || statistics.outcome == StatisticsResult::Outcome::Refused
                                    ? QJsonValue(statistics.status)
                                    : QJsonValue());
    if (statistics.hasValues()) {
        QJsonObject records;
        for (int i = 0; i < ShownStatisticCount; ++i)
            records.insert(QLatin1String(ShownStatistics[i].key), statistics.values[i]);
        object.insert("records", records);
        object.insert("good_opens", countJson(statistics.values[GoodOpens]));
        object.insert("failed_opens", countJson(statistics.values[FailedOpens]));
    } else {
        object.insert("records", QJsonValue());
        object.insert("good_opens", QJsonValue());
        object.insert("failed_opens", QJsonValue());
    }
    return object;
}

// The state a drawer was last seen in: a kicked drawer's reading after its kick.
DrawerReading finalReading(const Report &report, int drawer)
{
    for (const KickResult &kick : report.kicks)
        if (kick.drawer == drawer && kick.after.reading != DrawerReading::NotRead)
            return kick.after.reading;
    return report.found.drawers[drawer].reading;
}

} // namespace

QString reportText(const Report &report)
{
    const bool check = report.origin == ReportOrigin::Check;
    QStringList lines;
    lines << QStringLiteral("crtest " CRTEST_VERSION " %1 at %2")
                     .arg(check ? QStringLiteral("check") : QStringLiteral("window"),
                          isoTime(report.time));
    if (report.found.device == DeviceState::NotBound)
        lines << QStringLiteral("Driver: not loaded: %1").arg(printableText(report.found.bindError));
    else
        lines << QStringLiteral("Driver: %1").arg(printableText(report.found.driverFile));
    switch (report.found.device) {
    case DeviceState::Open:
        lines << QStringLiteral("Controller: open");
        break;
    case DeviceState::DidNotOpen:
        lines << QStringLiteral("Controller: did not open (OpenBexor returned %1)")
                         .arg(openResultsText(report.found.openResults));
        break;
    case DeviceState::NotOpened:
    case DeviceState::NotBound:
        lines << QStringLiteral("Controller: not opened");
        break;
    }

    lines << QStringLiteral("Drawers:");
    for (int n = 0; n < DrawerCount; ++n)
        lines << QStringLiteral("  %1 %2").arg(n).arg(readingWord(report.found.drawers[n].reading));

    lines << QStringLiteral("Statistics:");
    appendStatistics(lines, report.found.statistics);

    if (report.kickAsked) {
        lines << QStringLiteral("Kicks:");
        for (const KickResult &kick : report.kicks)
            lines << QStringLiteral("  %1 %2 -> %3: %4 (DrawerOpen returned %5)")
                             .arg(kick.drawer)
                             .arg(readingWord(kick.before), readingWord(kick.after.reading),
                                  kick.opened() ? QStringLiteral("opened")
                                                : QStringLiteral("did not open"))
                             .arg(kick.status);
        lines << QStringLiteral("Statistics after the kicks:");
        appendStatistics(lines, report.statisticsAfterKicks);
        if (const auto change = countChange(report))
            lines << QStringLiteral("Change of the counts: good opens %1, failed opens %2")
                             .arg(signedNumber(change->first), signedNumber(change->second));
        else
            lines << QStringLiteral("Change of the counts: unknown");
    }

    if (check) {
        const QStringList problems = problemsOf(report);
        if (!problems.isEmpty()) {
            lines << QStringLiteral("Problems:");
            for (const QString &problem : problems)
                lines << QStringLiteral("  ") + printableText(problem);
        }
        const int status = exitStatusOf(report);
        lines << QStringLiteral("Exit status: %1 (%2)").arg(status).arg(statusMeaning(status));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QByteArray reportJson(const Report &report)
{
    const bool check = report.origin == ReportOrigin::Check;
    QJsonObject root{
            {"schema_version", ReportSchemaVersion},
            {"program", "crtest"},
            {"version", CRTEST_VERSION},
            {"origin", check ? "check" : "window"},
            {"time", isoTime(report.time)},
            {"device", deviceKey(report.found.device)},
    };
    root.insert("driver", QJsonObject{
            {"file", report.found.device == DeviceState::NotBound ? QJsonValue() : orNull(report.found.driverFile)},
            {"error", report.found.device == DeviceState::NotBound ? QJsonValue(report.found.bindError) : QJsonValue()}});
    QJsonArray opens;
    for (const int32_t result : report.found.openResults)
        opens.append(result);
    root.insert("open_results", opens);
    QJsonArray drawers;
    for (int n = 0; n < DrawerCount; ++n) {
        const DrawerRead &read = report.found.drawers[n];
        drawers.append(QJsonObject{{"drawer", n},
                                   {"state", readingKey(read.reading)},
                                   {"code", read.code ? QJsonValue(*read.code) : QJsonValue()}});
    }
    root.insert("drawers", drawers);
    root.insert("statistics", statisticsJson(report.found.statistics));
    if (report.kickAsked) {
        QJsonArray kicks;
        for (const KickResult &kick : report.kicks)
            kicks.append(QJsonObject{{"drawer", kick.drawer},
                                     {"status", kick.status},
                                     {"before", readingKey(kick.before)},
                                     {"after", readingKey(kick.after.reading)},
                                     {"code_after", kick.after.code ? QJsonValue(*kick.after.code)
                                                                    : QJsonValue()},
                                     {"opened", kick.opened()}});
        root.insert("kicks", kicks);
        root.insert("statistics_after_kicks", statisticsJson(report.statisticsAfterKicks));
        const auto change = countChange(report);
        root.insert("count_changes", change ? QJsonValue(QJsonObject{{"good_opens", change->first},
                                                                     {"failed_opens", change->second}})
                                            : QJsonValue());
    } else {
        root.insert("kicks", QJsonValue());
        root.insert("statistics_after_kicks", QJsonValue());
        root.insert("count_changes", QJsonValue());
    }
    QJsonArray problems;
    if (check)
        for (const QString &problem : problemsOf(report))
            problems.append(problem);
    root.insert("problems", problems);
    root.insert("interrupted_by",
                report.interruptedBy ? QJsonValue(signalName(report.interruptedBy)) : QJsonValue());
    root.insert("exit_status", check ? QJsonValue(exitStatusOf(report)) : QJsonValue());
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QByteArray reportOpenMetrics(const Report &report)
{
    QByteArray out;
    const auto family = [&out](const char *name, const char *type, const char *help) {
        out += QByteArray("# HELP ") + name + ' ' + help + '\n';
        out += QByteArray("# TYPE ") + name + ' ' + type + '\n';
    };
    const auto sample = [&out](const char *name, const QByteArray &labels, qint64 value) {
        out += name + labels + ' ' + QByteArray::number(value) + '\n';
    };

    family("crtest_device_open", "gauge", "Whether the controller opened in the check (1) or not (0).");
    sample("crtest_device_open", {}, report.found.device == DeviceState::Open);

    // A drawer that was not read has no sample: nothing is known about it.
    family("crtest_drawer_present", "gauge", "Whether a drawer is attached (1) or not (0).");
    for (int n = 0; n < DrawerCount; ++n)
        if (const DrawerReading reading = finalReading(report, n); reading != DrawerReading::NotRead)
            sample("crtest_drawer_present", "{drawer=\"" + QByteArray::number(n) + "\"}",
                   reading != DrawerReading::NotPresent);
    family("crtest_drawer_open", "gauge", "Whether a drawer read open (1) or not (0).");
    for (int n = 0; n < DrawerCount; ++n)
        if (const DrawerReading reading = finalReading(report, n); reading != DrawerReading::NotRead)
            sample("crtest_drawer_open", "{drawer=\"" + QByteArray::number(n) + "\"}",
                   reading == DrawerReading::Open);

    // The counters carry their _total in the family name too: node_exporter's textfile
    // collector reads the classic text format, where a family named without it would
    // leave the counter untyped.
    const StatisticsResult &statistics = latestStatistics(report);
    const auto good = statistics.hasValues() ? countValue(statistics.values[GoodOpens]) : std::nullopt;
    const auto failed = statistics.hasValues() ? countValue(statistics.values[FailedOpens]) : std::nullopt;
    family("crtest_drawer_good_opens_total", "counter", "The controller's count of good drawer openings.");
    if (good)
        sample("crtest_drawer_good_opens_total", {}, qint64(*good));
    family("crtest_drawer_failed_opens_total", "counter", "The controller's count of failed drawer openings.");
    if (failed)
        sample("crtest_drawer_failed_opens_total", {}, qint64(*failed));

    family("crtest_check_timestamp_seconds", "gauge", "When the check ran, in seconds since 1970.");
    sample("crtest_check_timestamp_seconds", {}, report.time);
    family("crtest_check_exit_status", "gauge", "The exit status of the check; 0 means all well.");
    sample("crtest_check_exit_status", {}, exitStatusOf(report));
    out += "# EOF\n";
    return out;
}
