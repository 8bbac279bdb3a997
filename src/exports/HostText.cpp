#include "exports/HostText.h"

std::string CopyHostText(HostString& object) {
    const char* text = object.GetText();
    return text == nullptr ? std::string() : std::string(text);
}
