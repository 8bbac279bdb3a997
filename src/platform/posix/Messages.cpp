// Message boxes on Linux: there is no dialog every host has, so a message
// goes to standard error (or to the descriptor named by
// QUILLBARROW_MESSAGE_FD) as one line "<caption>: <text>" and the call
// returns at once. The style (OK button, topmost) has no meaning here.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/Platform.h"
#include "platform/posix/BackEnd.h"

namespace {
int MessageFd = STDERR_FILENO;

void WriteAll(int fd, const char* bytes, std::size_t count) {
    while (count > 0) {
        ssize_t written = ::write(fd, bytes, count);
        if (written < 0) {
            if (errno == EINTR) continue;
            return;  // nowhere to report a failed report
        }
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
}
}  // namespace

namespace PosixBackEnd {

void ConfigureMessages() {
    MessageFd = STDERR_FILENO;
    const char* value = std::getenv("QUILLBARROW_MESSAGE_FD");
    if (value == nullptr || *value == '\0') return;
    char* end = nullptr;
    long fd = std::strtol(value, &end, 10);
    if (*end == '\0' && fd >= 0 && fd <= 65535) MessageFd = static_cast<int>(fd);
}

}  // namespace PosixBackEnd

namespace Platform {

// The text is written whole, followed by one newline, in a single write
// where the descriptor allows it, so messages of two threads do not mix.
void ShowMessageBox(const char* text, const char* caption, std::uint32_t /*style*/) {
    std::string line;
    try {
        line.append(caption != nullptr ? caption : "");
        line.append(": ");
        line.append(text != nullptr ? text : "");
        line.push_back('\n');
    } catch (...) {
        return;
    }
    WriteAll(MessageFd, line.data(), line.size());
}

}  // namespace Platform
