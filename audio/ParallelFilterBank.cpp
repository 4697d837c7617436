#include "ParallelFilterBank.h"

#include "audio/DtmfDetector.h"

#include <algorithm>

namespace quelsor {

ParallelFilterBank::ParallelFilterBank(FilterBank& bank, int threads)
    : bank_(bank)
{
    const int count = std::clamp(threads, 1, kToneCount);
    // Contiguous groups as even as they come: 3 threads take 3, 3 and 2 filters.
    int first = 0;
    for (int g = 0; g < count; ++g) {
        Group group;
        group.first = first;
        group.count = kToneCount / count + (g < kToneCount % count ? 1 : 0);
        group.copies = std::make_unique<FilterCopies>();
        first += group.count;
        groups_.push_back(std::move(group));
    }
    for (std::size_t g = 1; g < groups_.size(); ++g)
        workers_.emplace_back([this, g] { WorkerLoop(g); });
}

ParallelFilterBank::~ParallelFilterBank()
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

void ParallelFilterBank::RunGroup(Group& group)
{
    BandPassFilter* copies = group.copies->filters.data();
    const auto first = static_cast<std::size_t>(group.first);
    for (int k = 0; k < group.count; ++k)
        copies[k] = bank_[first + static_cast<std::size_t>(k)];
    FilterEnergies(copies, group.count, samples_, blocks_, energies_ + first * blocks_, blocks_);
    for (int k = 0; k < group.count; ++k)
        bank_[first + static_cast<std::size_t>(k)] = copies[k];
}

void ParallelFilterBank::WorkerLoop(std::size_t groupIndex)
{
    std::uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            startRun_.wait(lock, [&] { return stopping_ || generation_ != seen; });
            if (stopping_)
                return;
            seen = generation_;
        }
        RunGroup(groups_[groupIndex]);
        {
            std::lock_guard lock(mutex_);
            if (--pending_ == 0)
                runDone_.notify_one();
        }
    }
}

void ParallelFilterBank::Run(
    const std::int16_t* samples, std::size_t blocks, std::int32_t* energies)
{
    if (samples == nullptr || energies == nullptr || blocks == 0)
        return;
    {
        std::lock_guard lock(mutex_);
        samples_ = samples;
        blocks_ = blocks;
        energies_ = energies;
        pending_ = static_cast<int>(workers_.size());
        ++generation_;
    }
    startRun_.notify_all();
    RunGroup(groups_.front());
    std::unique_lock lock(mutex_);
    runDone_.wait(lock, [&] { return pending_ == 0; });
}

} // namespace quelsor
