// Feeds arbitrary driver bytes through everything that turns them into what the window
// shows, and checks each result against a plain reference reading of the same bytes. Any
// crash, sanitizer report or disagreement aborts the run with the input saved.
#include "crmodule1.h"
#include "statisticsblock.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

[[noreturn]] void disagree(const char *what, const QString &got, const QString &expected)
{
    std::fprintf(stderr, "disagreement in %s: got \"%s\", expected \"%s\"\n", what,
            got.toUtf8().constData(), expected.toUtf8().constData());
    std::abort();
}

void expectEqual(const char *what, const QString &got, const QString &expected)
{
    if (got != expected)
        disagree(what, got, expected);
}

// The records as the controller lays them out: offset and length of records 1 to 14.
constexpr int Offsets[15] = {0, 0, 4, 14, 30, 46, 62, 70, 74, 78, 82, 90, 94, 98, 102};
constexpr int Lengths[15] = {0, 4, 10, 16, 16, 16, 8, 4, 4, 4, 8, 4, 4, 4, 4};

// A text record: Latin-1 characters up to the first zero byte.
QString referenceText(const uint8_t *bytes, int length)
{
    QString text;
    for (int i = 0; i < length && bytes[i] != 0; ++i)
        text.append(QChar(char16_t(bytes[i])));
    return text;
}

// A count of any length, least significant byte first. Below 10^15 the decimal digits
// are exact; from there on the text must be 15 significant digits in exponent form, with
// the mantissa's trailing zeros dropped, and read back to the value.
void checkCount(const QByteArray &bytes, const QString &got)
{
    long double value = 0;
    for (qsizetype i = bytes.size(); i-- > 0;)
        value = value * 256 + uint8_t(bytes[i]);
    if (value < 1e15L) {
        expectEqual("a count below 10^15", got, QString::number(uint64_t(value)));
        return;
    }
    static const QRegularExpression exponentForm(
            QStringLiteral("^[1-9](\\.\\d{0,13}[1-9])?E\\+\\d{2,3}$"));
    bool ok = false;
    const double shown = got.toDouble(&ok);
    if (!exponentForm.match(got).hasMatch() || !ok
            || std::fabs(shown - double(value)) > double(value) * 1e-14)
        disagree("a count from 10^15 on", got, QString::number(double(value), 'E', 14));
}

void checkBlock(const uint8_t *data, size_t size)
{
    StatisticsBuffer buffer;
    const size_t written = std::min<size_t>(size, StatisticsBufferSize);
    std::memcpy(buffer.data(), data, written);
    if (buffer.overrun())
        disagree("the guard", QStringLiteral("overrun"), QStringLiteral("no overrun"));

    uint8_t block[StatisticsBufferSize] = {};
    std::memcpy(block, data, written);
    const std::array<QByteArray, 15> records = cutRecords(buffer);
    for (int n = 1; n <= 14; ++n) {
        const QByteArray expected(reinterpret_cast<const char *>(block + Offsets[n]), Lengths[n]);
        if (records[n] != expected)
            disagree("cutting the block", QString::fromLatin1(records[n].toHex()),
                    QString::fromLatin1(expected.toHex()));
    }
    for (const int n : ShownRecords) {
        if (isCountRecord(n)) {
            const uint32_t count = uint32_t(block[Offsets[n]])
                    | uint32_t(block[Offsets[n] + 1]) << 8 | uint32_t(block[Offsets[n] + 2]) << 16
                    | uint32_t(block[Offsets[n] + 3]) << 24;
            expectEqual(
                    "a count record", crModule1::decodeCount(records[n]), QString::number(count));
        } else {
            expectEqual("a text record", recordText(records[n]),
                    referenceText(block + Offsets[n], Lengths[n]));
        }
    }
}

void checkBytesToNumber(const QByteArray &bytes)
{
    QStringList shown;
    const auto show = [&shown](const QString &text) { shown.append(text); };
    if (bytes.size() >= 128) {
        // No double can weigh the 128th byte: an error, and no message box before it.
        try {
            crModule1::BytesToNumber(bytes, show);
        } catch (const std::overflow_error &) {
            if (!shown.isEmpty())
                disagree("a count too long", shown.first(), QString());
            return;
        }
        disagree("a count too long", QStringLiteral("no error"), QStringLiteral("overflow_error"));
    }
    const QString result = crModule1::BytesToNumber(bytes, show);
    checkCount(bytes, result);
    if (shown.size() != 1)
        disagree("the count's message box", QString::number(shown.size()), QStringLiteral("1"));
    expectEqual("the count's message box", shown.first(),
            QString::fromLatin1(bytes.constData(), bytes.size()) + QLatin1String("-->") + result);
}

void checkHexToInt(const QString &text)
{
    bool allDigits = true;
    uint64_t value = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const int digit = u >= '0' && u <= '9' ? u - '0'
                : u >= 'A' && u <= 'F'         ? u - 'A' + 10
                : u >= 'a' && u <= 'f'         ? u - 'a' + 10
                                               : -1;
        if (digit < 0)
            allDigits = false;
        else if (value <= INT16_MAX)
            value = value * 16 + uint64_t(digit);
    }
    try {
        const int16_t got = crModule1::HexToInt(text);
        if (!allDigits || value > INT16_MAX)
            disagree("HexToInt", QString::number(got), QStringLiteral("an error"));
        expectEqual("HexToInt", QString::number(got), QString::number(value));
    } catch (const std::invalid_argument &) {
        // A bad digit may be met before or after the value grows too large.
        if (allDigits)
            disagree("HexToInt", QStringLiteral("invalid_argument"), QString::number(value));
    } catch (const std::overflow_error &) {
        if (value <= INT16_MAX)
            disagree("HexToInt", QStringLiteral("overflow_error"),
                    allDigits ? QString::number(value) : QStringLiteral("invalid_argument"));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fillStatLen();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    checkBlock(data, size);
    checkBytesToNumber(bytes);
    checkHexToInt(QString::fromLatin1(bytes));
    // The same bytes read as UTF-16, for digits and letters beyond Latin-1.
    std::u16string wide(size / 2, u'\0');
    std::memcpy(wide.data(), data, wide.size() * 2);
    checkHexToInt(QString::fromStdU16String(wide));
    return 0;
}
