// Taking text from a host string object.
#pragma once

#include <string>

#include "exports/HostString.h"

// The object's text copied up to its NUL; a null text counts as empty.
std::string CopyHostText(HostString& object);
