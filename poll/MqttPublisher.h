#pragma once

#include "decoder/ResultRecord.h"
#include "poll/BrokerOptions.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace quelsor {

// One topic level made safe: '/', '+', '#' and control characters become '_', bytes that are
// not UTF-8 become U+FFFD, an empty level becomes "_".
std::string SanitizeTopicLevel(std::string_view level);
// A topic prefix keeps its levels; each of them is sanitised.
std::string SanitizeTopicPrefix(std::string_view prefix);

// What the publisher says about the broker, byte for byte; %s are the broker's address and the
// library's or the broker's reason.
namespace MqttTexts {
    inline constexpr const char* kUnreachable
        = "the MQTT broker at %s cannot be reached (%s); the records wait for it";
    inline constexpr const char* kLoginRefused = "the MQTT broker at %s refused the login (%s)";
    inline constexpr const char* kUntrustedCertificate
        = "the certificate of the MQTT broker at %s is not signed by a trusted CA "
          "(--mqtt-cafile, --mqtt-capath, else the system's CA certificates)";
    inline constexpr const char* kNameMismatch
        = "the certificate of the MQTT broker at %s is not made out to that host name";
    inline constexpr const char* kTlsFailed = "TLS with the MQTT broker at %s failed (%s)";
} // namespace MqttTexts

// Publishes results to an MQTT broker (libmosquitto), from a thread of its own that connects,
// reconnects after a loss (every second at first, then up to every 10 s) and sends what is
// queued. For each record with a zone: its text on PREFIX/REQUEST/NAME, retained; for every
// record: the record as JSON on PREFIX/REQUEST/json; for each answer: its level (detector units)
// and signal-to-noise ratio (dB) on PREFIX/REQUEST/level and PREFIX/REQUEST/snr, retained. "online"
// is published, retained, on PREFIX/status at each connection, and "offline" is the will the broker
// publishes when the connection is lost (and what a clean stop publishes). Everything is sent with
// QoS 1 and stays queued until the broker has acknowledged it, so that a record published while the
// broker is down goes out once it is back (the oldest messages are dropped past 10000 waiting).
//
// With a command handler, PREFIX/command is subscribed to and each message on it (not a
// retained one, which would be acted on again at every connection) is handed to the handler,
// on the client's thread. Retained discovery configs, when set, are published at each
// connection and again when the birth topic says "online".
class MqttPublisher {
public:
    struct Options {
        std::string host = "localhost";
        int port = 1883;
        std::string prefix = "quelsor"; // may hold several levels ("site/quelsor")
        std::string clientId; // empty: derived from the host name and process id
        BrokerLogin login {};
        BrokerTls tls {};
    };

    // How the first connection went. A broker that refused the login or whose certificate
    // could not be trusted is not tried again; one that cannot be reached is, in the background.
    struct FirstContact {
        enum class State { Pending, Connected, Unreachable, Refused };
        State state = State::Pending;
        std::string reason; // for the operator (MqttTexts), when not Connected
    };

    using CommandHandler = std::function<void(const std::string& payload)>;
    using Retained = std::vector<std::pair<std::string, std::string>>; // topic, payload

    explicit MqttPublisher(Options options);
    ~MqttPublisher(); // publishes "offline" when connected, then stops
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Before Start: the handler of PREFIX/command; the retained messages published at each
    // connection and whenever birthTopic says "online".
    void SetCommandHandler(CommandHandler handler) { commandHandler_ = std::move(handler); }
    void SetDiscovery(Retained configs, std::string birthTopic);

    // Starts the client thread; false (with the reason) when the client cannot be created or
    // its TLS files cannot be used. A broker that is down is not an error: the thread keeps
    // trying.
    bool Start(std::string& error);

    // Waits until the first connection has been accepted or refused, or the broker found
    // unreachable, at most `timeout` (then Pending).
    FirstContact WaitForFirstContact(std::chrono::milliseconds timeout);

    // Queues the messages of one record.
    void Publish(const ResultRecord& record);

    // Waits until every queued message has been acknowledged, or the time runs out.
    bool Drain(std::chrono::milliseconds timeout);

    bool Connected() const { return connected_; }
    std::size_t Waiting() const;
    std::size_t Dropped() const { return dropped_; }
    const std::string& Prefix() const { return options_.prefix; } // sanitised
    const std::string& StatusTopic() const { return statusTopic_; }
    std::string CommandTopic() const { return options_.prefix + "/command"; }

private:
    struct Message {
        std::string topic;
        std::string payload;
        bool retain = false;
    };

    void Run();
    void Enqueue(Message message, bool front = false);
    void SendQueued();
    void RequeueInFlight();
    void EnqueueDiscovery(bool front);
    // The failure rc of a connection that was not accepted, said for the operator; true when
    // trying again cannot help (TLS, a refused login).
    bool DescribeFailure(int rc, std::string& reason) const;
    void SetFirstContact(FirstContact::State state, const std::string& reason);
    std::string Address() const;
    std::string Topic(const std::string& request, const std::string& leaf) const;

    static void OnConnect(mosquitto*, void* self, int result);
    static void OnDisconnect(mosquitto*, void* self, int result);
    static void OnPublish(mosquitto*, void* self, int messageId);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);
    static void OnLog(mosquitto*, void* self, int level, const char* text);

    Options options_;
    std::string statusTopic_;
    mosquitto* client_ = nullptr;
    std::thread thread_;
    std::atomic<bool> stop_ { false };
    std::atomic<bool> connected_ { false };
    std::atomic<std::size_t> dropped_ { 0 };
    CommandHandler commandHandler_;
    Retained discovery_;
    std::string birthTopic_;
    // Of the client's thread only: the connection in progress was accepted, the broker's answer
    // when it was refused, the library's last error line.
    bool accepted_ = false;
    int refusal_ = 0;
    std::string lastError_;
    FirstContact firstContact_; // under mutex_
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Message> queue_; // not yet handed to the client
    std::map<int, Message> inFlight_; // handed over, not yet acknowledged
    std::string lastQuality_; // the answer whose quality was last sent (Publish's caller only)
};

} // namespace quelsor
