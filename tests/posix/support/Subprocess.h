// Child processes for the tests (the C host, the TLS server, openssl), and
// a scratch folder that goes away with the test.
#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

class Subprocess {
public:
    // Runs argv[0] (looked up in PATH) with this environment; its standard
    // output and error go to the given files ("" keeps the test's own).
    Subprocess(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
               const std::string& outPath = "", const std::string& errPath = "");
    ~Subprocess();  // a child still running is killed
    Subprocess(const Subprocess&) = delete;
    Subprocess& operator=(const Subprocess&) = delete;

    bool Started() const { return pid_ > 0; }
    // The exit code; -1 when a signal ended it, -2 when it still ran after
    // the limit (it is then killed).
    int Wait(std::chrono::seconds limit);

private:
    pid_t pid_ = -1;
};

// This process's environment without the variables named.
std::vector<std::string> EnvironmentWithout(const std::vector<std::string>& names);

class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    std::string Path(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string ReadWholeFile(const std::string& path);
