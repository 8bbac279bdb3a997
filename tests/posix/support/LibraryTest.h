// Base of the tests that drive the loaded library: a fresh load and an
// empty message file for each test, and the exports called with texts.
#pragma once

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "LoopbackServer.h"
#include "Quillbarrow.h"
#include "TestStrings.h"

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearMessages();
        library = std::make_unique<Quillbarrow>();
        ASSERT_TRUE(library->Loaded());
    }
    void TearDown() override { library.reset(); }

    bool Get(const std::string& url) {
        TestString text(url);
        return library->Get(&text);
    }
    bool Post(const std::string& url, const std::string& data) {
        TestString urlText(url), dataText(data);
        return library->Post(&urlText, &dataText);
    }
    // Fetches with GET and waits for the end of the transfer.
    void Fetch(const std::string& url) {
        ASSERT_TRUE(Get(url));
        ASSERT_TRUE(library->WaitUntilIdle());
    }

    std::unique_ptr<Quillbarrow> library;
};

// The request the library sends for a GET of `target` from `host`.
inline std::string GetRequest(const std::string& target, const std::string& host) {
    return "GET " + target + " HTTP/1.1\r\nHost: " + host +
           "\r\nUser-Agent: Ferrywright\r\nReferer: " + host +
           "\r\nCache-Control: no-cache\r\nPragma: no-cache\r\n\r\n";
}

// A loopback address of this test process's own (127.x.y.z from the pid),
// for servers that must listen on a fixed port such as 80 or 443.
std::string UniqueLoopbackAddress();
