// The body's storage: its bytes survive every move into a larger
// reservation, it stays terminated, and what it commits stays close to its
// size, about twice it only while it moves.
#include <gtest/gtest.h>

#include <string>

#include "platform/fake/FakePlatform.h"
#include "transfer/BodyBuffer.h"

namespace {

constexpr std::size_t MiB = 1u << 20;

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
    return bytes;
}

TEST(BodyBufferTest, KeepsItsBytesAcrossMovesAndStaysTerminated) {
    const std::string bytes = Pattern(3 * MiB + 123);
    BodyBuffer body;
    // Uneven pieces, so that moves fall inside and between them.
    const std::size_t pieces[] = {1, 4095, 4096, 70000, 4097};
    std::size_t at = 0;
    for (int n = 0; at < bytes.size(); ++n) {
        const std::size_t count = std::min(pieces[n % 5], bytes.size() - at);
        ASSERT_TRUE(body.Append(bytes.data() + at, count));
        at += count;
        ASSERT_EQ(body.size(), at);
        ASSERT_EQ(body.c_str()[at], '\0');
    }
    EXPECT_TRUE(body.ToString() == bytes);
}

TEST(BodyBufferTest, ClearKeepsTheStorageForTheNextBody) {
    BodyBuffer body;
    const std::string first = Pattern(2 * MiB);
    ASSERT_TRUE(body.Append(first.data(), first.size()));
    const std::size_t committed = Fake::CommittedBytes();
    body.Clear();
    EXPECT_EQ(body.size(), 0u);
    EXPECT_STREQ(body.c_str(), "");
    ASSERT_TRUE(body.Append("next", 4));
    EXPECT_STREQ(body.c_str(), "next");
    EXPECT_EQ(Fake::CommittedBytes(), committed);
}

// Sizes just over a power of two are where a doubling buffer holds the most
// room it does not use.
class BodyBufferCommit : public ::testing::TestWithParam<std::size_t> {};

TEST_P(BodyBufferCommit, StaysNearTheBodyAndUnderTwiceItWhileMoving) {
    const std::size_t size = GetParam();
    const std::string piece(4096, 'b');
    const std::size_t before = Fake::CommittedBytes();
    Fake::ResetMemoryFigures();
    {
        BodyBuffer body;
        for (std::size_t at = 0; at < size; at += piece.size()) {
            ASSERT_TRUE(body.Append(piece.data(), std::min(piece.size(), size - at)));
        }
        const double held = static_cast<double>(Fake::CommittedBytes() - before) / size;
        const double peak = static_cast<double>(Fake::PeakCommittedBytes() - before) / size;
        // A thirty-second more, rounded up to whole 64 KiB steps.
        EXPECT_LE(held, 1.0 + 1.0 / 32 + 65536.0 / size) << "committed after the last append, per body byte";
        EXPECT_LT(peak, 2.1) << "most committed at any moment, per body byte";
    }
    EXPECT_EQ(Fake::CommittedBytes(), before);
}

INSTANTIATE_TEST_SUITE_P(Sizes, BodyBufferCommit,
                         ::testing::Values(2 * MiB + 1, 5 * MiB, 8 * MiB + 4096, 16 * MiB));

}  // namespace
