#pragma once
// What tarvok-run answers its caller: the exit statuses, and the name its messages start with.

namespace tarvok::tools {

inline constexpr const char* kProgram = "tarvok-run";

inline constexpr int kSuccess = 0;
// The output, the chart or the page cannot be written, or memory runs out.
inline constexpr int kFailure = 1;
// Bad input or options, a folder that cannot be scanned, or a plug-in that cannot be used.
inline constexpr int kBadInput = 2;

}  // namespace tarvok::tools
