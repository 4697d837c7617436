#include "MqttPublisher.h"

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
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

    // One operator line: the template with its %s replaced in order.
    std::string Said(const char* format, const std::string& first, const std::string& second = {})
    {
        std::string text = format;
        for (const std::string* value : { &first, &second }) {
            const std::size_t at = text.find("%s");
            if (at == std::string::npos)
                break;
            text.replace(at, 2, *value);
        }
        return text;
    }

    // A key file is never asked for its pass phrase (OpenSSL would ask on the terminal).
    int NoKeyPassword(char*, int, int, void*) { return 0; }

} // namespace

std::string SanitizeTopicPrefix(std::string_view prefix)
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
    options_.prefix = SanitizeTopicPrefix(options_.prefix);
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
    mosquitto_message_callback_set(client_, &MqttPublisher::OnMessage);
    mosquitto_log_callback_set(client_, &MqttPublisher::OnLog);
    if (!options_.login.user.empty()) {
        const int set = mosquitto_username_pw_set(client_, options_.login.user.c_str(),
            options_.login.password.empty() ? nullptr : options_.login.password.c_str());
        if (set != MOSQ_ERR_SUCCESS) {
            error = std::string("cannot set the MQTT login: ") + mosquitto_strerror(set);
            return false;
        }
    }
    if (options_.tls.enabled) {
        const BrokerTls& tls = options_.tls;
        const auto orNull
            = [](const std::string& text) { return text.empty() ? nullptr : text.c_str(); };
        int set = MOSQ_ERR_SUCCESS;
        if (tls.cafile.empty() && tls.capath.empty())
            set = mosquitto_int_option(client_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        // The library wants a CA file or folder; the system's folder stands for "the system's".
        if (set == MOSQ_ERR_SUCCESS)
            set = mosquitto_tls_set(client_, orNull(tls.cafile),
                tls.cafile.empty() && tls.capath.empty() ? "/etc/ssl/certs" : orNull(tls.capath),
                orNull(tls.certFile), orNull(tls.keyFile), &NoKeyPassword);
        if (set != MOSQ_ERR_SUCCESS) {
            error = "cannot use the TLS files given for the MQTT broker (";
            error += set == MOSQ_ERR_INVAL ? "a file or folder cannot be read"
                                           : mosquitto_strerror(set);
            error += ")";
            return false;
        }
    }
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
    // A record of no request (a command that named none) goes under the prefix itself.
    if (request.empty())
        return options_.prefix + "/" + leaf;
    return options_.prefix + "/" + SanitizeTopicLevel(request) + "/" + leaf;
}

void MqttPublisher::Publish(const ResultRecord& record)
{
    if (record.zone)
        Enqueue(
            Message { Topic(record.request, SanitizeTopicLevel(record.name)), record.text, true });
    if (record.quality) {
        // Every record of an answer carries its quality: sent once per answer, known by its
        // request and time. Each answer sends it even when it has not changed, for a broker
        // restarted meanwhile has forgotten the retained one.
        const std::string level = OneDecimal(record.quality->level);
        const std::string snr = OneDecimal(record.quality->SnrDb());
        const std::string answer = record.request + '\n' + record.isoTime.value_or("") + '\n'
            + (record.seconds ? std::to_string(*record.seconds) : std::string());
        if (lastQuality_ != answer) {
            lastQuality_ = answer;
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

void MqttPublisher::SetDiscovery(Retained configs, std::string birthTopic)
{
    discovery_ = std::move(configs);
    birthTopic_ = std::move(birthTopic);
}

MqttPublisher::FirstContact MqttPublisher::WaitForFirstContact(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(
        lock, timeout, [this] { return firstContact_.state != FirstContact::State::Pending; });
    return firstContact_;
}

void MqttPublisher::SetFirstContact(FirstContact::State state, const std::string& reason)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (firstContact_.state != FirstContact::State::Pending)
            return;
        firstContact_.state = state;
        firstContact_.reason = reason;
    }
    changed_.notify_all();
}

std::string MqttPublisher::Address() const
{
    const bool v6 = options_.host.find(':') != std::string::npos;
    return (v6 ? "[" + options_.host + "]" : options_.host) + ":" + std::to_string(options_.port);
}

bool MqttPublisher::DescribeFailure(int rc, std::string& reason) const
{
    if (rc == MOSQ_ERR_TLS) {
        if (lastError_.find("host name verification failed") != std::string::npos)
            reason = Said(MqttTexts::kNameMismatch, Address());
        else if (lastError_.find("certificate verify failed") != std::string::npos)
            reason = Said(MqttTexts::kUntrustedCertificate, Address());
        else
            reason = Said(MqttTexts::kTlsFailed, Address(),
                lastError_.empty() ? std::string(mosquitto_strerror(rc)) : lastError_);
        return true;
    }
    // Refusals that another try would meet again: a bad protocol version or client id, a login.
    if (refusal_ != 0 && refusal_ != 3) {
        reason = Said(MqttTexts::kLoginRefused, Address(), mosquitto_connack_string(refusal_));
        return true;
    }
    reason = Said(MqttTexts::kUnreachable, Address(),
        rc == MOSQ_ERR_ERRNO ? std::string(std::strerror(errno))
                             : std::string(mosquitto_strerror(rc)));
    return false;
}

void MqttPublisher::Run()
{
    bool socketOpen = false;
    int backoffSeconds = 1;
    const auto pause = [&] {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(
            lock, std::chrono::seconds(backoffSeconds), [this] { return stop_.load(); });
        backoffSeconds = std::min(backoffSeconds * 2, kMaxReconnectSeconds);
    };
    const auto failed = [&](int rc) {
        std::string reason;
        const bool final = DescribeFailure(rc, reason);
        SetFirstContact(
            final ? FirstContact::State::Refused : FirstContact::State::Unreachable, reason);
        pause();
    };
    while (!stop_) {
        if (!socketOpen) {
            accepted_ = false;
            refusal_ = 0;
            lastError_.clear();
            const int rc = mosquitto_connect(
                client_, options_.host.c_str(), options_.port, kKeepAliveSeconds);
            socketOpen = rc == MOSQ_ERR_SUCCESS;
            if (!socketOpen) {
                failed(rc);
                continue;
            }
        }
        if (connected_) {
            backoffSeconds = 1;
            SendQueued();
        }
        const int rc = mosquitto_loop(client_, kLoopTimeoutMs, 1);
        if (rc != MOSQ_ERR_SUCCESS) {
            socketOpen = false;
            connected_ = false;
            RequeueInFlight();
            // A connection that ended before the broker accepted it (TLS, login) is not tried
            // again at once: the broker would only refuse it again.
            if (!accepted_)
                failed(rc);
        }
    }
}

void MqttPublisher::EnqueueDiscovery(bool front)
{
    if (front) {
        for (auto it = discovery_.rbegin(); it != discovery_.rend(); ++it)
            Enqueue(Message { it->first, it->second, true }, true);
    } else {
        for (const auto& [topic, payload] : discovery_)
            Enqueue(Message { topic, payload, true });
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

void MqttPublisher::OnConnect(mosquitto* client, void* self, int result)
{
    auto* publisher = static_cast<MqttPublisher*>(self);
    if (result != 0) {
        publisher->refusal_ = result;
        return;
    }
    publisher->accepted_ = true;
    publisher->connected_ = true;
    if (publisher->commandHandler_)
        mosquitto_subscribe(client, nullptr, publisher->CommandTopic().c_str(), kQos);
    if (!publisher->birthTopic_.empty())
        mosquitto_subscribe(client, nullptr, publisher->birthTopic_.c_str(), kQos);
    // "online" first, then the discovery configs, then what waited.
    publisher->EnqueueDiscovery(true);
    publisher->Enqueue(Message { publisher->statusTopic_, kOnline, true }, true);
    publisher->SetFirstContact(FirstContact::State::Connected, {});
}

void MqttPublisher::OnMessage(mosquitto*, void* self, const mosquitto_message* message)
{
    auto* publisher = static_cast<MqttPublisher*>(self);
    if (message->retain || message->topic == nullptr)
        return;
    const std::string payload(static_cast<const char*>(message->payload),
        static_cast<std::size_t>(std::max(message->payloadlen, 0)));
    const std::string topic = message->topic;
    if (publisher->commandHandler_ && topic == publisher->CommandTopic())
        publisher->commandHandler_(payload);
    else if (!publisher->birthTopic_.empty() && topic == publisher->birthTopic_
        && payload == kOnline)
        publisher->EnqueueDiscovery(false);
}

void MqttPublisher::OnLog(mosquitto*, void* self, int level, const char* text)
{
    auto* publisher = static_cast<MqttPublisher*>(self);
    if (level == MOSQ_LOG_ERR && text != nullptr && publisher->lastError_.empty())
        publisher->lastError_ = text;
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
