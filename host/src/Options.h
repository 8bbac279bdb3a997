// The command line of quillbarrow-host.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct Options {
    std::string Url;                // empty: fetch from the built-in demo server
    std::optional<std::string> PostData;  // set: Post instead of Get
    bool Ansi = false;              // read with ReadStringUTF8ToSJIS
    std::string OutFile;            // empty: write the body to stdout
    bool Quiet = false;             // no progress lines
    bool DismissMessages = false;   // report and close the library's message boxes
    bool Help = false;
};

extern const char UsageText[];

// Parses the arguments after the program name. Throws std::invalid_argument
// with a message fit for the user on a malformed command line.
Options ParseOptions(const std::vector<std::string>& args);
