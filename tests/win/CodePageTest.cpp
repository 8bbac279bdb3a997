// ReadStringUTF8ToSJIS: the body converted from UTF-8 to the ANSI code page
// that Wine takes from the locale (LC_ALL) of the ctest entry.
#include "FixtureServer.h"
#include "LibraryTest.h"

struct AnsiCase {
    const char* name;
    std::string utf8;
    std::string ansi;
};

template <unsigned CodePage>
class AnsiCodePageTest : public LibraryTest, public ::testing::WithParamInterface<AnsiCase> {
protected:
    void SetUp() override {
        ASSERT_EQ(::GetACP(), CodePage) << "this suite needs ANSI code page " << CodePage
                                        << " (see the LC_ALL of its ctest entry)";
        LibraryTest::SetUp();
    }

    void ExpectConversion() {
        const AnsiCase& c = GetParam();
        FixtureServer server(OkReply(c.utf8));
        ASSERT_TRUE(server.listening()) << server.failure();

        ASSERT_TRUE(Get(server.Url("text")));
        ASSERT_TRUE(WaitUntilIdle());

        EXPECT_EQ(ReadAnsiText(), c.ansi);
        EXPECT_EQ(dll->GetReadSize(), c.utf8.size()) << "counts the bytes received";
        EXPECT_EQ(ReadText(), c.utf8.substr(0, c.utf8.find('\0'))) << "the plain read is unchanged";
        EXPECT_TRUE(BoxTexts().empty());
    }
};

std::string CaseName(const ::testing::TestParamInfo<AnsiCase>& info) { return info.param.name; }

using AnsiCodePage932 = AnsiCodePageTest<932>;
using AnsiCodePage1252 = AnsiCodePageTest<1252>;

TEST_P(AnsiCodePage932, ConvertsTheBodyFromUtf8) { ExpectConversion(); }
TEST_P(AnsiCodePage1252, ConvertsTheBodyFromUtf8) { ExpectConversion(); }

INSTANTIATE_TEST_SUITE_P(
    Texts, AnsiCodePage932,
    ::testing::Values(
        AnsiCase{"Kanji", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", "\x93\xFA\x96\x7B\x8C\xEA"},
        AnsiCase{"EuroSignBecomesSpace", "\xE2\x82\xAC", " "},
        AnsiCase{"Ascii", "plain ASCII, 0-9 ~!", "plain ASCII, 0-9 ~!"},
        AnsiCase{"HalfWidthKatakana", "\xEF\xBD\xB1", "\xB1"},
        AnsiCase{"Mixed", "a\xE6\x97\xA5\xE2\x82\xAC" "b", "a\x93\xFA b"},
        AnsiCase{"UpToTheZeroByte", std::string("\xE6\x97\xA5\0\xE6\x9C\xAC", 7), "\x93\xFA"}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    Texts, AnsiCodePage1252,
    ::testing::Values(
        AnsiCase{"AccentedLetter", "\xC3\xA9", "\xE9"},
        AnsiCase{"KanjiBecomesSpace", "\xE6\x97\xA5", " "},
        AnsiCase{"EuroSign", "\xE2\x82\xAC", "\x80"},
        AnsiCase{"Ascii", "plain ASCII, 0-9 ~!", "plain ASCII, 0-9 ~!"},
        AnsiCase{"Mixed", "Gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5!", "Gr\xFC\xDF" "e  !"}),
    CaseName);
