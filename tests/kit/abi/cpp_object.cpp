// The same object as a C++ class from quillbarrow.h, for comparison: the
// compiler's own member-function convention, which the library calls.
#include "quillbarrow.h"

class KitText : public HostString {
public:
    const char* GetText();
    void SetText(const char* text);

private:
    const char* text_;
};

const char* KitText::GetText() { return text_; }
void KitText::SetText(const char* text) { text_ = text; }

KitText* MakeKitText() { return new KitText(); }
