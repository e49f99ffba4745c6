// An order of readings for induced-polarisation work. An electrode that has just carried current
// stays polarised for a while, and a potential read on it soon after is spoiled; the order keeps each
// reading's potential electrodes clear of the current electrodes of the readings just before it.
#pragma once

#include <vector>

#include "model/sequence.h"

// How many readings before a reading are looked at when nothing else is said.
constexpr int DefaultIpWindow = 5;

// The one definition of a conflict, shared by the ordering, its report and the tests: reading i is in
// conflict when its M or its N is the A or the B of one of the `window` readings before it
// (i - window to i - 1). The remote electrode (0) never conflicts: remote current and remote potential
// electrodes are different electrodes far away. Each reading counts once, however many of its
// electrodes are concerned. A window of 0 or less gives no conflict.
int CountIpConflicts(const TQuadripole* quadripoles, int count, int window);
int CountIpConflicts(const TSequence& seq, int window);

// An order of the `count` quadripoles, as their indexes (a permutation of 0 .. count-1): readings
// that share a current pair (same A and B) stay together and in their order where the rule allows,
// and groups come in the order of their first reading where the rule allows. Never has more conflicts
// than the order given. Linear in practice: 16,000 quadripoles take a few milliseconds.
std::vector<int> IpOrder(const TQuadripole* quadripoles, int count, int window);

struct TIpOrderResult {
    int ConflictsBefore = 0;
    int ConflictsAfter = 0;  // 0 when a conflict-free order was found
};

// Reorders the first NbQuadripole quadripoles of `seq` by IpOrder: the same quadripoles, nothing
// added or lost. Throws std::invalid_argument for a negative window.
TIpOrderResult OrderForIp(TSequence& seq, int window = DefaultIpWindow);
