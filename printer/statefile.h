// What the host keeps for each printer, since a printer keeps no count of its drawer's
// openings: the day of first use, the good and failed openings, and when each pin may
// fire again, so that a second program run soon after the first still spares the solenoid.
#pragma once

#include <array>
#include <cstdint>
#include <string>

struct PrinterState
{
    std::string installed; // YYYYMMDD, local time
    uint32_t good = 0;
    uint32_t failed = 0;
    // On the system-wide monotonic clock, in nanoseconds; 0 when never fired.
    std::array<int64_t, 2> nextPulse{};
};

class StateFile
{
public:
    enum class Load { Read, Missing, Damaged };

    // One file per printer in folder, named after the device path.
    StateFile(std::string folder, const std::string &device);

    const std::string &path() const { return m_path; }
    Load load(PrinterState &state) const;
    // Written beside, synced and renamed over the old file, the folder synced after: a
    // crash or power cut leaves the old file or the new one, whole. why says what failed.
    bool save(const PrinterState &state, std::string &why) const;

private:
    std::string m_folder;
    std::string m_path;
};

// Where the files live: BEXOR_PRINTER_STATE_DIR, else $XDG_STATE_HOME/crtest-printer,
// else ~/.local/state/crtest-printer; empty when there is no home to put it in.
std::string stateFolder();
// Today as YYYYMMDD, local time.
std::string today();
