#include "control/OscEndpoint.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <cstring>

bool OscEndpoint::parse(const std::string& text, OscEndpoint& out, std::string& error) {
    out = OscEndpoint{};
    if (text == "off") {
        out.off = true;
        return true;
    }
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon + 1 >= text.size() || text.size() - colon > 6) {
        error = "\"" + text + "\" is not host:port";
        return false;
    }
    long port = 0;
    for (size_t i = colon + 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            error = "\"" + text + "\" is not host:port";
            return false;
        }
        port = port * 10 + (text[i] - '0');
    }
    if (port > 65535) {
        error = "port " + std::to_string(port) + " is beyond 65535";
        return false;
    }
    out.host = colon == 0 ? "127.0.0.1" : text.substr(0, colon);
    out.port = static_cast<int>(port);
    return true;
}

bool OscEndpoint::resolve(sockaddr_in& address, std::string& error) const {
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) == 1) return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (rc != 0 || !found) {
        error = "cannot resolve " + host + ": " + gai_strerror(rc);
        return false;
    }
    address.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return true;
}
