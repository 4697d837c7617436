#pragma once

namespace quelsor {

// Process priority and timer resolution of the program. On Windows: the high priority class
// for the whole run and a 1 ms timer resolution while the window is shown; elsewhere the
// platform offers nothing equivalent for an ordinary process and these do nothing.
void RaiseProcessPriority();
void BeginFineTimerResolution(); // 1 ms
void EndFineTimerResolution();

} // namespace quelsor
