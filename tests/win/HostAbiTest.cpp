// The boundary to the host: the export table, host string objects written
// in C and in C++, null objects and null texts.
#include <algorithm>

#include "CHostString.h"
#include "FixtureServer.h"
#include "Gate.h"
#include "LibraryTest.h"

class HostAbi : public LibraryTest {};

TEST_F(HostAbi, ExportsExactlyTheSevenFunctionsUnderPlainNames) {
    std::vector<std::string> names = dll->ExportedNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Get", "GetReadSize", "IsRun", "Post", "ReadString",
                                               "ReadStringUTF8ToSJIS", "Stop"}));
    EXPECT_EQ(dll->ExportedFunctionCount(), 7u);
}

TEST_F(HostAbi, AHostObjectWrittenInCDrivesGetPostAndRead) {
    const std::string body = "read into a C object";
    FixtureServer server({OkReply(body), OkReply("posted")});
    ASSERT_TRUE(server.listening()) << server.failure();
    const int strayBefore = CHostStringStrayCalls();
    CHostString url, data, target;
    CHostStringInit(&url, server.Url("c-host").c_str());
    CHostStringInit(&data, "from=C&x=1");
    CHostStringInit(&target, "(not set)");

    ASSERT_TRUE(dll->Get(reinterpret_cast<HostString*>(&url)));
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_TRUE(dll->ReadString(reinterpret_cast<HostString*>(&target)));
    EXPECT_EQ(std::string(target.text), body);

    ASSERT_TRUE(dll->Post(reinterpret_cast<HostString*>(&url), reinterpret_cast<HostString*>(&data)));
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_TRUE(dll->ReadStringUTF8ToSJIS(reinterpret_cast<HostString*>(&target)));
    EXPECT_EQ(std::string(target.text), "posted");

    EXPECT_EQ(server.Request(0).requestLine, "GET /c-host HTTP/1.1");
    EXPECT_EQ(server.Request(1).body, "from=C&x=1");
    EXPECT_EQ(url.gets, 2);
    EXPECT_EQ(data.gets, 1);
    EXPECT_EQ(target.gets, 0);
    EXPECT_EQ(target.sets, 2);
    EXPECT_EQ(CHostStringStrayCalls(), strayBefore) << "called with a pointer that is no object";
    EXPECT_TRUE(BoxTexts().empty());
    CHostStringFree(&url);
    CHostStringFree(&data);
    CHostStringFree(&target);
}

TEST_F(HostAbi, AHostObjectWrittenInCppDrivesGetPostAndRead) {
    const std::string body = "read into a C++ object";
    FixtureServer server({OkReply(body), OkReply("posted")});
    ASSERT_TRUE(server.listening()) << server.failure();
    CountingHostString url(server.Url("cpp-host"));
    CountingHostString data("from=C%2B%2B");
    CountingHostString target("(not set)");

    ASSERT_TRUE(dll->Get(&url));
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_TRUE(dll->ReadString(&target));
    EXPECT_EQ(target.text(), body);

    ASSERT_TRUE(dll->Post(&url, &data));
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_TRUE(dll->ReadStringUTF8ToSJIS(&target));
    EXPECT_EQ(target.text(), "posted");

    EXPECT_EQ(server.Request(0).requestLine, "GET /cpp-host HTTP/1.1");
    EXPECT_EQ(server.Request(1).body, "from=C%2B%2B");
    EXPECT_EQ(url.gets(), 2);
    EXPECT_EQ(data.gets(), 1);
    EXPECT_EQ(target.gets(), 0);
    EXPECT_EQ(target.sets(), 2);
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(HostAbi, NullObjectsAreRefusedAndNothingElseHappens) {
    CountingHostString url("http://127.0.0.1:1/never");
    CountingHostString data("never");

    EXPECT_FALSE(dll->Get(nullptr));
    EXPECT_FALSE(dll->Post(nullptr, &data));
    EXPECT_FALSE(dll->Post(&url, nullptr));
    EXPECT_FALSE(dll->Post(nullptr, nullptr));
    EXPECT_FALSE(dll->ReadString(nullptr));
    EXPECT_FALSE(dll->ReadStringUTF8ToSJIS(nullptr));

    EXPECT_EQ(url.gets(), 0);
    EXPECT_EQ(data.gets(), 0);
    EXPECT_FALSE(dll->IsRun());
    EXPECT_EQ(dll->GetReadSize(), 0u);
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(HostAbi, ANullObjectLeavesARunningTransferAlone) {
    const std::string body = "still running";
    Gate release;
    FixtureServer server(
        ReplyScript().HoldUntil(release).Send(SizedHead(200, "OK", body.size()) + body));
    ASSERT_TRUE(server.listening()) << server.failure();
    CountingHostString data("never");

    ASSERT_TRUE(Get(server.Url("held")));
    ASSERT_TRUE(server.WaitForRequests(1));
    EXPECT_FALSE(dll->Get(nullptr));
    EXPECT_FALSE(dll->Post(nullptr, &data));
    EXPECT_FALSE(dll->ReadString(nullptr));
    EXPECT_TRUE(dll->IsRun());
    EXPECT_TRUE(BoxTexts().empty());

    release.Open();
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(ReadText(), body);
    EXPECT_EQ(server.ConnectionCount(), 1u);
    EXPECT_TRUE(BoxTexts().empty());
}

// A null text is an empty URL: the worker starts and InternetConnect
// rejects the empty server name.
TEST_F(HostAbi, ANullUrlTextCountsAsEmpty) {
    CountingHostString cppUrl = CountingHostString::WithNullText();
    EXPECT_TRUE(dll->Get(&cppUrl));
    ASSERT_TRUE(WaitUntilIdle());

    CHostString cUrl;
    CHostStringInitNullText(&cUrl);
    CountingHostString data("d=1");
    EXPECT_TRUE(dll->Post(reinterpret_cast<HostString*>(&cUrl), &data));
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(cUrl.gets, 1);
    CHostStringFree(&cUrl);

    const std::string emptyHost = ErrorBoxText("InternetConnect error 87\n");
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{emptyHost, emptyHost}));
}

TEST_F(HostAbi, ANullDataTextIsAnEmptyBody) {
    FixtureServer server(OkReply("ok"));
    ASSERT_TRUE(server.listening()) << server.failure();
    CountingHostString url(server.Url("form"));
    CHostString data;
    CHostStringInitNullText(&data);

    EXPECT_TRUE(dll->Post(&url, reinterpret_cast<HostString*>(&data)));
    ASSERT_TRUE(WaitUntilIdle());
    CHostStringFree(&data);

    RecordedRequest request = server.Request();
    EXPECT_EQ(request.requestLine, "POST /form HTTP/1.1");
    EXPECT_EQ(request.Header("Content-Length"), "0");
    EXPECT_EQ(request.body, "");
    EXPECT_EQ(ReadText(), "ok");
    EXPECT_TRUE(BoxTexts().empty());
}
