#pragma once
// The terminal's interface to a formula-function plug-in: the shape of a function it calls, and
// the record of the function table it reads those functions from.

#include <cstddef>
#include <cstdint>

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

// The terminal's record: number, then function address, byte-packed.
#pragma pack(push, 1)
struct tagPluginTCalcFuncInfo {
  std::uint16_t funcNumber;  // 0 ends the table
  CalcFunc funcPtr;
};
#pragma pack(pop)

#if defined(__i386__)
static_assert(sizeof(tagPluginTCalcFuncInfo) == 6, "the terminal reads 6-byte records");
static_assert(offsetof(tagPluginTCalcFuncInfo, funcPtr) == 2, "the address follows the number");
#endif
