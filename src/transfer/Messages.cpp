#include "transfer/Messages.h"

#include <utility>

#include "http/FormatText.h"

const char EventCreationFailedText[] =
    "\x83\x43\x83\x78\x83\x93\x83\x67\x82\xcc\x8d\xec\x90\xac\x82\xc9\x8e\xb8\x94\x73"
    "\x82\xb5\x82\xdc\x82\xb5\x82\xbd";
const char ThreadCreationFailedText[] =
    "\x83\x58\x83\x8c\x83\x62\x83\x68\x82\xcc\x8d\xec\x90\xac\x82\xc9\x8e\xb8\x94\x73"
    "\x82\xb5\x82\xdc\x82\xb5\x82\xbd";

namespace {
constexpr std::uint32_t MessageStyle = 0x50000;  // MB_OK | MB_SETFOREGROUND | MB_TOPMOST
}

void ShowMessage(const std::string& text) {
    Platform::ShowMessageBox(text.c_str(), "Quillbarrow", MessageStyle);
}

void ReportPendingError(TransferState& state) {
    std::string pending;
    {
        std::lock_guard<std::mutex> guard(state.Lock);
        if (state.ErrorText.empty()) return;
        pending = std::move(state.ErrorText);
        state.ErrorText.clear();
    }
    // The error text is an argument, never the format.
    ShowMessage(FormatText("Quillbarrow error\n%s", pending.c_str()));
}
