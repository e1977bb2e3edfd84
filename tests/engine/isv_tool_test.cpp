#include "engine/isv_tool.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/calib_request.h"
#include "engine/debug_export.h"
#include "engine/hxr_dll.h"
#include "support/res_writer.h"
#include "temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;

using ovcg_test::TempDir;

// ---------------------------------------------------------------------------
// CISVTool: paths and files

TEST(IsvToolTest, FilePathNames) {
    CISVTool tool;
    EXPECT_EQ(tool.CreateFilePathName("P1", "/d"), 1);
    EXPECT_STREQ(tool.CidPath(), "/d/P1.HC1");
    EXPECT_STREQ(tool.ImsPath(), "/d/P1.CA1");
    EXPECT_STREQ(tool.RcPath(), "/d/P1.BZ1");

    EXPECT_EQ(tool.CreateFilePathName(nullptr, "/d"), 0);
    EXPECT_STREQ(tool.CidPath(), "");
    EXPECT_EQ(tool.CreateFilePathName("P1", nullptr), 0);

    // The longest path that fits: 259 characters.
    const std::string dir(259 - 1 - 2 - 4, 'd');
    EXPECT_EQ(tool.CreateFilePathName("P1", dir.c_str()), 1);
    EXPECT_EQ(std::strlen(tool.RcPath()), 259u);
    // One more and all three are refused, none cut.
    const std::string longer = dir + "d";
    EXPECT_EQ(tool.CreateFilePathName("P1", longer.c_str()), 0);
    EXPECT_STREQ(tool.CidPath(), "");
    EXPECT_STREQ(tool.ImsPath(), "");
    EXPECT_STREQ(tool.RcPath(), "");
    EXPECT_EQ(tool.OpenCidFile(), 0);
}

TEST(IsvToolTest, FilesFoundAndMissing) {
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    dir.write("P1.HC1", "CID-DATA-1");
    dir.write("P1.BZ1", "");  // empty: not loaded
    CISVTool tool;
    ASSERT_EQ(tool.CreateFilePathName("P1", dir.path().c_str()), 1);

    EXPECT_EQ(tool.CidData(), nullptr);
    EXPECT_EQ(tool.OpenCidFile(), 1);
    ASSERT_NE(tool.CidData(), nullptr);
    EXPECT_EQ(tool.CidFile().Size(), 10u);
    EXPECT_EQ(std::memcmp(tool.CidData(), "CID-DATA-1", 10), 0);
    EXPECT_EQ(tool.OpenCidFile(), 1);  // reloads

    EXPECT_EQ(tool.OpenIMSFile(), 0);
    EXPECT_EQ(tool.OpenRCFile(), 0);
    uint32_t size = 99;
    EXPECT_EQ(tool.ImsCalib(&size), nullptr);
    EXPECT_EQ(size, 0u);
    size = 99;
    EXPECT_EQ(tool.RasterCalib(&size), nullptr);
    EXPECT_EQ(size, 0u);

    // The file appears later: the next use loads it.
    dir.write("P1.CA1", "IMS");
    const uint8_t* ims = tool.ImsCalib(&size);
    ASSERT_NE(ims, nullptr);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(std::memcmp(ims, "IMS", 3), 0);
}

TEST(IsvToolTest, FilesLeftByStandInCalibrationProgram) {
    TempDir tools, out;
    ASSERT_FALSE(tools.path().empty());
    ASSERT_FALSE(out.path().empty());
    // Writes the CID and raster-calibration files for the printer it is
    // given, none for IMS.
    tools.write("isvtool_usb",
                "#!/bin/sh\n"
                "[ \"$3\" = \"-c\" ] || exit 3\n"
                "printf 'HEADCID' > \"$2/$1.HC1\"\n"
                "printf 'RASTER-CAL' > \"$2/$1.BZ1\"\n"
                "exit 0\n",
                true);
    int status = -1;
    ASSERT_EQ(ovcg::RunCalibProgram(tools.path().c_str(), "isvtool_usb", "PR 1", out.path().c_str(), &status), 0);
    EXPECT_EQ(status, 0);

    CISVTool tool;
    ASSERT_EQ(tool.CreateFilePathName("PR 1", out.path().c_str()), 1);
    EXPECT_EQ(tool.OpenCidFile(), 1);
    EXPECT_EQ(std::memcmp(tool.CidData(), "HEADCID", 7), 0);
    uint32_t size = 0;
    const uint8_t* rc = tool.RasterCalib(&size);
    ASSERT_NE(rc, nullptr);
    EXPECT_EQ(Bytes(rc, rc + size), Bytes({'R', 'A', 'S', 'T', 'E', 'R', '-', 'C', 'A', 'L'}));
    EXPECT_EQ(tool.ImsCalib(&size), nullptr);
    EXPECT_EQ(size, 0u);
}

TEST(IsvToolTest, ErrorMapping) {
    struct Case {
        uint32_t tool;
        int reported;
    };
    const Case cases[] = {{0, 0},          {8, 0},           {14, 0},          {10000, -10000},
                          {3, -10003},     {1, -10001},      {9, -10009},      {10001, -20001},
                          {0xFFFFFFFFu, INT_MIN}};
    for (const Case& c : cases) EXPECT_EQ(CISVTool::ConvertISVToolError(c.tool), c.reported) << c.tool;
}

// ---------------------------------------------------------------------------
// CISVTool: the port

struct FakePort {
    int opens = 0, closes = 0;
    uint32_t open_result = 0;
    uint32_t data_result = 0;
    std::string printer;
    int32_t port_number = -1;
    std::vector<std::string> requests;
};
FakePort* g_port = nullptr;
int g_portToken = 0;

uint32_t POpen(void** port, const char* printer, int32_t number) {
    ++g_port->opens;
    g_port->printer = printer;
    g_port->port_number = number;
    *port = &g_portToken;
    return g_port->open_result;
}
uint32_t PClose(void* port) {
    EXPECT_EQ(port, &g_portToken);
    ++g_port->closes;
    return 0;
}
uint32_t PCid(void*, const char* path) {
    g_port->requests.push_back(std::string("cid ") + path);
    return g_port->data_result;
}
uint32_t PIms(void*, const char* path) {
    g_port->requests.push_back(std::string("ims ") + path);
    return g_port->data_result;
}
uint32_t PHead(void*, const char* path) {
    g_port->requests.push_back(std::string("head ") + path);
    return g_port->data_result;
}
IsvToolTable PortTable() { return IsvToolTable{&POpen, &PClose, &PCid, &PIms, &PHead}; }

tag_CalibDataReq_1 Request(const char* printer, const char* dir, int32_t kind = 1) {
    tag_CalibDataReq_1 r{};
    r.lpszToolLib = "isvtool.so";
    r.lpszToolDir = "/opt/tools";
    r.PortKind = kind;
    r.lpszPrinterName = printer;
    r.lpszDirPath = dir;
    return r;
}

class IsvPortTest : public ::testing::Test {
protected:
    IsvPortTest() { g_port = &port; }
    ~IsvPortTest() override { g_port = nullptr; }
    FakePort port;
};

TEST_F(IsvPortTest, ConnectAndFetch) {
    {
        CISVTool tool(PortTable());
        EXPECT_EQ(tool.GetCidData(), -10000);  // not connected
        const tag_CalibDataReq_1 req = Request("P1", "/d", 2);
        ASSERT_EQ(tool.ConnectPrinter(&req), 0);
        EXPECT_EQ(port.printer, "P1");
        EXPECT_EQ(port.port_number, 2);
        EXPECT_EQ(tool.GetCidData(), 0);
        EXPECT_EQ(tool.GetImsData(), 0);
        EXPECT_EQ(tool.GetHeadData(), 0);
        port.data_result = 8;  // counts as success
        EXPECT_EQ(tool.GetCidData(), 0);
        port.data_result = 4;
        EXPECT_EQ(tool.GetImsData(), -10004);
        const std::vector<std::string> want = {"cid /d/P1.HC1", "ims /d/P1.CA1", "head /d/P1.BZ1", "cid /d/P1.HC1",
                                               "ims /d/P1.CA1"};
        EXPECT_EQ(port.requests, want);

        // A second connection closes the first port.
        ASSERT_EQ(tool.ConnectPrinter(&req), 0);
        EXPECT_EQ(port.closes, 1);
    }
    EXPECT_EQ(port.opens, 2);
    EXPECT_EQ(port.closes, 2);
}

TEST_F(IsvPortTest, ConnectFailures) {
    CISVTool tool(PortTable());
    EXPECT_EQ(tool.ConnectPrinter(nullptr), -10);
    const tag_CalibDataReq_1 noName = Request(nullptr, "/d");
    EXPECT_EQ(tool.ConnectPrinter(&noName), -10);
    const std::string longDir(300, 'x');
    const tag_CalibDataReq_1 tooLong = Request("P1", longDir.c_str());
    EXPECT_EQ(tool.ConnectPrinter(&tooLong), -10);
    EXPECT_EQ(port.opens, 0);

    port.open_result = 6;
    const tag_CalibDataReq_1 req = Request("P1", "/d");
    EXPECT_EQ(tool.ConnectPrinter(&req), -10006);
    EXPECT_EQ(tool.GetCidData(), -10000);  // no port
    port.open_result = 14;
    EXPECT_EQ(tool.ConnectPrinter(&req), 0);
}

TEST_F(IsvPortTest, UnboundPortRefusesTheConnection) {
    IsvToolTable t = PortTable();
    t.GetHeadData = nullptr;
    CISVTool tool(t);
    const tag_CalibDataReq_1 req = Request("P1", "/d");
    EXPECT_EQ(tool.ConnectPrinter(&req), -10000);
    EXPECT_EQ(tool.GetCidData(), -10000);
}

TEST(IsvEmptyServicesTest, LibraryPortSucceedsWithoutData) {
    CISVTool tool;
    const tag_CalibDataReq_1 req = Request("P1", "/nonexistent");
    EXPECT_EQ(tool.ConnectPrinter(&req), 0);
    EXPECT_EQ(tool.GetCidData(), 0);
    EXPECT_EQ(tool.GetImsData(), 0);
    EXPECT_EQ(tool.GetHeadData(), 0);
    EXPECT_EQ(tool.OpenCidFile(), 0);
}

// ---------------------------------------------------------------------------
// CBRS

struct FakeBrs {
    int starts = 0, ends = 0, page_inits = 0;
    int32_t start_result = 0, page_result = 0, reset_result = 0;
    Bytes start_record;
    Bytes data;
    const OVF_COMMON* ovf = nullptr;
    std::vector<uint32_t> resets;
};
FakeBrs* g_brs = nullptr;
int g_brsToken = 0;

int32_t BStart(void** handle, const void* record, const void* data, uint32_t size, const OVF_COMMON* ovf) {
    ++g_brs->starts;
    g_brs->start_record.assign(static_cast<const uint8_t*>(record), static_cast<const uint8_t*>(record) + 24);
    g_brs->data.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    g_brs->ovf = ovf;
    if (g_brs->start_result) return g_brs->start_result;
    *handle = &g_brsToken;
    return 0;
}
int32_t BEnd(void* h) {
    EXPECT_EQ(h, &g_brsToken);
    ++g_brs->ends;
    return 0;
}
int32_t BCorr(void*, const void*, void*) { return 0; }
int32_t BCorrEx(void*, const void*, void*, uint32_t) { return 0; }
int32_t BPage(void*) {
    ++g_brs->page_inits;
    return g_brs->page_result;
}
int32_t BReset(void*, uint32_t length) {
    g_brs->resets.push_back(length);
    return g_brs->reset_result;
}
BrsCoreTable BrsTable() { return BrsCoreTable{&BStart, &BEnd, &BCorr, &BCorrEx, &BPage, &BReset}; }

std::map<int32_t, Bytes>* g_exports = nullptr;
int32_t Capture(int32_t id, int32_t size, void* data) {
    (*g_exports)[id] = Bytes(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
    return 0;
}

class BrsTest : public ::testing::Test {
protected:
    BrsTest() {
        g_brs = &fake;
        g_exports = &exports;
        ovcg::SetDebugExportHook(&Capture);
        dir.write("corr.bin", "CORRECTION");
        dir.write("empty.bin", "");
        path = dir.path() + "/corr.bin";
        init.file = path.c_str();
        init.identifier = 0x11223344;
        init.page_length = 5000;
        init.values[0] = 7;
        init.values[1] = 9;
    }
    ~BrsTest() override {
        ovcg::SetDebugExportHook(nullptr);
        g_exports = nullptr;
        g_brs = nullptr;
    }
    FakeBrs fake;
    std::map<int32_t, Bytes> exports;
    TempDir dir;
    std::string path;
    tagBRSINITSTRUCT init{};
};

TEST_F(BrsTest, StartRecordsByteForByte) {
    init.mode[4] = 1;
    init.second_table = nullptr;
    CBRS brs(&init, BrsTable());
    ASSERT_EQ(brs.StartBRS(), 0);
    const Bytes record = {0x44, 0x33, 0x22, 0x11, 1, 0, 0, 0, 3, 0, 0, 0, 0x88, 0x13, 0, 0, 7, 0, 0, 0, 9, 0, 0, 0};
    EXPECT_EQ(exports[2300], record);
    EXPECT_EQ(exports[2301], (Bytes{10, 0, 0, 0}));
    EXPECT_EQ(fake.start_record, record);
    EXPECT_EQ(fake.data, Bytes(std::begin("CORRECTION"), std::end("CORRECTION") - 1));
    EXPECT_EQ(brs.Handle(), &g_brsToken);

    // The callback table: memory, scans and log only.
    ASSERT_EQ(fake.ovf, &brs.Callbacks());
    const OVF_COMMON& t = brs.Callbacks();
    EXPECT_NE(t.alloc, nullptr);
    EXPECT_NE(t.free, nullptr);
    EXPECT_NE(t.copy, nullptr);
    EXPECT_EQ(t.move, &Mem_Move);
    EXPECT_EQ(t.fill, &Mem_Set);
    EXPECT_EQ(t.lead_zero_search, &OVF_memsearch);
    EXPECT_EQ(t.trail_zero_search, &OVF_memrsearch);
    EXPECT_EQ(t.debug_log, &OVF_DebugLog);
    EXPECT_EQ(t.realloc, nullptr);
    EXPECT_EQ(t.send_data, nullptr);
    EXPECT_EQ(t.get_resource, nullptr);
    EXPECT_EQ(t.free_resource, nullptr);
}

TEST_F(BrsTest, PaperSourceAndContinuousRoll) {
    int second = 0;
    init.second_table = &second;
    init.mode[0] = 1;
    init.mode[4] = 2;
    CBRS brs(&init, BrsTable());
    EXPECT_EQ(brs.PageLength(), 21543311u);
    EXPECT_EQ(brs.PaperSource(), 1u);
    const auto rec = brs.StartRecordBytes();
    EXPECT_EQ(rec[4], 0);  // a second table is given
    EXPECT_EQ(rec[8], 1);
}

TEST_F(BrsTest, StartFailures) {
    struct Case {
        const char* name;
        std::string file;
        int32_t v0, v1;
        int32_t core;
        int expected;
    };
    const Case cases[] = {
        {"missing file", dir.path() + "/none.bin", 7, 9, 0, -100},
        {"no file name", "", 7, 9, 0, -100},
        {"empty file", dir.path() + "/empty.bin", 7, 9, 0, -101},
        {"first value missing", path, 0, 9, 0, -102},
        {"second value missing", path, 7, 0, 0, -102},
        {"core refuses", path, 7, 9, 12, -5012},
        {"core's own negative code", path, 7, 9, -5603, -5603},
    };
    for (const Case& c : cases) {
        fake = FakeBrs{};
        init.file = c.file.c_str();
        init.values[0] = c.v0;
        init.values[1] = c.v1;
        fake.start_result = c.core;
        CBRS brs(&init, BrsTable());
        EXPECT_EQ(brs.StartBRS(), c.expected) << c.name;
        EXPECT_EQ(brs.Handle(), nullptr) << c.name;
        EXPECT_EQ(brs.StartPageBRS(), -104) << c.name;
    }
}

TEST_F(BrsTest, PagesAndEnd) {
    {
        CBRS brs(&init, BrsTable());
        EXPECT_EQ(brs.StartPageBRS(), -104);
        EXPECT_EQ(brs.ResetPageBRS(3), -104);
        ASSERT_EQ(brs.StartBRS(), 0);
        EXPECT_EQ(brs.StartPageBRS(), 0);
        EXPECT_EQ(brs.ResetPageBRS(200), 0);
        EXPECT_EQ(brs.ResetPageBRS(9000), 0);  // more than the page: 0, no wrap
        EXPECT_EQ(brs.ResetPageBRS(-4), 0);
        EXPECT_EQ(fake.resets, (std::vector<uint32_t>{4800, 0, 5000}));

        fake.page_result = 3;
        EXPECT_EQ(brs.StartPageBRS(), -5003);
        EXPECT_EQ(brs.Handle(), nullptr);  // the failure ended the session
        EXPECT_EQ(fake.ends, 1);

        ASSERT_EQ(brs.StartBRS(), 0);
        fake.reset_result = 2;
        EXPECT_EQ(brs.ResetPageBRS(1), -5002);
        EXPECT_EQ(brs.Handle(), nullptr);
        EXPECT_EQ(fake.ends, 2);

        ASSERT_EQ(brs.StartBRS(), 0);
        EXPECT_EQ(brs.EndBRS(), 0);
        EXPECT_EQ(brs.EndBRS(), 0);
        EXPECT_EQ(fake.ends, 3);
        ASSERT_EQ(brs.StartBRS(), 0);
        EXPECT_EQ(fake.starts, 4);
    }
    EXPECT_EQ(fake.ends, 4);  // the destructor ends the open session
}

TEST_F(BrsTest, ErrorMappingAndBinding) {
    EXPECT_EQ(CBRS::ConvertBRSError(0), 0);
    EXPECT_EQ(CBRS::ConvertBRSError(-7), -7);
    EXPECT_EQ(CBRS::ConvertBRSError(603), -5603);
    EXPECT_EQ(CBRS::ConvertBRSError(INT32_MAX), INT32_MIN);
    BrsCoreTable t = BrsTable();
    t.ResetPageInfo = nullptr;
    try {
        CBRS brs(&init, t);
        FAIL();
    } catch (int code) {
        EXPECT_EQ(code, -103);
    }
    EXPECT_THROW(CBRS(nullptr, BrsTable()), const char*);
}

TEST_F(BrsTest, EmptyCoreStartsButHasNoHandle) {
    CBRS brs(&init);
    EXPECT_EQ(brs.StartBRS(), 0);
    EXPECT_EQ(brs.Handle(), nullptr);
    EXPECT_EQ(brs.StartPageBRS(), -104);
    EXPECT_EQ(brs.EndBRS(), 0);
}

// ---------------------------------------------------------------------------
// CCDG

struct FakeCdg {
    int creates = 0, deletes = 0, generates = 0, releases = 0;
    int32_t create_result = 0, generate_result = 0, get_result = 0;
    bool deliver = true;
    const HXRServiceTable* services = nullptr;
    std::vector<int32_t> kinds;
    std::vector<std::pair<int32_t, int32_t>> halftone;
    std::vector<int32_t> option;
    Bytes last_data;
    void* outstanding = nullptr;
    int32_t mode_word0 = 0;
    uint32_t mask = 0;
    const int32_t* list = nullptr;
};
FakeCdg* g_cdg = nullptr;
int g_cdgToken = 0;

int32_t CCreate(void** h, const HXRServiceTable* s) {
    ++g_cdg->creates;
    g_cdg->services = s;
    if (g_cdg->create_result) return g_cdg->create_result;
    *h = &g_cdgToken;
    return 0;
}
int32_t CDelete(void* h) {
    EXPECT_EQ(h, &g_cdgToken);
    ++g_cdg->deletes;
    return 0;
}
int32_t CGenerate(void* h, int32_t kind, const int32_t* info, int32_t ht, int32_t cc, const void*, int32_t,
                  uint32_t mask, const int32_t* list) {
    EXPECT_EQ(h, &g_cdgToken);
    ++g_cdg->generates;
    g_cdg->kinds.push_back(kind);
    g_cdg->halftone.emplace_back(ht, cc);
    g_cdg->mode_word0 = info[0];
    g_cdg->mask = mask;
    g_cdg->list = list;
    return g_cdg->generate_result;
}
int32_t CGet(void*, void** data, int32_t* size) {
    if (g_cdg->get_result) return g_cdg->get_result;
    if (!g_cdg->deliver) return 0;  // leaves the outputs as they were
    const int n = 5 + g_cdg->kinds.back();
    auto* p = static_cast<uint8_t*>(std::malloc(n));
    for (int i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(0x40 + g_cdg->generates + i);
    g_cdg->last_data.assign(p, p + n);
    g_cdg->outstanding = p;
    *data = p;
    *size = n;
    return 0;
}
int32_t CRelease(void*, void* data) {
    EXPECT_EQ(data, g_cdg->outstanding);
    ++g_cdg->releases;
    std::free(data);
    g_cdg->outstanding = nullptr;
    return 0;
}
int32_t COption(void*, int32_t a, int32_t b, int32_t c, int32_t d) {
    g_cdg->option = {a, b, c, d};
    return 0;
}
CdgCoreTable CdgTable() { return CdgCoreTable{&CCreate, &CDelete, &CGenerate, &CGet, &CRelease, &COption}; }

class CdgTest : public ::testing::Test {
protected:
    CdgTest() { g_cdg = &fake; }
    ~CdgTest() override {
        EXPECT_EQ(fake.outstanding, nullptr);
        g_cdg = nullptr;
    }
    FakeCdg fake;
};

TEST_F(CdgTest, ModeRefusals) {
    CCDG cdg(nullptr, nullptr, CdgTable());
    const int32_t info[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(cdg.SetPrintModeInfo(0, info, 9), -600);
    EXPECT_EQ(cdg.SetPrintModeInfo(3, info, 9), -600);

    ASSERT_EQ(cdg.SetPrintModeInfo(CDG_MODE_CALIB, info, 9), 0);
    EXPECT_EQ(cdg.GenerateRasterCalibSlut(), -600);
    EXPECT_EQ(cdg.GenerateIMSCalibSlut(), -600);
    EXPECT_EQ(fake.generates, 0);

    ASSERT_EQ(cdg.SetPrintModeInfo(CDG_MODE_SLUT, info, 9), 0);
    const uint8_t in[4] = {};
    EXPECT_EQ(cdg.GenerateRasterCalib(in, 4), -600);
    EXPECT_EQ(cdg.GenerateIMSCalib(in, 4, 2, nullptr), -600);
    EXPECT_EQ(fake.generates, 0);
    EXPECT_EQ(cdg.GenerateRasterCalibSlut(), 0);
    EXPECT_EQ(fake.mode_word0, 1);
}

TEST_F(CdgTest, GeneratesOnceAndCaches) {
    int context = 0;
    CCDG cdg(nullptr, &context, CdgTable());
    EXPECT_EQ(cdg.ServiceTable()->Context, &context);
    EXPECT_EQ(cdg.ServiceTable()->Alloc, &HxrFn_calloc);
    ASSERT_EQ(cdg.SetPrintModeInfo(CDG_MODE_CALIB, nullptr, 0), 0);
    ASSERT_EQ(cdg.SetHalftoneInfo(3, 10), 0);

    const uint8_t in[4] = {1, 2, 3, 4};
    const int32_t heads[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    ASSERT_EQ(cdg.GenerateIMSCalib(in, 4, 2, heads), 0);
    EXPECT_EQ(fake.creates, 1);
    EXPECT_EQ(fake.services, cdg.ServiceTable());
    EXPECT_EQ(fake.kinds, (std::vector<int32_t>{CCDG::kImsCalib}));
    EXPECT_EQ(fake.halftone.back(), (std::pair<int32_t, int32_t>{3, 10}));
    EXPECT_EQ(fake.mask, 2u);
    EXPECT_EQ(fake.list, heads);
    EXPECT_EQ(fake.releases, 1);
    int32_t size = 0;
    const void* data = cdg.ImsCalibData(&size);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data, cdg.ImsCalib());
    EXPECT_EQ(Bytes(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size), fake.last_data);

    // Same halftone values: the cached data, at once.
    ASSERT_EQ(cdg.SetHalftoneInfo(3, 10), 0);
    ASSERT_EQ(cdg.GenerateIMSCalib(in, 4, 2, heads), 0);
    EXPECT_EQ(fake.generates, 1);
    EXPECT_EQ(cdg.ImsCalib(), data);

    // The raster calibration is its own result; the instance is reused.
    ASSERT_EQ(cdg.GenerateRasterCalib(in, 4), 0);
    EXPECT_EQ(fake.generates, 2);
    EXPECT_EQ(fake.creates, 1);
    ASSERT_NE(cdg.RasterCalib(&size), nullptr);
    EXPECT_EQ(size, 5);

    // A new value drops the results; the next call generates again.
    ASSERT_EQ(cdg.SetHalftoneInfo(3, 11), 0);
    EXPECT_EQ(cdg.ImsCalib(), nullptr);
    EXPECT_EQ(cdg.RasterCalib(&size), nullptr);
    EXPECT_EQ(size, 0);
    ASSERT_EQ(cdg.GenerateIMSCalib(in, 4, 2, heads), 0);
    EXPECT_EQ(fake.generates, 3);
    EXPECT_EQ(fake.halftone.back(), (std::pair<int32_t, int32_t>{3, 11}));
    EXPECT_NE(cdg.ImsCalib(), nullptr);

    EXPECT_EQ(cdg.Option(), 0);
    EXPECT_EQ(fake.option, (std::vector<int32_t>{0, 1, 0, 0}));
}

TEST_F(CdgTest, SlutsAreDroppedWithTheHalftoneValues) {
    CCDG cdg(nullptr, nullptr, CdgTable());
    ASSERT_EQ(cdg.SetPrintModeInfo(CDG_MODE_SLUT, nullptr, 0), 0);
    ASSERT_EQ(cdg.GenerateRasterCalibSlut(), 0);
    ASSERT_EQ(cdg.GenerateIMSCalibSlut(), 0);
    int32_t a = 0, b = 0;
    EXPECT_NE(cdg.RasterSlut(&a), nullptr);
    EXPECT_NE(cdg.ImsSlut(&b), nullptr);
    EXPECT_EQ(a, 6);
    EXPECT_EQ(b, 8);
    ASSERT_EQ(cdg.SetHalftoneInfo(5, 0), 0);
    EXPECT_EQ(cdg.RasterSlut(&a), nullptr);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(cdg.ImsSlut(&b), nullptr);
}

TEST_F(CdgTest, CoreFailuresLeaveNoData) {
    struct Case {
        const char* name;
        int32_t create, generate, get;
        int expected;
    };
    const Case cases[] = {
        {"create", 4, 0, 0, -10004},
        {"generate", 0, 7, 0, -10007},
        {"get", 0, 0, 9, -10009},
        {"negative code", 0, -3, 0, -3},
    };
    for (const Case& c : cases) {
        fake = FakeCdg{};
        fake.create_result = c.create;
        fake.generate_result = c.generate;
        fake.get_result = c.get;
        CCDG cdg(nullptr, nullptr, CdgTable());
        const uint8_t in[1] = {0};
        EXPECT_EQ(cdg.GenerateRasterCalib(in, 1), c.expected) << c.name;
        int32_t size = 77;
        EXPECT_EQ(cdg.RasterCalib(&size), nullptr) << c.name;
        EXPECT_EQ(size, 0) << c.name;
    }
}

TEST_F(CdgTest, NoDataDeliveredIsSizeZero) {
    fake.deliver = false;
    CCDG cdg(nullptr, nullptr, CdgTable());
    const uint8_t in[1] = {0};
    EXPECT_EQ(cdg.GenerateRasterCalib(in, 1), 0);
    int32_t size = 77;
    EXPECT_EQ(cdg.RasterCalib(&size), nullptr);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(fake.releases, 0);
}

TEST_F(CdgTest, InstanceAndBlocksReleased) {
    {
        CCDG cdg(nullptr, nullptr, CdgTable());
        const uint8_t in[1] = {0};
        ASSERT_EQ(cdg.GenerateRasterCalib(in, 1), 0);
        cdg.DeleteInstance();
        EXPECT_EQ(fake.deletes, 1);
        cdg.DeleteInstance();
        EXPECT_EQ(fake.deletes, 1);
        int32_t size = 0;
        EXPECT_NE(cdg.RasterCalib(&size), nullptr);  // the result is the session's own copy
        ASSERT_EQ(cdg.GenerateIMSCalib(in, 1, 0, nullptr), 0);
        EXPECT_EQ(fake.creates, 2);
    }
    EXPECT_EQ(fake.deletes, 2);
}

TEST_F(CdgTest, BindingAndErrorMapping) {
    CdgCoreTable t = CdgTable();
    t.Option = nullptr;
    try {
        CCDG cdg(nullptr, nullptr, t);
        FAIL();
    } catch (int code) {
        EXPECT_EQ(code, -601);
    }
    EXPECT_EQ(CCDG::ConvertCDGError(0), 0);
    EXPECT_EQ(CCDG::ConvertCDGError(-1), -1);
    EXPECT_EQ(CCDG::ConvertCDGError(5), -10005);
    EXPECT_EQ(CCDG::ConvertCDGError(INT32_MAX), INT32_MIN);
}

TEST(CdgEmptyCoreTest, EverySessionCallSucceedsWithoutData) {
    CCDG cdg(nullptr, nullptr);
    ASSERT_EQ(cdg.SetPrintModeInfo(CDG_MODE_CALIB, nullptr, 0), 0);
    const uint8_t in[2] = {1, 2};
    EXPECT_EQ(cdg.GenerateRasterCalib(in, 2), 0);
    EXPECT_EQ(cdg.GenerateIMSCalib(in, 2, 1, nullptr), 0);
    EXPECT_EQ(cdg.ImsCalib(), nullptr);
    EXPECT_EQ(cdg.Option(), 0);
    ASSERT_EQ(cdg.SetPrintModeInfo(CDG_MODE_SLUT, nullptr, 0), 0);
    EXPECT_EQ(cdg.GenerateRasterCalibSlut(), 0);
    EXPECT_EQ(cdg.GenerateIMSCalibSlut(), 0);
    int32_t size = 5;
    EXPECT_EQ(cdg.RasterSlut(&size), nullptr);
    EXPECT_EQ(size, 0);
}

// ---------------------------------------------------------------------------
// The library's empty services and the factories

TEST(CalibServicesTest, EmptyServicesClearTheirOutputs) {
    void* h = &g_cdgToken;
    EXPECT_EQ(ISVTool_OpenPort(&h, "p", 1), 0u);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(ISVTool_OpenPort(nullptr, nullptr, 0), 0u);
    EXPECT_EQ(ISVTool_ClosePort(nullptr), 0u);
    EXPECT_EQ(ISVTool_GetCidData(nullptr, nullptr), 0u);
    EXPECT_EQ(ISVTool_GetImsData(nullptr, nullptr), 0u);
    EXPECT_EQ(ISVTool_GetHeadData(nullptr, nullptr), 0u);
    h = &g_cdgToken;
    EXPECT_EQ(BRSCore_Start(&h, nullptr, nullptr, 0, nullptr), 0);
    EXPECT_EQ(h, nullptr);
    uint32_t bytes = 9;
    EXPECT_EQ(BRSCore_GetMemorySize(nullptr, 0, &bytes), 0);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(BRSCore_End(nullptr), 0);
    EXPECT_EQ(BRSCore_GetCorrection(nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(BRSCore_GetCorrectionEx(nullptr, nullptr, nullptr, 0), 0);
    EXPECT_EQ(BRSCore_PageInit(nullptr), 0);
    EXPECT_EQ(BRSCore_ResetPageInfo(nullptr, 0), 0);
    EXPECT_EQ(BRSCore_TblExpansion(nullptr, 0, nullptr, 0), 0);
    h = &g_cdgToken;
    EXPECT_EQ(CDG_CreateInstance(&h, nullptr), 0);
    EXPECT_EQ(h, nullptr);
    void* data = &g_cdgToken;
    int32_t size = 4;
    EXPECT_EQ(CDG_GetData(nullptr, &data, &size), 0);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(CDG_GenerateData(nullptr, 0, nullptr, 0, 0, nullptr, 0, 0, nullptr), 0);
    EXPECT_EQ(CDG_ReleaseData(nullptr, nullptr), 0);
    EXPECT_EQ(CDG_DeleteInstance(nullptr), 0);
    EXPECT_EQ(CDG_Option(nullptr, 0, 1, 0, 0), 0);
}

TEST(CalibFactoriesTest, SessionsForTheEngineCore) {
    auto tool = ovcg::MakeCalibTool();
    ASSERT_NE(tool, nullptr);
    EXPECT_EQ(tool->CreateFilePathName("P", "/d"), 1);

    ovcg::CalibRecord record{3, nullptr, "dummy", nullptr, nullptr};
    const int32_t mode[5] = {1, 0, 0, 0, 1};
    EXPECT_EQ(ovcg::MakeBrsSession(record, mode, 100), nullptr);
    record.raster_file = "dummy";
    auto brs = ovcg::MakeBrsSession(record, mode, 100);
    ASSERT_NE(brs, nullptr);
    EXPECT_EQ(static_cast<CBRS*>(brs->Native())->PageLength(), 21543311u);
    EXPECT_EQ(static_cast<CBRS*>(brs->Native())->PaperSource(), 3u);
    EXPECT_EQ(brs->StartBRS(), -100);  // no such correction file

    ovcg::HxrAdapter* none = nullptr;
    auto cdg = ovcg::MakeCdgSession(none);
    ASSERT_NE(cdg, nullptr);
    EXPECT_EQ(cdg->SetPrintModeInfo(1, nullptr, 0), 0);
}

}  // namespace
