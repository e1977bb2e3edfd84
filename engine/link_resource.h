// Link resources: the type-3000 decision tables of a model from which the
// print mode is resolved. A lookup starts at a chain resource, follows its
// entries and resolves each value through leaf tables (one answer, keyed by
// one or two job properties) and multi-key tables (a list of (type, value)
// pairs from the first matching row). Every resource is an array of 16-bit
// little-endian words read with its fetched size: a count or index that
// points outside the resource makes the resource count as missing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/platform.h"

namespace ovcg {

// Resource type of the link tables.
inline constexpr int kLinkResourceType = 3000;
// A plain value that means "not given".
inline constexpr uint16_t kLinkNotGiven = 0xFFFF;
// What a leaf lookup answers for a missing (or unreadable) resource.
inline constexpr uint16_t kLinkLeafMissing = 0xFFFE;
// Pairs one lookup result can hold; a chain that would reach it fails.
inline constexpr uint16_t kLinkResultCapacity = 100;
// Chain entries one lookup follows, and leaf links one value follows, before
// the tables count as broken (a cycle in the model data ends there).
inline constexpr int kMaxChainEntries = 1024;
inline constexpr int kMaxLeafDepth = 64;

// A value names another link resource when it lies in 20001..65534.
constexpr bool IsLinkValue(uint16_t v) { return static_cast<uint16_t>(v + 1) > 20001; }

// A list of (type, value) pairs.
class RscLinkResult {
public:
    struct Pair {
        uint16_t type;
        uint16_t value;
    };

    // Room for `capacity` pairs; count and cursor 0. Throws std::bad_alloc.
    explicit RscLinkResult(uint16_t capacity);

    // Appends a pair; false when the result is full.
    bool Append(uint16_t type, uint16_t value);

    int Count() const { return m_count; }
    uint16_t Capacity() const { return m_capacity; }

    // The value of the first pair of that type; 0xFFFF when there is none.
    uint16_t GetKeyedValue(uint16_t type) const;
    // Type or value of pair i; 0xFFFF outside 0..count-1.
    uint16_t GetIndexedType(int i) const;
    uint16_t GetIndexedValue(int i) const;
    uint16_t GetCurType() const { return GetIndexedType(m_cursor); }
    uint16_t GetCurValue() const { return GetIndexedValue(m_cursor); }
    void ResetIndex() { m_cursor = 0; }
    // Advances the cursor; whether the new cursor is at most the count.
    bool NextIndex();
    bool IsMoreElement() const { return m_cursor < m_count; }

private:
    std::unique_ptr<Pair[]> m_pairs;
    uint16_t m_capacity;
    int m_count = 0;
    int m_cursor = 0;
};

// Key slots of one lookup: for each key id a table may name, the value the
// job has for it. Filled by the print mode before each lookup.
class CLRKeySet {
public:
    // Every key id the tables may name, in slot order.
    enum Slot : int {
        kPrtFormat, kMediaType, kPaperId, kSrcResX, kSrcResY, kPrtResX, kPrtResY, kBinId,
        kBitPerColor, kLutFormat, kTrimLeftMargin,
        kMw01, kMw02, kMw04, kMw08, kMw100, kMw400, kMw800, kMw1000, kMw2000, kMw4000,
        kEx1000000, kEx200000, kEx40000, kEx2_1, kEx2_2, kEx2_10,
        kAlwaysOne, kTrimOrForce, kUserSettingKind, kDuplexKind, kCutAdjustment,
        kPlatenGap, kFeedRoller, kPageMargin,
        kInkSet0, kInkSet1, kInkSet2, kInkSet3, kInkSet4, kInkSet5, kInkSet6,
        kMediaClass,
        kKey10000, kKey10002, kKey10100, kKey10101, kKey10102, kKey11000, kKey11018, kKey11019,
        kKey11020, kKey11021, kKey11025, kKey11035, kKey11036, kKey11037, kKey12102,
        kKey20000, kKey20001, kKey20002, kKey20003, kKey20004, kKey0, kKey2001,
        kPage,
        kSlotCount
    };
    static_assert(kSlotCount == 66);

    CLRKeySet() { Init(); }

    // Every slot unset (all bits set), except the slots of keys that no
    // resolution step fills (0, 2001, 20004), which read 0.
    void Init();
    // The ink-set slots unset.
    void InitInkSetData();

    void Set(Slot slot, uint32_t value) { m_slots[slot] = value; }
    uint32_t Get(Slot slot) const { return m_slots[slot]; }

    // The slot of a key id; kSlotCount for an id no table may name.
    static Slot SlotOf(uint16_t keyId);
    // The job's value for a key id, as its low 16 bits; 0xFFFF for an id no
    // table may name.
    uint16_t GetLRTargetKey(uint16_t keyId) const;

private:
    std::array<uint32_t, kSlotCount> m_slots;
};

// The resource adapter with the link-table lookups. Lookups throw nothing:
// a missing or malformed resource, a failing leaf and an overflowing result
// all end in null (0xFFFE for a leaf).
class CLinkRscDLL : public CRscDLL {
public:
    CLinkRscDLL(char** files, int count) : CRscDLL(files, count) {}
    CLinkRscDLL(char** files, int count, RscFetchFunctions fetch) : CRscDLL(files, count, fetch) {}

    // Follows the chain from resource id; a new result of capacity 100 (at
    // most 99 pairs), or null.
    std::unique_ptr<RscLinkResult> GetRscLinkTable(uint16_t id, const CLRKeySet* keys);
    // The pairs of the first matching row of a multi-key table; null when
    // the table is missing or malformed or no row matches.
    std::unique_ptr<RscLinkResult> GetLinkRscMultiKey(uint16_t id, const CLRKeySet* keys);
    // The value a leaf table answers; 0xFFFE when it is missing or malformed.
    uint16_t GetLinkRscLeaf(uint16_t id, const CLRKeySet* keys);
    static void FreeRscLinkTable(std::unique_ptr<RscLinkResult>& result) { result.reset(); }

private:
    enum class MultiKey { kMatch, kNoMatch, kBroken };
    MultiKey LookUpMultiKey(uint16_t id, const CLRKeySet& keys, std::unique_ptr<RscLinkResult>* out);
    uint16_t LookUpLeaf(uint16_t id, const CLRKeySet& keys, int depth);
};

}  // namespace ovcg
