// Splitting the host texts that callers hand to IPV6ConnectToINetServer.
#pragma once

#include <string>

struct HostAddress {
    std::string host; // name or literal, without brackets
    int port = 0;     // 0 when neither the text nor the caller gave one
};

// Accepts "name", "1.2.3.4", "::1", "[::1]", and, when the caller passes port 0, a port
// carried in the text: "name:25", "1.2.3.4:25", "[::1]:25". A port from the caller wins.
// Returns false for a text that cannot name a host (empty, unbalanced brackets, a port
// that is not a number from 1 to 65535).
bool ParseHostAddress(const std::string& text, int callerPort, HostAddress& out);
