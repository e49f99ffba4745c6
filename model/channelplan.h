// Planning for meters that read several potential dipoles at once. Such a meter injects current
// between A and B once and reads up to C potential dipoles during that injection; the field time goes
// with the injections, not with the readings.
//
// An injection, in the order a list is measured: readings that follow each other with the same A and
// the same B (in that order: B A is the same pair with its polarity turned, which the meter switches
// between injections), up to C of them. The remote electrode (0) is an electrode like any other here.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "model/sequence.h"

constexpr int MinChannels = 1;
constexpr int MaxChannels = 64;

// The cycle the time estimate assumes: each stack is four half-periods of `Time` (current one way,
// off, the other way, off), and a reading takes at least one stack.
constexpr int HalfPeriodsPerStack = 4;

struct TChannelPlan {
    int Readings = 0;
    int CurrentDipoles = 0;  // distinct (A, B) pairs
    int Channels = 1;
    int Injections = 0;               // in list order
    int FewestInjections = 0;         // any order: the sum over current dipoles of ceil(readings / C)
    std::map<int, int> PerInjection;  // readings in an injection -> how many injections, list order
    double SecondsMin = 0;            // list-order injections x stacks x 4 x Time, StackMin stacks
    double SecondsMax = 0;            // the same with StackMax stacks
};

// Seconds as a field crew reads them: "1 h 02 min 05 s", "28 min 32 s", "45 s".
std::string DurationText(double seconds);

// Throws std::invalid_argument for a channel count outside 1 to 64.
void CheckChannels(int channels);

// The injections of the list as measured: a vector of the readings in each, by index.
std::vector<std::vector<int>> ListInjections(const TQuadripole* q, int count, int channels);
int CountInjections(const TQuadripole* q, int count, int channels);
int FewestInjections(const TQuadripole* q, int count, int channels);
int CountCurrentDipoles(const TQuadripole* q, int count);

// The stacks a reading takes at least and at most, from StackMin and StackMax: at least one, and the
// most never below the least.
int LeastStacks(const TSequence& seq);
int MostStacks(const TSequence& seq);

// The plan of the first NbQuadripole quadripoles of `seq`. Throws std::invalid_argument as
// CheckChannels.
TChannelPlan PlanChannels(const TSequence& seq, int channels);

// The IP rule of iporder.h counted in injections: a reading conflicts when its M or N is the A or B of
// one of the `window` injections before its own (list-order injections with `channels` channels). With
// one channel this is CountIpConflicts.
int CountInjectionIpConflicts(const TQuadripole* q, int count, int channels, int window);

// An order (a permutation of 0 .. count-1) in which the list-order injections with `channels`
// channels are the fewest: the readings of each current dipole consecutive, in their given order,
// current dipoles in the order of their first reading. With `window` above 0 the injections are also
// ordered against the IP rule counted in injections (never more conflicts than the plain grouping);
// with one channel that is IpOrder itself.
std::vector<int> ChannelOrder(const TQuadripole* q, int count, int channels, int window);

struct TChannelOrderResult {
    int InjectionsBefore = 0;
    int InjectionsAfter = 0;
    int ConflictsBefore = 0;  // counted in injections; 0 when no window was asked
    int ConflictsAfter = 0;
};

// Reorders the first NbQuadripole quadripoles of `seq` by ChannelOrder: the same quadripoles, nothing
// added or lost. A window of 0 orders for the channels alone. Throws std::invalid_argument for a
// channel count outside 1 to 64 or a negative window.
TChannelOrderResult OrderForChannels(TSequence& seq, int channels, int window = 0);
