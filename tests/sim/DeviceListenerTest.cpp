// The listening side of a simulated remote device: when a command counts as complete, the
// settling time after its own transmission, and the capture buffer read as simulate reads it.

#include "sim/DeviceListener.h"

#include "audio/ToneGenerator.h"
#include "common/SampleFormat.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quelsor {
namespace {

    // A command as the requester plays it, between silences; 1 ms = 16 samples.
    std::vector<std::int16_t> Command(const std::string& text, int silenceAfterMs)
    {
        std::vector<std::int16_t> samples;
        AppendSilence(samples, 50);
        AppendDtmfSequence(samples, text);
        AppendSilence(samples, silenceAfterMs);
        return samples;
    }

    TEST(DeviceListenerTest, CommandIsTakenOnceTheLineHasBeenQuietLongEnough)
    {
        // The last character is accepted at the first quiet block after its tone; its gap
        // (150 ms) and 400 ms of silence follow, so some 540 blocks have passed since.
        struct Row {
            int quietBlocks;
            bool taken;
        };
        for (const Row row : { Row { 300, true }, Row { 500, true }, Row { 600, false } }) {
            DeviceListener ears(20);
            const std::vector<std::int16_t> samples = Command("1A#", 400);
            ears.Hear(samples.data(), samples.size());
            std::string command = "unchanged";
            EXPECT_EQ(ears.TakeCommand(row.quietBlocks, command), row.taken) << row.quietBlocks;
            EXPECT_EQ(command, row.taken ? "1A#" : "unchanged") << row.quietBlocks;
            EXPECT_EQ(ears.Heard(), row.taken ? "" : "1A#") << row.quietBlocks;
        }
    }

    TEST(DeviceListenerTest, SettlingSamplesAreNeverAnalysed)
    {
        const std::vector<std::int16_t> samples = Command("5", 100);
        DeviceListener deaf(20, static_cast<int>(samples.size()) + 1);
        deaf.Hear(samples.data(), samples.size());
        EXPECT_FALSE(deaf.Settled());
        EXPECT_EQ(deaf.Heard(), "");
        const std::int16_t one = 0;
        deaf.Hear(&one, 1);
        EXPECT_TRUE(deaf.Settled());

        DeviceListener ears(20, 50 * kSampleRate / 1000); // the leading silence only
        ears.Hear(samples.data(), samples.size());
        EXPECT_TRUE(ears.Settled());
        EXPECT_EQ(ears.Heard(), "5");
    }

    TEST(DeviceListenerTest, CapturedSlicesHearWhatTheSamplesHold)
    {
        // Longer than the looping buffer, written a slice at a time from mid-buffer as a device
        // delivers it: the reader wraps and the device hears the same command as from the
        // samples themselves.
        const std::vector<std::int16_t> samples = Command("159D*0#A", 1200);
        DeviceListener direct(20);
        direct.Hear(samples.data(), samples.size());

        CaptureBuffer buffer;
        const std::vector<std::uint8_t> earlier(20000, 0);
        buffer.Write(earlier.data(), earlier.size());
        DeviceListener ears(20);
        std::uint32_t read = 0;
        ASSERT_TRUE(buffer.GetCurrentPosition(nullptr, &read));
        ears.StartReading(read);
        constexpr std::size_t kSlice = kNotifySliceBytes / 2;
        int reads = 0;
        for (std::size_t at = 0; at + kSlice <= samples.size(); at += kSlice) {
            buffer.Write(samples.data() + at, kNotifySliceBytes);
            reads += ears.HearCaptured(buffer) == CaptureSliceReader::Result::Read ? 1 : 0;
        }
        EXPECT_EQ(reads, static_cast<int>(samples.size() / kSlice));
        EXPECT_EQ(ears.Heard(), "159D*0#A");
        EXPECT_EQ(ears.Heard(), direct.Heard());
    }

} // namespace
} // namespace quelsor
