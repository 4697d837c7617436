#pragma once

#include <atomic>

namespace quelsor::cli {

// The stop requests of the commands that run until stopped (simulate, poll): SIGINT and SIGTERM;
// on Windows the console's Ctrl-C and Ctrl-Break, and the closing of the console window, the
// user's log-off and the system's shut-down, after which Windows ends the process a few seconds
// later, so that the command has that long to finish its work. Each one sets `stop` (a static:
// it outlives the handlers), which the command tests in its loops. Call it once per process.
void CatchStopRequests(std::atomic<bool>& stop);

} // namespace quelsor::cli
