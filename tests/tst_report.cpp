// The report's JSON and metrics forms, and the driver log: what a script or a monitoring
// system reads, literally.
#include "check.h"
#include "logcategories.h"
#include "loggingdriver.h"
#include "report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <csignal>

namespace {

StatisticsResult read(const char *good, const char *failed)
{
    return {StatisticsResult::Outcome::Read, 0, {"SN\x01", "20240115", "R2.0", "20240301", good, failed}};
}

// A check that saw drawers 0 to 3 closed and 4 to 7 empty, and read the statistics.
Report healthy()
{
    Report report;
    report.time = 1796094000;
    report.driverFile = "/usr/lib/x86_64-linux-gnu/libbexor.so";
    report.device = DeviceState::Open;
    report.openResults = {0};
    for (int n = 0; n < 8; ++n) {
        report.drawers[n] = n < 4 ? DrawerReading::Closed : DrawerReading::NotPresent;
        report.stateCodes[n] = n < 4 ? 16 * n + 1 : -1;
    }
    report.statistics = read("1200", "3");
    return report;
}

Report kicked()
{
    Report report = healthy();
    report.kickAsked = true;
    report.kicks = {{2, 0, DrawerReading::Closed, DrawerReading::Open},
                    {0, 7, DrawerReading::Closed, DrawerReading::Closed}};
    report.statisticsAfterKicks = read("1201", "4");
    return report;
}

Report notOpened()
{
    Report report;
    report.time = 1796094000;
    report.driverFile = "/x/libbexor.so";
    report.device = DeviceState::DidNotOpen;
    report.openResults = {2, 2};
    return report;
}

QJsonObject json(const Report &report)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(reportJson(report), &error);
    [&] { QCOMPARE(error.error, QJsonParseError::NoError); }();
    return document.object();
}

QStringList captured;
void capture(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    captured << QString(context.category) + ": " + message;
}

struct AnsweringDriver : DrawerDriver
{
    int32_t openBexor() override { return 0; }
    int32_t closeBexor() override { return 1; }
    int32_t drawerOpen(int32_t n) override { return n == 3 ? 7 : 0; }
    int32_t drawerState(int32_t) override { return -1; }
    int32_t retrieveStatistics(int16_t, int32_t, uint8_t *, int16_t) override { return 9; }
};

} // namespace

Q_DECLARE_METATYPE(Report)

class ReportTest : public QObject
{
    Q_OBJECT

private slots:
    void metrics_data()
    {
        QTest::addColumn<Report>("report");
        QTest::addColumn<QString>("metrics");
        const QString head = "# HELP crtest_device_open Whether the controller opened in the check (1) or not (0).\n"
                             "# TYPE crtest_device_open gauge\n";
        const QString present = "# HELP crtest_drawer_present Whether a drawer is attached (1) or not (0).\n"
                                "# TYPE crtest_drawer_present gauge\n";
        const QString open = "# HELP crtest_drawer_open Whether a drawer read open (1) or not (0).\n"
                             "# TYPE crtest_drawer_open gauge\n";
        const QString good = "# HELP crtest_drawer_good_opens_total The controller's count of good drawer openings.\n"
                             "# TYPE crtest_drawer_good_opens_total counter\n";
        const QString failed = "# HELP crtest_drawer_failed_opens_total The controller's count of failed drawer openings.\n"
                               "# TYPE crtest_drawer_failed_opens_total counter\n";
        const QString tail = "# HELP crtest_check_timestamp_seconds When the check ran, in seconds since 1970.\n"
                             "# TYPE crtest_check_timestamp_seconds gauge\n"
                             "crtest_check_timestamp_seconds 1796094000\n"
                             "# HELP crtest_check_exit_status The exit status of the check; 0 means all well.\n"
                             "# TYPE crtest_check_exit_status gauge\n";
        QTest::newRow("healthy") << healthy()
                << head + "crtest_device_open 1\n" + present
                           + "crtest_drawer_present{drawer=\"0\"} 1\ncrtest_drawer_present{drawer=\"1\"} 1\n"
                             "crtest_drawer_present{drawer=\"2\"} 1\ncrtest_drawer_present{drawer=\"3\"} 1\n"
                             "crtest_drawer_present{drawer=\"4\"} 0\ncrtest_drawer_present{drawer=\"5\"} 0\n"
                             "crtest_drawer_present{drawer=\"6\"} 0\ncrtest_drawer_present{drawer=\"7\"} 0\n" + open
                           + "crtest_drawer_open{drawer=\"0\"} 0\ncrtest_drawer_open{drawer=\"1\"} 0\n"
                             "crtest_drawer_open{drawer=\"2\"} 0\ncrtest_drawer_open{drawer=\"3\"} 0\n"
                             "crtest_drawer_open{drawer=\"4\"} 0\ncrtest_drawer_open{drawer=\"5\"} 0\n"
                             "crtest_drawer_open{drawer=\"6\"} 0\ncrtest_drawer_open{drawer=\"7\"} 0\n"
                           + good + "crtest_drawer_good_opens_total 1200\n" + failed
                           + "crtest_drawer_failed_opens_total 3\n" + tail + "crtest_check_exit_status 0\n# EOF\n";
        // Drawer 2 ends open after its kick; the counts are the second read's.
        QTest::newRow("kicked") << kicked()
                << head + "crtest_device_open 1\n" + present
                           + "crtest_drawer_present{drawer=\"0\"} 1\ncrtest_drawer_present{drawer=\"1\"} 1\n"
                             "crtest_drawer_present{drawer=\"2\"} 1\ncrtest_drawer_present{drawer=\"3\"} 1\n"
                             "crtest_drawer_present{drawer=\"4\"} 0\ncrtest_drawer_present{drawer=\"5\"} 0\n"
                             "crtest_drawer_present{drawer=\"6\"} 0\ncrtest_drawer_present{drawer=\"7\"} 0\n" + open
                           + "crtest_drawer_open{drawer=\"0\"} 0\ncrtest_drawer_open{drawer=\"1\"} 0\n"
                             "crtest_drawer_open{drawer=\"2\"} 1\ncrtest_drawer_open{drawer=\"3\"} 0\n"
                             "crtest_drawer_open{drawer=\"4\"} 0\ncrtest_drawer_open{drawer=\"5\"} 0\n"
                             "crtest_drawer_open{drawer=\"6\"} 0\ncrtest_drawer_open{drawer=\"7\"} 0\n"
                           + good + "crtest_drawer_good_opens_total 1201\n" + failed
                           + "crtest_drawer_failed_opens_total 4\n" + tail + "crtest_check_exit_status 6\n# EOF\n";
        // A failed check still says so: the device is closed, nothing else is known.
        QTest::newRow("did not open") << notOpened()
                << head + "crtest_device_open 0\n" + present + open + good + failed + tail
                           + "crtest_check_exit_status 4\n# EOF\n";
    }
    void metrics()
    {
        QFETCH(Report, report);
        QTEST(QString::fromUtf8(reportOpenMetrics(report)), "metrics");
    }

    void json()
    {
        const QJsonObject check = ::json(kicked());
        QCOMPARE(check["schema_version"].toInt(), 1);
        QCOMPARE(check["origin"].toString(), "check");
        QCOMPARE(check["time"].toString(), "2026-12-01T03:00:00Z");
        QCOMPARE(check["driver"]["file"].toString(), "/usr/lib/x86_64-linux-gnu/libbexor.so");
        QVERIFY(check["driver"]["error"].isNull());
        QCOMPARE(check["device"].toString(), "open");
        QCOMPARE(check["drawers"][3]["state"].toString(), "closed");
        QCOMPARE(check["drawers"][3]["code"].toInt(), 49);
        QCOMPARE(check["drawers"][4]["state"].toString(), "not-present");
        QCOMPARE(check["statistics"]["records"]["serial_number"].toString(), "SN\x01");
        QCOMPARE(check["statistics"]["good_opens"].toInt(), 1200);
        QCOMPARE(check["statistics_after_kicks"]["failed_opens"].toInt(), 4);
        QCOMPARE(check["kicks"][1]["status"].toInt(), 7);
        QCOMPARE(check["kicks"][1]["opened"].toBool(), false);
        QCOMPARE(check["kicks"][0]["after"].toString(), "open");
        QCOMPARE(check["count_changes"]["good_opens"].toInt(), 1);
        QCOMPARE(check["count_changes"]["failed_opens"].toInt(), 1);
        QCOMPARE(check["problems"].toArray().size(), 1);
        QCOMPARE(check["exit_status"].toInt(), 6);

        Report window = healthy();
        window.origin = ReportOrigin::Window;
        window.statistics = {StatisticsResult::Outcome::Shown, 0,
                             {"", "", "", "YYYYMMDD", "DrawerGoodOpenCount", "DrawerFailedOpenCount"}};
        const QJsonObject shown = ::json(window);
        QCOMPARE(shown["origin"].toString(), "window");
        QVERIFY(shown["exit_status"].isNull());
        QVERIFY(shown["kicks"].isNull());
        QCOMPARE(shown["statistics"]["records"]["good_opens"].toString(), "DrawerGoodOpenCount");
        QVERIFY(shown["statistics"]["good_opens"].isNull());

        Report interrupted = notOpened();
        interrupted.interruptedBy = SIGTERM;
        const QJsonObject stopped = ::json(interrupted);
        QCOMPARE(stopped["interrupted_by"].toString(), "SIGTERM");
        QCOMPARE(stopped["exit_status"].toInt(), 143);
        QCOMPARE(stopped["open_results"].toArray(), (QJsonArray{2, 2}));
        QVERIFY(stopped["statistics"]["records"].isNull());
    }

    // Every call with its arguments, result and time, in crtest.driver, only when asked.
    void driverLog()
    {
        AnsweringDriver answering;
        LoggingDriver driver(answering);
        const QtMessageHandler previous = qInstallMessageHandler(capture);
        uint8_t buffer[129] = {};
        driver.openBexor();
        QVERIFY(captured.isEmpty());
        QLoggingCategory::setFilterRules(VerboseLoggingRules);
        QCOMPARE(driver.openBexor(), 0);
        QCOMPARE(driver.drawerOpen(3), 7);
        QCOMPARE(driver.drawerState(6), -1);
        QCOMPARE(driver.retrieveStatistics(0, 15, buffer, 106), 9);
        QCOMPARE(driver.closeBexor(), 1);
        logKick(3, 7);
        QLoggingCategory::setFilterRules({});
        qInstallMessageHandler(previous);
        captured.replaceInStrings(QRegularExpression(" \\(\\d+\\.\\d{3} ms\\)$"), " (T ms)");
        QCOMPARE(captured, (QStringList{"crtest.driver: OpenBexor() = 0 (T ms)",
                                        "crtest.driver: DrawerOpen(3) = 7 (T ms)",
                                        "crtest.driver: DrawerState(6) = -1 (T ms)",
                                        "crtest.driver: RetrieveStatistics(0, 15, buffer, 106) = 9 (T ms)",
                                        "crtest.driver: CloseBexor() = 1 (T ms)",
                                        "crtest.events: Drawer 3 kicked (DrawerOpen returned 7)"}));
    }
};

QTEST_GUILESS_MAIN(ReportTest)
#include "tst_report.moc"
