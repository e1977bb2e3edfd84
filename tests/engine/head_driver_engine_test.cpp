// A level-2 page from the job engine's head-control job object through the
// adapter's default table (the engine linked into the library), the real
// spooler and the default model file: the virtual printer reads it back.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/irac_dll.h"
#include "engine/plimo_buffer.h"
#include "engine/spooler.h"
#include "link_fixture.h"
#include "ovcg/ovs_resource.h"
#include "support/model.h"
#include "support/virtual_printer.h"

namespace {

// The page's output colour order: C M Y K.
class OrderOnly final : public ovcg::IHalftoner {
public:
    int ResetPage(const ovcg::tagHTINITSTRUCT*) override { return 0; }
    int StartPage() override { return 0; }
    int BandOut(const tagRECT*, tagBANDBMP*, tagBANDBMP*, const tagRECT*, tagOSDEP3*) override { return 0; }
    int EndPage() override { return 0; }
    int EmptyPageEndOut(int) override { return 0; }
    int EmptyPageEndFlush(int) override { return 0; }
    int GetDotCount(uint64_t*, int) override { return 0; }
    int GetFlipHBand(tagBANDBMP*, tagBANDBMP*, const tagRECT*, tagRECT*) override { return 0; }
    int ResetPageLength(int) override { return 0; }
    int GetHalftoneColor(uint8_t* order) override {
        const uint8_t inks[4] = {1, 2, 3, 0};
        for (int i = 0; i < 32; ++i) order[i] = i < 4 ? inks[i] : 0;
        return 0;
    }
};

int Collect(void* context, char* data, unsigned int length) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    out->insert(out->end(), data, data + length);
    return 1;
}

TEST(HeadDriverEngine, APageThroughTheJobObjectReadsBack) {
    ovcg_test::TempFile file("head_driver");
    ASSERT_TRUE(ovcg_test::build_model(ovcg_test::default_model()).write_file(file.path()));
    ASSERT_EQ(ovs_resLoadFile(file.path().c_str()), 0);
    std::string path = file.path();
    char* names[] = {path.data()};
    {
        CRscDLL resources(names, 1);
        CIRACDLL dll("head");
        std::vector<uint8_t> out;
        CPlimoSpooler spooler(0, &Collect, &out);
        constexpr unsigned kWidth = 333, kHeight = 500;
        CPlimoBuffer buffer(4, 2, 0, kWidth, tagPOINT{600, 600}, tagPOINT{600, 600}, 0, 0);
        ovcg::tagIRACINITSTRUCT init{};
        init.width = kWidth;
        init.height = kHeight;
        init.spooler = &spooler;
        init.send = &SLSpoolerSendDataIRAC;
        init.irac_dll = &dll;
        init.links = &resources;
        init.buffer = &buffer;
        init.identifier = ovcg_test::model_head_mode_id();
        CIRAC irac(&init);
        ASSERT_EQ(irac.StartJob(), 0);
        ASSERT_NE(irac.UseHead(), nullptr);
        OrderOnly order;
        ASSERT_EQ(irac.StartPage(&order), 0);

        // Four planes of random two-bit dots, sent a raster at a time.
        const unsigned bytes = buffer.LineBytes();
        std::mt19937 rng(31);
        std::vector<std::vector<std::vector<uint8_t>>> planes(4, std::vector<std::vector<uint8_t>>(kHeight));
        std::vector<uint8_t> raster(4 * bytes);
        for (unsigned r = 0; r < kHeight; ++r) {
            for (unsigned c = 0; c < 4; ++c) {
                planes[c][r].resize(bytes);
                for (unsigned i = 0; i < bytes; ++i) planes[c][r][i] = (rng() % 4 == 0) ? uint8_t(rng()) : 0;
                std::copy(planes[c][r].begin(), planes[c][r].end(), raster.begin() + c * bytes);
            }
            unsigned char* lines[1] = {raster.data()};
            ASSERT_EQ(irac.RasterOut(1, r, lines, bytes), 0) << r;
        }
        ASSERT_EQ(irac.EndPage(0), 0);
        ASSERT_EQ(irac.EndJob(), 0);
        spooler.Flush();

        ovcg_test::VpModel printer;
        printer.bits = 2;
        const char letters[4] = {'C', 'M', 'Y', 'K'};
        for (int c = 0; c < 4; ++c) printer.add(ovcg_test::model_color_code(letters[c]), {c, 0, 1});
        const auto read = ovcg_test::RunVirtualPrinter(printer, out);
        ASSERT_TRUE(read.ok) << read.error;
        ASSERT_EQ(read.pages.size(), 1u);
        EXPECT_EQ(read.pages[0].twice, 0u);
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(ovcg_test::plane_difference(read.pages[0].planes.at(c), ovcg_test::plane_of(planes[c], 0, 0, 2)),
                      "")
                << letters[c];
    }
    ovs_resUnLoadFile();
}

}  // namespace
