#include "engine/spooler.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "engine/engine_error.h"
#include "ovcg/irac.h"
#include "support/spool_deframer.h"

namespace {

using ovcg_test::DeframeSpool;
using ovcg_test::SpoolRecorder;
using Bytes = std::vector<uint8_t>;

// The head-control engine's send entry takes the spool entry as it is.
static_assert(std::is_same_v<decltype(&SLSpoolerSendDataIRAC), OVF_PFN_SEND>);

const Bytes kFeed = {0x1B, 0x28, 0x64, 0x01, 0x00, 0x00};

Bytes Pattern(size_t n, uint32_t seed) {
    Bytes b(n);
    std::mt19937 rng(seed);
    for (auto& v : b) v = static_cast<uint8_t>(rng());
    return b;
}

uint16_t Header(const Bytes& call) { return static_cast<uint16_t>(call[0] | (call[1] << 8)); }

const char* Chars(const Bytes& b) { return reinterpret_cast<const char*>(b.data()); }

// The filler command: ESC ( d, length 32767, then 32767 zero bytes.
Bytes Filler() {
    Bytes f(5 + 32767, 0);
    f[0] = 0x1B;
    f[1] = 0x28;
    f[2] = 0x64;
    f[3] = 0xFF;
    f[4] = 0x7F;
    return f;
}

struct SpoolerFixture : ::testing::Test {
    SpoolRecorder rec;
};

TEST_F(SpoolerFixture, HeaderModeTenBytesThenFlush) {
    CPlimoSpooler s(1, &SpoolRecorder::Callback, &rec);
    const Bytes d = Pattern(10, 1);
    s.SendData(Chars(d), 10);
    EXPECT_TRUE(rec.calls().empty());
    s.Flush();
    ASSERT_EQ(rec.calls().size(), 1u);
    ASSERT_EQ(rec.calls()[0].size(), 12u);
    EXPECT_EQ(Header(rec.calls()[0]), 0x800A);
    EXPECT_EQ(Bytes(rec.calls()[0].begin() + 2, rec.calls()[0].end()), d);
    EXPECT_EQ(s.Count(), 0u);
}

// Sends `total` bytes into a spooler that holds `prefill` bytes and checks
// the calls made and what stays buffered.
struct BigSendCase {
    int headerMode;
    unsigned total;
    std::vector<size_t> callSizes;  // sizes of the calls, in order
    unsigned buffered;
    unsigned prefill = 0;
};

class BigSend : public ::testing::TestWithParam<BigSendCase> {};

TEST_P(BigSend, CallsAndRemainder) {
    const BigSendCase& c = GetParam();
    SpoolRecorder rec;
    CPlimoSpooler s(c.headerMode, &SpoolRecorder::Callback, &rec);
    const Bytes pre = Pattern(c.prefill, 8);
    s.SendData(Chars(pre), c.prefill);
    ASSERT_TRUE(rec.calls().empty());
    const Bytes d = Pattern(c.total, 7);
    s.SendData(Chars(d), c.total);
    Bytes all = pre;
    all.insert(all.end(), d.begin(), d.end());
    std::vector<size_t> sizes;
    for (const auto& call : rec.calls()) sizes.push_back(call.size());
    EXPECT_EQ(sizes, c.callSizes);
    EXPECT_EQ(s.Count(), c.buffered);
    for (const auto& call : rec.calls()) {
        if (c.headerMode && call.size() == 2) {
            EXPECT_EQ(Header(call), 0x7FFD);
        }
    }
    if (c.headerMode && !rec.calls().empty()) {
        EXPECT_EQ(Header(rec.calls()[0]), 0x7FFD);
    }

    s.Flush();
    const Bytes stream = rec.stream();
    if (c.headerMode) {
        const auto df = DeframeSpool(stream);
        ASSERT_TRUE(df.ok) << df.error;
        EXPECT_EQ(df.data, all);
        if (c.buffered) {
            ASSERT_FALSE(df.chunks.empty());
            EXPECT_TRUE(df.chunks.back().flushed);
            EXPECT_EQ(Header(rec.calls().back()), 0x8000 + c.buffered);
        }
    } else {
        EXPECT_EQ(stream, all);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Spooler, BigSend,
    ::testing::Values(BigSendCase{1, 40000, {32767}, 7235}, BigSendCase{1, 100000, {32767, 2, 32765, 2, 32765}, 1705},
                      BigSendCase{0, 100000, {32767, 32767, 32767}, 1699},
                      // Data that exactly fill a chunk stay until the next call or flush.
                      BigSendCase{1, 32765, {}, 32765}, BigSendCase{0, 32767, {}, 32767},
                      BigSendCase{1, 32766, {32767}, 1}, BigSendCase{1, 65530, {32767}, 32765},
                      BigSendCase{1, 65531, {32767, 2, 32765}, 1},
                      // Bytes already buffered go out first, in the filled chunk.
                      BigSendCase{1, 32760, {32767}, 5, 10}, BigSendCase{1, 65540, {32767, 2, 32765}, 20, 10},
                      BigSendCase{1, 1, {32767}, 1, 32765}, BigSendCase{0, 32667, {}, 32767, 100},
                      BigSendCase{0, 65535, {32767, 32767}, 101, 100}));

TEST_F(SpoolerFixture, FlushOfFullChunkCarriesFFFD) {
    CPlimoSpooler s(1, &SpoolRecorder::Callback, &rec);
    const Bytes d = Pattern(32765, 3);
    s.SendData(Chars(d), 32765);
    s.Flush();
    ASSERT_EQ(rec.calls().size(), 1u);
    EXPECT_EQ(rec.calls()[0].size(), 32767u);
    EXPECT_EQ(Header(rec.calls()[0]), 0xFFFD);
}

TEST_F(SpoolerFixture, EmptyFlushSendsNothingAndEscapeIsOneCall) {
    CPlimoSpooler s(1, &SpoolRecorder::Callback, &rec);
    s.Flush();
    EXPECT_TRUE(rec.calls().empty());
    s.SendEscape(13);
    ASSERT_EQ(rec.calls().size(), 1u);
    EXPECT_EQ(rec.calls()[0], (Bytes{0, 0, 13, 0}));
}

TEST_F(SpoolerFixture, EscapeFlushesFirst) {
    CPlimoSpooler s(1, &SpoolRecorder::Callback, &rec);
    s.SendData("abc", 3);
    s.SendEscape(0x0102);
    ASSERT_EQ(rec.calls().size(), 2u);
    EXPECT_EQ(rec.calls()[0], (Bytes{0x03, 0x80, 'a', 'b', 'c'}));
    EXPECT_EQ(rec.calls()[1], (Bytes{0, 0, 0x02, 0x01}));
}

TEST_F(SpoolerFixture, EscapeWithoutHeaderModeOnlyFlushes) {
    CPlimoSpooler s(0, &SpoolRecorder::Callback, &rec);
    s.SendEscape(9);
    EXPECT_TRUE(rec.calls().empty());
    s.SendData("xy", 2);
    s.SendEscape(10);
    ASSERT_EQ(rec.calls().size(), 1u);
    EXPECT_EQ(rec.calls()[0], (Bytes{'x', 'y'}));
}

TEST_F(SpoolerFixture, AnyNonZeroHeaderModeTurnsItOn) {
    CPlimoSpooler s(0x2, &SpoolRecorder::Callback, &rec);
    EXPECT_EQ(s.HeaderMode(), 1);
    EXPECT_EQ(s.Capacity(), 32765u);
    CPlimoSpooler plain(0, &SpoolRecorder::Callback, &rec);
    EXPECT_EQ(plain.Capacity(), 32767u);
}

TEST_F(SpoolerFixture, SendHeaderSendsBasePlusLengthUnlessZero) {
    CPlimoSpooler s(1, &SpoolRecorder::Callback, &rec);
    s.SendHeader(0x8000, 0);
    EXPECT_TRUE(rec.calls().empty());
    s.SendHeader(0x8000, 0x1234);
    ASSERT_EQ(rec.calls().size(), 1u);
    EXPECT_EQ(rec.calls()[0], (Bytes{0x34, 0x92}));
}

TEST_F(SpoolerFixture, FeedWithFlagOneAddsFillerOnlyTheFirstTime) {
    CPlimoSpooler s(1, &SpoolRecorder::Callback, &rec);
    ASSERT_EQ(SLSpoolerSendData(kFeed.data(), 6, 1, &s), 1);
    EXPECT_EQ(s.Count(), 0u);
    EXPECT_EQ(s.DummySent(), 1);
    auto df = DeframeSpool(rec.stream());
    ASSERT_TRUE(df.ok) << df.error;
    Bytes expected = kFeed;
    const Bytes filler = Filler();
    expected.insert(expected.end(), filler.begin(), filler.end());
    expected.insert(expected.end(), filler.begin(), filler.end());
    EXPECT_EQ(df.data.size(), 6u + 2 * 32772u);
    EXPECT_EQ(df.data, expected);
    EXPECT_TRUE(df.chunks.back().flushed);

    rec.clear();
    ASSERT_EQ(SLSpoolerSendDataIRAC(&s, kFeed.data(), 6, 1), 1);
    ASSERT_EQ(rec.calls().size(), 1u);
    EXPECT_EQ(rec.calls()[0], (Bytes{0x06, 0x80, 0x1B, 0x28, 0x64, 0x01, 0x00, 0x00}));
}

TEST_F(SpoolerFixture, FillerNeedsExactlyTheFeedCommandAndFlagOne) {
    struct Case {
        Bytes data;
        int flag;
    };
    const Case cases[] = {
        {kFeed, 0},
        {kFeed, 2},
        {{0x1B, 0x28, 0x64, 0x01, 0x00, 0x01}, 1},
        {{0x1B, 0x28, 0x64, 0x01, 0x00}, 1},
        {{0x1B, 0x28, 0x64, 0x01, 0x00, 0x00, 0x00}, 1},
        {{0x0D}, 1},
    };
    for (const Case& c : cases) {
        SpoolRecorder r;
        CPlimoSpooler s(1, &SpoolRecorder::Callback, &r);
        ASSERT_EQ(SLSpoolerSendData(c.data.data(), static_cast<unsigned>(c.data.size()), c.flag, &s), 1);
        s.Flush();
        EXPECT_EQ(s.DummySent(), 0);
        auto df = DeframeSpool(r.stream());
        ASSERT_TRUE(df.ok);
        EXPECT_EQ(df.data, c.data);
    }
}

TEST_F(SpoolerFixture, FlagOneFlushesAndOtherFlagsDoNot) {
    CPlimoSpooler s(0, &SpoolRecorder::Callback, &rec);
    const char cr = 0x0D;
    ASSERT_EQ(SLSpoolerSendData("ab", 2, 0, &s), 1);
    ASSERT_EQ(SLSpoolerSendData("cd", 2, 5, &s), 1);
    EXPECT_TRUE(rec.calls().empty());
    ASSERT_EQ(SLSpoolerSendDataIRAC(&s, &cr, 1, 1), 1);
    ASSERT_EQ(rec.calls().size(), 1u);
    EXPECT_EQ(rec.calls()[0], (Bytes{'a', 'b', 'c', 'd', 0x0D}));
}

TEST(SpoolerEntry, NullSpoolerFails) {
    EXPECT_EQ(SLSpoolerSendData("a", 1, 1, nullptr), 0);
    EXPECT_EQ(SLSpoolerSendDataIRAC(nullptr, "a", 1, 0), 0);
}

// A send function's result below 0 or above the length asked is a failure,
// whatever the call.
class SpoolerFailure : public ::testing::TestWithParam<int> {};

TEST_P(SpoolerFailure, EveryKindOfSendThrowsTheSpoolerMessage) {
    const int result = GetParam();
    auto expectThrow = [&](auto&& op) {
        SpoolRecorder r;
        CPlimoSpooler s(1, &SpoolRecorder::Callback, &r);
        r.FailCall(0, result);
        try {
            op(s);
            ADD_FAILURE() << "no exception";
        } catch (ovcg::EngineMessage m) {
            EXPECT_STREQ(m, "Spooler Exception");
        }
    };
    const Bytes big = Pattern(100000, 5);
    expectThrow([](CPlimoSpooler& s) {
        s.SendData("abc", 3);
        s.Flush();
    });
    expectThrow([&](CPlimoSpooler& s) { s.SendData(Chars(big), 40000); });
    expectThrow([](CPlimoSpooler& s) { s.SendEscape(3); });
    expectThrow([](CPlimoSpooler& s) { s.SendHeader(0, 5); });
}

TEST_P(SpoolerFailure, FailedFlushKeepsTheBytesForTheNextOne) {
    SpoolRecorder r;
    CPlimoSpooler s(1, &SpoolRecorder::Callback, &r);
    s.SendData("hello", 5);
    r.FailCall(0, GetParam());
    EXPECT_THROW(s.Flush(), ovcg::EngineMessage);
    EXPECT_EQ(s.Count(), 5u);
    s.Flush();
    ASSERT_EQ(r.calls().size(), 1u);
    EXPECT_EQ(r.calls()[0], (Bytes{0x05, 0x80, 'h', 'e', 'l', 'l', 'o'}));
}

TEST_P(SpoolerFailure, EntryAnswersZeroAndConsumesTheException) {
    SpoolRecorder r;
    CPlimoSpooler s(0, &SpoolRecorder::Callback, &r);
    r.FailCall(0, GetParam());
    EXPECT_EQ(SLSpoolerSendData("\r", 1, 1, &s), 0);
    EXPECT_EQ(SLSpoolerSendData("\r", 1, 1, &s), 1);
}

TEST_P(SpoolerFailure, FailureInsideALongSendLosesOnlyThatCallsBytes) {
    // First call (the filled chunk) succeeds, the second (a direct chunk) fails.
    SpoolRecorder r;
    CPlimoSpooler s(0, &SpoolRecorder::Callback, &r);
    const Bytes big = Pattern(100000, 9);
    r.FailCall(1, GetParam());
    EXPECT_THROW(s.SendData(Chars(big), 100000), ovcg::EngineMessage);
    EXPECT_EQ(s.Count(), 0u);
    s.SendData("z", 1);
    s.Flush();
    ASSERT_EQ(r.calls().size(), 2u);
    EXPECT_EQ(r.calls()[0], Bytes(big.begin(), big.begin() + 32767));
    EXPECT_EQ(r.calls()[1], (Bytes{'z'}));
}

TEST_P(SpoolerFailure, FailedFirstChunkKeepsEarlierBufferedBytes) {
    SpoolRecorder r;
    CPlimoSpooler s(1, &SpoolRecorder::Callback, &r);
    s.SendData("ab", 2);
    const Bytes big = Pattern(40000, 2);
    r.FailCall(0, GetParam());
    EXPECT_THROW(s.SendData(Chars(big), 40000), ovcg::EngineMessage);
    EXPECT_EQ(s.Count(), 2u);
    s.Flush();
    ASSERT_EQ(r.calls().size(), 1u);
    EXPECT_EQ(r.calls()[0], (Bytes{0x02, 0x80, 'a', 'b'}));
}

// A send that fails after part of a piece went keeps only the rest, which
// goes first at the next send (flushes until one goes through, or more
// data): nothing goes twice or out of order, and the framing holds.
TEST_P(SpoolerFailure, APartlySentPieceSendsOnlyItsRestNext) {
    const Bytes big = Pattern(100000, 4);
    constexpr long kLater = 50000;  // where the bytes sent after the failures start in `big`
    const struct {
        unsigned accept;  // bytes a call takes at most
        std::vector<long> failAt;  // the calls that fail
        unsigned length;  // of `big` sent (0: the escape marker `code`), then flushed
        size_t delivered;  // bytes of `big` the stream holds in the end
        uint16_t code = 13;
        unsigned later = 0;  // bytes sent after the failures, before the last flush
    } rows[] = {{3, {1}, 5, 5}, {3, {1}, 0, 0}, {20000, {1}, 40000, 32765} /* filled chunk */,
                {20000, {4}, 100000, 65530} /* chunk from the caller's memory */,
                {1, {32768}, 100000, 65530} /* ... cut inside its header, after 1 byte */,
                {2, {1}, 0, 0, 0x0102} /* a marker cut in two */,
                {3, {1, 2}, 10, 10} /* the rest failing again */, {3, {1, 3}, 10, 10} /* ... after another part */,
                {20000, {1}, 40000, 32765, 13, 30000} /* the buffer's rest waiting when data come */};
    for (const auto& r : rows) {
        SCOPED_TRACE(&r - rows);
        SpoolRecorder rec;
        CPlimoSpooler s(1, &SpoolRecorder::Callback, &rec);
        rec.AcceptAtMost(r.accept);
        for (long at : r.failAt) rec.FailCall(at, GetParam());
        EXPECT_THROW((r.length ? s.SendData(Chars(big), r.length), s.Flush() : s.SendEscape(r.code)),
                     ovcg::EngineMessage);
        for (size_t again = 1; again < r.failAt.size(); ++again) EXPECT_THROW(s.Flush(), ovcg::EngineMessage);
        s.SendData(Chars(big) + kLater, r.later);
        s.Flush();
        const auto df = DeframeSpool(rec.stream());
        ASSERT_TRUE(df.ok) << df.error;
        Bytes want(big.begin(), big.begin() + long(r.delivered));
        want.insert(want.end(), big.begin() + kLater, big.begin() + kLater + r.later);
        EXPECT_EQ(df.data, want);
        std::vector<uint16_t> codes;
        for (const auto& e : df.escapes) codes.push_back(e.code);
        EXPECT_EQ(codes, r.length ? std::vector<uint16_t>{} : std::vector<uint16_t>{r.code});
    }
    // Headers, whose bytes are sent alone: d sends "abcde", h the header
    // 0x8007, f flushes; a capital's step fails.
    const struct {
        unsigned accept;
        std::vector<long> failAt;
        const char* steps;
        Bytes stream;
    } headers[] = {
        {3, {1, 2}, "dFHh", {0x05, 0x80, 'a', 'b', 'c', 'd', 'e', 0x07, 0x80}},  // after a rest that fails again
        {1, {1}, "dHf", {0x07, 0x80, 0x05, 0x80, 'a', 'b', 'c', 'd', 'e'}},      // while bytes are buffered
    };
    for (const auto& r : headers) {
        SCOPED_TRACE(r.steps);
        SpoolRecorder rec;
        CPlimoSpooler s(1, &SpoolRecorder::Callback, &rec);
        rec.AcceptAtMost(r.accept);
        for (long at : r.failAt) rec.FailCall(at, GetParam());
        for (const char* c = r.steps; *c; ++c) {
            const auto step = [&] {
                switch (std::tolower(*c)) {
                    case 'd': return s.SendData("abcde", 5);
                    case 'h': return s.SendHeader(0x8000, 7);
                    default: return s.Flush();
                }
            };
            if (std::isupper(*c))
                EXPECT_THROW(step(), ovcg::EngineMessage);
            else
                step();
        }
        EXPECT_EQ(rec.stream(), r.stream);
        EXPECT_EQ(s.Count(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Spooler, SpoolerFailure, ::testing::Values(-1, -1000, INT32_MIN, INT32_MAX));

TEST(SpoolerNullSend, EverySendFails) {
    CPlimoSpooler s(1, nullptr, nullptr);
    s.SendData("a", 1);
    EXPECT_THROW(s.Flush(), ovcg::EngineMessage);
}

// Random sequences of sends, flushes, escape markers and flag-1 sends, against
// a model of the stream: the de-framed stream gives back exactly the input
// with the filler data once, no piece exceeds 32767 bytes, and every flush
// leaves nothing behind, also when the callback takes part of each piece.
class SpoolerProperty : public ::testing::TestWithParam<std::tuple<int, unsigned>> {};

TEST_P(SpoolerProperty, RandomSequencesRoundTrip) {
    const auto [headerMode, accept] = GetParam();
    const Bytes filler = Filler();
    const uint16_t escapeCodes[] = {1, 2, 3, 4, 9, 10, 11, 12, 13, 14};
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        std::mt19937 rng(seed * 7919u + static_cast<uint32_t>(headerMode));
        SpoolRecorder rec;
        rec.AcceptAtMost(accept);
        CPlimoSpooler s(headerMode, &SpoolRecorder::Callback, &rec);
        Bytes expected;
        std::vector<ovcg_test::SpoolEscape> expectedEscapes;
        bool fillerSent = false;
        int fillerTriggers = 0;
        for (int op = 0; op < 60; ++op) {
            const unsigned kind = rng() % 10;
            bool flushed = false;
            if (kind <= 3) {  // plain send, 0 to 100000 bytes
                const unsigned n = (rng() % 4 == 0) ? rng() % 100001 : rng() % 2000;
                const Bytes d = Pattern(n, rng());
                if (kind == 3)
                    ASSERT_EQ(SLSpoolerSendDataIRAC(&s, d.data(), n, 0), 1);
                else
                    s.SendData(Chars(d), n);
                expected.insert(expected.end(), d.begin(), d.end());
            } else if (kind == 4) {
                s.Flush();
                flushed = true;
            } else if (kind == 5) {
                const uint16_t code = escapeCodes[rng() % 10];
                s.SendEscape(code);
                if (headerMode) expectedEscapes.push_back({code, expected.size()});
                flushed = true;
            } else if (kind == 6) {  // carriage return with flag 1
                const char cr = 0x0D;
                ASSERT_EQ(SLSpoolerSendData(&cr, 1, 1, &s), 1);
                expected.push_back(0x0D);
                flushed = true;
            } else if (kind == 7) {  // the feed command with flag 1
                ASSERT_EQ(SLSpoolerSendDataIRAC(&s, kFeed.data(), 6, 1), 1);
                expected.insert(expected.end(), kFeed.begin(), kFeed.end());
                if (!fillerSent) {
                    for (int k = 0; k < 2; ++k) expected.insert(expected.end(), filler.begin(), filler.end());
                    fillerSent = true;
                }
                ++fillerTriggers;
                flushed = true;
            } else {  // the feed command with flag 0, or a random small flag-1 piece
                if (kind == 8) {
                    ASSERT_EQ(SLSpoolerSendData(kFeed.data(), 6, 0, &s), 1);
                    expected.insert(expected.end(), kFeed.begin(), kFeed.end());
                } else {
                    const Bytes d = Pattern(rng() % 300, rng());
                    ASSERT_EQ(SLSpoolerSendData(d.data(), static_cast<unsigned>(d.size()), 1, &s), 1);
                    expected.insert(expected.end(), d.begin(), d.end());
                    flushed = true;
                }
            }
            ASSERT_LE(rec.largest_call(), 32767u);
            const Bytes stream = rec.stream();
            Bytes delivered;
            if (headerMode) {
                auto df = DeframeSpool(stream);
                ASSERT_TRUE(df.ok) << df.error << " seed " << seed << " op " << op;
                delivered = df.data;
                ASSERT_EQ(df.escapes.size(), expectedEscapes.size());
                for (size_t i = 0; i < df.escapes.size(); ++i) {
                    EXPECT_EQ(df.escapes[i].code, expectedEscapes[i].code);
                    EXPECT_EQ(df.escapes[i].offset, expectedEscapes[i].offset);
                }
            } else {
                delivered = stream;
            }
            // What was delivered is a prefix of the input; the rest is buffered.
            ASSERT_LE(delivered.size(), expected.size());
            ASSERT_TRUE(std::equal(delivered.begin(), delivered.end(), expected.begin()))
                << "seed " << seed << " op " << op;
            ASSERT_EQ(expected.size() - delivered.size(), s.Count());
            ASSERT_LE(s.Count(), s.Capacity());
            if (flushed) {
                ASSERT_EQ(s.Count(), 0u);
            }
        }
        s.Flush();
        const Bytes stream = rec.stream();
        const Bytes delivered = headerMode ? DeframeSpool(stream).data : stream;
        ASSERT_EQ(delivered, expected);
        EXPECT_EQ(s.DummySent(), fillerTriggers > 0 ? 1 : 0);
        // The filler commands appear exactly twice per job when triggered.
        size_t fillers = 0;
        for (size_t i = 0; i + 5 <= delivered.size(); ++i)
            if (std::memcmp(&delivered[i], filler.data(), 5) == 0) ++fillers;
        EXPECT_EQ(fillers, fillerTriggers > 0 ? 2u : 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Spooler, SpoolerProperty, ::testing::Combine(::testing::Values(1, 0), ::testing::Values(~0u, 1000u)));

TEST(SpoolDeframer, RefusesMalformedStreams) {
    struct Case {
        Bytes stream;
        bool ok;
    };
    const Case cases[] = {
        {{}, true},
        {{0x01, 0x80, 'a'}, true},
        {{0x00, 0x00, 0x03, 0x00}, true},
        {{0x01}, false},                    // half a header
        {{0x00, 0x00, 0x03}, false},        // half an escape code
        {{0x02, 0x80, 'a'}, false},         // chunk shorter than its header
        {{0x00, 0x80}, false},              // flushed chunk of 0 bytes
        {{0xFE, 0xFF}, false},              // flushed chunk over the capacity
        {{0x05, 0x00, 1, 2, 3, 4, 5}, false},  // unflushed chunk that is not full
    };
    for (const Case& c : cases) EXPECT_EQ(DeframeSpool(c.stream).ok, c.ok);
}

}  // namespace
