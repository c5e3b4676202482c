// The formula text that gettdxcode hands out. It is kept enciphered (see
// cmake/encipher_formula.py) and deciphered once, when the plug-in is loaded.

#include <cstdint>
#include <string>

#include "plugin/TCalcFuncSets.h"
#include "tarvok_formula_cipher.inc"

namespace {

std::string decipherFormula() {
  // Read through a volatile so that the compiler cannot run the loop itself and put the plain
  // text into the binary.
  static volatile std::uint32_t seed = tarvok::formula::kFormulaSeed;
  std::uint32_t state = seed;
  std::string text(sizeof tarvok::formula::kFormulaCipher, '\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    text[i] = static_cast<char>(tarvok::formula::kFormulaCipher[i] ^ (state >> 24));
  }
  return text;
}

const std::string g_TdxCode = decipherFormula();

}  // namespace

extern "C" const char* gettdxcode() noexcept { return g_TdxCode.c_str(); }
