// Shared set-up of the printer-side package tests: jobs of the default
// model's print modes (read controller, colour manager, option record) and an
// "instance" memory manager the packages are built in, deleted at the end of
// the test (the fixture then checks that no block is left).
#pragma once

#include "host_data_fixture.h"
#include "hxr/control/hxr_packages.h"

#include <algorithm>
#include <deque>
#include <map>
#include <string>
#include <vector>

// A dither data manager laid out by hand: matrices of a given size and shifts
// whose threshold (x, y) is 1 + x + 16 y, stored in rows (order 1) or row
// pairs (order 2); without cells (store false) for sizes too large to hold.
struct FakeDither {
    explicit FakeDither(uint32_t areas = 1) {
        mgr.areaNum = areas;
        for (uint32_t a = 0; a < 6; ++a) mgr.area[a] = &area[a], mgr.offset[a] = &offset[a];
    }
    HXRTRAQ2DthSingleData* add(int32_t w, int32_t h, int32_t shift_h = 0, int32_t shift_v = 0, uint32_t order = 2,
                               bool store = true) {
        std::vector<uint16_t>& c = cells.emplace_back();
        for (int32_t y = 0; store && y < h; y += order)
            for (int32_t x = 0; x < w; ++x)
                for (int32_t r = 0; r < int32_t(order) && (order == 2 || r == 0); ++r) c.push_back(uint16_t(1 + x + 16 * (y + r)));
        HXRTRAQ2DthSingleData& d = objects.emplace_back();
        d.view = {w, h, shift_h, shift_v, nullptr, 0};
        d.order = order, d.dataBytes = 2, d.rowLength = order == 2 ? 2 * uint32_t(w) : uint32_t(w);
        d.valueCount = uint32_t(c.size()), d.narrow = store ? c.data() : nullptr;
        ++mgr.dataNum;
        return &d;
    }
    HXRTRAQ2DthDataMgr mgr{};
    HXRTRAQ2DthData area[6]{};
    HXRTRAQ2DthOffData offset[6]{};
    std::deque<HXRTRAQ2DthSingleData> objects;
    std::deque<std::vector<uint16_t>> cells;
};

class PackageTest : public HostDataTest {
protected:
    static constexpr char kDutyId[] = "DUTY_FACTOR_MODE";

    void SetUp() override {
        HostDataTest::SetUp();
        inst = HXRCreateMemMgr(svc.table()->Alloc, svc.table()->Free);
        ASSERT_NE(inst, nullptr);
    }
    void TearDown() override {
        if (inst) {
            EXPECT_EQ(HXRDeleteMemMgr(inst), 0u);
        }
        HostDataTest::TearDown();
    }

    static _HXR_OPTION_INFO default_option() {
        _HXR_OPTION_INFO o{};
        o.tone[0] = -1, o.tone[9] = 220;
        std::fill(o.colorValue, o.colorValue + 12, 1024u);
        o.secondDocType = 0xFFFFFFFFu, o.channelMode1 = 0xFFFFFFFFu;
        return o;
    }
    // The twelve words of a duty-factor record.
    static void duty_record(uint32_t* words, uint32_t factor) {
        std::memcpy(words, kDutyId, 16);
        words[4] = factor;
        std::fill(words + 5, words + 12, 0xFFFFFFFFu);
    }

    struct Job {
        _HXR_HALFTONE_INFO q{};
        _HXR_OPTION_INFO option = default_option();
        HXRDataSetOptions values{};
        const HXRClrMgr* clr = nullptr;
        HXRResReadController* ctrl = nullptr;
        // The per-colour words of both intents: the option record's unless set.
        const HXRDataSetOptions* vals() {
            for (const uint32_t*& w : values.colorWords)
                if (!w) w = option.colorValue;
            return &values;
        }
    };
    // A job of the model's print mode for the ink set, its resources read
    // (ctrl null when that fails).
    Job job(const ovcg_test::ModelPrintMode& m, uint32_t ink_set, uint32_t second_doc = 0xFFFFFFFFu) {
        Job j;
        j.q = query(m, ink_set);
        j.option.secondDocType = second_doc;
        j.ctrl = read_controller(j.q, &j.clr, second_doc);
        return j;
    }
    // The model's index with the rows of print mode `m` changed by the cells
    // (before the first job is read).
    void edit_index(const ovcg_test::ModelPrintMode& m, const std::map<std::string, std::string>& cells) {
        const auto modes = ovcg_test::model_index_modes(model);
        ASSERT_EQ(modes.size(), index_.rows.size());
        for (size_t i = 0; i < index_.rows.size(); ++i)
            if (modes[i].media == m.media && modes[i].doc_type == m.doc_type && modes[i].ht_type == m.ht_type &&
                modes[i].out_bits == m.out_bits && modes[i].h_res == m.h_res && modes[i].sub_type == m.sub_type)
                for (const auto& [k, v] : cells) index_.rows[i][k] = v;
        file.replace(ovcg_test::kResTypeHalftone, uint16_t(ovcg_test::kModelIndexId + 100),
                     ovcg_test::text_bytes(ovcg_test::write_index_text(index_)));
    }

    // Makes every allocation of `build` (a package build into inst) fail once,
    // until the build no longer needs the failing one: each failure must leave
    // nothing behind, the last build succeeds and adds its two blocks.
    template <typename Build>
    void sweep_allocations(Build&& build) {
        bool built = false;
        for (long n = 0; !built && n < 2000; ++n) {
            svc.fail_allocation_after(n);
            const uint32_t before = HXRGetMemBlockCount(inst);
            built = build();
            svc.fail_allocation_after(-1);
            EXPECT_EQ(HXRGetMemBlockCount(inst), before + (built ? 2 : 0)) << n;
            HXRSetErrorInfo(0);
        }
        EXPECT_TRUE(built);
    }

    HXRMemMgr* inst = nullptr;
    ovcg_test::IndexTextSpec index_ = ovcg_test::model_index(model);
};
