#include "report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>
#include <ctime>

namespace {

QString signalName(int signal)
{
    switch (signal) {
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    default:
        return QStringLiteral("signal %1").arg(signal);
    }
}

QString readingWord(DrawerReading reading)
{
    switch (reading) {
    case DrawerReading::Open:
        return QStringLiteral("open");
    case DrawerReading::Closed:
        return QStringLiteral("closed");
    case DrawerReading::NotPresent:
        return QStringLiteral("not present");
    case DrawerReading::NotRead:
        break;
    }
    return QStringLiteral("not read");
}

QString readingKey(DrawerReading reading)
{
    return readingWord(reading).replace(QLatin1Char(' '), QLatin1Char('-'));
}

QString deviceKey(DeviceState device)
{
    switch (device) {
    case DeviceState::Open:
        return QStringLiteral("open");
    case DeviceState::DidNotOpen:
        return QStringLiteral("did-not-open");
    case DeviceState::NotOpened:
        return QStringLiteral("not-opened");
    case DeviceState::NotBound:
        break;
    }
    return QStringLiteral("not-bound");
}

QString outcomeKey(StatisticsResult::Outcome outcome)
{
    switch (outcome) {
    case StatisticsResult::Outcome::Read:
        return QStringLiteral("read");
    case StatisticsResult::Outcome::Refused:
        return QStringLiteral("refused");
    case StatisticsResult::Outcome::Overrun:
        return QStringLiteral("overrun");
    case StatisticsResult::Outcome::Shown:
        return QStringLiteral("shown");
    case StatisticsResult::Outcome::NotRead:
        break;
    }
    return QStringLiteral("not-read");
}

bool hasValues(const StatisticsResult &statistics)
{
    return statistics.outcome == StatisticsResult::Outcome::Read
            || statistics.outcome == StatisticsResult::Outcome::Shown;
}

QString openResultsText(const QList<int32_t> &results)
{
    QStringList numbers;
    for (const int32_t result : results)
        numbers << QString::number(result);
    return numbers.join(QStringLiteral(", then "));
}

// Why a statistics read shows nothing, or an empty string when it does.
QString statisticsFailure(const StatisticsResult &statistics)
{
    if (statistics.outcome == StatisticsResult::Outcome::Refused)
        return QStringLiteral("RetrieveStatistics returned %1").arg(statistics.status);
    if (statistics.outcome == StatisticsResult::Outcome::Overrun)
        return QStringLiteral("the driver wrote past the statistics buffer");
    return {};
}

// The statistics the counts and counters come from: the last read that gave values.
const StatisticsResult &latestStatistics(const Report &report)
{
    return report.kickAsked && hasValues(report.statisticsAfterKicks)
            ? report.statisticsAfterKicks
            : report.statistics;
}

std::optional<std::pair<qint64, qint64>> countChange(const Report &report)
{
    if (!report.kickAsked || !hasValues(report.statistics)
        || !hasValues(report.statisticsAfterKicks))
        return std::nullopt;
    const StatisticsValues &before = report.statistics.values;
    const StatisticsValues &after = report.statisticsAfterKicks.values;
    const auto goodBefore = countValue(before.goodOpens), goodAfter = countValue(after.goodOpens);
    const auto failedBefore = countValue(before.failedOpens),
               failedAfter = countValue(after.failedOpens);
    if (!goodBefore || !goodAfter || !failedBefore || !failedAfter)
        return std::nullopt;
    return std::pair{qint64(*goodAfter) - qint64(*goodBefore),
                     qint64(*failedAfter) - qint64(*failedBefore)};
}

QString signedNumber(qint64 value)
{
    return (value > 0 ? QStringLiteral("+") : QString()) + QString::number(value);
}

QString statusMeaning(int status)
{
    switch (status) {
    case ExitStatus::AllWell:
        return QStringLiteral("all well");
    case ExitStatus::DriverNotBound:
        return QStringLiteral("driver library missing or damaged");
    case ExitStatus::DidNotOpen:
        return QStringLiteral("controller did not open");
    case ExitStatus::StatisticsFailed:
        return QStringLiteral("statistics read failed");
    case ExitStatus::KickFailed:
        return QStringLiteral("a kicked drawer did not open");
    default:
        return QStringLiteral("interrupted");
    }
}

} // namespace

QString printableText(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u < 0xA0))
            out += QStringLiteral("\\x%1").arg(QString::number(u, 16).toUpper(), 2, QLatin1Char('0'));
        else if (u == u'\\')
            out += QLatin1String("\\\\");
        else
            out += c;
    }
    return out;
}

namespace {

QString printable(const QString &text)
{
    return printableText(text);
}

void appendStatistics(QStringList &lines, const StatisticsResult &statistics)
{
    if (!hasValues(statistics)) {
        const QString failure = statisticsFailure(statistics);
        lines << QStringLiteral("  not read") + (failure.isEmpty() ? QString() : ": " + failure);
        return;
    }
    const StatisticsValues &v = statistics.values;
    const std::pair<const char *, QString> rows[] = {
            {"Serial number:", v.serialNumber},         {"Manufacture date:", v.manufactureDate},
            {"Mechanical revision:", v.mechanicalRevision}, {"Installation date:", v.installationDate},
            {"Good opens:", v.goodOpens},               {"Failed opens:", v.failedOpens},
    };
    for (const auto &[caption, value] : rows)
        lines << QStringLiteral("  %1 %2").arg(QLatin1String(caption), -21).arg(printable(value));
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
    if (hasValues(statistics)) {
        const StatisticsValues &v = statistics.values;
        object.insert("records", QJsonObject{{"serial_number", v.serialNumber},
                                             {"manufacture_date", v.manufactureDate},
                                             {"mechanical_revision", v.mechanicalRevision},
                                             {"installation_date", v.installationDate},
                                             {"good_opens", v.goodOpens},
                                             {"failed_opens", v.failedOpens}});
        object.insert("good_opens", countJson(v.goodOpens));
        object.insert("failed_opens", countJson(v.failedOpens));
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
        if (kick.drawer == drawer && kick.after != DrawerReading::NotRead)
            return kick.after;
    return report.drawers[drawer];
}

} // namespace

std::optional<quint64> countValue(const QString &text)
{
    if (text.isEmpty() || text.size() > 19)
        return std::nullopt;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    return text.toULongLong();
}

QString isoTime(qint64 secondsSince1970)
{
    const std::time_t time = std::time_t(secondsSince1970);
    std::tm parts{};
#ifdef _WIN32
    gmtime_s(&parts, &time);
#else
    gmtime_r(&time, &parts);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return QString::fromLatin1(text);
}

QStringList problemsOf(const Report &report)
{
    QStringList problems;
    if (report.device == DeviceState::NotBound && report.origin == ReportOrigin::Check)
        problems << QStringLiteral("The driver library could not be loaded: %1").arg(report.bindError);
    if (report.device == DeviceState::DidNotOpen)
        problems << QStringLiteral("The controller did not open: OpenBexor returned %1.")
                            .arg(openResultsText(report.openResults));
    if (const QString failure = statisticsFailure(report.statistics); !failure.isEmpty())
        problems << QStringLiteral("The statistics read failed: %1.").arg(failure);
    for (const KickResult &kick : report.kicks) {
        if (kick.after == DrawerReading::NotRead || kick.opened())
            continue;
        problems << QStringLiteral("Drawer %1 did not open: DrawerOpen returned %2, and it reads %3 "
                                   "after the kick.")
                            .arg(kick.drawer)
                            .arg(kick.status)
                            .arg(readingWord(kick.after));
    }
    if (const QString failure = statisticsFailure(report.statisticsAfterKicks); !failure.isEmpty())
        problems << QStringLiteral("The statistics read after the kicks failed: %1.").arg(failure);
    if (report.interruptedBy != 0)
        problems << QStringLiteral("The check was interrupted by %1 before it finished.")
                            .arg(signalName(report.interruptedBy));
    return problems;
}

int exitStatusOf(const Report &report)
{
    if (report.interruptedBy != 0)
        return 128 + report.interruptedBy;
    if (report.device == DeviceState::NotBound)
        return ExitStatus::DriverNotBound;
    if (report.device == DeviceState::DidNotOpen || report.device == DeviceState::NotOpened)
        return ExitStatus::DidNotOpen;
    if (!statisticsFailure(report.statistics).isEmpty()
        || !statisticsFailure(report.statisticsAfterKicks).isEmpty())
        return ExitStatus::StatisticsFailed;
    for (const KickResult &kick : report.kicks)
        if (kick.after != DrawerReading::NotRead && !kick.opened())
            return ExitStatus::KickFailed;
    return ExitStatus::AllWell;
}

QString reportText(const Report &report)
{
    const bool check = report.origin == ReportOrigin::Check;
    QStringList lines;
    lines << QStringLiteral("crtest 2.00 %1 at %2")
                     .arg(check ? QStringLiteral("check") : QStringLiteral("window"),
                          isoTime(report.time));
    if (report.device == DeviceState::NotBound)
        lines << QStringLiteral("Driver: not loaded: %1").arg(printable(report.bindError));
    else
        lines << QStringLiteral("Driver: %1").arg(printable(report.driverFile));
    switch (report.device) {
    case DeviceState::Open:
        lines << QStringLiteral("Controller: open");
        break;
    case DeviceState::DidNotOpen:
        lines << QStringLiteral("Controller: did not open (OpenBexor returned %1)")
                         .arg(openResultsText(report.openResults));
        break;
    case DeviceState::NotOpened:
    case DeviceState::NotBound:
        lines << QStringLiteral("Controller: not opened");
        break;
    }

    lines << QStringLiteral("Drawers:");
    for (int n = 0; n < int(report.drawers.size()); ++n)
        lines << QStringLiteral("  %1 %2").arg(n).arg(readingWord(report.drawers[n]));

    lines << QStringLiteral("Statistics:");
    appendStatistics(lines, report.statistics);

    if (report.kickAsked) {
        lines << QStringLiteral("Kicks:");
        for (const KickResult &kick : report.kicks)
            lines << QStringLiteral("  %1 %2 -> %3: %4 (DrawerOpen returned %5)")
                             .arg(kick.drawer)
                             .arg(readingWord(kick.before), readingWord(kick.after),
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
                lines << QStringLiteral("  ") + printable(problem);
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
            {"version", "2.00"},
            {"origin", check ? "check" : "window"},
            {"time", isoTime(report.time)},
            {"device", deviceKey(report.device)},
    };
    root.insert("driver", QJsonObject{
            {"file", report.device == DeviceState::NotBound ? QJsonValue() : orNull(report.driverFile)},
            {"error", report.device == DeviceState::NotBound ? QJsonValue(report.bindError) : QJsonValue()}});
    QJsonArray opens;
    for (const int32_t result : report.openResults)
        opens.append(result);
    root.insert("open_results", opens);
    QJsonArray drawers;
    for (int n = 0; n < int(report.drawers.size()); ++n)
        drawers.append(QJsonObject{
                {"drawer", n},
                {"state", readingKey(report.drawers[n])},
                {"code", report.stateCodes[n] ? QJsonValue(*report.stateCodes[n]) : QJsonValue()}});
    root.insert("drawers", drawers);
    root.insert("statistics", statisticsJson(report.statistics));
    if (report.kickAsked) {
        QJsonArray kicks;
        for (const KickResult &kick : report.kicks)
            kicks.append(QJsonObject{{"drawer", kick.drawer},
                                     {"status", kick.status},
                                     {"before", readingKey(kick.before)},
                                     {"after", readingKey(kick.after)},
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
    sample("crtest_device_open", {}, report.device == DeviceState::Open);

    // A drawer that was not read has no sample: nothing is known about it.
    family("crtest_drawer_present", "gauge", "Whether a drawer is attached (1) or not (0).");
    for (int n = 0; n < 8; ++n)
        if (const DrawerReading reading = finalReading(report, n); reading != DrawerReading::NotRead)
            sample("crtest_drawer_present", "{drawer=\"" + QByteArray::number(n) + "\"}",
                   reading != DrawerReading::NotPresent);
    family("crtest_drawer_open", "gauge", "Whether a drawer read open (1) or not (0).");
    for (int n = 0; n < 8; ++n)
        if (const DrawerReading reading = finalReading(report, n); reading != DrawerReading::NotRead)
            sample("crtest_drawer_open", "{drawer=\"" + QByteArray::number(n) + "\"}",
                   reading == DrawerReading::Open);

    // The counters carry their _total in the family name too: node_exporter's textfile
    // collector reads the classic text format, where a family named without it would
    // leave the counter untyped.
    const StatisticsResult &statistics = latestStatistics(report);
    const auto good = hasValues(statistics) ? countValue(statistics.values.goodOpens) : std::nullopt;
    const auto failed = hasValues(statistics) ? countValue(statistics.values.failedOpens) : std::nullopt;
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
