#include "sound/DeviceChoice.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quelsor::test {
namespace {

    // A laptop with a USB radio interface, as PulseAudio names its devices.
    const std::vector<SoundDevice> kDevices {
        { true, "alsa_input.pci-0000_00_1f.3.analog-stereo", "Audio interne Stéréo analogique",
            true },
        { true, "alsa_input.usb-Radio_USB_Audio-00.mono-fallback", "USB Audio Interface Mono",
            false },
        { true, "usb", "Loopback", false },
        { false, "alsa_output.pci-0000_00_1f.3.analog-stereo", "Audio interne Stéréo analogique",
            false },
        { false, "alsa_output.usb-Radio_USB_Audio-00.analog-stereo",
            "USB Audio Interface Analog Stereo", true },
        { false, "ÉCRAN", "HDMI Écran", false },
    };

    TEST(DeviceChoiceTest, TextNamesADeviceByIdDescriptionOrPartOfADescription)
    {
        struct Row {
            const char* what;
            bool input;
            const char* text;
            const char* id; // nullptr: none
        };
        const Row rows[] {
            { "id, exactly", true, "alsa_input.usb-Radio_USB_Audio-00.mono-fallback",
                "alsa_input.usb-Radio_USB_Audio-00.mono-fallback" },
            { "id, other case", true, "ALSA_INPUT.USB-RADIO_USB_AUDIO-00.MONO-FALLBACK",
                "alsa_input.usb-Radio_USB_Audio-00.mono-fallback" },
            { "description, other case", false, "usb audio interface analog stereo",
                "alsa_output.usb-Radio_USB_Audio-00.analog-stereo" },
            { "an equal id wins over an earlier description containing it", true, "USB", "usb" },
            { "part of a description: the first that contains it", false, "Audio",
                "alsa_output.pci-0000_00_1f.3.analog-stereo" },
            { "part of a description, other case", true, "interface",
                "alsa_input.usb-Radio_USB_Audio-00.mono-fallback" },
            { "accented capitals fold", false, "écran", "ÉCRAN" },
            { "accented part of a description", true, "STÉRÉO",
                "alsa_input.pci-0000_00_1f.3.analog-stereo" },
            { "only the asked direction", true, "HDMI", nullptr },
            { "a part of an id is not enough", true, "mono-fallback", nullptr },
            { "nothing like it", false, "Bluetooth", nullptr },
            { "empty text names nothing", true, "", nullptr },
        };
        for (const Row& row : rows) {
            SCOPED_TRACE(row.what);
            const SoundDevice* found = FindDevice(kDevices, row.input, row.text);
            if (row.id == nullptr) {
                EXPECT_EQ(found, nullptr) << found->id;
            } else {
                ASSERT_NE(found, nullptr);
                EXPECT_EQ(found->id, row.id);
                EXPECT_EQ(found->input, row.input);
            }
        }
    }

    TEST(DeviceChoiceTest, AnAbsentDeviceGivesTheDefaultAndItsLogLine)
    {
        const DeviceChoice choice("Radio X", "USB");
        const auto input = choice.Resolve(kDevices, true);
        EXPECT_EQ(input.id, "");
        EXPECT_EQ(input.absentLine, "Entrée « Radio X » absente, entrée par défaut utilisée");
        const auto output = choice.Resolve(kDevices, false);
        EXPECT_EQ(output.id, "alsa_output.usb-Radio_USB_Audio-00.analog-stereo");
        EXPECT_EQ(output.absentLine, "");
        const auto absent = DeviceChoice("", "Casque").Resolve({}, false);
        EXPECT_EQ(absent.absentLine, "Sortie « Casque » absente, sortie par défaut utilisée");
        // Nothing named: the default, without a line.
        EXPECT_EQ(DeviceChoice().Resolve({}, true).absentLine, "");
    }

    // A backend that only lists devices and records the choices.
    class ListingBackend : public ISoundBackend {
    public:
        int Load() override { return 0; }
        void Unload() override { }
        bool OpenCaptureDevice() override { return false; }
        DeviceResult CreateCaptureBuffer(
            const CaptureFormat&, std::uint32_t, std::shared_ptr<CaptureBuffer>&) override
        {
            return DeviceResult::Generic;
        }
        bool StartCaptureStream() override { return false; }
        void ReleaseCaptureDevice() override { }
        WaitResult WaitForNotification(NotificationEvent&) override { return WaitResult::Input; }
        void WakeWaiter() override { }
        bool PlaySamples(const std::vector<std::int16_t>&, int) override { return false; }
        bool ListDevices(std::vector<SoundDevice>& devices, std::string& error) override
        {
            ++lists;
            devices = reachable ? kDevices : std::vector<SoundDevice> {};
            error = reachable ? "" : "Connection refused";
            return reachable;
        }
        void SetInputDevice(const std::string& id) override { input = id; }
        void SetOutputDevice(const std::string& id) override { output = id; }

        bool reachable = true;
        int lists = 0;
        std::string input = "unset";
        std::string output = "unset";
    };

    TEST(DeviceChoiceTest, ApplyPointsTheBackendAtTheDeviceOfTheMoment)
    {
        ListingBackend backend;
        const DeviceChoice choice("interface", "nowhere");
        EXPECT_EQ(choice.ApplyInput(backend), "");
        EXPECT_EQ(backend.input, "alsa_input.usb-Radio_USB_Audio-00.mono-fallback");
        EXPECT_EQ(
            choice.ApplyOutput(backend), "Sortie « nowhere » absente, sortie par défaut utilisée");
        EXPECT_EQ(backend.output, "");
        EXPECT_EQ(backend.lists, 2) << "looked up afresh each time";

        // The server cannot be reached: the default, and no absent line (the open says why).
        backend.reachable = false;
        EXPECT_EQ(choice.ApplyInput(backend), "");
        EXPECT_EQ(backend.input, "");

        // Nothing configured: the default, without asking the server.
        const int lists = backend.lists;
        EXPECT_EQ(DeviceChoice().ApplyInput(backend), "");
        EXPECT_EQ(backend.lists, lists);
    }

    TEST(DeviceChoiceTest, DeviceListPrintsInputsThenOutputsWithTheDefaultsMarked)
    {
        const std::vector<SoundDevice> devices {
            { false, "link", "Quelsor-link", true },
            { true, "link_in", "Quelsor-link-input", true },
            { true, "mic", "Micro", false },
        };
        EXPECT_EQ(FormatDeviceList(devices),
            "in * link_in  Quelsor-link-input\n"
            "in   mic  Micro\n"
            "out * link  Quelsor-link\n");
        EXPECT_EQ(FormatDeviceList({}), "");
    }

} // namespace
} // namespace quelsor::test
