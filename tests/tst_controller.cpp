// The controller model on its own, on the scripted driver: the open with its one retry, what
// the snapshot keeps of the opens, the kicks and their read-backs and the statistics, and
// that once it is closed nothing reaches the driver, whatever is asked of it.
#include "fakes.h"
#include "reportwords.h"

#include <QTest>

class ControllerTest : public QObject
{
    Q_OBJECT

private slots:
    // Steps asked of the model: open (the front end's step between the two opens says go on),
    // read or kick drawer n, the drawer springing open or shut (in the driver), the
    // statistics, close. Then every call that reached the driver, and what the snapshot keeps.
    void steps_data()
    {
        QTest::addColumn<QList<int32_t>>("opens");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("calls");
        QTest::addColumn<QStringList>("kept");
        const auto row = [](const char *name, QList<int32_t> opens, const char *steps,
                            const char *calls, const QStringList &kept) {
            QTest::newRow(name) << opens << QString(steps) << QString(calls) << kept;
        };
        row("retry at once; nothing after the close", {5, 0},
            "open read0 close read0 kick0 stats open close",
            "OpenBexor between OpenBexor DrawerState(0) CloseBexor between", {"opens 5, then 0"});
        row("a kick's read-back is the first read after it", {0},
            "open read0 kick0 kick1 open0 read0 shut0 read0 stats",
            "OpenBexor between DrawerState(0) DrawerOpen(0) DrawerOpen(1) DrawerState(0) "
            "DrawerState(0) RetrieveStatistics(0,15,106)",
            {"opens 0", "kick 0: closed > open", "kick 1: not read > not read", "good opens 1200"});
        row("only a drawer's last kick is kept", {0}, "open read0 kick0 kick1 open0 read0 kick0",
            "OpenBexor between DrawerState(0) DrawerOpen(0) DrawerOpen(1) DrawerState(0) "
            "DrawerOpen(0)",
            {"opens 0", "kick 1: not read > not read", "kick 0: open > not read"});
    }
    void steps()
    {
        QFETCH(QList<int32_t>, opens);
        QFETCH(QString, steps);
        Log log;
        FakeDriver driver(&log);
        driver.opens = opens;
        driver.statisticsBlock.replace(98, 4, QByteArray::fromHex("B0040000"));
        Controller controller(&driver, {}, {});
        for (const QString &step : steps.split(' ')) {
            const int n = step.right(1).toInt();
            if (step == "open")
                controller.open([&] { return log << "between", true; });
            else if (step.startsWith("read"))
                controller.readDrawer(n);
            else if (step.startsWith("kick"))
                controller.kick(n);
            else if (step.startsWith("open") || step.startsWith("shut"))
                driver.states[n] = 16 * n + step.startsWith("shut");
            else
                step == "stats" ? void(controller.readStatistics()) : controller.close();
        }
        QTEST(log.join(' '), "calls");
        const ControllerSnapshot &found = controller.snapshot();
        QStringList kept{"opens " + reportwords::openResultsText(found.openResults)};
        for (const KickResult &kick : found.kicks)
            kept << QString("kick %1: %2 > %3")
                            .arg(kick.drawer)
                            .arg(reportwords::readingWord(kick.before),
                                 reportwords::readingWord(kick.after.reading));
        if (found.statistics.hasValues())
            kept << "good opens " + found.statistics.values[GoodOpens];
        QTEST(kept, "kept");
    }
};

QTEST_GUILESS_MAIN(ControllerTest)
#include "tst_controller.moc"
