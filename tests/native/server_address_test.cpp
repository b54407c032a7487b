// Server addresses as typed for the mail and MM7 servers.
#include "base/server_address.h"

#include <gtest/gtest.h>

namespace {

struct AddressCase {
    const char* text;
    bool ok;
    const char* host;
    unsigned port;
};

const AddressCase kCases[] = {
    {"mail.example.com", true, "mail.example.com", 25},
    {"mail.example.com:2525", true, "mail.example.com", 2525},
    {"127.0.0.1:143", true, "127.0.0.1", 143},
    {"[::1]", true, "[::1]", 25},
    {"[::1]:993", true, "[::1]", 993},
    {"[fe80::1%4]:110", true, "[fe80::1%4]", 110},
    {"::1", true, "::1", 25},
    {"2001:db8::5", true, "2001:db8::5", 25},
    {"", false, "", 0},
    {":25", false, "", 0},
    {"host:", false, "", 0},
    {"host:0", false, "", 0},
    {"host:65536", false, "", 0},
    {"host:25x", false, "", 0},
    {"[::1", false, "", 0},
    {"[]:25", false, "", 0},
    {"[::1]25", false, "", 0},
    {"[::1]:", false, "", 0},
};

TEST(ServerAddress, HostAndPortAsTyped)
{
    for (const AddressCase& c : kCases) {
        ServerAddress address{"unchanged", 7};
        EXPECT_EQ(ParseServerAddress(c.text, 25, address), c.ok) << c.text;
        EXPECT_EQ(address.host, c.ok ? c.host : "unchanged") << c.text;
        EXPECT_EQ(address.port, c.ok ? c.port : 7u) << c.text;
    }
}

} // namespace
