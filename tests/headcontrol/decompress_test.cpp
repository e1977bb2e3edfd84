#include "headcontrol/decompress.h"

#include "ovcg/irac.h"
#include "support/fake_ovf.h"
#include "support/irac_packer.h"
#include "support/lz_pack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <queue>
#include <random>
#include <string>
#include <vector>

namespace ovcg::irac {
namespace {

using ovcg_test::Bytes;
using ovcg_test::FakeOvf;
using ovcg_test::irac_pack;
using ovcg_test::irac_plain_resource;
using ovcg_test::IracPackOptions;
using ovcg_test::IracPackStats;

constexpr std::array<uint8_t, 4> kPrefix = {0x01, 0x00, 0x03, 0x00};

// Hand-built streams under the code every stream starts with: with all 392
// frequencies equal the optimal code gives 120 symbols 8 bits and 272
// symbols 9 bits; the canonical order puts symbols 0-119 first.
struct Bits : ovcg_test::MsbBitWriter {
    void sym(int s) {
        if (s < 120) put(static_cast<uint32_t>(s), 8);
        else put(static_cast<uint32_t>(240 + (s - 120)), 9);
    }
    void match(int dist_class, int len_class) { sym(257 + dist_class * 9 + len_class); }
    void signature() {
        for (int s : {0xAB, 0xB0, 0xA0}) sym(s);
    }
};

Bytes header(uint32_t size, uint8_t flag = 1) {
    return {kPrefix[0], kPrefix[1], kPrefix[2], kPrefix[3], flag,
            static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size),
            static_cast<uint8_t>(size >> 24), static_cast<uint8_t>(size >> 8)};
}

// A header stating `size`, and one stream byte.
Bytes stub(uint32_t size, uint8_t flag = 1) {
    Bytes h = header(size, flag);
    h.push_back(0);
    return h;
}

Bytes packed_from(const Bits& b, uint32_t size) {
    Bytes p = header(size);
    const Bytes s = b.finish();
    p.insert(p.end(), s.begin(), s.end());
    return p;
}

struct Result {
    uint32_t code;
    Bytes out;
};

Result unpack(const Bytes& packed, uint32_t dest_size, FakeOvf& fake) {
    Result r;
    r.out.assign(dest_size, 0xEE);
    r.code = IRAC_DecompressResource(packed.data(), static_cast<uint32_t>(packed.size()),
                                     r.out.data(), dest_size, nullptr, &fake.table());
    return r;
}

Result unpack(const Bytes& packed) {
    FakeOvf fake;
    uint32_t size = 0;
    EXPECT_EQ(IRAC_GetResourceDataSize(packed.data(), static_cast<uint32_t>(packed.size()), &size), 0u);
    Result r = unpack(packed, size, fake);
    EXPECT_EQ(fake.live_blocks(), 0u);
    EXPECT_EQ(fake.bad_frees(), 0u);
    return r;
}

Bytes signed_body(std::initializer_list<uint8_t> rest) {
    Bytes b = {0xAB, 0xB0, 0xA0};
    for (uint8_t x : rest) b.push_back(x);
    return b;
}

// ---- The fixed starting code, written out by hand ----

TEST(RdmStream, HandBuiltStreams) {
    const struct {
        const char* name;
        std::function<void(Bits&)> body;  // after the three signature literals
        uint32_t size;                    // bytes after the header
        Bytes want;                       // the same
    } cases[] = {
        {"literals of both code lengths", [](Bits& b) { for (int s : {int{'H'}, int{'i'}, 0x00, 0xFF}) b.sym(s); },
         7, signed_body({'H', 'i', 0x00, 0xFF})},
        // Distance class 1, length class 4: base 8 = 2^3 + 0, length 10.
        {"distance 1 length 10 repeats the last byte", [](Bits& b) { b.sym('Z'); b.match(1, 4); b.put(0, 3); },
         14, signed_body({'Z', 'Z', 'Z', 'Z', 'Z', 'Z', 'Z', 'Z', 'Z', 'Z', 'Z'})},
        {"class 0 keeps the starting distance 1 and base 1", [](Bits& b) { b.sym('Q'); b.match(0, 0); },
         7, signed_body({'Q', 'Q', 'Q', 'Q'})},
        // Distance 2 + 1 extra bit = 3, base 1: length 3.
        {"distance 3 with extra bits copies the signature", [](Bits& b) { b.match(2, 1); b.put(1, 1); },
         6, signed_body({0xAB, 0xB0, 0xA0})},
        // Distance 2 + 0 = 2, base 2 + 1 = 3: length 5; then class 0 twice does it again.
        {"a repeated class reuses the previous distance and base",
         [](Bits& b) { b.sym('x'); b.match(2, 2); b.put(0, 1); b.put(1, 1); b.match(0, 0); },
         14, signed_body({'x', 0xA0, 'x', 0xA0, 'x', 0xA0, 'x', 0xA0, 'x', 0xA0, 'x'})},
        // Base 128 + 127: length 257.
        {"a match longer than the rest is cut to it and ends the stream",
         [](Bits& b) { b.sym('k'); b.match(1, 8); b.put(127, 7); }, 9, signed_body({'k', 'k', 'k', 'k', 'k', 'k'})},
        // Distance 64 + 36 = 100, length 3.
        {"a distance before the first byte reads the zeroed window", [](Bits& b) { b.match(7, 1); b.put(36, 6); },
         6, signed_body({0, 0, 0})},
        // Distance 8192 + 8191 = 16383, base 3: length 5.
        {"the largest distance class and extra bits", [](Bits& b) { b.match(14, 2); b.put(8191, 13); b.put(1, 1); },
         8, signed_body({0, 0, 0, 0, 0})},
    };
    for (const auto& c : cases) {
        Bits b;
        b.signature();
        c.body(b);
        const Result r = unpack(packed_from(b, c.size));
        ASSERT_EQ(r.code, 0u) << c.name;
        EXPECT_EQ(r.out, irac_plain_resource(kPrefix, c.want)) << c.name;
    }
}

// ---- The size query ----

TEST(RdmSize, ResultsAndCodes) {
    const Bytes p = stub(0x01020304);
    const struct {
        const char* name;
        Bytes packed;  // empty: a null pointer
        uint32_t packed_size;
        bool null_size;
        uint32_t code;
        uint32_t size;  // after the call (7 before it)
    } cases[] = {
        {"null resource", {}, 20, false, 531, 7},
        {"null size", p, 10, true, 531, 7},
        {"header only", p, 9, false, 521, 7},
        {"packed", p, 10, false, 0, 0x01020304u + 9},
        // Bytes 5-8 written out: 12 34 0A 56 hold bits 16-23, 0-7, 24-31, 8-15.
        {"size byte order", {1, 0, 3, 0, 1, 0x12, 0x34, 0x0A, 0x56, 0}, 10, false, 0, 0x0A125634u + 9},
        {"flag 0", stub(5, 0), 10, false, 532, 7},
        {"flag 2", stub(5, 2), 10, false, 532, 7},
        // A stated size whose sum with the header would wrap is refused, not wrapped.
        {"wrapping size", stub(0xFFFFFFF8u), 10, false, 504, 7},
        {"at the cap", stub(IRAC_RDM_MAX_UNPACKED), 10, false, 0, IRAC_RDM_MAX_UNPACKED + 9},
        {"above the cap", stub(IRAC_RDM_MAX_UNPACKED + 1), 10, false, 504, 7},
    };
    for (const auto& c : cases) {
        uint32_t size = 7;
        EXPECT_EQ(IRAC_GetResourceDataSize(c.packed.empty() ? nullptr : c.packed.data(), c.packed_size,
                                           c.null_size ? nullptr : &size),
                  c.code)
            << c.name;
        EXPECT_EQ(size, c.size) << c.name;
    }
}

// ---- Every refusal before unpacking, in the order checked ----

TEST(RdmUnpack, ArgumentChecks) {
    Bits b;
    b.signature();
    const Bytes good = packed_from(b, 3);
    FakeOvf fake;
    auto without = [&](auto OVF_COMMON::*word) {
        OVF_COMMON t = fake.table();
        t.*word = nullptr;
        return t;
    };
    const OVF_COMMON no_copy = without(&OVF_COMMON::copy), no_fill = without(&OVF_COMMON::fill),
                     no_alloc = without(&OVF_COMMON::alloc), no_free = without(&OVF_COMMON::free);
    const Bytes zero = stub(0), one = stub(1), two = stub(2);
    const Bytes wraps = stub(0xFFFFFFF8u);  // + 9 is 1 in 32 bits
    const Bytes over_cap = stub(IRAC_RDM_MAX_UNPACKED + 1);
    Bytes plain = good;
    plain[4] = 0;
    int reserved_word = 0;
    uint8_t dest[64];

    const struct {
        const char* name;
        const Bytes* packed;
        uint32_t packed_size;
        bool null_dest;
        uint32_t dest_size;
        void* reserved;
        const OVF_COMMON* ovf;
        uint32_t code;
    } cases[] = {
        {"reserved word first", nullptr, 0, true, 0, &reserved_word, nullptr, 509},
        {"null packed", nullptr, 12, false, 64, nullptr, &fake.table(), 501},
        {"null destination", &good, 12, true, 64, nullptr, &fake.table(), 501},
        {"null table", &good, 12, false, 64, nullptr, nullptr, 501},
        {"table without copy", &good, 12, false, 64, nullptr, &no_copy, 501},
        {"table without fill", &good, 12, false, 64, nullptr, &no_fill, 501},
        {"table without allocate", &good, 12, false, 64, nullptr, &no_alloc, 501},
        {"table without free", &good, 12, false, 64, nullptr, &no_free, 501},
        {"packed size 9", &good, 9, false, 64, nullptr, &fake.table(), 521},
        {"packed size 0", &good, 0, false, 64, nullptr, &fake.table(), 521},
        {"unpacked size 0", &zero, 10, false, 64, nullptr, &fake.table(), 503},
        {"unpacked size 1", &one, 10, false, 64, nullptr, &fake.table(), 503},
        {"unpacked size 2", &two, 10, false, 64, nullptr, &fake.table(), 503},
        {"destination one byte short", &good, 12, false, 11, nullptr, &fake.table(), 504},
        {"size that wraps in 32 bits", &wraps, 10, false, 64, nullptr, &fake.table(), 504},
        {"size above the cap", &over_cap, 10, false, 0xFFFFFFFFu, nullptr, &fake.table(), 504},
        {"not packed", &plain, 12, false, 64, nullptr, &fake.table(), 505},
        {"exact destination", &good, static_cast<uint32_t>(good.size()), false, 12, nullptr, &fake.table(), 0},
        {"stream one byte short", &good, static_cast<uint32_t>(good.size() - 1), false, 12, nullptr, &fake.table(), 506},
    };
    for (const auto& c : cases) {
        std::memset(dest, 0xEE, sizeof dest);
        const size_t allocs = fake.alloc_calls();
        const uint32_t code = IRAC_DecompressResource(
            c.packed ? c.packed->data() : nullptr, c.packed_size, c.null_dest ? nullptr : dest,
            c.dest_size, c.reserved, c.ovf);
        EXPECT_EQ(code, c.code) << c.name;
        if (c.code != 0 && c.code != 506) {
            EXPECT_EQ(fake.alloc_calls(), allocs) << c.name << ": refused before allocating";
            EXPECT_EQ(dest[0], 0xEE) << c.name << ": nothing written";
        }
        EXPECT_EQ(fake.live_blocks(), 0u) << c.name;
    }
}

TEST(RdmUnpack, WorkAreaAllocationFailure) {
    const Bytes packed = irac_pack(irac_plain_resource(kPrefix, signed_body({1, 2, 3})));
    FakeOvf fake;
    fake.fail_alloc_from(1);
    const Result r = unpack(packed, 15, fake);
    EXPECT_EQ(r.code, 520u);
    EXPECT_EQ(fake.live_blocks(), 0u);
    EXPECT_EQ(r.out[4], 1);  // header copied, flag still set
}

// ---- Failures while unpacking ----

TEST(RdmUnpack, StreamFailures) {
    const struct {
        const char* name;
        std::function<void(Bits&)> stream;
        uint32_t size;
        uint32_t code;
    } cases[] = {
        {"end mark", [](Bits& b) { b.sym(0xAB); b.sym(256); }, 3, 511},
        {"wrong signature", [](Bits& b) { b.sym(0xAB); b.sym(0xB0); b.sym(0xA1); }, 3, 507},
        {"no signature at all", [](Bits& b) { b.sym('a'); b.sym('b'); b.sym('c'); b.sym('d'); }, 4, 507},
        {"stream ends after two bytes", [](Bits& b) { b.sym(0xAB); b.sym(0xB0); }, 3, 506},
        {"stream ends inside extra bits", [](Bits& b) { b.signature(); b.match(14, 0); b.put(1, 3); }, 9, 506},
        {"one byte that holds no whole symbol", [](Bits& b) { b.put(0xFF, 8); }, 3, 513},
        {"one literal short of the size", [](Bits& b) { b.signature(); }, 4, 506},
    };
    for (const auto& c : cases) {
        Bits b;
        c.stream(b);
        FakeOvf fake;
        const Result r = unpack(packed_from(b, c.size), c.size + 9, fake);
        EXPECT_EQ(r.code, c.code) << c.name;
        EXPECT_EQ(r.out[4], 1) << c.name << ": the flag stays set on failure";
        EXPECT_EQ(fake.live_blocks(), 0u) << c.name;
    }
}

// ---- The code builder ----

// Code lengths are at most 12 and fill the code space exactly.
template <typename Length>
void expect_complete(const Length* length, const char* what) {
    uint32_t kraft = 0;  // in units of 2^-12
    for (int s = 0; s < rdm::kSymbols; ++s) {
        ASSERT_GE(length[s], 1) << what << " symbol " << s;
        ASSERT_LE(length[s], 12) << what << " symbol " << s;
        kraft += 1u << (12 - length[s]);
    }
    EXPECT_EQ(kraft, 4096u) << what;
}

TEST(RdmCode, StartingCodeIsTheFixedOne) {
    RdmWork w;
    rdm::init_code(w.code, w.decode);
    EXPECT_EQ(w.code.counter, 3000);
    for (int s = 0; s < rdm::kSymbols; ++s) {
        const int len = s < 120 ? 8 : 9;
        const uint32_t code = s < 120 ? static_cast<uint32_t>(s) : static_cast<uint32_t>(240 + s - 120);
        ASSERT_EQ(w.code.length[s], len) << s;
        ASSERT_EQ(w.code.code[s], code) << s;
        ASSERT_EQ(w.decode[code << (12 - len)], s) << s;
    }
    expect_complete(w.code.length, "fixed code");
}

TEST(RdmCode, RebuildScheduleIs1096Then3704) {
    rdm::CodeState s{};
    rdm::init_code(s, nullptr);
    std::vector<int> rebuilt_at;
    for (int i = 1; i <= 1096 + 3 * 3704; ++i) {
        if (rdm::count_symbol(s, i % 7, nullptr)) rebuilt_at.push_back(i);
    }
    EXPECT_EQ(rebuilt_at, (std::vector<int>{1096, 1096 + 3704, 1096 + 2 * 3704, 1096 + 3 * 3704}));
    EXPECT_EQ(s.counter, 392);
    for (uint16_t f : s.freq) ASSERT_EQ(f, 1);
}

// Two rebuilds traced by hand. One symbol outweighs all others together, so
// it takes the 1-bit code 0 and the other 391 fill a balanced subtree: 121
// codes of 9 bits (256 up) and 270 of 10 bits (754 up), given in the order
// the shell sort leaves them. The sort only swaps the few heavier symbols
// forward, one gap at a time; `moved` lists where that leaves each displaced
// symbol. The second profile also needs the leaf to win a tie in the merge
// (the three 2s against the nodes of two 1s) to come out balanced like this.
struct TracedProfile {
    const char* name;
    std::vector<std::pair<int, uint16_t>> freq;  // all others 1
    std::vector<std::pair<int, int>> moved;      // sorted position, symbol
};
const TracedProfile kTraced[] = {
    // 1096 'A' literals from the start.
    {"one heavy symbol", {{0x41, 1097}}, {{0, 0x41}, {1, 0}, {4, 1}, {16, 4}, {65, 16}}},
    // AB B0 A0, then 1093 more AB.
    {"heavy symbol and three 2s",
     {{0xAB, 1095}, {0xA0, 2}, {0xB0, 2}},
     {{0, 0xAB}, {1, 0xA0}, {2, 0xB0}, {5, 2}, {13, 1}, {24, 0}, {29, 5}, {62, 13}, {73, 24}, {78, 29},
      {160, 62}, {171, 73}, {176, 78}}},
};

TEST(RdmCode, RebuildsTracedByHand) {
    for (const auto& t : kTraced) {
        SCOPED_TRACE(t.name);
        RdmWork w;
        for (uint16_t& f : w.code.freq) f = 1;
        for (auto [sym, f] : t.freq) w.code.freq[sym] = f;
        RDM_MakecodeReverse(w);
        std::vector<int> order(rdm::kSymbols);
        for (int p = 0; p < rdm::kSymbols; ++p) order[p] = p;
        for (auto [pos, sym] : t.moved) order[pos] = sym;
        for (int p = 0; p < rdm::kSymbols; ++p) {
            const int len = p == 0 ? 1 : p <= 121 ? 9 : 10;
            const int code = p == 0 ? 0 : p <= 121 ? 255 + p : 632 + p;
            ASSERT_EQ(w.code.length[order[p]], len) << "position " << p;
            ASSERT_EQ(w.code.code[order[p]], code) << "position " << p;
            ASSERT_EQ(w.decode[code << (12 - len)], order[p]) << "position " << p;
        }
    }
}

// The second traced profile inside a stream: the rebuild comes with the
// 1096th symbol, and the next symbol is read with the new code.
TEST(RdmStream, RebuildAfter1096Symbols) {
    Bits b;
    b.signature();
    for (int i = 0; i < 1093; ++i) b.sym(0xAB);
    const struct {
        uint32_t code;
        int len;
    } after[] = {
        {0, 1},     // AB
        {256, 9},   // A0, position 1
        {257, 9},   // B0, position 2
        {279, 9},   // 00, position 24
        {284, 9},   // 05, position 29
        {792, 10},  // 3E, position 160
        {808, 10},  // 4E, position 176
        {887, 10},  // FF, position 255
        {889, 10},  // match class 0/0: 3 bytes from distance 1
        {0, 1},     // AB
    };
    for (const auto& a : after) b.put(a.code, a.len);
    Bytes want = signed_body({});
    want.insert(want.end(), 1094, 0xAB);
    for (uint8_t x : {0xA0, 0xB0, 0x00, 0x05, 0x3E, 0x4E, 0xFF, 0xFF, 0xFF, 0xFF, 0xAB}) want.push_back(x);
    const Result r = unpack(packed_from(b, static_cast<uint32_t>(want.size())));
    ASSERT_EQ(r.code, 0u);
    EXPECT_TRUE(r.out == irac_plain_resource(kPrefix, want));
}

// Independent optimal code: total bits and the depth of a Huffman tree for
// these weights (ties broken towards the shallower subtree).
struct Optimal {
    uint64_t cost = 0;
    uint32_t depth = 0;
};
Optimal huffman_reference(const std::vector<uint32_t>& w) {
    using Item = std::pair<uint64_t, uint32_t>;  // weight, height
    std::priority_queue<Item, std::vector<Item>, std::greater<>> q;
    for (uint32_t x : w) q.push({x, 0});
    Optimal o;
    while (q.size() > 1) {
        const Item a = q.top();
        q.pop();
        const Item b = q.top();
        q.pop();
        o.cost += a.first + b.first;
        q.push({a.first + b.first, std::max(a.second, b.second) + 1});
    }
    o.depth = q.top().second;
    return o;
}

TEST(RdmCode, RebuildGivesAnOptimalCanonicalCode) {
    std::mt19937 rng(12);
    struct Case {
        std::string name;
        std::vector<uint32_t> freq;  // sums stay below 32767
    };
    std::vector<Case> cases;
    for (int round = 0; round < 40; ++round) {
        std::vector<uint32_t> f(rdm::kSymbols);
        for (auto& x : f) x = 1 + rng() % (round < 20 ? 8 : 80);
        cases.push_back({"random " + std::to_string(round), f});
    }
    // Fibonacci-like frequencies make a tree deeper than 12 levels.
    std::vector<uint32_t> fib(rdm::kSymbols, 1);
    for (uint32_t s = 0, a = 1, b = 1; s < 18; ++s, b += a, a = b - a) fib[s] = b;
    ASSERT_GT(huffman_reference(fib).depth, 12u);
    cases.push_back({"fibonacci", fib});
    // One dominant symbol, as a long run of one byte gives.
    std::vector<uint32_t> dominant(rdm::kSymbols, 1);
    dominant[65] = 3705;
    cases.push_back({"one dominant symbol", dominant});

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint32_t>& freq = c.freq;
        RdmWork w;
        for (int s = 0; s < rdm::kSymbols; ++s) w.code.freq[s] = static_cast<uint16_t>(freq[s]);
        RDM_MakecodeReverse(w);
        expect_complete(w.code.length, c.name.c_str());
        // More frequent symbols never get longer codes.
        for (int a = 0; a < rdm::kSymbols; ++a)
            for (int b = 0; b < rdm::kSymbols; ++b)
                if (freq[a] > freq[b]) {
                    ASSERT_LE(w.code.length[a], w.code.length[b]) << a << " vs " << b;
                }
        // The decode table gives every symbol exactly its own prefix range.
        std::vector<int> hits(rdm::kSymbols, 0);
        for (uint32_t e = 0; e < rdm::kTableSize; ++e) {
            const int s = w.decode[e];
            ASSERT_GE(s, 0);
            ASSERT_LT(s, rdm::kSymbols);
            ASSERT_EQ(e >> (12 - w.code.length[s]), w.code.code[s]) << "entry " << e;
            ++hits[s];
        }
        uint64_t cost = 0;
        for (int s = 0; s < rdm::kSymbols; ++s) {
            ASSERT_EQ(hits[s], 1 << (12 - w.code.length[s])) << s;
            cost += uint64_t{freq[s]} * static_cast<uint64_t>(w.code.length[s]);
        }
        // Optimal whenever an optimal tree fits in 12 bits; never better than optimal.
        const Optimal ref = huffman_reference(freq);
        if (ref.depth <= 12) {
            EXPECT_EQ(cost, ref.cost);
        } else {
            EXPECT_GT(cost, ref.cost);
        }
        EXPECT_EQ(w.code.counter, 392);
        for (uint16_t f : w.code.freq) ASSERT_EQ(f, 1);
    }
    RdmWork w;
    for (int s = 0; s < rdm::kSymbols; ++s) w.code.freq[s] = static_cast<uint16_t>(dominant[s]);
    RDM_MakecodeReverse(w);
    EXPECT_EQ(w.code.length[65], 1);
}

// ---- Packer round trips ----

Bytes random_body(size_t n, uint32_t seed, uint32_t alphabet) {
    std::mt19937 rng(seed);
    Bytes b = {0xAB, 0xB0, 0xA0};
    while (b.size() < n) b.push_back(static_cast<uint8_t>(rng() % alphabet));
    return b;
}

// Runs, a period longer than the longest match, and repeats 16 KB back.
Bytes repetitive_body() {
    Bytes b = {0xAB, 0xB0, 0xA0};
    std::mt19937 rng(9);
    for (int i = 0; i < 16383; ++i) b.push_back(static_cast<uint8_t>(rng()));
    for (size_t i = 3; i < 3 + 4000; ++i) b.push_back(b[i]);  // distance 16383
    for (int i = 0; i < 200; ++i) {
        const uint8_t v = static_cast<uint8_t>(rng());
        b.insert(b.end(), 1 + rng() % 600, v);
        for (int k = 0; k < 40; ++k) b.push_back(static_cast<uint8_t>(rng() % 4));
    }
    return b;
}

TEST(RdmRoundTrip, PacksAndUnpacksAcrossRebuilds) {
    IracPackOptions literals, no_repeat;
    literals.matches = false;
    no_repeat.repeat_classes = false;
    Bytes zeros = signed_body({});
    zeros.resize(100000, 0);
    const Bytes rep = repetitive_body();
    const struct {
        const char* name;
        Bytes body;
        IracPackOptions options;
        size_t min_rebuilds;
    } cases[] = {
        {"random bytes", random_body(60000, 1, 256), {}, 10},
        {"small alphabet", random_body(30000, 2, 6), {}, 2},
        {"literals only", random_body(20000, 3, 40), literals, 4},
        {"repetitive", rep, {}, 3},
        {"repetitive, no class 0", rep, no_repeat, 3},
        {"signature only", signed_body({}), {}, 0},
        {"zeros", zeros, {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes resource = irac_plain_resource(kPrefix, c.body);
        IracPackStats stats;
        stats.record_lengths = true;
        const Bytes packed = irac_pack(resource, c.options, &stats);
        EXPECT_GE(stats.rebuilds, c.min_rebuilds);
        for (const auto& lengths : stats.lengths_after_rebuild) expect_complete(lengths.data(), c.name);
        FakeOvf fake;
        const Result r = unpack(packed, static_cast<uint32_t>(resource.size()), fake);
        ASSERT_EQ(r.code, 0u);
        EXPECT_TRUE(r.out == resource);
        EXPECT_EQ(fake.live_blocks(), 0u);
        // Every truncation of the stream is caught.
        for (size_t cut : {packed.size() - 1, packed.size() / 2, size_t{10}}) {
            if (cut >= packed.size() || cut < 10) continue;
            const Bytes shorter(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(cut));
            const Result t = unpack(shorter, static_cast<uint32_t>(resource.size()), fake);
            EXPECT_TRUE(t.code == 506u || t.code == 513u) << "cut at " << cut << ": " << t.code;
        }
    }
    // The repetitive body reaches the longest match and the farthest distance.
    IracPackStats stats;
    const Bytes packed = irac_pack(irac_plain_resource(kPrefix, rep), {}, &stats);
    EXPECT_EQ(stats.longest_match, 257u);
    EXPECT_EQ(stats.farthest_distance, 16383u);
    EXPECT_LT(packed.size(), rep.size());
}

TEST(RdmRoundTrip, MutatedStreamsNeverEscapeTheirBuffers) {
    const Bytes resource = irac_plain_resource(kPrefix, random_body(5000, 4, 20));
    const Bytes packed = irac_pack(resource);
    std::mt19937 rng(5);
    FakeOvf fake;
    for (int round = 0; round < 300; ++round) {
        Bytes m = packed;
        const int flips = 1 + static_cast<int>(rng() % 4);
        for (int f = 0; f < flips; ++f) m[9 + rng() % (m.size() - 9)] ^= static_cast<uint8_t>(1u << (rng() % 8));
        // Exactly sized destination: the sanitizer catches any write past it.
        const Result r = unpack(m, static_cast<uint32_t>(resource.size()), fake);
        const bool known = r.code == 0 || r.code == 506 || r.code == 507 || r.code == 511 || r.code == 513;
        EXPECT_TRUE(known) << r.code;
        ASSERT_EQ(fake.live_blocks(), 0u);
    }
}

}  // namespace
}  // namespace ovcg::irac
