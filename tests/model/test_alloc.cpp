// Generation allocates nothing per quadripole: a long sequence costs as many allocations as a short one.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "tests/support/countingsink.h"
#include "tests/support/fixtures.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t n) {
    ++allocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

long AllocationsFor(int lastNode, int32_t levels) {
    auto seq = MakeLine(MakeCable({{1, lastNode, 5}}), {.Levels = levels});
    TCountingSink chart(2);
    long before = allocations.load();
    GenerateSequence(*seq, ModeCreate, chart);
    long used = allocations.load() - before;
    EXPECT_EQ(chart.Points, seq->NbQuadripole);
    return used;
}

TEST(GenerateAllocations, DoNotGrowWithTheQuadripoles) {
    long shortLine = AllocationsFor(48, 0x3F);  // 255 quadripoles
    long longLine = AllocationsFor(1999, -1);   // 16,000 quadripoles
    EXPECT_EQ(shortLine, longLine);
    EXPECT_LE(longLine, 4);
}

}  // namespace
