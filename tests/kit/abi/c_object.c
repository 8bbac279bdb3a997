/* A C string object built with quillbarrow.h, compiled for 32-bit x86 by
   check-thiscall.sh, which reads the calling convention off the code. */
#include "quillbarrow.h"

typedef struct KitText {
    HostString base;
    const char* text;
} KitText;

const char* QUILLBARROW_THISCALL KitGetText(HostString* self QUILLBARROW_EDX_PARAM) {
    return ((KitText*)self)->text;
}

void QUILLBARROW_THISCALL KitSetText(HostString* self QUILLBARROW_EDX_PARAM, const char* text) {
    ((KitText*)self)->text = text;
}

const HostStringVtbl KitTextVtbl = {KitGetText, KitSetText};
