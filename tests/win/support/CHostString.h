/* A host string object written in plain C: its function table is built by
 * hand, with the member-function convention of the platform spelled out
 * (thiscall on i686: the object in ECX, the callee pops its arguments), so
 * that a mismatch in the library's calls cannot hide behind one compiler
 * building both sides. */
#ifndef QUILLBARROW_TESTS_CHOSTSTRING_H
#define QUILLBARROW_TESTS_CHOSTSTRING_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__i386__)
#define C_HOST_MEMBER __attribute__((thiscall))
#else
#define C_HOST_MEMBER
#endif

typedef struct CHostString CHostString;

typedef struct CHostStringTable {
    const char*(C_HOST_MEMBER* GetText)(CHostString* self);
    void(C_HOST_MEMBER* SetText)(CHostString* self, const char* text);
} CHostStringTable;

struct CHostString {
    const CHostStringTable* table; /* the first word, as in a C++ object */
    char* text;                    /* owned copy; NULL means GetText returns NULL */
    int gets;
    int sets;
};

void CHostStringInit(CHostString* object, const char* text);
void CHostStringInitNullText(CHostString* object);
void CHostStringFree(CHostString* object);

/* Calls that arrived with a pointer that is no live CHostString: the sign
 * of an object passed the wrong way. */
int CHostStringStrayCalls(void);

#ifdef __cplusplus
}
#endif

#endif
