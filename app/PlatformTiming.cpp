#include "app/PlatformTiming.h"

#ifdef _WIN32
#include <timeapi.h>
#include <windows.h>
#endif

namespace quelsor {

void RaiseProcessPriority()
{
#ifdef _WIN32
    SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
#endif
}

void BeginFineTimerResolution()
{
#ifdef _WIN32
    timeBeginPeriod(1);
#endif
}

void EndFineTimerResolution()
{
#ifdef _WIN32
    timeEndPeriod(1);
#endif
}

} // namespace quelsor
