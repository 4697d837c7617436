#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace quelsor {

// An auto-reset event: Signal() from any thread (the audio backend's), consumed by the GUI
// thread's wait. A signal that nobody has consumed yet stays set; several signals before the
// consumer wakes collapse into one, as with a Windows auto-reset event. The optional wake
// function runs on the signalling thread after every Signal(), outside the event's lock: the
// Qt backend uses it to wake the GUI thread's event loop.
class NotificationEvent {
public:
    explicit NotificationEvent(std::function<void()> wake = {});

    NotificationEvent(const NotificationEvent&) = delete;
    NotificationEvent& operator=(const NotificationEvent&) = delete;

    // Sets the event and wakes whoever waits for it. Thread-safe.
    void Signal();
    // Returns true and resets the event when it was set; false otherwise. Never blocks.
    bool TryConsume();
    // Blocks until the event is set (then resets it and returns true) or the time-out expires
    // (returns false).
    bool WaitFor(std::chrono::milliseconds timeout);
    // True when the event is set, without consuming it (for tests and diagnostics).
    bool IsSet() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool set_ = false;
    std::function<void()> wake_;
};

} // namespace quelsor
