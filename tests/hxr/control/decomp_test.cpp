#include "hxr/control/hxr_decomp.h"
#include "support/hxr_fixture.h"
#include "support/hxr_packer.h"
#include "support/lz_pack.h"
#include "support/lzh_stream_cases.h"

#include <array>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using ovcg_test::Bytes;

class Decomp : public HxrTest {
protected:
    void SetUp() override {
        HxrTest::SetUp();
        ASSERT_EQ(HXRDeCompNew(&st, mm), 0);
    }
    void TearDown() override {
        EXPECT_EQ(HXRDeCompDelete(st, mm), 0);
        HxrTest::TearDown();
    }
    // Decodes a bare stream into a buffer of `room` bytes.
    Bytes decode(const Bytes& stream, uint32_t room, uint32_t* produced = nullptr) {
        Bytes out(room + 1, 0xEE);
        uint32_t n = HXRDecompress(stream.data(), uint32_t(stream.size()), out.data(), room, st);
        if (produced) *produced = n;
        EXPECT_EQ(out[room], 0xEE) << "wrote past the destination";
        out.resize(n <= room ? n : 0);
        return out;
    }
    // Unpacks an envelope; the result code in *rc.
    Bytes unpack(const Bytes& res, int32_t* rc) {
        void* out = nullptr;
        uint32_t size = 0;
        *rc = HXRDeComp(st, res.data(), uint32_t(res.size()), &out, &size, mm);
        if (*rc != 0) return {};
        Bytes b(static_cast<uint8_t*>(out), static_cast<uint8_t*>(out) + size);
        if (out != res.data()) {
            for (uint32_t i = 0; i < kHxrResourceSlack; ++i) EXPECT_EQ(static_cast<uint8_t*>(out)[size + i], 0);
            EXPECT_EQ(HXRFreeMem(mm, out), 0u);
        }
        return b;
    }
    HXRDeCompState* st = nullptr;
};

Bytes random_bytes(size_t n, uint32_t seed, int alphabet = 256) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& v : b) v = uint8_t(rng() % uint32_t(alphabet));
    return b;
}

// Text-like data with many repeats at every distance.
Bytes repetitive(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    const std::vector<std::string> words = {"halftone ", "dither ", "mask ", "cyan ", "magenta ", "yellow ",
                                            "black ", "light ", "0123456789", "\n"};
    Bytes b;
    while (b.size() < n) {
        if (rng() % 50 == 0 && b.size() > 20000) {
            size_t back = 1 + rng() % 16383, len = 3 + rng() % 300;
            size_t from = b.size() - std::min(back, b.size());
            for (size_t k = 0; k < len; ++k) b.push_back(b[from + k]);
        } else {
            const std::string& w = words[rng() % words.size()];
            b.insert(b.end(), w.begin(), w.end());
        }
    }
    b.resize(n);
    return b;
}

// The stream table both engines share, through this engine's bare decoder:
// the count in front of the stream; the bytes produced, or 0 for a stream
// that fails. The output has a canary behind the room it was given.
TEST_F(Decomp, HandBuiltStreams) {
    for (const auto& c : ovcg_test::lzh_stream_cases()) {
        Bytes stream = {uint8_t(c.count), uint8_t(c.count >> 8), uint8_t(c.count >> 16), uint8_t(c.count >> 24)};
        stream.insert(stream.end(), c.stream.begin(), c.stream.end());
        uint32_t n = 99;
        const Bytes out = decode(stream, c.capacity, &n);
        if (c.stop == ovcg::lzh::Stop::kDone) {
            EXPECT_EQ(n, c.count) << c.name;
            EXPECT_TRUE(out == c.produced) << c.name;
        } else {
            EXPECT_EQ(n, 0u) << c.name;
        }
    }
    // What the count in front of the stream adds: a count of 0 answers the
    // source length at once; fewer than 4 bytes hold no count.
    const struct {
        const char* name;
        Bytes stream;
        uint32_t room;
        uint32_t result;
    } cases[] = {
        {"count of zero", {0, 0, 0, 0, 0xAA, 0xBB}, 4, 6},
        {"fewer than 4 bytes", {1, 0, 0}, 64, 0},
        {"count only", {1, 0, 0, 0}, 64, 0},
    };
    for (const auto& c : cases) {
        uint32_t n = 99;
        decode(c.stream, c.room, &n);
        EXPECT_EQ(n, c.result) << c.name;
    }
}

// Envelopes written out byte by byte, their streams in the starting code.
TEST_F(Decomp, HandBuiltEnvelopes) {
    auto literals = [](const Bytes& data) {
        ovcg_test::MsbBitWriter bits;
        for (uint8_t s : data) bits.put(s < 120 ? s : 240u + (s - 120u), s < 120 ? 8 : 9);
        return bits.finish();
    };
    auto envelope = [&](uint8_t last_magic, const Bytes& data) {
        const Bytes body = literals(data);
        const uint32_t packed = uint32_t(body.size() + 4), count = uint32_t(data.size());
        Bytes b = {0x7A, 0xCF, 0x86, 0x5C, 0x7D, 0x90, 0x3C, last_magic};
        for (uint32_t v : {packed, count})
            for (int k = 0; k < 4; ++k) b.push_back(uint8_t(v >> (8 * k)));
        b.insert(b.end(), body.begin(), body.end());
        return b;
    };
    // A table of the first layout: grid 1 x 1 x 3, 2 channels; the body at
    // 76 + 1 + 1 + 3 = 81, planar 10 11 12 | 20 21 22.
    Bytes fixed(81, 0);
    fixed[0] = 'O', fixed[1] = 'V', fixed[14] = ' ', fixed[15] = '1';
    fixed[72] = 1, fixed[73] = 1, fixed[74] = 3, fixed[75] = 2;
    Bytes fixed_out = fixed;
    fixed.insert(fixed.end(), {0x10, 0x11, 0x12, 0x20, 0x21, 0x22});
    fixed_out.insert(fixed_out.end(), {0x10, 0x20, 0x11, 0x21, 0x12, 0x22});
    // The tagged layout: "clut" at 20 names offset 28, where the table's own
    // "clut" has 3 dimensions, 2 channels and grid 3 x 1 x 1; the body at
    // 28 + 10 + 2 + 5 = 45, planar 30 31 32 | 40 41 42.
    Bytes tagged(45, 0);
    tagged[0] = 'O', tagged[1] = 'V', tagged[15] = '5', tagged[16] = '5';
    for (size_t at : {20u, 28u}) tagged[at] = 'c', tagged[at + 1] = 'l', tagged[at + 2] = 'u', tagged[at + 3] = 't';
    tagged[24] = 28;
    tagged[32] = 3, tagged[33] = 2, tagged[35] = 3, tagged[36] = 1, tagged[37] = 1;
    Bytes tagged_out = tagged;
    tagged.insert(tagged.end(), {0x30, 0x31, 0x32, 0x40, 0x41, 0x42});
    tagged_out.insert(tagged_out.end(), {0x30, 0x40, 0x31, 0x41, 0x32, 0x42});
    Bytes not_ov = fixed;
    not_ov[1] = 'W';

    const struct {
        const char* name;
        Bytes res;
        int32_t rc;
        Bytes want;
    } cases[] = {
        {"one literal", {0x7A, 0xCF, 0x86, 0x5C, 0x7D, 0x90, 0x3C, 0xB9, 5, 0, 0, 0, 1, 0, 0, 0, 0x41}, 0, {0x41}},
        {"packed length one past the resource",
         {0x7A, 0xCF, 0x86, 0x5C, 0x7D, 0x90, 0x3C, 0xB9, 6, 0, 0, 0, 1, 0, 0, 0, 0x41}, kHxrDeCompBadStream, {}},
        {"data in the 9-bit range", envelope(0xB9, {0x77, 0x78, 0xFF}), 0, {0x77, 0x78, 0xFF}},
        {"table, first layout", envelope(0xBA, fixed), 0, fixed_out},
        {"table, tagged layout", envelope(0xBA, tagged), 0, tagged_out},
        {"table without OV", envelope(0xBA, not_ov), kHxrDeCompBadLut, {}},
    };
    for (const auto& c : cases) {
        int32_t rc = 1;
        const Bytes out = unpack(c.res, &rc);
        EXPECT_EQ(rc, c.rc) << c.name;
        EXPECT_TRUE(out == c.want) << c.name;
    }
    EXPECT_EQ(HXRGetMemBlockCount(mm), 1u);
}

TEST_F(Decomp, PackerRoundTripsAcrossRebuilds) {
    struct Case {
        const char* name;
        Bytes data;
        int max_match;
    };
    const Case cases[] = {
        {"empty-ish", Bytes{0x5A}, 257},
        {"random", random_bytes(60000, 1), 257},
        {"small alphabet", random_bytes(80000, 2, 4), 257},
        {"text", repetitive(200000, 3), 257},
        {"zeros", Bytes(100000, 0), 257},
        {"literals only", random_bytes(30000, 4, 16), 0},
        {"short matches", repetitive(50000, 5), 3},
    };
    for (const auto& c : cases) {
        const Bytes stream = ovcg_test::hxr_pack_stream(c.data, c.max_match);
        uint32_t n = 0;
        const Bytes out = decode(stream, uint32_t(c.data.size()), &n);
        EXPECT_EQ(n, c.data.size()) << c.name;
        EXPECT_TRUE(out == c.data) << c.name;
        // And through the envelope.
        int32_t rc = 1;
        const Bytes env = ovcg_test::hxr_envelope(stream, false);
        EXPECT_TRUE(unpack(env, &rc) == c.data) << c.name;
        EXPECT_EQ(rc, 0) << c.name;
    }
}

TEST_F(Decomp, PlainResourcesAreUsedAsStored) {
    const std::vector<Bytes> plain = {
        {},
        {0x7A, 0xCF, 0x86},                                            // shorter than the magic
        {0x7A, 0xCF, 0x86, 0x5C, 0x7D, 0x90, 0x3C, 0xB8, 1, 2, 3, 4},  // last byte differs
        {0x7B, 0xCF, 0x86, 0x5C, 0x7D, 0x90, 0x3C, 0xB9, 1, 2, 3, 4},  // first byte differs
        {0x7A, 0xCF, 0x86, 0x5C, 0x7D, 0x90, 0x3D, 0xBA},
    };
    for (const Bytes& p : plain) {
        void* out = nullptr;
        uint32_t size = 99;
        const uint8_t dummy = 0;
        const void* in = p.empty() ? &dummy : p.data();
        ASSERT_EQ(HXRDeComp(st, in, uint32_t(p.size()), &out, &size, mm), 0);
        EXPECT_EQ(out, in);
        EXPECT_EQ(size, p.size());
    }
    EXPECT_EQ(HXRGetMemBlockCount(mm), 1u);  // the state only
}

TEST_F(Decomp, HostileEnvelopes) {
    const Bytes good = ovcg_test::hxr_pack(repetitive(5000, 11));
    auto with32 = [](Bytes b, size_t at, uint32_t v) {
        for (int k = 0; k < 4; ++k) b[at + size_t(k)] = uint8_t(v >> (8 * k));
        return b;
    };
    const uint32_t packed = uint32_t(good.size() - 12);
    const Bytes cut(good.begin(), good.end() - 40);
    Bytes flipped = good;
    flipped[16] ^= 0xFF;
    const struct {
        const char* name;
        Bytes res;
        bool huge;      // refused before allocating
        bool may_pass;  // may decode to another complete stream
    } cases[] = {
        {"magic only", Bytes(good.begin(), good.begin() + 8), false, false},
        {"header cut", Bytes(good.begin(), good.begin() + 15), false, false},
        {"packed length past the resource", with32(good, 8, packed + 1), false, false},
        {"packed length huge", with32(good, 8, 0xFFFFFFF0u), true, false},
        {"packed length below the count", with32(good, 8, 3), false, false},
        // Nothing to unpack does not make a packed length below the count whole.
        {"packed length 0, unpacked 0", with32(with32(good, 8, 0), 12, 0), false, false},
        {"packed length 1, unpacked 0", with32(with32(good, 8, 1), 12, 0), false, false},
        {"packed length 3, unpacked 0", with32(with32(good, 8, 3), 12, 0), false, false},
        {"unpacked length huge", with32(good, 12, 0xFFFFFFFFu), true, false},
        {"unpacked length one more", with32(good, 12, 5001), false, false},
        // The packed length kept consistent with the shorter resource.
        {"stream cut", with32(cut, 8, uint32_t(cut.size() - 12)), false, false},
        {"first byte flipped", flipped, false, true},
    };
    for (const auto& c : cases) {
        const size_t allocs = svc.allocations();
        int32_t rc = 0;
        const Bytes out = unpack(c.res, &rc);
        if (c.may_pass && rc == 0) {
            EXPECT_EQ(out.size(), 5000u) << c.name;
            continue;
        }
        EXPECT_EQ(rc, kHxrDeCompBadStream) << c.name;
        if (c.huge) {
            EXPECT_EQ(svc.allocations(), allocs) << c.name << ": allocated for a length it cannot hold";
        }
    }
    EXPECT_EQ(HXRGetMemBlockCount(mm), 1u);
}

// A stream of n bytes codes at most 8n x 257 bytes (one-bit codes of the
// longest match): a claim beyond that is refused before anything is
// allocated, one at the limit is tried (and fails on the stream).
TEST_F(Decomp, ClaimedLengthBoundedByTheStream) {
    const struct {
        uint32_t claimed;
        bool allocates;
    } cases[] = {{32 * 257, true}, {32 * 257 + 1, false}, {0x7FFFFFFFu, false}};
    for (const auto& c : cases) {
        // Magic, packed length 8 (the unpacked count and 4 stream bytes), the claim, 4 stream bytes.
        Bytes res(kHxrMagicPacked, kHxrMagicPacked + 8);
        for (uint32_t v : {8u, c.claimed})
            for (int k = 0; k < 4; ++k) res.push_back(uint8_t(v >> (8 * k)));
        res.insert(res.end(), {0x12, 0x34, 0x56, 0x78});
        const size_t allocs = svc.allocations();
        int32_t rc = 0;
        unpack(res, &rc);
        EXPECT_EQ(rc, kHxrDeCompBadStream) << c.claimed;
        EXPECT_EQ(svc.allocations() > allocs, c.allocates) << c.claimed;
    }
    EXPECT_EQ(HXRGetMemBlockCount(mm), 1u);
}

TEST_F(Decomp, EmptyPackedResource) {
    int32_t rc = 1;
    const Bytes out = unpack(ovcg_test::hxr_pack({}), &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(out.empty());
}

TEST_F(Decomp, OutOfMemory) {
    const Bytes res = ovcg_test::hxr_pack(repetitive(3000, 12));
    svc.fail_allocation_after(0);
    int32_t rc = 0;
    unpack(res, &rc);
    EXPECT_EQ(rc, kHxrDeCompNoMemory);
    svc.fail_allocation_after(-1);
    HXRDeCompState* other = nullptr;
    svc.fail_allocation_after(0);
    EXPECT_EQ(HXRDeCompNew(&other, mm), kHxrDeCompNoMemory);
    svc.fail_allocation_after(-1);
    EXPECT_EQ(HXRDeCompNew(nullptr, mm), kHxrDeCompBadArgument);
    EXPECT_EQ(HXRDeCompNew(&other, nullptr), kHxrDeCompBadArgument);
    EXPECT_EQ(HXRDeCompDelete(nullptr, mm), kHxrDeCompBadArgument);
    void* out = nullptr;
    EXPECT_EQ(HXRDeComp(nullptr, res.data(), uint32_t(res.size()), &out, nullptr, mm), kHxrDeCompBadStream);
    EXPECT_EQ(HXRDeComp(st, nullptr, 0, &out, nullptr, mm), kHxrDeCompBadStream);
}

// ---- packed colour look-up tables: planar in the stream, interleaved out.

struct LutImage {
    Bytes bytes;
    size_t body = 0, nodes = 0, channels = 0;
};

// The first layout: version text at 14..15, grid sizes and channels at 72..75.
LutImage lut_fixed(uint8_t g1, uint8_t g2, uint8_t g3, uint8_t ch, char b14 = ' ', char b15 = '1') {
    LutImage l;
    l.bytes.assign(76, 0);
    l.bytes[0] = 'O';
    l.bytes[1] = 'V';
    l.bytes[14] = uint8_t(b14);
    l.bytes[15] = uint8_t(b15);
    l.bytes[72] = g1;
    l.bytes[73] = g2;
    l.bytes[74] = g3;
    l.bytes[75] = ch;
    for (int i = 0; i < g1 + g2 + g3; ++i) l.bytes.push_back(uint8_t(i * 17));
    l.body = l.bytes.size();
    l.nodes = size_t(g1) * g2 * g3;
    l.channels = ch;
    for (size_t k = 0; k < l.nodes * ch; ++k) l.bytes.push_back(uint8_t(k * 31 + k / 7));
    l.bytes.insert(l.bytes.end(), {0xDE, 0xAD});  // trailing bytes stay put
    return l;
}

// The tagged layout: "55" at 15..16, a "clut" tag in the 4-byte grid from 16
// pointing at the table's own "clut" header.
LutImage lut_tagged(std::vector<uint8_t> grid, uint8_t ch) {
    LutImage l;
    l.bytes.assign(40, 0);
    l.bytes[0] = 'O';
    l.bytes[1] = 'V';
    l.bytes[15] = '5';
    l.bytes[16] = '5';
    const size_t tag = 24;
    const uint32_t at = 48;
    l.bytes[tag] = 'c';
    l.bytes[tag + 1] = 'l';
    l.bytes[tag + 2] = 'u';
    l.bytes[tag + 3] = 't';
    for (int k = 0; k < 4; ++k) l.bytes[tag + 4 + size_t(k)] = uint8_t(at >> (8 * k));
    l.bytes.resize(at, 0x11);
    l.bytes.insert(l.bytes.end(), {'c', 'l', 'u', 't', uint8_t(grid.size()), ch, 0});
    l.bytes.insert(l.bytes.end(), grid.begin(), grid.end());
    for (uint8_t c = 0; c < ch; ++c) l.bytes.push_back(uint8_t(0xC0 + c));
    l.nodes = 1;
    for (uint8_t g : grid) {
        for (uint8_t i = 0; i < g; ++i) l.bytes.push_back(i);
        l.nodes *= g;
    }
    l.body = l.bytes.size();
    l.channels = ch;
    for (size_t k = 0; k < l.nodes * ch; ++k) l.bytes.push_back(uint8_t(k * 13 + 5));
    return l;
}

TEST_F(Decomp, PackedLutIsInterleaved) {
    const LutImage cases[] = {
        lut_fixed(3, 4, 5, 3),
        lut_fixed(17, 17, 17, 4, '2', '3'),
        lut_fixed(2, 2, 2, 1, ' ', '2'),
        lut_tagged({5, 6, 7}, 4),
        lut_tagged({3, 4, 5, 6}, 6),
        lut_tagged({9, 9, 9}, 1),
    };
    for (const auto& l : cases) {
        const Bytes packed = ovcg_test::hxr_pack_lut(l.bytes, l.body, l.nodes, l.channels);
        int32_t rc = 1;
        const Bytes out = unpack(packed, &rc);
        ASSERT_EQ(rc, 0);
        EXPECT_TRUE(out == l.bytes) << l.nodes << " nodes x " << l.channels;
    }
}

TEST_F(Decomp, BadPackedLuts) {
    auto broken = [](Bytes b, size_t at, uint8_t v) {
        b.at(at) = v;
        return b;
    };
    LutImage fixed = lut_fixed(3, 3, 3, 3);
    LutImage tagged = lut_tagged({4, 4, 4}, 3);
    struct Case {
        const char* name;
        Bytes lut;
    };
    const Case cases[] = {
        {"no OV", broken(fixed.bytes, 1, 'W')},
        {"unknown layout", broken(fixed.bytes, 15, '4')},
        {"zero channels", broken(fixed.bytes, 75, 0)},
        {"body past the end", broken(fixed.bytes, 72, 200)},
        {"fixed layout too short", Bytes(fixed.bytes.begin(), fixed.bytes.begin() + 60)},
        {"no tag", broken(tagged.bytes, 24, 'C')},
        {"tag offset outside", broken(tagged.bytes, 31, 0x7F)},
        {"offset names no tag", broken(tagged.bytes, 48, 'x')},
        {"two dimensions", broken(tagged.bytes, 52, 2)},
        {"zero channels tagged", broken(tagged.bytes, 53, 0)},
        {"huge grid", broken(broken(tagged.bytes, 55, 255), 56, 255)},
        {"tag at the very end", [&] {
             Bytes b(20, 0);
             b[0] = 'O', b[1] = 'V', b[15] = '5', b[16] = '5';
             b.insert(b.end(), {'c', 'l', 'u', 't'});
             return b;
         }()},
        {"only OV", Bytes{'O', 'V'}},
    };
    for (const auto& c : cases) {
        int32_t rc = 0;
        unpack(ovcg_test::hxr_envelope(ovcg_test::hxr_pack_stream(c.lut), true), &rc);
        EXPECT_EQ(rc, kHxrDeCompBadLut) << c.name;
    }
    EXPECT_EQ(HXRGetMemBlockCount(mm), 1u);
}

}  // namespace
