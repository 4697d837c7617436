#include "RequestQueue.h"

#include <algorithm>

namespace quelsor {

void RequestQueue::Push(OnDemandRequest request)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (request.request >= 0) {
            const bool waiting = std::any_of(waiting_.begin(), waiting_.end(),
                [&](const OnDemandRequest& queued) { return queued.request == request.request; });
            if (waiting)
                return;
        } else {
            const auto unknown = std::count_if(waiting_.begin(), waiting_.end(),
                [](const OnDemandRequest& queued) { return queued.request < 0; });
            if (static_cast<std::size_t>(unknown) >= kMaxUnknown)
                return;
        }
        waiting_.push_back(std::move(request));
    }
    queued_.notify_all();
}

std::optional<OnDemandRequest> RequestQueue::Pop()
{
    const std::lock_guard<std::mutex> lock(mutex_);
    if (waiting_.empty())
        return std::nullopt;
    OnDemandRequest next = std::move(waiting_.front());
    waiting_.pop_front();
    return next;
}

bool RequestQueue::Empty() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return waiting_.empty();
}

void RequestQueue::WaitFor(std::chrono::milliseconds duration, const std::atomic<bool>& stop)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + duration;
    std::unique_lock<std::mutex> lock(mutex_);
    while (waiting_.empty() && !stop) {
        const Clock::time_point now = Clock::now();
        if (now >= end)
            return;
        queued_.wait_for(
            lock, std::min<Clock::duration>(end - now, std::chrono::milliseconds(100)));
    }
}

int FindRequestItem(const std::string& asked, const std::vector<std::string>& items)
{
    const std::size_t first = asked.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return -1;
    const std::string text = asked.substr(first, asked.find_last_not_of(" \t\r\n") - first + 1);
    const int count = static_cast<int>(items.size());
    if (text.size() <= 9
        && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const int number = std::stoi(text);
        if (number < count)
            return number;
    }
    const auto upper = [](std::string s) {
        for (char& c : s) {
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        }
        return s;
    };
    const std::string command = upper(text);
    for (int i = 0; i < count; ++i) {
        const std::string& item = items[static_cast<std::size_t>(i)];
        if (upper(item.substr(0, item.find(' '))) == command)
            return i;
    }
    return -1;
}

} // namespace quelsor
