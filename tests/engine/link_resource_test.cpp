#include "engine/link_resource.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <stdexcept>
#include <vector>

#include "engine/prt_mode.h"
#include "link_fixture.h"
#include "support/model.h"
#include "support/model_links.h"

namespace {

using ovcg::CLinkRscDLL;
using ovcg::CLRKeySet;
using ovcg::RscLinkResult;
using ovcg_test::Bytes;
using ovcg_test::kLinkAny;
using ovcg_test::kLinkEnd;
using ovcg_test::link_chain_entry;
using ovcg_test::link_leaf;
using ovcg_test::link_multikey;
using ovcg_test::link_words;
using ovcg_test::LinkResources;
using ovcg_test::MemoryLinkStore;
using Pairs = std::vector<std::pair<uint16_t, uint16_t>>;
using Tables = std::map<uint16_t, Bytes>;

// Key ids with easily set slots.
constexpr uint16_t kMedia = 1;   // media_type
constexpr uint16_t kPaper = 2;   // paper_ID
constexpr uint16_t kBits = 6;    // bit_p_color

CLRKeySet Keys(uint16_t media, uint16_t paper = 9, uint16_t bits = 2) {
    CLRKeySet k;
    k.Set(CLRKeySet::kMediaType, media);
    k.Set(CLRKeySet::kPaperId, paper);
    k.Set(CLRKeySet::kBitPerColor, bits);
    return k;
}

Pairs ToPairs(const RscLinkResult& r) {
    Pairs p;
    for (int i = 0; i < r.Count(); ++i) p.emplace_back(r.GetIndexedType(i), r.GetIndexedValue(i));
    return p;
}

// Runs a chain lookup over the tables and checks that every fetched buffer
// was released; nullopt-like empty optional via bool.
struct Lookup {
    bool ok;
    Pairs pairs;
};
Lookup Chain(const Tables& tables, uint16_t id, const CLRKeySet& keys) {
    MemoryLinkStore store(LinkResources(tables));
    auto dll = store.Adapter();
    auto r = dll->GetRscLinkTable(id, &keys);
    EXPECT_EQ(store.outstanding(), 0);
    return r ? Lookup{true, ToPairs(*r)} : Lookup{false, {}};
}
uint16_t Leaf(const Tables& tables, uint16_t id, const CLRKeySet& keys) {
    MemoryLinkStore store(LinkResources(tables));
    uint16_t v = store.Adapter()->GetLinkRscLeaf(id, &keys);
    EXPECT_EQ(store.outstanding(), 0);
    return v;
}

// ---- Values and results -------------------------------------------------------

TEST(LinkValue, LinkRange) {
    struct Case {
        uint16_t v;
        bool link;
    } cases[] = {{0, false}, {20000, false}, {20001, true}, {30000, true}, {65534, true}, {65535, false}};
    for (const Case& c : cases) EXPECT_EQ(ovcg::IsLinkValue(c.v), c.link) << c.v;
}

TEST(RscLinkResult, KeyedIndexedAndIteration) {
    RscLinkResult empty(4);
    EXPECT_EQ(empty.GetKeyedValue(7), 0xFFFF);
    EXPECT_FALSE(empty.IsMoreElement());

    RscLinkResult r(3);
    EXPECT_TRUE(r.Append(7, 1));
    EXPECT_TRUE(r.Append(8, 2));
    EXPECT_TRUE(r.Append(7, 3));
    EXPECT_FALSE(r.Append(9, 4));  // full
    EXPECT_EQ(r.Count(), 3);
    EXPECT_EQ(r.GetKeyedValue(7), 1);  // the first pair of the type
    EXPECT_EQ(r.GetKeyedValue(9), 0xFFFF);
    EXPECT_EQ(r.GetIndexedType(-1), 0xFFFF);
    EXPECT_EQ(r.GetIndexedValue(3), 0xFFFF);

    Pairs seen;
    for (r.ResetIndex(); r.IsMoreElement(); r.NextIndex()) seen.emplace_back(r.GetCurType(), r.GetCurValue());
    EXPECT_EQ(seen, (Pairs{{7, 1}, {8, 2}, {7, 3}}));
    // NextIndex answers whether the new cursor is at most the count.
    r.ResetIndex();
    EXPECT_TRUE(r.NextIndex());   // 1
    EXPECT_TRUE(r.NextIndex());   // 2
    EXPECT_TRUE(r.NextIndex());   // 3 = count
    EXPECT_FALSE(r.NextIndex());  // 4
    EXPECT_FALSE(r.IsMoreElement());
    EXPECT_EQ(r.GetCurType(), 0xFFFF);
    RscLinkResult none(4);
    EXPECT_FALSE(none.NextIndex());
}

TEST(LRKeySet, SlotsAndUnknownKeys) {
    CLRKeySet k;
    EXPECT_EQ(k.GetLRTargetKey(1), 0xFFFF);      // unset
    EXPECT_EQ(k.GetLRTargetKey(0), 0);           // never filled
    EXPECT_EQ(k.GetLRTargetKey(2001), 0);
    EXPECT_EQ(k.GetLRTargetKey(20004), 0);
    EXPECT_EQ(k.GetLRTargetKey(12345), 0xFFFF);  // no such key
    k.Set(CLRKeySet::kMediaClass, 20540);
    EXPECT_EQ(k.GetLRTargetKey(1000), 20540);
    EXPECT_EQ(k.GetLRTargetKey(2000), 20540);
    k.Set(CLRKeySet::kPage, 0x12345);
    EXPECT_EQ(k.GetLRTargetKey(1001), 0x2345);  // low 16 bits
    EXPECT_EQ(k.GetLRTargetKey(2002), 0x2345);
    k.Set(CLRKeySet::kInkSet3, 4);
    k.InitInkSetData();
    EXPECT_EQ(k.GetLRTargetKey(18), 0xFFFF);
}

// ---- Chains --------------------------------------------------------------------

TEST(LinkChain, SinglePairAndEntries) {
    EXPECT_EQ(Chain({{30001, link_chain_entry(7, 5, kLinkEnd)}}, 30001, Keys(1)).pairs, (Pairs{{7, 5}}));
    // Values up to 20000 and 65535 are plain.
    const Tables t = {{30001, link_chain_entry(7, 20000, 30002)}, {30002, link_chain_entry(8, 65535, kLinkEnd)}};
    EXPECT_EQ(Chain(t, 30001, Keys(1)).pairs, (Pairs{{7, 20000}, {8, 65535}}));
}

TEST(LinkChain, MissingLeafFailsTheWholeLookup) {
    const Tables t = {{30001, link_chain_entry(7, 5, 30002)}, {30002, link_chain_entry(8, 21000, kLinkEnd)}};
    EXPECT_FALSE(Chain(t, 30001, Keys(1)).ok);
}

TEST(LinkChain, MissingStartOrNextFails) {
    EXPECT_FALSE(Chain({}, 30001, Keys(1)).ok);
    EXPECT_FALSE(Chain({{30001, link_chain_entry(7, 5, 30009)}}, 30001, Keys(1)).ok);
}

TEST(LinkChain, MultiKeyEntryMustBeALink) {
    const Tables t = {{30001, link_chain_entry(0, 5, kLinkEnd)}};
    EXPECT_FALSE(Chain(t, 30001, Keys(1)).ok);
}

TEST(LinkChain, MultiKeyEntriesAppendTheMatchingRow) {
    const Tables t = {
        {30001, link_chain_entry(0, 40000, 30002)},
        {30002, link_chain_entry(9, 1, 30003)},
        {30003, link_chain_entry(0, 40001, kLinkEnd)},
        {40000, link_multikey({kMedia}, {11, 12}, {{3, 30, 31}, {kLinkAny, 40, 41}})},
        {40001, link_multikey({kMedia}, {13}, {{5, 50}})},  // no row for media 3
    };
    EXPECT_EQ(Chain(t, 30001, Keys(3)).pairs, (Pairs{{11, 30}, {12, 31}, {9, 1}}));
    EXPECT_EQ(Chain(t, 30001, Keys(4)).pairs, (Pairs{{11, 40}, {12, 41}, {9, 1}}));
    EXPECT_EQ(Chain(t, 30001, Keys(5)).pairs, (Pairs{{11, 40}, {12, 41}, {9, 1}, {13, 50}}));
}

TEST(LinkChain, MissingMultiKeyTableFails) {
    // A named table that is not there is a broken model, not a row that
    // does not match.
    const Tables t = {{30001, link_chain_entry(9, 1, 30002)}, {30002, link_chain_entry(0, 40000, kLinkEnd)}};
    EXPECT_FALSE(Chain(t, 30001, Keys(3)).ok);
}

Tables SinglePairChain(int entries) {
    Tables t;
    for (int i = 0; i < entries; ++i)
        t[uint16_t(30000 + i)] = link_chain_entry(uint16_t(100 + i), uint16_t(i), i + 1 < entries ? uint16_t(30001 + i) : kLinkEnd);
    return t;
}

TEST(LinkChain, NinetyNinePairsFitAHundredthFails) {
    Lookup ok = Chain(SinglePairChain(99), 30000, Keys(1));
    ASSERT_TRUE(ok.ok);
    EXPECT_EQ(ok.pairs.size(), 99u);
    EXPECT_EQ(ok.pairs.back(), (std::pair<uint16_t, uint16_t>{198, 98}));
    EXPECT_FALSE(Chain(SinglePairChain(100), 30000, Keys(1)).ok);

    // The same limit through a multi-key row.
    for (int extra : {1, 2}) {
        std::vector<uint16_t> types, row = {kLinkAny};
        for (int i = 0; i < 97 + extra; ++i) {
            types.push_back(uint16_t(500 + i));
            row.push_back(uint16_t(i));
        }
        Tables t = {{30000, link_chain_entry(1, 1, 30001)}, {30001, link_chain_entry(0, 40000, kLinkEnd)},
                    {40000, link_multikey({kMedia}, types, {row})}};
        Lookup r = Chain(t, 30000, Keys(1));
        EXPECT_EQ(r.ok, extra == 1) << extra;
        if (r.ok) {
            EXPECT_EQ(r.pairs.size(), 99u);
        }
    }
}

TEST(LinkChain, CyclesEnd) {
    EXPECT_FALSE(Chain({{30001, link_chain_entry(7, 5, 30001)}}, 30001, Keys(1)).ok);
    // A cycle through entries that append nothing (no row matches) ends too.
    const Tables t = {{30001, link_chain_entry(0, 40000, 30002)},
                      {30002, link_chain_entry(0, 40000, 30001)},
                      {40000, link_multikey({kMedia}, {11}, {{9, 1}})}};
    EXPECT_FALSE(Chain(t, 30001, Keys(1)).ok);
}

// ---- Leaves ----------------------------------------------------------------

TEST(LinkLeaf, TwoAxesIndexAxisZeroFastest) {
    std::vector<uint16_t> values(12);
    for (int i = 0; i < 12; ++i) values[size_t(i)] = uint16_t(100 + i);
    const Tables t = {{21000, link_leaf(7, {{kMedia, {10, 11, 12}}, {kPaper, {20, 21, 22, 23}}}, values)}};
    EXPECT_EQ(Leaf(t, 21000, Keys(11, 22)), 107);  // value[2 x 3 + 1]
    EXPECT_EQ(Leaf(t, 21000, Keys(10, 20)), 100);
    EXPECT_EQ(Leaf(t, 21000, Keys(12, 23)), 111);
    EXPECT_EQ(Leaf(t, 21000, Keys(13, 22)), 7);  // no match on axis 0: default
    EXPECT_EQ(Leaf(t, 21000, Keys(11, 24)), 7);  // none on axis 1
}

TEST(LinkLeaf, FirstMatchWins) {
    const Tables t = {{21000, link_leaf(0, {{kMedia, {4, 5, 4}}}, {1, 2, 3})}};
    EXPECT_EQ(Leaf(t, 21000, Keys(4)), 1);
}

TEST(LinkLeaf, AxisCountsOutsideOneAndTwo) {
    // No axes, or three that all match: 65535; three with a miss: default.
    EXPECT_EQ(Leaf({{21000, link_leaf(7, {}, {1})}}, 21000, Keys(1)), 0xFFFF);
    const Tables three = {{21000, link_leaf(7, {{kMedia, {1}}, {kPaper, {9}}, {kBits, {2}}}, {5})}};
    EXPECT_EQ(Leaf(three, 21000, Keys(1, 9, 2)), 0xFFFF);
    EXPECT_EQ(Leaf(three, 21000, Keys(1, 9, 1)), 7);
}

TEST(LinkLeaf, EmptyOrNegativeKeyCountGivesTheDefault) {
    EXPECT_EQ(Leaf({{21000, link_words({7, 1, kMedia, 0})}}, 21000, Keys(1)), 7);
    EXPECT_EQ(Leaf({{21000, link_words({7, 1, kMedia, 0xFFFE, 1, 2})}}, 21000, Keys(1)), 7);
}

TEST(LinkLeaf, LinksAreFollowed) {
    const Tables t = {
        {21000, link_leaf(7, {{kMedia, {1, 2, 3}}}, {20001, 20000, 65535})},
        {20001, link_leaf(8, {{kPaper, {9}}}, {20002})},
        {20002, link_leaf(9, {{kBits, {2}}}, {42})},
    };
    EXPECT_EQ(Leaf(t, 21000, Keys(1)), 42);
    EXPECT_EQ(Leaf(t, 21000, Keys(2)), 20000);
    EXPECT_EQ(Leaf(t, 21000, Keys(3)), 65535);
    EXPECT_EQ(Leaf(t, 21000, Keys(1, 8)), 8);  // the default is not followed further
}

TEST(LinkLeaf, MissingAndCyclicLinks) {
    EXPECT_EQ(Leaf({}, 21000, Keys(1)), 0xFFFE);
    EXPECT_EQ(Leaf({{21000, link_leaf(7, {{kMedia, {1}}}, {21001})}}, 21000, Keys(1)), 0xFFFE);
    EXPECT_EQ(Leaf({{21000, link_leaf(7, {{kMedia, {1}}}, {21000})}}, 21000, Keys(1)), 0xFFFE);
    // A long but finite run of links resolves.
    Tables run;
    for (int i = 0; i < 40; ++i) run[uint16_t(30000 + i)] = link_leaf(0, {{kMedia, {1}}}, {uint16_t(30001 + i)});
    run[30040] = link_leaf(0, {{kMedia, {1}}}, {77});
    EXPECT_EQ(Leaf(run, 30000, Keys(1)), 77);
}

// ---- Multi-key tables ----------------------------------------------------------

TEST(LinkMultiKey, WildcardRowsAndFirstMatch) {
    const Tables t = {{40000, link_multikey({kMedia, kPaper}, {11, 12},
                                            {{3, 9, 1, 2}, {3, kLinkAny, 3, 4}, {kLinkAny, kLinkAny, 5, 6}})}};
    const auto rows = [&](uint16_t media, uint16_t paper) {
        MemoryLinkStore store(LinkResources(t));
        const CLRKeySet k = Keys(media, paper);
        auto r = store.Adapter()->GetLinkRscMultiKey(40000, &k);
        EXPECT_EQ(store.outstanding(), 0);
        return r ? ToPairs(*r) : Pairs{};
    };
    EXPECT_EQ(rows(3, 9), (Pairs{{11, 1}, {12, 2}}));
    EXPECT_EQ(rows(3, 8), (Pairs{{11, 3}, {12, 4}}));
    EXPECT_EQ(rows(4, 9), (Pairs{{11, 5}, {12, 6}}));
}

TEST(LinkMultiKey, NoKeysMatchesTheFirstRowNoRowsNothing) {
    MemoryLinkStore store(LinkResources({{40000, link_multikey({}, {11}, {{5}, {6}})},
                                         {40001, link_multikey({kMedia}, {11}, {})},
                                         {40002, link_multikey({kMedia}, {11}, {{2, 1}})}}));
    auto dll = store.Adapter();
    const CLRKeySet k = Keys(1);
    auto r = dll->GetLinkRscMultiKey(40000, &k);
    ASSERT_TRUE(r);
    EXPECT_EQ(ToPairs(*r), (Pairs{{11, 5}}));
    EXPECT_FALSE(dll->GetLinkRscMultiKey(40001, &k));
    EXPECT_FALSE(dll->GetLinkRscMultiKey(40002, &k));
    EXPECT_FALSE(dll->GetLinkRscMultiKey(40003, &k));
}

TEST(LinkMultiKey, LinkedValuesResolveThroughLeaves) {
    const Tables ok = {{40000, link_multikey({kMedia}, {11, 12}, {{kLinkAny, 21000, 4}})},
                       {21000, link_leaf(1, {{kBits, {1, 2}}}, {10, 20})}};
    EXPECT_EQ(Chain({{30000, link_chain_entry(0, 40000, kLinkEnd)}, {40000, ok.at(40000)}, {21000, ok.at(21000)}},
                    30000, Keys(1))
                  .pairs,
              (Pairs{{11, 20}, {12, 4}}));
    MemoryLinkStore store(LinkResources({{40000, ok.at(40000)}}));  // the leaf is missing
    const CLRKeySet k = Keys(1);
    EXPECT_FALSE(store.Adapter()->GetLinkRscMultiKey(40000, &k));
    EXPECT_EQ(store.outstanding(), 0);
}

// ---- Hostile tables -----------------------------------------------------------

// Every proper prefix of a table whose lookup needs every word must fail,
// without reading outside the resource and without leaking it.
TEST(LinkHostile, TruncatedTablesAreMissing) {
    const CLRKeySet k = Keys(12, 22, 2);
    const Bytes leaf = link_leaf(7, {{kMedia, {10, 11, 12}}, {kPaper, {20, 21, 22}}}, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    const Bytes multi = link_multikey({kMedia, kPaper}, {11, 12}, {{1, 1, 5, 6}, {12, 22, 7, 8}});
    const Bytes chain = link_chain_entry(5, 6, kLinkEnd);
    ASSERT_EQ(Leaf({{21000, leaf}}, 21000, k), 9);
    for (size_t n = 0; n < leaf.size(); ++n) {
        EXPECT_EQ(Leaf({{21000, Bytes(leaf.begin(), leaf.begin() + long(n))}}, 21000, k), 0xFFFE) << n;
    }
    for (size_t n = 0; n < multi.size(); ++n) {
        const Tables t = {{30000, link_chain_entry(0, 40000, kLinkEnd)}, {40000, Bytes(multi.begin(), multi.begin() + long(n))}};
        EXPECT_FALSE(Chain(t, 30000, k).ok) << n;
    }
    for (size_t n = 0; n < chain.size(); ++n)
        EXPECT_FALSE(Chain({{30000, Bytes(chain.begin(), chain.begin() + long(n))}}, 30000, k).ok) << n;
    // An odd trailing byte is not a word.
    Bytes odd = leaf;
    odd.pop_back();
    odd.pop_back();
    odd.push_back(9);
    EXPECT_EQ(Leaf({{21000, odd}}, 21000, k), 0xFFFE);
}

TEST(LinkHostile, HugeCountsAreMissing) {
    const CLRKeySet k = Keys(1);
    // Key count beyond the resource.
    EXPECT_EQ(Leaf({{21000, link_words({7, 1, kMedia, 0x7FFF, 1})}}, 21000, k), 0xFFFE);
    // Rows, keys or values beyond the resource.
    for (const std::vector<uint16_t>& w : std::vector<std::vector<uint16_t>>{
             {0, 0, 0xFFFF, 1, 1, kMedia, 11, 1, 5},
             {0, 0, 1, 0xFFFF, 1, kMedia, 11, 1, 5},
             {0, 0, 1, 1, 0xFFFF, kMedia, 11, 1, 5},
         }) {
        EXPECT_FALSE(Chain({{30000, link_chain_entry(0, 40000, kLinkEnd)}, {40000, link_words(w)}}, 30000, k).ok);
    }
}

TEST(LinkHostile, MutatedModelTablesNeverOverrun) {
    // Random word mutations of the model's own tables: lookups may fail or
    // answer anything, but never read outside a resource (the sanitizer
    // build checks) or leak one.
    const ovcg_test::ResWriter model = ovcg_test::build_model(ovcg_test::default_model());
    std::vector<ovcg_test::ResRecord> links;
    for (const auto& r : model.records())
        if (r.type == ovcg_test::kResTypeLink) links.push_back(r);
    ASSERT_FALSE(links.empty());
    std::mt19937 rng(1234);
    const uint16_t interesting[] = {0, 1, 2, 3, 0x7FFF, 0x8000, 0xFFFE, 0xFFFF, 20001, 40000, 40001};
    for (int round = 0; round < 300; ++round) {
        Tables t;
        for (const auto& r : links) t[r.id] = r.data;
        for (int m = 0; m < 4; ++m) {
            auto it = t.begin();
            std::advance(it, long(rng() % t.size()));
            Bytes& b = it->second;
            if (b.size() < 2) continue;
            const size_t w = (rng() % (b.size() / 2)) * 2;
            const uint16_t v = interesting[rng() % std::size(interesting)];
            b[w] = uint8_t(v);
            b[w + 1] = uint8_t(v >> 8);
            if (rng() % 4 == 0) b.resize(rng() % (b.size() + 1));
        }
        MemoryLinkStore store(LinkResources(t));
        auto dll = store.Adapter();
        const CLRKeySet k = Keys(uint16_t(rng() % 6), 9, 2);
        for (uint16_t id : {20050, 20000, 20500, 20520, 21000, 25000, 26000, 28000, 29500, 30000}) {
            auto r = dll->GetRscLinkTable(id, &k);
            if (r) {
                EXPECT_LT(r->Count(), 100);
            }
        }
        EXPECT_EQ(store.outstanding(), 0);
    }
}

// ---- Table layouts written and read word by word ----------------------------

// The writers of the test model against words laid out by hand from the
// table descriptions (a writer and a reader sharing a misreading would
// otherwise agree with each other).
TEST(LinkLayout, WritersLayTheWordsOut) {
    struct Case {
        const char* name;
        Bytes got;
        std::vector<uint16_t> want;
    } cases[] = {
        {"chain", link_chain_entry(7, 21000, kLinkEnd), {7, 21000, 0xFFFF}},
        {"leaf, two axes", link_leaf(9, {{1, {10, 11}}, {2, {20}}}, {100, 101}),
         {9, 2, 1, 2, 10, 11, 2, 1, 20, 100, 101}},
        {"leaf, empty axis", link_leaf(9, {{6, {}}}, {}), {9, 1, 6, 0}},
        {"multi-key", link_multikey({1, 2}, {11, 12, 13}, {{3, 0xFFFF, 1, 2, 3}, {4, 5, 6, 7, 8}}),
         {0, 0, 2, 2, 3, 1, 2, 11, 12, 13, 3, 0xFFFF, 1, 2, 3, 4, 5, 6, 7, 8}},
    };
    for (const Case& c : cases) {
        Bytes want;
        for (uint16_t w : c.want) {
            want.push_back(uint8_t(w & 0xFF));
            want.push_back(uint8_t(w >> 8));
        }
        EXPECT_EQ(c.got, want) << c.name;
    }
    // 21000 is 0x5208: low byte first.
    EXPECT_EQ(link_chain_entry(7, 21000, kLinkEnd), (Bytes{0x07, 0x00, 0x08, 0x52, 0xFF, 0xFF}));
    // A row or value table of the wrong length would shift every later word.
    EXPECT_THROW(link_multikey({1}, {11, 12}, {{1, 2}}), std::invalid_argument);
    EXPECT_THROW(link_leaf(0, {{1, {1, 2}}, {2, {3, 4, 5}}}, {1, 2, 3, 4, 5}), std::invalid_argument);
}

// Lookups over words written by hand, not through the writers.
TEST(LinkLayout, HandWrittenTablesAnswer) {
    struct Case {
        const char* name;
        std::vector<uint16_t> words;
        CLRKeySet keys;
        uint16_t want;
    } leaves[] = {
        // Axes of 3 (media) and 4 (paper) keys; media 11 is j0 = 1, paper 22
        // is j1 = 2: value[2 x 3 + 1].
        {"two axes", {5, 2, 1, 3, 10, 11, 12, 2, 4, 20, 21, 22, 23, 0, 1, 2, 3, 4, 5, 6, 77, 8, 9, 10, 11},
         Keys(11, 22), 77},
        {"negative count", {5, 1, 1, 0x8000, 1, 2}, Keys(1), 5},
        {"miss on axis 0 before a short axis 1", {5, 2, 1, 1, 10}, Keys(11), 5},
        {"an unknown key id answers 65535, compared like any value", {5, 1, 999, 2, 4, 0xFFFF, 6, 3}, Keys(1), 3},
        {"three axes all matching", {5, 3, 1, 1, 1, 2, 1, 9, 6, 1, 2, 4}, Keys(1, 9, 2), 0xFFFF},
    };
    for (const Case& c : leaves) EXPECT_EQ(Leaf({{21000, link_words(c.words)}}, 21000, c.keys), c.want) << c.name;

    // Words 0 and 1 of a multi-key table are not read.
    const Tables t = {{30000, link_words({0, 40000, 0xFFFF})},
                      {40000, link_words({0xFFFF, 0x1234, 2, 1, 2, 1, 11, 12, 4, 1, 2, 0xFFFF, 3, 4})}};
    EXPECT_EQ(Chain(t, 30000, Keys(4)).pairs, (Pairs{{11, 1}, {12, 2}}));
    EXPECT_EQ(Chain(t, 30000, Keys(5)).pairs, (Pairs{{11, 3}, {12, 4}}));
}

// ---- Key slots filled from a job ------------------------------------------------

// The value each key id has for a job changed in one place from the front
// end's defaults, resolved against the default model.
TEST(LRKeySet, FilledFromTheJob) {
    const ovcg_test::ResWriter model = ovcg_test::build_model(ovcg_test::default_model());
    static const uint8_t kInkSet[3] = {0x21, 0x22, 0x23};
    struct Case {
        const char* name;
        void (*change)(tagPRTSTRUCT3_12&, tagJOBDATA_6&);
        std::vector<std::pair<uint16_t, uint16_t>> keys;  // key id, value
    } cases[] = {
        {"defaults", [](tagPRTSTRUCT3_12&, tagJOBDATA_6&) {},
         {{50, 1}, {7, 0}, {8, 0}, {9, 0}, {52, 0}, {55, 0}, {57, 0}, {66, 0}, {64, 0}, {58, 0}, {59, 0},
          {51, 0}, {48, 0}, {56, 0}, {62, 0}, {63, 0}, {13, 0}, {47, 0}, {49, 0}, {1000, 20500}, {2000, 20500},
          {14, 0xFFFF}, {53, 0}, {54, 0}, {13001, 0}, {15, 0xFFFF}, {21, 0xFFFF}, {1001, 0xFFFF},
          {2002, 0xFFFF}, {12345, 0xFFFF}}},
        {"fields",
         [](tagPRTSTRUCT3_12& j, tagJOBDATA_6&) {
             j.media_type = 3;
             j.src_resolution = {600, 300};
             j.bin_ID = 264;
             j.trim_left_margin = 70000;  // low 16 bits
         },
         {{1, 3}, {60, 600}, {61, 300}, {5, 264}, {12, 70000 & 0xFFFF}}},
        {"paper 9999", [](tagPRTSTRUCT3_12& j, tagJOBDATA_6&) { j.paper_ID = 9999; }, {{2, 9999}}},
        {"paper 10000", [](tagPRTSTRUCT3_12& j, tagJOBDATA_6&) { j.paper_ID = 10000; }, {{2, 256}}},
        {"mode word bits",
         [](tagPRTSTRUCT3_12& j, tagJOBDATA_6&) { j.mw_type |= 0x1 | 0x4 | 0x100 | 0x800 | 0x2000; },
         {{7, 1}, {8, 0}, {9, 1}, {52, 0}, {55, 1}, {57, 0}, {66, 1}, {64, 0}, {58, 1}, {59, 0}}},
        {"other mode word bits",
         [](tagPRTSTRUCT3_12& j, tagJOBDATA_6&) { j.mw_type |= 0x2 | 0x8 | 0x400 | 0x1000 | 0x4000; },
         {{7, 0}, {8, 1}, {9, 0}, {52, 1}, {55, 0}, {57, 1}, {66, 0}, {64, 1}, {58, 0}, {59, 1}}},
        {"tone-mix media class", [](tagPRTSTRUCT3_12& j, tagJOBDATA_6&) { j.mw_type |= 0x80; },
         {{1000, 20540}, {2000, 20540}}},
        {"option bits 0x1000000, 0x40000",
         [](tagPRTSTRUCT3_12& j, tagJOBDATA_6&) { j.ex_option |= 0x1000000 | 0x40000; },
         {{51, 1}, {48, 0}, {56, 1}, {1000, 20560}}},
        {"option bit 0x200000", [](tagPRTSTRUCT3_12& j, tagJOBDATA_6&) { j.ex_option |= 0x200000; },
         {{51, 0}, {48, 1}}},
        {"second option bits", [](tagPRTSTRUCT3_12& j, tagJOBDATA_6&) { j.ex_option2 |= 0x1 | 0x2; },
         {{62, 1}, {63, 1}}},
        {"0x400", [](tagPRTSTRUCT3_12& j, tagJOBDATA_6&) { j.ex_option |= 0x400; }, {{13, 1}, {47, 0}}},
        {"0x10000", [](tagPRTSTRUCT3_12& j, tagJOBDATA_6&) { j.ex_option |= 0x10000; }, {{13, 1}, {47, 0}}},
        {"0x10", [](tagPRTSTRUCT3_12& j, tagJOBDATA_6&) { j.ex_option |= 0x10; }, {{13, 0}, {47, 1}}},
        {"0x10 and 0x10000", [](tagPRTSTRUCT3_12& j, tagJOBDATA_6&) { j.ex_option |= 0x10 | 0x10000; },
         {{13, 1}, {47, 2}}},
        {"0x1000", [](tagPRTSTRUCT3_12& j, tagJOBDATA_6&) { j.ex_option |= 0x1000; }, {{49, 1}}},
        {"0x400000", [](tagPRTSTRUCT3_12& j, tagJOBDATA_6&) { j.ex_option |= 0x400000; }, {{49, 2}}},
        {"0x10000000", [](tagPRTSTRUCT3_12& j, tagJOBDATA_6&) { j.ex_option |= 0x10000000; }, {{49, 3}}},
        {"media options",
         [](tagPRTSTRUCT3_12& j, tagJOBDATA_6&) {
             tagMEDIAOPT_8& m = *j.lpMediaOpt;
             m.field |= OVCG_MO_CUT_ADJUST | OVCG_MO_PALATEN_GAP | OVCG_MO_FEED_ROLLER | OVCG_MO_PAGE_MARGIN;
             m.cutting_adjustment = -2;
             m.platen_gap_mode = 3;
             m.feed_roller_type = 4;
             m.page_margin = 5;
         },
         {{14, 0xFFFE}, {53, 3}, {54, 4}, {13001, 5}}},
        {"ink-set bytes",
         [](tagPRTSTRUCT3_12& j, tagJOBDATA_6& d) {
             d.version = 6;
             d.lpInkSetData = kInkSet;
             d.NumInkSetData = 3;
             j.lpJobData = &d;
         },
         {{15, 0x21}, {16, 0x22}, {17, 0x23}, {18, 0xFFFF}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ovcg_test::FrontEndJob fe;
        ASSERT_TRUE(fe.ok());
        tagJOBDATA_6 data{};
        tagPRTSTRUCT3_12 job = fe.job();
        c.change(job, data);
        MemoryLinkStore store(model);
        auto dll = store.Adapter();
        std::unique_ptr<ovcg::CPrtMode> mode;
        try {
            mode = std::make_unique<ovcg::CPrtMode>(&job, dll.get());
        } catch (const char* m) {
            FAIL() << m;
        }
        CLRKeySet keys;
        ASSERT_EQ(mode->SetLRKeySetValue(&keys, 21000), 1);
        for (const auto& [key, value] : c.keys) EXPECT_EQ(keys.GetLRTargetKey(key), value) << "key " << key;
    }
}

// Values of earlier resources reach the key slots of later lookups; the page
// number reaches its two keys once a page has started.
TEST(LRKeySet, EarlierValuesAndThePage) {
    const ovcg_test::ModelDescription desc = ovcg_test::default_model();
    const ovcg_test::ResWriter model = ovcg_test::build_model(desc);
    ovcg_test::FrontEndJob fe;
    ASSERT_TRUE(fe.ok());
    MemoryLinkStore store(model);
    auto dll = store.Adapter();
    ovcg::CPrtMode mode(&fe.job(), dll.get());
    const ovcg_test::ModelMediaModes mm = ovcg_test::model_media_modes(desc, uint16_t(fe.job().media_type));
    CLRKeySet keys;
    ASSERT_EQ(mode.SetLRKeySetValue(&keys, 21000), 1);
    EXPECT_EQ(keys.GetLRTargetKey(10100), 1);        // resource 20050
    EXPECT_EQ(keys.GetLRTargetKey(10000), mm.calibration_id);
    EXPECT_EQ(keys.GetLRTargetKey(10002), mm.paper_id);
    EXPECT_EQ(keys.GetLRTargetKey(11025), ovcg_test::kModelHeadId0);
    EXPECT_EQ(keys.GetLRTargetKey(12102), desc.links.ink_id);
    EXPECT_EQ(keys.GetLRTargetKey(1001), 0xFFFF);
    mode.RefreshInitPage(13);
    ASSERT_EQ(mode.SetLRKeySetValue(&keys, 30000), 1);
    EXPECT_EQ(keys.GetLRTargetKey(1001), 13);
    EXPECT_EQ(keys.GetLRTargetKey(2002), 13);
    EXPECT_EQ(mode.SetLRKeySetValue(&keys, 12345), 0);  // not a resolution step
}

}  // namespace
