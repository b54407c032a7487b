// The phone-modem search of the Select Modem page, round after round while the page is
// open. A round that ends early (the search could not start: no network, no socket) is
// followed by a pause, so that a search that keeps failing does not spin. Portable: no
// windows.h.
#pragma once

#include <functional>

struct DiscoveryRounds {
    std::function<void()> search;             // one search, up to 120 s
    std::function<bool()> keepGoing;          // false once the page has closed
    std::function<unsigned long()> clock;     // milliseconds from any fixed point
    std::function<void(unsigned long)> sleep; // milliseconds
};

// A round shorter than this is filled up with a pause.
constexpr unsigned long kDiscoveryRoundMs = 10000;
// A pause is slept in steps of this, so that the thread ends soon after the page closes.
constexpr unsigned long kDiscoveryPauseStepMs = 250;

// Searches round after round while keepGoing says so.
void RunDiscoveryRounds(const DiscoveryRounds& rounds);
