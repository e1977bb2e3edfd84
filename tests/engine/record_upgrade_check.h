// A reference model of the upgrade of a versioned caller record, checked at
// a guard page: each field is listed with the version that added it, the
// caller's bytes are exactly its version's size and end at (or start after)
// an inaccessible page, so that a read beyond the version faults.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "support/guard_page.h"

namespace ovcg_test {

struct Field {
    const char* name;
    size_t offset;
    size_t size;
    uint16_t since;
};

#define RECORD_FIELD(T, f, v) ::ovcg_test::Field{#f, offsetof(T, f), sizeof(T::f), v}

// A current-layout record whose every byte is set (no field is 0), with the
// given version.
template <typename Record>
Record Patterned(uint16_t version, uint8_t seed) {
    Record r;
    auto* p = reinterpret_cast<uint8_t*>(&r);
    for (size_t i = 0; i < sizeof r; ++i) p[i] = static_cast<uint8_t>((i * 37u + seed) % 251u + 1u);
    r.version = version;
    return r;
}

template <typename Record>
void CopyField(Record& to, const Record& from, const Field& f) {
    std::memcpy(reinterpret_cast<uint8_t*>(&to) + f.offset,
                reinterpret_cast<const uint8_t*>(&from) + f.offset, f.size);
}

// Literal statement of the upgrade rules, field by field: the fields the
// version has, then the record's own defaults for the rest.
template <typename Record>
Record ExpectedUpgrade(const Record& src, const std::vector<Field>& fields, uint16_t current,
                       void (*defaults)(Record&, uint16_t version)) {
    Record e{};
    const uint16_t v = src.version > current ? current : src.version;
    for (const Field& f : fields)
        if (f.since <= v) CopyField(e, src, f);
    if (defaults) defaults(e, v);
    e.version = current;
    return e;
}

// Compares every field (padding is not compared); names the first that differs.
template <typename Record>
std::string DiffFields(const Record& got, const Record& want, const std::vector<Field>& fields) {
    if (got.version != want.version) return "version";
    for (const Field& f : fields) {
        if (std::memcmp(reinterpret_cast<const uint8_t*>(&got) + f.offset,
                        reinterpret_cast<const uint8_t*>(&want) + f.offset, f.size) != 0)
            return f.name;
    }
    return "";
}

enum class Placement { EndAtGuard, EndAtGuardUnaligned, StartAfterGuard };

// The caller's record: exactly `size` bytes of src, placed against a guard page.
struct CallerBytes {
    GuardedBytes mem;
    const uint8_t* record;
};

template <typename Record>
CallerBytes PlaceRecord(const Record& src, size_t size, Placement where) {
    switch (where) {
        case Placement::EndAtGuard: {
            GuardedBytes m = GuardedBytes::EndingAtGuard(size);
            m.assign(&src, size);
            const uint8_t* r = m.data();
            return {std::move(m), r};
        }
        case Placement::EndAtGuardUnaligned: {
            // One spare byte in front: the record starts at an odd address
            // and still ends at the guard.
            GuardedBytes m = GuardedBytes::EndingAtGuard(size + 1);
            std::memcpy(m.data() + 1, &src, size);
            const uint8_t* r = m.data() + 1;
            return {std::move(m), r};
        }
        case Placement::StartAfterGuard:
        default: {
            GuardedBytes m = GuardedBytes::StartingAfterGuard(size);
            m.assign(&src, size);
            const uint8_t* r = m.data();
            return {std::move(m), r};
        }
    }
}

// The size of `version` in a table of sizes by version (newer: the last).
inline size_t BytesOf(const std::vector<size_t>& table, uint16_t version) {
    return table[std::min<size_t>(version, table.size() - 1)];
}

// Upgrades every version (and three newer ones), in a few variants and every
// placement, and compares each field with the reference model.
template <typename Record>
void CheckEveryVersion(int (*upgrade)(const void*, Record*), const std::vector<Field>& fields,
                       uint16_t current, const std::vector<size_t>& bytes,
                       void (*defaults)(Record&, uint16_t), void (*tweak)(Record&, int variant), int variants) {
    const std::vector<uint16_t> extra = {static_cast<uint16_t>(current + 1),
                                         static_cast<uint16_t>(current + 7), 0xFFFF};
    std::vector<uint16_t> versions;
    for (uint16_t v = 1; v <= current; ++v) versions.push_back(v);
    versions.insert(versions.end(), extra.begin(), extra.end());

    for (uint16_t v : versions) {
        for (int variant = 0; variant < variants; ++variant) {
            for (Placement where : {Placement::EndAtGuard, Placement::EndAtGuardUnaligned,
                                    Placement::StartAfterGuard}) {
                SCOPED_TRACE("version " + std::to_string(v) + " variant " + std::to_string(variant) +
                             " placement " + std::to_string(static_cast<int>(where)));
                Record src = Patterned<Record>(v, static_cast<uint8_t>(v * 13 + variant));
                if (tweak) tweak(src, variant);
                CallerBytes caller = PlaceRecord(src, BytesOf(bytes, v), where);

                Record out;
                std::memset(static_cast<void*>(&out), 0xCC, sizeof out);
                ASSERT_EQ(upgrade(caller.record, &out), 0);
                const Record want = ExpectedUpgrade(src, fields, current, defaults);
                EXPECT_EQ(DiffFields(out, want, fields), "");
                EXPECT_EQ(out.version, current);
            }
        }
    }
}

}  // namespace ovcg_test
