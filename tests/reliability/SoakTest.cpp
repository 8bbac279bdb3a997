// Thousands of transfers in a row, mixed GET and POST, some failing (refused
// connection, 404): every one gives its own outcome, and afterwards the
// process's handles and threads are where they were after the first rounds.
//
// Wine's WinINet keeps some heap per request by itself (about 270 bytes per
// distinct URL here). So the same transfers are also made with the same
// WinINet calls directly, after the library's, and the library may add no
// growth of its own beyond that control's.
#include <cstdio>

#include "DirectTransfer.h"
#include "FixtureServer.h"
#include "LibraryTest.h"
#include "ProcessFigures.h"
#include "RunLength.h"

namespace {

enum class Kind { Get, Post, Refused, NotFoundPost };

Kind KindOf(int n) {
    switch (n % 10) {
    case 3: return Kind::Refused;
    case 7: return Kind::NotFoundPost;
    default: return n % 2 == 0 ? Kind::Get : Kind::Post;
    }
}

std::string BodyOf(int n) { return "body of transfer " + std::to_string(n) + " %s%n"; }
std::string DataOf(int n) { return "n=" + std::to_string(n) + "&v=%25x"; }

constexpr int Round = 50;
// Heap of the test's own records of one box (caption, text, bookkeeping).
constexpr std::int64_t HeapPerBox = 256;
// Heap that comes and goes between two readings (Wine's own blocks).
constexpr std::int64_t HeapJitter = 16 * 1024;
// Wine's own handles (its X11 driver, its sockets' helpers) come and go:
// two readings of an idle process differ by up to 3.
constexpr std::uint32_t HandleJitter = 4;
// Private bytes grow in whole heap segments.
constexpr std::int64_t PrivateSlack = 512 * 1024;

std::int64_t Grown(std::uint64_t before, std::uint64_t after) {
    return static_cast<std::int64_t>(after) - static_cast<std::int64_t>(before);
}

}  // namespace

class Soak : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        threadsBeforeAnyTransfer_ = ProcessFigures::Now().threads;
    }

    // One round against a server of its own, gone (its threads joined) when
    // the round ends; through the library or directly through WinINet.
    void RunRound(int first, bool direct) {
        std::vector<ReplyScript> replies;
        for (int n = first; n < first + Round; ++n) {
            if (KindOf(n) == Kind::NotFoundPost) {
                replies.push_back(SizedReply(404, "Not Found", BodyOf(n)));
            } else if (KindOf(n) != Kind::Refused) {
                replies.push_back(OkReply(BodyOf(n)));
            }
        }
        const std::uint16_t closedPort = ClosedLoopbackPort();
        FixtureServer server(std::move(replies));
        ASSERT_TRUE(server.listening()) << server.failure();
        std::size_t connection = 0;
        for (int n = first; n < first + Round; ++n) {
            const Kind kind = KindOf(n);
            // Each way has names of its own: Wine keeps less for a name it has seen.
            const std::string path = (direct ? "d" : "t") + std::to_string(n);
            const std::string verb = kind == Kind::Get || kind == Kind::Refused ? "GET" : "POST";
            const std::string data = verb == "POST" ? DataOf(n) : "";
            const std::string body = direct ? RunDirect(n, server, closedPort, verb, path, data)
                                            : RunThroughLibrary(n, server, closedPort, verb, path, data);
            if (kind == Kind::Refused) continue;
            if (body != BodyOf(n)) Mismatch(n, "body \"" + body + "\"");
            if (!server.WaitForRequests(connection + 1)) Mismatch(n, "no request recorded");
            const RecordedRequest request = server.Request(connection++);
            if (request.requestLine != verb + " /" + path + " HTTP/1.1") {
                Mismatch(n, "request line " + request.requestLine);
            }
            if (request.body != data) Mismatch(n, "request body \"" + request.body + "\"");
        }
    }

    std::string RunThroughLibrary(int n, const FixtureServer& server, std::uint16_t closedPort,
                                  const std::string& verb, const std::string& path,
                                  const std::string& data) {
        const bool refused = KindOf(n) == Kind::Refused;
        const std::size_t boxesBefore = catcher.Count();
        const std::string url = refused ? "http://127.0.0.1:" + std::to_string(closedPort) + "/" + path
                                        : server.Url(path);
        const bool started = verb == "GET" ? Get(url) : Post(url, data);
        if (!started || !WaitUntilIdle()) {
            Mismatch(n, "did not start or did not end");
            return std::string();
        }
        const std::vector<std::string> boxes = BoxTexts();
        const std::vector<std::string> shown(boxes.begin() + static_cast<std::ptrdiff_t>(boxesBefore),
                                             boxes.end());
        const std::vector<std::string> expected =
            refused ? std::vector<std::string>{ErrorBoxText("HttpSendRequest error 12029\n")}
                    : std::vector<std::string>{};
        if (shown != expected) Mismatch(n, "boxes: " + (shown.empty() ? "none" : shown.front()));
        return refused ? std::string() : ReadText();
    }

    std::string RunDirect(int n, const FixtureServer& server, std::uint16_t closedPort,
                          const std::string& verb, const std::string& path, const std::string& data) {
        const bool refused = KindOf(n) == Kind::Refused;
        DirectRequest request;
        request.server = "127.0.0.1";
        request.port = refused ? closedPort : server.port();
        request.path = path;
        request.verb = verb;
        request.data = data;
        const std::string result = DirectTransfer(request);
        if (refused && result != "error HttpSendRequest 12029") Mismatch(n, "direct: " + result);
        return result;
    }

    void Mismatch(int n, const std::string& what) {
        if (++mismatches_ <= 5) firstMismatches_ += "\n  transfer " + std::to_string(n) + ": " + what;
    }

    ProcessFigures Settled() { return SettledFigures(threadsBeforeAnyTransfer_); }

    std::uint32_t threadsBeforeAnyTransfer_ = 0;
    int mismatches_ = 0;
    std::string firstMismatches_;
};

TEST_F(Soak, ManyTransfersInARowKeepHandlesThreadsAndMemoryLevel) {
    const int total = RunCount(300, 2000);
    const ProcessFigures start = ProcessFigures::Now();
    std::printf("[ figures  ] start:      %s\n", start.ToString().c_str());

    // Warm-up: the first round each way.
    RunRound(0, false);
    RunRound(0, true);
    const ProcessFigures level = Settled();
    std::printf("[ figures  ] after %4d:  %s\n", Round, level.ToString().c_str());

    // The library's rounds, then the same through WinINet directly; each
    // reading once the pool's idle worker thread has ended (about 5 s after
    // its last callback), as its own blocks would count otherwise.
    const std::size_t boxesBefore = catcher.Count();
    for (int first = Round; first < total; first += Round) RunRound(first, false);
    const std::size_t boxesInRounds = catcher.Count() - boxesBefore;
    const ProcessFigures middle = Settled();
    for (int first = Round; first < total; first += Round) RunRound(first, true);
    const ProcessFigures end = Settled();
    const std::int64_t libraryHeap = Grown(level.heapBytes, middle.heapBytes);
    const std::int64_t directHeap = Grown(middle.heapBytes, end.heapBytes);
    std::printf("[ figures  ] after %4d:  %s\n", total, end.ToString().c_str());
    std::printf("[ figures  ] heap growth over transfers %d..%d: library %lld bytes, "
                "direct WinINet %lld bytes, boxes %zu\n",
                Round, total, static_cast<long long>(libraryHeap),
                static_cast<long long>(directHeap), boxesInRounds);

    EXPECT_EQ(mismatches_, 0) << firstMismatches_;
    EXPECT_LE(end.handles, level.handles + HandleJitter);
    EXPECT_LE(end.threads, level.threads);
    EXPECT_LE(libraryHeap, directHeap + HeapPerBox * static_cast<std::int64_t>(boxesInRounds) + HeapJitter);
    EXPECT_LE(Grown(level.privateBytes, end.privateBytes), libraryHeap + directHeap + PrivateSlack);
}
