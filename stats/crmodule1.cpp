#include "crmodule1.h"

#include <cmath>
#include <stdexcept>

namespace crModule1 {

namespace {

// Plain digits below 10^15; from there on, 15 significant digits with the mantissa's
// trailing zeros dropped, as in 7.20575940379279E+16.
QString formatCount(double value)
{
    if (value < 1e15)
        return QString::number(value, 'f', 0);
    QString text = QString::number(value, 'E', 14);
    const qsizetype e = text.indexOf(QLatin1Char('E'));
    QString mantissa = text.left(e);
    while (mantissa.endsWith(QLatin1Char('0')))
        mantissa.chop(1);
    if (mantissa.endsWith(QLatin1Char('.')))
        mantissa.chop(1);
    return mantissa + text.mid(e);
}

} // namespace

QString decodeCount(const QByteArray &bytes)
{
    double value = 0;
    double weight = 1;
    for (const char c : bytes) {
        const auto byte = static_cast<uint8_t>(c);
        // Each byte goes through its hexadecimal text, as the controller's tools always
        // have, so a broken digit reader shows up here rather than in the field.
        value += HexToInt(QString::number(byte, 16).toUpper()) * weight;
        weight *= 256;
        if (std::isinf(weight))
            throw std::overflow_error("count of 128 bytes or more cannot be decoded");
    }
    return formatCount(value);
}

QString BytesToNumber(const QByteArray &bytes,
                      const std::function<void(const QString &)> &showMessage)
{
    const QString result = decodeCount(bytes);
    showMessage(countMessage(bytes, result));
    return result;
}

QString countMessage(const QByteArray &bytes, const QString &decoded)
{
    return QString::fromLatin1(bytes.constData(), bytes.size()) + QLatin1String("-->") + decoded;
}

int16_t HexToInt(const QString &text)
{
    int32_t acc = 0;
    for (const QChar c : text) {
        int digit = 0;
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digit = c.unicode() - '0';
        else if (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
            digit = c.unicode() - 'A' + 10;
        else if (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
            digit = c.unicode() - 'a' + 10;
        else
            throw std::invalid_argument("not a hexadecimal digit: " + QString(c).toStdString());
        acc = acc * 16 + digit;
        if (acc > INT16_MAX)
            throw std::overflow_error("hexadecimal value beyond 32767: " + text.toStdString());
    }
    return static_cast<int16_t>(acc);
}

} // namespace crModule1
