// A report's box belongs to the export that shows it: the export returns
// only once the box has been dismissed.
#include <atomic>
#include <thread>

#include "FixtureServer.h"
#include "Gate.h"
#include "LibraryTest.h"

// (Not "MessageBox": windows.h makes that name a macro.)
class ReportBox : public LibraryTest {};

TEST_F(ReportBox, HoldsTheExportThatShowsItUntilDismissed) {
    Gate shown;
    Gate dismiss;
    std::atomic<bool> stopReturned{false};
    std::atomic<bool> returnedWhileUp{false};
    std::atomic<bool> boxWindowFound{false};
    catcher.OnShown([&](const ShownBox&) { shown.Open(); });
    catcher.HoldOpenUntil([&] { return dismiss.IsOpen(); }, std::chrono::milliseconds(10000));

    ASSERT_TRUE(Get("http://127.0.0.1:" + std::to_string(ClosedLoopbackPort()) + "/x"));
    // While the box is up, another thread looks at it and at the export.
    std::thread user([&] {
        if (!shown.WaitFor(std::chrono::milliseconds(10000))) return;
        boxWindowFound = ::FindWindowA("#32770", "Quillbarrow") != nullptr;
        returnedWhileUp = stopReturned.load();
        dismiss.Open();
    });

    dll->Stop();  // awaits the worker, then shows its report
    stopReturned = true;
    user.join();

    EXPECT_TRUE(shown.IsOpen());
    EXPECT_TRUE(boxWindowFound);
    EXPECT_FALSE(returnedWhileUp) << "Stop returned while its box was still up";
    ASSERT_EQ(catcher.Count(), 1u);
    const ShownBox box = catcher.Boxes()[0];
    EXPECT_EQ(box.caption, "Quillbarrow");
    EXPECT_EQ(box.text, ErrorBoxText("HttpSendRequest error 12029\n"));
    EXPECT_FALSE(box.hasOwner);
}
