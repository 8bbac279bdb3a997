// Catches the library's message boxes on the calling thread (a WH_CBT hook),
// keeps their texts and dismisses them, so that a failing run reports what
// went wrong instead of waiting on a box nobody sees.
#pragma once

#include <string>
#include <vector>

class MessageWatch {
public:
    MessageWatch();
    ~MessageWatch();
    MessageWatch(const MessageWatch&) = delete;
    MessageWatch& operator=(const MessageWatch&) = delete;

    static const std::vector<std::string>& Texts();
};
