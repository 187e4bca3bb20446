// The ways a report is written out: plain text for people, JSON for scripts, and metrics in
// Prometheus's text format and in OpenMetrics.
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

// The state a drawer was last seen in: a kicked drawer's reading after its kick.
DrawerReading finalReading(const Report &report, int drawer)
{
    for (const KickResult &kick : report.kicks)
        if (kick.drawer == drawer && kick.after.reading != DrawerReading::NotRead)
            return kick.after.reading;
    return report.found.drawers[drawer].reading;
}

} // namespace

QJsonValue reportwords::statisticsJson(const StatisticsResult &statistics)
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
    if (report.cycles.asked)
        appendCycleHeader(lines, report);

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
    if (report.cycles.asked)
        appendCycleText(lines, report);

    if (check) {
        const QStringList problems = problemsOf(report);
        if (!problems.isEmpty()) {
            lines << QStringLiteral("Problems:");
            for (const QString &problem : problems)
                lines << QStringLiteral("  ") + printableText(problem);
        }
        if (report.cycles.asked)
            lines << cycleVerdict(report);
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
            {"health_check", healthLevel(report)},
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
    root.insert("cycles", cycleJson(report));
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

namespace {

enum class MetricType { Gauge, Counter, Histogram };

// One line of a family: what follows the family's name (a histogram's _bucket, _sum and
// _count), its labels as written ("{drawer=\"3\"}" or none), and its value.
struct MetricSample
{
    QByteArray suffix, labels, value;
};
using MetricSamples = QList<MetricSample>;

struct MetricFamily
{
    const char *name; // a counter's samples add _total to it
    MetricType type;
    const char *help;
    MetricSamples (*samples)(const Report &report);
};

MetricSamples one(qint64 value)
{
    return {{{}, {}, QByteArray::number(value)}};
}

QByteArray drawerLabel(int drawer)
{
    return "drawer=\"" + QByteArray::number(drawer) + '"';
}

// A drawer that was not read has no sample: nothing is known about it.
MetricSamples drawerSamples(const Report &report, bool (*value)(DrawerReading reading))
{
    MetricSamples samples;
    for (int n = 0; n < DrawerCount; ++n) {
        const DrawerReading reading = finalReading(report, n);
        if (reading != DrawerReading::NotRead)
            samples.append({{}, '{' + drawerLabel(n) + '}', QByteArray::number(value(reading))});
    }
    return samples;
}

// A count the controller did not give has no sample, so a counter never reads as reset.
MetricSamples countSamples(const Report &report, int count)
{
    const StatisticsResult &statistics = latestStatistics(report);
    const auto value = statistics.hasValues() ? countValue(statistics.values[count]) : std::nullopt;
    return value ? one(qint64(*value)) : MetricSamples{};
}

// The cycles' counts start from nothing at each run: a run's file holds that run's.
MetricSamples cycleSamples(const Report &report)
{
    MetricSamples samples;
    for (const DrawerCycles &d : report.cycles.drawers)
        samples.append({{}, '{' + drawerLabel(d.drawer) + '}', QByteArray::number(d.done)});
    return samples;
}

MetricSamples faultSamples(const Report &report)
{
    MetricSamples samples;
    for (const DrawerCycles &d : report.cycles.drawers)
        for (int f = 0; f < CycleFaultCount; ++f)
            samples.append({{},
                            '{' + drawerLabel(d.drawer) + ",fault=\"" + CycleFaultKeys[f] + "\"}",
                            QByteArray::number(d.faults[f])});
    return samples;
}

MetricSamples kickToOpenSamples(const Report &report)
{
    MetricSamples samples;
    for (const DrawerCycles &d : report.cycles.drawers) {
        const QByteArray drawer = drawerLabel(d.drawer);
        for (std::size_t b = 0; b < KickToOpenBucketsMs.size(); ++b)
            samples.append({"_bucket",
                            '{' + drawer + ",le=\""
                                    + QByteArray::number(KickToOpenBucketsMs[b] / 1000.0) + "\"}",
                            QByteArray::number(d.kickToOpenAtMost[b])});
        samples.append({"_bucket", '{' + drawer + ",le=\"+Inf\"}", QByteArray::number(d.opened)});
        samples.append({"_sum", '{' + drawer + '}',
                        QByteArray::number(double(d.kickToOpenTotalUs) / 1e6, 'g', 15)});
        samples.append({"_count", '{' + drawer + '}', QByteArray::number(d.opened)});
    }
    return samples;
}

// Every metric of a check, for both text formats. A family without a sample is left out:
// the cycles' families appear only in a cycle run's file.
const MetricFamily Metrics[] = {
        {"crtest_device_open", MetricType::Gauge,
         "Whether the controller opened in the check (1) or not (0).",
         [](const Report &r) { return one(r.found.device == DeviceState::Open); }},
        {"crtest_drawer_present", MetricType::Gauge, "Whether a drawer is attached (1) or not (0).",
         [](const Report &r) {
             return drawerSamples(r,
                                  [](DrawerReading d) { return d != DrawerReading::NotPresent; });
         }},
        {"crtest_drawer_open", MetricType::Gauge, "Whether a drawer read open (1) or not (0).",
         [](const Report &r) {
             return drawerSamples(r, [](DrawerReading d) { return d == DrawerReading::Open; });
         }},
        {"crtest_drawer_good_opens", MetricType::Counter,
         "The controller's count of good drawer openings.",
         [](const Report &r) { return countSamples(r, GoodOpens); }},
        {"crtest_drawer_failed_opens", MetricType::Counter,
         "The controller's count of failed drawer openings.",
         [](const Report &r) { return countSamples(r, FailedOpens); }},
        {"crtest_cycles", MetricType::Counter, "Cycles a drawer went through in this run.",
         cycleSamples},
        {"crtest_cycle_faults", MetricType::Counter,
         "Cycles of a drawer in this run with the fault named.", faultSamples},
        {"crtest_cycle_kick_to_open_seconds", MetricType::Histogram,
         "Time from a kick until the drawer read open, to within one read.", kickToOpenSamples},
        {"crtest_cycle_counts_agree", MetricType::Gauge,
         "Whether the controller's counts grew by the openings and failures the run saw (1) or "
         "not (0).",
         [](const Report &r) {
             const auto counts = cycleCounts(r);
             return counts ? one(counts->agree()) : MetricSamples{};
         }},
        {"crtest_check_timestamp_seconds", MetricType::Gauge,
         "When the check ran, in seconds since 1970.", [](const Report &r) { return one(r.time); }},
        {"crtest_check_exit_status", MetricType::Gauge,
         "The exit status of the check; 0 means all well.",
         [](const Report &r) { return one(exitStatusOf(r)); }},
};

QByteArray sampleName(const MetricFamily &family)
{
    return family.name + QByteArray(family.type == MetricType::Counter ? "_total" : "");
}

void appendFamily(QByteArray &out, const QByteArray &name, const MetricFamily &family,
                  const Report &report)
{
    const MetricSamples samples = family.samples(report);
    if (samples.isEmpty())
        return;
    static const char *const types[] = {"gauge", "counter", "histogram"};
    out += "# HELP " + name + ' ' + family.help + '\n';
    out += "# TYPE " + name + ' ' + types[int(family.type)] + '\n';
    for (const MetricSample &sample : samples)
        out += sampleName(family) + sample.suffix + sample.labels + ' ' + sample.value + '\n';
}

} // namespace

// The classic text format types a counter under its samples' name: named without _total,
// node_exporter's textfile collector would serve it untyped.
QByteArray reportPrometheus(const Report &report)
{
    QByteArray out;
    for (const MetricFamily &family : Metrics)
        appendFamily(out, sampleName(family), family, report);
    return out;
}

// OpenMetrics names a counter's family without _total and has the reader wait for # EOF.
QByteArray reportOpenMetrics(const Report &report)
{
    QByteArray out;
    for (const MetricFamily &family : Metrics)
        appendFamily(out, family.name, family, report);
    return out + "# EOF\n";
}
