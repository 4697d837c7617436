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

PollLoop::PollLoop(IRequestRunner& runner, PollOptions options, RecordSink sink)
    : runner_(runner)
    , options_(std::move(options))
    , sink_(std::move(sink))
    , wait_(SleepUnlessStopped)
{
}

PollSummary PollLoop::Run(const std::atomic<bool>& stop)
{
    using Clock = std::chrono::steady_clock;
    PollSummary summary;
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
                wait_(std::chrono::duration_cast<std::chrono::milliseconds>(left), stop);
            else
                roundStart = Clock::now();
            if (stop)
                break;
        }
        for (const int request : options_.requests) {
            if (stop)
                break;
            PollRequest(request, stop, summary);
        }
    }
    return summary;
}

void PollLoop::PollRequest(int request, const std::atomic<bool>& stop, PollSummary& summary)
{
    RequestOutcome outcome;
    for (int attempt = 0; attempt <= options_.retries; ++attempt) {
        if (attempt > 0) {
            wait_(options_.retryPause, stop);
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
