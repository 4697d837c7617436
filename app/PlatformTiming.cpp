#include "app/PlatformTiming.h"

#ifdef _WIN32
#include <windows.h>

#include <mmsystem.h> // after windows.h, which it needs
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
