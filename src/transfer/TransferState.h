// The one record that holds everything about the current transfer.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "platform/Platform.h"
#include "transfer/BodyBuffer.h"

struct TransferState {
    Platform::Handle WorkerThread = nullptr;  // awaitable end of the worker, or none
    Platform::Handle StopEvent = nullptr;     // auto-reset; signalled to ask the worker to stop

    // Request fields: written by StartTransfer only while no worker lives.
    std::string Host;        // server part of the URL as written; also the referrer
    std::string Path;        // object part, control bytes percent-encoded
    std::string PostData;    // request body; empty for a GET
    std::string Verb;        // "GET" or "POST"
    std::string ServerName;  // Host without an explicit ":port"
    std::uint16_t Port = 80;
    bool Secure = false;     // "https://": TLS on port 443 unless a port is given

    // Filled by the worker. GetReadSize, the one reader that does not wait
    // for the worker to end, reads Body's count (safe at any time) and takes
    // ErrorText under Lock, which is never held across a WinINet call or a
    // message box.
    BodyBuffer Body;
    std::string ErrorText;
    std::mutex Lock;
};
