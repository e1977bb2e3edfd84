// Failures inside the job engine's classes.
//
// Constructors and operations throw either an integer code or one of the
// messages below (as `const char*`). The job interface turns an integer into
// that code and anything else into its generic failure code; the spooler's
// plain-function entries catch only the messages and answer 0.
#pragma once

#include <cstdint>

namespace ovcg {

using EngineMessage = const char*;

inline constexpr const char kMemoryAllocationException[] = "Memory Allocation Exception";
inline constexpr const char kSpoolerException[] = "Spooler Exception";
inline constexpr const char kHTException[] = "HT Exception";
inline constexpr const char kIllegalParameterException[] = "Illegal Parameter Exception";
inline constexpr const char kLoadResourceException[] = "Load Resource Exception";

// Throws one of the messages above.
[[noreturn]] inline void ThrowMessage(EngineMessage message) { throw message; }

// A wide result clamped into the signed 32-bit range.
constexpr int32_t Saturate32(int64_t v) {
    return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : static_cast<int32_t>(v);
}

// A lower engine's failure code as this engine reports it: a positive code
// becomes base - code (saturated), 0 and below pass unchanged.
constexpr int32_t OffsetEngineCode(int32_t code, int32_t base) {
    return code <= 0 ? code : Saturate32(int64_t{base} - code);
}

}  // namespace ovcg
