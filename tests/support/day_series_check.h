// The fast daily-file decoder held to the plain parser: one check shared by the tests that feed
// it random files.
#pragma once

#include <cstdint>
#include <string>

#include "marketdata/day_file.h"
#include "marketdata/day_series.h"

namespace tarvok::testing {

// What decodeDaySeries makes of the bytes at the scale, checked against parseDayFile: the same
// floats and last date, or a refusal of the same kind where it refuses.
void expectSameAsParseDayFile(const std::string& bytes, tools::DaySeries& series,
                              std::uint32_t scale = tools::kHundredths);

}  // namespace tarvok::testing
