// A host string object written in C++ against the library's HostString: it
// keeps its text, counts the library's calls and can write them to a shared
// log so that a test sees their order.
#pragma once

#include <string>
#include <vector>

#include "HostString.h"

class CountingHostString final : public HostString {
public:
    explicit CountingHostString(std::string text = "") : text_(std::move(text)) {}
    // An object whose GetText returns a null pointer.
    static CountingHostString WithNullText();
    ~CountingHostString() = default;

    const char* GetText() override;
    void SetText(const char* text) override;

    // Each call appends "<name>.GetText" or "<name>.SetText" to the log.
    void LogCallsTo(std::vector<std::string>& log, std::string name);

    const std::string& text() const { return text_; }
    int gets() const { return gets_; }
    int sets() const { return sets_; }

private:
    std::string text_;
    bool nullText_ = false;
    int gets_ = 0;
    int sets_ = 0;
    std::vector<std::string>* log_ = nullptr;
    std::string name_;
};
