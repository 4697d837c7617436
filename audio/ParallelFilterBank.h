#pragma once

#include "audio/FilterBank.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quelsor {

// Runs the eight filters of a bank over many 1 ms blocks at once on up to eight threads, for
// reading recordings (capture keeps to one thread). The bank is cut into contiguous groups of
// filters, one group per thread. With one thread the caller's thread does the work in Start;
// with more, helper threads do it between Start and WaitFor, while the caller does something
// else. Up to kRunsInFlight runs may be started and not yet waited for: each thread takes them
// in order at its own pace, so a thread held up for a moment (by the caller's own work on a
// busy processor) does not hold the others up at every run.
//
// Each thread works on its own copies of its filters, made when this object is made, with the
// histories taken from the bank before a run and written back after it: no two threads write
// near each other's memory while filtering, every filter's history stays with that filter from
// one run to the next, and the energies are exactly those BlockEnergies gives. The bank's design
// must not change while this object lives, nor its histories while a run is unfinished.
class ParallelFilterBank {
public:
    static constexpr int kRunsInFlight = 2;

    // threads is clamped to 1..8 (to 1 when the system gives no more threads); the bank must
    // outlive this object.
    ParallelFilterBank(FilterBank& bank, int threads);
    ~ParallelFilterBank(); // waits for the runs in progress, stops and joins the helper threads
    ParallelFilterBank(const ParallelFilterBank&) = delete;
    ParallelFilterBank& operator=(const ParallelFilterBank&) = delete;

    int Threads() const { return static_cast<int>(groups_.size()); }

    // Starts computing the energies of blocks (1 or more) consecutive blocks of samples (blocks
    // × 16 samples) into energies, kToneCount rows of blocks values (row t for tone t), after
    // the runs started before. samples and energies must stay as they are until WaitFor(the
    // returned number) returns. Waits first while kRunsInFlight runs are unfinished. With one
    // thread, the work is done here. Returns the run's number: 0, 1, 2 ... in order.
    std::uint64_t Start(const std::int16_t* samples, std::size_t blocks, std::int32_t* energies);
    // Returns once run number `run` and those before it are done.
    void WaitFor(std::uint64_t run);
    // Returns once every run started is done.
    void Wait();
    // Start, then WaitFor that run.
    void Run(const std::int16_t* samples, std::size_t blocks, std::int32_t* energies)
    {
        WaitFor(Start(samples, blocks, energies));
    }

    // The number of threads used when none is asked for: the processor's cores, 1 to 8.
    static int DefaultThreads();

private:
    // A group's filter copies, with room on both sides so that no other thread's data shares a
    // cache line with the histories the filters write on every sample.
    struct alignas(64) FilterCopies {
        char before[64];
        FilterBank filters;
        char after[64];
    };
    struct Group {
        int first = 0; // tone of the first filter
        int count = 0;
        std::unique_ptr<FilterCopies> copies;
        std::uint64_t done = 0; // runs this group has finished (its worker's count)
    };
    // One run's work, as Start was given it.
    struct Work {
        const std::int16_t* samples = nullptr;
        std::size_t blocks = 0;
        std::int32_t* energies = nullptr;
    };

    // Splits the bank into count groups and copies their filters' designs.
    void MakeGroups(int count);
    // Tells the helper threads to end and joins them.
    void StopWorkers();
    void RunGroup(Group& group, const Work& work);
    void WorkerLoop(std::size_t groupIndex);
    // Runs finished by every group; called with the mutex held.
    std::uint64_t DoneByAll() const;

    FilterBank& bank_;
    std::vector<Group> groups_;
    std::vector<std::thread> workers_; // worker k runs group k; none with one thread

    std::mutex mutex_;
    std::condition_variable startRun_;
    std::condition_variable runDone_;
    std::uint64_t started_ = 0; // runs handed out so far
    bool stopping_ = false;
    // Run n's work is in work_[n % kRunsInFlight] until every group has taken it.
    Work work_[kRunsInFlight];
};

} // namespace quelsor
