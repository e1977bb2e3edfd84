#include "engine/link_resource.h"

#include <limits>
#include <new>
#include <vector>

#include "common/byte_cursor.h"

namespace ovcg {

// ---------------------------------------------------------------------------
// RscLinkResult

RscLinkResult::RscLinkResult(uint16_t capacity)
    : m_pairs(new Pair[capacity ? capacity : 1]), m_capacity(capacity) {}

bool RscLinkResult::Append(uint16_t type, uint16_t value) {
    if (m_count >= m_capacity) return false;
    m_pairs[static_cast<size_t>(m_count)] = Pair{type, value};
    ++m_count;
    return true;
}

uint16_t RscLinkResult::GetKeyedValue(uint16_t type) const {
    for (int i = 0; i < m_count; ++i)
        if (m_pairs[static_cast<size_t>(i)].type == type) return m_pairs[static_cast<size_t>(i)].value;
    return kLinkNotGiven;
}

uint16_t RscLinkResult::GetIndexedType(int i) const {
    return i >= 0 && i < m_count ? m_pairs[static_cast<size_t>(i)].type : kLinkNotGiven;
}

uint16_t RscLinkResult::GetIndexedValue(int i) const {
    return i >= 0 && i < m_count ? m_pairs[static_cast<size_t>(i)].value : kLinkNotGiven;
}

bool RscLinkResult::NextIndex() {
    // The cursor may pass the end by one step at a time; the getters answer
    // 0xFFFF there. Held back only where the counter itself would wrap.
    if (m_cursor < std::numeric_limits<int>::max()) ++m_cursor;
    return m_cursor <= m_count;
}

// ---------------------------------------------------------------------------
// CLRKeySet

void CLRKeySet::Init() {
    m_slots.fill(0xFFFFFFFFu);
    m_slots[kKey0] = 0;
    m_slots[kKey2001] = 0;
    m_slots[kKey20004] = 0;
}

void CLRKeySet::InitInkSetData() {
    for (int s = kInkSet0; s <= kInkSet6; ++s) m_slots[static_cast<size_t>(s)] = 0xFFFFFFFFu;
}

CLRKeySet::Slot CLRKeySet::SlotOf(uint16_t keyId) {
    switch (keyId) {
        case 10: return kPrtFormat;
        case 1: return kMediaType;
        case 2: return kPaperId;
        case 60: return kSrcResX;
        case 61: return kSrcResY;
        case 3: return kPrtResX;
        case 4: return kPrtResY;
        case 5: return kBinId;
        case 6: return kBitPerColor;
        case 11: return kLutFormat;
        case 12: return kTrimLeftMargin;
        case 7: return kMw01;
        case 8: return kMw02;
        case 9: return kMw04;
        case 52: return kMw08;
        case 55: return kMw100;
        case 57: return kMw400;
        case 66: return kMw800;
        case 64: return kMw1000;
        case 58: return kMw2000;
        case 59: return kMw4000;
        case 51: return kEx1000000;
        case 48: return kEx200000;
        case 56: return kEx40000;
        case 62: return kEx2_1;
        case 63: return kEx2_2;
        case 65: return kEx2_10;
        case 50: return kAlwaysOne;
        case 13: return kTrimOrForce;
        case 47: return kUserSettingKind;
        case 49: return kDuplexKind;
        case 14: return kCutAdjustment;
        case 53: return kPlatenGap;
        case 54: return kFeedRoller;
        case 13001: return kPageMargin;
        case 15: return kInkSet0;
        case 16: return kInkSet1;
        case 17: return kInkSet2;
        case 18: return kInkSet3;
        case 19: return kInkSet4;
        case 20: return kInkSet5;
        case 21: return kInkSet6;
        case 1000:
        case 2000: return kMediaClass;
        case 10000: return kKey10000;
        case 10002: return kKey10002;
        case 10100: return kKey10100;
        case 10101: return kKey10101;
        case 10102: return kKey10102;
        case 11000: return kKey11000;
        case 11018: return kKey11018;
        case 11019: return kKey11019;
        case 11020: return kKey11020;
        case 11021: return kKey11021;
        case 11025: return kKey11025;
        case 11035: return kKey11035;
        case 11036: return kKey11036;
        case 11037: return kKey11037;
        case 12102: return kKey12102;
        case 20000: return kKey20000;
        case 20001: return kKey20001;
        case 20002: return kKey20002;
        case 20003: return kKey20003;
        case 20004: return kKey20004;
        case 0: return kKey0;
        case 2001: return kKey2001;
        case 1001:
        case 2002: return kPage;
        default: return kSlotCount;
    }
}

uint16_t CLRKeySet::GetLRTargetKey(uint16_t keyId) const {
    const Slot s = SlotOf(keyId);
    return s == kSlotCount ? kLinkNotGiven : static_cast<uint16_t>(m_slots[s]);
}

// ---------------------------------------------------------------------------
// Lookups

namespace {

// One fetched link resource, released when it goes; its words are read only
// through the bounds-checked cursor.
class LinkWords {
public:
    LinkWords(CRscDLL& dll, uint16_t id) : m_dll(dll) {
        unsigned int size = 0;
        m_data = dll.GetResource(id, kLinkResourceType, &size);
        if (m_data) m_cursor = ByteCursor(m_data, size);
    }
    ~LinkWords() { m_dll.FreeResource(m_data); }
    LinkWords(const LinkWords&) = delete;
    LinkWords& operator=(const LinkWords&) = delete;

    bool present() const { return m_data != nullptr; }
    size_t count() const { return m_cursor.size() / 2; }
    // Word i; false when it lies outside the resource.
    bool at(size_t i, uint16_t& v) const { return i < count() && m_cursor.peek_u16le(2 * i, v); }

private:
    CRscDLL& m_dll;
    void* m_data = nullptr;
    ByteCursor m_cursor;
};

}  // namespace

uint16_t CLinkRscDLL::LookUpLeaf(uint16_t id, const CLRKeySet& keys, int depth) {
    if (depth >= kMaxLeafDepth) return kLinkLeafMissing;
    uint16_t value = 0;
    {
        LinkWords w(*this, id);
        if (!w.present()) return kLinkLeafMissing;
        uint16_t def = 0, axes = 0;
        if (!w.at(0, def) || !w.at(1, axes)) return kLinkLeafMissing;

        size_t pos = 2;
        size_t index[2] = {0, 0};
        size_t count0 = 0;
        for (size_t axis = 0; axis < axes; ++axis) {
            uint16_t keyId = 0, n16 = 0;
            if (!w.at(pos, keyId) || !w.at(pos + 1, n16)) return kLinkLeafMissing;
            pos += 2;
            const int16_t n = static_cast<int16_t>(n16);
            if (n <= 0) return def;
            const size_t count = static_cast<size_t>(n);
            if (count > w.count() - pos) return kLinkLeafMissing;
            const uint16_t target = keys.GetLRTargetKey(keyId);
            size_t j = 0;
            for (; j < count; ++j) {
                uint16_t key = 0;
                w.at(pos + j, key);
                if (key == target) break;
            }
            if (j == count) return def;
            if (axis < 2) index[axis] = j;
            if (axis == 0) count0 = count;
            pos += count;
        }
        size_t vi;
        if (axes == 1)
            vi = index[0];
        else if (axes == 2)
            vi = index[1] * count0 + index[0];
        else
            return kLinkNotGiven;
        if (!w.at(pos + vi, value)) return kLinkLeafMissing;
    }
    return IsLinkValue(value) ? LookUpLeaf(value, keys, depth + 1) : value;
}

CLinkRscDLL::MultiKey CLinkRscDLL::LookUpMultiKey(uint16_t id, const CLRKeySet& keys,
                                                   std::unique_ptr<RscLinkResult>* out) {
    LinkWords w(*this, id);
    uint16_t rows = 0, k = 0, m = 0;
    if (!w.present() || !w.at(2, rows) || !w.at(3, k) || !w.at(4, m)) return MultiKey::kBroken;
    const size_t header = 5 + size_t{k} + m;
    const size_t rowLen = size_t{k} + m;
    // The whole declared table must lie inside the resource.
    if (header > w.count() || size_t{rows} * rowLen > w.count() - header) return MultiKey::kBroken;

    std::vector<uint16_t> targets(k);
    for (size_t i = 0; i < k; ++i) {
        uint16_t keyId = 0;
        w.at(5 + i, keyId);
        targets[i] = keys.GetLRTargetKey(keyId);
    }
    for (size_t r = 0; r < rows; ++r) {
        const size_t base = header + r * rowLen;
        bool match = true;
        for (size_t i = 0; i < k && match; ++i) {
            uint16_t key = 0;
            w.at(base + i, key);
            match = key == kLinkNotGiven || key == targets[i];
        }
        if (!match) continue;
        auto result = std::make_unique<RscLinkResult>(m);
        for (size_t j = 0; j < m; ++j) {
            uint16_t type = 0, value = 0;
            w.at(5 + k + j, type);
            w.at(base + k + j, value);
            if (IsLinkValue(value)) {
                value = LookUpLeaf(value, keys, 0);
                if (value == kLinkLeafMissing) return MultiKey::kBroken;
            }
            result->Append(type, value);
        }
        *out = std::move(result);
        return MultiKey::kMatch;
    }
    return MultiKey::kNoMatch;
}

uint16_t CLinkRscDLL::GetLinkRscLeaf(uint16_t id, const CLRKeySet* keys) {
    if (!keys) return kLinkLeafMissing;
    try {
        return LookUpLeaf(id, *keys, 0);
    } catch (const std::bad_alloc&) {
        return kLinkLeafMissing;
    }
}

std::unique_ptr<RscLinkResult> CLinkRscDLL::GetLinkRscMultiKey(uint16_t id, const CLRKeySet* keys) {
    if (!keys) return nullptr;
    try {
        std::unique_ptr<RscLinkResult> result;
        return LookUpMultiKey(id, *keys, &result) == MultiKey::kMatch ? std::move(result) : nullptr;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

std::unique_ptr<RscLinkResult> CLinkRscDLL::GetRscLinkTable(uint16_t id, const CLRKeySet* keys) {
    if (!keys) return nullptr;
    try {
        auto result = std::make_unique<RscLinkResult>(kLinkResultCapacity);
        // A result holds at most 99 pairs although its room is 100.
        const auto append = [&](uint16_t type, uint16_t value) {
            return result->Append(type, value) && result->Count() < kLinkResultCapacity;
        };
        uint16_t current = id;
        for (int entry = 0; entry < kMaxChainEntries; ++entry) {
            uint16_t type = 0, value = 0, next = 0;
            {
                LinkWords w(*this, current);
                if (!w.present() || !w.at(0, type) || !w.at(1, value) || !w.at(2, next)) return nullptr;
            }
            if (type != 0) {
                if (IsLinkValue(value)) {
                    value = LookUpLeaf(value, *keys, 0);
                    if (value == kLinkLeafMissing) return nullptr;
                }
                if (!append(type, value)) return nullptr;
            } else {
                if (!IsLinkValue(value)) return nullptr;
                std::unique_ptr<RscLinkResult> row;
                switch (LookUpMultiKey(value, *keys, &row)) {
                    case MultiKey::kBroken:
                        return nullptr;
                    case MultiKey::kNoMatch:
                        break;
                    case MultiKey::kMatch:
                        for (int i = 0; i < row->Count(); ++i)
                            if (!append(row->GetIndexedType(i), row->GetIndexedValue(i))) return nullptr;
                        break;
                }
            }
            if (next == kLinkNotGiven) return result;
            current = next;
        }
        return nullptr;  // the chain does not end
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace ovcg
