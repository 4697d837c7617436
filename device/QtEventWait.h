#pragma once

#include "sound/SoundBackend.h"

namespace quelsor {

// Finds the GUI thread's event dispatcher for WakeQtGuiThread; call it on the GUI thread before
// anything may need waking. False when there is no application object.
bool AttachQtGuiThread();
// Waits the way the capture loop needs on a Qt GUI thread: returns Notified at once when `event`
// is set; otherwise processes the thread's events, blocking until at least one arrives (a
// Signal() of `event` wakes the dispatcher), and reports whether the event was signalled
// meanwhile. Used by the backends and by test backends that run inside a Qt application.
WaitResult WaitWithQtEvents(NotificationEvent& event);
// The same, without handling user input (keys, mouse): for a wait the operator must not
// interrupt, such as a playback. Returns once `event` has been signalled (consuming it).
void WaitWithoutUserInput(NotificationEvent& event);
// Wakes the GUI thread's event dispatcher from any thread (the matching wake function).
void WakeQtGuiThread();

} // namespace quelsor
