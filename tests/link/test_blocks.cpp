#include <gtest/gtest.h>

#include "linktestkit.h"
#include "linktexts.h"

namespace {

Bytes Pattern(int n) {
    Bytes b(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) b[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i * 7 + 3);
    return b;
}
int Sum(const Bytes& b, std::size_t from, std::size_t n) {
    int s = 0;
    for (std::size_t i = from; i < from + n; ++i) s += b[i];
    return s;
}

using BlockFixture = TLinkFixture;

TEST_F(BlockFixture, A528ByteStreamIsOneBlockWithLengthWord0x8400) {
    Bytes data = Pattern(528);
    TScript script(link);
    link.Push(0x00);
    script.Expect({0x00})
        .Expect(Le32Bytes(528), Le16Bytes(1))
        .Expect(Cat({Le16Bytes(1), {0x00, 0x84}, data, Le16Bytes((0x12 + Sum(data, 0, 528)) & 0xFFFF)}), Le16Bytes(2))
        .Expect(Le16Bytes(2));
    link.SendData(data.data(), data.size(), nullptr);
    EXPECT_TRUE(script.Done()) << script.Left();
}

TEST_F(BlockFixture, SendDataOfNothingShowsErrBufferAndLeavesTheLinkAlone) {
    link.SendData(nullptr, 0, nullptr);
    EXPECT_TRUE(link.Written().empty());
    ASSERT_EQ(host.Messages.size(), 1u);
    EXPECT_EQ(host.Messages[0], LinkText::ErrBuffer);
}

}  // namespace
