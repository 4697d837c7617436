#include "poll/PollLoop.h"
#include "poll/Duration.h"

#include <gtest/gtest.h>

#include <deque>

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

    LoopRun RunLoop(ScriptedRunner& runner, PollOptions options, std::atomic<bool>& stop)
    {
        LoopRun run;
        PollLoop loop(runner, options, [&run](const ResultRecord& record) {
            run.records.push_back(record.request + ":" + record.status
                + (record.text.empty() ? "" : ":" + record.text));
        });
        loop.SetWaiter([&run](std::chrono::milliseconds duration, const std::atomic<bool>&) {
            run.waits.push_back(duration);
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
