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
// filters, one group per thread. With one thread the caller's thread does the work in Run;
// with more, helper threads do it between Start and Wait, while the caller does something else.
//
// Each thread works on its own copies of its filters, made when this object is made, with the
// histories taken from the bank before a run and written back after it: no two threads write
// near each other's memory while filtering, every filter's history stays with that filter from
// one run to the next, and the energies are exactly those BlockEnergies gives. The bank's design
// must not change while this object lives.
class ParallelFilterBank {
public:
    // threads is clamped to 1..8 (to 1 when the system gives no more threads); the bank must
    // outlive this object.
    ParallelFilterBank(FilterBank& bank, int threads);
    ~ParallelFilterBank(); // waits for a run in progress, stops and joins the helper threads
    ParallelFilterBank(const ParallelFilterBank&) = delete;
    ParallelFilterBank& operator=(const ParallelFilterBank&) = delete;

    int Threads() const { return static_cast<int>(groups_.size()); }

    // Starts computing the energies of blocks consecutive blocks of samples (blocks × 16
    // samples) into energies, kToneCount rows of blocks values (row t for tone t). samples and
    // energies must stay as they are until Wait returns. With one thread, the work is done here.
    void Start(const std::int16_t* samples, std::size_t blocks, std::int32_t* energies);
    // Returns once the run started last is done (at once when none is running).
    void Wait();
    // Start, then Wait.
    void Run(const std::int16_t* samples, std::size_t blocks, std::int32_t* energies)
    {
        Start(samples, blocks, energies);
        Wait();
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
    };

    // Splits the bank into count groups and copies their filters' designs.
    void MakeGroups(int count);
    // Tells the helper threads to end and joins them.
    void StopWorkers();
    void RunGroup(Group& group);
    void WorkerLoop(std::size_t groupIndex);

    FilterBank& bank_;
    std::vector<Group> groups_;
    std::vector<std::thread> workers_; // worker k runs group k; none with one thread

    std::mutex mutex_;
    std::condition_variable startRun_;
    std::condition_variable runDone_;
    std::uint64_t generation_ = 0; // counts the runs handed to the workers
    int pending_ = 0; // workers still busy with the current run
    bool stopping_ = false;

    // The current run, set under the mutex before the workers are woken.
    const std::int16_t* samples_ = nullptr;
    std::size_t blocks_ = 0;
    std::int32_t* energies_ = nullptr;
};

} // namespace quelsor
