#include "poll/MqttPublisher.h"

#include "config/ConfigurationDump.h"
#include "config/ProfileFile.h"
#include "poll/HaDiscovery.h"
#include "tests/support/MessagesRecorder.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <regex>
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

    // Debian's mosquitto broker on loopback ports, started and stopped by the test (no
    // persistence: a restart forgets retained messages): one listener per entry of listeners,
    // with those settings, each on a port of its own.
    class Broker {
    public:
        explicit Broker(const fs::path& folder,
            const std::vector<std::string>& listeners = { "allow_anonymous true\n" })
            : config_(folder / "broker.conf")
        {
            std::ofstream config(config_);
            config << "per_listener_settings true\n";
            for (const std::string& settings : listeners) {
                ports_.push_back(FreePort());
                config << "listener " << ports_.back() << " 127.0.0.1\n" << settings;
            }
            port_ = ports_.front();
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
            for (int i = 0; i < 100 && !Accepts(ports_.back()); ++i)
                std::this_thread::sleep_for(50ms);
            return Accepts(ports_.back());
        }
        void Stop()
        {
            if (pid_ <= 0)
                return;
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        int Port(std::size_t listener = 0) const { return ports_.at(listener); }

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

        // mosquitto_pub of one message (options such as "-r" before the topic).
        void Send(
            const std::string& options, const std::string& topic, const std::string& payload) const
        {
            const std::string command = "mosquitto_pub -h 127.0.0.1 -p " + std::to_string(port_)
                + " " + options + " -t '" + topic + "' -m '" + payload + "'";
            ASSERT_EQ(std::system(command.c_str()), 0) << command;
        }

    private:
        int port_ = 0;
        std::vector<int> ports_;
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
        // Two answers of the same quality.
        const auto answer = [](const char* text, const char* time) {
            ResultRecord record = Zone("1234", "Tension", text);
            record.isoTime = time;
            record.quality = AnswerQuality { 812.0, 3.0, 100, 40, 30 };
            return record;
        };
        const std::string snr = "quelsor/1234/snr " + OneDecimal(answer("", "").quality->SnrDb());
        publisher.Publish(answer("12.000", "2026-12-09T10:00:00.000Z"));
        std::this_thread::sleep_for(300ms);
        EXPECT_FALSE(publisher.Connected());
        EXPECT_EQ(publisher.Waiting(), 4u);

        ASSERT_TRUE(broker.Start());
        ASSERT_TRUE(publisher.Drain(15s));
        const std::vector<std::string> first = broker.Read("quelsor/1234/#", 3);
        EXPECT_EQ(std::set<std::string>(first.begin(), first.end()),
            (std::set<std::string> {
                "quelsor/1234/Tension 12.000", "quelsor/1234/level 812.0", snr }));

        // The broker goes away between two rounds and forgets what it kept; the next records wait
        // for it, the quality among them though it has not changed.
        broker.Stop();
        publisher.Publish(answer("12.500", "2026-12-09T10:10:00.000Z"));
        std::this_thread::sleep_for(500ms);
        EXPECT_GE(publisher.Waiting(), 1u);
        ASSERT_TRUE(broker.Start());
        ASSERT_TRUE(publisher.Drain(20s));
        const std::vector<std::string> after = broker.Read("quelsor/#", 4);
        EXPECT_EQ(std::set<std::string>(after.begin(), after.end()),
            (std::set<std::string> { "quelsor/status online", "quelsor/1234/Tension 12.500",
                "quelsor/1234/level 812.0", snr }));
    }

    // Connections as a real broker takes them: a password file (mosquitto_passwd), a TLS
    // listener with a certificate made for 127.0.0.1 and localhost by a CA of the test's own, and
    // one whose certificate names another host. openssl makes them all.
    TEST_F(MqttPublisherTest, LoginAndTlsAreCheckedAtTheFirstConnection)
    {
        const std::string dir = folder_.string();
        const std::string make = "cd '" + dir
            + "' && for n in ca other; do openssl req -x509 -newkey rsa:2048 -nodes -keyout $n.key"
              " -out $n.crt -days 2 -subj /CN=$n >/dev/null 2>&1 || exit 1; done"
              " && for n in server:DNS:localhost,IP:127.0.0.1 elsewhere:DNS:elsewhere.example; do"
              " f=${n%%:*}; openssl req -newkey rsa:2048 -nodes -keyout $f.key -out $f.csr"
              " -subj /CN=$f >/dev/null 2>&1 && echo subjectAltName=${n#*:} > $f.ext"
              " && openssl x509 -req -in $f.csr -CA ca.crt -CAkey ca.key -CAcreateserial"
              " -out $f.crt -days 2 -extfile $f.ext >/dev/null 2>&1 || exit 1; done"
              " && touch passwords && mosquitto_passwd -b passwords alice 's3cret pass'"
              " && chmod 644 *.key passwords"; // the broker reads them as its own user
        ASSERT_EQ(std::system(make.c_str()), 0);
        const std::string login = "allow_anonymous false\npassword_file " + dir + "/passwords\n";
        const auto tls = [&](const char* name) {
            return "cafile " + dir + "/ca.crt\ncertfile " + dir + "/" + name + ".crt\nkeyfile "
                + dir + "/" + name + ".key\n" + login;
        };
        Broker broker(folder_, { login, tls("server"), tls("elsewhere") });
        ASSERT_TRUE(broker.Start());

        using State = MqttPublisher::FirstContact::State;
        const int down = FreePort();
        const BrokerLogin alice { "alice", "s3cret pass" };
        const BrokerTls ours { true, dir + "/ca.crt", "", "", "" };
        const struct {
            const char* what;
            std::string host;
            int port;
            BrokerLogin login;
            BrokerTls tls;
            State state;
            std::string reason; // the line said, or a part of it
        } rows[] = {
            { "login accepted", "127.0.0.1", broker.Port(0), alice, {}, State::Connected, "" },
            { "wrong password", "127.0.0.1", broker.Port(0), { "alice", "secret" }, {},
                State::Refused,
                "the MQTT broker at 127.0.0.1:" + std::to_string(broker.Port(0))
                    + " refused the login (Connection Refused: not authorised.)" },
            { "anonymous", "127.0.0.1", broker.Port(0), {}, {}, State::Refused,
                "refused the login" },
            { "TLS accepted", "localhost", broker.Port(1), alice, ours, State::Connected, "" },
            { "TLS, a CA that did not sign the certificate", "localhost", broker.Port(1), alice,
                { true, dir + "/other.crt", "", "", "" }, State::Refused,
                "the certificate of the MQTT broker at localhost:" + std::to_string(broker.Port(1))
                    + " is not signed by a trusted CA (--mqtt-cafile, --mqtt-capath, else the "
                      "system's CA certificates)" },
            { "TLS, the system's CAs", "localhost", broker.Port(1), alice, { true, "", "", "", "" },
                State::Refused, "is not signed by a trusted CA" },
            { "TLS, a certificate for another host", "127.0.0.1", broker.Port(2), alice, ours,
                State::Refused,
                "the certificate of the MQTT broker at 127.0.0.1:" + std::to_string(broker.Port(2))
                    + " is not made out to that host name" },
            { "TLS to a plain listener", "127.0.0.1", broker.Port(0), alice, ours, State::Refused,
                "TLS with the MQTT broker" },
            { "nobody listening: tried again", "127.0.0.1", down, {}, {}, State::Unreachable,
                "the MQTT broker at 127.0.0.1:" + std::to_string(down)
                    + " cannot be reached (Connection refused); the records wait for it" },
        };
        for (const auto& row : rows) {
            MqttPublisher publisher(
                { row.host, row.port, "quelsor", "test-client", row.login, row.tls });
            std::string error;
            ASSERT_TRUE(publisher.Start(error)) << row.what << ": " << error;
            const MqttPublisher::FirstContact contact = publisher.WaitForFirstContact(10s);
            EXPECT_EQ(contact.state, row.state) << row.what << ": " << contact.reason;
            EXPECT_NE(contact.reason.find(row.reason), std::string::npos)
                << row.what << ": " << contact.reason;
        }
        // A TLS file that cannot be read is refused before any connection.
        MqttPublisher missing({ "localhost", broker.Port(1), "quelsor", "test-client", {},
            { true, dir + "/absent.crt", "", "", "" } });
        std::string error;
        EXPECT_FALSE(missing.Start(error));
        EXPECT_NE(error.find("cannot use the TLS files"), std::string::npos) << error;
    }

    // The discovery configs of a configuration's zones, read back retained, against Home
    // Assistant's discovery layout; they come again when Home Assistant says it is online.
    TEST_F(MqttPublisherTest, HomeAssistantDiscoveryIsRetainedAndRepublishedAtItsBirth)
    {
        ProfileFile profile;
        profile.Parse("[SEQ1_1234_Etat general]\nLGSEQ=9\nZ1=Tension,BIN,0,8,Z1/10,V,voltage\n"
                      "Z2=Moteur,BIN,8,1\nZ2_0=0,Arret\nZ2_1=1,Marche\n"
                      "[SEQ3_*5#_Compteur]\nLGSEQ=7\nZ10=Tension,BIN,0,16\n"
                      "Z11=Etat,BIN,16,2,,,enum\nZ11_0=0,Arr\xC3\xAAt\nZ11_1=1,Veille\n");
        ConfigurationRecord record;
        SeqList sequences;
        testing::MessagesRecorder messages;
        LoadConfigurationFromProfile(profile, record, sequences, messages);
        ASSERT_EQ(record.items.size(), 2u);

        Broker broker(folder_);
        ASSERT_TRUE(broker.Start());
        MqttPublisher publisher({ "127.0.0.1", broker.Port(), "site/quelsor", "test-client" });
        HaDiscoveryInput input;
        input.topicPrefix = publisher.Prefix();
        input.deviceName = "poste-nord";
        input.version = "1.2";
        input.items = record.items;
        input.sequences = &sequences;
        input.sensorRequests = { 0, 1 };
        publisher.SetDiscovery(HaDiscoveryConfigs(input), "homeassistant/status");
        std::string error;
        ASSERT_TRUE(publisher.Start(error)) << error;
        ASSERT_TRUE(publisher.Drain(10s));

        std::map<std::string, std::string> configs;
        for (const std::string& line : broker.Read("homeassistant/#", 6)) {
            const std::size_t blank = line.find(' ');
            configs[line.substr(0, blank)] = line.substr(blank + 1);
        }
        ASSERT_EQ(configs.size(), 6u);
        const std::string sensor = "homeassistant/sensor/site_quelsor/";
        const std::string button = "homeassistant/button/site_quelsor/";
        const std::regex layout(
            "homeassistant/(sensor|button)/[a-zA-Z0-9_-]+/[a-zA-Z0-9_-]+/config");
        const std::string common
            = "\"availability_topic\":\"site/quelsor/status\",\"payload_available\":\"online\","
              "\"payload_not_available\":\"offline\",\"device\":{\"identifiers\":[\"quelsor-site_"
              "quelsor\"],\"name\":\"poste-nord\",\"manufacturer\":\"Quelsor\",\"model\":"
              "\"quelsor-cli poll\",\"sw_version\":\"1.2\"}";
        std::set<std::string> uniqueIds;
        for (const auto& [topic, json] : configs) {
            EXPECT_TRUE(std::regex_match(topic, layout)) << topic;
            EXPECT_NE(json.find(common), std::string::npos) << json;
            const std::size_t id = json.find("\"unique_id\":\"");
            ASSERT_NE(id, std::string::npos) << json;
            uniqueIds.insert(json.substr(id, json.find('"', id + 13) - id));
        }
        EXPECT_EQ(uniqueIds.size(), 6u);
        // A zone name used by two requests is told apart; a numeric zone is a measurement with
        // its unit and class; a labelled one is text, or an enum of its labels.
        const std::vector<std::pair<std::string, std::string>> expected {
            { sensor + "1234_z1/config",
                "{\"name\":\"Tension (1234)\",\"unique_id\":\"site_quelsor_1234_z1\"" },
            { sensor + "1234_z1/config",
                "\"state_topic\":\"site/quelsor/1234/Tension\",\"state_class\":\"measurement\","
                "\"unit_of_measurement\":\"V\",\"device_class\":\"voltage\"}" },
            { sensor + "1234_z2/config", "\"state_topic\":\"site/quelsor/1234/Moteur\"}" },
            { sensor + "star5hash_z10/config",
                "\"state_topic\":\"site/quelsor/*5_/Tension\",\"state_class\":\"measurement\"}" },
            { sensor + "star5hash_z11/config",
                "\"device_class\":\"enum\",\"options\":[\"Arr\xC3\xAAt\",\"Veille\"]}" },
            { button + "1234_request/config",
                "\"command_topic\":\"site/quelsor/command\",\"payload_press\":\"0\"}" },
            { button + "star5hash_request/config", "{\"name\":\"*5# Compteur\"" },
        };
        for (const auto& [topic, part] : expected)
            EXPECT_NE(configs[topic].find(part), std::string::npos)
                << topic << ": " << configs[topic];

        // Home Assistant forgot one (an empty retained config removes it) and comes back.
        broker.Send("-r", sensor + "1234_z1/config", "");
        broker.Send("", "homeassistant/status", "online");
        std::this_thread::sleep_for(500ms);
        ASSERT_TRUE(publisher.Drain(10s));
        EXPECT_EQ(broker.Read(sensor + "1234_z1/config", 1),
            std::vector<std::string> {
                sensor + "1234_z1/config " + configs[sensor + "1234_z1/config"] });
    }

    TEST_F(MqttPublisherTest, CommandsReachTheHandlerButNotRetainedOnes)
    {
        Broker broker(folder_);
        ASSERT_TRUE(broker.Start());
        broker.Send("-r", "quelsor/command", "1"); // would be acted on at every connection
        std::mutex mutex;
        std::vector<std::string> heard;
        MqttPublisher publisher({ "127.0.0.1", broker.Port(), "quelsor", "test-client" });
        publisher.SetCommandHandler([&](const std::string& payload) {
            const std::lock_guard<std::mutex> lock(mutex);
            heard.push_back(payload);
        });
        std::string error;
        ASSERT_TRUE(publisher.Start(error)) << error;
        ASSERT_EQ(publisher.WaitForFirstContact(10s).state,
            MqttPublisher::FirstContact::State::Connected);
        std::this_thread::sleep_for(300ms); // subscribed
        broker.Send("", "quelsor/command", "*5#");
        for (int i = 0; i < 100; ++i) {
            {
                const std::lock_guard<std::mutex> lock(mutex);
                if (!heard.empty())
                    break;
            }
            std::this_thread::sleep_for(50ms);
        }
        const std::lock_guard<std::mutex> lock(mutex);
        EXPECT_EQ(heard, std::vector<std::string> { "*5#" });
    }

} // namespace
} // namespace quelsor
