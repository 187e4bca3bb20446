// The controller's statistics block: fourteen fixed-length records laid end to end, read
// into a fixed buffer. Only the cutting lives here; the window decides what to show.
#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

// Indexed 1 to 14 by record number; entry 15 is their total, the length asked of the
// driver. Entry 0 is unused so the record numbers read as they are.
inline constexpr std::array<int16_t, 16> StatLen{0, 4, 10, 16, 16, 16, 8, 4, 4, 4, 8, 4, 4, 4, 4, 106};
// The selector and unit passed to the driver; the selector doubles as the index of the
// total length in StatLen.
inline constexpr int32_t StatId = 15;
inline constexpr int16_t StatUnit = 0;
static_assert([] {
    int total = 0;
    for (int n = 1; n <= 14; ++n)
        total += StatLen[n];
    return total == StatLen[StatId];
}());

inline constexpr int StatisticsBufferSize = 129;
// Only the first 128 bytes are ever looked at; the last byte of the buffer is slack.
inline constexpr int StatisticsBlockTextSize = 128;

// Receive buffer for one read, zero-filled, with a guard zone behind it: a driver that
// writes past the buffer damages the guard instead of the program's memory, and is
// caught when the guard is checked.
class StatisticsBuffer
{
public:
    StatisticsBuffer();

    uint8_t *data() { return m_bytes.data(); }
    const uint8_t *data() const { return m_bytes.data(); }
    bool overrun() const;

    static constexpr int GuardSize = 4096;

private:
    std::vector<uint8_t> m_bytes;
};

// Cuts the first 128 bytes of a filled buffer into records; element n is record n.
std::array<QByteArray, 15> cutRecords(const StatisticsBuffer &buffer);

// A text record as it is shown: its bytes as Latin-1 characters up to the first zero
// byte, since fixed-length fields are padded with zeros.
QString recordText(const QByteArray &record);
