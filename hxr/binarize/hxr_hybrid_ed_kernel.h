// Hybrid error diffusion: the kernel family. Every kernel binarises one run
// of one line of one colour for one head by error diffusion whose threshold
// an ordered-dither cell switches: where the dither matrix would print, table
// B (low thresholds) makes a dot almost certain, elsewhere table A leaves it
// to the carried error. The residual of each pixel goes to later pixels of
// the line and to a span of the next line through the colour's error line.
//
// One walk (RunEdLine) serves all kernels. It is a template over
//  - a share table (Spread1x1 ... SpreadAllEDOnly1x1): constexpr data, per
//    case the parts of the residual given to each position of this line and
//    the next; the walk derives from it the carried values, the far adds
//    into the error line and the stores after the run;
//  - a decision (Decide1Bit, Decide2Bit<K>): the pixel's level, the dither
//    test, the dot code, its packing and its counting. What the level alone
//    decides (L, the two thresholds, the case bits) is worked out once per
//    run for the 256 ink values.
// Five share tables times four decisions make the twenty bodies behind the
// thirty-two entries of the kernel tables (hxr_bnrz_hybrid_ed.h).
//
// Arithmetic, exact by contract and the same on every compiler:
//  - level T from the SML row (1 bit: the ink value's level; 2 bits: the
//    cumulative rate of the kernel's smallest dot size K); L = 4T when
//    T > 7, else 0; threshold index i = (L + 32) >> 6, taken as 255 for every
//    T above 4087 (the tables have 256 entries);
//  - e = E + L; a dot when t < e (signed, strict), t = B[i] or A[i]; a dot
//    leaves r = e - 16320, no dot r = e;
//  - the fold: L > 8191 gives L' = 16320 - L and the minority event "no dot",
//    else L' = L and "a dot"; case Z for L' = 0, else M1 (L' 321..576),
//    M2 (129..320), M3 (below 129) for a minority pixel with L' <= 576, else
//    G (L' > 576) or N (the 1x1 table's D serves both);
//  - parts q2..q5 = r >> 2 .. r >> 5, arithmetic shifts of the signed
//    residual (rounding toward minus infinity); a share of several parts is
//    their sum (q5+q4 is (r >> 5) + (r >> 4), not 3r >> 5);
//  - every sum is taken modulo 2^32 and read back as signed 32 bits, so any
//    error value, however a hostile mask or row drives it, stays defined.
//    Levels above 4095 lie outside the scale: their L is 4T modulo 2^32.
//
// Walk of a run x0 .. end - 1 (end = x0 + n, n >= 1):
//  - the 27 margin cells x0 - 15 .. x0 - 4 and end .. end + 14 are set to 0
//    first, so they hold only this run's shares (left alone they gather
//    shares line after line without bound, and a span that widens takes the
//    sum in as error); n = 0 changes nothing;
//  - carries: E (error of pixel x), E1 (error so far of x + 1), Q3..Q0 (the
//    next line's sums for x - 3 .. x); E starts at cell x0, E1 at cell
//    x0 + 1, the Q at 0;
//  - per pixel: P = cell x + 2 (its content plus the shares of offset 3 and
//    more sent to it); decide; E = E1 + s(+1), E1 = P + s(+2),
//    Q3 = Q2 + n(-2), Q2 = Q1 + n(-1), Q1 = Q0 + n(0), Q0 = n(+1); cell x - 3
//    gets the old Q3 plus n(-3); shares to x + 3 .. x + 15 and x - 15 .. x - 4
//    are added to the cells;
//  - after the last pixel Q3, Q2, Q1 go to cells end - 3 .. end - 1; E, E1,
//    Q0 and the same-line shares of offset 1 and 2 past the end are dropped.
// The cells ahead up to the farthest same-line share of the mean cases (x + 3,
// x + 4) are held in registers (Carries::f) and written back as the walk
// leaves them: a share added to memory and read back a pixel later would
// wait on the store. Only the minority cases add to the line in place.
// So cells x0 - 3 .. end - 1 hold the next line's error, cells end .. end + 14
// the same-line shares sent past the run, cells x0 - 15 .. x0 - 4 the
// next-line shares sent left of it.
//
// Output: the bytes that hold a pixel of the run are assembled whole and
// stored once, the run's codes MSB first (1 bit: 8 pixels a byte; 2 bits:
// 4), every position outside the run 0; no other byte is touched. The dither
// cells follow the tiling of hxr_dither_walk.h from the run's first byte.
// Counts: 1 bit adds the dots to counts[1]; 2 bits adds 1 to counts[code]
// per dot; counts[0] is never touched.
//
// A kernel checks nothing and cannot fail. It relies on: a dither record
// HXRCheckDthData accepts; 0 <= x0 and n >= 0 with the run inside the line;
// an error line with 15 cells on either side of the run; an SML row of 256
// levels of 1 (1 bit) or 3 (2 bits) values; 512 thresholds (A then B); an
// ink row holding pixels x0 .. end - 1. The intent row and the second SML
// row are not read.
#pragma once

#include "hxr/binarize/hxr_dither_walk.h"
#include "hxr/control/hxr_ht_data.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>
#include <utility>

// The kernel function type; `rates` is the pair {intent 0, intent 1}, only
// intent 0 is read; `thresholds` holds A[0..255] then B[0..255].
using HXRHybridEDKernel = void (*)(uint8_t* plane, uint32_t* counts, const uint8_t* ink, const uint8_t* intent,
                                   int32_t* error, const uint32_t* const* rates, const HXRDthData* dither,
                                   const HXRDthOffset* offset, const int32_t* thresholds, int32_t x0, int32_t n,
                                   uint32_t nozzle);

namespace ovcg::hybrid_ed {

inline constexpr int32_t kFullDot = 16320;  // 4 x 4080: what a dot takes from the error
inline constexpr int32_t kFoldAbove = 8191;
inline constexpr int32_t kCaseM1 = 321, kCaseM2 = 129, kMinorityMax = 576;
inline constexpr int kReach = 15;  // farthest share, either side
inline constexpr uint32_t kTableSize = 256;

// ---- Share tables -------------------------------------------------------

// Parts of the residual: q2 = r >> 2 ... q5 = r >> 5.
enum Shift : uint8_t { kQ2 = 1, kQ3 = 2, kQ4 = 4, kQ5 = 8 };
enum class Line : uint8_t { Same, Next };

// `parts` to every position from .. to (offsets from the pixel) of a line.
struct Share {
    Line line;
    int8_t from, to;
    uint8_t parts;
};
constexpr Share S(int from, int to, uint8_t parts) { return {Line::Same, int8_t(from), int8_t(to), parts}; }
constexpr Share S(int at, uint8_t parts) { return S(at, at, parts); }
constexpr Share N(int from, int to, uint8_t parts) { return {Line::Next, int8_t(from), int8_t(to), parts}; }
constexpr Share N(int at, uint8_t parts) { return N(at, at, parts); }

// The shares of one case.
struct Spread {
    static constexpr int kMax = 10;
    Share shares[kMax]{};
    int count = 0;

    constexpr Spread(std::initializer_list<Share> list) {
        for (const Share& s : list) shares[count++] = s;
    }
    // The parts given to offset k of a line (0: none).
    constexpr uint8_t at(Line line, int k) const {
        uint8_t parts = 0;
        for (int i = 0; i < count; ++i)
            if (shares[i].line == line && shares[i].from <= k && k <= shares[i].to) parts |= shares[i].parts;
        return parts;
    }
    // The whole spread in 1/32 of the residual (exact division).
    constexpr int thirty_seconds() const {
        int sum = 0;
        for (int i = 0; i < count; ++i) {
            const uint8_t p = shares[i].parts;
            const int each = (p & kQ2 ? 8 : 0) + (p & kQ3 ? 4 : 0) + (p & kQ4 ? 2 : 0) + (p & kQ5 ? 1 : 0);
            sum += each * (shares[i].to - shares[i].from + 1);
        }
        return sum;
    }
    // Within reach, same-line shares only ahead, no position listed twice.
    constexpr bool well_formed() const {
        for (int i = 0; i < count; ++i) {
            const Share& s = shares[i];
            if (s.from > s.to || s.parts == 0 || s.parts > 15) return false;
            if (s.line == Line::Same ? (s.from < 1 || s.to > kReach) : (s.from < -kReach || s.to > 1)) return false;
            for (int j = 0; j < i; ++j)
                if (shares[j].line == s.line && shares[j].from <= s.to && s.from <= shares[j].to) return false;
        }
        return true;
    }
};

// The mean cases G and N (the 1x1 table's D serves both) spread all of the
// residual, the minority cases M1 and M2 too, M3 31/32 of it and Z 29/32.
template <class T>
constexpr bool valid_table() {
    for (const Spread* s : {&T::z, &T::g, &T::n, &T::m1, &T::m2, &T::m3})
        if (!s->well_formed()) return false;
    return T::z.thirty_seconds() == 29 && T::g.thirty_seconds() == 32 && T::n.thirty_seconds() == 32 &&
           T::m1.thirty_seconds() == 32 && T::m2.thirty_seconds() == 32 && T::m3.thirty_seconds() == 31;
}

struct Spread1x1 {
    static constexpr Spread z{S(1, kQ2), S(2, kQ5 | kQ4), N(-2, kQ3), N(-1, kQ3 | kQ4), N(0, kQ2)};
    static constexpr Spread d{S(1, kQ2),      S(2, kQ3),      S(3, 4, kQ5 | kQ4), N(-3, kQ5),
                              N(-2, kQ4),     N(-1, kQ5 | kQ4), N(0, kQ3 | kQ4),   N(1, kQ4)};
    static constexpr const Spread& g = d;
    static constexpr const Spread& n = d;
    static constexpr Spread m1{S(1, 2, kQ3), S(3, 4, kQ4), S(5, 6, kQ5), N(-6, -3, kQ5), N(-2, kQ4), N(-1, 1, kQ3)};
    static constexpr Spread m2{S(1, kQ3),        S(2, 3, kQ5 | kQ4), S(4, 5, kQ4), S(6, 7, kQ5),
                               N(-7, -5, kQ5),   N(-4, -1, kQ4),     N(0, kQ3),    N(1, kQ5)};
    static constexpr Spread m3{S(1, 8, kQ4), S(9, 10, kQ5), N(-10, -2, kQ5), N(-1, 0, kQ4)};
};

struct Spread2x1 {
    static constexpr Spread z{S(1, kQ3),  S(2, kQ5 | kQ4), S(3, 4, kQ4), N(-4, -3, kQ4),
                              N(-2, kQ5 | kQ4), N(-1, 0, kQ3), N(1, kQ5 | kQ4)};
    static constexpr Spread g{S(1, kQ3), S(2, 4, kQ5 | kQ4), N(-4, -1, kQ5 | kQ4), N(0, kQ3), N(1, kQ5 | kQ4)};
    static constexpr Spread n{S(1, 3, kQ3), S(4, kQ4), N(-4, -3, kQ4), N(-2, 0, kQ3), N(1, kQ4)};
    static constexpr Spread m1{S(1, 4, kQ4), S(5, 10, kQ5), N(-10, -5, kQ5), N(-4, 1, kQ4)};
    static constexpr Spread m2{S(1, 2, kQ4), S(3, 12, kQ5), N(-12, -3, kQ5), N(-2, 1, kQ4)};
    static constexpr Spread m3{S(1, 15, kQ5), N(-15, 0, kQ5)};
};

struct Spread4x1 {
    static constexpr Spread z{S(1, kQ2), S(2, 4, kQ3), N(-2, kQ5), N(-1, kQ4), N(0, kQ3), N(1, kQ4)};
    static constexpr Spread g{S(1, kQ3 | kQ4), S(2, 3, kQ3), S(4, kQ4),
                              N(-4, -2, kQ5),  N(-1, kQ3),   N(0, kQ5 | kQ3 | kQ4), N(1, kQ4)};
    static constexpr Spread n{S(1, kQ2), S(2, 4, kQ3), N(-2, -1, kQ4), N(0, kQ4 | kQ3), N(1, kQ4)};
    static constexpr Spread m1{S(1, kQ3), S(2, kQ4), S(3, 10, kQ5), N(-10, -2, kQ5), N(-1, kQ4), N(0, kQ3),
                               N(1, kQ4 | kQ5)};
    static constexpr Spread m2{S(1, kQ4 | kQ5), S(2, kQ4), S(3, 12, kQ5), N(-11, -2, kQ5), N(-1, kQ4),
                               N(0, kQ4 | kQ5), N(1, kQ4)};
    static constexpr Spread m3{S(1, 15, kQ5), N(-15, 0, kQ5)};
};

struct Spread1x2 {
    static constexpr Spread z{S(1, kQ5 | kQ3), S(2, kQ3), N(-2, -1, kQ3), N(0, kQ2), N(1, kQ3)};
    static constexpr Spread g{S(1, kQ2), S(2, kQ3), S(3, kQ5), N(-3, kQ5), N(-2, kQ4), N(-1, kQ3), N(0, kQ2),
                              N(1, kQ3)};
    static constexpr Spread n{S(1, kQ2), S(2, kQ3), S(3, kQ5), N(-2, kQ5), N(-1, 0, kQ2), N(1, kQ4)};
    static constexpr Spread m1{S(1, kQ2), S(2, kQ4), S(3, 4, kQ5), N(-3, -2, kQ4), N(-1, kQ3), N(0, kQ2),
                               N(1, kQ3)};
    static constexpr Spread m2{S(1, kQ2),     S(2, kQ3),      S(3, kQ4), S(4, 5, kQ5),
                               N(-4, -3, kQ5), N(-2, -1, kQ4), N(0, kQ2), N(1, kQ4)};
    static constexpr Spread m3{S(1, 2, kQ5 | kQ4), S(3, kQ4),      S(4, 8, kQ5),
                               N(-8, -4, kQ5),     N(-3, -2, kQ4), N(-1, 1, kQ5 | kQ4)};
};

// Case Z as in the 1x1 table, case G as in the 1x2 table.
struct SpreadAllEDOnly1x1 {
    static constexpr const Spread& z = Spread1x1::z;
    static constexpr const Spread& g = Spread1x2::g;
    static constexpr Spread n{S(1, kQ2), S(2, 3, kQ3), S(4, kQ5), N(-2, kQ4 | kQ5), N(-1, kQ3), N(0, kQ2)};
    static constexpr Spread m1{S(1, kQ3 | kQ4), S(2, kQ3 | kQ5), S(3, kQ4),  S(4, kQ5),      N(-4, -3, kQ5),
                               N(-2, kQ4),      N(-1, kQ3),      N(0, kQ3 | kQ4), N(1, kQ3)};
    static constexpr Spread m2{S(1, kQ3 | kQ4), S(2, 4, kQ4),        S(5, 6, kQ5),     N(-6, -4, kQ5),
                               N(-3, -2, kQ4),  N(-1, kQ4 | kQ5),    N(0, kQ3 | kQ4),  N(1, kQ4)};
    static constexpr Spread m3{S(1, kQ4 | kQ5), S(2, 3, kQ4), S(4, 9, kQ5), N(-9, -5, kQ5), N(-4, -1, kQ4),
                               N(0, kQ4 | kQ5), N(1, kQ4)};
};

static_assert(valid_table<Spread1x1>() && valid_table<Spread2x1>() && valid_table<Spread4x1>() &&
              valid_table<Spread1x2>() && valid_table<SpreadAllEDOnly1x1>());

// ---- The error spread ---------------------------------------------------

// Sums in u32 (wrap-around); the parts are arithmetic shifts of the signed
// residual.
struct Parts {
    uint32_t q2, q3, q4, q5;
    explicit Parts(int32_t r) : q2(uint32_t(r >> 2)), q3(uint32_t(r >> 3)), q4(uint32_t(r >> 4)), q5(uint32_t(r >> 5)) {}
    template <uint8_t P>
    uint32_t sum() const {
        uint32_t s = 0;
        if constexpr ((P & kQ2) != 0) s += q2;
        if constexpr ((P & kQ3) != 0) s += q3;
        if constexpr ((P & kQ4) != 0) s += q4;
        if constexpr ((P & kQ5) != 0) s += q5;
        return s;
    }
};

inline void add_cell(int32_t* cell, uint32_t v) { *cell = int32_t(uint32_t(*cell) + v); }

template <uint8_t P>
inline void add_parts(int32_t* cell, const Parts& q) {
    if constexpr (P != 0) add_cell(cell, q.sum<P>());
}

// How far ahead the same-line shares of the mean cases (Z, G, N) reach: the
// walk keeps the error of that many pixels in registers, so the usual pixel
// touches the error line only to load one cell and store two.
template <class T>
constexpr int window() {
    int w = 2;
    for (const Spread* s : {&T::z, &T::g, &T::n})
        for (int k = 3; k <= kReach; ++k)
            if (s->at(Line::Same, k) != 0) w = std::max(w, k);
    return w;
}

// The carried values at the start of pixel x; W is the table's window.
template <int W>
struct Carries {
    uint32_t e, e1;           // error of x, error so far of x + 1
    uint32_t f[W - 1];        // cells x + 2 .. x + W with the far shares sent to them
    uint32_t q3, q2, q1, q0;  // next line's sums for x - 3 .. x
};

// Pixel x's residual r through case C: the carries move one pixel on; cell
// x - 3 takes its finished next-line value, cell x + 2 its far shares (it is
// read by no later pixel; it matters past the run's end); shares beyond the
// window go to the cells, and cell x + 1 + W enters the window. `cell`
// points at x.
template <const Spread& C, int W>
[[gnu::always_inline]] inline void spread(Carries<W>& c, int32_t r, int32_t* cell) {
    const Parts q(r);
    const uint32_t ahead = c.f[0];
    cell[2] = int32_t(ahead);
    cell[-3] = int32_t(c.q3 + q.sum<C.at(Line::Next, -3)>());
    c.e = c.e1 + q.sum<C.at(Line::Same, 1)>();
    c.e1 = ahead + q.sum<C.at(Line::Same, 2)>();
    [&]<int... J>(std::integer_sequence<int, J...>) {
        ((c.f[J] = c.f[J + 1] + q.sum<C.at(Line::Same, J + 3)>()), ...);
    }(std::make_integer_sequence<int, W - 2>{});
    c.q3 = c.q2 + q.sum<C.at(Line::Next, -2)>();
    c.q2 = c.q1 + q.sum<C.at(Line::Next, -1)>();
    c.q1 = c.q0 + q.sum<C.at(Line::Next, 0)>();
    c.q0 = q.sum<C.at(Line::Next, 1)>();
    [&]<int... K>(std::integer_sequence<int, K...>) {
        (add_parts<C.at(Line::Same, K + W + 1)>(cell + K + W + 1, q), ...);
    }(std::make_integer_sequence<int, kReach - W>{});  // x + W + 1 .. x + 15
    [&]<int... K>(std::integer_sequence<int, K...>) {
        (add_parts<C.at(Line::Next, -K - 4)>(cell - K - 4, q), ...);
    }(std::make_integer_sequence<int, kReach - 3>{});  // x - 4 .. x - 15
    c.f[W - 2] = uint32_t(cell[W + 1]);
}

// The minority cases (a dot in a light area, a gap in a dark one; folded
// level up to 576) are rare: kept out of the pixel loop, on a copy of the
// carries (the loop's own stay in registers).
template <class Table, int W>
[[gnu::noinline]] void spread_minority(Carries<W>& c, int32_t r, int32_t* cell, int32_t folded) {
    if (folded >= kCaseM1) spread<Table::m1>(c, r, cell);
    else if (folded >= kCaseM2) spread<Table::m2>(c, r, cell);
    else spread<Table::m3>(c, r, cell);
}

// ---- The dot decision ---------------------------------------------------

// Bit 12 of cell - level: 1 where the cell's threshold lies below the level
// (only the level's low 13 bits take part).
inline uint32_t prints(uint32_t cell, uint32_t level) { return ((cell - level) >> 12) & 1u; }

// The case of a pixel, as far as its level decides it: bits 0-1 the mean case
// (Z, G, N), bit 2 "minority if no dot", bit 3 "minority if a dot".
enum CaseBits : uint32_t { kZ = 0, kG = 1, kN = 2, kRareNoDot = 4, kRareDot = 8 };

// What a level decides before the error is known: L, the two thresholds at
// its index, its case bits.
struct LevelFacts {
    uint32_t big_l;
    int32_t t[2];  // A[i], B[i]
    uint32_t cases;
};
inline LevelFacts level_facts(uint32_t level, const int32_t* thresholds) {
    LevelFacts f;
    f.big_l = level > 7 ? level << 2 : 0u;
    const uint32_t i = level > 4087 ? kTableSize - 1 : (f.big_l + 32) >> 6;
    f.t[0] = thresholds[i];
    f.t[1] = thresholds[kTableSize + i];
    const int32_t l = int32_t(f.big_l);
    const bool fold = l > kFoldAbove;
    const int32_t lf = fold ? int32_t(uint32_t(kFullDot) - f.big_l) : l;
    if (lf == 0) f.cases = kZ;
    else if (lf > kMinorityMax) f.cases = kG;
    else f.cases = kN | (fold ? kRareNoDot : kRareDot);
    return f;
}
// The folded level of a minority pixel.
inline int32_t folded(uint32_t big_l) {
    return int32_t(big_l) > kFoldAbove ? int32_t(uint32_t(kFullDot) - big_l) : int32_t(big_l);
}

// A pixel's decision: its code and, through the dot, its residual r.
struct Decision {
    uint32_t code, dot;
    int32_t r;
};
// The residual: e = E + L modulo 2^32, less a full dot's worth (16320) where
// a dot was placed. Branch-free: a dot is as likely as not in mid tones.
inline Decision residual(uint32_t code, uint32_t dot, uint32_t error, uint32_t big_l) {
    const int32_t e = int32_t(error + big_l);
    const int32_t taken = int32_t(uint32_t(e) - uint32_t(kFullDot));
    return {code, dot, __builtin_expect_with_probability(dot, 1, 0.5) ? taken : e};
}

// Codes 1, 2, 3 among the pixels of an output byte, 3 bits each (1 bit: the
// number of dots).
template <int Bits>
inline constexpr auto kCodeCounts = [] {
    struct {
        uint16_t n[256];
    } t{};
    for (uint32_t b = 0; b < 256; ++b)
        for (int j = 0; j < 8; j += Bits)
            if (const uint32_t c = (b >> j) & ((1u << Bits) - 1)) t.n[b] = uint16_t(t.n[b] + (1u << (3 * (c - 1))));
    return t;
}();

// Each decision builds, once per run, one entry per ink value (Ink), and
// decides a pixel from its entry, dither cell and carried error.
//
// 1 bit: the level is the ink value's; B where the dither cell prints.
struct Decide1Bit {
    static constexpr int kBits = 1;
    struct Ink {
        uint32_t level;  // bits 0..12 the level's, bits 16.. the case bits
        uint32_t big_l;
        int32_t t[2];
        uint32_t cases() const { return level >> 16; }
    };
    static void prepare(Ink* ink, const uint32_t* rate, const int32_t* thresholds) {
        for (uint32_t v = 0; v < 256; ++v) {
            const LevelFacts f = level_facts(rate[v], thresholds);
            ink[v] = {(rate[v] & 0x1FFFu) | f.cases << 16, f.big_l, {f.t[0], f.t[1]}};
        }
    }
    static Decision decide(const Ink& in, uint32_t cell, uint32_t error) {
        const uint32_t dot = uint32_t(in.t[prints(cell, in.level)] < int32_t(error + in.big_l));
        return residual(dot, dot, error, in.big_l);
    }
    // Counts per output byte: its dots.
    struct Tally {
        uint32_t dots = 0;
        void byte(uint32_t b) { dots += kCodeCounts<1>.n[b]; }
        void into(uint32_t* counts) const { counts[1] += dots; }
    };
};

// 2 bits, smallest dot size K (0 small, 1 medium, 2 large): the level is the
// cumulative rate r_K; m = how many of r0 >= r1 >= r2 print at the cell (0
// for ink 0). m > K + 1 places code m outright; m = K + 1 tests with B,
// m < K + 1 with A, for code K + 1.
template <uint32_t K>
struct Decide2Bit {
    static_assert(K <= 2);
    static constexpr int kBits = 2;
    struct Ink {
        uint32_t r[3];
        uint32_t live;  // 0 for ink 0 (no dither count), else all ones
        uint32_t big_l;
        int32_t t[2];
        uint32_t case_bits;
        uint32_t cases() const { return case_bits; }
    };
    static void prepare(Ink* ink, const uint32_t* rate, const int32_t* thresholds) {
        for (uint32_t v = 0; v < 256; ++v) {
            const uint32_t* r = rate + 3 * v;
            const LevelFacts f = level_facts(r[K], thresholds);
            ink[v] = {{r[0], r[1], r[2]}, v != 0 ? ~0u : 0u, f.big_l, {f.t[0], f.t[1]}, f.cases};
        }
    }
    static Decision decide(const Ink& in, uint32_t cell, uint32_t error) {
        const uint32_t m = (prints(cell, in.r[0]) + prints(cell, in.r[1]) + prints(cell, in.r[2])) & in.live;
        const uint32_t tested = uint32_t(in.t[m == K + 1] < int32_t(error + in.big_l));
        const uint32_t code = m > K + 1 ? m : (K + 1) * tested;
        return residual(code, uint32_t(code != 0), error, in.big_l);
    }
    // Counts per output byte, from its four codes.
    struct Tally {
        uint32_t n1 = 0, n2 = 0, n3 = 0;
        void byte(uint32_t b) {
            const uint32_t packed = kCodeCounts<2>.n[b];
            n1 += packed & 7u;
            n2 += (packed >> 3) & 7u;
            n3 += packed >> 6;
        }
        void into(uint32_t* counts) const {
            counts[1] += n1;
            counts[2] += n2;
            counts[3] += n3;
        }
    };
};

// ---- The walk -----------------------------------------------------------

template <class Table, class Decide>
class EdLine {
public:
    using Ink = typename Decide::Ink;

    EdLine() = default;
    EdLine(int32_t* error, const Ink* inks, int32_t x0) { begin(error, inks, x0); }
    void begin(int32_t* error, const Ink* inks, int32_t x0) {
        error_ = error;
        inks_ = inks;
        c_.e = uint32_t(error[x0]);
        c_.e1 = uint32_t(error[x0 + 1]);
        each([&](auto j) { c_.f[j] = uint32_t(error[x0 + 2 + j]); });
        c_.q3 = c_.q2 = c_.q1 = c_.q0 = 0;
    }

    // Pixel x with ink value `ink` and dither cell `cell`: its code.
    [[gnu::always_inline]] uint32_t pixel(int32_t x, uint32_t ink, uint32_t cell) {
        int32_t* at = error_ + x;
        const Ink& in = inks_[ink];
        const Decision d = Decide::decide(in, cell, c_.e);
        const uint32_t cases = in.cases();
        if ((cases >> (2 + d.dot)) & 1u) [[unlikely]] {
            Carries<kWindow> moved = c_;  // only the copy's address leaves the loop
            spread_minority<Table, kWindow>(moved, d.r, at, folded(in.big_l));
            c_ = moved;
        } else if ((cases & 3u) == kZ) {
            spread<Table::z>(c_, d.r, at);
        } else if (&Table::g == &Table::n || (cases & 3u) == kG) {
            spread<Table::g>(c_, d.r, at);
        } else {
            spread<Table::n>(c_, d.r, at);
        }
        return d.code;
    }

    void byte(uint32_t b) { tally_.byte(b); }
    void use_inks(const Ink* inks) { inks_ = inks; }

    // After the last pixel.
    void finish(int32_t end, uint32_t* counts) {
        each([&](auto j) { error_[end + 2 + j] = int32_t(c_.f[j]); });
        error_[end - 3] = int32_t(c_.q3);
        error_[end - 2] = int32_t(c_.q2);
        error_[end - 1] = int32_t(c_.q1);
        tally_.into(counts);
    }

private:
    static constexpr int kWindow = window<Table>();
    // fn(j) for every window cell j, j a constant (the carries stay in registers).
    template <class Fn>
    static void each(Fn fn) {
        [&]<int... J>(std::integer_sequence<int, J...>) {
            (fn(std::integral_constant<int, J>{}), ...);
        }(std::make_integer_sequence<int, kWindow - 1>{});
    }

    int32_t* error_ = nullptr;
    const Ink* inks_ = nullptr;
    Carries<kWindow> c_{};
    typename Decide::Tally tally_{};
};

// The margin cells a run reaches but does not own: set to 0 before it.
inline void clear_left_margin(int32_t* error, int32_t x0) {
    std::memset(error + x0 - kReach, 0, sizeof(int32_t) * (kReach - 3));
}
inline void clear_right_margin(int32_t* error, int32_t end) { std::memset(error + end, 0, sizeof(int32_t) * kReach); }

// A run walked a whole output byte at a time. The walk may stop after any
// byte and go on later from the same state, on another thread: walked in one
// go it is the kernel; cut in two (EdParts), the second part of one line can
// run beside the first part of the next.
template <class Table, class Decide>
struct EdRun {
    static constexpr int kBits = Decide::kBits;
    static constexpr int32_t kPer = 8 / kBits;

    static constexpr uint32_t kRates = 256 * (kBits == 1 ? 1 : 3);

    typename Decide::Ink inks[256];
    EdLine<Table, Decide> line;
    DitherWalk walk;
    uint8_t* plane = nullptr;
    const uint8_t* ink = nullptr;
    int32_t* error = nullptr;
    int32_t x0 = 0, end = 0;
    int32_t next = 0, last = -1;  // the first byte not walked yet, the run's last byte

    // n >= 1. The right margin is cleared here only when `clearRight`; else
    // the caller clears it before the walk passes end - 16.
    void start(uint8_t* plane_, const uint8_t* ink_, int32_t* error_, const uint32_t* rate, const HXRDthData& dither,
               const HXRDthOffset& offset, const int32_t* thresholds, int32_t x0_, int32_t n, uint32_t nozzle,
               bool clearRight) {
        plane = plane_, ink = ink_, error = error_, x0 = x0_, end = x0_ + n;
        clear_left_margin(error, x0);
        if (clearRight) clear_right_margin(error, end);
        Decide::prepare(inks, rate, thresholds);
        line.begin(error, inks, x0);
        next = x0 / kPer, last = (end - 1) / kPer;
        walk = DitherWalk(dither, offset, nozzle, int64_t(next) * kPer);
    }

    // Walks the bytes before byte `stop` (past the last byte: all of them).
    // The carries, the dither position and the run's bounds live in locals
    // meanwhile, which nothing the loop stores can be taken to change.
    void walk_to(int32_t stop) {
        EdLine<Table, Decide> l = line;
        DitherWalk w = walk;
        uint8_t* const plane = this->plane;
        const uint8_t* const ink = this->ink;
        const int32_t x0 = this->x0, end = this->end;
        const int32_t to = std::min(stop, last + 1);
        for (int32_t b = next; b < to; ++b) {
            uint16_t cell[kPer];
            for (int32_t g = 0; g < kPer; g += 4) {
                std::memcpy(cell + g, w.cells(), 4 * sizeof(uint16_t));
                w.next();
            }
            const int32_t base = b * kPer;
            uint32_t byte = 0;
            if (base >= x0 && base + kPer <= end) {
                [&]<int... J>(std::integer_sequence<int, J...>) {
                    ((byte |= l.pixel(base + J, ink[base + J], cell[J]) << (8 - kBits * (J + 1))), ...);
                }(std::make_integer_sequence<int, kPer>{});
            } else {
                const int32_t lo = std::max(x0 - base, 0), hi = std::min(end - base, kPer);
                for (int32_t j = lo; j < hi; ++j)
                    byte |= l.pixel(base + j, ink[base + j], cell[j]) << (8 - kBits * (j + 1));
            }
            plane[b] = uint8_t(byte);
            l.byte(byte);
        }
        next = std::max(next, to);
        line = l;
        walk = w;
    }

    void finish(uint32_t* counts) { line.finish(end, counts); }
};

template <class Table, class Decide>
void RunEdLine(uint8_t* plane, uint32_t* counts, const uint8_t* ink, const uint8_t* /*intent*/, int32_t* error,
               const uint32_t* const* rates, const HXRDthData* dither, const HXRDthOffset* offset,
               const int32_t* thresholds, int32_t x0, int32_t n, uint32_t nozzle) {
    if (n <= 0) return;
    EdRun<Table, Decide> run;
    run.start(plane, ink, error, rates[0], *dither, *offset, thresholds, x0, n, nozzle, true);
    run.walk_to(run.last + 1);
    run.finish(counts);
}

// ---- A run in two parts ---------------------------------------------------

// The bytes of every kernel's run state.
inline constexpr size_t kEdRunBytes = 12 * 1024;

// A kernel taken apart: `start` begins the run as the kernel does, except
// that it leaves the right margin alone and walks nothing; `walk` walks to a
// pixel on a byte boundary; `tail` clears the right margin, walks to the end
// and adds the run's counts. `state` holds kEdRunBytes bytes aligned to 64;
// the run's arguments must stay valid until `tail` returns. The bytes, cells
// and counts are the kernel's as long as the walk before `tail` stops at or
// before end - 16.
struct EdParts {
    void (*start)(void* state, uint8_t* plane, const uint8_t* ink, int32_t* error, const uint32_t* rate,
                  const HXRDthData* dither, const HXRDthOffset* offset, const int32_t* thresholds, int32_t x0,
                  int32_t n, uint32_t nozzle);
    void (*walk)(void* state, int32_t toPixel);
    void (*tail)(void* state, uint32_t* counts);
    int32_t pixelsPerByte;
};

template <class Table, class Decide>
struct EdPartsOf {
    using Run = EdRun<Table, Decide>;
    // The run, its level rates and thresholds as `start` got them.
    struct State {
        Run run;
        uint32_t rate[Run::kRates];
        const int32_t* thresholds;
    };
    static_assert(sizeof(State) <= kEdRunBytes && alignof(State) <= 64);
    static void start(void* state, uint8_t* plane, const uint8_t* ink, int32_t* error, const uint32_t* rate,
                      const HXRDthData* dither, const HXRDthOffset* offset, const int32_t* thresholds, int32_t x0,
                      int32_t n, uint32_t nozzle) {
        State* s = new (state) State;
        s->run.start(plane, ink, error, rate, *dither, *offset, thresholds, x0, n, nozzle, false);
        std::memcpy(s->rate, rate, sizeof s->rate);
        s->thresholds = thresholds;
    }
    static void walk(void* state, int32_t toPixel) {
        Run& run = static_cast<State*>(state)->run;
        run.walk_to(toPixel / Run::kPer);
    }
    static void tail(void* state, uint32_t* counts) {
        State* s = static_cast<State*>(state);
        // The tail's own table of ink values, in the cache of the core that
        // walks it: the one `start` made may lie in another core's.
        typename Decide::Ink inks[256];
        Decide::prepare(inks, s->rate, s->thresholds);
        Run& run = s->run;
        run.line.use_inks(inks);
        clear_right_margin(run.error, run.end);
        run.walk_to(run.last + 1);
        run.finish(counts);
    }
    static constexpr EdParts kParts{&start, &walk, &tail, Run::kPer};
};

}  // namespace ovcg::hybrid_ed
