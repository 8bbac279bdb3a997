/*
 * c_host.c - a C host that loads Quillbarrow.dll at run time, fetches one
 * URL with a GET and writes the body (up to its first zero byte) to stdout.
 *
 *   c_host URL
 *
 * The string object's table is built by hand; see quillbarrow.h for why its
 * two functions carry QUILLBARROW_THISCALL and QUILLBARROW_EDX_PARAM.
 * Exit status: 0 body written, 1 transfer not started or not read,
 * 2 usage, 3 Quillbarrow.dll or one of its exports missing.
 */
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "quillbarrow.h"

/* The host's string object: HostString comes first, so the library's
   HostString* is a pointer to the whole TextObject. */
typedef struct TextObject {
    HostString base;
    char* text; /* owned, never null */
} TextObject;

static const char* QUILLBARROW_THISCALL TextObject_GetText(HostString* self QUILLBARROW_EDX_PARAM) {
    return ((TextObject*)self)->text;
}

/* Keeps a copy: the library's pointer is valid only during the call. */
static void QUILLBARROW_THISCALL TextObject_SetText(HostString* self QUILLBARROW_EDX_PARAM,
                                                    const char* text) {
    TextObject* object = (TextObject*)self;
    size_t length = strlen(text);
    char* copy = (char*)malloc(length + 1);
    if (copy == NULL) return; /* out of memory: the old text stays */
    memcpy(copy, text, length + 1);
    free(object->text);
    object->text = copy;
}

static const HostStringVtbl TextObjectVtbl = {TextObject_GetText, TextObject_SetText};

static int TextObject_Init(TextObject* object, const char* text) {
    object->base.vtbl = &TextObjectVtbl;
    object->text = (char*)malloc(strlen(text) + 1);
    if (object->text == NULL) return 0;
    strcpy(object->text, text);
    return 1;
}

/* The seven exports, looked up by their undecorated names. */
typedef struct Quillbarrow {
    HMODULE module;
    QuillbarrowGetFn Get;
    QuillbarrowPostFn Post;
    QuillbarrowIsRunFn IsRun;
    QuillbarrowStopFn Stop;
    QuillbarrowGetReadSizeFn GetReadSize;
    QuillbarrowReadStringFn ReadString;
    QuillbarrowReadStringUTF8ToSJISFn ReadStringUTF8ToSJIS;
} Quillbarrow;

/* GetProcAddress returns a generic function pointer; the detour through
   void (*)(void) keeps the compiler from warning about the cast. */
#define QB_LOAD(api, name) \
    ((api)->name = (Quillbarrow##name##Fn)(void (*)(void))GetProcAddress((api)->module, #name))

static int Quillbarrow_Load(Quillbarrow* api) {
    api->module = LoadLibraryA("Quillbarrow.dll");
    if (api->module == NULL) return 0;
    if (QB_LOAD(api, Get) && QB_LOAD(api, Post) && QB_LOAD(api, IsRun) && QB_LOAD(api, Stop) &&
        QB_LOAD(api, GetReadSize) && QB_LOAD(api, ReadString) && QB_LOAD(api, ReadStringUTF8ToSJIS)) {
        return 1;
    }
    FreeLibrary(api->module);
    return 0;
}

/* Polls the transfer as a host's timer would, and stops it after a while.
   The worker never calls back: the host asks. */
static void WaitForTransfer(const Quillbarrow* api, DWORD limitMs) {
    DWORD waited = 0;
    while (api->IsRun()) {
        if (waited >= limitMs) {
            api->Stop(); /* waits until the worker has ended */
            return;
        }
        Sleep(50);
        waited += 50;
    }
}

int main(int argc, char** argv) {
    Quillbarrow api;
    TextObject url, body;
    uint32_t size;
    int status = 1;

    if (argc != 2) {
        fprintf(stderr, "usage: c_host URL\n");
        return 2;
    }
    url.text = body.text = NULL;
    if (!TextObject_Init(&url, argv[1]) || !TextObject_Init(&body, "")) {
        fprintf(stderr, "c_host: out of memory\n");
        status = 1;
        goto done;
    }
    if (!Quillbarrow_Load(&api)) {
        fprintf(stderr, "c_host: cannot load Quillbarrow.dll and its exports\n");
        status = 3;
        goto done;
    }

    if (api.Get(&url.base)) {
        WaitForTransfer(&api, 120000);
        size = api.GetReadSize();
        if (api.ReadString(&body.base)) {
            fprintf(stderr, "c_host: %lu bytes received\n", (unsigned long)size);
            _setmode(_fileno(stdout), _O_BINARY);
            fwrite(body.text, 1, strlen(body.text), stdout);
            status = 0;
        }
    }

    FreeLibrary(api.module); /* would stop and await a transfer still running */
done:
    free(url.text);
    free(body.text);
    return status;
}
