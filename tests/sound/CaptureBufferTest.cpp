#include "sound/CaptureBuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <numeric>
#include <thread>
#include <vector>

namespace quelsor {
namespace {

    std::vector<std::uint32_t> SlicePositions()
    {
        std::vector<std::uint32_t> positions;
        for (std::uint32_t i = 0; i < kNotifyCount; ++i)
            positions.push_back(kNotifySliceBytes * i + kNotifySliceBytes - 1);
        return positions;
    }

    // Samples numbered from `first`, so every region can be checked for order and origin.
    std::vector<std::int16_t> Ramp(int first, int count)
    {
        std::vector<std::int16_t> samples(static_cast<std::size_t>(count));
        std::iota(samples.begin(), samples.end(), static_cast<std::int16_t>(first));
        return samples;
    }

    TEST(CaptureBufferTest, EventSignalledOnlyWhenTheLastByteOfASliceIsWritten)
    {
        CaptureBuffer buffer;
        auto event = std::make_shared<NotificationEvent>();
        ASSERT_TRUE(buffer.SetNotificationPositions(SlicePositions(), event));
        const std::vector<std::uint8_t> bytes(kNotifySliceBytes, 7);

        buffer.Write(bytes.data(), kNotifySliceBytes - 1);
        EXPECT_FALSE(event->IsSet());
        buffer.Write(bytes.data(), 1);
        EXPECT_TRUE(event->TryConsume());
        EXPECT_FALSE(event->TryConsume()) << "auto-reset";
        // Three slices at once: one pending signal, as with an auto-reset event.
        buffer.Write(bytes.data(), kNotifySliceBytes);
        buffer.Write(bytes.data(), kNotifySliceBytes);
        EXPECT_TRUE(event->TryConsume());
        EXPECT_FALSE(event->TryConsume());
    }

    TEST(CaptureBufferTest, LostDeviceWakesTheReaderAndFailsThePosition)
    {
        CaptureBuffer buffer;
        auto event = std::make_shared<NotificationEvent>();
        ASSERT_TRUE(buffer.SetNotificationPositions(SlicePositions(), event));
        std::uint32_t read = 0;
        EXPECT_TRUE(buffer.GetCurrentPosition(nullptr, &read));
        buffer.MarkDeviceLost();
        EXPECT_TRUE(event->TryConsume());
        EXPECT_FALSE(buffer.GetCurrentPosition(nullptr, &read));
    }

    TEST(CaptureBufferTest, PositionFollowsWritesAndWrapsAtTheEnd)
    {
        CaptureBuffer buffer;
        const auto samples = Ramp(0, 10000); // 20000 bytes
        std::uint32_t capture = 1;
        std::uint32_t read = 1;
        ASSERT_TRUE(buffer.GetCurrentPosition(&capture, &read));
        EXPECT_EQ(capture, 0u);
        buffer.Write(samples.data(), 20000);
        buffer.Write(samples.data(), 20000);
        ASSERT_TRUE(buffer.GetCurrentPosition(&capture, &read));
        EXPECT_EQ(read, 40000u - kCaptureBufferBytes);
        EXPECT_EQ(capture, read);
        EXPECT_EQ(buffer.TotalWritten(), 40000u);
    }

    TEST(CaptureBufferTest, WrappingLockGivesTheTailFirstThenTheHead)
    {
        CaptureBuffer buffer;
        // Fill the buffer with samples 0..16383, then overwrite the first 2 slices with
        // 16384.. so the oldest unread data runs from offset 31744 (slice 31) round to 2048.
        buffer.Write(Ramp(0, 16384).data(), kCaptureBufferBytes);
        buffer.Write(Ramp(16384, 1024).data(), 2048);

        LockedRegions regions;
        ASSERT_TRUE(buffer.Lock(31 * kNotifySliceBytes, 3 * kNotifySliceBytes, regions));
        ASSERT_EQ(regions.firstBytes, kNotifySliceBytes);
        ASSERT_EQ(regions.secondBytes, 2 * kNotifySliceBytes);
        EXPECT_EQ(regions.first.front(), 31 * 512);
        EXPECT_EQ(regions.first.back(), 16383);
        EXPECT_EQ(regions.second.front(), 16384);
        EXPECT_EQ(regions.second.back(), 16384 + 1023);
    }

    TEST(CaptureBufferTest, LockRejectsRangesOutsideTheBuffer)
    {
        struct Row {
            std::uint32_t offset;
            std::uint32_t bytes;
            bool ok;
        };
        const Row rows[] = {
            { 0, kCaptureBufferBytes, true },
            { 32767 - 1, 2, true },
            { kCaptureBufferBytes, 2, false },
            { 0, kCaptureBufferBytes + 2, false },
            { 1, 2, false },
            { 0, 3, false },
        };
        CaptureBuffer buffer;
        for (const Row& row : rows) {
            LockedRegions regions;
            EXPECT_EQ(buffer.Lock(row.offset, row.bytes, regions), row.ok)
                << row.offset << " + " << row.bytes;
            if (!row.ok) {
                EXPECT_EQ(regions.firstBytes + regions.secondBytes, 0u);
            }
        }
    }

    TEST(CaptureBufferTest, NotificationPositionsMustBeInOrderAndInside)
    {
        CaptureBuffer buffer;
        auto event = std::make_shared<NotificationEvent>();
        EXPECT_FALSE(buffer.SetNotificationPositions({ 1023, 1023 }, event));
        EXPECT_FALSE(buffer.SetNotificationPositions({ 2047, 1023 }, event));
        EXPECT_FALSE(buffer.SetNotificationPositions({ kCaptureBufferBytes }, event));
        EXPECT_TRUE(buffer.SetNotificationPositions({ 0, kCaptureBufferBytes - 1 }, event));
        const std::uint8_t byte = 0;
        buffer.Write(&byte, 1);
        EXPECT_TRUE(event->TryConsume());
    }

    // A writer thread and a reader locking concurrently, as the capture thread and the GUI
    // thread do. Every slice is written as one run of equal samples, so a slice copied while it
    // is being written holds two values: the buffer's lock must keep every copy whole. The
    // reader first copies what the position says is new (the capture loop's way), then the
    // whole buffer again and again (the widest window for a torn copy). Under ThreadSanitizer
    // this also checks the buffer itself for races.
    TEST(CaptureBufferTest, ConcurrentWriterAndReaderNeverSeeATornSlice)
    {
        CaptureBuffer buffer;
        auto event = std::make_shared<NotificationEvent>();
        ASSERT_TRUE(buffer.SetNotificationPositions(SlicePositions(), event));
        std::atomic<std::uint64_t> slicesWritten { 0 };
        // Stopped and joined however the test ends (a failed assertion returns early).
        // Eight slices per write, slice i of the stream holding the value i % 64: a slice
        // overwritten in place always changes value, and the writer spends its time copying.
        constexpr std::size_t kSlicesPerWrite = 8;
        std::vector<std::vector<std::int16_t>> chunks(64 / kSlicesPerWrite);
        for (std::size_t c = 0; c < chunks.size(); ++c) {
            for (std::size_t slice = 0; slice < kSlicesPerWrite; ++slice)
                chunks[c].insert(
                    chunks[c].end(), 512, static_cast<std::int16_t>(c * kSlicesPerWrite + slice));
        }
        std::jthread writer([&](std::stop_token stop) {
            for (std::size_t c = 0; !stop.stop_requested(); c = (c + 1) % chunks.size()) {
                buffer.Write(chunks[c].data(), kSlicesPerWrite * kNotifySliceBytes);
                slicesWritten += kSlicesPerWrite;
            }
        });
        int whole = 0;
        int torn = 0;
        const auto check = [&](const LockedRegions& regions) {
            for (const auto* region : { &regions.first, &regions.second }) {
                for (std::size_t s = 0; s + 512 <= region->size(); s += 512) {
                    const auto begin = region->begin() + static_cast<std::ptrdiff_t>(s);
                    const bool same = std::all_of(
                        begin, begin + 512, [&](std::int16_t v) { return v == *begin; });
                    ++(same ? whole : torn);
                }
            }
        };

        std::uint32_t next = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (int reads = 0; reads < 200;) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the writer stalled";
            if (!event->WaitFor(std::chrono::milliseconds(5)))
                continue;
            std::uint32_t read = 0;
            ASSERT_TRUE(buffer.GetCurrentPosition(nullptr, &read));
            std::int64_t available = std::int64_t { read } - next;
            if (available < 0)
                available += kCaptureBufferBytes;
            available -= available % kNotifySliceBytes;
            LockedRegions regions;
            ASSERT_TRUE(buffer.Lock(next, static_cast<std::uint32_t>(available), regions));
            check(regions);
            next = (next + static_cast<std::uint32_t>(available)) % kCaptureBufferBytes;
            ++reads;
        }
        // For a quarter of a second at least: on a busy machine the two threads may take turns
        // on one processor for a while before they run side by side.
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(250);
        for (int reads = 0; reads < 2000 || std::chrono::steady_clock::now() < until; ++reads) {
            LockedRegions regions;
            ASSERT_TRUE(buffer.Lock(0, kCaptureBufferBytes, regions));
            check(regions);
        }
        writer.request_stop();
        writer.join();
        EXPECT_EQ(torn, 0) << "of " << whole + torn << " slices copied";
        EXPECT_GT(whole, 0);
        EXPECT_EQ(buffer.TotalWritten(), slicesWritten * kNotifySliceBytes);
    }

} // namespace
} // namespace quelsor
