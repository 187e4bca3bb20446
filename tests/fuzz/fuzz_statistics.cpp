// Feeds arbitrary driver bytes through everything that turns them into what the window
// shows, and checks each result against a plain reference reading of the same bytes. Any
// crash, sanitizer report or disagreement aborts the run with the input saved.
#include "crmodule1.h"
#include "statistics.h"

#include <QStringList>
#include <QtEndian>

#include <cmath>
#include <cstring>
#include <stdexcept>

namespace {

// Length of records 1 to 14, as the controller lays them out end to end.
constexpr int Lengths[15] = {0, 4, 10, 16, 16, 16, 8, 4, 4, 4, 8, 4, 4, 4, 4};

// Every check runs for every input: the texts of a disagreement are only used when there is
// one.
void expect(bool agreed, const char *what, const QString &got, const QString &expected)
{
    if (!agreed)
        qFatal("disagreement in %s: got \"%s\", expected \"%s\"", what, qUtf8Printable(got),
               qUtf8Printable(expected));
}

// What a decoding returns, or the name of the exception it throws.
template <typename Decode>
QString outcome(Decode decode)
{
    try {
        return decode();
    } catch (const std::invalid_argument &) {
        return QStringLiteral("invalid_argument");
    } catch (const std::overflow_error &) {
        return QStringLiteral("overflow_error");
    }
}

// The block as the driver left it in the zero-filled buffer: each record where the layout
// puts it, a text record up to its first zero byte, a count four bytes least significant first.
void checkBlock(const QByteArray &bytes)
{
    const QByteArray block = bytes.leftJustified(StatisticsBufferSize, '\0', true);
    StatisticsBuffer buffer;
    std::memcpy(buffer.data(), block.constData(), block.size());
    const std::array<QByteArray, 15> records = cutRecords(buffer);
    const StatisticsResult decoded = decodeStatistics(buffer, 0);
    for (int n = 1, offset = 0; n <= 14; offset += Lengths[n++]) {
        const QByteArray record = block.mid(offset, Lengths[n]);
        expect(records[n] == record, "cutting the block", records[n].toHex(), record.toHex());
        const int shown = shownIndexOf(n);
        if (shown < 0)
            continue;
        const bool count = ShownStatistics[shown].count;
        const QString got = decoded.values[shown];
        const QString expected = count
                ? QString::number(qFromLittleEndian<quint32>(record.constData()))
                : QString::fromLatin1(record.split('\0').first());
        expect(got == expected, count ? "a count record" : "a text record", got, expected);
    }
}

// A count of any length, least significant byte first, and the message box that shows it
// with its raw characters. From 128 bytes on no double can weigh it: an error instead, and
// no message box.
void checkBytesToNumber(const QByteArray &bytes)
{
    QStringList shown;
    const QString got = outcome([&] {
        return crModule1::BytesToNumber(bytes, [&shown](const QString &text) { shown << text; });
    });
    if (bytes.size() >= 128)
        return expect(got == "overflow_error" && shown.isEmpty(), "a count too long", got, "");
    long double value = 0;
    for (qsizetype i = bytes.size(); i-- > 0;)
        value = value * 256 + uint8_t(bytes[i]);
    // Exact digits below 10^15; from there on a text that reads back to the value.
    const QString exact = value < 1e15L ? QString::number(uint64_t(value)) : QString();
    expect(value < 1e15L ? got == exact
                         : std::fabs(got.toDouble() - double(value)) <= double(value) * 1e-14,
           "a count", got, exact);
    const QString message = QString::fromLatin1(bytes) + "-->" + got;
    expect(shown == QStringList{message}, "the count's message box", shown.value(0), message);
}

// Ordinary hexadecimal of either case; an invalid digit or a value beyond 32767 an error.
void checkHexToInt(const QString &text)
{
    bool allDigits = true;
    uint64_t value = 0;
    for (const QChar c : text) {
        // Only A to F have a to f for their lower case.
        const qsizetype digit = QStringLiteral("0123456789abcdef").indexOf(c.toLower());
        allDigits = allDigits && digit >= 0;
        if (digit >= 0 && value <= INT16_MAX)
            value = value * 16 + uint64_t(digit);
    }
    const QString got = outcome([&] { return QString::number(crModule1::HexToInt(text)); });
    const QString expected = !allDigits ? "invalid_argument"
            : value > INT16_MAX         ? "overflow_error"
                                        : QString::number(value);
    // A bad digit may be met before or after the value grows too large.
    expect(got == expected || (got == "overflow_error" && value > INT16_MAX), "HexToInt", got,
           expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    checkBlock(bytes);
    checkBytesToNumber(bytes);
    checkHexToInt(QString::fromLatin1(bytes));
    // The same bytes read as UTF-16, for digits and letters beyond Latin-1.
    QString wide(qsizetype(size / 2), Qt::Uninitialized);
    std::memcpy(wide.data(), data, size_t(wide.size()) * 2);
    checkHexToInt(wide);
    return 0;
}
