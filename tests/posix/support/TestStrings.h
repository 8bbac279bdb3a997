// A host string object that keeps its text and logs the library's calls.
#pragma once

#include <string>
#include <vector>

#include "exports/HostString.h"

class TestString final : public HostString {
public:
    explicit TestString(std::string text = "", std::string name = "",
                        std::vector<std::string>* log = nullptr)
        : text_(std::move(text)), name_(std::move(name)), log_(log) {}

    const char* GetText() override {
        if (log_ != nullptr) log_->push_back("GetText " + name_);
        return text_.c_str();
    }
    void SetText(const char* text) override {
        if (log_ != nullptr) log_->push_back("SetText " + name_);
        ++sets;
        text_ = text;
    }
    const std::string& text() const { return text_; }

    int sets = 0;

private:
    std::string text_;
    std::string name_;
    std::vector<std::string>* log_;
};
