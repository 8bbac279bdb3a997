#include "LibraryTest.h"

#include <thread>

std::string ErrorBoxText(const std::string& line) { return "Quillbarrow error\n" + line; }

bool PollUntil(const std::function<bool()>& poll, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (poll()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void LibraryTest::SetUp() {
    ASSERT_TRUE(catcher.installed()) << "WH_CBT hook not installed, error " << ::GetLastError();
    dll = std::make_unique<QuillbarrowDll>();
    ASSERT_TRUE(dll->loaded()) << dll->failure();
}

void LibraryTest::TearDown() {
    // What a test gave the catcher refers to its own locals, gone by now;
    // the unload may still show a box.
    catcher.OnShown(nullptr);
    catcher.HoldOpenUntil(nullptr, std::chrono::milliseconds(0));
    if (dll) dll->Unload();
    // The next test must load a fresh library, not find this one still held
    // by a worker that is finishing its set-up.
    EXPECT_TRUE(QuillbarrowDll::WaitUntilUnmapped(std::chrono::milliseconds(75000)))
        << "Quillbarrow.dll stayed loaded after the unload";
    for (const ShownBox& box : catcher.Boxes()) {
        EXPECT_EQ(box.caption, "Quillbarrow") << "box text: " << box.text;
        EXPECT_TRUE(box.onHostThread) << "box shown on another thread: " << box.text;
    }
}

bool LibraryTest::Get(const std::string& url) {
    CountingHostString host(url);
    return dll->Get(&host);
}

bool LibraryTest::Post(const std::string& url, const std::string& data) {
    CountingHostString urlHost(url);
    CountingHostString dataHost(data);
    return dll->Post(&urlHost, &dataHost);
}

bool LibraryTest::WaitUntilIdle(std::chrono::milliseconds limit) {
    return PollUntil([this] { return !dll->IsRun(); }, limit);
}

bool LibraryTest::WaitForReadSize(std::uint32_t size, std::chrono::milliseconds limit) {
    return PollUntil([&] { return dll->GetReadSize() >= size; }, limit);
}

std::string LibraryTest::ReadText() {
    CountingHostString target("(not set)");
    EXPECT_TRUE(dll->ReadString(&target));
    return target.text();
}

std::string LibraryTest::ReadAnsiText() {
    CountingHostString target("(not set)");
    EXPECT_TRUE(dll->ReadStringUTF8ToSJIS(&target));
    return target.text();
}

std::vector<std::string> LibraryTest::BoxTexts() const {
    std::vector<std::string> texts;
    for (const ShownBox& box : catcher.Boxes()) texts.push_back(box.text);
    return texts;
}
