#include "model/channelplan.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "model/iporder.h"

namespace {

uint32_t PairKey(const TQuadripole& q) {
    return static_cast<uint32_t>(static_cast<uint16_t>(q.A)) |
           (static_cast<uint32_t>(static_cast<uint16_t>(q.B)) << 16);
}

bool SamePair(const TQuadripole& x, const TQuadripole& y) { return x.A == y.A && x.B == y.B; }

// Electrode numbers that can be polarised (as in iporder.cpp): the remote electrode and numbers outside
// the table of a damaged record never conflict.
bool Counts(int e) { return e > 0 && e < MaxElectrodes; }

constexpr int NeverUsed = std::numeric_limits<int>::min() / 2;

// The readings of each current dipole, in their order, dipoles in the order of their first reading.
std::vector<std::vector<int>> GroupsByPair(const TQuadripole* q, int count) {
    std::unordered_map<uint32_t, std::size_t> byPair;
    std::vector<std::vector<int>> groups;
    for (int i = 0; i < count; ++i) {
        auto [it, added] = byPair.try_emplace(PairKey(q[i]), groups.size());
        if (added) groups.emplace_back();
        groups[it->second].push_back(i);
    }
    return groups;
}

std::vector<int> Grouped(const std::vector<std::vector<int>>& groups, std::size_t count) {
    std::vector<int> order;
    order.reserve(count);
    for (const auto& g : groups) order.insert(order.end(), g.begin(), g.end());
    return order;
}

std::vector<TQuadripole> Permuted(const TQuadripole* q, const std::vector<int>& order) {
    std::vector<TQuadripole> out;
    out.reserve(order.size());
    for (int i : order) out.push_back(q[i]);
    return out;
}

// Orders injections against the IP rule counted in injections. Each current dipole keeps
// ceil(readings / C) injections: every one but its last takes C readings, so a dipole's injections
// never run into each other and the list-order count stays the fewest; which of its waiting readings
// an injection takes is chosen when it is placed, those clear of recent current first (then in their
// order). At each slot the first dipole (by first reading) whose next injection has no conflict is
// taken; when every one has some, the one with the fewest.
std::vector<int> ScheduleInjections(const TQuadripole* q, const std::vector<std::vector<int>>& groups,
                                    int channels, int window) {
    std::vector<std::vector<int>> waitingReadings = groups;
    std::vector<std::size_t> waiting(groups.size());  // dipoles with readings left, by first reading
    for (std::size_t g = 0; g < groups.size(); ++g) waiting[g] = g;
    std::vector<int> lastCurrent(MaxElectrodes, NeverUsed);
    auto clear = [&](int r, int slot) {
        for (int e : {q[r].M, q[r].N})
            if (Counts(e) && lastCurrent[static_cast<std::size_t>(e)] >= slot - window) return false;
        return true;
    };

    std::vector<int> order;
    for (int slot = 0; !waiting.empty(); ++slot) {
        std::size_t pick = 0;
        int fewest = std::numeric_limits<int>::max();
        for (std::size_t w = 0; w < waiting.size(); ++w) {
            const auto& readings = waitingReadings[waiting[w]];
            const int take = std::min(static_cast<int>(readings.size()), channels);
            int ready = 0;
            for (int r : readings)
                if (clear(r, slot) && ++ready == take) break;
            if (take - ready < fewest) {
                fewest = take - ready;
                pick = w;
                if (fewest == 0) break;
            }
        }
        const std::size_t g = waiting[pick];
        auto& readings = waitingReadings[g];
        const std::size_t take = std::min(readings.size(), static_cast<std::size_t>(channels));
        std::stable_partition(readings.begin(), readings.end(), [&](int r) { return clear(r, slot); });
        // What is placed goes in its first order; what waits keeps its first order too.
        std::sort(readings.begin(), readings.begin() + static_cast<std::ptrdiff_t>(take));
        std::sort(readings.begin() + static_cast<std::ptrdiff_t>(take), readings.end());
        order.insert(order.end(), readings.begin(), readings.begin() + static_cast<std::ptrdiff_t>(take));
        const int a = q[readings.front()].A, b = q[readings.front()].B;
        for (int e : {a, b})
            if (Counts(e)) lastCurrent[static_cast<std::size_t>(e)] = slot;
        readings.erase(readings.begin(), readings.begin() + static_cast<std::ptrdiff_t>(take));
        if (readings.empty()) waiting.erase(waiting.begin() + static_cast<std::ptrdiff_t>(pick));
    }
    return order;
}

}  // namespace

std::string DurationText(double seconds) {
    const long long s = std::isfinite(seconds) && seconds > 0 ? std::llround(std::min(seconds, 1e12)) : 0;
    auto two = [](long long v) { return (v < 10 ? "0" : "") + std::to_string(v); };
    if (s >= 3600)
        return std::to_string(s / 3600) + " h " + two(s % 3600 / 60) + " min " + two(s % 60) + " s";
    if (s >= 60) return std::to_string(s / 60) + " min " + two(s % 60) + " s";
    return std::to_string(s) + " s";
}

void CheckChannels(int channels) {
    if (channels < MinChannels || channels > MaxChannels)
        throw std::invalid_argument("the number of channels must be " + std::to_string(MinChannels) + " to " +
                                    std::to_string(MaxChannels) + ", not " + std::to_string(channels));
}

std::vector<std::vector<int>> ListInjections(const TQuadripole* q, int count, int channels) {
    CheckChannels(channels);
    std::vector<std::vector<int>> injections;
    for (int i = 0; i < count; ++i) {
        if (injections.empty() || static_cast<int>(injections.back().size()) == channels ||
            !SamePair(q[injections.back().front()], q[i]))
            injections.emplace_back();
        injections.back().push_back(i);
    }
    return injections;
}

int CountInjections(const TQuadripole* q, int count, int channels) {
    CheckChannels(channels);
    int injections = 0, inThis = 0;
    for (int i = 0; i < count; ++i) {
        if (i == 0 || inThis == channels || !SamePair(q[i - 1], q[i])) {
            ++injections;
            inThis = 0;
        }
        ++inThis;
    }
    return injections;
}

int FewestInjections(const TQuadripole* q, int count, int channels) {
    CheckChannels(channels);
    std::unordered_map<uint32_t, int> perPair;
    for (int i = 0; i < count; ++i) ++perPair[PairKey(q[i])];
    int fewest = 0;
    for (const auto& [pair, readings] : perPair) fewest += (readings + channels - 1) / channels;
    return fewest;
}

int CountCurrentDipoles(const TQuadripole* q, int count) {
    std::unordered_map<uint32_t, int> perPair;
    for (int i = 0; i < count; ++i) ++perPair[PairKey(q[i])];
    return static_cast<int>(perPair.size());
}

int LeastStacks(const TSequence& seq) { return std::max(seq.StackMin, 1); }
int MostStacks(const TSequence& seq) { return std::max(seq.StackMax, LeastStacks(seq)); }

TChannelPlan PlanChannels(const TSequence& seq, int channels) {
    CheckChannels(channels);
    const int count = std::clamp(seq.NbQuadripole, 0, MaxQuadripoles);
    const TQuadripole* q = seq.Quadripoles;
    TChannelPlan p;
    p.Readings = count;
    p.CurrentDipoles = CountCurrentDipoles(q, count);
    p.Channels = channels;
    for (const auto& injection : ListInjections(q, count, channels))
        ++p.PerInjection[static_cast<int>(injection.size())];
    p.Injections = CountInjections(q, count, channels);
    p.FewestInjections = FewestInjections(q, count, channels);
    const double perStack = HalfPeriodsPerStack * std::max(seq.Time, 0) / 1000.0;
    p.SecondsMin = p.Injections * LeastStacks(seq) * perStack;
    p.SecondsMax = p.Injections * MostStacks(seq) * perStack;
    return p;
}

int CountInjectionIpConflicts(const TQuadripole* q, int count, int channels, int window) {
    if (window <= 0 || count <= 0) return 0;
    std::vector<int> lastCurrent(MaxElectrodes, NeverUsed);
    int conflicts = 0, slot = 0;
    for (const auto& injection : ListInjections(q, count, channels)) {
        for (int r : injection) {
            bool spoiled = false;
            for (int e : {q[r].M, q[r].N})
                if (Counts(e) && lastCurrent[static_cast<std::size_t>(e)] >= slot - window) spoiled = true;
            if (spoiled) ++conflicts;
        }
        for (int r : injection)
            for (int e : {q[r].A, q[r].B})
                if (Counts(e)) lastCurrent[static_cast<std::size_t>(e)] = slot;
        ++slot;
    }
    return conflicts;
}

std::vector<int> ChannelOrder(const TQuadripole* q, int count, int channels, int window) {
    CheckChannels(channels);
    count = std::max(count, 0);
    // With one channel every reading is an injection: the order is free, and the IP order does it all.
    if (channels == 1 && window > 0) return IpOrder(q, count, window);
    const auto groups = GroupsByPair(q, count);
    std::vector<int> grouped = Grouped(groups, static_cast<std::size_t>(count));
    if (window <= 0 || count <= 1) return grouped;
    std::vector<int> scheduled = ScheduleInjections(q, groups, channels, window);
    const int plain = CountInjectionIpConflicts(Permuted(q, grouped).data(), count, channels, window);
    const int better = CountInjectionIpConflicts(Permuted(q, scheduled).data(), count, channels, window);
    return better <= plain ? scheduled : grouped;
}

TChannelOrderResult OrderForChannels(TSequence& seq, int channels, int window) {
    CheckChannels(channels);
    if (window < 0) throw std::invalid_argument("the window must not be negative");
    const int count = std::clamp(seq.NbQuadripole, 0, MaxQuadripoles);
    TChannelOrderResult r;
    r.InjectionsBefore = CountInjections(seq.Quadripoles, count, channels);
    r.ConflictsBefore = CountInjectionIpConflicts(seq.Quadripoles, count, channels, window);
    const std::vector<int> order = ChannelOrder(seq.Quadripoles, count, channels, window);
    const std::vector<TQuadripole> placed = Permuted(seq.Quadripoles, order);
    std::copy(placed.begin(), placed.end(), seq.Quadripoles);
    r.InjectionsAfter = CountInjections(seq.Quadripoles, count, channels);
    r.ConflictsAfter = CountInjectionIpConflicts(seq.Quadripoles, count, channels, window);
    return r;
}
