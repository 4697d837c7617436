#include "sound/NotificationEvent.h"

#include <utility>

namespace quelsor {

NotificationEvent::NotificationEvent(std::function<void()> wake)
    : wake_(std::move(wake))
{
}

void NotificationEvent::Signal()
{
    {
        std::lock_guard lock(mutex_);
        set_ = true;
    }
    changed_.notify_all();
    // The wake function is fixed at construction, so it is read here without the lock.
    if (wake_)
        wake_();
}

bool NotificationEvent::TryConsume()
{
    std::lock_guard lock(mutex_);
    return std::exchange(set_, false);
}

bool NotificationEvent::WaitFor(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [this] { return set_; }))
        return false;
    set_ = false;
    return true;
}

bool NotificationEvent::IsSet() const
{
    std::lock_guard lock(mutex_);
    return set_;
}

} // namespace quelsor
