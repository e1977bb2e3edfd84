// The run-length code of the raster commands: one walk over a line serves
// both coders (they differ only in where a literal starts) and the size
// function (which counts instead of writing).
//
// The code is the byte-oriented PackBits scheme: a count byte c of 0 to 127
// is followed by c + 1 literal bytes; a count byte of 0x81 to 0xFF (c = -1
// to -127) by one byte repeated 1 - c times. The walk, with m the minimum
// repeat run (at least 1):
//   1. r bytes left: r = 0 stops; r < m writes them as one literal and stops.
//   2. The repeat run at the current byte (equal bytes, at most min(r, 128))
//      of m or more is written as a repeat; go to 1.
//   3. Else a literal starts: L = m (Plus coder) or L = that short run's
//      length (Minus coder). While L < r, the run at L bytes on is measured:
//      m or more ends the literal before it; else L grows by it, and at 128
//      or more the literal is cut at 127 bytes and the walk goes on from the
//      128th byte (its run measured afresh: the tail of a maximal run).
//      Write the literal; go to 1.
// Literals are therefore 1 to 127 bytes, repeats m to 128 bytes; with m = 1
// every byte is a repeat (a single byte codes as 00 b).
//
// Worst case of a line of n bytes (worst_case_code_size): a literal that is
// not cut at 127 is followed by a repeat or ends the line, so with k
// literals, j repeats and n_l literal bytes, k <= j + 1 + n_l / 127 and the
// code is n + k - (sum of (repeat length - 2)). Hence 2n for m = 1,
// n + floor(127 (n + 2) / 379) for m = 2 (k <= n_l and k <= (n - n_l) / 2 + 1
// + n_l / 127 meet there), and n + 1 + floor(n / 127) for m >= 3.
#pragma once

#include "common/byte_writer.h"
#include "headcontrol/callbacks.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ovcg::irac {

// Where a literal starts: at the minimum repeat run (Plus) or at the short
// run just measured (Minus).
enum class LiteralStart { MinimumRun, ShortRun };

inline constexpr size_t kRleMaxRepeat = 128;
inline constexpr size_t kRleMaxLiteral = 127;

// Largest code of an n-byte line for minimum repeat run m (m 0 counts as 1).
constexpr uint64_t worst_case_code_size(uint64_t n, uint32_t m) {
    if (n == 0) return 0;
    if (m <= 1) return 2 * n;
    if (m == 2) return n + (127 * (n + 2)) / 379;
    return n + 1 + n / 127;
}

// Number of bytes equal to p[0] from p on, at most max (max >= 1).
inline size_t rle_repeat_run(const uint8_t* p, size_t max) {
    const uint8_t b = p[0];
    size_t i = 1;
    if (max > 1 && p[1] != b) return 1;  // the common case inside halftoned data
    const uint64_t pattern = uint64_t{b} * 0x0101010101010101ull;
    while (max - i >= 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        w ^= pattern;
        if (w) {
            if constexpr (std::endian::native == std::endian::little) return i + size_t(std::countr_zero(w)) / 8;
            else return i + size_t(std::countl_zero(w)) / 8;
        }
        i += 8;
    }
    while (i < max && p[i] == b) ++i;
    return i;
}

// The walk. Sink has `bool repeat(uint8_t byte, size_t count)` and
// `bool literal(const uint8_t* bytes, size_t count)`; a false return (no
// room) ends the walk at once.
template <LiteralStart Start, class Sink>
bool rle_walk(const uint8_t* s, size_t n, uint32_t m, Sink& sink) {
    if (m == 0) m = 1;
    size_t i = 0;
    while (i < n) {
        const size_t r = n - i;
        if (r < m) return sink.literal(s + i, r);
        const size_t run = rle_repeat_run(s + i, r < kRleMaxRepeat ? r : kRleMaxRepeat);
        if (run >= m) {
            if (!sink.repeat(s[i], run)) return false;
            i += run;
            continue;
        }
        size_t len = Start == LiteralStart::MinimumRun ? m : run;
        while (len < r && len <= kRleMaxLiteral) {
            const size_t left = r - len;
            const size_t next = rle_repeat_run(s + i + len, left < kRleMaxRepeat ? left : kRleMaxRepeat);
            if (next >= m) break;
            len += next;
        }
        if (len > kRleMaxLiteral) len = kRleMaxLiteral;
        if (!sink.literal(s + i, len)) return false;
        i += len;
    }
    return true;
}

// Counts the code's length.
struct RleCountSink {
    uint64_t size = 0;
    bool repeat(uint8_t, size_t) {
        size += 2;
        return true;
    }
    bool literal(const uint8_t*, size_t count) {
        size += count + 1;
        return true;
    }
};

// Writes the code through a bounded writer; literal bytes go through the
// callback table's copy.
struct RleWriteSink {
    const CallbackTable& cb;
    ByteWriter& out;
    bool repeat(uint8_t byte, size_t count) {
        uint8_t* p = out.take(2);
        if (!p) return false;
        p[0] = static_cast<uint8_t>(1 - static_cast<int>(count));
        p[1] = byte;
        return true;
    }
    bool literal(const uint8_t* bytes, size_t count) {
        uint8_t* p = out.take(count + 1);
        if (!p) return false;
        p[0] = static_cast<uint8_t>(count - 1);
        cb.copy(p + 1, bytes, static_cast<uint32_t>(count));
        return true;
    }
};

}  // namespace ovcg::irac
