#include "exports/Exports.h"

#include <string>
#include <utility>

#include "exports/HostText.h"
#include "exports/ReadBody.h"
#include "exports/Utf8ToAnsi.h"
#include "transfer/Library.h"
#include "transfer/Messages.h"
#include "transfer/Transfer.h"

// No exception may reach the host: every export catches them all and
// answers as for a call that could not be carried out.

bool Get(HostString* url) {
    if (url == nullptr) return false;
    try {
        return StartTransfer(LibraryState(), CopyHostText(*url).c_str(), "GET", std::string());
    } catch (...) {
        return false;
    }
}

bool Post(HostString* url, HostString* data) {
    if (url == nullptr || data == nullptr) return false;
    try {
        std::string body = CopyHostText(*data);  // the data is asked before the URL
        return StartTransfer(LibraryState(), CopyHostText(*url).c_str(), "POST", std::move(body));
    } catch (...) {
        return false;
    }
}

bool IsRun() {
    try {
        TransferState& state = LibraryState();
        if (WorkerRunning(state)) return true;
        FinishTransfer(state);
    } catch (...) {
    }
    return false;
}

void Stop() {
    try {
        FinishTransfer(LibraryState());
    } catch (...) {
    }
}

std::uint32_t GetReadSize() {
    try {
        TransferState& state = LibraryState();
        ReportPendingError(state);
        // The count is published after its bytes: no lock, so this never
        // waits for a read or a growth of the body under way.
        return static_cast<std::uint32_t>(state.Body.size());
    } catch (...) {
        return 0;
    }
}

bool ReadString(HostString* target) {
    if (target == nullptr) return false;
    try {
        return ReadBody(LibraryState(), *target, nullptr);
    } catch (...) {
        return false;
    }
}

bool ReadStringUTF8ToSJIS(HostString* target) {
    if (target == nullptr) return false;
    try {
        return ReadBody(LibraryState(), *target, Utf8ToAnsi);
    } catch (...) {
        return false;
    }
}
