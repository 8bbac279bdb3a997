// The library's exported functions: plain C, caller cleans the stack.
#pragma once

#include <cstdint>

#include "exports/HostString.h"

extern "C" {
bool Get(HostString* url);
bool Post(HostString* url, HostString* data);
bool IsRun();
void Stop();
std::uint32_t GetReadSize();
bool ReadString(HostString* target);
bool ReadStringUTF8ToSJIS(HostString* target);
}
