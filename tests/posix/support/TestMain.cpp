// The messages go to a memory file the tests read; proxies from the
// environment would take the loopback requests elsewhere, so they go.
#include <cstdlib>

#include <gtest/gtest.h>

#include "Quillbarrow.h"

int main(int argc, char** argv) {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY",
                             "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
        unsetenv(name);
    }
    SetUpMessageCapture();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
