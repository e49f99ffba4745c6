// The block protocol in both directions, byte for byte, over an in-memory link.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "link/linktexts.h"
#include "tests/link/linktestkit.h"

namespace {

Bytes Pattern(int n, int seed = 3) {
    Bytes b(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        b[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i * 7 + seed + i / 251);
    return b;
}
int Sum(const Bytes& b, std::size_t from, std::size_t n) {
    int s = 0;
    for (std::size_t i = from; i < from + n; ++i) s += b[i];
    return s;
}
// One block as the program sends it: length word, data, checksum.
Bytes Block(const Bytes& data, std::size_t from, std::size_t n) {
    Bytes d(data.begin() + static_cast<std::ptrdiff_t>(from),
            data.begin() + static_cast<std::ptrdiff_t>(from + n));
    int lengthSum = static_cast<int>((n & 0xFF) + ((n >> 8) & 0xFF));
    return Cat(
        {Le16Bytes(static_cast<int>(n << 6)), d, Le16Bytes((lengthSum + Sum(data, from, n)) & 0xFFFF)});
}

using BlockFixture = TLinkFixture;

TEST_F(BlockFixture, A528ByteStreamIsOneBlockWithLengthWord0x8400AndLengthSum0x12) {
    Bytes data = Pattern(528);
    TScript script(link);
    link.Push(0x00);
    script.Expect({0x00})
        .Expect(Le32Bytes(528), Le16Bytes(1))
        .Expect(Cat({Le16Bytes(1), {0x00, 0x84}, data, Le16Bytes((0x12 + Sum(data, 0, 528)) & 0xFFFF)}),
                Le16Bytes(2))
        .Expect(Le16Bytes(2));
    protocol.SendData(data.data(), data.size(), nullptr);
}

// SendStream against a receiver that asks for the given block numbers in order.
struct TSendCase {
    const char* Name;
    int Size;
    std::vector<int> Requests;
    // For each request: the offset and length of the block sent, or length -1 for an echo only.
    std::vector<std::pair<int, int>> Answers;
};

class SendStreamCases : public TLinkFixture, public ::testing::WithParamInterface<TSendCase> {};

TEST_P(SendStreamCases, SendsTheBlocksAsked) {
    const TSendCase& c = GetParam();
    Bytes data = Pattern(c.Size);
    TScript script(link);
    link.Push(0x00);
    script.Expect({0x00}).Expect(Le32Bytes(c.Size), Le16Bytes(c.Requests[0]));
    for (std::size_t i = 0; i < c.Requests.size(); ++i) {
        Bytes expect = Le16Bytes(c.Requests[i]);
        auto [from, n] = c.Answers[i];
        if (n >= 0)
            expect = Cat({expect, Block(data, static_cast<std::size_t>(from), static_cast<std::size_t>(n))});
        script.Expect(expect, i + 1 < c.Requests.size() ? Le16Bytes(c.Requests[i + 1]) : Bytes{});
    }
    protocol.SendData(data.data(), data.size(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, SendStreamCases,
    ::testing::Values(TSendCase{"OneByte", 1, {1, 2}, {{0, 1}, {0, -1}}},
                      TSendCase{"Bytes529AreBlocksOf528And1", 529, {1, 2, 3}, {{0, 528}, {528, 1}, {0, -1}}},
                      TSendCase{"RepeatRequestGetsTheSameBytesAgain",
                                529,
                                {1, 1, 2, 2, 3},
                                {{0, 528}, {0, 528}, {528, 1}, {528, 1}, {0, -1}}},
                      TSendCase{"OtherNumbersAreEchoedAndIgnored",
                                600,
                                {1, 5, 0, 2, 3},
                                {{0, 528}, {0, -1}, {0, -1}, {528, 72}, {0, -1}}},
                      TSendCase{
                          "ARepeatAfterTheLastBlockResendsIt", 10, {1, 1, 2}, {{0, 10}, {0, 10}, {0, -1}}}),
    [](const auto& tc) { return std::string(tc.param.Name); });

TEST_F(BlockFixture, Block127IsFollowedByBlock1) {
    const int blocks = 129;
    const int size = blocks * 528;
    Bytes data = Pattern(size);
    TScript script(link);
    link.Push(0x00);
    script.Expect({0x00}).Expect(Le32Bytes(size), Le16Bytes(1));
    std::vector<int> numbers;
    for (int i = 0; i < blocks; ++i) numbers.push_back(i % 127 + 1);
    numbers.push_back(blocks % 127 + 1);
    EXPECT_EQ(numbers[126], 127);
    EXPECT_EQ(numbers[127], 1);
    for (int i = 0; i < blocks; ++i)
        script.Expect(Cat({Le16Bytes(numbers[static_cast<std::size_t>(i)]),
                           Block(data, static_cast<std::size_t>(i) * 528, 528)}),
                      Le16Bytes(numbers[static_cast<std::size_t>(i) + 1]));
    script.Expect(Le16Bytes(numbers.back()));
    protocol.SendData(data.data(), data.size(), nullptr);
}

TEST_F(BlockFixture, SendDataOfNothingShowsErrBufferAndLeavesTheLinkAlone) {
    protocol.SendData(nullptr, 0, nullptr);
    EXPECT_TRUE(link.Written().empty());
    ASSERT_EQ(host.Messages.size(), 1u);
    EXPECT_EQ(host.Messages[0], LinkText::ErrBuffer);
}

TEST_F(BlockFixture, TheStartEchoesEveryByteUntilZero) {
    TScript script(link);
    link.Push({0x55, 0x13, 0x00});
    script.Expect({0x55, 0x13, 0x00})
        .Expect(Le32Bytes(1), Le16Bytes(1))
        .Expect(Cat({Le16Bytes(1), Block({0x42}, 0, 1)}), Le16Bytes(2))
        .Expect(Le16Bytes(2));
    Bytes one{0x42};
    protocol.SendData(one.data(), one.size(), nullptr);
}

TEST_F(BlockFixture, ProgressCountsEveryNewByteAndEndsAtZero) {
    Bytes data = Pattern(600);
    TScript script(link);
    link.Push(0x00);
    script.Expect({0x00}).Expect(Le32Bytes(600), Le16Bytes(1));
    script.Expect(Cat({Le16Bytes(1), Block(data, 0, 528)}), Le16Bytes(2));
    script.Expect(Cat({Le16Bytes(2), Block(data, 528, 72)}), Le16Bytes(3)).Expect(Le16Bytes(3));
    struct TRecorder : TProgressIndicator {
        int Highest = 0;
        void Changed() override { Highest = std::max(Highest, Position()); }
    } progress;
    protocol.SendData(data.data(), data.size(), &progress);
    EXPECT_EQ(progress.Maximum(), 600);
    EXPECT_EQ(progress.Highest, 600);
    EXPECT_EQ(progress.Position(), 0);
}

// ReceiveStream: the instrument's side is scripted; the program asks with block numbers.
Bytes InstrumentBlock(const Bytes& d, int wordLength, int checksumDelta = 0) {
    int n = static_cast<int>(d.size());
    int lengthSum = (n & 0xFF) + ((n >> 8) & 0xFF);
    return Cat({Le16Bytes(wordLength << 6), d,
                Le16Bytes((lengthSum + Sum(d, 0, d.size()) + checksumDelta) & 0xFFFF)});
}

TEST_F(BlockFixture, ReceiveStreamTakesTwoBlocksAndAsksAgainAfterABadChecksum) {
    Bytes a = Pattern(528, 1), b = Pattern(100, 2);
    TScript script(link);
    script.Expect({0x00}, Cat({{0x00}, Le32Bytes(628)}))
        .Expect(Le16Bytes(1), Cat({Le16Bytes(1), InstrumentBlock(a, 528, +1)}))  // spoilt
        .Expect(Le16Bytes(1), Cat({Le16Bytes(1), InstrumentBlock(a, 528)}))
        .Expect(Le16Bytes(2), Cat({Le16Bytes(2), InstrumentBlock(b, 100)}))
        .Expect(Le16Bytes(3), Le16Bytes(3));
    protocol.ReceiveStream(nullptr);
    EXPECT_EQ(protocol.TransferStream().Bytes(), Cat({a, b}));
}

TEST_F(BlockFixture, ReceiveStreamWithoutATotalTakesOneBlockAfterThreeSeconds) {
    Bytes a = Pattern(40);
    TScript script(link);
    script.Expect({0x00}, {0x00})
        .Expect(Le16Bytes(1), Cat({Le16Bytes(1), InstrumentBlock(a, 40)}))
        .Expect(Le16Bytes(2), Le16Bytes(2));
    const int64_t before = clock.NowMs();
    protocol.ReceiveStream(nullptr);
    EXPECT_EQ(protocol.TransferStream().Bytes(), a);
    EXPECT_GE(clock.NowMs() - before, 3000);
}

struct TLengthCase {
    const char* Name;
    int Total;
    int Word;  // length announced in the length word
    int Read;  // bytes the program reads as the block
};
class ReceiveLengthCases : public TLinkFixture, public ::testing::WithParamInterface<TLengthCase> {};

TEST_P(ReceiveLengthCases, ALengthWordAbove528ReadsTheRestOfTheTotalAtMost528) {
    const TLengthCase& c = GetParam();
    Bytes d = Pattern(c.Read);
    int lengthSum = (c.Read & 0xFF) + ((c.Read >> 8) & 0xFF);
    Bytes block = Cat({Le16Bytes(c.Word << 6), d, Le16Bytes((lengthSum + Sum(d, 0, d.size())) & 0xFFFF)});
    TScript script(link);
    script.Expect({0x00}, Cat({{0x00}, Le32Bytes(c.Total)})).Expect(Le16Bytes(1), Cat({Le16Bytes(1), block}));
    if (c.Total - c.Read > 0) {
        // The rest comes as a normal block.
        Bytes rest = Pattern(c.Total - c.Read, 9);
        script.Expect(Le16Bytes(2),
                      Cat({Le16Bytes(2), InstrumentBlock(rest, static_cast<int>(rest.size()))}));
        script.Expect(Le16Bytes(3), Le16Bytes(3));
    } else {
        script.Expect(Le16Bytes(2), Le16Bytes(2));
    }
    protocol.ReceiveStream(nullptr);
    ASSERT_GE(protocol.TransferStream().Size(), static_cast<std::size_t>(c.Read));
    EXPECT_TRUE(std::equal(d.begin(), d.end(), protocol.TransferStream().Bytes().begin()));
}

INSTANTIATE_TEST_SUITE_P(Blocks, ReceiveLengthCases,
                         ::testing::Values(TLengthCase{"TotalAbove528", 700, 1000, 528},
                                           TLengthCase{"TotalBelow528", 100, 1000, 100},
                                           TLengthCase{"Exactly528", 528, 528, 528}),
                         [](const auto& tc) { return std::string(tc.param.Name); });

TEST_F(BlockFixture, ALengthWordOfZeroEndsTheTransfer) {
    TScript script(link);
    script.Expect({0x00}, Cat({{0x00}, Le32Bytes(0)}))
        .Expect(Le16Bytes(1), Cat({Le16Bytes(1), Le16Bytes(0)}))
        .Expect(Le16Bytes(1), Le16Bytes(1));
    protocol.ReceiveStream(nullptr);
    EXPECT_EQ(protocol.TransferStream().Size(), 0u);
}

TEST_F(BlockFixture, ANegativeTotalIsReadAsNoTotal) {
    Bytes a = Pattern(20);
    TScript script(link);
    script.Expect({0x00}, Cat({{0x00}, Le32Bytes(-5)}))
        .Expect(Le16Bytes(1), Cat({Le16Bytes(1), InstrumentBlock(a, 20)}))
        .Expect(Le16Bytes(2), Le16Bytes(2));
    protocol.ReceiveStream(nullptr);
    EXPECT_EQ(protocol.TransferStream().Bytes(), a);
}

TEST_F(BlockFixture, AWrongEchoOfTheBlockNumberAsksAgain) {
    Bytes a = Pattern(5);
    TScript script(link);
    script.Expect({0x00}, Cat({{0x00}, Le32Bytes(5)}))
        .Expect(Le16Bytes(1), Le16Bytes(9))
        .Expect(Le16Bytes(1), Cat({Le16Bytes(1), InstrumentBlock(a, 5)}))
        .Expect(Le16Bytes(2), Le16Bytes(2));
    protocol.ReceiveStream(nullptr);
    EXPECT_EQ(protocol.TransferStream().Bytes(), a);
}

TEST_F(BlockFixture, ReceiveDataCopiesAtMostTheCallersCapacity) {
    Bytes list = Pattern(1500);
    TScript script(link);
    script.Expect({0x00}, Cat({{0x00}, Le32Bytes(1500)}))
        .Expect(Le16Bytes(1),
                Cat({Le16Bytes(1), InstrumentBlock(Bytes(list.begin(), list.begin() + 528), 528)}))
        .Expect(Le16Bytes(2),
                Cat({Le16Bytes(2), InstrumentBlock(Bytes(list.begin() + 528, list.begin() + 1056), 528)}))
        .Expect(Le16Bytes(3),
                Cat({Le16Bytes(3), InstrumentBlock(Bytes(list.begin() + 1056, list.end()), 444)}))
        .Expect(Le16Bytes(4), Le16Bytes(4));
    Bytes buffer(1024 + 16, 0xEE);
    EXPECT_EQ(protocol.ReceiveData(buffer.data(), 1024, nullptr), 1024);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 1024, list.begin()));
    EXPECT_EQ(buffer[1024], 0xEE);  // nothing written past the capacity
}

TEST_F(BlockFixture, ReceiveStreamOnAClosedLinkRaises) {
    link.Disconnect();
    try {
        protocol.ReceiveStream(nullptr);
        FAIL() << "no exception";
    } catch (const TLinkError& e) {
        EXPECT_STREQ(e.what(), LinkText::PortErrXbtCload);
    }
    EXPECT_FALSE(host.Busy);
}

// A receiver that asks for the first block again `repeats` times (every copy came spoilt): up to
// LinkRetry::BlockRetries the sender keeps trying and the transfer ends normally; one more and it
// gives up, saying so, and closes the link instead of sending for ever.
class SpoiltCopyCases : public TLinkFixture, public ::testing::WithParamInterface<int> {};

TEST_P(SpoiltCopyCases, AreResentUpToTheLimit) {
    const int repeats = GetParam();
    const bool givesUp = repeats > LinkRetry::BlockRetries;
    Bytes data = Pattern(10);
    const Bytes copy = Cat({Le16Bytes(1), Block(data, 0, 10)});
    TScript script(link);
    link.Push(0x00);
    script.Expect({0x00}).Expect(Le32Bytes(10), Le16Bytes(1));
    for (int i = 0; i < std::min(repeats, LinkRetry::BlockRetries); ++i) script.Expect(copy, Le16Bytes(1));
    if (givesUp) {
        script.Expect(copy, Le16Bytes(1)).Expect(Le16Bytes(1));
    } else {
        script.Expect(copy, Le16Bytes(2)).Expect(Le16Bytes(2));
    }
    try {
        protocol.SendData(data.data(), data.size(), nullptr);
        EXPECT_FALSE(givesUp) << "no exception";
    } catch (const TLinkError& e) {
        EXPECT_TRUE(givesUp) << e.what();
        EXPECT_EQ(e.Status(), TLinkStatus::Garbled);
        EXPECT_EQ(e.what(), LinkText::BlockNeverArrived(1, LinkRetry::BlockRetries + 1));
    }
    EXPECT_EQ(link.IsOpen(), !givesUp);
    EXPECT_FALSE(host.Busy);
}

INSTANTIATE_TEST_SUITE_P(Blocks, SpoiltCopyCases,
                         ::testing::Values(LinkRetry::BlockRetries, LinkRetry::BlockRetries + 1),
                         [](const auto& tc) {
                             return tc.param > LinkRetry::BlockRetries ? "OneMore" : "AtTheLimit";
                         });

// Instruments whose answers never come through: every transfer gives up by itself, within its
// limit, where it used to go on until the stop. `Answer` is the instrument: it sees each byte the
// program writes and pushes its replies.
struct TGarbledCase {
    const char* Name;
    bool Receiving;  // ReceiveStream, else SendStream of 600 bytes
    Bytes First;     // what the instrument sends before the program writes
    std::function<void(TMemoryLink&, unsigned char)> Answer;
    std::string Says;
};
class GarbledCases : public TLinkFixture, public ::testing::WithParamInterface<TGarbledCase> {};

TEST_P(GarbledCases, GiveUpSayingWhy) {
    const TGarbledCase& c = GetParam();
    link.OnWrite = [&](unsigned char b) { c.Answer(link, b); };
    host.OnEvents = [&] {
        if (host.EventTurns > 100000) link.Disconnect();
    };
    Bytes data = Pattern(600);
    link.Push(c.First);
    try {
        if (c.Receiving)
            protocol.ReceiveStream(nullptr);
        else
            protocol.SendData(data.data(), data.size(), nullptr);
        FAIL() << "no exception";
    } catch (const TLinkError& e) {
        EXPECT_EQ(e.Status(), TLinkStatus::Garbled) << e.what();
        EXPECT_EQ(e.what(), c.Says);
    }
    EXPECT_FALSE(link.IsOpen());
}

// Counts the program's bytes so that an answer goes after each whole request or block.
struct TByteCounter {
    std::shared_ptr<int> N = std::make_shared<int>(0);
    int operator()() const { return ++*N; }
};

INSTANTIATE_TEST_SUITE_P(Blocks, GarbledCases,
                         ::testing::Values(
                             // The start: the instrument echoes a byte that is never the start byte 0.
                             TGarbledCase{"SendNeverStarts",
                                          false,
                                          {0x55},
                                          [](TMemoryLink& l, unsigned char) { l.Push(0x55); },
                                          LinkText::NoTransferStart(LinkRetry::StartBytes)},
                             // After the total, requests for a block the transfer does not have.
                             TGarbledCase{"SendRequestsNoBlock",
                                          false,
                                          {0x00},
                                          [n = TByteCounter()](TMemoryLink& l, unsigned char) {
                                              const int k = n();
                                              if (k == 5 || (k > 5 && (k - 5) % 2 == 0))
                                                  l.Push(Le16Bytes(77));
                                          },
                                          LinkText::RequestsGarbled(LinkRetry::BlockRetries + 1)},
                             TGarbledCase{"ReceiveNeverStarts",
                                          true,
                                          {},
                                          [](TMemoryLink& l, unsigned char) { l.Push(0x33); },
                                          LinkText::NoTransferStart(LinkRetry::StartBytes)},
                             // Every copy of block 1 with a wrong checksum.
                             TGarbledCase{
                                 "ReceiveEveryBlockSpoilt",
                                 true,
                                 {},
                                 [n = TByteCounter()](TMemoryLink& l, unsigned char) {
                                     const int k = n();
                                     if (k == 1) l.Push(Cat({{0x00}, Le32Bytes(600)}));
                                     if (k > 1 && k % 2 == 1)
                                         l.Push(Cat({Le16Bytes(1), InstrumentBlock(Pattern(528), 528, +1)}));
                                 },
                                 LinkText::BlockCameSpoilt(1, LinkRetry::BlockRetries + 1)},
                             // The request's number echoed wrong, every time.
                             TGarbledCase{"ReceiveEchoAlwaysWrong",
                                          true,
                                          {},
                                          [n = TByteCounter()](TMemoryLink& l, unsigned char) {
                                              const int k = n();
                                              if (k == 1) l.Push(Cat({{0x00}, Le32Bytes(600)}));
                                              if (k > 1 && k % 2 == 1) l.Push(Le16Bytes(9));
                                          },
                                          LinkText::BlockCameSpoilt(1, LinkRetry::BlockRetries + 1)}),
                         [](const auto& tc) { return std::string(tc.param.Name); });

// Round trips through the virtual instrument, whose block code is written from the instrument's side.
TEST_F(BlockFixture, SpoiltBlocksAreResentUntilTheInstrumentHasThemAll) {
    auto o = Family2();
    o.CorruptEvery = 3;
    TInstrumentPeer peer(link, o);
    std::string t1, t2;
    ASSERT_TRUE(link.Identify(t1, t2));
    unsigned char v[4];
    link.ReadBytes(v, 4);
    ASSERT_TRUE(link.CommandAtPrompt(0xAC, 300000));
    link.ReadBytes(v, 4);
    Bytes header(136, 0);
    header[104] = 0xFF;
    header[105] = 0xFF;
    header[106] = 0xFF;
    header[107] = 0xFF;  // no quadripoles
    Bytes table = Pattern(5000), extra = Pattern(48);
    protocol.SendData(header.data(), header.size(), nullptr);
    protocol.SendData(table.data(), table.size(), nullptr);
    protocol.SendData(extra.data(), extra.size(), nullptr);
    ASSERT_EQ(peer.Instrument().Images().size(), 1u);
    EXPECT_GT(peer.Instrument().BlocksSpoilt(), 3);
    EXPECT_EQ(peer.Instrument().Images()[0].Parts[1], table);
    EXPECT_EQ(peer.Instrument().Images()[0].Parts[2], extra);
}

}  // namespace

namespace {

// An instrument that answers every byte with random garbage: every operation must end by the stop,
// never overflow a buffer or crash.
class GarbageCases : public TLinkFixture, public ::testing::WithParamInterface<unsigned> {};

TEST_P(GarbageCases, EveryOperationEndsAtTheStopWithoutHarm) {
    unsigned state = GetParam() * 2654435761u + 1;
    auto next = [&] {
        state = state * 1664525u + 1013904223u;
        return state >> 24;
    };
    link.OnWrite = [&](unsigned char) {
        const unsigned n = next() % 8;
        for (unsigned i = 0; i < n; ++i) {
            unsigned v = next();
            // Mostly small values, so that block numbers, echoes and lengths sometimes fit.
            link.Push(static_cast<unsigned char>(v % 4 == 0 ? v : v % 3));
        }
    };
    link.Push({0x00, 0x00, 0x01, 0x00});
    long stopAt = 0;
    host.OnEvents = [&] {
        if (host.EventTurns >= stopAt && link.IsOpen()) link.Disconnect();
    };
    auto run = [&](auto&& op) {
        link.Connect(1, 115200, 0, "", false, "");
        stopAt = host.EventTurns + 20000;
        try {
            op();
        } catch (const TLinkError&) {
        }
        EXPECT_FALSE(link.IsOpen() && host.EventTurns > stopAt + 1);
    };
    Bytes data(3000, 0x5A), buffer(1024);
    run([&] { protocol.SendData(data.data(), data.size(), nullptr); });
    run([&] { EXPECT_LE(protocol.ReceiveData(buffer.data(), buffer.size(), nullptr), 1024); });
    run([&] { link.CommandAtPrompt(0x27, 2000); });
    run([&] {
        std::string a, b;
        link.Identify(a, b);
        EXPECT_LE(a.size(), 40u);
        EXPECT_LE(b.size(), 40u);
    });
}

INSTANTIATE_TEST_SUITE_P(Blocks, GarbageCases, ::testing::Range(1u, 9u));

}  // namespace
