// The iconv conversion: first the two Platform functions with Windows'
// length conventions, then the whole way through ReadStringUTF8ToSJIS.
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "support/LibraryTest.h"

namespace {

std::u16string Wide(const char* utf8, int length = -1) {
    int units = Platform::MultiByteToWideChar(65001, 0, utf8, length, nullptr, 0);
    std::u16string out(static_cast<std::size_t>(units > 0 ? units : 0), u'\0');
    if (units > 0 && Platform::MultiByteToWideChar(65001, 0, utf8, length, out.data(), units) != units) {
        return u"(failed)";
    }
    return out;
}

std::string Ansi(const std::u16string& wide, int* usedDefault = nullptr) {
    int length = static_cast<int>(wide.size());
    int bytes = Platform::WideCharToMultiByte(0, 0, wide.data(), length, nullptr, 0, " ", usedDefault);
    std::string out(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0 && Platform::WideCharToMultiByte(0, 0, wide.data(), length, out.data(), bytes, " ",
                                                   usedDefault) != bytes) {
        return "(failed)";
    }
    return out;
}

TEST(ConversionTest, LengthMinusOneRunsToTheNulAndCountsIt) {
    EXPECT_EQ(Wide("ab\xE6\x97\xA5"), std::u16string(u"ab\u65E5") + u'\0');
    EXPECT_EQ(Wide(""), std::u16string(1, u'\0'));
    EXPECT_EQ(Wide("ab\0cd", 5), std::u16string(u"ab\0cd", 5));  // an explicit length goes past it
    const char16_t text[] = u"\u65E5x";
    EXPECT_EQ(Platform::WideCharToMultiByte(0, 0, text, -1, nullptr, 0, " ", nullptr), 4);
}

TEST(ConversionTest, TooSmallABufferFailsAndLeavesTheCountToAsk) {
    char16_t wide[2];
    EXPECT_EQ(Platform::MultiByteToWideChar(65001, 0, "abc", -1, wide, 2), 0);
    char narrow[2];
    EXPECT_EQ(Platform::WideCharToMultiByte(0, 0, u"\u65E5", -1, narrow, 2, " ", nullptr), 0);
    EXPECT_EQ(Platform::MultiByteToWideChar(65001, 0, "abc", 0, nullptr, 0), 0);  // nothing to convert
}

TEST(ConversionTest, MalformedUtf8BecomesReplacementsAndNeverFails) {
    struct Case {
        std::string utf8;
        std::u16string wide;
    };
    const std::vector<Case> cases = {
        {"a\xFF" "b", u"a\uFFFDb"},
        {"\xE6\x97", u"\uFFFD\uFFFD"},           // cut short at the end
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // an encoded surrogate
        {"\xC0\xAF", u"\uFFFD\uFFFD"},            // overlong
        {"\xF0\x9F\x98\x80", u"\U0001F600"},      // four bytes: a surrogate pair
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(Wide(c.utf8.c_str(), static_cast<int>(c.utf8.size())), c.wide);
    }
    char16_t out[8];
    EXPECT_EQ(Platform::MultiByteToWideChar(65001, 0x8, "a\xFF", 2, out, 8), 0);  // unless asked to fail
}

TEST(ConversionTest, CharactersCp932LacksBecomeTheDefaultCharacter) {
    struct Case {
        std::u16string wide;
        std::string ansi;
        bool usedDefault;
    };
    const std::vector<Case> cases = {
        {u"\u65E5\u672C\u8A9E", "\x93\xFA\x96\x7B\x8C\xEA", false},
        {u"abc", "abc", false},
        {u"\uFF71\uFF5E\u2460", "\xB1\x81\x60\x87\x40", false},  // half-width kana, wave dash, circled 1
        {u"\u20AC", " ", true},
        {u"x\uFFFDy", "x y", true},
        {u"\U0001F600", " ", true},          // a pair is one character, one space
        {std::u16string(1, u'\xD800') + u"z", " z", true},  // unpaired surrogate
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ansi);
        int used = -1;
        EXPECT_EQ(Ansi(c.wide, &used), c.ansi);
        EXPECT_EQ(used, c.usedDefault ? 1 : 0);
    }
}

class ConversionExportTest : public LibraryTest {};

TEST_F(ConversionExportTest, ReadStringUtf8ToSjisConvertsTheBody) {
    struct Case {
        std::string body;
        std::string sjis;
    };
    const std::vector<Case> cases = {
        {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", "\x93\xFA\x96\x7B\x8C\xEA"},
        {"price \xE2\x82\xAC" "5", "price  5"},
        {"bad \xFF byte", "bad   byte"},
        {"", ""},
    };
    std::vector<Reply> replies;
    for (const Case& c : cases) replies.push_back(OkReply(c.body));
    LoopbackServer server(replies);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        Fetch(server.Url("text"));
        TestString target("untouched");
        EXPECT_TRUE(library->ReadStringUTF8ToSJIS(&target));
        EXPECT_EQ(target.text(), c.sjis);
        EXPECT_EQ(library->Body(), c.body);  // the body itself stays as received
    }
    EXPECT_EQ(Messages(), "");
}

}  // namespace
