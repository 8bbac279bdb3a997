// A one-request HTTP server on 127.0.0.1 for the demo run: it listens on
// a free port from construction on, answers the first request on a thread
// of its own and ends; without a request it gives up after half a minute.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <string>
#include <thread>

class DemoServer {
public:
    explicit DemoServer(bool verbose);  // throws std::runtime_error
    ~DemoServer();                      // stops waiting and joins the thread
    DemoServer(const DemoServer&) = delete;
    DemoServer& operator=(const DemoServer&) = delete;

    std::string Url() const;  // "http://127.0.0.1:PORT/demo"

private:
    void Release();
    void Serve();
    void Answer(SOCKET client);

    // Set up in this order; Release frees whatever is set.
    bool winsock_ = false;
    SOCKET listener_ = INVALID_SOCKET;
    WSAEVENT acceptEvent_ = WSA_INVALID_EVENT;
    HANDLE stopEvent_ = nullptr;
    unsigned short port_ = 0;
    bool verbose_;
    std::thread thread_;
};
