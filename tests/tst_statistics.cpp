// Reading the statistics block and showing its six records, on the real window.
#include "formrig.h"

class StatisticsTest : public QObject
{
    Q_OBJECT

    // A 106-byte block, zero but for the given pieces laid at their offsets.
    static QByteArray block(std::initializer_list<std::pair<int, QByteArray>> pieces)
    {
        QByteArray bytes(106, '\0');
        for (const auto &[offset, piece] : pieces)
            bytes.replace(offset, piece.size(), piece);
        return bytes;
    }

    // The boxes of records 5, 6, 7, 10, 13 and 14.
    static QStringList boxTexts(const CRTEST_Form &form)
    {
        QStringList texts;
        for (int record : {5, 6, 7, 10, 13, 14})
            texts << form.crTextSValue[record]->text();
        return texts;
    }

private slots:
    void shownRecords_data()
    {
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<int32_t>("status");
        QTest::addColumn<QStringList>("boxes");
        // Empty: no error, only the two count messages.
        QTest::addColumn<QString>("error");
        const auto row = [](const char *name, const QByteArray &written, int32_t status,
                            const QStringList &boxes, const QString &error = {}) {
            QTest::newRow(name) << written << status << boxes << error;
        };
        // Every byte differs from its neighbours and none is zero, so an offset that is off
        // by one shows at once and no text record stops early. The offsets and the counts
        // (bytes 99 to 102 and 103 to 106) are written out here, apart from the program's.
        QByteArray distinct(106, '\0');
        for (int i = 0; i < distinct.size(); ++i)
            distinct[i] = char(i + 1);
        QStringList cut;
        for (const auto &[offset, length] : {std::pair{46, 16}, {62, 8}, {70, 4}, {82, 8}})
            cut << QString::fromLatin1(distinct.mid(offset, length));
        row("records cut at their offsets", distinct, 0, cut << "1717920867" << "1785292903");
        // Latin-1 and a control character come through as bytes.
        const QByteArray revision = "B\xE9\x01z";
        row("counts and dates",
            block({{46, "SN-000042"}, {62, "20230117"}, {70, revision}, {82, "20240229"},
                   {98, QByteArray::fromHex("10270000")}, {102, QByteArray::fromHex("FFFFFFFF")}}),
            0, {"SN-000042", "20230117", QString::fromLatin1(revision), "20240229", "10000",
                "4294967295"});
        // Even a block that arrives with a failure must not be shown.
        const QStringList none(6, "");
        for (int32_t status : {7, -1, INT32_MAX})
            row(qPrintable(QString("failed with status %1").arg(status)), QByteArray(106, 'x'),
                status, none, "CR Retrieve Statistics error !!" + QString::number(status));
        // Bytes 46 to 49 are written; the rest of the buffer is the zeros it started with.
        row("short write reads as zeros", QByteArray(50, 'A'), 0, {"AAAA", "", "", "", "0", "0"});
        const QString sevens(8, '7');
        row("whole 129-byte buffer is fine", QByteArray(129, '7'), 0,
            {sevens + sevens, sevens, "7777", sevens, "926365495", "926365495"});
        const QString overrun = "The driver wrote past the statistics buffer; "
                                "the statistics it returned are not shown.";
        row("one byte past the buffer", QByteArray(130, '7'), 0, none, overrun);
        row("300 bytes past the buffer", QByteArray(129 + 300, '7'), 0, none, overrun);
    }
    void shownRecords()
    {
        QFETCH(QByteArray, written);
        QFETCH(int32_t, status);
        QFETCH(QStringList, boxes);
        QFETCH(QString, error);
        FormRig rig;
        rig.driver.statisticsBlock = written;
        rig.driver.statisticsResult = status;
        QList<QStringList> countBoxesAtMessages;
        rig.services.onMessage = [&](const QString &) {
            countBoxesAtMessages << boxTexts(*rig.form).mid(4);
        };
        QCOMPARE(boxTexts(rig.start()), boxes);
        // Each count box shows its raw characters while its message is up, the later one
        // still empty then; an error leaves every box empty.
        const QByteArray buffer = written.leftJustified(106, '\0');
        const QString raw13 = QString::fromLatin1(buffer.mid(98, 4));
        const QString raw14 = QString::fromLatin1(buffer.mid(102, 4));
        if (error.isEmpty()) {
            QCOMPARE(rig.services.messages(),
                     (QStringList{raw13 + "-->" + boxes[4], raw14 + "-->" + boxes[5]}));
            QCOMPARE(countBoxesAtMessages, (QList<QStringList>{{raw13, ""}, {boxes[4], raw14}}));
        } else {
            QCOMPARE(rig.services.messages(), QStringList{error});
            QCOMPARE(countBoxesAtMessages, (QList<QStringList>{{"", ""}}));
        }
    }

    void twoReadsInARow()
    {
        FormRig rig;
        rig.driver.statisticsBlock = block({{46, "ABCDEFGHIJKLMNOP"}, {62, "20200101"},
                                            {98, QByteArray::fromHex("05000000")}});
        // Nothing ticked: a kick only reads the statistics again.
        rig.driver.states.fill(-1);
        CRTEST_Form &form = rig.start();
        QCOMPARE(boxTexts(form), (QStringList{"ABCDEFGHIJKLMNOP", "20200101", "", "", "5", "0"}));

        rig.driver.statisticsBlock = block({{46, "XY"}, {102, QByteArray::fromHex("70110100")}});
        QTest::mouseClick(form.Kick_Cmd, Qt::LeftButton);
        QCOMPARE(boxTexts(form), (QStringList{"XY", "", "", "", "0", "70000"}));

        rig.driver.statisticsResult = 3;
        QTest::mouseClick(form.Kick_Cmd, Qt::LeftButton);
        QCOMPARE(boxTexts(form), QStringList(6, ""));
    }
};

QTEST_MAIN(StatisticsTest)
#include "tst_statistics.moc"
