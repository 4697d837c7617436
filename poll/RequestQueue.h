#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quelsor {

// A request asked for outside the rounds (an operator's command over MQTT).
struct OnDemandRequest {
    int request = -1; // the request item; -1 when what was asked names none
    std::string asked; // what was asked, as received (for the error record of an unknown item)
};

// The requests asked for on demand, waiting for the polling loop: filled from any thread (the
// MQTT client's), emptied by the loop between two requests. An item already waiting is not
// queued again (pressing a button twice asks once), so at most one entry per item waits, and
// at most kMaxUnknown unknown ones.
class RequestQueue {
public:
    static constexpr std::size_t kMaxUnknown = 16;

    void Push(OnDemandRequest request);
    std::optional<OnDemandRequest> Pop();
    bool Empty() const;

    // Waits until a request is queued or `duration` has passed; the stop flag (set by a signal
    // handler, which cannot notify) is looked at every 100 ms.
    void WaitFor(std::chrono::milliseconds duration, const std::atomic<bool>& stop);

private:
    mutable std::mutex mutex_;
    std::condition_variable queued_;
    std::deque<OnDemandRequest> waiting_;
};

// The request item a command names: its number ("2"), else its command sequence in any letter
// case ("*5#", "1a2b"), blanks around it ignored. A number is taken as an item number first,
// so a command made of digits only is found when no item has that number. -1 for anything else.
int FindRequestItem(const std::string& asked, const std::vector<std::string>& items);

} // namespace quelsor
