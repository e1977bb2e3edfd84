#include "codecs/jpeg/huffman.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ovcg::jpeg {
namespace {

constexpr HuffmanSegment MakeSegment(uint8_t classId, const uint8_t (&bits)[16], const uint8_t* vals) {
    HuffmanSegment s{};
    s.tableClassId = classId;
    int n = 0;
    for (int i = 0; i < 16; ++i) {
        s.bits[i] = bits[i];
        n += bits[i];
    }
    for (int i = 0; i < n; ++i) s.vals[i] = vals[i];
    s.count = n;
    return s;
}

constexpr uint8_t kDcVals[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

constexpr uint8_t kYDcBits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
constexpr uint8_t kCDcBits[16] = {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
// One more code each of the lengths 10 to 13 (luminance) or 12 to 15
// (chrominance), for the categories 12 to 15 of 16-times DC precision.
constexpr uint8_t kYDcBits16[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0};
constexpr uint8_t kCDcBits16[16] = {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0};

constexpr uint8_t kYAcBits[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
constexpr uint8_t kYAcVals[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
    0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52,
    0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25,
    0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45,
    0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64,
    0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
    0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
    0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6,
    0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3,
    0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8,
    0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

constexpr uint8_t kCAcBits[16] = {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77};
constexpr uint8_t kCAcVals[162] = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
    0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33,
    0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18,
    0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44,
    0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63,
    0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
    0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
    0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4,
    0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca,
    0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7,
    0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

// True when `s` holds each of end-of-block, zero-run and run/size for run
// 0..15 and size 1..maxSize exactly once, and nothing else.
constexpr bool HoldsAcAlphabet(const HuffmanSegment& s, int maxSize) {
    int seen[256] = {};
    for (int i = 0; i < s.count; ++i) ++seen[s.vals[i]];
    for (int sym = 0; sym < 256; ++sym) {
        const int size = sym & 15;
        const bool wanted = sym == 0x00 || sym == 0xF0 || (size >= 1 && size <= maxSize);
        if (seen[sym] != (wanted ? 1 : 0)) return false;
    }
    return true;
}

// The AC table of 16-times precision: the codes of lengths 1 to 10 of the base
// table kept, nothing at 11 to 15, and every other symbol of the wider alphabet
// (sizes up to 15) at length 16 in ascending order.
constexpr HuffmanSegment MakeAc16(uint8_t classId, const uint8_t (&baseBits)[16], const uint8_t* baseVals) {
    uint8_t bits[16] = {};
    int kept = 0;
    for (int i = 0; i < 10; ++i) {
        bits[i] = baseBits[i];
        kept += baseBits[i];
    }
    uint8_t vals[256] = {};
    bool used[256] = {};
    for (int i = 0; i < kept; ++i) {
        vals[i] = baseVals[i];
        used[baseVals[i]] = true;
    }
    int n = kept;
    for (int sym = 0; sym < 256; ++sym) {
        const int size = sym & 15;
        const bool inAlphabet = sym == 0x00 || sym == 0xF0 || size >= 1;
        if (inAlphabet && !used[sym]) vals[n++] = static_cast<uint8_t>(sym);
    }
    bits[15] = static_cast<uint8_t>(n - kept);
    return MakeSegment(classId, bits, vals);
}

constexpr SHuffmanCodeTable MakeCodes(const HuffmanSegment& s) {
    SHuffmanCodeTable t{};
    t.symbolCount = s.count;
    uint32_t code = 0;
    int k = 0;
    for (int len = 1; len <= 16; ++len) {
        for (int i = 0; i < s.bits[len - 1]; ++i) {
            if (code >= (1u << len)) throw "Huffman code space exceeded";
            const uint8_t sym = s.vals[k++];
            if (t.length[sym] != 0) throw "symbol listed twice";
            t.code[sym] = static_cast<uint16_t>(code);
            t.length[sym] = static_cast<uint8_t>(len);
            ++code;
        }
        code <<= 1;
    }
    return t;
}

using AcWordArray = std::array<uint32_t, 2 * kAcWordsPerTable>;

// A word joins the code of (run, size) with the value bits; a word and up to
// seven pending bits must fit the 32-bit accumulator, hence at most 25 bits.
constexpr AcWordArray MakeAcWords(const SHuffmanCodeTable& lum, const SHuffmanCodeTable& chr) {
    AcWordArray words{};
    const SHuffmanCodeTable* tables[2] = {&lum, &chr};
    for (int t = 0; t < 2; ++t) {
        for (int r = 0; r < 16; ++r) {
            for (int v = -256; v < 256; ++v) {
                if (v == 0) continue;
                const int size = BitSize(v);
                const int sym = (r << 4) | size;
                const int len = tables[t]->length[sym];
                if (len == 0) throw "AC symbol without code";
                if (len + size > 25) throw "precomputed AC word too long";
                const uint32_t code = static_cast<uint32_t>(tables[t]->code[sym]) << size | ValueBits(v, size);
                const uint32_t word = code << 5 | static_cast<uint32_t>(len + size);
                words[static_cast<size_t>(t * kAcWordsPerTable + r * kAcWordValues + v + 256)] = word;
            }
        }
    }
    return words;
}

}  // namespace

constexpr HuffmanSegment kYDcSegmentC = MakeSegment(0x00, kYDcBits, kDcVals);
constexpr HuffmanSegment kCDcSegmentC = MakeSegment(0x01, kCDcBits, kDcVals);
constexpr HuffmanSegment kYDcSegment16C = MakeSegment(0x00, kYDcBits16, kDcVals);
constexpr HuffmanSegment kCDcSegment16C = MakeSegment(0x01, kCDcBits16, kDcVals);
constexpr HuffmanSegment kYAcSegmentC = MakeSegment(0x10, kYAcBits, kYAcVals);
constexpr HuffmanSegment kCAcSegmentC = MakeSegment(0x11, kCAcBits, kCAcVals);
constexpr HuffmanSegment kYAcSegment16C = MakeAc16(0x10, kYAcBits, kYAcVals);
constexpr HuffmanSegment kCAcSegment16C = MakeAc16(0x11, kCAcBits, kCAcVals);

static_assert(kYDcSegmentC.count == 12 && kCDcSegmentC.count == 12);
static_assert(kYDcSegment16C.count == 16 && kCDcSegment16C.count == 16);
static_assert(kYAcSegmentC.count == 162 && kCAcSegmentC.count == 162);
static_assert(kYAcSegment16C.count == 242 && kCAcSegment16C.count == 242);
static_assert(HoldsAcAlphabet(kYAcSegmentC, 10) && HoldsAcAlphabet(kCAcSegmentC, 10));
static_assert(HoldsAcAlphabet(kYAcSegment16C, 15) && HoldsAcAlphabet(kCAcSegment16C, 15));
static_assert(kYAcSegment16C.bits[15] == 214 && kCAcSegment16C.bits[15] == 210);

const HuffmanSegment kYDcSegment = kYDcSegmentC, kCDcSegment = kCDcSegmentC, kYDcSegment16 = kYDcSegment16C,
                  kCDcSegment16 = kCDcSegment16C;
const HuffmanSegment kYAcSegment = kYAcSegmentC, kCAcSegment = kCAcSegmentC, kYAcSegment16 = kYAcSegment16C,
                  kCAcSegment16 = kCAcSegment16C;

constexpr SHuffmanCodeTable kYDcCodes = MakeCodes(kYDcSegmentC);
constexpr SHuffmanCodeTable kCDcCodes = MakeCodes(kCDcSegmentC);
constexpr SHuffmanCodeTable kYDcCodes16 = MakeCodes(kYDcSegment16C);
constexpr SHuffmanCodeTable kCDcCodes16 = MakeCodes(kCDcSegment16C);
constexpr SHuffmanCodeTable kYAcCodes = MakeCodes(kYAcSegmentC);
constexpr SHuffmanCodeTable kCAcCodes = MakeCodes(kCAcSegmentC);
constexpr SHuffmanCodeTable kYAcCodes16 = MakeCodes(kYAcSegment16C);
constexpr SHuffmanCodeTable kCAcCodes16 = MakeCodes(kCAcSegment16C);

const SHuffmanCodeTable kYDcHuffmanT = kYDcCodes, kCDcHuffmanT = kCDcCodes, kYDcHuffmanT16 = kYDcCodes16,
                        kCDcHuffmanT16 = kCDcCodes16;
const SHuffmanCodeTable kYAcHuffmanT = kYAcCodes, kCAcHuffmanT = kCAcCodes, kYAcHuffmanT16 = kYAcCodes16,
                        kCAcHuffmanT16 = kCAcCodes16;

namespace {
constexpr AcWordArray kWords8 = MakeAcWords(kYAcCodes, kCAcCodes);
constexpr AcWordArray kWords16 = MakeAcWords(kYAcCodes16, kCAcCodes16);
}  // namespace

const uint32_t* const kAcWords8[2] = {kWords8.data(), kWords8.data() + kAcWordsPerTable};
const uint32_t* const kAcWords16[2] = {kWords16.data(), kWords16.data() + kAcWordsPerTable};

namespace {

// The sinks of the coders: the stream itself (a bounds test per byte), or
// the bits and bytes held in registers while the buffer has room for the
// largest block.
struct StreamSink {
    COutputStream& out;
    void Put(uint32_t bits, int n) { out.PutBits(bits, n); }
    void Put2(uint32_t a, int na, uint32_t b, int nb) {
        out.PutBits(a, na);
        out.PutBits(b, nb);
    }
};

class DirectSink {
public:
    [[gnu::always_inline]] explicit DirectSink(COutputStream& out) : out_(out), p_(out.Cursor()) {
        acc_ = out.PendingBits(&n_);
    }
    // n <= 32 bits; fewer than 8 pending. Every call writes its complete
    // bytes at once: the pending bits are moved to the top of a word, stored
    // big-endian (the bytes past the complete ones are rewritten later), and
    // only a word with an FF byte takes the byte-wise path that stuffs.
    [[gnu::always_inline]] void Put(uint32_t bits, int n) {
        acc_ = (acc_ << n) | bits;
        n_ += n;
        Store();
    }
    // Two precomputed AC words (at most 25 bits each) at once.
    [[gnu::always_inline]] void Put2(uint32_t a, int na, uint32_t b, int nb) {
        acc_ = (((acc_ << na) | a) << nb) | b;
        n_ += na + nb;
        Store();
    }
    [[gnu::always_inline]] ~DirectSink() { out_.EndDirect(p_, acc_, n_); }

private:
    [[gnu::always_inline]] void Store() {
        const uint64_t w = acc_ << (64 - n_);
        const uint64_t inv = ~w;
        if (((inv - 0x0101010101010101u) & ~inv & 0x8080808080808080u) == 0) {
            const uint64_t be = std::endian::native == std::endian::little ? __builtin_bswap64(w) : w;
            std::memcpy(p_, &be, 8);
            p_ += n_ >> 3;
            n_ &= 7;
            return;
        }
        while (n_ >= 8) {
            n_ -= 8;
            Byte(static_cast<uint8_t>(acc_ >> n_));
        }
    }
    void Byte(uint8_t b) {
        *p_++ = b;
        if (b == 0xFF) *p_++ = 0x00;
    }
    COutputStream& out_;
    unsigned char* p_;
    uint64_t acc_;
    int n_;
};

// The most bytes one block can write: 64 codes of at most 31 bits, every
// byte stuffed, the bits pending before it, and the 8 bytes of the last
// store.
constexpr int kMaxBlockBytes = 2 * (64 * 31 / 8 + 8) + 8;

// Bit k set when v[k] is not zero.
[[gnu::always_inline]] inline uint64_t NonZeroMask(const int* v) {
#if defined(__SSE2__)
    uint64_t mask = 0;
    for (int k = 0; k < 64; k += 16) {
        // Packed with saturation: a value stays zero or not zero.
        const __m128i a = _mm_packs_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v + k)),
                                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + k + 4)));
        const __m128i b = _mm_packs_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v + k + 8)),
                                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + k + 12)));
        const __m128i zero = _mm_setzero_si128();
        const __m128i z = _mm_packs_epi16(_mm_cmpeq_epi16(a, zero), _mm_cmpeq_epi16(b, zero));
        mask |= static_cast<uint64_t>(static_cast<uint16_t>(~_mm_movemask_epi8(z))) << k;
    }
    return mask;
#else
    uint64_t mask = 0;
    for (int k = 0; k < 64; ++k) mask |= static_cast<uint64_t>(v[k] != 0) << k;
    return mask;
#endif
}

// A mask over natural-order positions turned into the same mask over zigzag
// positions, a byte at a time: kZigzagBits[i][b] holds the zigzag bits of
// the natural positions 8i..8i+7 that b has set.
using ZigzagBitTable = std::array<std::array<uint64_t, 256>, 8>;
constexpr ZigzagBitTable MakeZigzagBits() {
    uint8_t inverse[64] = {};
    for (int k = 0; k < 64; ++k) inverse[kZigzag[k]] = static_cast<uint8_t>(k);
    ZigzagBitTable t{};
    for (int i = 0; i < 8; ++i)
        for (int b = 0; b < 256; ++b)
            for (int j = 0; j < 8; ++j)
                if (b >> j & 1) t[i][b] |= uint64_t{1} << inverse[8 * i + j];
    return t;
}
constexpr ZigzagBitTable kZigzagBits = MakeZigzagBits();

[[gnu::always_inline]] inline uint64_t ZigzagMask(uint64_t natural) {
    uint64_t m = 0;
    for (int i = 0; i < 8; ++i) m |= kZigzagBits[static_cast<size_t>(i)][(natural >> (8 * i)) & 0xFF];
    return m;
}

template <class Sink>
[[gnu::always_inline]] inline void Dc(Sink& out, int diff, const SHuffmanCodeTable& dc) {
    const int cat = BitSize(diff);
    if (cat >= dc.symbolCount || dc.length[cat] == 0) throw COMP_ERR_TABLE;
    out.Put(static_cast<uint32_t>(dc.code[cat]) << cat | (cat > 0 ? ValueBits(diff, cat) : 0u), dc.length[cat] + cat);
}

template <class Sink>
[[gnu::always_inline]] inline void Ac(Sink& out, const int* coeff, const BlockTables& t) {
    const SHuffmanCodeTable& ac = *t.ac;
    // The coefficients in zigzag order and a bit per non-zero one, so that
    // zero runs are skipped by counting bits instead of testing each value.
    uint64_t nonZero = ZigzagMask(NonZeroMask(coeff)) & ~uint64_t{1};
    const auto zz = [coeff](int k) { return coeff[kZigzag[k]]; };
    // Held in a register: the sink's byte stores could alias the tables.
    const uint32_t* const words = t.acWords;
    int last = 0;  // zigzag index of the previous non-zero coefficient
    const auto inTable = [](int run, int v) { return run <= 15 && static_cast<unsigned>(v + 256) < 512u; };
    while (nonZero) {
        const int k = __builtin_ctzll(nonZero);
        nonZero &= nonZero - 1;
        const int v = zz(k);
        int run = k - last - 1;
        last = k;
        if (!inTable(run, v)) {
            while (run > 15) {
                out.Put(ac.code[0xF0], ac.length[0xF0]);
                run -= 16;
            }
            if (static_cast<unsigned>(v + 256) < 512u) {
                const uint32_t w = t.acWords[run * kAcWordValues + v + 256];
                out.Put(w >> 5, static_cast<int>(w & 31u));
            } else {
                // Outside the precomputed range: the code of (run, size), then the bits.
                const int size = BitSize(v);
                const int sym = (run << 4) | size;
                if (size > 15 || ac.length[sym] == 0) throw COMP_ERR_TABLE;
                out.Put(static_cast<uint32_t>(ac.code[sym]) << size | ValueBits(v, size), ac.length[sym] + size);
            }
            continue;
        }
        const uint32_t a = words[static_cast<unsigned>(run * kAcWordValues + v + 256)];
        // Two precomputed words go out together when the next one is one too.
        if (nonZero) {
            const int k2 = __builtin_ctzll(nonZero);
            const int v2 = zz(k2), run2 = k2 - last - 1;
            if (inTable(run2, v2)) {
                nonZero &= nonZero - 1;
                last = k2;
                const uint32_t b = words[static_cast<unsigned>(run2 * kAcWordValues + v2 + 256)];
                out.Put2(a >> 5, static_cast<int>(a & 31u), b >> 5, static_cast<int>(b & 31u));
                continue;
            }
        }
        out.Put(a >> 5, static_cast<int>(a & 31u));
    }
    if (last < 63) out.Put(ac.code[0x00], ac.length[0x00]);
}

}  // namespace

void EmitDc(COutputStream& out, int diff, const SHuffmanCodeTable& dc) {
    StreamSink sink{out};
    Dc(sink, diff, dc);
}

void EmitAc(COutputStream& out, const int* coeff, const BlockTables& t) {
    StreamSink sink{out};
    Ac(sink, coeff, t);
}

void EmitBlock(COutputStream& out, int diff, const int* coeff, const BlockTables& t) {
    if (!out.HasRoom(kMaxBlockBytes)) {
        EmitDc(out, diff, *t.dc);
        EmitAc(out, coeff, t);
        return;
    }
    DirectSink sink(out);
    Dc(sink, diff, *t.dc);
    Ac(sink, coeff, t);
}

void WriteHuffmanSegment(COutputStream& out, const HuffmanSegment& seg) {
    out.PutByte(0xFF);
    out.PutByte(0xC4);
    out.PutU16BE(static_cast<uint32_t>(2 + 1 + 16 + seg.count));
    out.PutByte(seg.tableClassId);
    out.CopyByte(seg.bits, 16);
    out.CopyByte(seg.vals, seg.count);
}

}  // namespace ovcg::jpeg
