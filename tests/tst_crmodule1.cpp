// Count decoding: the bytes of a count, least significant first, and the hexadecimal
// reader each byte passes through.
#include "crmodule1.h"

#include <QTest>

#include <stdexcept>

namespace {
QByteArray bytes(std::initializer_list<int> codes)
{
    QByteArray result;
    for (int code : codes)
        result.append(char(code));
    return result;
}
} // namespace

class CrModule1Test : public QObject
{
    Q_OBJECT

private slots:
    void bytesToNumber_data();
    void bytesToNumber();
    void countTooLongToWeigh();
    void hexToInt_data();
    void hexToInt();
    void hexToIntRejects_data();
    void hexToIntRejects();
    void everyByteRoundTrips();
};

void CrModule1Test::bytesToNumber_data()
{
    QTest::addColumn<QByteArray>("count");
    QTest::addColumn<QString>("decimal");

    QTest::newRow("zero bytes add nothing") << bytes({16, 39, 0, 0}) << "10000";
    QTest::newRow("largest 4-byte count") << bytes({255, 255, 255, 255}) << "4294967295";
    QTest::newRow("second byte weighs 256") << bytes({0, 1}) << "256";
    QTest::newRow("fourth byte weighs 2^24") << bytes({0, 0, 0, 1}) << "16777216";
    QTest::newRow("high bytes are unsigned") << bytes({128}) << "128";
    QTest::newRow("empty") << QByteArray() << "0";
    QTest::newRow("lone blank is a byte") << bytes({32}) << "32";
    QTest::newRow("leading blank") << bytes({32, 1}) << "288";
    QTest::newRow("trailing blank") << bytes({1, 32}) << "8193";
    QTest::newRow("blank as highest byte") << bytes({1, 2, 3, 32}) << "537068033";
    QTest::newRow("blanks at both ends") << bytes({32, 0, 0, 32}) << "536870944";
    QTest::newRow("six bytes still plain") << QByteArray(6, char(255)) << "281474976710655";
    QTest::newRow("just below 10^15 plain")
            << bytes({0xFF, 0x7F, 0xC6, 0xA4, 0x7E, 0x8D, 0x03}) << "999999999999999";
    QTest::newRow("10^15 in exponent form") << bytes({0x00, 0x80, 0xC6, 0xA4, 0x7E, 0x8D, 0x03})
                                            << "1E+15";
    QTest::newRow("seven bytes in exponent form") << QByteArray(7, char(255))
                                                  << "7.20575940379279E+16";
    QTest::newRow("127 zero bytes") << QByteArray(127, '\0') << "0";
}

void CrModule1Test::bytesToNumber()
{
    QFETCH(QByteArray, count);
    QFETCH(QString, decimal);

    QStringList shown;
    const QString result =
            crModule1::BytesToNumber(count, [&](const QString &text) { shown.append(text); });
    QCOMPARE(result, decimal);
    // The box shows every raw character, NULs included, then the arrow and the result.
    QCOMPARE(shown, QStringList{QString::fromLatin1(count) + "-->" + decimal});
    QCOMPARE(shown.first().size(), count.size() + 3 + decimal.size());
}

void CrModule1Test::countTooLongToWeigh()
{
    bool shown = false;
    QVERIFY_THROWS_EXCEPTION(std::overflow_error,
                             crModule1::BytesToNumber(QByteArray(128, '\0'),
                                                      [&](const QString &) { shown = true; }));
    QVERIFY(!shown);
}

void CrModule1Test::hexToInt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");

    QTest::newRow("FF") << "FF" << 255;
    QTest::newRow("7F") << "7F" << 127;
    QTest::newRow("F0") << "F0" << 240;
    QTest::newRow("A") << "A" << 10;
    QTest::newRow("10") << "10" << 16;
    QTest::newRow("0") << "0" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("three digits weigh 256") << "100" << 256;
    QTest::newRow("FFF") << "FFF" << 4095;
    QTest::newRow("1FF") << "1FF" << 511;
    QTest::newRow("lower case") << "ff" << 255;
    QTest::newRow("mixed case") << "aB" << 171;
    QTest::newRow("largest") << "7FFF" << 32767;
    QTest::newRow("leading zeros") << "00000000000000000001" << 1;
}

void CrModule1Test::hexToInt()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(int(crModule1::HexToInt(text)), value);
}

void CrModule1Test::hexToIntRejects_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("overflow");

    QTest::newRow("G after a digit") << "1G" << false;
    QTest::newRow("G before a digit") << "G1" << false;
    QTest::newRow("blank") << " 1" << false;
    QTest::newRow("sign") << "-1" << false;
    QTest::newRow("just beyond 16 bits") << "8000" << true;
    QTest::newRow("17 digits") << QString(17, 'F') << true;
}

void CrModule1Test::hexToIntRejects()
{
    QFETCH(QString, text);
    QFETCH(bool, overflow);
    if (overflow)
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, crModule1::HexToInt(text));
    else
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, crModule1::HexToInt(text));
}

void CrModule1Test::everyByteRoundTrips()
{
    for (int byte = 0; byte < 256; ++byte) {
        QCOMPARE(int(crModule1::HexToInt(QString::number(byte, 16).toUpper())), byte);
        QCOMPARE(crModule1::decodeCount(QByteArray(1, char(byte))), QString::number(byte));
    }
}

QTEST_MAIN(CrModule1Test)
#include "tst_crmodule1.moc"
