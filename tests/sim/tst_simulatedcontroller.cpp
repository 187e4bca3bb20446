// The simulated controller, loaded by path and called through the five driver functions.
// Its state is static to the library, so every test opens it and cleanup() closes it.
#include "apideclarations.h"

#include <QRegularExpression>
#include <QtEndian>
#include <QtTest>

#ifdef _WIN32
#  define NOMINMAX
#  include <windows.h>
#else
#  include <dlfcn.h>
#endif

namespace {

constexpr int kBlock = 106;
constexpr int kGuarded = 129;
constexpr char kGuard = char(0xAA);
constexpr int kGoodOffset = 98;
constexpr int kFailedOffset = 102;
const char *const kSettings[] = {"BEXOR_SIM_PRESENT", "BEXOR_SIM_OPEN_MS", "BEXOR_SIM_OPEN_FAIL",
                                 "BEXOR_SIM_KICK_FAIL", "BEXOR_SIM_STATS_FAIL"};

template <typename Fn> Fn resolve(const char *name)
{
#ifdef _WIN32
    static HMODULE library = LoadLibraryA(SIM_LIBRARY_PATH);
    return library ? reinterpret_cast<Fn>(GetProcAddress(library, name)) : nullptr;
#else
    static void *library = dlopen(SIM_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    return library ? reinterpret_cast<Fn>(dlsym(library, name)) : nullptr;
#endif
}

// "NAME=value"; an empty row sets nothing.
void apply(const QByteArray &setting)
{
    if (const auto eq = setting.indexOf('='); eq > 0)
        qputenv(setting.left(eq).constData(), setting.mid(eq + 1));
}

// 'O'pen, 'C'losed or 'A'bsent, as the utility reads a state code.
char kind(int drawer, int32_t state)
{
    return state == -1 ? 'A' : state == 16 * drawer ? 'O' : 'C';
}

} // namespace

class TestSimulatedController : public QObject
{
    Q_OBJECT

    OpenBexorFn openBexor = resolve<OpenBexorFn>("OpenBexor");
    CloseBexorFn closeBexor = resolve<CloseBexorFn>("CloseBexor");
    DrawerOpenFn drawerOpen = resolve<DrawerOpenFn>("DrawerOpen");
    DrawerStateFn drawerState = resolve<DrawerStateFn>("DrawerState");
    RetrieveStatisticsFn retrieve = resolve<RetrieveStatisticsFn>("RetrieveStatistics");

    // Empty when the read fails.
    QByteArray statistics()
    {
        QByteArray block(kBlock, '\0');
        if (retrieve(0, 15, reinterpret_cast<uint8_t *>(block.data()), kBlock) != 0)
            return {};
        return block;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(openBexor && closeBexor && drawerOpen && drawerState && retrieve,
                 "cannot load " SIM_LIBRARY_PATH);
    }
    void init()
    {
        for (const char *name : kSettings)
            qunsetenv(name);
    }
    void cleanup() { closeBexor(); }

    // Until an open succeeds, and after a close, every call fails without side effects.
    void openAndClose_data()
    {
        QTest::addColumn<QByteArray>("setting");
        QTest::addColumn<QList<int>>("opens");
        QTest::addColumn<bool>("closeAfter");
        QTest::newRow("never opened") << QByteArray() << QList<int>{} << false;
        QTest::newRow("closed again") << QByteArray() << QList<int>{0} << true;
        QTest::newRow("reopen is harmless") << QByteArray() << QList<int>{0, 0} << false;
        QTest::newRow("open fails always") << QByteArray("BEXOR_SIM_OPEN_FAIL=always")
                                           << QList<int>{2, 2} << false;
        // "once" is spent for the whole process, so no other row may use it.
        QTest::newRow("open fails once") << QByteArray("BEXOR_SIM_OPEN_FAIL=once")
                                         << QList<int>{2, 0} << false;
        QTest::newRow("unknown ignored") << QByteArray("BEXOR_SIM_OPEN_FAIL=sometimes")
                                         << QList<int>{0} << false;
    }
    void openAndClose()
    {
        QFETCH(QByteArray, setting);
        QFETCH(QList<int>, opens);
        QFETCH(bool, closeAfter);
        apply(setting);
        for (int status : opens)
            QCOMPARE(openBexor(), status);
        if (closeAfter)
            QCOMPARE(closeBexor(), 0);
        const bool usable = !opens.isEmpty() && opens.last() == 0 && !closeAfter;
        QCOMPARE(drawerState(0) != -1, usable);
        if (usable)
            return;
        QCOMPARE(drawerOpen(0), 1);
        QByteArray buffer(kGuarded, kGuard);
        QCOMPARE(retrieve(0, 15, reinterpret_cast<uint8_t *>(buffer.data()), kBlock), 1);
        QCOMPARE(buffer, QByteArray(kGuarded, kGuard));
        QCOMPARE(closeBexor(), 1);
    }

    void drawer_data()
    {
        QTest::addColumn<QByteArray>("setting");
        QTest::addColumn<int>("drawer");
        QTest::addColumn<char>("before");
        QTest::addColumn<int>("status");
        QTest::addColumn<char>("after");
        QTest::addColumn<uint>("good");
        QTest::addColumn<uint>("failed");
        const auto row = [](const char *name, const char *setting, int drawer, char before,
                            int status, char after, uint good, uint failed) {
            QTest::newRow(name) << QByteArray(setting) << drawer << before << status << after
                                << good << failed;
        };
        row("drawer 0", "", 0, 'C', 0, 'O', 1, 0);
        row("drawer 3", "", 3, 'C', 0, 'O', 1, 0);
        row("drawer 4 absent", "", 4, 'A', 4, 'A', 0, 1);
        row("slot 8", "", 8, 'A', 3, 'A', 0, 0);
        row("slot -1", "", -1, 'A', 3, 'A', 0, 0);
        row("listed", "BEXOR_SIM_PRESENT=1,5", 5, 'C', 0, 'O', 1, 0);
        row("not listed", "BEXOR_SIM_PRESENT=1,5", 0, 'A', 4, 'A', 0, 1);
        row("listed with spaces", "BEXOR_SIM_PRESENT= 2 , 6 ", 6, 'C', 0, 'O', 1, 0);
        row("none present", "BEXOR_SIM_PRESENT=none", 2, 'A', 4, 'A', 0, 1);
        row("bad slot drops list", "BEXOR_SIM_PRESENT=0,8", 3, 'C', 0, 'O', 1, 0);
        row("garbage list ignored", "BEXOR_SIM_PRESENT=x", 1, 'C', 0, 'O', 1, 0);
        row("jammed", "BEXOR_SIM_KICK_FAIL=7", 2, 'C', 7, 'C', 0, 1);
        row("jam unreadable", "BEXOR_SIM_KICK_FAIL=7x", 1, 'C', 0, 'O', 1, 0);
        row("open 0 ms shuts at once", "BEXOR_SIM_OPEN_MS=0", 1, 'C', 0, 'C', 1, 0);
        row("open time negative", "BEXOR_SIM_OPEN_MS=-5", 1, 'C', 0, 'O', 1, 0);
    }
    // The default open time of 3 s leaves ample margin for the read right after a kick.
    void drawer()
    {
        QFETCH(QByteArray, setting);
        QFETCH(int, drawer);
        apply(setting);
        QCOMPARE(openBexor(), 0);
        QTEST(kind(drawer, drawerState(drawer)), "before");
        const QByteArray before = statistics();
        QTEST(drawerOpen(drawer), "status");
        QTEST(kind(drawer, drawerState(drawer)), "after");
        const QByteArray after = statistics();
        QVERIFY(!before.isEmpty() && !after.isEmpty());
        const auto grown = [&](int offset) {
            return uint(qFromLittleEndian<quint32>(after.constData() + offset)
                        - qFromLittleEndian<quint32>(before.constData() + offset));
        };
        QTEST(grown(kGoodOffset), "good");
        QTEST(grown(kFailedOffset), "failed");
    }

    void statisticsRequest_data()
    {
        QTest::addColumn<QByteArray>("setting");
        QTest::addColumn<short>("unit");
        QTest::addColumn<int>("selector");
        QTest::addColumn<bool>("noBuffer");
        QTest::addColumn<short>("length");
        QTest::addColumn<int>("status");
        const auto row = [](const char *name, const char *setting, short unit, int selector,
                            bool noBuffer, int length, int status) {
            QTest::newRow(name) << QByteArray(setting) << unit << selector << noBuffer
                                << short(length) << status;
        };
        row("valid", "", 0, 15, false, kBlock, 0);
        row("no buffer", "", 0, 15, true, kBlock, 5);
        row("short", "", 0, 15, false, kBlock - 1, 5);
        row("long", "", 0, 15, false, kBlock + 1, 5);
        row("selector", "", 0, 14, false, kBlock, 5);
        row("unit", "", 1, 15, false, kBlock, 5);
        row("injected", "BEXOR_SIM_STATS_FAIL=9", 0, 15, false, kBlock, 9);
        row("injected negative", "BEXOR_SIM_STATS_FAIL=-2", 0, 15, false, kBlock, -2);
        row("injected unreadable", "BEXOR_SIM_STATS_FAIL=bad", 0, 15, false, kBlock, 0);
    }
    void statisticsRequest()
    {
        QFETCH(QByteArray, setting);
        QFETCH(short, unit);
        QFETCH(int, selector);
        QFETCH(bool, noBuffer);
        QFETCH(short, length);
        QFETCH(int, status);
        apply(setting);
        QCOMPARE(openBexor(), 0);
        QByteArray buffer(kGuarded, kGuard);
        auto *data = noBuffer ? nullptr : reinterpret_cast<uint8_t *>(buffer.data());
        QCOMPARE(retrieve(unit, selector, data, length), status);
        const int written = status == 0 ? kBlock : 0;
        QCOMPARE(buffer.mid(written), QByteArray(kGuarded - written, kGuard));
        // The block ends with the high byte of the failed count, which a write reaches.
        if (written)
            QVERIFY(buffer.at(kBlock - 1) != kGuard);
    }

    void statisticsText_data()
    {
        const QString date = "^20\\d\\d(0[1-9]|1[0-2])(0[1-9]|[12]\\d|3[01])$";
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("serial") << 46 << 16 << "^SIMULATED-\\d{4}$";
        QTest::newRow("manufactured") << 62 << 8 << date;
        QTest::newRow("revision") << 70 << 4 << "^R\\d\\.\\d$";
        QTest::newRow("installed") << 82 << 8 << date;
    }
    void statisticsText()
    {
        QFETCH(int, offset);
        QFETCH(int, length);
        QFETCH(QString, pattern);
        QCOMPARE(openBexor(), 0);
        const QByteArray record = statistics().mid(offset, length);
        QCOMPARE(record.size(), length);
        const qsizetype end = record.indexOf('\0'); // a full-length text has no terminator
        const QByteArray text = end < 0 ? record : record.left(end);
        QCOMPARE(record.mid(text.size()), QByteArray(length - text.size(), '\0'));
        QVERIFY2(QRegularExpression(pattern).match(QString::fromLatin1(text)).hasMatch(), text);
    }
};

QTEST_GUILESS_MAIN(TestSimulatedController)
#include "tst_simulatedcontroller.moc"
