// The fixture of every integration test: a message-box catcher on the host
// (test) thread and a freshly loaded Quillbarrow.dll, unloaded at the end,
// so that no state survives from one test to the next.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "HostStrings.h"
#include "MessageBoxCatcher.h"
#include "QuillbarrowDll.h"

// The text of a worker failure's box around its one line.
std::string ErrorBoxText(const std::string& line);

class LibraryTest : public ::testing::Test {
protected:
    static constexpr std::chrono::milliseconds DefaultWait{10000};

    void SetUp() override;
    // Unloads the library (a box it shows then is caught), then checks that
    // every box of the test had the library's caption and came up on the
    // host thread.
    void TearDown() override;

    bool Get(const std::string& url);
    bool Post(const std::string& url, const std::string& data);
    // Asks IsRun until it answers false; false if it still ran at the limit.
    bool WaitUntilIdle(std::chrono::milliseconds limit = DefaultWait);
    // Asks GetReadSize until it reaches `size`; false at the limit.
    bool WaitForReadSize(std::uint32_t size, std::chrono::milliseconds limit = DefaultWait);
    // ReadString into a fresh host object; fails the test if it returned false.
    std::string ReadText();
    std::string ReadAnsiText();

    // The texts of the boxes so far, in order.
    std::vector<std::string> BoxTexts() const;

    MessageBoxCatcher catcher;
    std::unique_ptr<QuillbarrowDll> dll;
};

// Calls `poll` until it returns true; false if the limit passed first.
bool PollUntil(const std::function<bool()>& poll, std::chrono::milliseconds limit);
