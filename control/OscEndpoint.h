#pragma once
#include <netinet/in.h>

#include <string>

// A UDP/TCP endpoint written "host:port" (STRATA_OSC, STRATA_OSC_OUT).
struct OscEndpoint {
    std::string host;
    int port = 0;
    bool off = false;  // the text was "off"

    // Parses "host:port" (an empty host means 127.0.0.1) or "off". False with
    // error set for anything else (a port outside 0..65535, no colon).
    static bool parse(const std::string& text, OscEndpoint& out, std::string& error);
    // Resolves host to an IPv4 address. False with error set when it cannot.
    bool resolve(sockaddr_in& address, std::string& error) const;
};
