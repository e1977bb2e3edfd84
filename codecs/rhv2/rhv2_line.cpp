#include "codecs/rhv2/rhv2_line.h"

#include <cstring>

namespace ovcg::rhv2 {
namespace {

// Samples equal to v from `from` on (from < end).
inline uint32_t count_equal(const uint8_t* p, uint32_t from, uint32_t end, uint8_t v) {
    uint32_t k = from;
    while (k < end && p[k] == v) ++k;
    return k - from;
}

inline uint32_t count_equal_above(const uint8_t* cur, const uint8_t* above, uint32_t from,
                                  uint32_t end) {
    uint32_t k = from;
    while (k < end && cur[k] == above[k]) ++k;
    return k - from;
}

// Prediction of sample i: the mean of left and above on lines after the
// first with context carry, the sample above at i = 0; else the left sample
// (0 at i = 0).
inline uint8_t predict(const uint8_t* line, const uint8_t* above, uint32_t i, bool use_above) {
    if (use_above) return i ? static_cast<uint8_t>((line[i - 1] + above[i]) >> 1) : above[0];
    return i ? line[i - 1] : 0;
}

inline void set_last(Context& c, uint8_t v) {
    if (v != c.last) {
        c.second = c.last;
        c.last = v;
    }
}

inline void note_run(Context& c, uint32_t run) {
    if (run == c.run1) c.run2 = run;
    c.run1 = run;
}

inline void put_diff(BitWriter& w, uint8_t x, uint8_t pred) {
    w.put(kDiffCodes[static_cast<uint8_t>(x - pred)]);
}

// A run that reaches the line end is written as 0, "to the end of the line".
inline void put_run(BitWriter& w, uint32_t run, bool to_end) {
    if (to_end) {
        w.put(kDiffCodes[kRunMap[0]]);
        return;
    }
    while (run >= kRunStep) {
        w.put(kDiffCodes[kRunStepValue]);
        run -= kRunStep;
    }
    w.put(kDiffCodes[kRunMap[run]]);
}

inline void put_prefix(BitWriter& w, const Context& c, Token t) { w.put(prefix_code(c.state, t)); }

}  // namespace

void encode_plane(const uint8_t* cur, const uint8_t* above, const LineSetup& s, Context& ctx,
                  BitWriter& w, size_t stop_after) {
    const uint32_t n = s.width;
    uint32_t i = 0;
    while (i < n) {
        if (w.bytes() > stop_after) return;
        const uint8_t x = cur[i];

        if (s.above_runs && x == above[i]) {
            // A line equal to the one above is the common case: one compare.
            uint32_t run = (i == 0 && std::memcmp(cur, above, n) == 0)
                               ? n
                               : count_equal_above(cur, above, i, n);
            put_prefix(w, ctx, kAbove);
            put_run(w, run, i + run == n);
            set_last(ctx, cur[i + run - 1]);
            i += run;
            continue;
        }
        if (x == ctx.last) {
            uint32_t run = count_equal(cur, i, n, x);
            put_prefix(w, ctx, kLastRun);
            put_run(w, run, i + run == n);
            note_run(ctx, run);
            i += run;
            continue;
        }
        int gap = static_cast<int>(ctx.second) - static_cast<int>(ctx.last);
        if (x == ctx.second && (gap >= 8 || gap <= -8)) {
            uint32_t run = count_equal(cur, i, n, x);
            put_prefix(w, ctx, kSecondRun);
            put_run(w, run, i + run == n);
            set_last(ctx, x);
            note_run(ctx, run);
            ctx.state = 2;
            i += run;
            continue;
        }
        if (i + 1 == n || cur[i + 1] == x) {
            uint32_t run = i + 1 < n ? count_equal(cur, i + 1, n, x) : 0;
            uint8_t pred = predict(cur, above, i, s.above_predict);
            if (ctx.state == 4 && run == ctx.run2) {
                put_prefix(w, ctx, kDiffRunShort);
                put_diff(w, x, pred);
                ctx.run1 = ctx.run2;
            } else {
                put_prefix(w, ctx, kDiffRun);
                put_diff(w, x, pred);
                if (run > 0) {
                    put_run(w, run, i + 1 + run == n);
                    note_run(ctx, run);
                }
            }
            set_last(ctx, x);
            ctx.state = 4;
            i += 1 + run;
            continue;
        }

        // Difference sequence: one code per sample until three equal samples
        // start (terminator and run) or the line ends.
        put_prefix(w, ctx, kDiffSeq);
        uint32_t j = i;
        for (;;) {
            const uint8_t v = cur[j];
            put_diff(w, v, predict(cur, above, j, s.above_predict));
            set_last(ctx, v);
            if (j + 1 == n) {
                i = n;
                break;
            }
            if (j + 2 < n && cur[j + 1] == v && cur[j + 2] == v) {
                w.put(kTerminator);
                uint32_t run = count_equal(cur, j + 1, n, v);
                put_run(w, run, j + 1 + run == n);
                note_run(ctx, run);
                i = j + 1 + run;
                break;
            }
            ++j;
        }
        ctx.state = 3;
    }
}

namespace {

// Reads a run length: 1111110 first means "to the end of the line" (as a
// later piece it adds nothing), the code of 127 adds 255 and continues, any
// other difference value maps back to 1..254. The terminator is no run.
// Returns false for a malformed or too long run.
inline bool get_run(BitReader& r, uint32_t remaining, uint32_t& run) {
    DecodeEntry e = r.code();
    if (e.value == kRunToEndValue) {
        run = remaining;
        return remaining > 0;
    }
    uint32_t total = 0;
    for (;;) {
        if (e.value == kTerminatorValue) return false;
        if (e.value == kRunStepValue) {
            total += kRunStep;
            if (total > remaining || r.overrun()) return false;
            e = r.code();
            continue;
        }
        if (e.value != kRunToEndValue) {
            total += e.value > 0 ? 2u * static_cast<uint32_t>(e.value) + 1
                   : e.value == 0 ? 1u
                                  : 2u * static_cast<uint32_t>(-e.value);
        }
        break;
    }
    run = total;
    return total > 0 && total <= remaining;
}

}  // namespace

bool decode_plane(const uint8_t* src, size_t size, const LineSetup& s, Context& ctx,
                  uint8_t* line) {
    const uint32_t n = s.width;
    if (size >= 1 && src[0] == kEscapeByte) {
        // Stored raw: the context stays as it was before the line.
        if (size != static_cast<size_t>(n) + 1) return false;
        std::memcpy(line, src + 1, n);
        return true;
    }

    BitReader r(src, size);
    uint32_t i = 0;
    while (i < n) {
        if (r.overrun()) return false;
        unsigned ones = static_cast<unsigned>(std::countr_one(r.peek() & 0x7Fu));
        uint8_t token = kTokenByOnes[ctx.state - 2][ones];
        if (token == kNoToken || (token == kAbove && !s.above_runs)) return false;
        r.skip(ones + 1);

        switch (token) {
        case kAbove: {
            uint32_t run;
            if (!get_run(r, n - i, run)) return false;
            i += run;  // the samples above are already in place
            set_last(ctx, line[i - 1]);
            break;
        }
        case kLastRun:
        case kSecondRun: {
            uint32_t run;
            if (!get_run(r, n - i, run)) return false;
            const uint8_t v = token == kLastRun ? ctx.last : ctx.second;
            std::memset(line + i, v, run);
            i += run;
            set_last(ctx, v);
            note_run(ctx, run);
            if (token == kSecondRun) ctx.state = 2;
            break;
        }
        case kDiffRun:
        case kDiffRunShort: {
            DecodeEntry e = r.code();
            if (e.value == kTerminatorValue) return false;
            const uint8_t x = static_cast<uint8_t>(predict(line, line, i, s.above_predict) + e.value);
            line[i] = x;
            uint32_t run = 0;
            if (token == kDiffRunShort) {
                run = ctx.run2;
                if (run > n - i - 1) return false;
                ctx.run1 = ctx.run2;
            } else if (i + 1 < n) {
                if (!get_run(r, n - i - 1, run)) return false;
                note_run(ctx, run);
            }
            std::memset(line + i + 1, x, run);
            i += 1 + run;
            set_last(ctx, x);
            ctx.state = 4;
            break;
        }
        case kDiffSeq: {
            bool first = true;
            while (i < n) {
                if (r.overrun()) return false;
                DecodeEntry e = r.code();
                if (e.value == kTerminatorValue) {
                    if (first) return false;
                    uint32_t run;
                    if (!get_run(r, n - i, run)) return false;
                    std::memset(line + i, ctx.last, run);
                    i += run;
                    note_run(ctx, run);
                    break;
                }
                const uint8_t x = static_cast<uint8_t>(predict(line, line, i, s.above_predict) + e.value);
                line[i++] = x;
                set_last(ctx, x);
                first = false;
            }
            ctx.state = 3;
            break;
        }
        default:
            return false;
        }
    }
    return !r.overrun() && (r.consumed() + 7) / 8 == size;
}

}  // namespace ovcg::rhv2
