#include "scan/phase.h"

#include "text/ascii.h"

namespace tarvok::tools {

const char* phaseName(Phase phase) noexcept {
  switch (phase) {
    case Phase::Rising: return "rising";
    case Phase::Falling: return "falling";
    default: return "flat";
  }
}

std::optional<Phase> parsePhase(std::string_view name) noexcept {
  for (const Phase p : kPhases) {
    if (equalsIgnoringCase(name, phaseName(p))) return p;
  }
  return std::nullopt;
}

Phase phaseOf(std::int32_t state) noexcept {
  return state < 0 ? Phase::Rising : state > 0 ? Phase::Falling : Phase::Flat;
}

Phase phaseOf(float state) noexcept {
  return state < 0 ? Phase::Rising : state > 0 ? Phase::Falling : Phase::Flat;
}

}  // namespace tarvok::tools
