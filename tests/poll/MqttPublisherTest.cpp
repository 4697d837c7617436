#include "poll/MqttPublisher.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <set>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace quelsor {
namespace {

    using namespace std::chrono_literals;
    namespace fs = std::filesystem;

    const char* const kBrokerProgram = "/usr/sbin/mosquitto";

    // A TCP port nobody listens on right now.
    int FreePort()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        ::close(fd);
        return ntohs(address.sin_port);
    }

    bool Accepts(int port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return ok;
    }

    // Debian's mosquitto broker on a loopback port, started and stopped by the test (no
    // persistence: a restart forgets retained messages).
    class Broker {
    public:
        explicit Broker(const fs::path& folder)
            : port_(FreePort())
            , config_(folder / "broker.conf")
        {
            std::ofstream(config_) << "listener " << port_ << " 127.0.0.1\nallow_anonymous true\n";
        }
        ~Broker() { Stop(); }

        bool Start()
        {
            const std::string config = config_.string();
            char* argv[] = { const_cast<char*>(kBrokerProgram), const_cast<char*>("-c"),
                const_cast<char*>(config.c_str()), nullptr };
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
            const int spawned
                = ::posix_spawn(&pid_, kBrokerProgram, &actions, nullptr, argv, environ);
            posix_spawn_file_actions_destroy(&actions);
            if (spawned != 0)
                return false;
            for (int i = 0; i < 100 && !Accepts(port_); ++i)
                std::this_thread::sleep_for(50ms);
            return Accepts(port_);
        }
        void Stop()
        {
            if (pid_ <= 0)
                return;
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        int Port() const { return port_; }

        // "topic payload" lines read with mosquitto_sub: the retained messages under topic
        // filter, until count have come or 5 s have passed.
        std::vector<std::string> Read(const std::string& filter, int count) const
        {
            const std::string command = "mosquitto_sub -h 127.0.0.1 -p " + std::to_string(port_)
                + " -v -W 5 -C " + std::to_string(count) + " -t '" + filter + "' 2>/dev/null";
            std::vector<std::string> lines;
            if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
                char line[4096];
                while (std::fgets(line, sizeof line, pipe) != nullptr) {
                    std::string text(line);
                    if (!text.empty() && text.back() == '\n')
                        text.pop_back();
                    lines.push_back(text);
                }
                ::pclose(pipe);
            }
            return lines;
        }

    private:
        int port_;
        fs::path config_;
        pid_t pid_ = -1;
    };

    class MqttPublisherTest : public ::testing::Test {
    protected:
        void SetUp() override
        {
            if (!fs::exists(kBrokerProgram)) {
                if (const char* ci = std::getenv("CI"); ci != nullptr && std::string(ci) == "true")
                    FAIL() << "no MQTT broker (Debian package mosquitto)";
                GTEST_SKIP() << "no MQTT broker (Debian package mosquitto)";
            }
            folder_ = fs::path(::testing::TempDir())
                / (std::string("mqtt-")
                    + ::testing::UnitTest::GetInstance()->current_test_info()->name());
            fs::create_directories(folder_);
        }
        void TearDown() override { fs::remove_all(folder_); }

        static ResultRecord Zone(const char* request, const char* name, const char* text)
        {
            ResultRecord record = RecordWithoutZone(std::string(request) + " Etat", "ok");
            record.zone = 1;
            record.name = name;
            record.text = text;
            return record;
        }

        fs::path folder_;
    };

    TEST_F(MqttPublisherTest, TopicLevelsAreSanitised)
    {
        const struct {
            const char* level;
            const char* topic;
        } rows[] = {
            { "Tension", "Tension" },
            { "*5#", "*5_" },
            { "a/b+c#d", "a_b_c_d" },
            { "tab\there\x7F", "tab_here_" },
            { "", "_" },
            { "Temp\xE9rature", "Temp\xEF\xBF\xBDrature" },
            { "Température", "Température" },
        };
        for (const auto& row : rows)
            EXPECT_EQ(SanitizeTopicLevel(row.level), row.topic) << row.level;
    }

    TEST_F(MqttPublisherTest, ZonesRetainedRecordsAsJsonAndStatus)
    {
        Broker broker(folder_);
        ASSERT_TRUE(broker.Start());
        {
            MqttPublisher publisher({ "127.0.0.1", broker.Port(), "site/quelsor", "test-client" });
            std::string error;
            ASSERT_TRUE(publisher.Start(error)) << error;
            publisher.Publish(Zone("1234", "Tension", "12.000"));
            publisher.Publish(Zone("*5#", "Moteur/1", "Marche"));
            publisher.Publish(RecordWithoutZone("2580 Mesures", "timeout"));
            ASSERT_TRUE(publisher.Drain(10s));
            EXPECT_TRUE(publisher.Connected());
            const std::vector<std::string> retained = broker.Read("site/quelsor/#", 3);
            EXPECT_EQ(std::set<std::string>(retained.begin(), retained.end()),
                (std::set<std::string> { "site/quelsor/status online",
                    "site/quelsor/1234/Tension 12.000", "site/quelsor/*5_/Moteur_1 Marche" }));
        }
        // A clean stop says so.
        EXPECT_EQ(broker.Read("site/quelsor/status", 1),
            std::vector<std::string> { "site/quelsor/status offline" });
    }

    TEST_F(MqttPublisherTest, RecordsWaitForABrokerThatIsDownOrRestarted)
    {
        Broker broker(folder_);
        MqttPublisher publisher({ "127.0.0.1", broker.Port(), "quelsor", "test-client" });
        std::string error;
        ASSERT_TRUE(publisher.Start(error)) << error;
        publisher.Publish(Zone("1234", "Tension", "12.000"));
        std::this_thread::sleep_for(300ms);
        EXPECT_FALSE(publisher.Connected());
        EXPECT_EQ(publisher.Waiting(), 2u);

        ASSERT_TRUE(broker.Start());
        ASSERT_TRUE(publisher.Drain(15s));
        EXPECT_EQ(broker.Read("quelsor/1234/#", 1),
            std::vector<std::string> { "quelsor/1234/Tension 12.000" });

        // The broker goes away between two rounds; the next record waits for it.
        broker.Stop();
        publisher.Publish(Zone("1234", "Tension", "12.500"));
        std::this_thread::sleep_for(500ms);
        EXPECT_GE(publisher.Waiting(), 1u);
        ASSERT_TRUE(broker.Start());
        ASSERT_TRUE(publisher.Drain(20s));
        const std::vector<std::string> after = broker.Read("quelsor/#", 2);
        EXPECT_EQ(std::set<std::string>(after.begin(), after.end()),
            (std::set<std::string> { "quelsor/status online", "quelsor/1234/Tension 12.500" }));
    }

} // namespace
} // namespace quelsor
