#include "BrokerOptions.h"

#include <fstream>

namespace quelsor {

namespace {

    constexpr int kPlainPort = 1883;
    constexpr int kTlsPort = 8883;

    bool ParsePort(std::string_view text, int& port)
    {
        if (text.empty() || text.size() > 5)
            return false;
        int value = 0;
        for (const char c : text) {
            if (c < '0' || c > '9')
                return false;
            value = value * 10 + (c - '0');
        }
        if (value < 1 || value > 65535)
            return false;
        port = value;
        return true;
    }

    // HOST[:PORT] or [IPV6][:PORT]; port stays 0 when none is given.
    bool ParseHostPort(std::string_view text, std::string& host, int& port, std::string& error)
    {
        std::string_view rest;
        if (!text.empty() && text.front() == '[') {
            const std::size_t close = text.find(']');
            if (close == std::string_view::npos) {
                error = "missing ']' in '" + std::string(text) + "'";
                return false;
            }
            host = std::string(text.substr(1, close - 1));
            rest = text.substr(close + 1);
            if (!rest.empty() && rest.front() != ':') {
                error = "invalid address '" + std::string(text) + "'";
                return false;
            }
        } else {
            const std::size_t colon = text.find(':');
            host = std::string(text.substr(0, colon));
            rest = colon == std::string_view::npos ? std::string_view() : text.substr(colon);
        }
        if (host.empty()) {
            error = "missing host in '" + std::string(text) + "'";
            return false;
        }
        if (!rest.empty() && !ParsePort(rest.substr(1), port)) {
            error = "invalid port in '" + std::string(text) + "'";
            return false;
        }
        return true;
    }

    // [mqtt:// | mqtts://]HOST[:PORT][/]; schemeTls and schemePlain say which scheme was given.
    bool ParseAddress(std::string_view address, std::string& host, int& port, bool& schemeTls,
        bool& schemePlain, std::string& error)
    {
        schemeTls = address.rfind("mqtts://", 0) == 0;
        schemePlain = address.rfind("mqtt://", 0) == 0;
        address.remove_prefix(schemeTls ? 8 : schemePlain ? 7 : 0);
        if (!address.empty() && address.back() == '/')
            address.remove_suffix(1);
        return ParseHostPort(address, host, port, error);
    }

    bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error)
    {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            error = "cannot read the MQTT password file '" + path + "'";
            return false;
        }
        std::getline(file, password);
        if (!password.empty() && password.back() == '\r')
            password.pop_back();
        if (password.empty()) {
            error = "the MQTT password file '" + path + "' has no password on its first line";
            return false;
        }
        return true;
    }

} // namespace

bool MakeBrokerOptions(const BrokerArguments& arguments, const char* environmentPassword,
    BrokerOptions& options, std::string& error)
{
    bool schemeTls = false;
    bool schemePlain = false;
    int port = 0;
    if (!ParseAddress(arguments.address, options.host, port, schemeTls, schemePlain, error))
        return false;
    if (schemePlain && arguments.tls) {
        error = "--mqtt-tls does not go with an mqtt:// address (use mqtts://)";
        return false;
    }
    options.tls.enabled = schemeTls || arguments.tls;
    options.port = port != 0 ? port : (options.tls.enabled ? kTlsPort : kPlainPort);

    const bool tlsFiles = !arguments.cafile.empty() || !arguments.capath.empty()
        || !arguments.certFile.empty() || !arguments.keyFile.empty();
    if (tlsFiles && !options.tls.enabled) {
        error = "the --mqtt-cafile, --mqtt-capath, --mqtt-cert and --mqtt-key options need TLS "
                "(--mqtt-tls or an mqtts:// address)";
        return false;
    }
    if (arguments.certFile.empty() != arguments.keyFile.empty()) {
        error = "--mqtt-cert and --mqtt-key go together";
        return false;
    }
    options.tls.cafile = arguments.cafile;
    options.tls.capath = arguments.capath;
    options.tls.certFile = arguments.certFile;
    options.tls.keyFile = arguments.keyFile;

    if (arguments.user.empty()) {
        if (!arguments.passwordFile.empty()) {
            error = "--mqtt-password-file needs --mqtt-user";
            return false;
        }
        return true; // an anonymous login: a password in the environment is not used
    }
    options.login.user = arguments.user;
    if (!arguments.passwordFile.empty())
        return ReadPasswordFile(arguments.passwordFile, options.login.password, error);
    if (environmentPassword != nullptr)
        options.login.password = environmentPassword;
    return true;
}

std::string BrokerAddressProblem(std::string_view address)
{
    std::string host;
    int port = 0;
    bool schemeTls = false;
    bool schemePlain = false;
    std::string error;
    ParseAddress(address, host, port, schemeTls, schemePlain, error);
    return error;
}

} // namespace quelsor
