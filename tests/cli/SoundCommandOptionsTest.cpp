// The options of quelsor-cli simulate and request: every usage error is refused with its message
// and exit status 2 before any sound device is touched, so these run without a sound server.

#include "tests/support/CliRunner.h"
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace quelsor {
namespace {

    using testing::CliRun;
    using testing::RunCli;

    const std::string kSampleIni = QUELSOR_SAMPLE_INI;

    struct OptionRow {
        std::vector<std::string> arguments; // after the command
        std::string err; // the whole of stderr
    };

    std::string Usage(const std::string& command, const std::string& message)
    {
        return "quelsor-cli " + command + ": " + message + "\nRun 'quelsor-cli " + command
            + " --help' for usage.\n";
    }

    void CheckRefused(const std::string& command, const std::vector<OptionRow>& rows)
    {
        for (const OptionRow& row : rows) {
            std::vector<std::string> arguments { command };
            arguments.insert(arguments.end(), row.arguments.begin(), row.arguments.end());
            std::string shown = command;
            for (const std::string& argument : row.arguments)
                shown += " '" + argument + "'";
            const CliRun run = RunCli(arguments);
            EXPECT_EQ(run.exitCode, 2) << shown;
            EXPECT_EQ(run.out, "") << shown;
#ifdef QUELSOR_CLI_HAS_SOUND
            EXPECT_EQ(run.err, row.err) << shown;
#else
            // Without sound the command line is still read: only its usage errors are said.
            const bool usage = row.err.find("for usage.\n") != std::string::npos;
            EXPECT_EQ(run.err,
                usage ? row.err : "quelsor-cli " + command + ": built without sound support\n")
                << shown;
#endif
        }
    }

    TEST(SimulateOptions, UsageErrorsAreRefusedBeforeTheDevices)
    {
        const std::string answer = "1234=78D1CA1C#";
        CheckRefused("simulate",
            {
                { {}, Usage("simulate", "missing --answer COMMAND=ANSWER") },
                { { "--no-echo", "--once" }, Usage("simulate", "missing --answer COMMAND=ANSWER") },
                { { "--answer" }, Usage("simulate", "--answer needs a value") },
                { { "--answer", "1234" },
                    Usage("simulate", "invalid answer '1234' (expected COMMAND=ANSWER)") },
                { { "--answer", "=78D1" },
                    Usage("simulate", "invalid answer '=78D1' (expected COMMAND=ANSWER)") },
                { { "--answer", answer, "--level" }, Usage("simulate", "--level needs a value") },
                { { "--answer", answer, "--level", "1" },
                    Usage("simulate", "invalid level '1' (expected dB from -120 to 0)") },
                { { "--answer", answer, "--level", "-121" },
                    Usage("simulate", "invalid level '-121' (expected dB from -120 to 0)") },
                { { "--answer", answer, "--level", "-6dB" },
                    Usage("simulate", "invalid level '-6dB' (expected dB from -120 to 0)") },
                { { "--answer", answer, "--level", "nan" },
                    Usage("simulate", "invalid level 'nan' (expected dB from -120 to 0)") },
                { { "--answer", answer, "--threshold", "-1" },
                    Usage("simulate", "invalid threshold '-1' (expected 0 or more)") },
                { { "--answer", answer, "--threshold", "99999999999" },
                    Usage("simulate", "invalid threshold '99999999999' (expected 0 or more)") },
                { { "--answer", answer, "--bogus" },
                    Usage("simulate", "unknown option '--bogus'") },
                { { "--answer", answer, "extra" },
                    Usage("simulate", "unexpected argument 'extra'") },
            });
    }

    TEST(RequestOptions, UsageAndConfigurationErrorsAreRefusedBeforeTheDevices)
    {
        const std::vector<std::string> base { "--config", kSampleIni, "--request", "0" };
        auto with = [&](std::vector<std::string> more) {
            std::vector<std::string> arguments = base;
            arguments.insert(arguments.end(), more.begin(), more.end());
            return arguments;
        };
        const auto badTimeout = [](const std::string& value) {
            return Usage(
                "request", "invalid time-out '" + value + "' (expected whole seconds, 1 or more)");
        };
        CheckRefused("request",
            {
                { {}, Usage("request", "missing --config FILE.ini") },
                { { "--config", kSampleIni }, Usage("request", "missing --request N") },
                { { "--request", "0" }, Usage("request", "missing --config FILE.ini") },
                { { "--config", kSampleIni, "--request", "first" },
                    Usage("request", "invalid request index 'first'") },
                { with({ "--timeout" }), Usage("request", "--timeout needs a value") },
                { with({ "--timeout", "0" }), badTimeout("0") },
                { with({ "--timeout", "-5" }), badTimeout("-5") },
                { with({ "--timeout", "1.5" }), badTimeout("1.5") },
                { with({ "--timeout", "10", "--timeout", "x" }), badTimeout("x") },
                { with({ "--threshold", "20" }), Usage("request", "unknown option '--threshold'") },
                { with({ "--bogus" }), Usage("request", "unknown option '--bogus'") },
                { with({ "1234" }), Usage("request", "unexpected argument '1234'") },
                // Only request items can be sent: -1 (nothing pending) is refused as well.
                { { "--config", kSampleIni, "--request", "3" },
                    "quelsor-cli request: request 3 is not one of the 3 request items of '"
                        + kSampleIni + "'\n" },
                { { "--config", kSampleIni, "--request", "-1" },
                    "quelsor-cli request: request -1 is not one of the 3 request items of '"
                        + kSampleIni + "'\n" },
                { { "--config", kSampleIni + ".none", "--request", "0" },
                    "quelsor-cli request: cannot read the configuration file '" + kSampleIni
                        + ".none'\n" },
            });
    }

    // The broker's options are checked before the configuration, the broker and the devices.
    TEST(PollOptions, MqttUsageErrorsAreRefusedBeforeTheBroker)
    {
        const auto with = [&](std::vector<std::string> more) {
            more.insert(more.begin(), { "--config", kSampleIni });
            return more;
        };
        const std::string prefix = "quelsor-cli poll: ";
        CheckRefused("poll",
            {
                { with({ "--mqtt-user", "bob" }),
                    Usage("poll", "the MQTT options need --mqtt ADDRESS") },
                { with({ "--ha-discovery" }),
                    Usage("poll", "the MQTT options need --mqtt ADDRESS") },
                { with({ "--mqtt", "h", "--every", "1m" }),
                    Usage("poll", "--every and --count need --request N[,N...]") },
                { with({ "--every", "1m" }), Usage("poll", "missing --request N[,N...]") },
                { with({ "--mqtt", "h", "--mqtt-password-file", "f" }),
                    prefix + "--mqtt-password-file needs --mqtt-user\n" },
                { with({ "--mqtt", "h", "--mqtt-user", "bob", "--mqtt-password-file", "/none" }),
                    prefix + "cannot read the MQTT password file '/none'\n" },
                { with({ "--mqtt", "mqtt://h", "--mqtt-tls" }),
                    prefix + "--mqtt-tls does not go with an mqtt:// address (use mqtts://)\n" },
                { with({ "--mqtt", "h", "--mqtt-cafile", "ca.crt" }),
                    prefix
                        + "the --mqtt-cafile, --mqtt-capath, --mqtt-cert and --mqtt-key options "
                          "need TLS (--mqtt-tls or an mqtts:// address)\n" },
                { with({ "--mqtt", "mqtts://h", "--mqtt-cert", "c.crt" }),
                    prefix + "--mqtt-cert and --mqtt-key go together\n" },
                { with({ "--mqtt", "[::1" }), Usage("poll", "missing ']' in '[::1'") },
                { with({ "--mqtt", "h:65536" }), Usage("poll", "invalid port in 'h:65536'") },
                { with({ "--mqtt", "mqtts://:8883" }), Usage("poll", "missing host in ':8883'") },
            });
    }

#ifdef QUELSOR_CLI_SOUND_HELPER
    // quelsor-cli finds its sound helper beside itself (the build tree) or where the install
    // puts it relative to bin/; without it, a sound command says so instead of failing
    // obscurely, and the other commands work as before.
    TEST(SoundHelper, FoundBesideOrInLibexecElseNamedInTheError)
    {
        namespace fs = std::filesystem;
        const testing::ScratchFolder folder("sound-helper");
        const fs::path bin = folder.Path() / "bin";
        const fs::path libexec = folder.Path() / "libexec" / "quelsor";
        fs::create_directories(bin);
        fs::copy_file(QUELSOR_CLI, bin / "quelsor-cli");
        const std::string cli = (bin / "quelsor-cli").string();

        const CliRun missing = testing::RunProgram(cli, { "devices", "--help" });
        EXPECT_EQ(missing.exitCode, 2);
        EXPECT_EQ(missing.out, "");
        EXPECT_EQ(missing.err,
            "quelsor-cli devices: the sound commands are not installed (quelsor-cli-sound is "
            "neither beside quelsor-cli nor in ../libexec/quelsor from it)\n");
        EXPECT_EQ(testing::RunProgram(cli, { "formula", "1+2" }).exitCode, 0);

        fs::create_directories(libexec);
        fs::copy_file(QUELSOR_CLI_SOUND_HELPER, libexec / "quelsor-cli-sound");
        const CliRun installed = testing::RunProgram(cli, { "request", "--help" });
        EXPECT_EQ(installed.exitCode, 0) << installed.err;
        EXPECT_EQ(installed.out.rfind("Usage: quelsor-cli request", 0), 0u) << installed.out;
        const CliRun refused = testing::RunProgram(cli, { "poll", "--every" });
        EXPECT_EQ(refused.exitCode, 2);
        EXPECT_EQ(refused.err, Usage("poll", "--every needs a value"));

        // Run by hand, the helper names its commands.
        const CliRun helperHelp = testing::RunProgram(QUELSOR_CLI_SOUND_HELPER, { "--help" });
        EXPECT_EQ(helperHelp.exitCode, 0);
        EXPECT_EQ(
            helperHelp.out.rfind("Usage: quelsor-cli-sound devices|simulate|request|poll", 0), 0u);
        EXPECT_EQ(testing::RunProgram(QUELSOR_CLI_SOUND_HELPER, { "fft" }).exitCode, 2);
    }
#endif

} // namespace
} // namespace quelsor
