#include "HostStrings.h"

CountingHostString CountingHostString::WithNullText() {
    CountingHostString object;
    object.nullText_ = true;
    return object;
}

const char* CountingHostString::GetText() {
    ++gets_;
    if (log_ != nullptr) log_->push_back(name_ + ".GetText");
    return nullText_ ? nullptr : text_.c_str();
}

void CountingHostString::SetText(const char* text) {
    ++sets_;
    if (log_ != nullptr) log_->push_back(name_ + ".SetText");
    text_ = text != nullptr ? text : "<null>";
    nullText_ = false;
}

void CountingHostString::LogCallsTo(std::vector<std::string>& log, std::string name) {
    log_ = &log;
    name_ = std::move(name);
}
