#include "LibraryTest.h"

#include <unistd.h>

std::string UniqueLoopbackAddress() {
    unsigned pid = static_cast<unsigned>(getpid());
    unsigned last = pid & 0xFF;
    return "127." + std::to_string(100 + (pid >> 16) % 100) + "." + std::to_string((pid >> 8) & 0xFF) +
           "." + std::to_string(last == 0 || last == 255 ? 1 : last);
}
