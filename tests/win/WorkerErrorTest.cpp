// A worker step that fails: its one error line, shown once, by whichever
// export comes first, and the body of the transfer before it kept.
#include <functional>

#include "FixtureServer.h"
#include "LibraryTest.h"

namespace {

std::string RefusedUrl() {
    return "http://127.0.0.1:" + std::to_string(ClosedLoopbackPort()) + "/x";
}

// The URL of a listening server with `byte` placed at the end of the host
// name. With these bytes (white space) a resolver would still read the
// address, so only the library's own check keeps the connection from
// reaching the server.
std::string UrlWithHostByte(const FixtureServer& server, const std::string& byte) {
    return "http://127.0.0.1" + byte + ":" + std::to_string(server.port()) + "/x";
}

}  // namespace

struct FailureCase {
    const char* name;
    std::function<std::string(const FixtureServer& bystander)> url;
    std::string line;  // the line under "Quillbarrow error"
};

class WorkerError : public LibraryTest, public ::testing::WithParamInterface<FailureCase> {
protected:
    // Polls IsRun: no box while it answers true, exactly one in the call
    // that first answers false.
    void ExpectIsRunToReportOnce() {
        bool ended = PollUntil(
            [&] {
                const std::size_t before = catcher.Count();
                const bool running = dll->IsRun();
                if (running) {
                    EXPECT_EQ(catcher.Count(), before) << "a box while the worker ran";
                    return false;
                }
                EXPECT_EQ(catcher.Count(), before + 1) << "no box from the IsRun that ended";
                return true;
            },
            DefaultWait);
        ASSERT_TRUE(ended);
    }
};

TEST_P(WorkerError, IsReportedOnceAfterTheEnd) {
    FixtureServer bystander(OkReply("must not be fetched"));
    ASSERT_TRUE(bystander.listening()) << bystander.failure();

    ASSERT_TRUE(Get(GetParam().url(bystander)));
    ExpectIsRunToReportOnce();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{ErrorBoxText(GetParam().line)});

    // Nothing is left to report.
    EXPECT_FALSE(dll->IsRun());
    EXPECT_EQ(dll->GetReadSize(), 0u);
    dll->Stop();
    EXPECT_EQ(ReadText(), "");
    EXPECT_EQ(ReadAnsiText(), "");
    EXPECT_EQ(catcher.Count(), 1u);
    EXPECT_EQ(bystander.ConnectionCount(), 0u);
}

TEST_P(WorkerError, LeavesTheBodyOfThePreviousTransfer) {
    const std::string first = "the body before";
    FixtureServer server(OkReply(first));
    ASSERT_TRUE(server.listening()) << server.failure();
    ASSERT_TRUE(Get(server.Url("first")));
    ASSERT_TRUE(WaitUntilIdle());

    ASSERT_TRUE(Get(GetParam().url(server)));
    ExpectIsRunToReportOnce();

    EXPECT_EQ(dll->GetReadSize(), first.size());
    EXPECT_EQ(ReadText(), first);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{ErrorBoxText(GetParam().line)});
    EXPECT_EQ(server.ConnectionCount(), 1u);
}

// Wine's WinINet connects in HttpSendRequest, and resolves the name there.
// The empty label fails in the resolver itself: no query leaves the machine.
INSTANTIATE_TEST_SUITE_P(
    Failures, WorkerError,
    ::testing::Values(
        FailureCase{"ConnectionRefused", [](const FixtureServer&) { return RefusedUrl(); },
                    "HttpSendRequest error 12029\n"},
        FailureCase{"NameNotResolved",
                    [](const FixtureServer&) { return std::string("http://name..invalid/"); },
                    "HttpSendRequest error 12007\n"},
        FailureCase{"EmptyHost",
                    [](const FixtureServer&) { return std::string("http:///x"); },
                    "InternetConnect error 87\n"},
        FailureCase{"SpaceInHost",
                    [](const FixtureServer& s) { return UrlWithHostByte(s, " "); },
                    "InternetConnect error 12005\n"},
        FailureCase{"TabInHost",
                    [](const FixtureServer& s) { return UrlWithHostByte(s, "\t"); },
                    "InternetConnect error 12005\n"},
        FailureCase{"LineFeedInHost",
                    [](const FixtureServer& s) { return UrlWithHostByte(s, "\n"); },
                    "InternetConnect error 12005\n"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

class WorkerErrorReporter;

// Each export that may show the pending report, as the first one called
// after the failure. It returns once it has seen the one box.
struct ReporterCase {
    const char* name;
    std::function<void(WorkerErrorReporter&, const FixtureServer& next)> report;
};

class WorkerErrorReporter : public LibraryTest, public ::testing::WithParamInterface<ReporterCase> {
public:
    QuillbarrowDll& Dll() { return *dll; }
    std::size_t Boxes() const { return catcher.Count(); }
    bool GetThrough(const std::string& url) { return Get(url); }
    bool PostThrough(const std::string& url, const std::string& data) { return Post(url, data); }
    bool Idle() { return WaitUntilIdle(); }
    std::string Read() { return ReadText(); }
};

TEST_P(WorkerErrorReporter, ShowsThePendingReportOnce) {
    FixtureServer next(OkReply("next body"));
    ASSERT_TRUE(next.listening()) << next.failure();

    ASSERT_TRUE(Get(RefusedUrl()));
    GetParam().report(*this, next);
    if (HasFatalFailure()) return;
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{ErrorBoxText("HttpSendRequest error 12029\n")});

    EXPECT_FALSE(dll->IsRun());
    dll->GetReadSize();
    dll->Stop();
    ReadText();
    ReadAnsiText();
    dll->Unload();
    EXPECT_EQ(catcher.Count(), 1u) << "reported more than once";
}

namespace {

using Fixture = WorkerErrorReporter;

// Calls `call` until a box appears; the call that shows it must answer
// true (the worker has ended).
void CallUntilBox(Fixture& t, const std::function<bool()>& call) {
    bool shown = PollUntil(
        [&] {
            const std::size_t before = t.Boxes();
            const bool ended = call();
            if (t.Boxes() == before) return false;
            EXPECT_TRUE(ended) << "box shown by a call that said the worker still ran";
            return true;
        },
        std::chrono::milliseconds(10000));
    ASSERT_TRUE(shown);
}

void ExpectOneBoxDuring(Fixture& t, const std::function<void()>& call) {
    const std::size_t before = t.Boxes();
    call();
    EXPECT_EQ(t.Boxes(), before + 1);
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(
    FirstExport, WorkerErrorReporter,
    ::testing::Values(
        ReporterCase{"IsRun",
                     [](Fixture& t, const FixtureServer&) {
                         CallUntilBox(t, [&] { return !t.Dll().IsRun(); });
                     }},
        ReporterCase{"GetReadSize",
                     [](Fixture& t, const FixtureServer&) {
                         CallUntilBox(t, [&] {
                             t.Dll().GetReadSize();
                             return true;
                         });
                     }},
        ReporterCase{"Stop",
                     [](Fixture& t, const FixtureServer&) {
                         ExpectOneBoxDuring(t, [&] { t.Dll().Stop(); });
                     }},
        ReporterCase{"ReadString",
                     [](Fixture& t, const FixtureServer&) {
                         CountingHostString target("(not set)");
                         CallUntilBox(t, [&] { return t.Dll().ReadString(&target); });
                         EXPECT_EQ(target.text(), "");
                     }},
        ReporterCase{"ReadStringUTF8ToSJIS",
                     [](Fixture& t, const FixtureServer&) {
                         CountingHostString target("(not set)");
                         CallUntilBox(t, [&] { return t.Dll().ReadStringUTF8ToSJIS(&target); });
                         EXPECT_EQ(target.text(), "");
                     }},
        ReporterCase{"NextGet",
                     [](Fixture& t, const FixtureServer& next) {
                         ExpectOneBoxDuring(t, [&] { EXPECT_TRUE(t.GetThrough(next.Url("next"))); });
                         ASSERT_TRUE(t.Idle());
                         EXPECT_EQ(t.Read(), "next body");
                     }},
        ReporterCase{"NextPost",
                     [](Fixture& t, const FixtureServer& next) {
                         ExpectOneBoxDuring(t,
                                            [&] { EXPECT_TRUE(t.PostThrough(next.Url("next"), "d")); });
                         ASSERT_TRUE(t.Idle());
                         EXPECT_EQ(t.Read(), "next body");
                     }}),
    [](const ::testing::TestParamInfo<ReporterCase>& info) { return std::string(info.param.name); });
