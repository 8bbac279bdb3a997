// How long the load tests run: short in CI, long with QUILLBARROW_SOAK=1
// in the environment (or --gtest_also_run_disabled_tests for the tests that
// exist only as soaks).
#pragma once

#include <cstdlib>
#include <cstring>

inline bool SoakRun() {
    const char* value = std::getenv("QUILLBARROW_SOAK");
    return value != nullptr && std::strcmp(value, "") != 0 && std::strcmp(value, "0") != 0;
}

inline int RunCount(int inCi, int inSoak) { return SoakRun() ? inSoak : inCi; }
