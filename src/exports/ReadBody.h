// Delivering Body to a host string object, optionally converted.
#pragma once

#include <string>

#include "exports/HostString.h"
#include "transfer/TransferState.h"

using BodyConversion = std::string (*)(const char* text);

// False while the worker runs (the target is then not touched); otherwise
// finishes the transfer, hands Body's text to the target and returns true.
bool ReadBody(TransferState& state, HostString& target, BodyConversion conversion);
