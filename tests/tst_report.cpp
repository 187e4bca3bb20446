// A report written three ways, each read back as its reader would (a person the text, a
// script the JSON, Prometheus the metrics), must tell the same story: whether the controller
// opened, each drawer, each kick, the counts, the problems, the exit status. What they agree
// on is held against what the README documents for each case. And the decimal text of a
// count, which they and the window's boxes and message boxes show.
#include "crmodule1.h"
#include "report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <stdexcept>

namespace {

// Drawers 0 to 3 closed, 4 to 7 empty; then the drawers kicked, for each of which DrawerOpen
// returned 0, as each read back. The statistics found and after the kicks: "good/failed" read,
// with a control character in the serial number as a driver may write it, or "refused",
// "overrun", "" not read.
Report report(const QString &found, const QList<std::pair<int, DrawerReading>> &kicks = {},
              const QString &after = {}, int signal = 0)
{
    using Outcome = StatisticsResult::Outcome;
    const QMap<QString, Outcome> outcomes {
        {"", Outcome::NotRead}, {"refused", Outcome::Refused}, {"overrun", Outcome::Overrun}};
    StatisticsResult statistics[2];
    for (int i : {0, 1}) {
        const QString &read = i ? after : found;
        statistics[i] = {outcomes.value(read, Outcome::Read), read == "refused" ? -1 : 0};
        if (statistics[i].hasValues())
            statistics[i].values
                = {"SN\x1B[2J",         "20240115", "R2.0", "20240301", read.section('/', 0, 0),
                   read.section('/', 1)};
    }
    Report report {
        .found {.device = DeviceState::Open, .openResults {0}, .statistics = statistics[0]},
        .kickAsked = !kicks.isEmpty(),
        .statisticsAfterKicks = statistics[1],
        .interruptedBy = signal};
    for (int n = 0; n < DrawerCount; ++n)
        report.found.drawers[n].reading = n < 4 ? DrawerReading::Closed : DrawerReading::NotPresent;
    for (const auto &[drawer, reading] : kicks)
        report.kicks << KickResult {drawer, 0, DrawerReading::Closed, {reading, {}}};
    return report;
}

// What a report says, as "key=value" sorted; of a key given twice, the last. Drawers a letter
// each: o open, c closed, - not present, ? not read. Kicks "N+" opened, "N-" did not. Counts
// "good/failed", ? for one not shown; ? also for no change of the counts and no signal.
QString joined(const QStringList &facts)
{
    QMap<QString, QString> map;
    for (const QString &fact : facts)
        map[fact.section('=', 0, 0)] = fact;
    return map.values().join(' ');
}

QString field(const QString &facts, const QString &key)
{
    return facts.section(key + '=', 1).section(' ', 0, 0);
}

QString letter(QString word)
{
    return QMap<QString, QString> {
        {"open", "o"}, {"closed", "c"}, {"not present", "-"}, {"not read", "?"}}
        .value(word.replace('-', ' '), "!");
}

// Each match's captures, joined by a space; the last, or "?" for none.
QStringList matches(const QString &text, const char *pattern)
{
    QStringList found;
    const QRegularExpression expression(pattern, QRegularExpression::MultilineOption);
    for (auto match = expression.globalMatch(text); match.hasNext();)
        found << match.next().capturedTexts().mid(1).join(' ');
    return found;
}
QString last(const QString &text, const char *pattern)
{
    return (QStringList {"?"} + matches(text, pattern)).last();
}

QString textFacts(const QString &text, QStringList *problems)
{
    QString drawers;
    for (const QString &drawer : matches(text, "^  \\d (open|closed|not present|not read)$"))
        drawers += letter(drawer);
    *problems = matches(text.section("\nProblems:\n", 1), "^  (.*)$");
    QStringList kicks = matches(text, "^  (\\d) .* -> .*: (opened|did not open) \\(");
    kicks.replaceInStrings(" opened", "+").replaceInStrings(" did not open", "-");
    // "good opens +1, failed opens 0" -> "1,0"
    const QString change = last(text, "^Change of the counts: (.*)$");
    return joined({"device=" + QString(text.contains("\nController: open\n") ? "yes" : "no"),
                   "drawers=" + drawers,
                   "counts=" + last(text, "^  Good opens: +(.*)$") + '/'
                       + last(text, "^  Failed opens: +(.*)$"),
                   "status=" + last(text, "^Exit status: (\\d+) "),
                   QString("problems=%1").arg(problems->size()), "kicks=" + kicks.join(','),
                   "change=" + QString(change).remove(QRegularExpression("[a-z]+ opens |[ +]")),
                   "interrupted=" + last(text, "interrupted by (\\S+) before")});
}

QString jsonFacts(const QByteArray &text, QStringList *problems)
{
    const QJsonObject json = QJsonDocument::fromJson(text).object();
    QString drawers;
    QStringList kicks, counts;
    for (const QJsonValue drawer : json["drawers"].toArray())
        drawers += letter(drawer["state"].toString());
    for (const QJsonValue kick : json["kicks"].toArray())
        kicks << QString::number(kick["drawer"].toInt()) + (kick["opened"].toBool() ? "+" : "-");
    const QJsonValue after = json["statistics_after_kicks"];
    const QJsonValue latest = after["outcome"] == "read" ? after : json["statistics"];
    for (const char *key : {"good_opens", "failed_opens"}) {
        counts << latest["records"][key].toString("?");
        // A JSON number up to 2^53, where doubles stop being exact; beyond it, null.
        bool number = false;
        const bool exact = counts.last().toULongLong(&number) <= 1ULL << 53 && number;
        if (latest[key] != (exact ? QJsonValue(counts.last().toLongLong()) : QJsonValue()))
            counts.last() += "(json " + latest[key].toVariant().toString() + ")";
    }
    for (const QJsonValue problem : json["problems"].toArray())
        *problems << problem.toString();
    const QJsonValue change = json["count_changes"];
    const QString changed = json["kicks"].isNull() ? "?"
        : change.isNull()
        ? "unknown"
        : QString("%1,%2").arg(change["good_opens"].toInt()).arg(change["failed_opens"].toInt());
    return joined({"device=" + QString(json["device"] == "open" ? "yes" : "no"),
                   "drawers=" + drawers, "counts=" + counts.join('/'),
                   "status=" + QString::number(json["exit_status"].toInt()),
                   QString("problems=%1").arg(problems->size()), "kicks=" + kicks.join(','),
                   "change=" + changed, "interrupted=" + json["interrupted_by"].toString("?")});
}

QString metricsFacts(const QByteArray &text)
{
    QMap<QString, QString> samples;
    for (const QString &line : QString(text).split('\n'))
        samples[line.section(' ', 0, 0)] = line.section(' ', 1);
    QString drawers; // from whether present, then whether open
    for (int n = 0; n < DrawerCount; ++n) {
        const QString at = QString("{drawer=\"%1\"}").arg(n);
        drawers += QMap<QString, QString> {{"00", "-"}, {"10", "c"}, {"11", "o"}}.value(
            samples["crtest_drawer_present" + at] + samples["crtest_drawer_open" + at], "?");
    }
    return joined({"device=" + QString(samples["crtest_device_open"] == "1" ? "yes" : "no"),
                   "drawers=" + drawers, "status=" + samples["crtest_check_exit_status"],
                   "counts=" + samples.value("crtest_drawer_good_opens_total", "?") + '/'
                       + samples.value("crtest_drawer_failed_opens_total", "?")});
}

} // namespace

Q_DECLARE_METATYPE(Report)

class ReportTest : public QObject
{
    Q_OBJECT

private slots:
    void formats_data()
    {
        QTest::addColumn<Report>("report");
        QTest::addColumn<QString>("expected"); // what differs from all well
        const auto row = [](const char *name, const Report &report, const QString &expected) {
            QTest::newRow(name) << report << expected;
        };
        const auto open = DrawerReading::Open, shut = DrawerReading::Closed,
                   no = DrawerReading::NotRead;
        const QString none = "device=no drawers=???????? counts=?/? problems=1 status=";

        row("all well", report("1200/3"), "");
        row("did not open: OpenBexor 5 then 6",
            Report {.found {.device = DeviceState::DidNotOpen, .openResults {5, 6}}}, none + "4");
        row("driver not bound", Report {.found {.bindError = "libbexor.so: cannot open"}},
            none + "3");
        // Statistics 5 and a kick 6: the lowest decides, all are listed.
        row("statistics refused, then overrun after a failed kick",
            report("refused", {{3, shut}}, "overrun"),
            "kicks=3- counts=?/? change=unknown status=5 problems=3");
        // DrawerOpen returned 0 for both: only the read-back tells the one that stayed shut.
        row("kicks: one opened, one reads closed after",
            report("1200/3", {{0, open}, {2, shut}}, "1201/4"),
            "kicks=0+,2- counts=1201/4 change=1,1 status=6 problems=1");
        // The signal decides over a failure; a kick not read back is no failure.
        row("SIGINT after the kicks, before the read-back, statistics refused",
            report("refused", {{1, no}, {0, no}}, "", SIGINT),
            "kicks=1-,0- counts=?/? change=unknown status=130 problems=2 interrupted=SIGINT");
        row("counts at and beyond 2^53", report("9007199254740992/9007199254740993"),
            "counts=9007199254740992/9007199254740993");
        row("a count that is not a number", report("1E+15/3", {{1, open}}, "1E+15/3"),
            "kicks=1+ counts=1E+15/3 change=unknown");
    }
    void formats()
    {
        QFETCH(Report, report);
        QFETCH(QString, expected);
        expected = joined(("device=yes drawers=cccc---- counts=1200/3 status=0 problems=0 kicks= "
                           "change=? interrupted=? "
                           + expected)
                              .split(' ', Qt::SkipEmptyParts));
        QStringList textProblems, jsonProblems;
        QCOMPARE(textFacts(reportText(report), &textProblems), expected);
        QCOMPARE(jsonFacts(reportJson(report), &jsonProblems), expected);
        QCOMPARE(jsonProblems, textProblems);
        // A control character the driver wrote is shown as \xHH.
        QCOMPARE(reportText(report).contains("Serial number:        SN\\x1B[2J\n"),
                 report.found.statistics.hasValues());

        // The metrics tell a kicked drawer as it read after its kick, a count only if a number.
        QString drawers = field(expected, "drawers");
        for (const QString &kick : field(expected, "kicks").split(','))
            if (kick.endsWith('+'))
                drawers[kick.left(1).toInt()] = 'o';
        QString counts = field(expected, "counts");
        counts.replace(QRegularExpression("[^/]*[^0-9/?][^/]*"), "?");
        for (const QByteArray &metrics : {reportPrometheus(report), reportOpenMetrics(report)})
            QCOMPARE(metricsFacts(metrics),
                     joined({"device=" + field(expected, "device"), "drawers=" + drawers,
                             "counts=" + counts, "status=" + field(expected, "status")}));
    }

    // A count's bytes, least significant first, each through the hexadecimal reader as the
    // decoder writes it. The reader's refusals, which no byte reaches, are held to a
    // reference by the fuzz target, on the kept corpus (hex-*) in every run.
    void bytesToNumber_data()
    {
        QTest::addColumn<QByteArray>("count");
        QTest::addColumn<QString>("decimal"); // empty: too long to decode, overflow_error
        QTest::newRow("largest 4-byte count") << QByteArray::fromHex("FFFFFFFF") << "4294967295";
        QTest::newRow("empty") << QByteArray() << "0";
        QTest::newRow("blanks at both ends") << QByteArray::fromHex("20000020") << "536870944";
        QTest::newRow("below 10^15") << QByteArray::fromHex("FF7FC6A47E8D03") << "999999999999999";
        QTest::newRow("10^15 in exponent form") << QByteArray::fromHex("0080C6A47E8D03") << "1E+15";
        QTest::newRow("7 bytes, exponent") << QByteArray(7, char(255)) << "7.20575940379279E+16";
        QTest::newRow("127 zero bytes") << QByteArray(127, '\0') << "0";
        QTest::newRow("128 bytes cannot be weighed") << QByteArray(128, '\0') << "";
        // Every byte alone is its own value, each through its hexadecimal text.
        for (int byte = 0; byte < 256; ++byte)
            QTest::addRow("byte %d", byte) << QByteArray(1, char(byte)) << QString::number(byte);
    }
    void bytesToNumber()
    {
        QFETCH(QByteArray, count);
        QFETCH(QString, decimal);
        QStringList shown;
        const auto show = [&](const QString &text) { shown << text; };
        if (decimal.isEmpty()) {
            QVERIFY_THROWS_EXCEPTION(std::overflow_error, crModule1::BytesToNumber(count, show));
            QVERIFY(shown.isEmpty());
            return;
        }
        QCOMPARE(crModule1::BytesToNumber(count, show), decimal);
        // The box shows every raw character, NULs included, then the arrow and the result.
        QCOMPARE(shown, QStringList{QString::fromLatin1(count) + "-->" + decimal});
    }
};

QTEST_APPLESS_MAIN(ReportTest)
#include "tst_report.moc"
