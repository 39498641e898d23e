#include "platform/core_dumps.h"

#include <sys/prctl.h>
#include <sys/resource.h>

bool DisableCoreDumps()
{
    // Both: the limit covers what the kernel writes itself, the flag also a core pattern that
    // pipes to a collector (which ignores the limit) and /proc/PID/mem of the process.
    const rlimit none{0, 0};
    const bool limited = ::setrlimit(RLIMIT_CORE, &none) == 0;
    const bool undumpable = ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
    return limited && undumpable;
}
