// GetReadSize polled from the host thread in a tight loop while the body
// arrives: it never waits for the worker, and its counts only grow.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "Gate.h"
#include "LibraryTest.h"
#include "PatternStream.h"
#include "RunLength.h"
#include "StreamServer.h"

namespace {

constexpr std::uint64_t MiB = 1u << 20;

std::string SizedHeadOf(std::uint64_t length) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(length) +
           "\r\nConnection: close\r\n\r\n";
}

double Milliseconds(LONGLONG ticks) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

class ReadSizePoll : public LibraryTest {};

// The worker sits in InternetReadFile, waiting for bytes the server holds
// back until the host has finished its polling: a GetReadSize that waited
// for the read would never let the host get there (the server gives up
// after 20 s, and the test sees that).
TEST_F(ReadSizePoll, AnswersWhileTheWorkerWaitsInARead) {
    constexpr std::uint64_t First = 10 * 4096;
    constexpr std::uint64_t Total = 1 * MiB;
    Gate polled;
    std::atomic<bool> heldUntilPolled{false};
    StreamServer server([&](StreamConnection& connection) {
        if (!connection.ReadRequest()) return;
        if (!connection.Send(SizedHeadOf(Total) + PatternAt(0, First + 100))) return;
        heldUntilPolled = polled.WaitFor(std::chrono::milliseconds(20000));
        connection.Send(PatternAt(First + 100, Total - First - 100));
    });
    ASSERT_TRUE(server.listening()) << server.failure();

    ASSERT_TRUE(Get(server.Url("held")));
    ASSERT_TRUE(WaitForReadSize(First));
    int calls = 0;
    bool sameCount = true;
    for (; calls < 100000; ++calls) sameCount = sameCount && dll->GetReadSize() == First;
    polled.Open();

    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_TRUE(heldUntilPolled) << "the server let the bytes go before the host had polled";
    EXPECT_TRUE(sameCount) << "a count other than the " << First << " bytes held during the read";
    EXPECT_EQ(dll->GetReadSize(), Total);
    EXPECT_TRUE(ReadText() == PatternAt(0, Total));
    EXPECT_TRUE(BoxTexts().empty());
}

// A big body as fast as loopback carries it (16 MiB in CI, 64 MiB with
// QUILLBARROW_SOAK=1), GetReadSize asked all the while. The longest single
// call is a figure for the record, not a check.
TEST_F(ReadSizePoll, CountsOnlyGrowWhileABigBodyArrives) {
    const std::uint64_t Total = (SoakRun() ? 64 : 16) * MiB;
    StreamServer server([&](StreamConnection& connection) {
        if (!connection.ReadRequest()) return;
        if (!connection.Send(SizedHeadOf(Total))) return;
        connection.SendPattern(Total, 64 * 1024, std::chrono::milliseconds(0));
    });
    ASSERT_TRUE(server.listening()) << server.failure();

    ASSERT_TRUE(Get(server.Url("big")));
    std::uint32_t last = 0;
    std::uint64_t calls = 0;
    std::uint64_t changes = 0;
    bool shrank = false;
    LONGLONG longest = 0;
    LONGLONG longestEmpty = 0;  // the same measurement around no call at all
    std::uint64_t over1ms = 0, over10ms = 0, emptyOver1ms = 0;
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    const LONGLONG oneMs = frequency.QuadPart / 1000;
    LARGE_INTEGER began;
    ::QueryPerformanceCounter(&began);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(SoakRun() ? 600 : 120);
    while (last < Total && std::chrono::steady_clock::now() < deadline) {
        LARGE_INTEGER before, after;
        ::QueryPerformanceCounter(&before);
        const std::uint32_t size = dll->GetReadSize();
        ::QueryPerformanceCounter(&after);
        LARGE_INTEGER emptyEnd;
        ::QueryPerformanceCounter(&emptyEnd);
        const LONGLONG took = after.QuadPart - before.QuadPart;
        const LONGLONG empty = emptyEnd.QuadPart - after.QuadPart;
        longest = std::max(longest, took);
        longestEmpty = std::max(longestEmpty, empty);
        if (took > oneMs) ++over1ms;
        if (took > 10 * oneMs) ++over10ms;
        if (empty > oneMs) ++emptyOver1ms;
        ++calls;
        if (size < last) shrank = true;
        if (size != last) ++changes;
        last = size;
    }
    LARGE_INTEGER ended;
    ::QueryPerformanceCounter(&ended);
    std::printf("[ figures  ] %llu MiB in %.0f ms: %llu GetReadSize calls, %llu distinct counts, "
                "longest call %.3f ms (%llu over 1 ms, %llu over 10 ms); "
                "longest empty interval %.3f ms (%llu over 1 ms)\n",
                static_cast<unsigned long long>(Total / MiB),
                Milliseconds(ended.QuadPart - began.QuadPart),
                static_cast<unsigned long long>(calls), static_cast<unsigned long long>(changes),
                Milliseconds(longest), static_cast<unsigned long long>(over1ms),
                static_cast<unsigned long long>(over10ms), Milliseconds(longestEmpty),
                static_cast<unsigned long long>(emptyOver1ms));

    EXPECT_FALSE(shrank);
    EXPECT_EQ(last, Total);
    ASSERT_TRUE(WaitUntilIdle());
    CountingHostString target;
    ASSERT_TRUE(dll->ReadString(&target));
    EXPECT_EQ(target.text().size(), Total);
    EXPECT_TRUE(target.text() == PatternAt(0, Total)) << "the body differs from what was sent";
    EXPECT_TRUE(BoxTexts().empty());
}
