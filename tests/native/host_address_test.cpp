#include "gateway/gwcore/host_address.h"

#include <gtest/gtest.h>

namespace {

struct HostCase {
    const char* text;
    int callerPort;
    bool ok;
    const char* host;
    int port;
};

class HostAddressCases : public testing::TestWithParam<HostCase> {};

TEST_P(HostAddressCases, Splits)
{
    const HostCase& c = GetParam();
    HostAddress out;
    ASSERT_EQ(c.ok, ParseHostAddress(c.text, c.callerPort, out)) << c.text;
    if (c.ok) {
        EXPECT_EQ(c.host, out.host) << c.text;
        EXPECT_EQ(c.port, out.port) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, HostAddressCases,
    testing::Values(HostCase{"mail.example.com", 25, true, "mail.example.com", 25},
                    HostCase{"127.0.0.1", 110, true, "127.0.0.1", 110}, HostCase{"::1", 143, true, "::1", 143},
                    HostCase{"fe80::1:2", 80, true, "fe80::1:2", 80}, HostCase{"[::1]", 993, true, "::1", 993},
                    HostCase{"[::1]:8080", 0, true, "::1", 8080}, HostCase{"[::1]:8080", 25, true, "::1", 25},
                    HostCase{"host:587", 0, true, "host", 587}, HostCase{" 10.0.0.1 ", 5, true, "10.0.0.1", 5},
                    HostCase{"phone-modem", 0, true, "phone-modem", 0}, HostCase{"", 25, false, "", 0},
                    HostCase{"[::1", 25, false, "", 0}, HostCase{"[]:25", 0, false, "", 0},
                    HostCase{"[::1]x", 25, false, "", 0}, HostCase{"host:", 0, false, "", 0},
                    HostCase{"host:99999", 0, false, "", 0}, HostCase{"host:0", 0, false, "", 0},
                    HostCase{":25", 0, false, "", 0}, HostCase{"a b", 25, false, "", 0},
                    HostCase{"host", 70000, false, "", 0}));

} // namespace
