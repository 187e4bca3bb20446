// Count decoding: the bytes of a count, least significant first, each through the
// hexadecimal reader as the decoder writes it. The reader's refusals, which no byte reaches,
// are held to a reference by the fuzz target, on the kept corpus (hex-*) in every run.
#include "crmodule1.h"

#include <QTest>

#include <stdexcept>

class CrModule1Test : public QObject
{
    Q_OBJECT

private slots:
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

QTEST_MAIN(CrModule1Test)
#include "tst_crmodule1.moc"
