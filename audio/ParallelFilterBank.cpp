#include "ParallelFilterBank.h"

#include "audio/DtmfDetector.h"

#include <algorithm>
#include <iterator>
#include <system_error>

namespace quelsor {

namespace {

    // What a filter changes as it runs: its delay lines.
    void CopyHistory(const BandPassFilter& from, BandPassFilter& to)
    {
        std::copy(std::begin(from.xRing), std::end(from.xRing), std::begin(to.xRing));
        std::copy(std::begin(from.yRing), std::end(from.yRing), std::begin(to.yRing));
        to.historyPos = from.historyPos;
    }

} // namespace

ParallelFilterBank::ParallelFilterBank(FilterBank& bank, int threads)
    : bank_(bank)
{
    const int count = std::clamp(threads, 1, kToneCount);
    MakeGroups(count);
    if (count == 1)
        return;
    try {
        for (std::size_t g = 0; g < groups_.size(); ++g)
            workers_.emplace_back([this, g] { WorkerLoop(g); });
    } catch (const std::system_error&) {
        // The system gives no more threads: the caller's thread filters the whole bank, slower
        // but with the same energies.
        StopWorkers();
        workers_.clear();
        stopping_ = false;
        MakeGroups(1);
    }
}

ParallelFilterBank::~ParallelFilterBank()
{
    Wait();
    StopWorkers();
}

void ParallelFilterBank::MakeGroups(int count)
{
    groups_.clear();
    // Contiguous groups as even as they come: 3 threads take 3, 3 and 2 filters.
    int first = 0;
    for (int g = 0; g < count; ++g) {
        Group group;
        group.first = first;
        group.count = kToneCount / count + (g < kToneCount % count ? 1 : 0);
        group.copies = std::make_unique<FilterCopies>();
        // Copied as a range: GCC 12 at -O3 takes an indexed loop here for a write past the end.
        const auto from = bank_.begin() + first;
        std::copy(from, from + group.count, group.copies->filters.begin());
        first += group.count;
        groups_.push_back(std::move(group));
    }
}

void ParallelFilterBank::StopWorkers()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    startRun_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
}

int ParallelFilterBank::DefaultThreads()
{
    const unsigned cores = std::thread::hardware_concurrency(); // 0 when unknown
    return std::clamp(static_cast<int>(cores), 1, kToneCount);
}

void ParallelFilterBank::RunGroup(Group& group, const Work& work)
{
    BandPassFilter* copies = group.copies->filters.data();
    const auto first = static_cast<std::size_t>(group.first);
    for (int k = 0; k < group.count; ++k)
        CopyHistory(bank_[first + static_cast<std::size_t>(k)], copies[k]);
    FilterEnergies(copies, group.count, work.samples, work.blocks,
        work.energies + first * work.blocks, work.blocks);
    for (int k = 0; k < group.count; ++k)
        CopyHistory(copies[k], bank_[first + static_cast<std::size_t>(k)]);
}

std::uint64_t ParallelFilterBank::DoneByAll() const
{
    std::uint64_t done = started_;
    for (const Group& group : groups_)
        done = std::min(done, group.done);
    return done;
}

void ParallelFilterBank::WorkerLoop(std::size_t groupIndex)
{
    Group& group = groups_[groupIndex];
    for (;;) {
        Work work;
        {
            std::unique_lock lock(mutex_);
            startRun_.wait(lock, [&] { return stopping_ || group.done < started_; });
            if (stopping_)
                return;
            work = work_[group.done % kRunsInFlight];
        }
        RunGroup(group, work);
        {
            std::lock_guard lock(mutex_);
            ++group.done;
        }
        runDone_.notify_all();
    }
}

std::uint64_t ParallelFilterBank::Start(
    const std::int16_t* samples, std::size_t blocks, std::int32_t* energies)
{
    const Work work { samples, blocks, energies };
    if (workers_.empty()) {
        // One thread: the run is done before its number is handed out.
        if (samples != nullptr && energies != nullptr)
            RunGroup(groups_.front(), work);
        groups_.front().done = ++started_;
        return started_ - 1;
    }
    std::uint64_t run = 0;
    {
        std::unique_lock lock(mutex_);
        // The slot of run started_ − kRunsInFlight is free once every group has taken it.
        runDone_.wait(lock, [&] { return started_ - DoneByAll() < kRunsInFlight; });
        run = started_;
        work_[run % kRunsInFlight]
            = samples != nullptr && energies != nullptr ? work : Work { samples, 0, energies };
        ++started_;
    }
    startRun_.notify_all();
    return run;
}

void ParallelFilterBank::WaitFor(std::uint64_t run)
{
    std::unique_lock lock(mutex_);
    runDone_.wait(lock, [&] { return DoneByAll() > run || DoneByAll() == started_; });
}

void ParallelFilterBank::Wait()
{
    std::unique_lock lock(mutex_);
    runDone_.wait(lock, [&] { return DoneByAll() == started_; });
}

} // namespace quelsor
