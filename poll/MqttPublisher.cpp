#include "MqttPublisher.h"

#include <mosquitto.h>

#include <algorithm>
#include <mutex>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace quelsor {

namespace {

    constexpr int kQos = 1;
    constexpr int kKeepAliveSeconds = 30;
    constexpr int kLoopTimeoutMs = 100; // how soon a queued message goes out
    constexpr int kMaxReconnectSeconds = 10;
    constexpr std::size_t kMaxWaiting = 10000;
    constexpr const char* kOnline = "online";
    constexpr const char* kOffline = "offline";

    void InitLibraryOnce()
    {
        static std::once_flag once;
        std::call_once(once, [] { mosquitto_lib_init(); });
    }

    std::string DefaultClientId()
    {
        char host[64] = "host";
#ifndef _WIN32
        ::gethostname(host, sizeof host - 1);
        return "quelsor-" + std::string(host) + "-" + std::to_string(::getpid());
#else
        return "quelsor-" + std::string(host);
#endif
    }

    // A prefix keeps its levels; each of them is sanitised.
    std::string SanitizePrefix(std::string_view prefix)
    {
        std::string out;
        std::size_t start = 0;
        while (true) {
            const std::size_t slash = prefix.find('/', start);
            out += SanitizeTopicLevel(prefix.substr(start, slash - start));
            if (slash == std::string_view::npos)
                return out;
            out += '/';
            start = slash + 1;
        }
    }

} // namespace

std::string SanitizeTopicLevel(std::string_view level)
{
    std::string out = ValidUtf8(level);
    for (char& c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || c == '+' || c == '#' || byte < 0x20 || byte == 0x7F)
            c = '_';
    }
    return out.empty() ? "_" : out;
}

MqttPublisher::MqttPublisher(Options options)
    : options_(std::move(options))
{
    if (options_.clientId.empty())
        options_.clientId = DefaultClientId();
    options_.prefix = SanitizePrefix(options_.prefix);
    statusTopic_ = options_.prefix + "/status";
}

MqttPublisher::~MqttPublisher()
{
    if (client_ == nullptr)
        return;
    if (connected_) {
        Enqueue(Message { statusTopic_, kOffline, true });
        Drain(std::chrono::seconds(2));
    }
    stop_ = true;
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
    mosquitto_disconnect(client_);
    mosquitto_destroy(client_);
}

bool MqttPublisher::Start(std::string& error)
{
    InitLibraryOnce();
    client_ = mosquitto_new(options_.clientId.c_str(), true, this);
    if (client_ == nullptr) {
        error = "cannot create the MQTT client";
        return false;
    }
    mosquitto_connect_callback_set(client_, &MqttPublisher::OnConnect);
    mosquitto_disconnect_callback_set(client_, &MqttPublisher::OnDisconnect);
    mosquitto_publish_callback_set(client_, &MqttPublisher::OnPublish);
    const int willSet = mosquitto_will_set(client_, statusTopic_.c_str(),
        static_cast<int>(std::char_traits<char>::length(kOffline)), kOffline, kQos, true);
    if (willSet != MOSQ_ERR_SUCCESS) {
        error = std::string("cannot set the MQTT will: ") + mosquitto_strerror(willSet);
        return false;
    }
    thread_ = std::thread([this] { Run(); });
    return true;
}

std::string MqttPublisher::Topic(const std::string& request, const std::string& leaf) const
{
    return options_.prefix + "/" + SanitizeTopicLevel(request) + "/" + leaf;
}

void MqttPublisher::Publish(const ResultRecord& record)
{
    if (record.zone)
        Enqueue(
            Message { Topic(record.request, SanitizeTopicLevel(record.name)), record.text, true });
    if (record.quality) {
        // Every record of an answer carries its quality: sent once per answer.
        const std::string level = OneDecimal(record.quality->level);
        const std::string snr = OneDecimal(record.quality->SnrDb());
        if (lastQuality_ != record.request + '\n' + level + '\n' + snr) {
            lastQuality_ = record.request + '\n' + level + '\n' + snr;
            Enqueue(Message { Topic(record.request, "level"), level, true });
            Enqueue(Message { Topic(record.request, "snr"), snr, true });
        }
    }
    std::string json = FormatJsonLine(record);
    json.pop_back(); // the line end of JSON Lines
    Enqueue(Message { Topic(record.request, "json"), std::move(json), false });
}

void MqttPublisher::Enqueue(Message message, bool front)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (front)
            queue_.push_front(std::move(message));
        else
            queue_.push_back(std::move(message));
        while (queue_.size() > kMaxWaiting) {
            queue_.pop_front();
            ++dropped_;
        }
    }
    changed_.notify_all();
}

std::size_t MqttPublisher::Waiting() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return queue_.size() + inFlight_.size();
}

bool MqttPublisher::Drain(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return queue_.empty() && inFlight_.empty(); });
}

void MqttPublisher::Run()
{
    bool socketOpen = false;
    int backoffSeconds = 1;
    while (!stop_) {
        if (!socketOpen) {
            socketOpen = mosquitto_connect(
                             client_, options_.host.c_str(), options_.port, kKeepAliveSeconds)
                == MOSQ_ERR_SUCCESS;
            if (!socketOpen) {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait_for(
                    lock, std::chrono::seconds(backoffSeconds), [this] { return stop_.load(); });
                backoffSeconds = std::min(backoffSeconds * 2, kMaxReconnectSeconds);
                continue;
            }
        }
        if (connected_) {
            backoffSeconds = 1;
            SendQueued();
        }
        if (mosquitto_loop(client_, kLoopTimeoutMs, 1) != MOSQ_ERR_SUCCESS) {
            socketOpen = false;
            connected_ = false;
            RequeueInFlight();
        }
    }
}

void MqttPublisher::SendQueued()
{
    const std::lock_guard<std::mutex> lock(mutex_);
    while (!queue_.empty()) {
        Message& message = queue_.front();
        int id = 0;
        const int result = mosquitto_publish(client_, &id, message.topic.c_str(),
            static_cast<int>(message.payload.size()), message.payload.data(), kQos, message.retain);
        if (result != MOSQ_ERR_SUCCESS)
            return; // tried again after the next round of the loop
        inFlight_[id] = std::move(message);
        queue_.pop_front();
    }
}

void MqttPublisher::RequeueInFlight()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = inFlight_.rbegin(); it != inFlight_.rend(); ++it)
            queue_.push_front(std::move(it->second));
        inFlight_.clear();
    }
    changed_.notify_all();
}

void MqttPublisher::OnConnect(mosquitto*, void* self, int result)
{
    auto* publisher = static_cast<MqttPublisher*>(self);
    if (result != 0)
        return;
    publisher->connected_ = true;
    publisher->Enqueue(Message { publisher->statusTopic_, kOnline, true }, true);
}

void MqttPublisher::OnDisconnect(mosquitto*, void* self, int)
{
    auto* publisher = static_cast<MqttPublisher*>(self);
    publisher->connected_ = false;
    publisher->RequeueInFlight();
}

void MqttPublisher::OnPublish(mosquitto*, void* self, int messageId)
{
    auto* publisher = static_cast<MqttPublisher*>(self);
    {
        const std::lock_guard<std::mutex> lock(publisher->mutex_);
        publisher->inFlight_.erase(messageId);
    }
    publisher->changed_.notify_all();
}

} // namespace quelsor
