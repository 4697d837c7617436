#include "PollLoop.h"

#include <algorithm>
#include <thread>

namespace quelsor {

void SleepUnlessStopped(std::chrono::milliseconds duration, const std::atomic<bool>& stop)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + duration;
    while (!stop) {
        const Clock::time_point now = Clock::now();
        if (now >= end)
            return;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(end - now, std::chrono::milliseconds(100)));
    }
}

PollLoop::PollLoop(
    IRequestRunner& runner, PollOptions options, RecordSink sink, RequestQueue* demands)
    : runner_(runner)
    , options_(std::move(options))
    , sink_(std::move(sink))
    , demands_(demands)
    , wait_([this](std::chrono::milliseconds duration, const std::atomic<bool>& stop) {
        // The retry pauses of a request asked for on demand do not end for another one.
        if (demands_ != nullptr && !serving_)
            demands_->WaitFor(duration, stop);
        else
            SleepUnlessStopped(duration, stop);
    })
{
}

PollSummary PollLoop::Run(const std::atomic<bool>& stop)
{
    using Clock = std::chrono::steady_clock;
    PollSummary summary;
    if (options_.requests.empty()) {
        while (!stop)
            Wait(std::chrono::hours(1), stop, summary);
        return summary;
    }
    const bool repeating = options_.every.count() > 0;
    const int rounds = options_.count > 0 ? options_.count : (repeating ? 0 : 1);
    Clock::time_point roundStart = Clock::now();
    for (int round = 0; !stop && (rounds == 0 || round < rounds); ++round) {
        if (round > 0) {
            // The next round starts `every` after the start of the previous one (at once when
            // a round took longer).
            roundStart += options_.every;
            const auto left = roundStart - Clock::now();
            if (left > Clock::duration::zero())
                Wait(std::chrono::duration_cast<std::chrono::milliseconds>(left), stop, summary);
            else
                roundStart = Clock::now();
            if (stop)
                break;
        }
        for (const int request : options_.requests) {
            if (stop)
                break;
            PollRequest(request, stop, summary);
            ServeDemands(stop, summary);
        }
    }
    return summary;
}

void PollLoop::Wait(
    std::chrono::milliseconds duration, const std::atomic<bool>& stop, PollSummary& summary)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + duration;
    std::chrono::milliseconds left = duration;
    while (!stop && left > std::chrono::milliseconds::zero()) {
        wait_(left, stop);
        // The waiter returns early only for a request asked for (or a stop); what is left of
        // the time is waited after it.
        if (serving_ || !ServeDemands(stop, summary))
            return;
        left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    }
}

bool PollLoop::ServeDemands(const std::atomic<bool>& stop, PollSummary& summary)
{
    if (demands_ == nullptr || serving_)
        return false;
    bool served = false;
    while (!stop) {
        const std::optional<OnDemandRequest> next = demands_->Pop();
        if (!next)
            break;
        served = true;
        if (next->request < 0) {
            std::string text = PollTexts::kUnknownRequest;
            text.replace(text.find("%s"), 2, next->asked.substr(0, 64));
            ResultRecord record = RecordWithoutZone(std::string(), "error");
            record.text = ValidUtf8(text);
            sink_(record);
            continue;
        }
        serving_ = true;
        PollRequest(next->request, stop, summary);
        serving_ = false;
    }
    return served;
}

void PollLoop::PollRequest(int request, const std::atomic<bool>& stop, PollSummary& summary)
{
    RequestOutcome outcome;
    for (int attempt = 0; attempt <= options_.retries; ++attempt) {
        if (attempt > 0) {
            Wait(options_.retryPause, stop, summary);
            if (stop)
                break;
        }
        outcome = runner_.Run(request, options_.timeout, sink_);
        ++summary.sent;
        if (outcome.kind == RequestOutcome::Kind::Answered) {
            ++summary.answered;
            return;
        }
    }
    if (outcome.kind == RequestOutcome::Kind::Failed) {
        ++summary.failed;
        ResultRecord record = RecordWithoutZone(runner_.ItemText(request), "error");
        record.text = outcome.error; // what failed, for whoever reads the records only
        sink_(record);
    } else {
        ++summary.timedOut;
        sink_(RecordWithoutZone(runner_.ItemText(request), "timeout"));
    }
}

} // namespace quelsor
