/* A Linux host written in C: loads libquillbarrow.so with dlopen, hands it
 * string objects of its own and fetches one URL.
 *
 *   c_host LIBRARY fetch URL          prints the body; exit 0 when it was read
 *   c_host LIBRARY exit-running URL   starts the GET, waits for the first
 *                                     bytes and leaves main with the
 *                                     transfer still running
 *
 * The string object is the C++ one of the platform's ABI: its first word
 * points into a virtual table whose slot 0 is GetText and slot 1 SetText.
 * On Linux a member function takes `this` as its first argument, so plain
 * C functions fill the slots. Like any C++ table it is preceded by the
 * offset to the object's top and a pointer to the type's type_info; the
 * library never reads them, but its builds with UBSan's vptr check do. */
#include <dlfcn.h>
#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

struct HostString {
    const void* vptr; /* &Table.GetText */
    char* text;
};

/* std::type_info of a class without bases: its own table pointer and the
 * mangled name. */
struct TypeInfo {
    const void* vptr;
    const char* name;
};
static struct TypeInfo HostStringType = {NULL, "10HostString"};

static const char* GetText(struct HostString* self) { return self->text; }

static void SetText(struct HostString* self, const char* text) {
    char* copy = strdup(text);
    if (copy == NULL) return;
    free(self->text);
    self->text = copy;
}

static const struct {
    intptr_t offsetToTop;
    const struct TypeInfo* type;
    const char* (*GetText)(struct HostString* self);
    void (*SetText)(struct HostString* self, const char* text);
} Table = {0, &HostStringType, GetText, SetText};

static struct HostString MakeString(const char* text) {
    struct HostString string = {&Table.GetText, strdup(text)};
    return string;
}

typedef bool (*GetFunction)(struct HostString*);
typedef bool (*IsRunFunction)(void);
typedef uint32_t (*GetReadSizeFunction)(void);
typedef bool (*ReadStringFunction)(struct HostString*);

static void Pause(void) {
    struct timespec pause = {0, 1000000};
    nanosleep(&pause, NULL);
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: %s LIBRARY fetch|exit-running URL\n", argv[0]);
        return 2;
    }
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == NULL) {
        fprintf(stderr, "dlopen: %s\n", dlerror());
        return 2;
    }
    /* The table of __cxxabiv1::__class_type_info, from the library's libstdc++. */
    void** typeInfoTable = (void**)dlsym(library, "_ZTVN10__cxxabiv117__class_type_infoE");
    if (typeInfoTable != NULL) HostStringType.vptr = typeInfoTable + 2;

    GetFunction get = (GetFunction)dlsym(library, "Get");
    IsRunFunction isRun = (IsRunFunction)dlsym(library, "IsRun");
    GetReadSizeFunction getReadSize = (GetReadSizeFunction)dlsym(library, "GetReadSize");
    ReadStringFunction readString = (ReadStringFunction)dlsym(library, "ReadString");
    if (get == NULL || isRun == NULL || getReadSize == NULL || readString == NULL) {
        fprintf(stderr, "an export is missing\n");
        return 2;
    }

    struct HostString url = MakeString(argv[3]);
    if (!get(&url)) return 3;
    /* Bounded waits: half a minute at most. */
    if (strcmp(argv[2], "exit-running") == 0) {
        for (int i = 0; i < 30000 && getReadSize() == 0; ++i) Pause();
        printf("running %d\n", isRun() ? 1 : 0);
        fflush(stdout);
        free(url.text);
        return 0; /* the library is still loaded, its worker still reading */
    }
    for (int i = 0; i < 30000 && isRun(); ++i) Pause();
    struct HostString body = MakeString("");
    int status = readString(&body) ? 0 : 4;
    fputs(body.text, stdout);
    free(body.text);
    free(url.text);
    dlclose(library);
    return status;
}
