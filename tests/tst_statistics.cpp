// Reading the statistics block and showing its six records, on the real window.
#include "formrig.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

// Where each shown record sits in the block, written out independently of the program's
// length table so that a wrong length shows up as a wrong offset.
struct ShownRecord
{
    int record;
    int offset;
    int length;
};
constexpr ShownRecord Shown[] = {{5, 46, 16}, {6, 62, 8},  {7, 70, 4},
                                 {10, 82, 8}, {13, 98, 4}, {14, 102, 4}};

QByteArray countBytes(uint32_t value)
{
    QByteArray bytes;
    for (int i = 0; i < 4; ++i)
        bytes.append(char((value >> (8 * i)) & 0xFF));
    return bytes;
}

QStringList boxTexts(const CRTEST_Form &form)
{
    QStringList texts;
    for (const ShownRecord &shown : Shown)
        texts.append(form.crTextSValue[shown.record]->text());
    return texts;
}

} // namespace

class StatisticsTest : public QObject
{
    Q_OBJECT

private slots:
    void recordsCutAtTheirOffsets();
    void countsAndDates();
    void failedRead_data();
    void failedRead();
    void shortWriteReadsAsZeros();
    void secondReadShowsOnlyItsOwnBlock();
    void countBoxRawWhileItsMessageIsUp();
    void overrunningDriver_data();
    void overrunningDriver();
};

void StatisticsTest::recordsCutAtTheirOffsets()
{
    // Every byte differs from its neighbours and none is zero, so an offset that is off by
    // one shows at once and no text record stops early.
    QByteArray block(106, '\0');
    for (int i = 0; i < block.size(); ++i)
        block[i] = char(i + 1);
    FormRig rig;
    rig.driver.statisticsBlock = block;
    const CRTEST_Form &form = rig.start();

    for (const ShownRecord &shown : Shown) {
        const QByteArray record = block.mid(shown.offset, shown.length);
        QString expected = QString::fromLatin1(record);
        if (shown.length == 4 && shown.record >= 13) {
            uint32_t value = 0;
            for (int i = 3; i >= 0; --i)
                value = value * 256 + uint8_t(record[i]);
            expected = QString::number(value);
        }
        QCOMPARE(form.crTextSValue[shown.record]->text(), expected);
    }
    QCOMPARE(rig.driver.count("RetrieveStatistics(0,15,106)"), 1);
}

void StatisticsTest::countsAndDates()
{
    QByteArray block(106, '\0');
    block.replace(46, 9, "SN-000042");
    block.replace(62, 8, "20230117");
    block.replace(70, 4, "B\xE9\x01z"); // Latin-1 and a control character come through as bytes
    block.replace(82, 8, "20240229");
    block.replace(98, 4, QByteArray::fromHex("10270000"));
    block.replace(102, 4, QByteArray::fromHex("FFFFFFFF"));
    FormRig rig;
    rig.driver.statisticsBlock = block;
    const CRTEST_Form &form = rig.start();

    QCOMPARE(boxTexts(form), (QStringList{"SN-000042", "20230117", QString::fromLatin1("B\xE9\x01z"),
                                          "20240229", "10000", "4294967295"}));
    QCOMPARE(rig.services.messages(),
             (QStringList{QString::fromLatin1(QByteArray::fromHex("10270000")) + "-->10000",
                          QString(4, QChar(0xFF)) + "-->4294967295"}));
}

void StatisticsTest::failedRead_data()
{
    QTest::addColumn<int32_t>("status");
    QTest::newRow("status 7") << 7;
    QTest::newRow("status -1") << -1;
    QTest::newRow("largest status") << INT32_MAX;
}

void StatisticsTest::failedRead()
{
    QFETCH(int32_t, status);
    FormRig rig;
    rig.driver.statisticsResult = status;
    // Even a block that arrives with the failure must not be shown.
    rig.driver.statisticsBlock = QByteArray(106, 'x');
    const CRTEST_Form &form = rig.start();
    QCOMPARE(rig.services.messages(),
             QStringList{"CR Retrieve Statistics error !!" + QString::number(status)});
    QCOMPARE(boxTexts(form), QStringList(6, QString()));
}

void StatisticsTest::shortWriteReadsAsZeros()
{
    FormRig rig;
    rig.driver.statisticsBlock = QByteArray(50, 'A');
    const CRTEST_Form &form = rig.start();
    // Bytes 46 to 49 were written; the rest of the buffer is the zeros it started with.
    QCOMPARE(boxTexts(form), (QStringList{"AAAA", "", "", "", "0", "0"}));
    QCOMPARE(rig.services.messages(), (QStringList{QString(4, QChar(0)) + "-->0",
                                                   QString(4, QChar(0)) + "-->0"}));
}

void StatisticsTest::secondReadShowsOnlyItsOwnBlock()
{
    QByteArray first(106, '\0');
    first.replace(46, 16, "ABCDEFGHIJKLMNOP");
    first.replace(62, 8, "20200101");
    first.replace(98, 4, countBytes(5));
    QByteArray second(106, '\0');
    second.replace(46, 2, "XY");
    second.replace(102, 4, countBytes(70000));

    FormRig rig;
    rig.driver.statisticsBlock = first;
    rig.driver.states.fill(-1); // nothing ticked: the kick only reads the statistics again
    CRTEST_Form &form = rig.start();
    QCOMPARE(boxTexts(form), (QStringList{"ABCDEFGHIJKLMNOP", "20200101", "", "", "5", "0"}));

    rig.driver.statisticsBlock = second;
    QTest::mouseClick(form.Kick_Cmd, Qt::LeftButton);
    QCOMPARE(boxTexts(form), (QStringList{"XY", "", "", "", "0", "70000"}));

    rig.driver.statisticsResult = 3;
    QTest::mouseClick(form.Kick_Cmd, Qt::LeftButton);
    QCOMPARE(boxTexts(form), QStringList(6, QString()));
}

void StatisticsTest::countBoxRawWhileItsMessageIsUp()
{
    QByteArray block(106, '\0');
    block.replace(98, 4, "1234");
    block.replace(102, 4, countBytes(9));
    FormRig rig;
    rig.driver.statisticsBlock = block;
    QList<QStringList> boxesAtMessage;
    rig.services.onMessage = [&](const QString &) {
        boxesAtMessage.append({rig.form->crTextSValue[13]->text(), rig.form->crTextSValue[14]->text()});
    };
    rig.start();

    const QString good = QString::number(0x34333231);
    QCOMPARE(boxesAtMessage, (QList<QStringList>{{"1234", ""},
                                                 {good, QString::fromLatin1(countBytes(9))}}));
    QCOMPARE(rig.form->crTextSValue[14]->text(), "9");
}

void StatisticsTest::overrunningDriver_data()
{
    QTest::addColumn<int>("written");
    QTest::newRow("whole buffer is fine") << 129;
    QTest::newRow("one byte past") << 130;
    QTest::newRow("a few hundred past") << 129 + 300;
}

void StatisticsTest::overrunningDriver()
{
    QFETCH(int, written);
    FormRig rig;
    rig.driver.statisticsBlock = QByteArray(written, '7');
    const CRTEST_Form &form = rig.start();
    if (written <= 129) {
        QCOMPARE(form.crTextSValue[13]->text(), QString::number(0x37373737));
        return;
    }
    QCOMPARE(rig.services.messages(),
             QStringList{"The driver wrote past the statistics buffer; the statistics it "
                         "returned are not shown."});
    QCOMPARE(boxTexts(form), QStringList(6, QString()));
}

QTEST_MAIN(StatisticsTest)
#include "tst_statistics.moc"
