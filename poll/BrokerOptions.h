#pragma once

#include <string>
#include <string_view>

namespace quelsor {

// How to log in to an MQTT broker; no user: anonymous.
struct BrokerLogin {
    std::string user;
    std::string password; // only with a user
};

// TLS towards the broker. The broker's certificate is checked against cafile and capath, or
// the system's CA certificates when both are empty, and its name against the host name.
struct BrokerTls {
    bool enabled = false;
    std::string cafile;
    std::string capath;
    std::string certFile; // a client certificate, with its unencrypted key
    std::string keyFile;
};

// What the command line gives for the broker, as given.
struct BrokerArguments {
    std::string address; // HOST[:PORT], mqtt://HOST[:PORT] or mqtts://HOST[:PORT]
    std::string user;
    std::string passwordFile; // its first line is the password
    bool tls = false;
    std::string cafile;
    std::string capath;
    std::string certFile;
    std::string keyFile;
};

struct BrokerOptions {
    std::string host;
    int port = 1883; // 8883 with TLS, unless given
    BrokerLogin login;
    BrokerTls tls;
};

// Checks the arguments and makes the broker's options: the address (an IPv6 address within
// brackets: [::1]:1883; mqtts:// means TLS), the password read from the password file or else
// taken from environmentPassword (QUELSOR_MQTT_PASSWORD; null when unset), which both need a
// user. False with the reason, for the operator, when they do not fit together, a port is not
// 1 to 65535, or the password file cannot be read or is empty.
bool MakeBrokerOptions(const BrokerArguments& arguments, const char* environmentPassword,
    BrokerOptions& options, std::string& error);

// The reason MakeBrokerOptions refuses an address by itself (no host, a bad port, a missing
// ']'); empty when it takes it.
std::string BrokerAddressProblem(std::string_view address);

} // namespace quelsor
