#include "model/reciprocal.h"

#include <algorithm>
#include <cstdint>
#include <unordered_set>
#include <vector>

namespace {

uint64_t Key(const TQuadripole& q) {
    auto u = [](int16_t v) { return static_cast<uint64_t>(static_cast<uint16_t>(v)); };
    return u(q.A) | (u(q.B) << 16) | (u(q.M) << 32) | (u(q.N) << 48);
}

}  // namespace

TQuadripole Reciprocal(const TQuadripole& q) {
    TQuadripole r = q;
    r.A = q.M;
    r.B = q.N;
    r.M = q.A;
    r.N = q.B;
    r.Reserved = -1;
    return r;
}

TReciprocalOutcome MakeReciprocals(const TSequence& in, TReciprocalMode mode, TSequence& out) {
    TReciprocalOutcome outcome;
    const int count = std::clamp(in.NbQuadripole, 0, MaxQuadripoles);
    std::vector<TQuadripole> result;
    result.reserve(static_cast<std::size_t>(count) * 2);
    std::unordered_set<uint64_t> present;
    present.reserve(static_cast<std::size_t>(count) * 2);
    if (mode == TReciprocalMode::Append) {
        result.assign(in.Quadripoles, in.Quadripoles + count);
        for (const TQuadripole& q : result) present.insert(Key(q));
    }
    for (int i = 0; i < count; ++i) {
        const TQuadripole r = Reciprocal(in.Quadripoles[i]);
        if (present.insert(Key(r)).second) {
            result.push_back(r);
            ++outcome.Added;
        } else {
            ++outcome.AlreadyPresent;
        }
    }
    outcome.Total = static_cast<int>(result.size());
    if (outcome.Total > MaxQuadripoles) {
        outcome.Added = 0;
        outcome.Problem = "the result would hold " + std::to_string(outcome.Total) +
                          " quadripoles, more than the " + std::to_string(MaxQuadripoles) +
                          " a sequence holds";
        return outcome;
    }
    if (&out != &in) out = in;
    std::copy(result.begin(), result.end(), out.Quadripoles);
    for (int i = outcome.Total; i < MaxQuadripoles; ++i) out.Quadripoles[i].MakeEmpty();
    out.NbQuadripole = outcome.Total;
    outcome.Done = true;
    return outcome;
}
