#include "control/OscEndpoint.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <cstring>

#include "platform/Settings.h"

bool OscEndpoint::parse(const std::string& text, OscEndpoint& out, std::string& error) {
    out = OscEndpoint{};
    if (text == "off") {
        out.off = true;
        return true;
    }
    return parseHostPort(text, out.host, out.port, error);
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
