// Shared set-up for tests that run the core against the fake platform.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake/FakePlatform.h"
#include "transfer/SplitUrl.h"
#include "transfer/TransferState.h"

class FakeTest : public ::testing::Test {
protected:
    void SetUp() override { Fake::Reset(); }
    void TearDown() override { Fake::Reset(); }

    // Fills the request fields the way a start does.
    static void Prepare(TransferState& state, const std::string& url, const char* verb = "GET",
                        const std::string& postData = "") {
        UrlParts parts = SplitUrl(url);
        state.Host = parts.Host;
        state.Path = parts.Path;
        state.ServerName = parts.ServerName;
        state.Port = parts.Port;
        state.Secure = parts.Secure;
        state.Verb = verb;
        state.PostData = postData;
    }

    static void ReadsReturn(std::vector<std::string> chunks) {
        for (std::string& chunk : chunks) Fake::Current().Reads.push_back({std::move(chunk), false});
    }
};
