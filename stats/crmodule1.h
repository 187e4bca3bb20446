// Turns raw statistics bytes into the decimal text a technician reads.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

namespace crModule1 {

// The decimal text of an unsigned integer stored least significant byte first. Values
// from 10^15 on are written with 15 significant digits in exponent form. Throws
// std::overflow_error for 128 bytes or more, which no double can weigh.
QString decodeCount(const QByteArray &bytes);

// What the count's message box says: the raw characters, "-->" and the decoded count.
QString countMessage(const QByteArray &bytes, const QString &decoded);

// Decodes like decodeCount and shows countMessage through showMessage before returning the
// result.
QString BytesToNumber(const QByteArray &bytes,
                      const std::function<void(const QString &)> &showMessage);

// Ordinary hexadecimal, either case. Throws std::invalid_argument for a character that is
// no hexadecimal digit and std::overflow_error beyond the signed 16-bit range.
int16_t HexToInt(const QString &text);

} // namespace crModule1
