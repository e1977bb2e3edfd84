// Failures inside the job engine's classes.
//
// Constructors and operations throw either an integer code or one of the
// messages below (as `const char*`). The job interface turns an integer into
// that code and anything else into its generic failure code; the spooler's
// plain-function entries catch only the messages and answer 0.
#pragma once

namespace ovcg {

using EngineMessage = const char*;

inline constexpr const char kMemoryAllocationException[] = "Memory Allocation Exception";
inline constexpr const char kSpoolerException[] = "Spooler Exception";
inline constexpr const char kHTException[] = "HT Exception";
inline constexpr const char kIllegalParameterException[] = "Illegal Parameter Exception";
inline constexpr const char kLoadResourceException[] = "Load Resource Exception";

// Throws one of the messages above.
[[noreturn]] inline void ThrowMessage(EngineMessage message) { throw message; }

}  // namespace ovcg
