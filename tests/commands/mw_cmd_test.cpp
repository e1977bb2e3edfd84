#include "commands/mw_cmd.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "gen_harness.h"

namespace ovcg::test {
namespace {

using ovcg_test::StreamItemKind;

constexpr uint8_t kEnter[] = {0x1B, 0x28, 0x52, 0x08, 0x00, 0x00, 'R', 'E', 'M', 'O', 'T', 'E', '1'};
constexpr uint8_t kExit[] = {0x1B, 0x00, 0x00, 0x00};

// The bytes between the remote entry and exit that frame the whole
// (validated) capture.
std::string Inner(Harness& h) {
    const std::vector<uint8_t> d = h.Data();
    if (d.size() < sizeof kEnter + sizeof kExit || !std::equal(kEnter, kEnter + sizeof kEnter, d.begin()) ||
        !std::equal(kExit, kExit + sizeof kExit, d.end() - sizeof kExit))
        return "<not framed> " + hex_of(d);
    return hex_of(d.data() + sizeof kEnter, d.size() - sizeof kEnter - sizeof kExit);
}

// Runs fn between a remote entry and exit of our own.
std::string InRemote(Harness& h, const std::function<void()>& fn) {
    h.spooler->SendData(reinterpret_cast<const char*>(kEnter), sizeof kEnter);
    fn();
    h.spooler->SendData(reinterpret_cast<const char*>(kExit), sizeof kExit);
    return Inner(h);
}

// The inner bytes of the remote-mode block.
std::string Block(Harness& h) {
    h.Make().SendStartDoc_RemoteCmd();
    return Inner(h);
}

// Enables exactly these JX items.
void JxOnly(Harness& h, std::initializer_list<int> items) {
    for (auto& w : h.info.jx_items) w = 0xFFFF;
    for (int i : items) h.info.jx_items[i] = 1;
}

void SetJobData(Harness& h) {
    h.withJobData = true;
    h.jobData.version = 6;
    h.jobData.lpszDocName = "DOC";
    h.jobData.DocNameSize = 3;
    h.jobData.lpszOwnerName = "OWN";
    h.jobData.OwnerNameSize = 3;
    h.jobData.lpszHostName = "HOST";
    h.jobData.HostNameSize = 4;
    h.jobData.HostNameType = 2;
    h.jobData.dwJobID = 0x01020304;
    h.jobData.lpszVenderInfo = "VEN";
    h.jobData.VenderInfoSize = 3;
    h.jobData.lpszOsVerInfo = "OS";
    h.jobData.OsVerInfoSize = 2;
    h.jobData.lpszMediaInfo = "MEDIA";
    h.jobData.MediaInfoSize = 5;
}

// ---------------------------------------------------------------------------

TEST(MWCmd, Construction) {
    Harness h;
    CMWCmd& g = h.Make();
    EXPECT_THROW(CMWCmd(nullptr, &h.info, h.spooler.get(), nullptr, nullptr, nullptr, nullptr), const char*);
    EXPECT_THROW(CMWCmd(&h.job, nullptr, h.spooler.get(), nullptr, nullptr, nullptr, nullptr), const char*);
    EXPECT_THROW(CMWCmd(&h.job, &h.info, nullptr, nullptr, nullptr, nullptr, nullptr), const char*);
    h.info.remote_flags = 0x1234;  // later changes do not reach the copy
    EXPECT_EQ(g.Info().remote_flags, 0);
    // The base's page operations send nothing.
    g.SendStartDocCmd(0);
    g.SendStartPageCmd(1);
    g.SendEndPageCmd();
    g.SendEndDocCmd();
    g.SetColorOption(1, 2, 3, 4, 5, 6, 7);
    EXPECT_TRUE(h.Data().empty());
}

TEST(MWCmd, GetUSFact) {
    struct Case {
        int32_t vres, sx, sy, x, y;
    } cases[] = {
        {720, 600, 300, 12, 24},
        {1440, 720, 360, 20, 40},
        {540, 600, 300, 96, 192},  // (s + 57599) / s
        {720, 0, 360, 0, 20},      // no source resolution: 0, no division
        {720, 600, -5, 12, 0},
    };
    for (const Case& c : cases) {
        Harness h;
        h.job.prt_resolution.y = c.vres;
        h.job.src_resolution = {c.sx, c.sy};
        tagPOINT p{};
        h.Make().GetUSFact(&p);
        EXPECT_EQ(p.x, c.x) << c.vres << " " << c.sx;
        EXPECT_EQ(p.y, c.y) << c.vres << " " << c.sy;
    }
}

TEST(MWCmd, SendVPosAndDummy) {
    Harness h;
    h.Make().SendVPosCmd(0x01020304);
    EXPECT_EQ(h.Hex(), H("1B 28 76 05 00 04 03 02 01 01"));
    h.Clear();
    h.gen->SendDummyCom();
    std::vector<uint8_t> d = h.Data();
    ASSERT_EQ(d.size(), 5u + 32767u);
    EXPECT_EQ(hex_of(d.data(), 5), "1B 28 64 FF 7F");
    EXPECT_TRUE(std::all_of(d.begin() + 5, d.end(), [](uint8_t b) { return b == 0; }));
}

TEST(MWCmd, LineAdvanceOfOneHead) {
    struct Case {
        int32_t lines;
        const char* bytes;
    } cases[] = {
        {510, "1B 2B FF 0A 0A 1B 2B 3C"},
        {600, "1B 2B FF 0A 0A 1B 2B 5A 0A 1B 2B 3C"},
        {0, "1B 2B 00 0A 1B 2B 3C"},
        {255, "1B 2B FF 0A 1B 2B 3C"},
        {256, "1B 2B FF 0A 1B 2B 01 0A 1B 2B 3C"},
        {-1, ""},  // not given: nothing at all
    };
    for (const Case& c : cases) {
        Harness h;
        h.info.head_feed_lines = c.lines;
        h.Make().SendLFOfOneHead();
        EXPECT_EQ(h.Hex(), H(c.bytes)) << c.lines;
    }
}

TEST(MWCmd, LineAdvanceOfManyLinesKeepsEveryFeed) {
    Harness h;
    h.info.head_feed_lines = 255 * 1000 + 7;
    h.Make().SendLFOfOneHead();
    std::vector<uint8_t> d = h.Data();
    ASSERT_EQ(d.size(), 3u + 1000u + 3u + 1u + 3u);
    EXPECT_EQ(std::count(d.begin(), d.end(), 0x0A), 1001);
    EXPECT_EQ(hex_of(d.data() + 1003, 7), "1B 2B 07 0A 1B 2B 3C");
}

TEST(MWCmd, ColourModeEscapes) {
    struct Case {
        int16_t mono;
        int32_t format;
        uint32_t f3;
        bool black, override_;
        const char* bytes;
    } cases[] = {
        {2, 1, 0, false, false, "1B 28 4B 02 00 00 02"},
        {-1, 0, 0, false, false, "1B 72 00"},
        {-1, 1, 0, false, false, ""},
        {1, 1, 0x80000, true, false, "1B 28 4B 02 00 00 01 1B 28 4B 02 00 01 01"},
        {1, 1, 0x80000, false, false, "1B 28 4B 02 00 00 01 1B 28 4B 02 00 01 00"},
        {1, 1, 1u << 28, false, false, "1B 28 4B 02 00 00 01 1B 28 4B 02 00 02 01"},
        {2, 1, 1u << 28, false, true, "1B 28 4B 02 00 00 02 1B 28 4B 02 00 02 01"},
        {2, 1, 1u << 28, false, false, "1B 28 4B 02 00 00 02 1B 28 4B 02 00 02 02"},
        {-1, 0, (1u << 28) | 0x80000, false, false, "1B 72 00 1B 28 4B 02 00 01 00"},
    };
    for (const Case& c : cases) {
        Harness h;
        h.info.mono_mode = c.mono;
        h.job.prt_format = c.format;
        h.info.remote_flags3 = c.f3;
        h.info.mw_type_flags[kMwBlackPrint] = c.black;
        h.SetEx(kExColorSettingOverride, c.override_);
        h.Make().SendESCKCom();
        EXPECT_EQ(h.Hex(), H(c.bytes)) << c.bytes;
    }
}

// ---------------------------------------------------------------------------
// Dot counts.

std::vector<uint8_t> ReferenceDotCount(const tagPRTINFOSTRUCT& info, const std::vector<tagSMLDATA>& table, int size) {
    const int bytes = std::min(size, 252);
    std::vector<uint8_t> out(static_cast<size_t>(bytes), 0);
    const uint32_t s = static_cast<uint32_t>(info.dot_count_scale * info.dot_count_scale);
    for (int p = 0; p < info.plane_count && p < 16 && (p + 1) * 12 <= bytes; ++p) {
        const int k = info.plane_sml_index[p];
        if (k < 1 || k > size / 12) continue;
        for (int j = 0; j < 3; ++j) {
            const uint32_t v = table[static_cast<size_t>(k - 1)].count[j] * s;
            for (int b = 0; b < 4; ++b) out[static_cast<size_t>(p * 12 + j * 4 + b)] = static_cast<uint8_t>(v >> (8 * b));
        }
    }
    return out;
}

TEST(MWCmd, DotCountMatchesReferenceOnRandomTables) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        Harness h;
        const int entries = static_cast<int>(rng() % 25) + 1;
        std::vector<tagSMLDATA> table(static_cast<size_t>(entries));
        for (auto& e : table)
            for (auto& c : e.count) c = rng();
        h.info.plane_count = static_cast<int32_t>(rng() % 24) - 2;
        for (auto& k : h.info.plane_sml_index) k = static_cast<uint16_t>(rng() % 3 == 0 ? 0xFFFF : rng() % 30);
        h.info.dot_count_scale = static_cast<int16_t>(static_cast<int>(rng() % 9) - 4);
        CMWCmd& g = h.Make();
        const int size = entries * 12;
        g.SetDotCount(table.data(), size, 0);
        const std::vector<uint8_t> want = ReferenceDotCount(h.info, table, size);
        ASSERT_EQ(g.DotCountSize(), static_cast<int>(want.size()));
        EXPECT_EQ(hex_of(g.DotCount(), want.size()), hex_of(want)) << round;
    }
}

TEST(MWCmd, DotCountBoundsAndRepeats) {
    Harness h;
    h.info.plane_count = 4;
    h.info.plane_sml_index[0] = 2;
    h.info.plane_sml_index[1] = 0;
    h.info.plane_sml_index[2] = 0xFFFF;  // beyond any table: zeros
    h.info.plane_sml_index[3] = 1;
    h.info.dot_count_scale = 3;
    CMWCmd& g = h.Make();
    const tagSMLDATA table[4] = {{{1, 2, 3}}, {{4, 5, 6}}, {{7, 8, 9}}, {{10, 11, 12}}};
    g.SetDotCount(nullptr, 48, 0);
    EXPECT_EQ(g.DotCountSize(), 0);
    g.SetDotCount(table, 0, 0);
    g.SetDotCount(table, -12, 0);
    EXPECT_EQ(g.DotCountSize(), 0);
    g.SetDotCount(table, 48, 0);
    ASSERT_EQ(g.DotCountSize(), 48);
    EXPECT_EQ(hex_of(g.DotCount(), 48),
              H("24 00 00 00 2D 00 00 00 36 00 00 00  00 00 00 00 00 00 00 00 00 00 00 00"
                " 00 00 00 00 00 00 00 00 00 00 00 00  09 00 00 00 12 00 00 00 1B 00 00 00"));
    // A table of one entry: plane 0's entry 2 lies beyond it and gives zeros;
    // the array holds only the one plane the size covers.
    g.SetDotCount(table, 12, 0);
    ASSERT_EQ(g.DotCountSize(), 12);
    EXPECT_EQ(hex_of(g.DotCount(), 12), H("00 00 00 00 00 00 00 00 00 00 00 00"));
    // More bytes than the record's one-byte length: cut to 21 planes.
    std::vector<tagSMLDATA> big(50, tagSMLDATA{{1, 1, 1}});
    g.SetDotCount(big.data(), 600, 0);
    EXPECT_EQ(g.DotCountSize(), 252);
}

// ---------------------------------------------------------------------------
// JX records.

TEST(MWCmd, JxStartVariants) {
    struct Case {
        const char* name;
        std::function<void(Harness&)> setup;
        std::string bytes;
    } cases[] = {
        {"only the start item", [](Harness& h) { JxOnly(h, {0}); }, "'JX' 05 00 00 00 01 01 01"},
        {"no items: nothing", [](Harness& h) { JxOnly(h, {}); }, ""},
        {"every item",
         [](Harness& h) {
             static const uint8_t hdd[2] = {9, 8};
             SetJobData(h);
             h.jobData.lpszMediaInfo = "MED"; h.jobData.MediaInfoSize = 3;
             h.jobData.lpHDDOption = hdd; h.jobData.NumHDDOption = 2;
             h.jobData.DisablePrinterErrorCheck = 1;
             h.job.num_copy = 3; h.SetEx(kExJxSendCopies);
         },
         "'JX' 3F 00 00 00 01 01 01 02 08 09 08 00 00 00 00 00 00 08 03 'DOC'"
         " 20 09 02 04 03 02 01 'HOST' 0C 03 'OWN' 0D 04 'HOST' 0F 02 03 00"
         " 18 03 'VEN' 17 02 'OS' 19 03 'MED' 2B 01 01"},
        {"no job data keeps start, default disk options and copies",
         [](Harness&) {}, "'JX' 13 00 00 00 01 01 01 02 08 01 01 00 00 00 00 00 00 0F 02 01 00"},
        {"job data of version 0 counts as none",
         [](Harness& h) { SetJobData(h); h.jobData.version = 0; },
         "'JX' 13 00 00 00 01 01 01 02 08 01 01 00 00 00 00 00 00 0F 02 01 00"},
        {"job-information mode sends media and error check only",
         [](Harness& h) { SetJobData(h); h.jobData.DisablePrinterErrorCheck = 1; h.SetEx(kExJobInfoMode); },
         "'JX' 0C 00 00 00 19 05 'MEDIA' 2B 01 01"},
        {"disk options beyond 8 bytes take the default",
         [](Harness& h) {
             static const uint8_t nine[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
             SetJobData(h); h.jobData.lpHDDOption = nine; h.jobData.NumHDDOption = 9;
             h.jobData.lpszDocName = nullptr; h.jobData.lpszOwnerName = nullptr; h.jobData.lpszHostName = nullptr;
             h.jobData.lpszVenderInfo = nullptr; h.jobData.lpszOsVerInfo = nullptr; h.jobData.lpszMediaInfo = nullptr;
         },
         "'JX' 13 00 00 00 01 01 01 02 08 01 01 00 00 00 00 00 00 0F 02 01 00"},
        {"exactly 8 disk-option bytes are sent as given",
         [](Harness& h) {
             static const uint8_t eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
             SetJobData(h); h.jobData.lpHDDOption = eight; h.jobData.NumHDDOption = 8;
             h.jobData.lpszDocName = nullptr; h.jobData.lpszOwnerName = nullptr; h.jobData.lpszHostName = nullptr;
             h.jobData.lpszVenderInfo = nullptr; h.jobData.lpszOsVerInfo = nullptr; h.jobData.lpszMediaInfo = nullptr;
         },
         "'JX' 13 00 00 00 01 01 01 02 08 01 02 03 04 05 06 07 08 0F 02 01 00"},
        {"negative host-name type drops the identifier item",
         [](Harness& h) {
             SetJobData(h); h.jobData.HostNameType = -1;
             h.jobData.lpszDocName = nullptr; h.jobData.lpszOwnerName = nullptr;
             h.jobData.lpszVenderInfo = nullptr; h.jobData.lpszOsVerInfo = nullptr; h.jobData.lpszMediaInfo = nullptr;
         },
         "'JX' 19 00 00 00 01 01 01 02 08 01 01 00 00 00 00 00 00 0D 04 'HOST' 0F 02 01 00"},
        // Sizes far beyond the strings, or beyond what an item holds.
        {"strings clamped to their real length and the item limits",
         [](Harness& h) {
             static const std::string longDoc(200, 'd');
             SetJobData(h);
             h.jobData.lpszDocName = longDoc.c_str(); h.jobData.DocNameSize = 200;
             h.jobData.OwnerNameSize = 0xFFFFFFFF; h.jobData.HostNameSize = 100000;
             JxOnly(h, {3, 5, 6});  // document, owner and host names
         },
         "'JX' 6F 00 00 00 08 60 '" + std::string(96, 'd') + "' 0C 03 'OWN' 0D 04 'HOST'"},
    };
    for (const Case& c : cases) {
        Harness h;
        for (auto& w : h.info.jx_items) w = 1;
        c.setup(h);
        CMWCmd& g = h.Make();
        EXPECT_EQ(InRemote(h, [&] { g.SendJXStartCmd(); }), H(c.bytes)) << c.name;
    }
}

TEST(MWCmd, JxPredictionAndEnd) {
    Harness h;
    h.info.jx_items[0] = 1;
    h.info.jx_items[10] = 1;
    h.info.jx_items[11] = 1;
    h.info.jx_items[12] = 1;
    h.info.plane_count = 1;
    h.info.plane_sml_index[0] = 1;
    CMWCmd& g = h.Make();
    const tagSMLDATA table[1] = {{{0x11, 0x22, 0x33}}};
    g.SetDotCount(table, 12, 0);
    g.SetPageValues(5, 0, 0, 0);
    g.SetPrintedLength(0x12345);
    EXPECT_EQ(InRemote(h, [&] { g.SendJXPredictionInfoCmd(); }),
              H("'JX' 18 00 00 00 10 02 05 00 21 0C 11 00 00 00 22 00 00 00 33 00 00 00 29 02 45 23"));
    // The array went out once and is gone.
    EXPECT_EQ(g.DotCountSize(), 0);
    EXPECT_EQ(g.DotCount(), nullptr);
    h.Clear();
    EXPECT_EQ(InRemote(h, [&] { g.SendJXEndCmd(); }), H("'JX' 05 00 00 00 01 01 02"));
}

// The page count: the pages since the last report on sheets, 1 on rolls;
// without enabled items neither record goes out.
TEST(MWCmd, JxPredictionPageCount) {
    struct Case {
        bool roll;
        uint32_t page;
        const char* count;  // null: no items enabled
    } cases[] = {{false, 5, "05 00"}, {true, 5, "01 00"}, {false, 0, "00 00"}, {false, 5, nullptr}};
    for (const Case& c : cases) {
        Harness h;
        if (c.count) JxOnly(h, {10});
        h.SetEx(kExRollMedia, c.roll);
        CMWCmd& g = h.Make();
        g.SetPageValues(c.page, 0, 0, 0);
        EXPECT_EQ(InRemote(h, [&] { g.SendJXPredictionInfoCmd(); }),
                  c.count ? H(std::string("'JX' 06 00 00 00 10 02 ") + c.count) : "");
        EXPECT_EQ(g.PagesReported(), 0u);
        h.Clear();
        EXPECT_EQ(InRemote(h, [&] { g.SendJXEndCmd(); }), "");
    }
}

// ---------------------------------------------------------------------------
// Job records.

TEST(MWCmd, JobRecordsVariants) {
    struct Case {
        const char* name;
        std::function<void(Harness&)> setup;
        std::string bytes;
    } cases[] = {
        {"newer set, every record",
         [](Harness& h) {
             SetJobData(h);
             h.info.remote_flags = 0x8000;
             h.info.remote_flags3 = 0x4 | 0x2000 | 0x40000 | (1u << 24) | (1u << 25);
             h.info.ink_id = 0x21;
             h.SetEx(kExNozzleCheck);
             h.jobData.dwJobID = 7;
         },
         "'IK' 02 00 00 21 'NC' 02 00 00 01 'JS' 07 00 00 00 00 'DOC' 00"
         " 'JH' 0A 00 00 02 07 00 00 00 'HOST' 'JU' 06 00 00 00 00 'OWN'"
         " 'HD' 2A 00 00 01 'VEN" + std::string(37, ' ') + "'"
         " 'HD' 0C 00 00 02 'OS        ' 'HD' 0C 00 00 04 'MEDIA     '"},
        {"older set without job data: JS only", [](Harness&) {}, "'JS' 04 00 00 00 00 00"},
        {"newer set without job data: JS and JU",
         [](Harness& h) { h.info.remote_flags = 0x8000; }, "'JS' 04 00 00 00 00 00 'JU' 03 00 00 00 00"},
        {"job data of version 0: nothing", [](Harness& h) { SetJobData(h); h.jobData.version = 0; }, ""},
        {"job-information mode: no job records",
         [](Harness& h) { SetJobData(h); h.SetEx(kExJobInfoMode); }, ""},
        {"job-information mode still sends the media HD",
         [](Harness& h) { SetJobData(h); h.SetEx(kExJobInfoMode); h.info.remote_flags3 |= 0x40000; },
         "'HD' 0C 00 00 04 'MEDIA     '"},
        {"media HD needs job data of version 4",
         [](Harness& h) { SetJobData(h); h.jobData.version = 3; h.info.remote_flags3 = 0x40000; }, ""},
        {"out-of-range HD fields are left out",
         [](Harness& h) {
             SetJobData(h); h.info.remote_flags3 |= 0x40000;
             h.jobData.VenderInfoSize = 41; h.jobData.OsVerInfoSize = 0; h.jobData.MediaInfoSize = 11;
         },
         "'JS' 07 00 00 00 00 'DOC' 00"},
        {"sizes beyond the strings are clamped to them",
         [](Harness& h) {
             SetJobData(h); h.info.remote_flags = 0x8000; h.info.remote_flags3 |= 0x2000;
             h.jobData.DocNameSize = 0xFFFFFFFF; h.jobData.HostNameSize = 100000; h.jobData.OwnerNameSize = 70000;
             h.jobData.dwJobID = 0;
         },
         "'JS' 07 00 00 00 00 'DOC' 00 'JH' 0A 00 00 02 00 00 00 00 'HOST' 'JU' 06 00 00 00 00 'OWN'"},
    };
    for (const Case& c : cases) {
        Harness h;
        h.info.remote_flags3 = 0x4;
        c.setup(h);
        CMWCmd& g = h.Make();
        EXPECT_EQ(InRemote(h, [&] { g.SendJS_JU_JH_HD_StartCmd(); }), H(c.bytes)) << c.name;
    }
}

TEST(MWCmd, JobRecordNamesAreCutToTheCommandBuffer) {
    Harness h;
    SetJobData(h);
    h.info.remote_flags = 0x8000;
    h.info.remote_flags3 = 0x4 | 0x2000;
    const std::string name(5000, 'n');
    h.jobData.lpszDocName = name.c_str();
    h.jobData.DocNameSize = 5000;
    h.jobData.lpszOwnerName = name.c_str();
    h.jobData.OwnerNameSize = 5000;
    h.jobData.lpszHostName = name.c_str();
    h.jobData.HostNameSize = 5000;
    CMWCmd& g = h.Make();
    InRemote(h, [&] { g.SendJS_JU_JH_HD_StartCmd(); });
    ovcg_test::SpoolCheck c = h.Check();
    std::vector<size_t> sizes;
    for (const auto& it : c.stream.items)
        if (it.kind == StreamItemKind::kRemoteCommand) sizes.push_back(it.length);
    EXPECT_EQ(sizes, (std::vector<size_t>{512, 512, 512}));
    EXPECT_EQ(c.stream.names(StreamItemKind::kRemoteCommand), (std::vector<std::string>{"JS", "JH", "JU"}));
}

// ---------------------------------------------------------------------------
// The remote-mode block, one step at a time.

const std::string kPM = "'PM' 02 00 00 00";

TEST(MWCmd, RemoteBlockSteps) {
    struct Case {
        const char* name;
        std::function<void(Harness&)> setup;
        std::string bytes;  // between the remote entry and exit
    } cases[] = {
        {"baseline: older set", [](Harness&) {}, kPM},
        {"newer set has no PM", [](Harness& h) { h.info.remote_flags = 0x8000; }, ""},
        {"time stamp", [](Harness& h) { h.info.remote_flags = 0x4; }, "'TI' 08 00 00 07 E8 03 05 06 07 08 " + kPM},
        {"JX instead of the job records",
         [](Harness& h) { h.info.remote_flags3 = (1u << 27) | 0x4; h.info.jx_items[0] = 1; },
         "'JX' 05 00 00 00 01 01 01 " + kPM},
        {"media paper ID",
         [](Harness& h) {
             h.info.remote_flags3 = 0x8000; h.info.media_paper_id_on = 1;
             h.info.media_paper_id[0] = 0x41; h.info.media_paper_id[1] = 0x61;
         },
         "'MI' 04 00 00 01 41 61 " + kPM},
        {"media paper ID not with the media sequence",
         [](Harness& h) { h.info.remote_flags3 = 0x8800; h.info.media_paper_id_on = 1; }, kPM},
        {"user media number turns the paper ID byte into FC",
         [](Harness& h) {
             h.info.remote_flags3 = 0x8000; h.info.media_paper_id_on = 1; h.info.media_paper_id[1] = 0x61;
             h.info.user_media_number_on = 1; h.info.user_media_number_type = 0x102;
             h.SetMedia(OVCG_MO_USER_MEDIA_NUMBER); h.mediaRecord.user_media_number = 5;
         },
         "'MI' 04 00 00 01 FC 61 'EX' 07 00 00 00 00 00 1C 05 02 " + kPM},
        {"duplex rule 1: DP 1",
         [](Harness& h) { h.info.remote_flags2 = 0x400; h.info.duplex_mode = 1; h.SetEx(kExDuplex); },
         kPM + " 'DP' 02 00 00 01"},
        {"duplex rule 1: DP 2 for the alternative",
         [](Harness& h) { h.info.remote_flags2 = 0x400; h.info.duplex_mode = 1; h.SetEx(kExDuplexAlt); },
         kPM + " 'DP' 02 00 00 02"},
        {"duplex rule 1: DP 0 with the media sequence",
         [](Harness& h) { h.info.remote_flags2 = 0x400; h.info.duplex_mode = 1; h.info.remote_flags3 = 0x800; },
         kPM + " 'DP' 02 00 00 00"},
        {"duplex rule 2 needs the third flag",
         [](Harness& h) { h.info.remote_flags2 = 0x400; h.info.duplex_mode = 2; h.SetEx(kExDuplex); }, kPM},
        {"duplex rule 2: DP 1",
         [](Harness& h) {
             h.info.remote_flags2 = 0x400; h.info.duplex_mode = 2; h.SetEx(kExDuplex); h.SetEx(kExDuplexThird);
         },
         kPM + " 'DP' 02 00 00 01"},
        {"ink rest on sheets", [](Harness& h) { h.info.remote_flags2 = 0x8; }, kPM + " 'IR' 02 00 00 03"},
        {"ink rest on rolls",
         [](Harness& h) { h.info.remote_flags2 = 0x8; h.SetEx(kExRollMedia); }, kPM + " 'IR' 02 00 00 01"},
        {"media sequence section",
         [](Harness& h) { h.info.remote_flags = 0x1; h.info.remote_flags3 = 0x800; },
         kPM + " 'SN' 01 00 00 'US' 03 00 00 00 00 'US' 03 00 00 01 00 'US' 03 00 00 02 00"},
        {"media sequence with SN 04H, paper path first and AF",
         [](Harness& h) {
             h.info.remote_flags = 0x1; h.info.remote_flags3 = 0x11000 | 0x8;
             h.info.paper_path = 3; h.info.paper_path_value = 4;
             h.info.sn04_kind = 0x104; h.info.sn04_count = 4;
             h.info.sn04_data[0] = 1; h.info.sn04_data[1] = 2; h.info.sn04_data[2] = 3; h.info.sn04_data[3] = 4;
             h.info.adjust_feed = {1, 2, 3, 4};
             h.SetEx(kExForceMode2);
             h.SetMedia(OVCG_MO_PALATEN_GAP); h.mediaRecord.platen_gap_mode = 3;
             h.info.remote_flags3 |= 0x80;
         },
         kPM + " 'PP' 03 00 00 03 04 'SN' 01 00 00 'SN' 06 00 00 04 01 02 03 04 'AF' 06 00 00 05 02 00 03 00"
               " 'US' 03 00 00 00 02 'US' 03 00 00 01 03 'US' 03 00 00 02 01"},
        {"AF extended and US 0 from the option word",
         [](Harness& h) {
             h.info.remote_flags = 0x1; h.info.remote_flags3 = 0x1000 | 0x40 | 0x100;
             h.info.sn04_count = 0xFFFF;  // not given: no SN 04H
             h.info.adjust_feed_ex = {1, 2, 3, 4, 5, 6};
             h.SetEx(kExUserSetting0On); h.SetEx(kExUserSetting2On);
         },
         kPM + " 'SN' 01 00 00 'AF' 07 00 00 06 08 03 00 04 00"
               " 'US' 03 00 00 00 01 'US' 03 00 00 01 00 'US' 03 00 00 02 00"},
        {"US 2 from the option flag, US 0 off by the model",
         [](Harness& h) {
             h.info.remote_flags = 0x1; h.info.remote_flags3 = 0x800;
             h.SetEx(kExUserSetting0On); h.info.user_setting0_off = 1; h.SetEx(kExUserSetting2On);
         },
         kPM + " 'SN' 01 00 00 'US' 03 00 00 00 00 'US' 03 00 00 01 00 'US' 03 00 00 02 01"},
        {"SN 06 for a fine horizontal resolution",
         [](Harness& h) {
             h.info.remote_flags = 0x1; h.info.remote_flags2 = 0x800; h.info.sn06_mode = 2;
             h.job.prt_resolution.x = 1440;
         },
         kPM + " 'SN' 03 00 00 06 01"},
        {"SN 07 rule 1 without duplex",
         [](Harness& h) { h.info.remote_flags = 0x1; h.info.remote_flags2 = 0x400; h.info.sn07_mode = 1; },
         kPM + " 'SN' 03 00 00 07 00"},
        {"SN 07 rule 2 without duplex: nothing",
         [](Harness& h) { h.info.remote_flags = 0x1; h.info.remote_flags2 = 0x400; h.info.sn07_mode = 2; }, kPM},
        {"SN 07 with both duplex flags",
         [](Harness& h) {
             h.info.remote_flags = 0x1; h.info.remote_flags2 = 0x400; h.info.sn07_mode = 2;
             h.SetEx(kExDuplex); h.SetEx(kExDuplexSecond);
         },
         kPM + " 'SN' 03 00 00 07 02"},
        {"SN 09 and the default trim banner on the older set",
         [](Harness& h) {
             h.info.remote_flags = 0x1; h.info.remote_flags2 = 0x1000; h.info.sn09_mode = 2; h.SetEx(kExForceMode2);
         },
         kPM + " 'SN' 03 00 00 09 01 'FP' 03 00 00 B0 FF"},
        {"US 0 instead of SN 09 on the newer set",
         [](Harness& h) { h.info.remote_flags = 0x8001; h.info.remote_flags2 = 0x1000; h.info.sn09_mode = 1; },
         "'US' 03 00 00 00 00 'FP' 03 00 00 00 00"},
        {"user-setting table",
         [](Harness& h) {
             h.info.user_setting_table[0] = {5, 0x1234};
             h.info.user_setting_table[1] = {0x106, 7};
         },
         kPM + " 'US' 03 00 00 05 34 'US' 03 00 00 06 07"},
        {"banner mode and trim banner value",
         [](Harness& h) {
             h.info.remote_flags = 0x4020; h.SetEx(kExBannerAlt); h.info.trim_banner_value = 0x1234;
         },
         kPM + " 'EX' 06 00 00 00 00 00 05 02 'FP' 03 00 00 12 34"},
        {"banner mode on rolls without a trim banner",
         [](Harness& h) { h.info.remote_flags = 0x20; h.SetEx(kExRollMedia); },
         kPM + " 'EX' 06 00 00 00 00 00 05 01"},
        {"custom printing mode",
         [](Harness& h) {
             h.info.custom_mode_count = 3;
             h.info.custom_mode_data[0] = 1; h.info.custom_mode_data[1] = 2; h.info.custom_mode_data[2] = 3;
         },
         kPM + " 'EX' 0D 00 00 00 00 00 1A 01 02 03 00 00 00 00 00"},
        {"custom printing mode beyond 8 bytes is left out",
         [](Harness& h) { h.info.custom_mode_count = 9; }, kPM},
        {"ink identifier", [](Harness& h) { h.info.ink_id = 0x21; }, kPM + " 'IK' 02 00 00 21"},
        {"ink identifier rides with the job records instead",
         [](Harness& h) { h.info.ink_id = 0x21; h.info.remote_flags3 = 1u << 24; }, kPM},
        {"newer tail with the media sequence",
         [](Harness& h) {
             h.info.remote_flags = 0x8000; h.info.remote_flags3 = 0x800 | 0x20;
             h.SetEx(kExCutLine); h.SetEx(kExCutAfterJob); h.SetEx(kExPaperCheck);
             h.info.paper_path = 0x105; h.info.paper_path_value = 6;
             h.info.paper_thickness_mode = 1; h.info.paper_thickness_default = 0x33;
         },
         "'EX' 06 00 00 00 00 00 14 01 'AC' 02 00 00 02 'AC' 02 00 00 41 'PH' 02 00 00 33"
         " 'PC' 02 00 00 01 'PP' 03 00 00 05 06"},
        {"older tail: thickness, paper check, paper path",
         [](Harness& h) {
             h.info.remote_flags3 = (1u << 23) | 0x20; h.info.paper_path = 2; h.info.paper_path_value = 1;
             h.info.paper_thickness_mode = 2; h.SetMedia(OVCG_MO_THICK_001); h.mediaRecord.paper_thickness = 300;
         },
         kPM + " 'PH' 03 00 00 FA 00 'PC' 02 00 00 00 'PP' 03 00 00 02 01"},
        {"older tail: cut positions",
         [](Harness& h) {
             h.SetEx(kExRollMedia); h.SetEx(kExAutoCut); h.withCut = true; h.cut = {1, OVCG_CUT_ONECUT, 100, 200};
         },
         kPM + " 'CO' 08 00 00 00 01 01 78 00 00 00 'CO' 08 00 00 00 00 01 F0 00 00 00"},
        {"older tail: cut positions of a panorama at 1440",
         [](Harness& h) {
             h.SetEx(kExRollMedia); h.SetEx(kExAutoCut); h.withCut = true; h.cut = {1, OVCG_CUT_PANORAMA, 10, -20};
             h.job.prt_resolution.y = 1440;
         },
         kPM + " 'CO' 08 00 00 00 01 02 18 00 00 00 'CO' 08 00 00 00 02 02 D0 FF FF FF"},
        {"older tail: a disabled cut record cuts at 0",
         [](Harness& h) {
             h.SetEx(kExRollMedia); h.SetEx(kExAutoCut); h.withCut = true; h.cut = {0, OVCG_CUT_TWOCUT, 10, 20};
         },
         kPM + " 'CO' 08 00 00 00 00 01 00 00 00 00 'CO' 08 00 00 00 00 01 00 00 00 00"},
        {"older tail: no cut commands at other resolutions",
         [](Harness& h) {
             h.SetEx(kExRollMedia); h.SetEx(kExAutoCut); h.withCut = true; h.job.prt_resolution.y = 600;
         },
         kPM},
    };
    for (const Case& c : cases) {
        Harness h;
        c.setup(h);
        EXPECT_EQ(Block(h), H(c.bytes)) << c.name;
    }
}

TEST(MWCmd, RemoteBlockSn04CountBeyondTheRecordIsLeftOut) {
    for (uint16_t count : {uint16_t{101}, uint16_t{0xFFFF}, uint16_t{100}}) {
        Harness h;
        h.info.remote_flags = 0x8001;
        h.info.remote_flags3 = 0x1000;
        h.info.sn04_kind = 4;
        h.info.sn04_count = count;
        h.Make().SendStartDoc_RemoteCmd();
        ovcg_test::SpoolCheck c = h.Check();
        const size_t sn = c.stream.count("SN");
        EXPECT_EQ(sn, count == 100 ? 2u : 1u) << count;
    }
}

TEST(MWCmd, RemoteCommandBytesGoOutUnchangedWhateverTheirSize) {
    Harness h;
    std::vector<uint8_t> own = {'Z', 'Z', 0xCC, 0x07};
    own.resize(4 + 0x7CC, 0x5A);  // one command of 1996 data bytes
    tagREMOTECMD block{1, static_cast<uint32_t>(own.size()), own.data()};
    h.job.lpRemoteCmd = &block;
    h.info.remote_flags = 0x8000;
    h.Make().SendStartDoc_RemoteCmd();
    std::vector<uint8_t> d = h.Data();
    ASSERT_EQ(d.size(), 13u + own.size() + 4u);
    EXPECT_TRUE(std::equal(own.begin(), own.end(), d.begin() + 13));
    // A block without data sends nothing.
    Harness h2;
    tagREMOTECMD empty{1, 100, nullptr};
    h2.job.lpRemoteCmd = &empty;
    h2.info.remote_flags = 0x8000;
    EXPECT_EQ(Block(h2), "");
}

TEST(MWCmd, SnTableRules) {
    struct Case {
        const char* name;
        uint16_t code, value;
        int rule;  // index into sn_modes, -1 none
        uint16_t mode;
        std::function<void(Harness&)> setup;
        const char* sent;  // the value byte, or null for nothing
    } cases[] = {
        {"feed offset -80", 0x82, 0, 4, 1, [](Harness& h) { h.SetMedia(OVCG_MO_FEED_OFFSET); h.mediaRecord.feeding_offset = -80; }, "01"},
        {"feed offset +80", 0x82, 0, 4, 1, [](Harness& h) { h.SetMedia(OVCG_MO_FEED_OFFSET); h.mediaRecord.feeding_offset = 80; }, "8D"},
        {"feed offset 5 on 10", 0x82, 10, 4, 2, [](Harness& h) { h.SetMedia(OVCG_MO_FEED_OFFSET); h.mediaRecord.feeding_offset = 5; }, "56"},
        {"feed offset not given, rule 2", 0x82, 10, 4, 2, [](Harness&) {}, nullptr},
        {"feed offset not given, rule 1", 0x82, 10, 4, 1, [](Harness&) {}, "0A"},
        {"feed offset, rule 0", 0x82, 10, 4, 0, [](Harness&) {}, nullptr},
        {"top margin 10", 8, 9, 1, 1, [](Harness& h) { h.info.top_margin_adjust = 1; h.SetMedia(OVCG_MO_TOP_MARGIN); h.mediaRecord.top_margin = 10; }, "00"},
        {"top margin 14 gives 0", 8, 9, 1, 1, [](Harness& h) { h.info.top_margin_adjust = 1; h.SetMedia(OVCG_MO_TOP_MARGIN); h.mediaRecord.top_margin = 14; }, "00"},
        {"top margin 15 is kept", 8, 9, 1, 1, [](Harness& h) { h.info.top_margin_adjust = 1; h.SetMedia(OVCG_MO_TOP_MARGIN); h.mediaRecord.top_margin = 15; }, "0F"},
        {"top margin 300", 8, 9, 1, 1, [](Harness& h) { h.info.top_margin_adjust = 1; h.SetMedia(OVCG_MO_TOP_MARGIN); h.mediaRecord.top_margin = 300; }, "FF"},
        {"top margin with offset", 8, 9, 1, 2,
         [](Harness& h) {
             h.info.top_margin_adjust = 1; h.SetMedia(OVCG_MO_TOP_MARGIN); h.mediaRecord.top_margin = 100;
             h.info.top_margin_offset_on = 1; h.info.top_margin_offset = 205;
         }, "50"},
        {"offset beyond the margin gives 1", 8, 9, 1, 2,
         [](Harness& h) {
             h.info.top_margin_adjust = 1; h.SetMedia(OVCG_MO_TOP_MARGIN); h.mediaRecord.top_margin = 10;
             h.info.top_margin_offset_on = 1; h.info.top_margin_offset = 205;
         }, "01"},
        {"top margin without the adjustment, rule 2", 8, 9, 1, 2, [](Harness& h) { h.SetMedia(OVCG_MO_TOP_MARGIN); h.mediaRecord.top_margin = 100; }, nullptr},
        {"platen gap 3", 1, 0, 0, 2, [](Harness& h) { h.SetMedia(OVCG_MO_PALATEN_GAP); h.mediaRecord.platen_gap_mode = 3; }, "03"},
        {"platen gap 7 counts as not given", 1, 0, 0, 2, [](Harness& h) { h.SetMedia(OVCG_MO_PALATEN_GAP); h.mediaRecord.platen_gap_mode = 7; }, nullptr},
        {"vacuum 200 on 11", 5, 11, 3, 1, [](Harness& h) { h.SetMedia(OVCG_MO_VACUUM); h.mediaRecord.vacuum_intensity = 200; }, "11"},
        {"vacuum 50 on 3", 5, 3, 3, 2, [](Harness& h) { h.SetMedia(OVCG_MO_VACUUM); h.mediaRecord.vacuum_intensity = 50; }, "02"},
        {"code 4 rule 1", 4, 7, 2, 1, [](Harness&) {}, "07"},
        {"code 4 rule 2", 4, 7, 2, 2, [](Harness&) {}, nullptr},
        {"code 6 never", 6, 1, -1, 0, [](Harness&) {}, nullptr},
        {"code 9 never", 9, 1, -1, 0, [](Harness&) {}, nullptr},
        {"cut type 2", 0x84, 9, 5, 2, [](Harness& h) { h.SetEx(kExAutoCut); h.withCut = true; h.cut.cut_option = 2; }, "02"},
        {"cut type 3 gives 0", 0x84, 9, 5, 2, [](Harness& h) { h.SetEx(kExAutoCut); h.withCut = true; h.cut.cut_option = 3; }, "00"},
        {"no automatic cut, rule 1", 0x84, 9, 5, 1, [](Harness&) {}, "00"},
        {"no automatic cut, rule 2", 0x84, 9, 5, 2, [](Harness&) {}, nullptr},
        {"eject roller", 0x85, 9, 6, 2, [](Harness& h) { h.SetMedia(OVCG_MO_EJECT_ROLLER); h.mediaRecord.eject_roller = 2; }, "02"},
        {"eject roller 3", 0x85, 9, 6, 2, [](Harness& h) { h.SetMedia(OVCG_MO_EJECT_ROLLER); h.mediaRecord.eject_roller = 3; }, "03"},
        {"eject roller 4 counts as not given", 0x85, 9, 6, 2, [](Harness& h) { h.SetMedia(OVCG_MO_EJECT_ROLLER); h.mediaRecord.eject_roller = 4; }, nullptr},
        {"feed roller sets but does not give", 0x85, 9, 6, 2, [](Harness& h) { h.SetMedia(OVCG_MO_FEED_ROLLER); h.mediaRecord.feed_roller_type = 3; }, nullptr},
        {"feed roller value under rule 1", 0x85, 9, 6, 1, [](Harness& h) { h.SetMedia(OVCG_MO_FEED_ROLLER); h.mediaRecord.feed_roller_type = 3; }, "03"},
        {"roll tension", 0x89, 9, 7, 2, [](Harness& h) { h.SetMedia(OVCG_MO_ROLL_TENSION); h.mediaRecord.roll_tension_mode = 3; }, "03"},
        {"roll tension 4 is out of range", 0x89, 9, 7, 2, [](Harness& h) { h.SetMedia(OVCG_MO_ROLL_TENSION); h.mediaRecord.roll_tension_mode = 4; }, nullptr},
        {"page margin", 0x8F, 9, 8, 2, [](Harness& h) { h.SetMedia(OVCG_MO_PAGE_MARGIN); h.mediaRecord.page_margin = 2; }, "02"},
        {"other codes unchanged (low byte)", 0x30, 0x1FF, -1, 0, [](Harness&) {}, "FF"},
    };
    for (const Case& c : cases) {
        Harness h;
        h.info.remote_flags = 0x8001;
        h.info.sn_table[0] = {c.code, c.value};
        if (c.rule >= 0) h.info.sn_modes[c.rule] = c.mode;
        c.setup(h);
        std::string want;
        if (c.sent) {
            const uint8_t code = static_cast<uint8_t>(c.code);
            want = H("'SN' 03 00 00 " + hex_of(&code, 1) + " " + c.sent);
        }
        EXPECT_EQ(Block(h), want) << c.name;
    }
}

TEST(MWCmd, SnTableStopsAtItsEndMarkAndAfter16) {
    Harness h;
    h.info.remote_flags = 0x8001;
    h.info.sn_table[0] = {0xFFFF, 1};
    h.info.sn_table[1] = {0x30, 1};
    EXPECT_EQ(Block(h), "");
    Harness h2;
    h2.info.remote_flags = 0x8001;
    for (auto& e : h2.info.sn_table) e = {0x30, 1};
    h2.Make().SendStartDoc_RemoteCmd();
    EXPECT_EQ(h2.Check().stream.count("SN"), 16u);
}

TEST(MWCmd, DryTimeTableRules) {
    struct Case {
        const char* name;
        bool newer;
        uint16_t code, value;
        std::function<void(Harness&)> setup;
        const char* sent;  // code and value bytes, or null
    } cases[] = {
        {"path delay on code 0", false, 0, 5, [](Harness& h) { h.info.dry_time_modes[0] = 2; h.SetMedia(OVCG_MO_PATH_DELAY); h.mediaRecord.path_delay_time = 2; }, "00 CD 00"},
        {"code 0 rule 1 without the option", false, 0, 5, [](Harness& h) { h.info.dry_time_modes[0] = 1; }, "00 05 00"},
        {"code 0 rule 2 without the option", false, 0, 5, [](Harness& h) { h.info.dry_time_modes[0] = 2; }, nullptr},
        {"code 0 on the newer set is plain", true, 0, 5, [](Harness&) {}, "00 05 00"},
        {"code '@' on the newer set", true, 0x40, 0, [](Harness& h) { h.info.dry_time_modes[2] = 2; h.SetMedia(OVCG_MO_PATH_DELAY); h.mediaRecord.path_delay_time = 1; }, "40 64 00"},
        {"code '@' on the older set is plain", false, 0x40, 3, [](Harness&) {}, "40 03 00"},
        {"page delay", false, 1, 10, [](Harness& h) { h.info.dry_time_modes[1] = 2; h.SetMedia(OVCG_MO_PAGE_DELAY); h.mediaRecord.page_delay_time = -3; }, "01 07 00"},
        {"page delay, rule 0", false, 1, 10, [](Harness& h) { h.SetMedia(OVCG_MO_PAGE_DELAY); }, nullptr},
        {"code 'A' enabled", false, 0x41, 9, [](Harness& h) { h.info.dry_time_modes[3] = 1; }, "41 09 00"},
        {"code 'A' disabled", false, 0x41, 9, [](Harness&) {}, nullptr},
        {"code 'B' with the auto-dry delay", false, 0x42, 1, [](Harness& h) { h.SetMedia(OVCG_MO_AUTO_DP_DELAY); h.mediaRecord.auto_dp_delay_time = 4; }, "42 05 00"},
        {"code 'B' without it", false, 0x42, 1, [](Harness&) {}, "42 01 00"},
    };
    for (const Case& c : cases) {
        Harness h;
        h.info.remote_flags = c.newer ? 0x8000 : 0;
        h.info.remote_flags2 = 0x100;
        h.info.dry_time_table[0] = {c.code, c.value};
        c.setup(h);
        std::string want = c.newer ? "" : kPM;
        if (c.sent) want += std::string(want.empty() ? "" : " ") + "'DR' 04 00 00 " + c.sent;
        EXPECT_EQ(Block(h), H(want)) << c.name;
    }
}

TEST(MWCmd, PaperThicknessRules) {
    struct Case {
        const char* name;
        uint16_t mode, def, high;
        int given;  // -1: not given
        const char* sent;
    } cases[] = {
        {"mode 1 given", 1, 0xFFFF, 0xFFFF, 120, "'PH' 02 00 00 0C"},
        {"mode 1 given thick", 1, 0xFFFF, 0xFFFF, 151, "'PH' 02 00 00 0F"},
        {"mode 1 default", 1, 0x190, 0xFFFF, -1, "'PH' 02 00 00 90"},
        {"mode 1 default with high", 1, 0x50, 0x101, -1, "'PH' 02 00 00 21"},
        {"mode 1 nothing", 1, 0xFFFF, 0x20, -1, ""},
        {"mode 2 given", 2, 0xFFFF, 0xFFFF, 300, "'PH' 03 00 00 FA 00"},
        {"mode 2 default with high", 2, 0x12, 0x34, -1, "'PH' 03 00 00 12 34"},
        {"mode 2 default tenfold", 2, 0x30, 0xFFFF, -1, "'PH' 03 00 00 E0 01"},
        {"mode 0", 0, 0x30, 0x30, 100, ""},
    };
    for (const Case& c : cases) {
        Harness h;
        h.info.remote_flags = 0x8000;
        h.info.paper_thickness_mode = c.mode;
        h.info.paper_thickness_default = c.def;
        h.info.paper_thickness_high = c.high;
        if (c.given >= 0) {
            h.SetMedia(OVCG_MO_THICK_001);
            h.mediaRecord.paper_thickness = static_cast<uint16_t>(c.given);
        }
        EXPECT_EQ(Block(h), H(c.sent)) << c.name;
    }
}

TEST(MWCmd, SpoolerFailurePropagates) {
    Harness h;
    h.recorder.FailCall(0);
    h.info.remote_flags = 0x8000;
    CMWCmd& g = h.Make();
    g.SendStartDoc_RemoteCmd();  // buffered, nothing sent yet
    try {
        h.spooler->Flush();
        FAIL() << "no exception";
    } catch (const char* m) {
        EXPECT_STREQ(m, "Spooler Exception");
    }
    Harness h2;
    h2.recorder.FailCall(0);
    h2.Make();
    EXPECT_THROW(h2.gen->SendDummyCom(), const char*);
}

// Many steps at once, so that their order is checked as well as each
// step's bytes.
TEST(MWCmd, RemoteBlockStepsInOrder) {
    static const uint8_t own[] = {'Z', 'Z', 0x01, 0x00, 0x00};
    static tagREMOTECMD block{1, sizeof own, own};
    struct Case {
        const char* name;
        std::function<void(Harness&)> setup;
        std::string bytes;
    } cases[] = {
        {"newer set",
         [](Harness& h) {
             h.info.remote_flags = 0x8025;
             h.info.remote_flags2 = 0x400 | 0x8 | 0x100 | 0x1000;
             h.info.remote_flags3 = 0x4 | 0x20 | 0x80 | 0x800 | 0x8000;
             h.info.media_paper_id_on = 1; h.info.media_paper_id[0] = 0x41; h.info.media_paper_id[1] = 0x61;
             h.info.user_media_number_on = 1; h.info.user_media_number_type = 7;
             h.SetMedia(OVCG_MO_USER_MEDIA_NUMBER); h.mediaRecord.user_media_number = 5;
             h.info.duplex_mode = 1; h.SetEx(kExDuplex);
             h.SetEx(kExRollMedia);
             h.info.ink_id = 0x21;
             h.info.sn_table[0] = {0x30, 4}; h.info.sn_table[1] = {1, 9}; h.info.sn_modes[0] = 2;
             h.SetMedia(OVCG_MO_PALATEN_GAP); h.mediaRecord.platen_gap_mode = 3;
             h.info.user_setting_table[0] = {5, 0x107};
             h.SetEx(kExTrimBanner); h.SetEx(kExCutLine); h.SetEx(kExPaperCheck);
             h.info.custom_mode_count = 2; h.info.custom_mode_data[0] = 0x0A; h.info.custom_mode_data[1] = 0x0B;
             h.info.dry_time_table[0] = {0x40, 5}; h.info.dry_time_modes[2] = 1;
             h.info.paper_thickness_mode = 1; h.SetMedia(OVCG_MO_THICK_001); h.mediaRecord.paper_thickness = 95;
             h.info.paper_path = 0x102; h.info.paper_path_value = 3;
             h.job.lpRemoteCmd = &block;
         },
         "'TI' 08 00 00 07 E8 03 05 06 07 08 'JS' 04 00 00 00 00 00 'JU' 03 00 00 00 00"
         " 'EX' 07 00 00 00 00 00 1C 05 07 'DP' 02 00 00 01 'IR' 02 00 00 01"
         " 'SN' 01 00 00 'MI' 04 00 00 01 FC 61 'EX' 07 00 00 00 00 00 1C 05 07"
         " 'US' 03 00 00 00 00 'US' 03 00 00 01 03 'US' 03 00 00 02 01"
         " 'SN' 03 00 00 30 04 'SN' 03 00 00 01 03 'US' 03 00 00 05 07 'EX' 06 00 00 00 00 00 05 01"
         " 'FP' 03 00 00 B0 FF 'EX' 0D 00 00 00 00 00 1A 0A 0B 00 00 00 00 00 00 'DR' 04 00 00 40 05 00"
         " 'IK' 02 00 00 21 'EX' 06 00 00 00 00 00 14 00 'AC' 02 00 00 02 'AC' 02 00 00 40"
         " 'PH' 02 00 00 09 'PC' 02 00 00 01 'PP' 03 00 00 02 03 'ZZ' 01 00 00"},
        {"older set",
         [](Harness& h) {
             h.info.remote_flags = 0x4021;
             h.info.remote_flags2 = 0x400 | 0x800 | 0x1000 | 0x8 | 0x100;
             h.info.remote_flags3 = 0x4 | 0x20 | 0x200 | 0x2000 | (1u << 23) | (1u << 24) | (1u << 25);
             h.info.ink_id = 0x22; h.SetEx(kExNozzleCheck);
             h.withJobData = true; h.jobData.version = 6;
             h.jobData.lpszDocName = "D"; h.jobData.DocNameSize = 1;
             h.jobData.lpszOwnerName = "O"; h.jobData.OwnerNameSize = 1;
             h.jobData.lpszHostName = "H"; h.jobData.HostNameSize = 1; h.jobData.HostNameType = 1; h.jobData.dwJobID = 9;
             h.info.duplex_mode = 1; h.SetEx(kExDuplexAlt);
             h.info.sn06_mode = 1; h.info.sn07_mode = 1; h.info.sn09_mode = 2; h.SetEx(kExForceMode2);
             h.SetEx(kExRollMedia); h.SetEx(kExAutoCut);
             h.withCut = true; h.cut = {1, OVCG_CUT_TWOCUT, 50, 75};
             h.info.sn_table[0] = {0x82, 0}; h.info.sn_table[1] = {0x84, 7}; h.info.sn_table[2] = {6, 1};
             h.info.sn_modes[4] = 1; h.info.sn_modes[5] = 2;
             h.SetMedia(OVCG_MO_FEED_OFFSET); h.mediaRecord.feeding_offset = -10;
             h.info.trim_banner_value = 0x0203;
             h.info.dry_time_table[0] = {0, 3}; h.info.dry_time_table[1] = {1, 4};
             h.info.dry_time_table[2] = {0x41, 2}; h.info.dry_time_table[3] = {0x42, 1};
             h.info.dry_time_modes[0] = 1; h.info.dry_time_modes[1] = 2;
             h.SetMedia(OVCG_MO_PATH_DELAY); h.mediaRecord.path_delay_time = 2;
             h.SetMedia(OVCG_MO_PAGE_DELAY); h.mediaRecord.page_delay_time = 6;
             h.info.paper_thickness_mode = 2; h.info.paper_thickness_default = 0x12;
             h.info.paper_path = 4; h.info.paper_path_value = 5;
         },
         "'IK' 02 00 00 22 'NC' 02 00 00 01 'JS' 05 00 00 00 00 'D' 00 'JH' 07 00 00 01 09 00 00 00 'H'"
         " 'PM' 02 00 00 00 'DP' 02 00 00 02 'IR' 02 00 00 01"
         " 'SN' 03 00 00 82 3D 'SN' 03 00 00 84 02 'SN' 03 00 00 06 00 'SN' 03 00 00 07 00 'SN' 03 00 00 09 01"
         " 'EX' 06 00 00 00 00 00 05 01 'FP' 03 00 00 02 03"
         " 'DR' 04 00 00 00 CB 00 'DR' 04 00 00 01 0A 00 'DR' 04 00 00 42 01 00"
         " 'PH' 03 00 00 B4 00 'PC' 02 00 00 00 'PP' 03 00 00 04 05"
         " 'CO' 08 00 00 00 00 01 3C 00 00 00 'CO' 08 00 00 00 00 01 5A 00 00 00"},
    };
    for (const Case& c : cases) {
        Harness h;
        c.setup(h);
        EXPECT_EQ(Block(h), H(c.bytes)) << c.name;
    }
}

}  // namespace
}  // namespace ovcg::test
