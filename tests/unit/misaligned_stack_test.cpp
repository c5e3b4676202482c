// The terminal, an MSVC program, calls in with only 4-byte stack alignment. Each table function is
// called here from a stack at every 4-byte offset from 16-byte alignment, and must give the same
// results as from an aligned call (a misaligned SSE spill would fault instead).

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "indicator/calc_func.h"
#include "indicator/cycle_params.h"
#include "indicator/output_functions.h"
#include "support/random_bars.h"

#if !defined(__i386__)
#error "this test is for 32-bit x86 builds"
#endif

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

// fn(n, out, a, b, c), entered with (esp + 4) % 16 == offset: the pushed arguments sit at that
// offset from a 16-byte boundary, as an MSVC caller may leave them.
extern "C" __attribute__((naked, noinline)) void callWithStackOffset(CalcFunc, int, float*, float*,
                                                                     float*, float*, int) {
  asm("push %ebp\n\t"
      "mov %esp, %ebp\n\t"
      "push %esi\n\t"
      "mov %esp, %esi\n\t"
      "and $-16, %esp\n\t"
      // Pad so that after the five 4-byte arguments the stack sits at the requested offset.
      "mov $12, %edx\n\t"
      "sub 32(%ebp), %edx\n\t"
      "and $15, %edx\n\t"
      "sub %edx, %esp\n\t"
      "push 28(%ebp)\n\t"
      "push 24(%ebp)\n\t"
      "push 20(%ebp)\n\t"
      "push 16(%ebp)\n\t"
      "push 12(%ebp)\n\t"
      "call *8(%ebp)\n\t"
      "mov %esi, %esp\n\t"
      "pop %esi\n\t"
      "pop %ebp\n\t"
      "ret\n\t");
}

struct TableFunctions {
  CalcFunc stopLine, setParams, state;
};

// In the Windows build the functions come from tarvok.dll itself, through its registration table
// (6-byte records: a 16-bit number, then the address), as the terminal reaches them.
TableFunctions tableFunctions() {
#if defined(_WIN32)
  static HMODULE dll = LoadLibraryA("tarvok.dll");
  if (dll == nullptr) return {nullptr, nullptr, nullptr};
  using RegisterFn = int(__cdecl*)(void**);
  const auto registerTdxFunc =
      reinterpret_cast<RegisterFn>(reinterpret_cast<void*>(GetProcAddress(dll, "RegisterTdxFunc")));
  void* table = nullptr;
  if (registerTdxFunc == nullptr || registerTdxFunc(&table) != 1)
    return {nullptr, nullptr, nullptr};
  CalcFunc byNumber[12] = {};
  for (const auto* record = static_cast<const unsigned char*>(table);; record += 6) {
    std::uint16_t number;
    std::uint32_t address;
    std::memcpy(&number, record, 2);
    std::memcpy(&address, record + 2, 4);
    if (number == 0) break;
    if (number < 12)
      byNumber[number] = reinterpret_cast<CalcFunc>(static_cast<std::uintptr_t>(address));
  }
  return {byNumber[9], byNumber[10], byNumber[11]};
#else
  return {CalcZhouqiWW, SetZhouqiParams, CalcZhouqiW};
#endif
}

TEST(MisalignedStack, TableFunctionsGiveTheSameBitsAtEveryOffset) {
  const TableFunctions f = tableFunctions();
  ASSERT_NE(f.stopLine, nullptr);
  ASSERT_NE(f.setParams, nullptr);
  ASSERT_NE(f.state, nullptr);

  std::mt19937_64 rng(11);
  auto bars = tarvok::testing::randomWalk(rng, 1000);
  const int n = bars.size();
  float period[1] = {21.0f};
  float multiplier[1] = {2.5f};
  std::vector<float> ones(n);
  f.setParams(n, ones.data(), period, multiplier, nullptr);

  std::vector<float> expectedStop(n), expectedState(n);
  f.stopLine(n, expectedStop.data(), bars.high.data(), bars.low.data(), bars.close.data());
  f.state(n, expectedState.data(), bars.high.data(), bars.low.data(), bars.close.data());

  for (int offset : {0, 4, 8, 12}) {
    std::vector<float> out(n, -1.0f);
    callWithStackOffset(f.setParams, n, out.data(), period, multiplier, nullptr, offset);
    EXPECT_EQ(out, std::vector<float>(n, 1.0f)) << "offset " << offset;
    callWithStackOffset(f.stopLine, n, out.data(), bars.high.data(), bars.low.data(),
                        bars.close.data(), offset);
    EXPECT_EQ(0, std::memcmp(out.data(), expectedStop.data(), n * sizeof(float))) << offset;
    callWithStackOffset(f.state, n, out.data(), bars.high.data(), bars.low.data(),
                        bars.close.data(), offset);
    EXPECT_EQ(out, expectedState) << "offset " << offset;
  }
}

}  // namespace
