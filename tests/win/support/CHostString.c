#include "CHostString.h"

#include <stdlib.h>
#include <string.h>

#define MAX_LIVE 32

static CHostString* live[MAX_LIVE];
static int strayCalls;

static int IsLive(const CHostString* self) {
    int i;
    for (i = 0; i < MAX_LIVE; ++i) {
        if (live[i] == self && self != NULL) return 1;
    }
    return 0;
}

static char* CopyOf(const char* text) {
    size_t length = strlen(text);
    char* copy = (char*)malloc(length + 1);
    if (copy != NULL) memcpy(copy, text, length + 1);
    return copy;
}

static const char* C_HOST_MEMBER GetTextOf(CHostString* self) {
    if (!IsLive(self)) {
        ++strayCalls;
        return "";
    }
    ++self->gets;
    return self->text;
}

static void C_HOST_MEMBER SetTextOf(CHostString* self, const char* text) {
    if (!IsLive(self)) {
        ++strayCalls;
        return;
    }
    ++self->sets;
    free(self->text);
    self->text = CopyOf(text != NULL ? text : "<null>");
}

static const CHostStringTable Table = {GetTextOf, SetTextOf};

static void Register(CHostString* object) {
    int i;
    for (i = 0; i < MAX_LIVE; ++i) {
        if (live[i] == NULL) {
            live[i] = object;
            return;
        }
    }
}

void CHostStringInit(CHostString* object, const char* text) {
    object->table = &Table;
    object->text = CopyOf(text);
    object->gets = 0;
    object->sets = 0;
    Register(object);
}

void CHostStringInitNullText(CHostString* object) {
    object->table = &Table;
    object->text = NULL;
    object->gets = 0;
    object->sets = 0;
    Register(object);
}

void CHostStringFree(CHostString* object) {
    int i;
    for (i = 0; i < MAX_LIVE; ++i) {
        if (live[i] == object) live[i] = NULL;
    }
    free(object->text);
    object->text = NULL;
}

int CHostStringStrayCalls(void) { return strayCalls; }
