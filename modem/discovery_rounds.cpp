#include "modem/discovery_rounds.h"

void RunDiscoveryRounds(const DiscoveryRounds& rounds)
{
    while (rounds.keepGoing()) {
        const unsigned long began = rounds.clock();
        rounds.search();
        for (;;) {
            unsigned long passed = rounds.clock() - began;
            if (passed >= kDiscoveryRoundMs || !rounds.keepGoing())
                break;
            unsigned long rest = kDiscoveryRoundMs - passed;
            rounds.sleep(rest < kDiscoveryPauseStepMs ? rest : kDiscoveryPauseStepMs);
        }
    }
}
