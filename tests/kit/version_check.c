/*
 * version_check DLL: reads the version resource of a built Quillbarrow.dll
 * back through the version API and compares it with the version CMake took
 * from project(VERSION), passed in at build time. Prints every mismatch;
 * exit status 0 when all fields match.
 */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifndef EXPECTED_VERSION
#error "EXPECTED_VERSION and EXPECTED_MAJOR..EXPECTED_TWEAK come from CMake"
#endif

static int failures = 0;

static void Fail(const char* what, const char* got, const char* expected) {
    printf("%s is '%s', expected '%s'\n", what, got, expected);
    ++failures;
}

static void CheckNumber(const char* what, DWORD got, DWORD expected) {
    if (got != expected) {
        printf("%s is 0x%08lx, expected 0x%08lx\n", what, (unsigned long)got, (unsigned long)expected);
        ++failures;
    }
}

/* Looks a string up in the first translation the resource lists. */
static const char* QueryString(void* info, WORD language, WORD codePage, const char* name) {
    char path[128];
    char* value = NULL;
    UINT length = 0;
    snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", language, codePage, name);
    if (!VerQueryValueA(info, path, (void**)&value, &length) || length == 0) return NULL;
    return value;
}

static void CheckString(void* info, WORD language, WORD codePage, const char* name,
                        const char* expected) {
    const char* value = QueryString(info, language, codePage, name);
    if (value == NULL) {
        Fail(name, "(missing)", expected);
    } else if (expected != NULL && strcmp(value, expected) != 0) {
        Fail(name, value, expected);
    } else if (expected == NULL && value[0] == '\0') {
        Fail(name, "", "a text");
    }
}

int main(int argc, char** argv) {
    DWORD ignored = 0, size;
    void* info;
    VS_FIXEDFILEINFO* fixed = NULL;
    WORD* translation = NULL;
    UINT length = 0;
    const DWORD versionMs = ((DWORD)EXPECTED_MAJOR << 16) | EXPECTED_MINOR;
    const DWORD versionLs = ((DWORD)EXPECTED_PATCH << 16) | EXPECTED_TWEAK;

    if (argc != 2) {
        fprintf(stderr, "usage: version_check DLL\n");
        return 2;
    }
    size = GetFileVersionInfoSizeA(argv[1], &ignored);
    if (size == 0) {
        printf("%s has no version resource (error %lu)\n", argv[1], (unsigned long)GetLastError());
        return 1;
    }
    info = malloc(size);
    if (info == NULL || !GetFileVersionInfoA(argv[1], 0, size, info)) {
        printf("cannot read the version resource of %s\n", argv[1]);
        return 1;
    }

    if (!VerQueryValueA(info, "\\", (void**)&fixed, &length) || length < sizeof *fixed) {
        printf("no fixed version block\n");
        return 1;
    }
    CheckNumber("signature", fixed->dwSignature, 0xFEEF04BD);
    CheckNumber("file version (high)", fixed->dwFileVersionMS, versionMs);
    CheckNumber("file version (low)", fixed->dwFileVersionLS, versionLs);
    CheckNumber("product version (high)", fixed->dwProductVersionMS, versionMs);
    CheckNumber("product version (low)", fixed->dwProductVersionLS, versionLs);
    CheckNumber("file type", fixed->dwFileType, VFT_DLL);

    if (!VerQueryValueA(info, "\\VarFileInfo\\Translation", (void**)&translation, &length) ||
        length < 2 * sizeof(WORD)) {
        printf("no translation list\n");
        return 1;
    }
    CheckString(info, translation[0], translation[1], "FileVersion", EXPECTED_VERSION);
    CheckString(info, translation[0], translation[1], "ProductVersion", EXPECTED_VERSION);
    CheckString(info, translation[0], translation[1], "ProductName", "Quillbarrow");
    CheckString(info, translation[0], translation[1], "OriginalFilename", "Quillbarrow.dll");
    CheckString(info, translation[0], translation[1], "LegalCopyright",
                "Copyright (c) 2026 Quillbarrow developers");
    CheckString(info, translation[0], translation[1], "FileDescription", NULL);

    free(info);
    if (failures == 0) printf("version %s in all fields\n", EXPECTED_VERSION);
    return failures == 0 ? 0 : 1;
}
