// The code stream both engines' packed resources share: the adaptive code's
// builder against hand-traced rebuilds, an independent optimal code and the
// test packer's own builder; the hand-built streams of both engines in one
// table; round trips through the test packer; hostile streams.
#include "common/lzh_unpack.h"

#include "support/hxr_packer.h"
#include "support/lz_pack.h"
#include "support/lzh_stream_cases.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <queue>
#include <random>
#include <string>
#include <vector>

namespace ovcg::lzh {
namespace {

using ovcg_test::Bytes;

// The work area is large: one on the heap per test.
std::unique_ptr<Work> NewWork() { return std::make_unique<Work>(); }

// Code lengths are at most 12 and fill the code space exactly.
void ExpectComplete(const int16_t* length, const std::string& what) {
    uint32_t kraft = 0;  // in units of 2^-12
    for (int s = 0; s < kSymbols; ++s) {
        ASSERT_GE(length[s], 1) << what << " symbol " << s;
        ASSERT_LE(length[s], kMaxCodeLength) << what << " symbol " << s;
        kraft += 1u << (kMaxCodeLength - length[s]);
    }
    EXPECT_EQ(kraft, kTableSize) << what;
}

TEST(LzhCode, StartingCodeIsTheFixedOne) {
    auto w = NewWork();
    init_code(w->code, w->decode);
    EXPECT_EQ(w->code.counter, 3000);
    for (int s = 0; s < kSymbols; ++s) {
        const int len = s < 120 ? 8 : 9;
        const uint32_t code = s < 120 ? static_cast<uint32_t>(s) : static_cast<uint32_t>(240 + s - 120);
        ASSERT_EQ(w->code.length[s], len) << s;
        ASSERT_EQ(w->code.code[s], code) << s;
        ASSERT_EQ(w->decode[code << (12 - len)], s) << s;
        ASSERT_EQ(w->code.freq[s], 1) << s;
    }
    ExpectComplete(w->code.length, "fixed code");
}

TEST(LzhCode, RebuildScheduleIs1096Then3704) {
    CodeState s{};
    init_code(s, nullptr);
    std::vector<int> rebuilt_at;
    for (int i = 1; i <= 1096 + 3 * 3704; ++i) {
        if (count_symbol(s, i % 7, nullptr)) rebuilt_at.push_back(i);
    }
    EXPECT_EQ(rebuilt_at, (std::vector<int>{1096, 1096 + 3704, 1096 + 2 * 3704, 1096 + 3 * 3704}));
    EXPECT_EQ(s.counter, 392);
    for (uint16_t f : s.freq) ASSERT_EQ(f, 1);
}

TEST(LzhCode, RebuildsTracedByHand) {
    for (const auto& t : ovcg_test::lzh_traced_profiles()) {
        SCOPED_TRACE(t.name);
        auto w = NewWork();
        for (uint16_t& f : w->code.freq) f = 1;
        for (auto [sym, f] : t.freq) w->code.freq[sym] = f;
        make_code(w->code, w->decode);
        std::vector<int> order(kSymbols);
        for (int p = 0; p < kSymbols; ++p) order[p] = p;
        for (auto [pos, sym] : t.moved) order[pos] = sym;
        for (int p = 0; p < kSymbols; ++p) {
            const int len = p == 0 ? 1 : p <= 121 ? 9 : 10;
            const int code = p == 0 ? 0 : p <= 121 ? 255 + p : 632 + p;
            ASSERT_EQ(w->code.length[order[p]], len) << "position " << p;
            ASSERT_EQ(w->code.code[order[p]], code) << "position " << p;
            ASSERT_EQ(w->decode[code << (12 - len)], order[p]) << "position " << p;
        }
    }
}

// Independent optimal code: total bits and the depth of a Huffman tree for
// these weights (ties broken towards the shallower subtree).
struct Optimal {
    uint64_t cost = 0;
    uint32_t depth = 0;
};
Optimal HuffmanReference(const std::array<uint32_t, ovcg_test::kLzSymbols>& w) {
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

// Every rebuild gives a complete code of at most 12 bits, optimal whenever an
// optimal tree fits in 12 bits (never better than optimal), with more
// frequent symbols never longer, a decode table that gives each symbol
// exactly its prefix range, and the very lengths and codes of the test
// packer's builder (written apart from this one).
TEST(LzhCode, RebuildGivesTheOptimalCanonicalCodeThePackerBuilds) {
    using Freq = std::array<uint32_t, ovcg_test::kLzSymbols>;
    std::mt19937 rng(12);
    std::vector<std::pair<std::string, Freq>> cases;
    for (int round = 0; round < 40; ++round) {
        Freq f;
        for (auto& x : f) x = 1 + rng() % (round < 20 ? 8 : 80);
        cases.push_back({"uniform " + std::to_string(round), f});
    }
    for (int round = 0; round < 200; ++round) {
        // The 3704 counts of a rebuild period spread over the symbols, many on a few.
        Freq f;
        f.fill(1);
        const int hot = 1 + static_cast<int>(rng() % 40);
        for (int k = 0; k < 3704; ++k) f[rng() % 2 ? rng() % static_cast<uint32_t>(hot) : rng() % kSymbols]++;
        cases.push_back({"period " + std::to_string(round), f});
    }
    // Fibonacci-like frequencies make trees far deeper than 12 levels.
    Freq fib;
    fib.fill(1);
    for (uint32_t s = 0, a = 1, b = 1; s < 18; ++s, b += a, a = b - a) fib[s] = b;
    cases.push_back({"fibonacci", fib});
    fib.fill(1);
    for (uint32_t s = 0, a = 1, b = 1; s < 17; ++s, b += a, a = b - a) fib[s * 7] = a;
    cases.push_back({"fibonacci spread", fib});
    // One dominant symbol, as a long run of one byte gives.
    Freq dominant;
    dominant.fill(1);
    dominant[65] = 3705;
    cases.push_back({"one dominant symbol", dominant});
    dominant.fill(1);
    dominant[300] = 3700;
    cases.push_back({"one dominant match symbol", dominant});
    ASSERT_GT(HuffmanReference(cases[240].second).depth, 12u);

    for (const auto& [name, freq] : cases) {
        SCOPED_TRACE(name);
        auto w = NewWork();
        for (int s = 0; s < kSymbols; ++s) w->code.freq[s] = static_cast<uint16_t>(freq[s]);
        make_code(w->code, w->decode);
        ExpectComplete(w->code.length, name);
        for (int a = 0; a < kSymbols; ++a)
            for (int b = 0; b < kSymbols; ++b)
                if (freq[a] > freq[b]) {
                    ASSERT_LE(w->code.length[a], w->code.length[b]) << a << " vs " << b;
                }
        std::vector<int> hits(kSymbols, 0);
        for (uint32_t e = 0; e < kTableSize; ++e) {
            const int s = w->decode[e];
            ASSERT_GE(s, 0);
            ASSERT_LT(s, kSymbols);
            ASSERT_EQ(e >> (12 - w->code.length[s]), w->code.code[s]) << "entry " << e;
            ++hits[s];
        }
        uint64_t cost = 0;
        for (int s = 0; s < kSymbols; ++s) {
            ASSERT_EQ(hits[s], 1 << (12 - w->code.length[s])) << s;
            cost += uint64_t{freq[s]} * static_cast<uint64_t>(w->code.length[s]);
        }
        const Optimal ref = HuffmanReference(freq);
        if (ref.depth <= 12) {
            EXPECT_EQ(cost, ref.cost);
        } else {
            EXPECT_GT(cost, ref.cost);
        }
        const ovcg_test::LzCode packer = ovcg_test::lz_build_code(freq);
        for (int s = 0; s < kSymbols; ++s) {
            ASSERT_EQ(w->code.length[s], packer.length[s]) << "symbol " << s;
            ASSERT_EQ(w->code.code[s], packer.code[s]) << "symbol " << s;
        }
        EXPECT_EQ(w->code.counter, 392);
        for (uint16_t f : w->code.freq) ASSERT_EQ(f, 1);
        if (name == "one dominant symbol") {
            EXPECT_EQ(w->code.length[65], 1);
        }
    }
}

// The hand-built streams of both engines. The output has a canary behind
// the room it was given.
TEST(LzhStream, HandBuiltStreams) {
    for (const auto& c : ovcg_test::lzh_stream_cases()) {
        SCOPED_TRACE(c.name);
        auto w = NewWork();
        Bytes out(c.capacity + 1, 0xEE);
        const Result r = unpack(*w, ByteCursor(c.stream.data(), c.stream.size()), out.data(), c.capacity, c.count);
        EXPECT_EQ(r.stop, c.stop);
        ASSERT_EQ(r.written, c.produced.size());
        EXPECT_TRUE(std::equal(c.produced.begin(), c.produced.end(), out.begin()));
        EXPECT_EQ(out[c.capacity], 0xEE);
    }
}

// One work area serves stream after stream: each starts afresh.
TEST(LzhStream, WorkAreaStartsAfreshForEachStream) {
    const auto cases = ovcg_test::lzh_stream_cases();
    auto w = NewWork();
    for (int pass = 0; pass < 2; ++pass)
        for (const auto& c : cases) {
            Bytes out(c.capacity);
            const Result r = unpack(*w, ByteCursor(c.stream.data(), c.stream.size()), out.data(), c.capacity, c.count);
            EXPECT_EQ(r.stop, c.stop) << c.name;
            EXPECT_EQ(r.written, c.produced.size()) << c.name;
        }
}

Bytes RandomBytes(size_t n, uint32_t seed, uint32_t alphabet) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& v : b) v = static_cast<uint8_t>(rng() % alphabet);
    return b;
}

// Streams of the test packer (the halftone engine's, whose first 4 bytes are
// the count): back byte for byte, across many rebuilds; every cut of the
// stream ends early.
TEST(LzhStream, PackerRoundTrips) {
    Bytes runs;
    for (int i = 0; i < 300; ++i) runs.insert(runs.end(), 1 + static_cast<size_t>(i * 7 % 400), static_cast<uint8_t>(i));
    const struct {
        const char* name;
        Bytes data;
        int maxMatch;
    } cases[] = {{"random", RandomBytes(40000, 1, 256), 257},
                 {"small alphabet", RandomBytes(60000, 2, 4), 257},
                 {"runs", runs, 257},
                 {"literals only", RandomBytes(20000, 3, 30), 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes packed = ovcg_test::hxr_pack_stream(c.data, c.maxMatch);
        const ByteCursor stream(packed.data() + 4, packed.size() - 4);
        const uint32_t n = static_cast<uint32_t>(c.data.size());
        auto w = NewWork();
        Bytes out(n + 1);
        Result r = unpack(*w, stream, out.data(), out.size(), n);
        EXPECT_EQ(r.stop, Stop::kDone);
        EXPECT_EQ(r.written, n);
        EXPECT_TRUE(std::equal(c.data.begin(), c.data.end(), out.begin()));
        for (size_t cut : {packed.size() - 1, packed.size() / 2, size_t{5}}) {
            r = unpack(*w, ByteCursor(packed.data() + 4, cut - 4), out.data(), out.size(), n);
            EXPECT_EQ(r.stop, Stop::kStreamEnded) << "cut at " << cut;
            EXPECT_LT(r.written, n);
        }
    }
}

// Flipped bits in a packed stream: whatever the stream becomes, the unpacker
// stops inside its buffers (an exact-size output: the sanitizer build sees
// any byte outside) and says why.
TEST(LzhStream, MutatedStreamsNeverEscapeTheirBuffers) {
    const Bytes data = RandomBytes(6000, 4, 20);
    const Bytes packed = ovcg_test::hxr_pack_stream(data, 257);
    std::mt19937 rng(5);
    auto w = NewWork();
    for (int round = 0; round < 300; ++round) {
        Bytes m(packed.begin() + 4, packed.end());
        const int flips = 1 + static_cast<int>(rng() % 4);
        for (int f = 0; f < flips; ++f) m[rng() % m.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
        const uint32_t room = static_cast<uint32_t>(data.size() - rng() % 2);
        Bytes out(room);
        const Result r = unpack(*w, ByteCursor(m.data(), m.size()), out.data(), room, static_cast<uint32_t>(data.size()));
        EXPECT_LE(r.written, room);
        if (r.stop == Stop::kDone) {
            EXPECT_EQ(r.written, data.size());
        }
    }
    // An empty stream, and no output at all.
    Bytes out(4);
    EXPECT_EQ(unpack(*w, ByteCursor(), out.data(), out.size(), 3).stop, Stop::kStreamEnded);
    const Bytes one = {0x41};
    EXPECT_EQ(unpack(*w, ByteCursor(one.data(), one.size()), nullptr, 4, 1).stop, Stop::kOutputFull);
    EXPECT_EQ(unpack(*w, ByteCursor(one.data(), one.size()), out.data(), 4, 0).stop, Stop::kDone);
}

}  // namespace
}  // namespace ovcg::lzh
