// A server address as the administrator types it for the mail servers and the MM7 server:
// a host name or address, optionally followed by ":" and a decimal port. Portable: no
// windows.h.
#pragma once

#include <string>

struct ServerAddress {
    std::string host; // passed on as it stands; a bracketed IPv6 literal keeps its brackets
    unsigned port = 0;
};

// A host that begins with "[" is a bracketed IPv6 literal and its port, if any, follows the
// closing bracket and a colon. Otherwise a single colon separates the port; a text with more
// than one colon is a bare IPv6 literal without a port. A missing port gives defaultPort.
// False (address unchanged) for an empty host, an unclosed bracket, anything but ":port"
// after the bracket, or a port that is not a number from 1 to 65535.
bool ParseServerAddress(const std::string& text, unsigned defaultPort, ServerAddress& address);
