// The host's string object: the library calls the first two virtual
// functions of its table, as member functions of the platform's C++ ABI
// (on 32-bit Windows: this in ECX, callee pops its arguments).
#pragma once

class HostString {
public:
    virtual const char* GetText() = 0;          // NUL-terminated; may be null
    virtual void SetText(const char* text) = 0;  // the host copies the text

protected:
    ~HostString() = default;  // not virtual: the table holds exactly these two
};
