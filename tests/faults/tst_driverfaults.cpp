// Driver faults injected behind the real binding. Whatever the library does wrong, the
// window stays up, says what went wrong, shows exactly what the data says or nothing, and
// never calls the device after closing it. The order of calls, waits, yields and message
// boxes is proven on the in-process fake; this suite proves what a faulty driver changes.
#include "faultbinding.h"
#include "formrig.h"

#include <QtEndian>

using DrawerStates = std::array<int32_t, 8>;

namespace {

// A plain reading of what the driver wrote, apart from the program's: the six boxes, each
// text record up to its first zero byte and each count as four bytes least significant
// first; and each count's message box, its raw characters, "-->" and its decimal text.
std::pair<QStringList, QStringList> reference(const QByteArray &written)
{
    const QByteArray block = written.leftJustified(106, '\0', true);
    QStringList boxes, messages;
    for (const auto &[offset, length] : {std::pair{46, 16}, {62, 8}, {70, 4}, {82, 8}})
        boxes << QString::fromLatin1(block.mid(offset, length).split('\0').first());
    for (const int offset : {98, 102}) {
        boxes << QString::number(qFromLittleEndian<quint32>(block.constData() + offset));
        messages << QString::fromLatin1(block.mid(offset, 4)) + "-->" + boxes.last();
    }
    return {boxes, messages};
}

// The real window on the real binding, with scripted desktop services.
struct FaultRig : FaultBinding, FormRig
{
    explicit FaultRig(const QString &path) : FaultBinding(path)
    {
        bound = library.get();
        bindError = error;
    }
};

// What a row does to the driver's answers, and to the window's yields, before start-up or
// before its click.
using Fault = std::function<void(FaultRig &)>;

} // namespace

class DriverFaultsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<FaultRig> rig;

private slots:
    void initTestCase() { QVERIFY(QFile::exists(DriverDir + "/libfaultdriver.so")); }
    // Every run ends by exit, after which every control is clicked once more: the driver
    // hears nothing after its CloseBexor, and an unbound one nothing at all.
    void cleanup()
    {
        if (!rig->form)
            return;
        for (const char *click : {"Exit_Cmd", "Status_Cmd", "Kick_Cmd", "close"})
            press(*rig->form, click);
        const auto calls = QString(rig->script->calls.c_str()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(calls.mid(calls.indexOf("Close")),
                 rig->library ? QStringList{"Close"} : QStringList());
    }

    // Each fault, at binding, before start-up or before a click, and what the user then sees:
    // the message boxes of that step and the end of the program, if it ended; the six
    // statistics boxes; each drawer's letter.
    void matrix_data()
    {
        QTest::addColumn<QString>("library");
        QTest::addColumn<Fault>("fault"); // none for a library that is not bound
        QTest::addColumn<QString>("click"); // none: the fault is made before start-up
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QStringList>("shown");
        const auto row = [](const QString &name, const Fault &fault, const char *click,
                            const QString &rows, const QStringList &boxes, const QStringList &shown,
                            const QString &library = DriverDir + "/libfaultdriver.so") {
            QTest::newRow(qPrintable(name)) << library << fault << click << rows << boxes << shown;
        };
        const QStringList healthyBoxes = reference(healthyBlock()).first;
        const QStringList healthyMessages = reference(healthyBlock()).second;
        const QStringList initialBoxes{"", "", "", "YYYYMMDD", "DrawerGoodOpenCount",
                                       "DrawerFailedOpenCount"};

        // Caught when the library is bound: the window says why in the loader's words, naming
        // the file, and calls nothing of it. A library the loader would fault on is refused
        // without taking this process down.
        const auto unbound = [&](const QString &name, const QString &library, const QString &why) {
            row(name, {}, "", "--------", initialBoxes, {"USB CR Open error !!\n" + why}, library);
        };
        unbound("library missing", DriverDir + "/libbexor-absent.so", DriverDir
                + "/libbexor-absent.so: cannot open shared object file: No such file or directory");
        // Headers intact, the rest cut off: a copy the loader itself faults on, found along
        // the search (CTest puts the drivers' folder on LD_LIBRARY_PATH) and refused naming where.
        QFile library(DriverDir + "/libfaultdriver.so"), cut(DriverDir + "/libcut.so");
        QVERIFY(library.open(QIODevice::ReadOnly) && cut.open(QIODevice::WriteOnly));
        QCOMPARE(cut.write(library.read(4096)), 4096);
        unbound("library cut after its first page", "libcut.so", DriverDir + "/libcut.so: a trial "
                "load of it died of SIGBUS (a damaged or partly copied library)");
        for (const QString function :
             {"OpenBexor", "CloseBexor", "DrawerOpen", "DrawerState", "RetrieveStatistics"}) {
            const QString path = DriverDir + "/libfaultdriver_without_" + function + ".so";
            unbound(function + " missing", path, path + ": undefined symbol: " + function);
        }

        // A drawer is open at its own code, absent at -1 and closed at anything else.
        const auto state = [&](const char *name, DrawerStates codes, const char *rows) {
            row(name, [codes](FaultRig &r) { r.script->state = codes; }, "Status_Cmd", rows,
                healthyBoxes, {});
        };
        state("each its own open code", {0, 16, 32, 48, 64, 80, 96, 112}, "OOOOOOOO");
        state("each its open code + 1", {1, 17, 33, 49, 65, 81, 97, 113}, "CCCCCCCC");
        state("each the next drawer's code", {16, 32, 48, 64, 80, 96, 112, 128}, "CCCCCCCC");
        state("each the previous drawer's code", {-16, 0, 16, 32, 48, 64, 80, 96}, "CCCCCCCC");
        state("mixed, INT32_MIN and INT32_MAX", {0, -1, 32, 0, INT32_MIN, 80, -1, INT32_MAX},
              "ONOCCONC");

        // A failed kick is not reported: the rows show what the drawers say afterwards.
        const auto kick = [&](const QString &name, int32_t status, const char *rows) {
            row(name, [status](FaultRig &r) { r.script->kick = status; }, "Kick_Cmd", rows,
                healthyBoxes, healthyMessages);
        };
        kick("kicks open the drawers", 0, "OOOONNNN");
        for (const int32_t status : {1, INT32_MIN})
            kick(QString("kicks fail with %1").arg(status), status, "CCCCNNNN");

        // The kick's read is the second in a row, so nothing of start-up's may remain. A read
        // that is refused shows only its message and leaves every box empty.
        const auto read = [&](const QString &name, const QByteArray &block, int32_t status,
                              const QString &refusal = {}) {
            const auto [boxes, messages] = reference(block);
            const Fault fault = [block = block.toStdString(), status](FaultRig &r) {
                r.script->block = block;
                r.script->statistics = status;
            };
            row(name, fault, "Kick_Cmd", "OOOONNNN", refusal.isEmpty() ? boxes : QStringList(6),
                refusal.isEmpty() ? messages : QStringList {refusal});
        };
        const QByteArray healthy = healthyBlock(), whole = healthy + QByteArray(129 - 106, 'w');
        const QString error = "CR Retrieve Statistics error !!";
        const QString overrun = "The driver wrote past the statistics buffer; "
                                "the statistics it returned are not shown.";
        for (const int32_t status : {7, -1, 1, INT32_MIN, INT32_MAX})
            read(QString("statistics status %1").arg(status), healthy, status,
                 error + QString::number(status));
        for (const int length : {0, 50, 105})
            read(QString("%1 statistics bytes written").arg(length), healthy.left(length), 0);
        read("the whole 129-byte buffer written", whole, 0);
        read("1 byte past the buffer", whole + 'w', 0, overrun);
        read("300 bytes past the buffer", whole + QByteArray(300, 'w'), 0, overrun);
        read("1 byte past the buffer, status 5", whole + '\0', 5, overrun);
        // Blocks whose every byte differs, so a slipped offset shows at once; together they
        // pass each value from 0 to 255 through the shown records, NUL and controls included.
        for (int first = 0; first < 256; first += 60) {
            QByteArray block(106, '\0');
            for (int i = 0; i < 106; ++i)
                block[i] = char(first + i - 46);
            read(QString("all bytes differ, the shown ones from %1").arg(first), block, 0);
        }
        QByteArray nuls = healthy;
        nuls.replace(46, 5, QByteArray("AB\0CD", 5)).replace(70, 4, QByteArray("\0B3\x7F", 4));
        nuls.replace(98, 8, QByteArray::fromHex("0001000101000000"));
        read("NUL inside text and count records", nuls, 0);

        // Start-up yields once, after the first open. A close there ends start-up: no retry,
        // no refresh, no read, no message. A failing close is not reported, and the program
        // ends as always.
        const auto inStartup = [&](const char *name, const char *click, int32_t open) {
            const Fault fault = [=](FaultRig &r) {
                r.script->open = {open};
                r.script->close = INT32_MIN;
                r.log.onEntry = [&r, click](const QString &entry) {
                    if (entry == "Yield" && r.log.count("Yield") == 1)
                        press(*r.form, click);
                };
            };
            row(name, fault, "", "--------", initialBoxes,
                click == QString("Exit_Cmd") ? QStringList {"End(0)"} : QStringList());
        };
        inStartup("exit in start-up's yield, close fails", "Exit_Cmd", 0);
        inStartup("close box in start-up's yield, first open failed, close fails", "close", 5);
    }
    void matrix()
    {
        QFETCH(QString, library);
        QFETCH(Fault, fault);
        QFETCH(QString, click);
        QFETCH(QStringList, shown);
        rig = std::make_unique<FaultRig>(library);
        // Bound whole or refused: a library bound without one of its functions would be called
        // through a pointer to nothing.
        QVERIFY2(!rig->library == shown.value(0).startsWith("USB CR Open error !!\n"),
                 qPrintable(rig->error));
        if (fault && click.isEmpty())
            fault(*rig);
        CRTEST_Form &form = rig->start();
        if (!click.isEmpty()) {
            rig->log.clear();
            fault(*rig);
            press(form, click);
        }
        QCOMPARE(rig->log.filter(QRegularExpression("^Message:|^End\\("))
                         .replaceInStrings("Message:", ""),
                 shown);
        QTEST(boxTexts(form), "boxes");
        QTEST(rowLetters(form), "rows");
        // The device is open, or the window says it is not.
        for (const char *name : {"Status_Cmd", "Kick_Cmd"})
            QCOMPARE(button(form, name)->isEnabled(), rowLetters(form) != "--------");
    }
};

QTEST_MAIN(DriverFaultsTest)
#include "tst_driverfaults.moc"
