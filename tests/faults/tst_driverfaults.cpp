// Driver faults injected behind the real binding. Whatever the library does wrong, the
// window stays up, says what went wrong, shows exactly what the data says or nothing, and
// never calls the device after closing it.
#include "bexorlibrary.h"
#include "crtest_form.h"
#include "fakeservices.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <dlfcn.h>
#include <elf.h>

#include <cstdio>
#include <memory>

using DrawerStates = QList<int32_t>;

namespace {

const QString DriverDir = QStringLiteral(FAULT_DRIVER_DIR);
const QString FaultDriver = DriverDir + QStringLiteral("/libfaultdriver.so");
const QString OpenError = QStringLiteral("USB CR Open error !!");
const QString StatisticsError = QStringLiteral("CR Retrieve Statistics error !!");
const char LoadOnlyOption[] = "--load-only";

// The test's side door into the loaded library: what it answers and what it was asked.
class FaultDriverControl
{
public:
    explicit FaultDriverControl(const QString &path)
        : m_handle(dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL))
    {
        if (!m_handle)
            return;
        m_script = reinterpret_cast<void (*)(const char *)>(dlsym(m_handle, "FaultDriverScript"));
        m_log = reinterpret_cast<const char *(*)()>(dlsym(m_handle, "FaultDriverLog"));
        // Rows share the loaded library: each starts from a fresh one.
        if (const auto reset = reinterpret_cast<void (*)()>(dlsym(m_handle, "FaultDriverReset")))
            reset();
    }

    void script(const QByteArray &text) const
    {
        if (m_script)
            m_script(text.constData());
    }
    QStringList calls() const
    {
        return m_log ? QString::fromLatin1(m_log()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                     : QStringList();
    }

private:
    void *m_handle = nullptr; // kept loaded: the binding never unloads either
    void (*m_script)(const char *) = nullptr;
    const char *(*m_log)() = nullptr;
};

QByteArray statesScript(const DrawerStates &states)
{
    QByteArrayList values;
    for (const int32_t state : states)
        values.append(QByteArray::number(state));
    return "state=" + values.join(',');
}

// A healthy block: every record filled, the shown ones with plausible values, the others
// with bytes that would show up if an offset slipped.
QByteArray healthyBlock()
{
    QByteArray block(106, char(0xEE));
    const auto put = [&block](int offset, const QByteArray &bytes) {
        block.replace(offset, bytes.size(), bytes);
    };
    put(46, QByteArray("SN-FAULT-000042\0", 16));
    put(62, "20240131");
    put(70, "B3.2");
    put(82, "20240215");
    put(98, QByteArray("\x04\x03\x02\x01", 4));
    put(102, QByteArray("\xFF\xFF\xFF\xFF", 4));
    return block;
}
const QStringList HealthyBoxes{"SN-FAULT-000042", "20240131", "B3.2", "20240215", "16909060",
                               "4294967295"};
const QStringList EmptyBoxes(6);

// A plain reading of the block, independent of the program's: a text record up to its
// first zero byte, a count as four bytes least significant first.
QStringList referenceBoxes(const QByteArray &block)
{
    const QByteArray padded = block.leftJustified(106, '\0', true);
    QStringList boxes;
    for (const auto &[offset, length] : {std::pair{46, 16}, {62, 8}, {70, 4}, {82, 8}}) {
        const QByteArray record = padded.mid(offset, length);
        const qsizetype end = record.indexOf('\0');
        boxes << QString::fromLatin1(end < 0 ? record : record.first(end));
    }
    for (const int offset : {98, 102}) {
        quint64 count = 0;
        for (int i = 3; i >= 0; --i)
            count = count * 256 + uint8_t(padded[offset + i]);
        boxes << QString::number(count);
    }
    return boxes;
}

// The message box a decoded count shows: its raw characters, "-->", its decimal text.
QString countMessage(const QByteArray &block, int offset, const QString &decimal)
{
    const QByteArray padded = block.leftJustified(106, '\0', true);
    return QString::fromLatin1(padded.mid(offset, 4)) + QLatin1String("-->") + decimal;
}

QStringList countMessages(const QByteArray &block)
{
    const QStringList boxes = referenceBoxes(block);
    return {countMessage(block, 98, boxes[4]), countMessage(block, 102, boxes[5])};
}

// The real window on the real binding, with scripted desktop services.
struct FaultRig
{
    QStringList log;
    FakeServices services{log};
    FaultDriverControl driver;
    QString loadError;
    std::unique_ptr<BexorLibrary> library;
    std::unique_ptr<CRTEST_Form> form;
    QString path;
    QByteArray baseScript;

    explicit FaultRig(const QString &libraryPath = FaultDriver)
        : driver(libraryPath), path(libraryPath)
    {
    }

    CRTEST_Form &start(const QByteArray &script = QByteArray())
    {
        baseScript = "bytes=" + healthyBlock().toHex() + ';' + script;
        driver.script(baseScript);
        library = BexorLibrary::load(path, &loadError);
        form = std::make_unique<CRTEST_Form>(library.get(), loadError, services);
        form->load();
        return *form;
    }
    // Changes some answers from here on; the others stay as start() scripted them.
    void rescript(const QByteArray &script) { driver.script(baseScript + ';' + script); }

    QStringList boxes() const
    {
        QStringList texts;
        for (const int record : {5, 6, 7, 10, 13, 14})
            texts << form->crTextSValue[record]->text();
        return texts;
    }
    QString rows() const
    {
        QString letters;
        for (const QLineEdit *state : form->Drawer_State)
            letters += state->text().isEmpty() ? QStringLiteral("-") : state->text();
        return letters;
    }

    // Ends the run by the exit button or the close box and then clicks everything once
    // more. Returns the driver's calls from its CloseBexor on: a clean end leaves just that.
    QStringList endRun(bool byExit = true)
    {
        if (byExit)
            QTest::mouseClick(form->Exit_Cmd, Qt::LeftButton);
        else
            form->close();
        QTest::mouseClick(form->Status_Cmd, Qt::LeftButton);
        QTest::mouseClick(form->Kick_Cmd, Qt::LeftButton);
        form->close();
        const QStringList calls = driver.calls();
        const qsizetype close = calls.indexOf(QStringLiteral("CloseBexor"));
        return close < 0 ? QStringList() : calls.mid(close);
    }
};

} // namespace

class DriverFaultsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void unboundDriver_data();
    void unboundDriver();
    void openFaults_data();
    void openFaults();
    void stateCodes_data();
    void stateCodes();
    void kickFaults_data();
    void kickFaults();
    void statisticsFaults_data();
    void statisticsFaults();
    void statisticsBytes_data();
    void statisticsBytes();
    void closeFaults_data();
    void closeFaults();
    void endingInStartupYield_data();
    void endingInStartupYield();
    void damagedLibraryFile_data();
    void damagedLibraryFile();

private:
    QTemporaryDir m_scratch;
    QString scratchFile(const QString &name, const QByteArray &content) const;
};

QString DriverFaultsTest::scratchFile(const QString &name, const QByteArray &content) const
{
    const QString path = m_scratch.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void DriverFaultsTest::initTestCase()
{
    QVERIFY(m_scratch.isValid());
    QVERIFY2(QFile::exists(FaultDriver), qPrintable(FaultDriver));
}

void DriverFaultsTest::unboundDriver_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("reason"); // the loader's own words, beside the file's name

    QTest::newRow("library missing") << DriverDir + "/libbexor-not-installed.so"
                                     << "cannot open shared object file";
    QTest::newRow("text file") << scratchFile("text.so", "not a library\n") << "file too short";
    QTest::newRow("empty file") << scratchFile("empty.so", "") << "file too short";
    QTest::newRow("a directory") << m_scratch.path() << "Is a directory";
    QTest::newRow("a program") << QCoreApplication::applicationFilePath()
                               << "cannot dynamically load position-independent executable";
    for (const char *function :
         {"OpenBexor", "CloseBexor", "DrawerOpen", "DrawerState", "RetrieveStatistics"})
        QTest::addRow("%s missing", function)
                << DriverDir + "/libfaultdriver_without_" + function + ".so"
                << QStringLiteral("undefined symbol: %1").arg(function);
}

void DriverFaultsTest::unboundDriver()
{
    QFETCH(QString, path);
    QFETCH(QString, reason);

    FaultRig rig(path);
    CRTEST_Form &form = rig.start();

    QVERIFY(!rig.library);
    QVERIFY2(rig.loadError.contains(path) && rig.loadError.contains(reason),
             qPrintable(rig.loadError));
    QCOMPARE(rig.services.messages(), QStringList{OpenError + '\n' + rig.loadError});
    QVERIFY(!form.Status_Cmd->isEnabled());
    QVERIFY(!form.Kick_Cmd->isEnabled());
    QVERIFY(form.cmdHelp->isEnabled());
    QCOMPARE(rig.boxes()[4], "DrawerGoodOpenCount");
    QCOMPARE(rig.endRun(), QStringList());
    QVERIFY(rig.log.contains("End(0)"));
    // A library that lacks one function is never called, not even through the others.
    QCOMPARE(rig.driver.calls(), QStringList());
}

void DriverFaultsTest::openFaults_data()
{
    QTest::addColumn<QByteArray>("openResults");
    QTest::addColumn<int>("openCalls");
    QTest::addColumn<bool>("opens");

    QTest::newRow("opens at once") << QByteArray("0") << 1 << true;
    QTest::newRow("fails once with 1") << QByteArray("1,0") << 2 << true;
    QTest::newRow("fails once with INT32_MIN") << QByteArray("-2147483648,0") << 2 << true;
    QTest::newRow("fails twice, would open at the third") << QByteArray("-1,7,0") << 2 << false;
    QTest::newRow("fails always with INT32_MAX") << QByteArray("2147483647") << 2 << false;
    QTest::newRow("fails always with -1") << QByteArray("-1") << 2 << false;
}

void DriverFaultsTest::openFaults()
{
    QFETCH(QByteArray, openResults);
    QFETCH(int, openCalls);
    QFETCH(bool, opens);

    FaultRig rig;
    CRTEST_Form &form = rig.start("open=" + openResults);

    QStringList expected(openCalls, QStringLiteral("OpenBexor"));
    if (opens) {
        for (int n = 0; n < 8; ++n)
            expected << QStringLiteral("DrawerState(%1)").arg(n);
        expected << "RetrieveStatistics(0,15,106)";
    }
    QCOMPARE(rig.driver.calls(), expected);
    QCOMPARE(rig.services.messages(),
             opens ? countMessages(healthyBlock()) : QStringList{OpenError});
    QCOMPARE(form.Status_Cmd->isEnabled(), opens);
    QCOMPARE(form.Kick_Cmd->isEnabled(), opens);
    QCOMPARE(rig.rows(), opens ? "CCCCNNNN" : "--------");
    const QStringList designTexts{"", "", "", "YYYYMMDD", "DrawerGoodOpenCount",
                                  "DrawerFailedOpenCount"};
    QCOMPARE(rig.boxes(), opens ? HealthyBoxes : designTexts);
    // The device is closed on the way out even when it never opened.
    QCOMPARE(rig.endRun(), QStringList{"CloseBexor"});
}

void DriverFaultsTest::stateCodes_data()
{
    QTest::addColumn<DrawerStates>("states");
    QTest::addColumn<QString>("rows");

    QTest::newRow("each its own open code") << DrawerStates{0, 16, 32, 48, 64, 80, 96, 112}
                                            << "OOOOOOOO";
    QTest::newRow("all -1") << DrawerStates(8, -1) << "NNNNNNNN";
    QTest::newRow("all 0") << DrawerStates(8, 0) << "OCCCCCCC";
    QTest::newRow("all drawer 5's open code") << DrawerStates(8, 80) << "CCCCCOCC";
    QTest::newRow("each the next drawer's open code")
            << DrawerStates{16, 32, 48, 64, 80, 96, 112, 128} << "CCCCCCCC";
    QTest::newRow("each the previous drawer's open code")
            << DrawerStates{-16, 0, 16, 32, 48, 64, 80, 96} << "CCCCCCCC";
    QTest::newRow("all INT32_MIN") << DrawerStates(8, INT32_MIN) << "CCCCCCCC";
    QTest::newRow("all INT32_MAX") << DrawerStates(8, INT32_MAX) << "CCCCCCCC";
    QTest::newRow("mixed") << DrawerStates{0, -1, 32, 0, INT32_MIN, 80, -1, INT32_MAX}
                           << "ONOCCONC";
}

void DriverFaultsTest::stateCodes()
{
    QFETCH(DrawerStates, states);
    QFETCH(QString, rows);

    // Start from the opposite of every expected row, so a write that is skipped shows.
    DrawerStates before;
    for (int n = 0; n < 8; ++n)
        before << (rows[n] == u'N' ? 16 * n : -1);
    FaultRig rig;
    CRTEST_Form &form = rig.start(statesScript(before));
    rig.rescript(statesScript(states) + ";kick=1");

    QTest::mouseClick(form.Status_Cmd, Qt::LeftButton);

    QCOMPARE(rig.rows(), rows);
    QList<int> ticked;
    for (int n = 0; n < 8; ++n) {
        const QColor colour = rows[n] == u'O' ? Qt::blue : rows[n] == u'N' ? Qt::red : Qt::black;
        QCOMPARE(form.Drawer_State[n]->palette().color(QPalette::Disabled, QPalette::Text), colour);
        QCOMPARE(form.Drawer_Check[n]->isChecked(), rows[n] != u'N');
        if (rows[n] != u'N')
            ticked << n;
    }
    // The next kick fires exactly the drawers the refresh found present.
    const qsizetype beforeKick = rig.driver.calls().size();
    QTest::mouseClick(form.Kick_Cmd, Qt::LeftButton);
    QStringList kicks;
    for (const int n : ticked)
        kicks << QStringLiteral("DrawerOpen(%1)").arg(n);
    QCOMPARE(rig.driver.calls().mid(beforeKick).filter("DrawerOpen"), kicks);
    QCOMPARE(rig.endRun(), QStringList{"CloseBexor"});
}

void DriverFaultsTest::kickFaults_data()
{
    QTest::addColumn<int32_t>("kickStatus");
    QTest::addColumn<QString>("rows");

    QTest::newRow("kicks open the drawers") << 0 << "OOOONNNN";
    QTest::newRow("kicks fail with 1") << 1 << "CCCCNNNN";
    QTest::newRow("kicks fail with -1") << -1 << "CCCCNNNN";
    QTest::newRow("kicks fail with INT32_MIN") << INT32_MIN << "CCCCNNNN";
    QTest::newRow("kicks fail with INT32_MAX") << INT32_MAX << "CCCCNNNN";
}

void DriverFaultsTest::kickFaults()
{
    QFETCH(int32_t, kickStatus);
    QFETCH(QString, rows);

    FaultRig rig;
    CRTEST_Form &form = rig.start("kick=" + QByteArray::number(kickStatus));
    const qsizetype messagesBefore = rig.services.messages().size();
    const qsizetype callsBefore = rig.driver.calls().size();

    QTest::mouseClick(form.Kick_Cmd, Qt::LeftButton);

    // A failed kick is not reported: the rows show what the drawers say afterwards.
    QCOMPARE(rig.rows(), rows);
    QCOMPARE(rig.services.messages().mid(messagesBefore), countMessages(healthyBlock()));
    QCOMPARE(rig.driver.calls().mid(callsBefore),
             (QStringList{"DrawerOpen(0)", "DrawerOpen(1)", "DrawerOpen(2)", "DrawerOpen(3)",
                          "DrawerState(0)", "DrawerState(1)", "DrawerState(2)", "DrawerState(3)",
                          "RetrieveStatistics(0,15,106)"}));
    QVERIFY(form.Kick_Cmd->isEnabled());
    QCOMPARE(rig.endRun(), QStringList{"CloseBexor"});
}

void DriverFaultsTest::statisticsFaults_data()
{
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<int32_t>("status");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("boxes");

    const QByteArray healthy = healthyBlock();
    const QString overrun = QStringLiteral("The driver wrote past the statistics buffer; the "
                                           "statistics it returned are not shown.");
    const QByteArray slack(129 - 106, char(0x77));

    for (const int32_t status : {7, -1, 1, INT32_MIN, INT32_MAX})
        QTest::addRow("status %d", status)
                << healthy << status << QStringList{StatisticsError + QString::number(status)}
                << EmptyBoxes;
    QTest::newRow("status 5, nothing written")
            << QByteArray() << 5 << QStringList{StatisticsError + "5"} << EmptyBoxes;
    for (const int length : {0, 50, 100, 105}) {
        const QByteArray part = healthy.left(length);
        QTest::addRow("%d bytes written", length)
                << part << 0 << countMessages(part) << referenceBoxes(part);
    }
    QTest::newRow("exactly 129 bytes written")
            << healthy + slack << 0 << countMessages(healthy) << HealthyBoxes;
    QTest::newRow("1 byte past the buffer")
            << healthy + slack + '\x77' << 0 << QStringList{overrun} << EmptyBoxes;
    QTest::newRow("300 bytes past the buffer")
            << healthy + slack + QByteArray(300, '\x77') << 0 << QStringList{overrun} << EmptyBoxes;
    QTest::newRow("1 byte past the buffer, status 5")
            << healthy + slack + '\0' << 5 << QStringList{overrun} << EmptyBoxes;
}

void DriverFaultsTest::statisticsFaults()
{
    QFETCH(QByteArray, written);
    QFETCH(int32_t, status);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, boxes);

    // Start-up reads a healthy block; the faulty one comes with the kick, so nothing of the
    // first read may remain.
    FaultRig rig;
    CRTEST_Form &form = rig.start();
    QCOMPARE(rig.boxes(), HealthyBoxes);
    const qsizetype messagesBefore = rig.services.messages().size();
    rig.rescript("bytes=" + written.toHex() + ";stat=" + QByteArray::number(status));

    QTest::mouseClick(form.Kick_Cmd, Qt::LeftButton);

    QCOMPARE(rig.services.messages().mid(messagesBefore), messages);
    QCOMPARE(rig.boxes(), boxes);
    QVERIFY(form.Kick_Cmd->isEnabled());
    QCOMPARE(rig.endRun(), QStringList{"CloseBexor"});
}

void DriverFaultsTest::statisticsBytes_data()
{
    QTest::addColumn<QByteArray>("block");

    // The 44 shown bytes carry 44 consecutive values per row, so six rows pass every value
    // from 0 to 255 through a text or a count record, control characters and NUL included.
    const int shownOffsets[] = {46, 62, 70, 82, 98, 102};
    const int shownLengths[] = {16, 8, 4, 8, 4, 4};
    for (int row = 0; row < 6; ++row) {
        QByteArray block(106, char(0xEE));
        int value = 1 + 44 * row;
        for (int r = 0; r < 6; ++r)
            for (int i = 0; i < shownLengths[r]; ++i)
                block[shownOffsets[r] + i] = char(value++ & 0xFF);
        QTest::addRow("values 0x%02x to 0x%02x", (1 + 44 * row) & 0xFF, (value - 1) & 0xFF)
                << block;
    }
    QByteArray nuls = healthyBlock();
    nuls.replace(46, 5, QByteArray("AB\0CD", 5));
    nuls.replace(70, 4, QByteArray("\0B3\x7F", 4));
    nuls.replace(98, 4, QByteArray("\0\x01\0\x01", 4));
    nuls.replace(102, 4, QByteArray("\x01\0\0\0", 4));
    QTest::newRow("NUL inside text and count records") << nuls;
}

void DriverFaultsTest::statisticsBytes()
{
    QFETCH(QByteArray, block);

    FaultRig rig;
    CRTEST_Form &form = rig.start("bytes=" + block.toHex());

    // Every box holds exactly the record's characters; a count's box holds its four raw
    // characters while its message box is up.
    QCOMPARE(rig.boxes(), referenceBoxes(block));
    QCOMPARE(rig.services.messages(), countMessages(block));
    QStringList rawWhileShown;
    rig.services.onMessage = [&](const QString &) {
        rawWhileShown << form.crTextSValue[13]->text() << form.crTextSValue[14]->text();
    };
    QTest::mouseClick(form.Kick_Cmd, Qt::LeftButton);
    QCOMPARE(rawWhileShown.size(), 4);
    QCOMPARE(rawWhileShown[0], QString::fromLatin1(block.mid(98, 4)));
    QCOMPARE(rawWhileShown[3], QString::fromLatin1(block.mid(102, 4)));
    QCOMPARE(rig.endRun(), QStringList{"CloseBexor"});
}

void DriverFaultsTest::closeFaults_data()
{
    QTest::addColumn<bool>("byExit");
    QTest::addColumn<QByteArray>("script");

    QTest::newRow("exit, close fails with -1") << true << QByteArray("close=-1");
    QTest::newRow("close box, close fails with 1") << false << QByteArray("close=1");
    QTest::newRow("exit after a failed open, close fails with INT32_MIN")
            << true << QByteArray("open=3;close=-2147483648");
    QTest::newRow("close box after a failed open, close fails with INT32_MAX")
            << false << QByteArray("open=3;close=2147483647");
}

void DriverFaultsTest::closeFaults()
{
    QFETCH(bool, byExit);
    QFETCH(QByteArray, script);

    FaultRig rig;
    CRTEST_Form &form = rig.start(script);
    const qsizetype messagesBefore = rig.services.messages().size();

    // A failing close is not reported: the program ends as always.
    QCOMPARE(rig.endRun(byExit), QStringList{"CloseBexor"});
    QCOMPARE(rig.services.messages().size(), messagesBefore);
    QCOMPARE(rig.log.contains("End(0)"), byExit);
    QVERIFY(!rig.log.contains("End(1)"));
    QVERIFY(!form.isVisible());
}

void DriverFaultsTest::endingInStartupYield_data()
{
    QTest::addColumn<bool>("byExit");
    QTest::addColumn<QByteArray>("script");

    // A failing close keeps the failed open's status from being overwritten with success.
    QTest::newRow("close box, device opened") << false << QByteArray("open=0");
    QTest::newRow("close box, first open failed, close fails")
            << false << QByteArray("open=5,0;close=9");
    QTest::newRow("exit, device opened") << true << QByteArray("open=0");
    QTest::newRow("exit, first open failed, close fails") << true << QByteArray("open=5,0;close=9");
}

void DriverFaultsTest::endingInStartupYield()
{
    QFETCH(bool, byExit);
    QFETCH(QByteArray, script);

    // Start-up yields once, after the first open; a close request handled there ends the
    // program, and start-up must not go on to retry the open, refresh or read.
    FaultRig rig;
    rig.services.onYield = [&](int n) {
        if (n != 1)
            return;
        if (byExit)
            QTest::mouseClick(rig.form->Exit_Cmd, Qt::LeftButton);
        else
            rig.form->close();
    };
    rig.start(script);

    QCOMPARE(rig.driver.calls(), (QStringList{"OpenBexor", "CloseBexor"}));
    QCOMPARE(rig.services.messages(), QStringList());
    QVERIFY(!rig.form->isVisible());
}

void DriverFaultsTest::damagedLibraryFile_data()
{
    QTest::addColumn<QString>("path");

    QFile library(FaultDriver);
    QVERIFY(library.open(QIODevice::ReadOnly));
    const QByteArray whole = library.readAll();
    // Headers intact, the code and data they describe missing: a copy or an install that
    // was cut off.
    const auto *header = reinterpret_cast<const Elf64_Ehdr *>(whole.constData());
    qsizetype lastSegmentMiddle = 0;
    for (int i = 0; i < header->e_phnum; ++i) {
        const auto *segment = reinterpret_cast<const Elf64_Phdr *>(
                whole.constData() + header->e_phoff + i * header->e_phentsize);
        if (segment->p_type == PT_LOAD)
            lastSegmentMiddle = qsizetype(segment->p_offset + segment->p_filesz / 2);
    }
    QTest::newRow("cut after its first page") << scratchFile("cut4k.so", whole.left(4096));
    QTest::newRow("cut inside its last loaded segment")
            << scratchFile("cutdata.so", whole.left(lastSegmentMiddle));
}

void DriverFaultsTest::damagedLibraryFile()
{
    QFETCH(QString, path);

    // The loader itself may fault on such a file, so the window starts in a child process
    // and this test only reads what it showed.
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {LoadOnlyOption, path});
    QVERIFY(child.waitForFinished(20000));
    const QByteArray output = child.readAllStandardOutput();
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
             qPrintable(QStringLiteral("the utility crashed loading %1: %2")
                                .arg(path, QString::fromLocal8Bit(child.readAllStandardError()))));
    // The open error naming the file, then the exit: nothing of the library was called.
    const QStringList shown = QString::fromLocal8Bit(output).split('\n', Qt::SkipEmptyParts);
    QVERIFY2(shown.size() == 2 && shown[0].startsWith("Message:" + OpenError + "\\n")
                     && shown[0].contains(path) && shown[1] == "End(0)",
             output.constData());
}

// The child of damagedLibraryFile: starts the window on the library at path, exits, and
// prints its log one entry a line.
static int loadOnly(const QString &path)
{
    // Only the window's own loading path touches the file.
    QStringList log;
    FakeServices services(log);
    QString error;
    const std::unique_ptr<BexorLibrary> library = BexorLibrary::load(path, &error);
    CRTEST_Form form(library.get(), error, services);
    form.load();
    QTest::mouseClick(form.Exit_Cmd, Qt::LeftButton);
    for (QString entry : std::as_const(log)) {
        if (entry == QLatin1String("Yield"))
            continue;
        std::printf("%s\n", qPrintable(entry.replace('\n', QLatin1String("\\n"))));
    }
    return 0;
}

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], LoadOnlyOption) == 0)
        return loadOnly(QString::fromLocal8Bit(argv[2]));
    DriverFaultsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_driverfaults.moc"
