#include "headcontrol/decompress.h"

#include "ovcg/irac.h"
#include "support/fake_ovf.h"
#include "support/irac_packer.h"
#include "support/lz_pack.h"
#include "support/lzh_stream_cases.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
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

using Bits = ovcg_test::LzhBits;

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

// ---- The stream table both engines share, through this engine's envelope ----

// What this engine answers for a stream of that table: the unpacked bytes
// must begin AB B0 A0 (507 otherwise), a stream that ends early gives 506,
// or 513 when it wrote nothing, an end mark 511. Sizes below 3 are refused
// before unpacking (503); the output always holds exactly the unpacked size.
TEST(RdmStream, HandBuiltStreams) {
    for (const auto& c : ovcg_test::lzh_stream_cases()) {
        if (c.capacity < c.count) continue;  // this envelope's output is the size it states
        Bytes packed = header(c.count);
        packed.insert(packed.end(), c.stream.begin(), c.stream.end());
        uint32_t want = 0;
        const bool signed_output = c.produced.size() >= 3 && c.produced[0] == 0xAB && c.produced[1] == 0xB0 &&
                                   c.produced[2] == 0xA0;
        if (c.count < 3) {
            want = 503;
        } else if (c.stop == lzh::Stop::kDone) {
            want = signed_output ? 0 : 507;
        } else if (c.stop == lzh::Stop::kEndMark) {
            want = 511;
        } else {
            want = c.produced.empty() ? 513 : 506;
        }
        SCOPED_TRACE(c.name);
        const Result r = unpack(packed);  // into the size the query gives
        EXPECT_EQ(r.code, want);
        if (want == 0) {
            EXPECT_EQ(r.out, irac_plain_resource(kPrefix, c.produced)) << c.name;
        } else if (c.count >= 3) {
            EXPECT_EQ(r.out[4], 1) << c.name << ": the flag stays set on failure";
        }
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

// Code lengths are at most 12 and fill the code space exactly.
template <typename Length>
void expect_complete(const Length* length, const char* what) {
    uint32_t kraft = 0;  // in units of 2^-12
    for (int s = 0; s < lzh::kSymbols; ++s) {
        ASSERT_GE(length[s], 1) << what << " symbol " << s;
        ASSERT_LE(length[s], 12) << what << " symbol " << s;
        kraft += 1u << (12 - length[s]);
    }
    EXPECT_EQ(kraft, 4096u) << what;
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
