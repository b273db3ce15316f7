/* The few C library functions that the shipped programs use: the engine's and the
 * group reader's text helpers, and the block copies and fills the compiler emits on its
 * own. Defined here, the programs import no C runtime DLL at all: the first release of
 * Windows 95 ships none. Built with -ffreestanding -fno-tree-loop-distribute-patterns,
 * so that no loop below is turned back into a call of the function it defines. */
#include <stddef.h>

size_t strlen(const char* text) {
    const char* end = text;
    while (*end) ++end;
    return (size_t)(end - text);
}

int strcmp(const char* a, const char* b) {
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return (int)(unsigned char)*a - (int)(unsigned char)*b;
}

char* strchr(const char* text, int c) {
    for (;; ++text) {
        if (*text == (char)c) return (char*)text;
        if (!*text) return NULL;
    }
}

void* memchr(const void* data, int c, size_t length) {
    const unsigned char* p = (const unsigned char*)data;
    for (; length > 0; --length, ++p) {
        if (*p == (unsigned char)c) return (void*)p;
    }
    return NULL;
}

int memcmp(const void* a, const void* b, size_t length) {
    const unsigned char* p = (const unsigned char*)a;
    const unsigned char* q = (const unsigned char*)b;
    for (; length > 0; --length, ++p, ++q) {
        if (*p != *q) return (int)*p - (int)*q;
    }
    return 0;
}

void* memcpy(void* to, const void* from, size_t length) {
    unsigned char* d = (unsigned char*)to;
    const unsigned char* s = (const unsigned char*)from;
    while (length--) *d++ = *s++;
    return to;
}

void* memmove(void* to, const void* from, size_t length) {
    unsigned char* d = (unsigned char*)to;
    const unsigned char* s = (const unsigned char*)from;
    if (d < s) {
        while (length--) *d++ = *s++;
    } else {
        while (length--) d[length] = s[length];
    }
    return to;
}

void* memset(void* to, int c, size_t length) {
    unsigned char* d = (unsigned char*)to;
    while (length--) *d++ = (unsigned char)c;
    return to;
}
