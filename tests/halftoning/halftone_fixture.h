// A halftone base wired to the recording halftone engine, a real band buffer
// and the recording output module.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/hxr_dll.h"
#include "engine/plimo_buffer.h"
#include "halftoning/halftone.h"
#include "support/recording_hxr_engine.h"
#include "support/recording_out_module.h"

namespace ovcg_test {

// A CHalftone with its protected parts reachable.
class OpenHalftone : public ovcg::CHalftone {
public:
    using CHalftone::CHalftone;
    using CHalftone::SetSkipRows;
};

struct HtGeometry {
    int planes = 4;
    int bits = 1;
    unsigned width = 64;
    tagPOINT src{720, 720};
    tagPOINT prt{720, 720};
};

class HalftoneTest : public ::testing::Test {
protected:
    HalftoneTest() { Build(HtGeometry{}); }
    ~HalftoneTest() override {
        for (void*& h : handles)
            if (h) dll.HXR_DeleteInstance(h);
        EXPECT_EQ(engine.LiveInstances(), 0);
    }

    // A level-2 RGBX job of the geometry; the test adjusts init before Make.
    void Build(const HtGeometry& g) {
        geometry = g;
        buffer = std::make_unique<CPlimoBuffer>(g.planes, g.bits, 0, g.width, g.src, g.prt, 2, 1);
        out = std::make_unique<RecordingOutModule>(static_cast<unsigned>(g.planes), buffer->LineBytes());
        engine.config.colours.assign(static_cast<size_t>(g.planes), 0);
        for (int k = 0; k < g.planes; ++k) engine.config.colours[static_cast<size_t>(k)] = static_cast<signed char>(k);
        engine.config.row_bytes = buffer->LineBytes();
        ht = tagHTSTRUCT3_5{};
        ht.version = 5;
        ht.halftone_type = 3;
        ht.gamma = 100;
        init = ovcg::tagHTINITSTRUCT{};
        init.src_format = 7;
        init.ink_set_id = 1;
        init.color_type = 7;
        init.src_width = static_cast<int32_t>(g.width);
        init.page_length = 60;
        init.media_number = 3;
        init.sub_type = -1;
        init.out_bits = -1;
        init.ht_sub_type = -1;
        init.band_buffer = buffer.get();
        init.ht_struct = &ht;
        init.hxr_dll = &dll;
        init.out_module = static_cast<COutModule*>(out.get());
        init.band_lines = 2;
        init.band_rows = 2;
        init.reduce_step = 1;
        init.prt_resolution = g.prt;
        init.src_resolution = g.src;
    }

    std::unique_ptr<OpenHalftone> Make() { return std::make_unique<OpenHalftone>(&init); }
    // Constructor, instances and page start; fails the test on a code.
    std::unique_ptr<OpenHalftone> Start(unsigned channels = 0) {
        auto h = Make();
        const int docs[2] = {-1, -1};
        EXPECT_EQ(h->GetHXRHandle(handles, channels, docs, nullptr), 0);
        EXPECT_EQ(h->StartPage(handles, channels), 0);
        return h;
    }
    // The code a constructor throws (0 when it does not).
    int ThrowCode() {
        try {
            Make();
        } catch (int code) {
            return code;
        }
        return 0;
    }

    // RGBX lines: white except where `ink` is set.
    static std::vector<uint8_t> RgbxLine(unsigned pixels, const std::vector<unsigned>& ink = {}) {
        std::vector<uint8_t> line(size_t{pixels} * 4 + 4, 255);
        for (unsigned x : ink) line[4 * x] = line[4 * x + 1] = line[4 * x + 2] = 0;
        return line;
    }

    RecordingHxrEngine engine;
    CHXRDLL dll{"ht.so", engine.Table()};
    HtGeometry geometry;
    std::unique_ptr<CPlimoBuffer> buffer;
    std::unique_ptr<RecordingOutModule> out;
    tagHTSTRUCT3_5 ht{};
    ovcg::tagHTINITSTRUCT init{};
    void* handles[13] = {};
};

}  // namespace ovcg_test
