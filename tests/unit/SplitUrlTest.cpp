#include "transfer/SplitUrl.h"

#include <gtest/gtest.h>

namespace {

struct UrlCase {
    const char* Url;
    const char* Host;
    const char* Path;
    const char* ServerName;
    std::uint16_t Port;
    bool Secure;
};

class SplitUrlCases : public ::testing::TestWithParam<UrlCase> {};

TEST_P(SplitUrlCases, SplitsServerObjectAndPort) {
    const UrlCase& c = GetParam();
    UrlParts parts = SplitUrl(c.Url);
    EXPECT_EQ(parts.Host, c.Host);
    EXPECT_EQ(parts.Path, c.Path);
    EXPECT_EQ(parts.ServerName, c.ServerName);
    EXPECT_EQ(parts.Port, c.Port);
    EXPECT_EQ(parts.Secure, c.Secure);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SplitUrlCases,
    ::testing::Values(
        UrlCase{"http://example.com/a/b.html", "example.com", "a/b.html", "example.com", 80, false},
        UrlCase{"example.com/a", "example.com", "a", "example.com", 80, false},
        UrlCase{"http://", "", "", "", 80, false},
        UrlCase{"", "", "", "", 80, false},
        UrlCase{"http://example.com", "example.com", "", "example.com", 80, false},
        UrlCase{"http://example.com/", "example.com", "", "example.com", 80, false},
        UrlCase{"http://h/p?q=1&r=2#frag", "h", "p?q=1&r=2#frag", "h", 80, false},
        UrlCase{"http://h//double", "h", "/double", "h", 80, false},
        UrlCase{"https://secure.example/x", "secure.example", "x", "secure.example", 443, true},
        UrlCase{"HTTP://Example.com/X", "Example.com", "X", "Example.com", 80, false},
        UrlCase{"HtTpS://h/x", "h", "x", "h", 443, true},
        UrlCase{"http://h:8080/x", "h:8080", "x", "h", 8080, false},
        UrlCase{"https://h:8443/", "h:8443", "", "h", 8443, true},
        UrlCase{"http://user:pw@h/x", "user:pw@h", "x", "user:pw@h", 80, false},
        UrlCase{"http://h:0/x", "h:0", "x", "h:0", 80, false},
        UrlCase{"http://h:65536/x", "h:65536", "x", "h:65536", 80, false},
        UrlCase{"http://h:80a/x", "h:80a", "x", "h:80a", 80, false},
        UrlCase{"http://h:/x", "h:", "x", "h:", 80, false},
        UrlCase{"ftp://h/x", "ftp:", "/h/x", "ftp:", 80, false},
        UrlCase{"http://h/a\r\nX-Injected: 1", "h", "a%0D%0AX-Injected: 1", "h", 80, false},
        UrlCase{"http://h/\x01\x1f\x7f%41", "h", "%01%1F%7F%41", "h", 80, false},
        UrlCase{"http://h/\xe6\x97\xa5", "h", "\xe6\x97\xa5", "h", 80, false}));

TEST(HostCheck, RejectsControlBytesAndSpaces) {
    EXPECT_FALSE(HasInvalidHostByte("example.com:8080"));
    EXPECT_FALSE(HasInvalidHostByte(""));
    EXPECT_TRUE(HasInvalidHostByte("exa mple.com"));
    EXPECT_TRUE(HasInvalidHostByte("example.com\r\nX: 1"));
    EXPECT_TRUE(HasInvalidHostByte("a\x7f"));
    EXPECT_TRUE(HasInvalidHostByte("\t"));
}

}  // namespace
