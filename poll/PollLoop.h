#pragma once

#include "decoder/ResultRecord.h"
#include "poll/RequestQueue.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace quelsor {

// How one request over the link ended.
struct RequestOutcome {
    enum class Kind { Answered, TimedOut, Failed };
    Kind kind = Kind::TimedOut;
    std::string error; // why it failed (Failed)
};

// Where records go as soon as they are known.
using RecordSink = std::function<void(const ResultRecord&)>;

// Sends one request and waits for its answer; the sound side of the polling loop.
class IRequestRunner {
public:
    virtual ~IRequestRunner() = default;
    // Sends request item `request` and listens for its answer at most `timeout`; hands what
    // the answers report (zones, answers of the wrong length) to sink as they come.
    virtual RequestOutcome Run(int request, std::chrono::seconds timeout, const RecordSink& sink)
        = 0;
    // The text of request item `request` ("1234 Etat general").
    virtual std::string ItemText(int request) const = 0;
};

// Texts of the polling loop's own records, byte for byte.
namespace PollTexts {
    // The text of the error record of a request asked for on demand that names no item; %s is
    // what was asked.
    inline constexpr const char* kUnknownRequest = "unknown request item '%s'";
} // namespace PollTexts

struct PollOptions {
    // Request items, sent in this order each round. None: no rounds, only the requests asked
    // for on demand, until a stop.
    std::vector<int> requests;
    std::chrono::seconds every { 0 }; // time from the start of one round to the next; 0: once
    int count = 0; // rounds; 0: one round without `every`, no limit with it
    std::chrono::seconds timeout { 10 };
    int retries = 2; // further tries of a request that got no answer
    std::chrono::milliseconds retryPause { 2000 };
};

struct PollSummary {
    int sent = 0; // requests sent, retries included
    int answered = 0;
    int timedOut = 0; // requests that got no answer after all their tries
    int failed = 0; // requests that ended with a sound failure
};

// The polling loop: each round sends every request in turn, tries one that gets no answer again
// up to `retries` times after a pause, and hands every record to `sink` (zones, rejected
// answers, then one "timeout" or "error" record when all tries failed). A stop request is seen
// between requests and during every wait: the request in progress is finished first.
//
// With a queue of requests on demand, each one queued is sent (with its retries) as soon as
// the request in progress is finished: between the requests of a round, during the pause
// before a retry and during the wait for the next round, whose time is kept. One that names no
// item gives an "error" record and nothing is sent. Those still queued when the rounds are over
// are sent before Run returns.
class PollLoop {
public:
    // How the loop waits (the stop flag is checked while it waits); tests replace it.
    using Waiter = std::function<void(std::chrono::milliseconds, const std::atomic<bool>& stop)>;

    // demands may be null; it must outlive the loop. The default waiter wakes up as soon as a
    // request is queued.
    PollLoop(IRequestRunner& runner, PollOptions options, RecordSink sink,
        RequestQueue* demands = nullptr);

    void SetWaiter(Waiter waiter) { wait_ = std::move(waiter); }
    const Waiter& GetWaiter() const { return wait_; }

    // Runs until the rounds are done or stop is set.
    PollSummary Run(const std::atomic<bool>& stop);

private:
    void PollRequest(int request, const std::atomic<bool>& stop, PollSummary& summary);
    // Waits `duration`, sending the requests asked for meanwhile.
    void Wait(
        std::chrono::milliseconds duration, const std::atomic<bool>& stop, PollSummary& summary);
    // Sends every request queued on demand; false when none was.
    bool ServeDemands(const std::atomic<bool>& stop, PollSummary& summary);

    IRequestRunner& runner_;
    PollOptions options_;
    RecordSink sink_;
    RequestQueue* demands_;
    Waiter wait_;
    bool serving_ = false; // a request asked for on demand is in progress
};

// Waits in slices of 100 ms so that a stop is seen soon; sleeps the rest of the time.
void SleepUnlessStopped(std::chrono::milliseconds duration, const std::atomic<bool>& stop);

} // namespace quelsor
