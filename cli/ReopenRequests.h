#pragma once

#include <atomic>

namespace quelsor::cli {

// The request to reopen the record files that log rotation sends: SIGHUP sets `reopen` (a
// static: it outlives the handler), which the command tests and clears before it writes. Windows
// has no such signal: there the flag is never set. Call it once per process.
void CatchReopenRequests(std::atomic<bool>& reopen);

} // namespace quelsor::cli
