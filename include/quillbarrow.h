/*
 * quillbarrow.h - the interface of Quillbarrow.dll for C and C++ hosts.
 *
 * Quillbarrow.dll fetches one web resource at a time over HTTP on a worker
 * thread of its own. The host hands it its string objects (HostString) for
 * the URL, the data of a POST and the place the body is read into.
 *
 * Exports. Seven plain C functions with undecorated names, caller cleans the
 * stack (__cdecl). Booleans are one byte (C++ bool, C99 _Bool). Use them
 * either
 *   - at run time: LoadLibrary("Quillbarrow.dll") and GetProcAddress with the
 *     names "Get", "Post", ..., cast to the Quillbarrow...Fn types below; or
 *   - through the import library (libQuillbarrow.dll.a for MinGW, or a .lib
 *     made from Quillbarrow.def): define QUILLBARROW_USE_IMPORT_LIBRARY before
 *     including this header to get the declarations, marked dllimport.
 * The declarations are left out otherwise, so that names as plain as Get and
 * Stop do not enter a host's global namespace unasked.
 *
 * HostString. The library sees a host string object only as a pointer to
 * an object whose first pointer-sized word points to a table of two
 * functions:
 *   slot 0  const char* GetText()           the text, NUL-terminated; a null
 *                                           pointer counts as ""
 *   slot 1  void SetText(const char* text)  replace the text with a copy of
 *                                           text (the pointer is not kept)
 * Both are C++ virtual member functions of the platform's ABI:
 *   - 32-bit x86: thiscall. The object pointer (this) is in ECX, the other
 *     arguments are on the stack and the called function pops them
 *     (SetText returns with "ret 4").
 *   - x64: the one Windows x64 convention; this is the first argument (RCX).
 * A C++ host derives from the class HostString below and overrides both
 * functions. A C host builds the table by hand (HostStringVtbl) and declares
 * its two functions with QUILLBARROW_THISCALL and QUILLBARROW_EDX_PARAM:
 *   - GCC and Clang: QUILLBARROW_THISCALL is __attribute__((thiscall)) on
 *     32-bit x86, and QUILLBARROW_EDX_PARAM is empty.
 *   - MSVC in C mode cannot declare a thiscall function. There the functions
 *     are __fastcall with an unused second parameter: __fastcall passes the
 *     first two arguments in ECX and EDX and the rest on the stack, popped
 *     by the called function, so (self, unused, text) is laid out exactly as
 *     thiscall's (this, text). QUILLBARROW_EDX_PARAM adds that parameter.
 *     Define QUILLBARROW_THIS_VIA_FASTCALL to choose this form with any
 *     compiler that knows __fastcall.
 * Neither function may let a C++ exception out into the library, and both
 * are called on the host's own thread, from inside the exports.
 */
#ifndef QUILLBARROW_H
#define QUILLBARROW_H

#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#if defined(_WIN32) && !defined(QUILLBARROW_CALL)
#define QUILLBARROW_CALL __cdecl
#elif !defined(QUILLBARROW_CALL)
#define QUILLBARROW_CALL
#endif

#ifdef __cplusplus

/* The host's string object for C++ hosts: the same layout as the class the
   library itself is built with (two pure virtual functions, in this order,
   and no virtual destructor, so the table holds exactly these two). */
class HostString {
public:
    virtual const char* GetText() = 0;
    virtual void SetText(const char* text) = 0;

protected:
    ~HostString() {}
};

#else /* C */

#if defined(_M_IX86) || defined(__i386__)
#if defined(QUILLBARROW_THIS_VIA_FASTCALL) || (defined(_MSC_VER) && !defined(__clang__))
#define QUILLBARROW_THISCALL __fastcall
#if defined(__GNUC__)
#define QUILLBARROW_EDX_PARAM , void* quillbarrow_unused_edx __attribute__((unused))
#else
#define QUILLBARROW_EDX_PARAM , void* quillbarrow_unused_edx
#endif
#else
#define QUILLBARROW_THISCALL __attribute__((thiscall))
#define QUILLBARROW_EDX_PARAM
#endif
#else
#define QUILLBARROW_THISCALL
#define QUILLBARROW_EDX_PARAM
#endif

typedef struct HostString HostString;

/* The table a C host fills in; the object points to it with its first word. */
typedef struct HostStringVtbl {
    const char* (QUILLBARROW_THISCALL* GetText)(HostString* self QUILLBARROW_EDX_PARAM);
    void (QUILLBARROW_THISCALL* SetText)(HostString* self QUILLBARROW_EDX_PARAM, const char* text);
} HostStringVtbl;

/* A C host's string object starts with this member and casts self back to
   its own type inside GetText and SetText. */
struct HostString {
    const HostStringVtbl* vtbl;
};

#endif /* __cplusplus */

#ifdef __cplusplus
extern "C" {
#endif

/* The exports as function-pointer types, for GetProcAddress.
 *
 * Get(url)            Starts a GET of the URL's text on the worker and
 *                     returns true once the worker runs. False for a null
 *                     object, or after a message box when no event or
 *                     thread could be created.
 * Post(url, data)     The same for a POST; data's text (read first, before
 *                     the URL's) is sent unchanged as the body, with
 *                     "Content-Type: application/x-www-form-urlencoded".
 * IsRun()             True while the worker runs. The first call after it
 *                     ended finishes the transfer (shows a pending error).
 * Stop()              Asks a running worker to stop and waits for its end;
 *                     the worker notices before its next 4096-byte read.
 * GetReadSize()       Shows a pending error, then returns the body bytes
 *                     held now. Never waits for the worker.
 * ReadString(t)       False while the worker runs (t untouched); otherwise
 *                     finishes the transfer, sets t to the body up to its
 *                     first zero byte and returns true.
 * ReadStringUTF8ToSJIS(t)  As ReadString, the body converted from UTF-8 to
 *                     the ANSI code page (932, Shift-JIS, on a Japanese
 *                     system); a character it lacks becomes one space.
 * Starting a transfer while one runs stops and awaits the old one first.
 * Every export is called on the one host thread; see docs/host-guide.md. */
typedef bool(QUILLBARROW_CALL* QuillbarrowGetFn)(HostString* url);
typedef bool(QUILLBARROW_CALL* QuillbarrowPostFn)(HostString* url, HostString* data);
typedef bool(QUILLBARROW_CALL* QuillbarrowIsRunFn)(void);
typedef void(QUILLBARROW_CALL* QuillbarrowStopFn)(void);
typedef uint32_t(QUILLBARROW_CALL* QuillbarrowGetReadSizeFn)(void);
typedef bool(QUILLBARROW_CALL* QuillbarrowReadStringFn)(HostString* target);
typedef bool(QUILLBARROW_CALL* QuillbarrowReadStringUTF8ToSJISFn)(HostString* target);

#ifdef QUILLBARROW_USE_IMPORT_LIBRARY
#define QUILLBARROW_IMPORT __declspec(dllimport)
QUILLBARROW_IMPORT bool QUILLBARROW_CALL Get(HostString* url);
QUILLBARROW_IMPORT bool QUILLBARROW_CALL Post(HostString* url, HostString* data);
QUILLBARROW_IMPORT bool QUILLBARROW_CALL IsRun(void);
QUILLBARROW_IMPORT void QUILLBARROW_CALL Stop(void);
QUILLBARROW_IMPORT uint32_t QUILLBARROW_CALL GetReadSize(void);
QUILLBARROW_IMPORT bool QUILLBARROW_CALL ReadString(HostString* target);
QUILLBARROW_IMPORT bool QUILLBARROW_CALL ReadStringUTF8ToSJIS(HostString* target);
#endif

#ifdef __cplusplus
}
#endif

#endif /* QUILLBARROW_H */
