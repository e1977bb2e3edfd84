#include "frontend/res_reader.h"
#include "support/res_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <tuple>
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
    Bytes b;
    b.reserve(n);
    for (size_t i = 0; i < n; ++i) b.push_back(uint8_t(start + i));
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
    EXPECT_EQ(ovs_resLoadFile(std::string("/tmp/").append(ovcg::kResPathMax, 'x').c_str()), -1);
    EXPECT_EQ(ovs_resLoadFile(nullptr), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr().rfind(
                  "RES MGR : Failed to open Res File /nonexistent/dir/model.res\n", 0),
              0u);
}

// The index keeps paths of up to 255 characters: one of exactly that length
// loads and fetches (extra slashes name the same file), one more is refused.
TEST_F(ResReader, PathLengthLimit) {
    ASSERT_TRUE(write_bytes(tmp_.path(), ResWriter().add(3000, 1, seq(5, 1)).bytes()));
    ASSERT_LT(tmp_.path().size(), 255u);
    const struct {
        size_t length;
        int load;
    } cases[] = {{255, 0}, {256, -1}};
    for (const auto& c : cases) {
        const std::string path = std::string(c.length - tmp_.path().size(), '/') + tmp_.path();
        ASSERT_EQ(path.size(), c.length);
        testing::internal::CaptureStderr();
        EXPECT_EQ(ovs_resLoadFile(path.c_str()), c.load) << c.length;
        const Fetched f = fetch(3000, 1);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(f.data != nullptr, c.load == 0) << c.length;
        if (f.data) {
            EXPECT_EQ(Bytes(f.data.get(), f.data.get() + f.size), seq(5, 1));
        }
    }
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

// A file laid out by hand, byte by byte, without the test writer: the
// header fields sit at their offsets, DataSize 5 is followed by 3 padding
// bytes, DataSize 8 by none, and a record whose name marker is 0 is stepped
// over with its data.
TEST_F(ResReader, HandLaidFileIndexesAtTheRightOffsets) {
    Bytes file(32, 0);  // the leading empty entry
    auto record = [&](uint32_t data_size, uint16_t type_marker, uint16_t type, uint16_t name_marker,
                      uint16_t id, const Bytes& data, size_t pad) {
        put32(file, data_size);
        put32(file, 32);
        put16(file, type_marker);
        put16(file, type);
        put16(file, name_marker);
        put16(file, id);
        put32(file, 0);       // DataVersion
        put16(file, 0x1030);  // MemoryFlags
        put16(file, 0x0409);  // LanguageId
        put32(file, 0);       // Version
        put32(file, 0);       // Characteristics
        file.insert(file.end(), data.begin(), data.end());
        file.insert(file.end(), pad, 0xEE);
    };
    record(5, 0xFFFF, 3000, 0xFFFF, 0x0102, {1, 2, 3, 4, 5}, 3);    // header 32, data 64
    record(8, 0xFFFF, 4000, 0x0000, 0x0007, seq(8, 0x40), 0);       // header 72: skipped
    record(8, 0xFFFF, 4000, 0xFFFF, 0x0007, seq(8, 0x50), 0);       // header 112, data 144
    record(1, 0xFFFF, 2100, 0xFFFF, 0xFFFF, {0xAB}, 3);             // header 152, data 184
    ASSERT_EQ(file.size(), 188u);
    ASSERT_EQ(load(file), 0);
    const auto idx = ovcg::res_index_entries();
    ASSERT_EQ(idx.size(), 3u);
    const std::tuple<uint16_t, uint16_t, uint64_t, uint32_t> want[] = {
        {0x0102, 3000, 64, 5}, {7, 4000, 144, 8}, {0xFFFF, 2100, 184, 1}};
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(std::tuple(idx[i].id, idx[i].type, idx[i].offset, idx[i].size), want[i]) << i;
    Fetched f = fetch(4000, 7);
    ASSERT_NE(f.data, nullptr);
    EXPECT_EQ(Bytes(f.data.get(), f.data.get() + f.size), seq(8, 0x50));
    Fetched g = fetch(2100, -1);  // identifier 0xFFFF, taken as 16-bit
    ASSERT_NE(g.data, nullptr);
    EXPECT_EQ(Bytes(g.data.get(), g.data.get() + g.size), (Bytes{0xAB}));
}

TEST_F(ResReader, FilesShorterThanTheLeadingEntryGiveAnEmptyIndex) {
    for (size_t n : {0, 10, 32, 63}) {
        EXPECT_EQ(load(Bytes(n, 0)), 0) << n;
        EXPECT_TRUE(ovcg::res_index_entries().empty()) << n;
    }
}

// Which message a fetch gives once no index is held: the file is still opened
// by its path, so an unload or a failed load reports the resource as not
// located, and a file that has gone since it was indexed as not opened.
TEST_F(ResReader, FetchMessagesWithoutAnIndex) {
    const std::string missing = tmp_.path() + ".missing";
    struct Case {
        const char* name;
        std::function<int()> setup;
        std::string message;
    };
    const Case cases[] = {
        {"after an unload",
         [&] {
             load(ResWriter().add(3000, 1, {1}).bytes());
             return ovs_resUnLoadFile();
         },
         "RES MGR : Failed to locate [3000, 1]\n"},
        {"after a load of a file that does not open",
         [&] { return ovs_resLoadFile(missing.c_str()) + 1; },
         "RES MGR : FR - Failed to open " + missing + "\n"},
        {"indexed, then the file removed",
         [&] {
             int r = load(ResWriter().add(3000, 1, {1}).bytes());
             std::remove(tmp_.path().c_str());
             return r;
         },
         "RES MGR : FR - Failed to open " + tmp_.path() + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::internal::CaptureStderr();
        EXPECT_EQ(c.setup(), 0);
        testing::internal::GetCapturedStderr();
        testing::internal::CaptureStderr();
        EXPECT_EQ(fetch(3000, 1).data, nullptr);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
    }
}

TEST(LocalTime, MatchesTheLocalClock) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::time_t before = std::time(nullptr);
        OVS_SYSTEMTIME t;
        GetLocalTime(&t);
        if (std::time(nullptr) != before) continue;  // a second boundary: again
        std::tm tm{};
        localtime_r(&before, &tm);
        EXPECT_EQ(std::vector<int>({t.wYear, t.wMonth, t.wDayOfWeek, t.wDay, t.wHour, t.wMinute,
                                    t.wSecond, t.wMilliseconds}),
                  std::vector<int>({tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_wday, tm.tm_mday,
                                    tm.tm_hour, tm.tm_min, tm.tm_sec, 0}));
        return;
    }
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
