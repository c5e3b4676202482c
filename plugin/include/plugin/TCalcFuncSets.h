#pragma once
// The plug-in's boundary with the terminal: the function table it hands out at registration and
// the two exports, RegisterTdxFunc and gettdxcode.

#include <cstddef>
#include <cstdint>

#include "indicator/calc_func.h"

#if defined(_WIN32)
// tarvok.def names the exports, undecorated.
#define TARVOK_EXPORT
#else
// libtarvok.so is built with hidden visibility; only these two are seen.
#define TARVOK_EXPORT __attribute__((visibility("default")))
#endif

inline constexpr std::size_t kCalcFuncSetsSize = 4;

// 9: stop line, 10: period and multiplier, 11: trend state, then the end record.
extern const tagPluginTCalcFuncInfo g_CalcFuncSets[kCalcFuncSetsSize];

#if defined(__i386__)
static_assert(sizeof(tagPluginTCalcFuncInfo) * kCalcFuncSetsSize == 24, "four records, 24 bytes");
#endif

extern "C" {

// Sets the run log up, logs the registration, and stores the table in an empty slot: 1 when the
// table was stored, 0 when the slot was filled already (or no slot was given). Never throws.
TARVOK_EXPORT TARVOK_HOST_ENTRY int TARVOK_CDECL
RegisterTdxFunc(tagPluginTCalcFuncInfo** slot) noexcept;

// The formula text for the terminal, zero-terminated, at the same address for as long as the
// plug-in is loaded.
TARVOK_EXPORT const char* TARVOK_CDECL gettdxcode() noexcept;
}
