#pragma once
// The shape of a function the terminal calls through its function table.

#if defined(__i386__)
// The terminal is a 32-bit MSVC program: cdecl, and only 4-byte stack alignment on entry.
#define TARVOK_CDECL __attribute__((cdecl))
#define TARVOK_HOST_ENTRY __attribute__((force_align_arg_pointer))
#else
#define TARVOK_CDECL
#define TARVOK_HOST_ENTRY
#endif

extern "C" {
// (bar count, output series, input series a, b, c); the output is the result.
typedef void(TARVOK_CDECL* CalcFunc)(int, float*, float*, float*, float*);
}
