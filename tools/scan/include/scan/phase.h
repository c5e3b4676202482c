#pragma once
// The phase a trend state puts a bar in: rising below 0, falling above 0, flat at 0.

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarvok::tools {

enum class Phase { Rising, Falling, Flat };
inline constexpr Phase kPhases[] = {Phase::Rising, Phase::Falling, Phase::Flat};

// "rising", "falling", "flat".
const char* phaseName(Phase phase) noexcept;
// The phase of that name, in any case, or none.
std::optional<Phase> parsePhase(std::string_view name) noexcept;

Phase phaseOf(std::int32_t state) noexcept;
// A state as the table functions hand it out; NaN counts as 0, like the terminal's conditions that
// are all false.
Phase phaseOf(float state) noexcept;

}  // namespace tarvok::tools
