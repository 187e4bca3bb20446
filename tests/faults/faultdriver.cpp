// A driver library that misbehaves on demand, behind the real loading path: it answers what
// the test wrote into its faultScript and notes every call there. Built once whole and once
// for each of the five functions with that one renamed, so the library lacks it.
#define BEXOR_BUILDING_DRIVER
#include "apideclarations.h"
#include "faultscript.h"

#include <algorithm>
#include <cstring>

extern "C" BEXOR_EXPORT FaultScript faultScript;
FaultScript faultScript;

namespace {
int32_t note(const std::string &call, int32_t answer)
{
    faultScript.calls.append(call).append("\n");
    return answer;
}
} // namespace

int32_t BEXOR_CALL OpenBexor(void)
{
    const std::size_t n = std::min(faultScript.openCalls++, faultScript.open.size() - 1);
    return note("Open", faultScript.open[n]);
}

int32_t BEXOR_CALL CloseBexor(void) { return note("Close", faultScript.close); }

int32_t BEXOR_CALL DrawerOpen(int32_t drawer)
{
    if (faultScript.kick == 0 && drawer >= 0 && drawer < 8 && faultScript.state[drawer] != -1)
        faultScript.state[drawer] = 16 * drawer;
    return note("Kick" + std::to_string(drawer), faultScript.kick);
}

int32_t BEXOR_CALL DrawerState(int32_t drawer)
{
    const int32_t code = drawer >= 0 && drawer < 8 ? faultScript.state[drawer] : -1;
    return note("State" + std::to_string(drawer), code);
}

// The arguments are proven on the in-process fake and in the check's log.
int32_t BEXOR_CALL RetrieveStatistics(int32_t, int32_t, uint8_t *buffer, int32_t)
{
    if (buffer)
        std::memcpy(buffer, faultScript.block.data(), faultScript.block.size());
    return note("Stats", faultScript.statistics);
}

BEXOR_CHECK_DEFINITIONS();
