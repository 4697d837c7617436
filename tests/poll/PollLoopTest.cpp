#include "poll/PollLoop.h"
#include "poll/Duration.h"

#include <gtest/gtest.h>

#include <deque>
#include <thread>

namespace quelsor {
namespace {

    using namespace std::chrono_literals;

    // Answers from a script: one outcome per call, in order; every call is recorded.
    class ScriptedRunner : public IRequestRunner {
    public:
        RequestOutcome Run(
            int request, std::chrono::seconds timeout, const RecordSink& sink) override
        {
            calls.push_back(request);
            timeouts.push_back(timeout);
            if (onRun)
                onRun();
            Scripted next = script.empty() ? Answer(request) : script.front();
            if (!script.empty())
                script.pop_front();
            for (const ResultRecord& record : next.records)
                sink(record);
            return next.outcome;
        }
        std::string ItemText(int request) const override
        {
            return std::to_string(1000 + request) + " Item";
        }

        // An outcome and the records the request reports on the way.
        struct Scripted {
            RequestOutcome outcome;
            std::vector<ResultRecord> records;
        };

        Scripted Answer(int request) const
        {
            Scripted answered;
            answered.outcome.kind = RequestOutcome::Kind::Answered;
            ResultRecord record = RecordWithoutZone(ItemText(request), "ok");
            record.zone = 1;
            answered.records.push_back(record);
            return answered;
        }

        std::deque<Scripted> script;
        std::vector<int> calls;
        std::vector<std::chrono::seconds> timeouts;
        std::function<void()> onRun;
    };

    ScriptedRunner::Scripted NoAnswer(
        RequestOutcome::Kind kind = RequestOutcome::Kind::TimedOut, const std::string& error = {})
    {
        ScriptedRunner::Scripted none;
        none.outcome.kind = kind;
        none.outcome.error = error;
        return none;
    }

    struct LoopRun {
        std::vector<std::string> records; // "request:status", then ":text" when it has one
        std::vector<std::chrono::milliseconds> waits;
        PollSummary summary;
    };

    // onWait runs at each wait, with the number of waits so far (from 1).
    LoopRun RunLoop(ScriptedRunner& runner, PollOptions options, std::atomic<bool>& stop,
        RequestQueue* demands = nullptr, std::function<void(std::size_t)> onWait = {})
    {
        LoopRun run;
        PollLoop loop(
            runner, options,
            [&run](const ResultRecord& record) {
                run.records.push_back(record.request + ":" + record.status
                    + (record.text.empty() ? "" : ":" + record.text));
            },
            demands);
        loop.SetWaiter(
            [&run, &onWait](std::chrono::milliseconds duration, const std::atomic<bool>&) {
                run.waits.push_back(duration);
                if (onWait)
                    onWait(run.waits.size());
            });
        run.summary = loop.Run(stop);
        return run;
    }

    TEST(PollLoop, RoundsRetriesAndRecords)
    {
        ScriptedRunner runner;
        // Round 1: request 0 answers at once; request 2 times out twice, then answers.
        // Round 2: request 0 fails (sound) three times, its error record says the last failure;
        // request 2 times out three times.
        using enum RequestOutcome::Kind;
        runner.script = { runner.Answer(0), NoAnswer(), NoAnswer(), runner.Answer(2),
            NoAnswer(Failed, "the sound input was lost"), NoAnswer(Failed, "cannot write x"),
            NoAnswer(Failed, "the sound server cannot be reached: Connection refused"), NoAnswer(),
            NoAnswer(), NoAnswer() };
        PollOptions options;
        options.requests = { 0, 2 };
        options.every = 0s; // too short to wait: the rounds follow each other
        options.count = 2;
        options.timeout = 7s;
        std::atomic<bool> stop { false };
        const LoopRun run = RunLoop(runner, options, stop);

        EXPECT_EQ(runner.calls, (std::vector<int> { 0, 2, 2, 2, 0, 0, 0, 2, 2, 2 }));
        EXPECT_EQ(runner.timeouts.front(), 7s);
        EXPECT_EQ(run.records,
            (std::vector<std::string> { "1000:ok", "1002:ok",
                "1000:error:the sound server cannot be reached: Connection refused",
                "1002:timeout" }));
        EXPECT_EQ(run.summary.sent, 10);
        EXPECT_EQ(run.summary.answered, 2);
        EXPECT_EQ(run.summary.failed, 1);
        EXPECT_EQ(run.summary.timedOut, 1);
        // A 2 s pause before each of the six retries; no wait between the rounds.
        EXPECT_EQ(run.waits, (std::vector<std::chrono::milliseconds>(6, 2000ms)));
    }

    TEST(PollLoop, OnceByDefaultAndUntilStoppedWithAPeriod)
    {
        ScriptedRunner runner;
        PollOptions options;
        options.requests = { 1 };
        std::atomic<bool> stop { false };
        EXPECT_EQ(RunLoop(runner, options, stop).summary.sent, 1);

        // With a period and no count: rounds until a stop, which lets the request finish.
        runner.calls.clear();
        options.every = 1h;
        runner.onRun = [&] {
            if (runner.calls.size() == 3)
                stop = true;
        };
        const LoopRun run = RunLoop(runner, options, stop);
        EXPECT_EQ(runner.calls.size(), 3u);
        EXPECT_EQ(run.records.size(), 3u);
        ASSERT_EQ(run.waits.size(), 2u);
        EXPECT_GT(run.waits[0], 3590s);
        EXPECT_LE(run.waits[0], 3600s);
    }

    TEST(PollLoop, AStopDuringTheRetryPauseEndsWithTheRequestsRecord)
    {
        ScriptedRunner runner;
        runner.script = { NoAnswer() };
        PollOptions options;
        options.requests = { 0, 1 };
        std::atomic<bool> stop { false };
        std::vector<std::string> statuses;
        PollLoop stopping(runner, options,
            [&statuses](const ResultRecord& record) { statuses.push_back(record.status); });
        stopping.SetWaiter(
            [&stop](std::chrono::milliseconds, const std::atomic<bool>&) { stop = true; });
        const PollSummary summary = stopping.Run(stop);
        EXPECT_EQ(runner.calls, std::vector<int> { 0 });
        EXPECT_EQ(statuses, std::vector<std::string> { "timeout" });
        EXPECT_EQ(summary.timedOut, 1);
    }

    TEST(PollLoop, RequestsOnDemandAreSentWhenTheRequestInProgressIsFinished)
    {
        using enum RequestOutcome::Kind;
        const struct {
            const char* what;
            std::vector<int> requests;
            int count;
            std::deque<ScriptedRunner::Scripted> script;
            int pushOnRun; // the call (from 1) during which item 2 and "zz" are asked for; 0: none
            int pushOnWait; // the same, during a wait
            int stopOnWait; // the wait at which the poll is stopped; 0: none
            std::vector<int> calls;
            std::size_t waits;
        } rows[] = {
            { "within a round, before its next request", { 0, 1 }, 1, {}, 1, 0, 0, { 0, 2, 1 }, 0 },
            { "during the wait between rounds, whose time is kept", { 0 }, 2, {}, 0, 1, 0,
                { 0, 2, 0 }, 2 },
            { "during the pause before a retry, then the retry", { 0 }, 1,
                { NoAnswer(), ScriptedRunner().Answer(2), ScriptedRunner().Answer(0) }, 0, 1, 0,
                { 0, 2, 0 }, 2 },
            { "the retries of a request on demand are its own", { 0 }, 1,
                { ScriptedRunner().Answer(0), NoAnswer(), ScriptedRunner().Answer(2) }, 1, 0, 0,
                { 0, 2, 2 }, 1 },
            { "without requests, until stopped", {}, 0, {}, 0, 1, 3, { 2 }, 3 },
        };
        for (const auto& row : rows) {
            ScriptedRunner runner;
            runner.script = row.script;
            RequestQueue demands;
            const auto ask = [&demands] {
                demands.Push({ 2, "2" });
                demands.Push({ 2, "*5#" }); // already waiting: asked once
                demands.Push({ -1, "zz" });
            };
            runner.onRun = [&] {
                if (static_cast<int>(runner.calls.size()) == row.pushOnRun)
                    ask();
            };
            std::atomic<bool> stop { false };
            PollOptions options;
            options.requests = row.requests;
            options.count = row.count;
            options.every = row.count > 1 ? 1h : 0s;
            const LoopRun run = RunLoop(runner, options, stop, &demands, [&](std::size_t wait) {
                if (static_cast<int>(wait) == row.pushOnWait)
                    ask();
                if (static_cast<int>(wait) == row.stopOnWait)
                    stop = true;
            });
            EXPECT_EQ(runner.calls, row.calls) << row.what;
            EXPECT_EQ(run.waits.size(), row.waits) << row.what;
            EXPECT_EQ(std::count(run.records.begin(), run.records.end(),
                          ":error:unknown request item 'zz'"),
                1)
                << row.what;
            EXPECT_TRUE(demands.Empty()) << row.what;
        }
    }

    TEST(PollLoop, AWaitingQueueWakesUpForARequest)
    {
        RequestQueue demands;
        std::atomic<bool> stop { false };
        std::thread asker([&] {
            std::this_thread::sleep_for(50ms);
            demands.Push({ 1, "1" });
        });
        const auto start = std::chrono::steady_clock::now();
        demands.WaitFor(10s, stop);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
        asker.join();
        ASSERT_FALSE(demands.Empty());
        EXPECT_EQ(demands.Pop()->request, 1);
    }

    TEST(PollLoop, RequestItemsByNumberOrCommand)
    {
        const std::vector<std::string> items { "1234 Etat general", "1A2B Mesures",
            "*5# Compteur horaire", "2 Deux" };
        const struct {
            const char* asked;
            int item;
        } rows[] = {
            { "1", 1 },
            { " 2\n", 2 },
            { "1234", 0 },
            { "1a2b", 1 },
            { "*5#", 2 },
            { "3", 3 },
            { "4", -1 },
            { "99999999999", -1 },
            { "", -1 },
            { "1234 Etat", -1 },
            { "-1", -1 },
        };
        for (const auto& row : rows)
            EXPECT_EQ(FindRequestItem(row.asked, items), row.item) << row.asked;
    }

    TEST(PollLoop, SleepUnlessStoppedSeesTheStop)
    {
        std::atomic<bool> stop { true };
        const auto start = std::chrono::steady_clock::now();
        SleepUnlessStopped(10s, stop);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    }

    TEST(Duration, UnitsAndLimits)
    {
        const struct {
            const char* text;
            long long seconds; // 0: refused
        } rows[] = {
            { "30s", 30 },
            { "10m", 600 },
            { "1h", 3600 },
            { "45", 45 },
            { "168h", 604800 },
            { "169h", 0 },
            { "0s", 0 },
            { "-5s", 0 },
            { "5 s", 0 },
            { "5S", 0 },
            { "1d", 0 },
            { "", 0 },
            { "m", 0 },
            { "1.5h", 0 },
            { "99999999999999999999s", 0 },
        };
        for (const auto& row : rows) {
            const auto parsed = ParseDuration(row.text);
            if (row.seconds == 0)
                EXPECT_FALSE(parsed.has_value()) << row.text;
            else
                EXPECT_EQ(parsed, std::chrono::seconds(row.seconds)) << row.text;
        }
    }

} // namespace
} // namespace quelsor
