// A host string object that keeps its text and counts the library's calls.
#pragma once

#include <string>

#include "exports/HostString.h"

class TestHostString final : public HostString {
public:
    explicit TestHostString(std::string text = "", bool nullText = false)
        : text_(std::move(text)), nullText_(nullText) {}

    const char* GetText() override {
        ++gets;
        return nullText_ ? nullptr : text_.c_str();
    }
    void SetText(const char* text) override {
        ++sets;
        text_ = text;
    }
    const std::string& text() const { return text_; }

    int gets = 0;
    int sets = 0;

private:
    std::string text_;
    bool nullText_;
};
