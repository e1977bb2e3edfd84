// Fuzzes the host halftoning data built from hostile resources. The first
// byte picks the resource the rest of the input is:
//   0: an SML resource: SML data for several ink sets, its correction (plain
//      and through a calibration), the corrected tables, the monochrome-photo
//      copies and a UBEC block's lists from every colour's rows;
//   1: a dither mask: the dither data managers of every layout and the UBEC
//      tables over the model-like SML rows.
#include "hxr/control/hxr_dblgamma.h"
#include "hxr/control/hxr_dth_data.h"
#include "hxr/control/hxr_resmgr.h"
#include "hxr/control/hxr_sml_correct.h"
#include "hxr/control/hxr_ubec_data.h"
#include "hxr_fuzz_services.h"

#include <algorithm>

namespace {

using namespace hxr_fuzz;

struct Colours {
    uint32_t ink_set, bits;
};
constexpr Colours kColours[] = {{3, 2}, {1, 1}, {11, 34}};

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) b[at + size_t(k)] = uint8_t(v >> (8 * k));
}

// A calibration blob of one table per ink code 0..3 bending the levels.
std::vector<uint8_t> calibration() {
    std::vector<uint8_t> b(128 + 512 * 4, 0);
    put32(b, 0, uint32_t(b.size()));
    b[8] = 400 & 255, b[9] = 400 >> 8;
    put32(b, 16, 256), put32(b, 20, 12), put32(b, 24, 4);
    for (uint32_t k = 0; k < 4; ++k) {
        put32(b, 32 + 8 * k, 128 + 512 * k), put32(b, 36 + 8 * k, k);
        for (uint32_t v = 0; v < 256; ++v) {
            const int32_t pos = int32_t(16 * v) + int32_t(k * v * (255 - v) / 64) - 300;
            b[128 + 512 * k + 2 * v] = uint8_t(pos), b[129 + 512 * k + 2 * v] = uint8_t(pos >> 8);
        }
    }
    return b;
}

// An offset resource of twelve entries.
std::vector<uint8_t> offsets() {
    std::vector<uint8_t> b(20 + 72, 0);
    b[4] = 0xE7, b[5] = 0xCB, b[6] = 0x0D, b[7] = 0xFF;
    put32(b, 8, 1), put32(b, 12, 20), put32(b, 16, 12);
    for (size_t k = 0; k < 12; ++k) b[20 + 6 * k] = b[21 + 6 * k] = b[23 + 6 * k] = b[24 + 6 * k] = 1;
    return b;
}

void fuzz_sml(const Exact& res, HXRMemMgr* mm, const uint32_t* dec, const uint32_t* enc) {
    HXRSmlResParser* p = HXRCreateSmlResParser(res.p, res.n, str_ncompare, mm);
    if (!p) return;
    const std::vector<uint8_t> cal = calibration();
    for (const Colours& c : kColours) {
        HXRClrMgr* clr = HXRCreateClrMgr(c.ink_set, c.bits, 0, mm);
        HXRSmlData* sml = HXRCreateTRAQ2SmlData(p, 0, clr, mm);
        if (!sml) continue;
        for (uint32_t with_cal = 0; with_cal < 2; ++with_cal) {
            const HXRBlobRef blob{with_cal ? cal.data() : nullptr, uint32_t(cal.size())};
            HXRSmlCorrectData* corr =
                HXRCreateTRAQ2SmlCorrectData(sml, blob, {}, nullptr, "", "", c.ink_set, c.bits, str_ncompare, nullptr, clr, mm);
            if (!corr) continue;
            const uint32_t mdf[12] = {512, 1024, 2048, 4096, 100, 3000, 1024, 1024, 1024, 1024, 1024, 1024};
            HXRControlInkWeightTRAQ2SmlByRate(corr, mdf);
            HXRPrepareFinalWeightTable(corr);
            uint32_t brs[256], index[256];
            for (uint32_t j = 0; j < 256; ++j) brs[j] = j * 260;
            for (uint32_t k = 0; k < HXRGetOutputColorNum(clr); ++k) {
                const uint32_t code = HXRGetOutputColorCode(clr, k);
                HXRSetBrsExcutedInkWeight(corr, brs, code);
                HXRGetSmlIndexTable(index, corr, code);
                HXRSmlColorData row{};
                if (HXRCopyTRAQ2SmlDataEveryColor(sml, &row, k, mm) != 0) continue;
                HXRGetSmlTable(row.rates, corr, code);
                HXRAddRateTRAQ2SmlDataEveryColor(&row);
                HXRSplitTRAQ2SmlDataEveryColor(&row, k & 1);
                const uint32_t block[16] = {5, 900, 17, 4079, 300, 301, 2222, 0, 3333, 60, 61, 1000, 2000, 3000, 1, 4000};
                uint8_t pre[64];
                uint16_t list[64];
                HXRUbecBuildBlock(block, 8 + 8 * (k & 1), &row, 32, dec, enc, pre, list);
                HXRFreeMem(mm, row.rates);
            }
            HXRDeleteTRAQ2SmlCorrectData(corr, mm);
        }
        for (uint32_t mode = 0; mode < 2; ++mode) {
            HXRSmlData* tnmx = HXRCreateTRAQ2SmlTNMXData(sml, mode, clr, mm);
            if (!tnmx) continue;
            HXRTRAQ2SmlTNMXExpandDotRate(sml, tnmx, clr, mm);
            std::vector<uint32_t> lut(256 * 4);
            for (size_t i = 0; i < lut.size(); ++i) lut[i] = uint32_t(i * 97 % 65536);
            const HXRLutTNMXData info{lut.data(), 256, 4};
            HXRGetTRAQ2SmlTNMXMergeLut(&sml->entry[0], 1, &info, 3, 4, tnmx);
            HXRGetTRAQ2SmlTNMXExpand(&sml->entry[1], 0, tnmx);
            HXRDeleteTRAQ2SmlData(tnmx, mm);
        }
        HXRDeleteTRAQ2SmlData(sml, mm);
    }
    HXRDeleteSmlResParser(p, mm);
}

// Resource 1 is the mask, every other one the offsets.
struct Served {
    std::vector<uint8_t> mask, offsets;
};
void* get_served(void* context, unsigned int* size, int id, int) {
    const auto* s = static_cast<const Served*>(context);
    const std::vector<uint8_t>& b = id == 1 ? s->mask : s->offsets;
    void* p = std::malloc(b.empty() ? 1 : b.size());
    if (p && !b.empty()) std::memcpy(p, b.data(), b.size());
    *size = unsigned(b.size());
    return p;
}

void fuzz_dither(const uint8_t* data, size_t size, HXRMemMgr* mm, const uint32_t* dec, const uint32_t* enc) {
    Served served{std::vector<uint8_t>(data, data + size), offsets()};
    HXRResMgr* rm = HXRCreateResMgr(get_served, free_resource, &served, copy, mm);
    HXRClrMgr* clr = HXRCreateClrMgr(3, 2, 0, mm);
    HXRDthResMgr* res = HXRCreateDthResMgr(1, 2, clr, str_ncompare, rm, mm);
    if (res) {
        // Rows like the model's: each dot size hands over to the next.
        std::vector<uint32_t> rates(256 * 3, 0);
        for (uint32_t v = 0; v < 256; ++v) {
            const uint32_t x = v * 48, s = std::min(x ? (x - 1) / 4080 : 0, 2u), rem = x - 4080 * s;
            rates[3 * v + s] = rem;
            if (s) rates[3 * v + s - 1] = 4080 - rem;
        }
        HXRSmlData sml{};
        for (uint32_t k = 0; k < 6; ++k) sml.entry[k] = {256, 3, {3, 6, 10}, rates.data()};
        HXRSmlCorrectData* corr = HXRCreateTRAQ2SmlCorrectData(&sml, {}, {}, nullptr, "", "", 3, 2, str_ncompare,
                                                               nullptr, clr, mm);
        HXRSmlDataMgr mgr{&sml, corr, nullptr};
        HXRLutData lut{};
        std::copy(dec, dec + 256, lut.decode);
        std::copy(enc, enc + 257, lut.encode);
        const HXRLutSlc slice{&lut, kLutSlice3D};
        for (uint32_t order = 1; order <= 2; ++order)
            for (uint32_t kind = 1; kind <= 4; ++kind) {
                const HXRDthLayout lay{order, 8192, order == 1 ? 2u : 4u, kind + 1, kind, 3};
                HXRTRAQ2DthDataMgr* m = HXRCreateTRAQ2DthDataMgrFrom(res, &lay, clr, mm);
                if (!m) continue;
                const HXRTRAQ2DthSingleData* list[kHxrMaxDthObjects];
                const uint32_t n = HXRGetTRAQ2DthSingleInfoDataList(m, list, kHxrMaxDthObjects);
                for (uint32_t ink = 0; ink < 6; ++ink) HXRSherchTRAQ2DthSingleInfoData(m, list, n, 0, ink);
                if (corr)
                    if (HXRTRAQ2UBECDataMgr* u = HXRCreateTRAQ2UBECDataMgr(&slice, &mgr, m, kind % 4, 0, 1, clr, mm))
                        HXRDeleteTRAQ2UBECDataMgr(u, mm);
                HXRDeleteTRAQ2DthDataMgr(m, mm);
            }
        HXRDeleteTRAQ2SmlCorrectData(corr, mm);
        HXRDeleteDthResMgr(res, mm);
    }
    HXRDeleteResMgr(rm);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    HXRMemMgr* mm = HXRCreateMemMgr(alloc, release);
    if (!mm) return 0;
    uint32_t dec[256], enc[257];
    HXRGetDbgDecTable(dec, 120, 100);
    HXRGetDbgEncTable(enc, 120, 100);
    if (data[0] == 0) {
        const Exact res(data + 1, size - 1);
        fuzz_sml(res, mm, dec, enc);
    } else {
        fuzz_dither(data + 1, size - 1, mm, dec, enc);
    }
    HXRSetErrorInfo(0);
    HXRDeleteMemMgr(mm);
    return 0;
}
