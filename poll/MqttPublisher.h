#pragma once

#include "decoder/ResultRecord.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

struct mosquitto;

namespace quelsor {

// One topic level made safe: '/', '+', '#' and control characters become '_', bytes that are
// not UTF-8 become U+FFFD, an empty level becomes "_".
std::string SanitizeTopicLevel(std::string_view level);

// Publishes results to an MQTT broker (libmosquitto), from a thread of its own that connects,
// reconnects after a loss (every second at first, then up to every 10 s) and sends what is
// queued. For each record with a zone: its text on PREFIX/REQUEST/NAME, retained; for every
// record: the record as JSON on PREFIX/REQUEST/json; for each answer: its level (detector units)
// and signal-to-noise ratio (dB) on PREFIX/REQUEST/level and PREFIX/REQUEST/snr, retained. "online"
// is published, retained, on PREFIX/status at each connection, and "offline" is the will the broker
// publishes when the connection is lost (and what a clean stop publishes). Everything is sent with
// QoS 1 and stays queued until the broker has acknowledged it, so that a record published while the
// broker is down goes out once it is back (the oldest messages are dropped past 10000 waiting).
class MqttPublisher {
public:
    struct Options {
        std::string host = "localhost";
        int port = 1883;
        std::string prefix = "quelsor"; // may hold several levels ("site/quelsor")
        std::string clientId; // empty: derived from the host name and process id
    };

    explicit MqttPublisher(Options options);
    ~MqttPublisher(); // publishes "offline" when connected, then stops
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Starts the client thread; false (with the reason) only when the client cannot be created.
    // A broker that is down is not an error: the thread keeps trying.
    bool Start(std::string& error);

    // Queues the messages of one record.
    void Publish(const ResultRecord& record);

    // Waits until every queued message has been acknowledged, or the time runs out.
    bool Drain(std::chrono::milliseconds timeout);

    bool Connected() const { return connected_; }
    std::size_t Waiting() const;
    std::size_t Dropped() const { return dropped_; }

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
    void StatusOnline();
    std::string Topic(const std::string& request, const std::string& leaf) const;

    static void OnConnect(mosquitto*, void* self, int result);
    static void OnDisconnect(mosquitto*, void* self, int result);
    static void OnPublish(mosquitto*, void* self, int messageId);

    Options options_;
    std::string statusTopic_;
    mosquitto* client_ = nullptr;
    std::thread thread_;
    std::atomic<bool> stop_ { false };
    std::atomic<bool> connected_ { false };
    std::atomic<std::size_t> dropped_ { 0 };
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Message> queue_; // not yet handed to the client
    std::map<int, Message> inFlight_; // handed over, not yet acknowledged
    std::string lastQuality_; // request, level and snr last published (Publish's caller only)
};

} // namespace quelsor
