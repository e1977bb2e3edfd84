#include "frontend/res_reader.h"
#include "support/res_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>

namespace ovcg_test {
namespace {

struct Freer {
    void operator()(void* p) const { ovs_FreeResource(p); }
};
using ResBuf = std::unique_ptr<uint8_t, Freer>;

struct Fetched {
    ResBuf data;
    uint32_t size = 0;
};

Fetched fetch(int type, int id) {
    Fetched f;
    f.data.reset(static_cast<uint8_t*>(ovs_GetResource(id, type, &f.size)));
    return f;
}

Bytes seq(size_t n, uint8_t start) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(start + i);
    return b;
}

class ResReader : public ::testing::Test {
protected:
    void TearDown() override { ovs_resUnLoadFile(); }
    int load(const Bytes& file) {
        EXPECT_TRUE(write_bytes(tmp_.path(), file));
        return ovs_resLoadFile(tmp_.path().c_str());
    }
    TempFile tmp_{"res_reader"};
};

TEST_F(ResReader, OnlyTheLeadingEntryGivesAnEmptyIndex) {
    EXPECT_EQ(load(ResWriter().bytes()), 0);
    EXPECT_TRUE(ovcg::res_index_entries().empty());
    testing::internal::CaptureStderr();
    EXPECT_EQ(fetch(3000, 1).data, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "RES MGR : Failed to locate [3000, 1]\n");
}

// DataSize 0 (fetched as an empty buffer, not a failure) up to 8.
TEST_F(ResReader, PaddingIsSteppedOverForEveryDataSize) {
    ResWriter w;
    for (uint16_t n = 0; n < 9; ++n) w.add(4000, n, seq(n, uint8_t(n * 16)));
    ASSERT_EQ(load(w.bytes()), 0);
    ASSERT_EQ(ovcg::res_index_entries().size(), 9u);
    for (uint16_t n = 0; n < 9; ++n) {
        Fetched f = fetch(4000, n);
        ASSERT_NE(f.data, nullptr) << n;
        EXPECT_EQ(f.size, n);
        EXPECT_EQ(Bytes(f.data.get(), f.data.get() + f.size), seq(n, uint8_t(n * 16)));
    }
}

TEST_F(ResReader, FirstOfDuplicatesWinsAndKeysCompareAs16Bit) {
    ResWriter w;
    w.add(3000, 7, {1, 1, 1}).add(3000, 7, {2, 2}).add(3001, 7, {3});
    ASSERT_EQ(load(w.bytes()), 0);
    Fetched f = fetch(3000, 7);
    ASSERT_NE(f.data, nullptr);
    EXPECT_EQ(f.size, 3u);
    EXPECT_EQ(f.data.get()[0], 1);
    // Type and identifier are taken as 16-bit values.
    Fetched g = fetch(3000 + 0x10000, 7 + 0x30000);
    ASSERT_NE(g.data, nullptr);
    EXPECT_EQ(g.size, 3u);
    // ovs_FindResource returns the same bytes without a size.
    ResBuf p(static_cast<uint8_t*>(ovs_FindResource(7, 3001)));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p.get()[0], 3);
}

TEST_F(ResReader, StringNamedRecordsAreSkippedButSteppedOver) {
    ResWriter w;
    ResRecord named_type{2000, 1, seq(7, 0)};
    named_type.numeric_type = false;
    ResRecord named_id{2000, 2, seq(9, 0)};
    named_id.numeric_id = false;
    w.add(named_type).add(named_id).add(2000, 3, {9, 8, 7});
    ASSERT_EQ(load(w.bytes()), 0);
    const auto idx = ovcg::res_index_entries();
    ASSERT_EQ(idx.size(), 1u);
    EXPECT_EQ(idx[0].id, 3);
    Fetched f = fetch(2000, 3);
    ASSERT_NE(f.data, nullptr);
    EXPECT_EQ(Bytes(f.data.get(), f.data.get() + f.size), (Bytes{9, 8, 7}));
}

TEST_F(ResReader, TypeMarkerZeroIsSkipped) {
    ResWriter w;
    w.add(4000, 1, seq(6, 1)).add(4000, 2, seq(6, 2));
    Bytes file = w.bytes();
    // Zero the type marker of the first record (leading entry is 32 bytes).
    file[32 + 8] = 0;
    file[32 + 9] = 0;
    ASSERT_EQ(load(file), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(fetch(4000, 1).data, nullptr);
    testing::internal::GetCapturedStderr();
    EXPECT_NE(fetch(4000, 2).data, nullptr);
}

TEST_F(ResReader, DamagedHeadersEndTheIndex) {
    struct Case {
        const char* name;
        int64_t data_size;
        int64_t header_size;
    };
    const Case cases[] = {
        {"DataSize past the end of the file", 0x10000, -1},
        {"DataSize of 4 GiB - 1", 0xFFFFFFFF, -1},
        {"huge HeaderSize", -1, 0xFFFFFFF0},
        {"HeaderSize below 32", -1, 16},
        {"HeaderSize of 0", -1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResWriter w;
        w.add(4000, 1, seq(12, 1));
        ResRecord bad{4000, 2, seq(12, 2)};
        bad.data_size = c.data_size;
        bad.header_size = c.header_size;
        w.add(bad).add(4000, 3, seq(12, 3));
        ASSERT_EQ(load(w.bytes()), 0);
        // The records before the damage stay; nothing from or after it is indexed.
        const auto idx = ovcg::res_index_entries();
        ASSERT_EQ(idx.size(), 1u);
        EXPECT_EQ(idx[0].id, 1);
        EXPECT_NE(fetch(4000, 1).data, nullptr);
        testing::internal::CaptureStderr();
        EXPECT_EQ(fetch(4000, 2).data, nullptr);
        EXPECT_EQ(fetch(4000, 3).data, nullptr);
        testing::internal::GetCapturedStderr();
    }
}

TEST_F(ResReader, LargerHeaderSizeMovesTheData) {
    // A header of 40 bytes: the data starts after it, not after 32 bytes.
    ResRecord r{4000, 9, {}};
    r.header_size = 40;
    Bytes rec = res_record_bytes(r);
    rec.resize(40, 0xEE);  // the extra header bytes
    for (int i = 0; i < 4; ++i) rec[i] = uint8_t(i == 0 ? 4 : 0);  // DataSize 4
    rec.insert(rec.end(), {0xA1, 0xA2, 0xA3, 0xA4});
    Bytes file = ResWriter().bytes();
    file.insert(file.end(), rec.begin(), rec.end());
    Bytes tail = res_record_bytes(ResRecord{4000, 10, {5}});
    file.insert(file.end(), tail.begin(), tail.end());
    ASSERT_EQ(load(file), 0);
    Fetched f = fetch(4000, 9);
    ASSERT_NE(f.data, nullptr);
    EXPECT_EQ(Bytes(f.data.get(), f.data.get() + f.size), (Bytes{0xA1, 0xA2, 0xA3, 0xA4}));
    EXPECT_NE(fetch(4000, 10).data, nullptr);
}

TEST_F(ResReader, TruncatedDataAfterIndexingIsAShortRead) {
    ResWriter w;
    w.add(3000, 1, seq(100, 0));
    ASSERT_EQ(load(w.bytes()), 0);
    // The file shrinks between indexing and fetching.
    Bytes cut = w.bytes();
    cut.resize(cut.size() - 60);
    ASSERT_TRUE(write_bytes(tmp_.path(), cut));
    testing::internal::CaptureStderr();
    EXPECT_EQ(fetch(3000, 1).data, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "RES MGR : FR - Could not read 100 bytes (40 bytes read) [3000], [1]\n");
}

TEST_F(ResReader, TruncatedFileIndexesWhatIsWhole) {
    ResWriter w;
    w.add(3000, 1, seq(10, 0)).add(3000, 2, seq(50, 0));
    Bytes file = w.bytes();
    file.resize(file.size() - 20);
    ASSERT_EQ(load(file), 0);
    EXPECT_EQ(ovcg::res_index_entries().size(), 1u);
}

TEST_F(ResReader, LoadFailures) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(ovs_resLoadFile("/nonexistent/dir/model.res"), -1);
    EXPECT_EQ(fetch(3000, 1).data, nullptr);  // a failed load leaves no index
    // A path longer than the index holds is refused, not cut short.
    EXPECT_EQ(ovs_resLoadFile(("/tmp/" + std::string(ovcg::kResPathMax, 'x')).c_str()), -1);
    EXPECT_EQ(ovs_resLoadFile(nullptr), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr().rfind(
                  "RES MGR : Failed to open Res File /nonexistent/dir/model.res\n", 0),
              0u);
}

TEST_F(ResReader, ReloadReplacesAndUnloadClears) {
    ASSERT_EQ(load(ResWriter().add(3000, 1, {1}).bytes()), 0);
    TempFile other("res_reader_other");
    ASSERT_TRUE(ResWriter().add(3000, 2, {2}).write_file(other.path()));
    ASSERT_EQ(ovs_resLoadFile(other.path().c_str()), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(fetch(3000, 1).data, nullptr);
    EXPECT_NE(fetch(3000, 2).data, nullptr);
    EXPECT_EQ(ovs_resUnLoadFile(), 0);
    EXPECT_EQ(fetch(3000, 2).data, nullptr);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(ovs_FreeResource(nullptr), 0);
}

TEST_F(ResReader, RandomMutationsNeverReadOutsideTheFile) {
    ResWriter w;
    for (uint16_t i = 0; i < 12; ++i) w.add(uint16_t(2000 + i % 3), i, seq(i * 7u % 40u, uint8_t(i)));
    const Bytes good = w.bytes();
    std::mt19937 rng(1234);
    testing::internal::CaptureStderr();
    for (int round = 0; round < 300; ++round) {
        Bytes file = good;
        const int edits = 1 + int(rng() % 6);
        for (int e = 0; e < edits; ++e) file[rng() % file.size()] = uint8_t(rng());
        if (rng() % 4 == 0) file.resize(rng() % file.size());
        ASSERT_EQ(load(file), 0);
        for (const auto& e : ovcg::res_index_entries()) {
            EXPECT_LE(e.offset + e.size, file.size());
            Fetched f = fetch(e.type, e.id);
            if (f.data) {
                EXPECT_LE(f.size, file.size());
            }
        }
    }
    testing::internal::GetCapturedStderr();
}

TEST(LocalTime, FillsEveryField) {
    OVS_SYSTEMTIME t;
    std::memset(&t, 0xFF, sizeof t);
    GetLocalTime(&t);
    EXPECT_GE(t.wYear, 2024);
    EXPECT_GE(t.wMonth, 1);
    EXPECT_LE(t.wMonth, 12);
    EXPECT_LE(t.wDayOfWeek, 6);
    EXPECT_GE(t.wDay, 1);
    EXPECT_LE(t.wDay, 31);
    EXPECT_LE(t.wHour, 23);
    EXPECT_LE(t.wMinute, 59);
    EXPECT_LE(t.wSecond, 60);
    EXPECT_EQ(t.wMilliseconds, 0);
    GetLocalTime(nullptr);  // ignored
}

}  // namespace
}  // namespace ovcg_test
