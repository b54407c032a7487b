// The Select Modem page's search rounds: a search that cannot start is tried again only
// after a pause, a full search at once, and a closed page ends the rounds within a step.
#include "modem/discovery_rounds.h"

#include <gtest/gtest.h>

namespace {

struct RoundsCase {
    const char* what;
    unsigned long searchMs; // how long one search lasts
    unsigned long closesAt; // the page closes at this time of the clock
    int searches;
    unsigned long endsAt; // the clock when the rounds end
};

const RoundsCase kRoundsCases[] = {
    {"a search that cannot start: one try per 10 s", 0, 60000, 6, 60000},
    {"a short search: filled up to 10 s", 4000, 60000, 6, 60000},
    {"a full search: the next at once", 120000, 240001, 3, 360000},
    {"closed during a pause: ends within a step", 0, 3100, 1, 3250},
};

TEST(DiscoveryRounds, ASearchThatCannotStartWaitsBeforeTheNextTry)
{
    for (const RoundsCase& c : kRoundsCases) {
        unsigned long now = 0;
        int searches = 0;
        RunDiscoveryRounds({[&] {
                                ++searches;
                                now += c.searchMs;
                            },
                            [&] { return now < c.closesAt; }, [&] { return now; },
                            [&](unsigned long milliseconds) {
                                EXPECT_LE(milliseconds, kDiscoveryPauseStepMs);
                                now += milliseconds;
                            }});
        EXPECT_EQ(searches, c.searches) << c.what;
        EXPECT_EQ(now, c.endsAt) << c.what;
    }
}

} // namespace
