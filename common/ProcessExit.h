#pragma once

namespace quelsor {

// Ends a process that has used Qt Multimedia, with the given exit status, once all of the
// program's own work is finished (files closed, application object destroyed): flushes every C
// stream, then leaves without running the handlers registered for after main.
//
// Qt Multimedia 6.4 destroys its PulseAudio engine from such a handler, disconnecting from the
// server while the engine's own thread may still be dispatching a server message (another
// client's stream starting or ending is enough). Now and then that aborts or crashes a process
// that had done everything right, and the caller sees a failure. Nothing of ours needs those
// handlers.
[[noreturn]] void EndProcess(int status);

} // namespace quelsor
