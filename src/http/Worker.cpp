#include "http/Worker.h"

#include <memory>

#include "http/FormatText.h"
#include "http/InternetHandle.h"
#include "transfer/SplitUrl.h"
#include "transfer/TransferState.h"

namespace {

constexpr char UserAgent[] = "Ferrywright";
constexpr char PostHeader[] = "Content-Type: application/x-www-form-urlencoded";
constexpr std::uint32_t OpenTypePreconfig = 0;
constexpr std::uint32_t ServiceHttp = 3;
constexpr std::uint32_t FlagReload = 0x80000000u;
constexpr std::uint32_t FlagSecure = 0x00800000u;
constexpr std::uint32_t ErrorInvalidUrl = 12005;
constexpr std::uint32_t ErrorNotEnoughMemory = 8;
constexpr std::uint32_t ReadBufferSize = 4096;

// WinINet's own options, with the limits Windows applies by default, so that
// no step waits on a silent server for ever.
constexpr std::uint32_t OptionConnectTimeout = 2;
constexpr std::uint32_t OptionSendTimeout = 5;
constexpr std::uint32_t OptionReceiveTimeout = 6;
constexpr std::uint32_t ConnectTimeoutMs = 60000;
constexpr std::uint32_t SendTimeoutMs = 30000;
constexpr std::uint32_t ReceiveTimeoutMs = 30000;

void AppendError(TransferState& state, const std::string& line) {
    std::lock_guard<std::mutex> guard(state.Lock);
    state.ErrorText += line;
}

bool StopRequested(const TransferState& state) {
    return state.StopEvent != nullptr && Platform::TestStopEvent(state.StopEvent);
}


}  // namespace

bool RunRequest(TransferState& state) {
    if (Platform::InternetAttemptConnect(0) != 0) {
        std::uint32_t result = Platform::InternetAttemptConnect(0);
        AppendError(state, FormatText("InternetAttemptConnect error %d\n", static_cast<int>(result)));
        return false;
    }

    InternetHandle internet(Platform::InternetOpen(UserAgent, OpenTypePreconfig, nullptr, nullptr, 0));
    if (!internet) {
        std::uint32_t error = Platform::GetLastError();
        AppendError(state, FormatText("InternetOpen error %d\n", static_cast<int>(error)));
        return false;
    }

    if (HasInvalidHostByte(state.Host)) {
        AppendError(state, FormatText("InternetConnect error %d\n", static_cast<int>(ErrorInvalidUrl)));
        return false;
    }
    InternetHandle connection(Platform::InternetConnect(internet.get(), state.ServerName.c_str(),
                                                        state.Port, nullptr, nullptr, ServiceHttp, 0, 0));
    if (!connection) {
        std::uint32_t error = Platform::GetLastError();
        AppendError(state, FormatText("InternetConnect error %d\n", static_cast<int>(error)));
        return false;
    }

    std::uint32_t flags = FlagReload | (state.Secure ? FlagSecure : 0);
    InternetHandle request(Platform::HttpOpenRequest(connection.get(), state.Verb.c_str(),
                                                     state.Path.c_str(), nullptr, state.Host.c_str(),
                                                     nullptr, flags, 0));
    if (!request) {
        std::uint32_t error = Platform::GetLastError();
        AppendError(state, FormatText("HttpOpenRequest error %d\n", static_cast<int>(error)));
        return false;
    }

    // Set on the request itself: Wine's WinINet does not pass the send and
    // receive limits down from the internet handle as Windows does.
    Platform::InternetSetTimeout(request.get(), OptionConnectTimeout, ConnectTimeoutMs);
    Platform::InternetSetTimeout(request.get(), OptionSendTimeout, SendTimeoutMs);
    Platform::InternetSetTimeout(request.get(), OptionReceiveTimeout, ReceiveTimeoutMs);

    bool isPost = state.Verb == "POST";
    const char* headers = isPost ? PostHeader : nullptr;
    std::uint32_t headersLength = isPost ? sizeof PostHeader - 1 : 0;
    const void* body = state.PostData.empty() ? nullptr : state.PostData.data();
    auto bodyLength = static_cast<std::uint32_t>(state.PostData.size());
    if (!Platform::HttpSendRequest(request.get(), headers, headersLength, body, bodyLength)) {
        std::uint32_t error = Platform::GetLastError();
        AppendError(state, FormatText("HttpSendRequest error %d\n", static_cast<int>(error)));
        return false;
    }
    Platform::EndWorkerSetUp();

    std::unique_ptr<char[]> readBuffer(new char[ReadBufferSize]());
    // Body's count may be read at any time; everything else of it is this
    // thread's alone until the worker ends, so no lock is taken for it.
    state.Body.Clear();
    for (;;) {
        if (StopRequested(state)) {
            AppendError(state, "EventStop\n");
            return false;
        }
        std::uint32_t read = 0;
        // A read that fails still hands over what it got before the failure
        // (a time-out part-way through a buffer): those bytes are kept.
        const bool readOk =
            Platform::InternetReadFile(request.get(), readBuffer.get(), ReadBufferSize, &read);
        if (read > 0 && !state.Body.Append(readBuffer.get(), read)) {
            AppendError(state, FormatText("InternetReadFile error %d\n",
                                          static_cast<int>(ErrorNotEnoughMemory)));
            return false;
        }
        if (!readOk || read == 0) break;
    }
    return true;
}

std::uint32_t WorkerMain(void* state) {
    try {
        return RunRequest(*static_cast<TransferState*>(state)) ? 0 : 0xFFFFFFFFu;
    } catch (...) {
        // Out of memory for a buffer or an error line: the handles are closed
        // by now, and the outcome is a failed run.
        return 0xFFFFFFFFu;
    }
}
