// A fixture for tests that do something hostile to the library and then
// check that it still makes a plain transfer as if nothing had been.
#pragma once

#include "LibraryTest.h"

class RecoveryTest : public LibraryTest {
protected:
    // A plain GET: the body arrives, the request line is the plain one, and
    // no box comes up.
    void ExpectANormalTransferAfterwards();
};
