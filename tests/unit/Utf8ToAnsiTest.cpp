#include "exports/Utf8ToAnsi.h"

#include "FakeTest.h"
#include "TestHostString.h"
#include "exports/ReadBody.h"

namespace {

class Utf8ToAnsiTest : public FakeTest {};

TEST_F(Utf8ToAnsiTest, MakesTheFourCallsWithTheirArguments) {
    EXPECT_EQ(Utf8ToAnsi("ab"), "ab");
    EXPECT_EQ(Fake::Calls(), (std::vector<std::string>{
                                 "MultiByteToWideChar(65001, 0, -1, null, 0)",
                                 "MultiByteToWideChar(65001, 0, -1, buffer, 3)",
                                 "WideCharToMultiByte(0, 0, -1, null, 0, \" \", null)",
                                 "WideCharToMultiByte(0, 0, -1, buffer, 3, \" \", null)",
                             }));
}

TEST_F(Utf8ToAnsiTest, ConvertsUpToTheFirstZeroByte) {
    EXPECT_EQ(Utf8ToAnsi("caf\xc3\xa9\0tail"), "caf\xe9");
    // The fake's code page is Latin-1: a CJK character has no byte there.
    EXPECT_EQ(Utf8ToAnsi("a\xe6\x97\xa5" "b"), "a b");
    EXPECT_EQ(Utf8ToAnsi("\xef\xbb\xbfx"), " x");  // a byte-order mark is converted, not dropped
    EXPECT_EQ(Utf8ToAnsi(""), "");
}

TEST_F(Utf8ToAnsiTest, AnyFailedCallYieldsTheEmptyString) {
    for (int call = 1; call <= 4; ++call) {
        Fake::Reset();
        Fake::Current().FailingConversionCall = call;
        EXPECT_EQ(Utf8ToAnsi("text"), "") << "call " << call;
    }
}

TEST_F(Utf8ToAnsiTest, TheExportDeliversAFailedConversionAsEmptyText) {
    TransferState state;
    state.Body.Append("text", 4);
    Fake::Current().FailingConversionCall = 3;
    TestHostString target("old");
    EXPECT_TRUE(ReadBody(state, target, Utf8ToAnsi));
    EXPECT_EQ(target.text(), "");
    EXPECT_EQ(target.sets, 1);
}

TEST_F(Utf8ToAnsiTest, AnEmptyBodyIsNotConverted) {
    TransferState state;
    TestHostString target("old");
    EXPECT_TRUE(ReadBody(state, target, Utf8ToAnsi));
    EXPECT_EQ(target.text(), "");
    EXPECT_TRUE(Fake::Calls().empty());

    state.Body.Append("\0abc", 4);
    EXPECT_TRUE(ReadBody(state, target, Utf8ToAnsi));
    EXPECT_EQ(target.text(), "");
    EXPECT_EQ(state.Body.size(), 4u);
}

}  // namespace
