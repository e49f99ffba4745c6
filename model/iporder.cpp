#include "model/iporder.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <unordered_map>

namespace {

// Electrode numbers that can hold a polarised electrode; others (remote, or outside the table of a
// damaged record) never conflict.
bool Counts(int e) { return e > 0 && e < MaxElectrodes; }

constexpr int NeverUsed = std::numeric_limits<int>::min() / 2;

// A set of readings sharing one current pair, in their first order. Members placed leave the front
// of `Waiting` in the order they were placed.
struct TGroup {
    std::vector<int> Waiting;
    int Prev = -1, Next = -1;  // neighbours in the list of groups still waiting, by first reading
};

class TIpScheduler {
   public:
    TIpScheduler(const TQuadripole* q, int count, int window) : q_(q), count_(count), window_(window) {
        std::fill(std::begin(lastCurrent_), std::end(lastCurrent_), NeverUsed);
        std::unordered_map<uint32_t, int> byPair;
        byPair.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            const uint32_t key = static_cast<uint32_t>(static_cast<uint16_t>(q[i].A)) |
                                 (static_cast<uint32_t>(static_cast<uint16_t>(q[i].B)) << 16);
            auto [it, added] = byPair.try_emplace(key, static_cast<int>(groups_.size()));
            if (added) groups_.emplace_back();
            groups_[static_cast<std::size_t>(it->second)].Waiting.push_back(i);
        }
        const int n = static_cast<int>(groups_.size());
        for (int g = 0; g < n; ++g) {
            groups_[static_cast<std::size_t>(g)].Prev = g - 1;
            groups_[static_cast<std::size_t>(g)].Next = g + 1 < n ? g + 1 : -1;
        }
        head_ = n > 0 ? 0 : -1;
    }

    std::vector<int> Run() {
        order_.reserve(static_cast<std::size_t>(count_));
        while (head_ >= 0) Step();
        return std::move(order_);
    }

   private:
    // The first slot at which reading r no longer reads on a polarised electrode.
    int Ready(int r) const {
        int ready = NeverUsed;
        for (int e : {q_[r].M, q_[r].N})
            if (Counts(e)) ready = std::max(ready, lastCurrent_[e] + window_ + 1);
        return ready;
    }

    // Arranges group g's waiting readings for placing at the next slot: those ready in their order,
    // the others after them by the slot they are ready at. Returns how many can be placed from the
    // front without a conflict; the arrangement is left in `arranged_`.
    int Arrange(const TGroup& g) {
        const int slot = static_cast<int>(order_.size());
        arranged_.clear();
        bool allReady = true;
        for (int r : g.Waiting) {
            const int ready = std::max(Ready(r), slot);
            allReady = allReady && ready == slot;
            arranged_.push_back({ready, r});
        }
        if (!allReady)
            std::stable_sort(arranged_.begin(), arranged_.end(),
                             [](const TSlotted& x, const TSlotted& y) { return x.Ready < y.Ready; });
        int fit = 0;
        while (fit < static_cast<int>(arranged_.size()) &&
               arranged_[static_cast<std::size_t>(fit)].Ready <= slot + fit)
            ++fit;
        return fit;
    }

    void Place(int gi, int howMany) {
        TGroup& g = groups_[static_cast<std::size_t>(gi)];
        std::vector<int> rest;
        for (int k = 0; k < static_cast<int>(arranged_.size()); ++k) {
            const int r = arranged_[static_cast<std::size_t>(k)].Reading;
            if (k < howMany) {
                const int slot = static_cast<int>(order_.size());
                order_.push_back(r);
                for (int e : {q_[r].A, q_[r].B})
                    if (Counts(e)) lastCurrent_[e] = slot;
            } else {
                rest.push_back(r);
            }
        }
        // What stays waiting keeps its first order.
        std::sort(rest.begin(), rest.end());
        g.Waiting = std::move(rest);
        if (g.Waiting.empty()) Unlink(gi);
    }

    void Unlink(int gi) {
        TGroup& g = groups_[static_cast<std::size_t>(gi)];
        if (g.Prev >= 0)
            groups_[static_cast<std::size_t>(g.Prev)].Next = g.Next;
        else
            head_ = g.Next;
        if (g.Next >= 0) groups_[static_cast<std::size_t>(g.Next)].Prev = g.Prev;
    }

    // One placement: the first whole group that fits; else the fitting front of the first group that
    // has one; else (every waiting reading would conflict here) the reading that is ready soonest.
    void Step() {
        int partial = -1, partialFit = 0;
        int soonest = -1, soonestReady = std::numeric_limits<int>::max();
        for (int gi = head_; gi >= 0; gi = groups_[static_cast<std::size_t>(gi)].Next) {
            const TGroup& g = groups_[static_cast<std::size_t>(gi)];
            const int fit = Arrange(g);
            if (fit == static_cast<int>(arranged_.size())) {
                Place(gi, fit);
                return;
            }
            if (fit > 0 && partial < 0) {
                partial = gi;
                partialFit = fit;
            }
            if (fit == 0 && arranged_.front().Ready < soonestReady) {
                soonest = gi;
                soonestReady = arranged_.front().Ready;
            }
        }
        const int gi = partial >= 0 ? partial : soonest;
        Arrange(groups_[static_cast<std::size_t>(gi)]);
        Place(gi, partial >= 0 ? partialFit : 1);
    }

    struct TSlotted {
        int Ready;
        int Reading;
    };

    const TQuadripole* q_;
    int count_;
    int window_;
    int lastCurrent_[MaxElectrodes];  // the last slot at which each electrode carried current
    std::vector<TGroup> groups_;
    int head_ = -1;
    std::vector<int> order_;
    std::vector<TSlotted> arranged_;
};

}  // namespace

int CountIpConflicts(const TQuadripole* q, int count, int window) {
    if (window <= 0 || count <= 0) return 0;
    std::vector<int> lastCurrent(MaxElectrodes, NeverUsed);
    int conflicts = 0;
    for (int i = 0; i < count; ++i) {
        bool spoiled = false;
        for (int e : {q[i].M, q[i].N})
            if (Counts(e) && lastCurrent[static_cast<std::size_t>(e)] >= i - window) spoiled = true;
        if (spoiled) ++conflicts;
        for (int e : {q[i].A, q[i].B})
            if (Counts(e)) lastCurrent[static_cast<std::size_t>(e)] = i;
    }
    return conflicts;
}

int CountIpConflicts(const TSequence& seq, int window) {
    return CountIpConflicts(seq.Quadripoles, std::clamp(seq.NbQuadripole, 0, MaxQuadripoles), window);
}

std::vector<int> IpOrder(const TQuadripole* q, int count, int window) {
    std::vector<int> identity(static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) identity[static_cast<std::size_t>(i)] = i;
    if (window <= 0 || count <= 1) return identity;
    window = std::min(window, count);  // a longer window sees no more readings
    std::vector<int> order = TIpScheduler(q, count, window).Run();
    // Reading its own current electrodes cannot be planned around; whatever the plan, never give back
    // an order worse than the one given.
    std::vector<TQuadripole> placed(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k)
        placed[static_cast<std::size_t>(k)] = q[order[static_cast<std::size_t>(k)]];
    if (CountIpConflicts(placed.data(), count, window) > CountIpConflicts(q, count, window)) return identity;
    return order;
}

TIpOrderResult OrderForIp(TSequence& seq, int window) {
    if (window < 0) throw std::invalid_argument("the window must not be negative");
    const int count = std::clamp(seq.NbQuadripole, 0, MaxQuadripoles);
    TIpOrderResult result;
    result.ConflictsBefore = CountIpConflicts(seq.Quadripoles, count, window);
    const std::vector<int> order = IpOrder(seq.Quadripoles, count, window);
    std::vector<TQuadripole> old(seq.Quadripoles, seq.Quadripoles + count);
    for (int k = 0; k < count; ++k)
        seq.Quadripoles[k] = old[static_cast<std::size_t>(order[static_cast<std::size_t>(k)])];
    result.ConflictsAfter = CountIpConflicts(seq.Quadripoles, count, window);
    return result;
}
