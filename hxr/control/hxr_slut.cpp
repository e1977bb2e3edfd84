#include "hxr/control/hxr_slut.h"

#include "hxr/control/hxr_alloc_array.h"
#include "hxr/control/hxr_dblgamma.h"
#include "hxr/control/hxr_lut_build.h"
#include "hxr/control/hxr_pkg_dataset.h"

namespace {

uint64_t fail(uint32_t code) {
    if (code) HXRSetErrorInfo(code);
    return kHxrPkgFail;
}

// A record: the header, the body `body` writes, zero bytes up to a multiple
// of 4. The header is written last, when the body's size is known.
template <typename Body>
uint64_t record(HXRPkgCursor c, uint32_t id, Body&& body) {
    uint8_t* head = nullptr;
    if (c && !(head = c->take(8))) return kHxrPkgFail;
    const uint64_t n = body(c);
    if (n == kHxrPkgFail) return kHxrPkgFail;
    const uint64_t pad = HXRGetBurySizeAlign4(n);
    if (n + pad > kHxrPkgMaxBytes - 8) return fail(kHxrSlutSize);
    HXRWrite0(c, pad);
    if (head) HXRWriteSlutHeader(head, id, static_cast<uint32_t>(n + pad));
    return 8 + n + pad;
}

// The 16-byte head of a LUT record.
uint64_t lut_head(HXRPkgCursor c, uint32_t colourNum, uint32_t colourFlag, uint32_t gridNum) {
    return HXRWriteLe4Byte(c, 1) + HXRWrite1Byte(c, colourNum) + HXRWrite1Byte(c, colourFlag) +
           HXRWriteLe2Byte(c, gridNum) + HXRWrite0(c, 8);
}

uint64_t power(uint32_t n, uint32_t d) {
    uint64_t r = 1;
    for (uint32_t i = 0; i < d; ++i) r *= n;
    return r;
}

// Whether a matrix can be written: sizes 1..65535.
bool matrix_fits(const HXRTRAQ2DthSingleData* d) {
    return d && d->view.SizeH > 0 && d->view.SizeH <= 0xFFFF && d->view.SizeV > 0 && d->view.SizeV <= 0xFFFF;
}

uint64_t dither_data_body(HXRPkgCursor c, const HXRTRAQ2DthSingleData* d) {
    const uint32_t w = static_cast<uint32_t>(d->view.SizeH), h = static_cast<uint32_t>(d->view.SizeV);
    const auto first = static_cast<uint32_t>(d->view.ShiftH), second = static_cast<uint32_t>(d->view.ShiftV);
    uint64_t n = HXRWriteLe4Byte(c, 1) + HXRWriteLe2Byte(c, w) + HXRWriteLe2Byte(c, h) + HXRWrite1Byte(c, 1);
    if (first == 0)
        n += HXRWrite1Byte(c, 1) + HXRWriteLe2Byte(c, second);
    else if (second == 0)
        n += HXRWrite1Byte(c, 2) + HXRWriteLe2Byte(c, first);
    n += HXRWrite0(c, 4);
    if (c) {
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                const uint32_t t = HXRPkgThreshold(d, x, y);
                if (t > 0xFFFF) return fail(kHxrSlutDitherLayout);
                c->u16le(static_cast<uint16_t>(t));
            }
    }
    return n + 2 * uint64_t(w) * h;
}

}  // namespace

void HXRWriteSlutHeader(uint8_t* position, uint32_t id, uint32_t size) {
    ovcg::ByteWriter w(position, 8);
    w.u32le(id);
    w.u32le(size);
}

HXRSlutIds HXRGetSlutIds(uint32_t code) {
    // Colour code -> slot of the identifier tables; codes 0 and 12 share slot 4.
    static constexpr struct {
        uint32_t code, slot;
    } kSlots[] = {{1, 1}, {2, 2}, {3, 3}, {12, 4}, {4, 5}, {5, 6},  {7, 7},
                  {11, 8}, {14, 9}, {15, 10}, {9, 11}, {13, 12}, {0, 4}, {21, 13}};
    for (const auto& s : kSlots)
        if (s.code == code)
            return {true, 0x10000 + s.slot, {0x40100 + 16 * s.slot, 0x40101 + 16 * s.slot, 0x40102 + 16 * s.slot},
                    0x50000 + s.slot};
    return {};
}

uint64_t HXRGetSlutLut(HXRPkgCursor c, const HXRLutSlc* slice, uint32_t gridNum, uint32_t colourNum,
                       uint32_t colourFlag, uint32_t lutType, uint32_t intent) {
    if (lutType == kLutSliceTNMX) {
        const HXRLutTNMXData* t = HXRGetTRAQ2LutTNMX(slice);
        if (!t || !t->table) return fail(kHxrSlutNoLut);
        if (gridNum != kSlutTnmxRows || t->gridNum != kSlutTnmxRows) return fail(kHxrSlutGrid);
        if (colourNum == 0) return fail(kHxrSlutGrid);
        if (colourNum > t->channels) return fail(kHxrSlutLutChannels);
        return record(c, kSlutIdTnmx, [&](HXRPkgCursor c) {
            const uint64_t head = lut_head(c, colourNum, colourFlag, gridNum);
            if (c)
                for (uint32_t r = 0; r < gridNum; ++r)
                    for (uint32_t k = 0; k < colourNum; ++k) c->u16le(uint16_t(t->table[size_t(r) * t->channels + k]));
            return head + 2 * uint64_t(gridNum) * colourNum;
        });
    }
    if ((lutType != kLutSlice3D && lutType != kLutSlice4D) || intent > 1) return fail(kHxrSlutNoLut);
    const HXRLutData* lut = lutType == kLutSlice3D ? HXRGetTRAQ2Lut3DColor(slice) : HXRGetTRAQ2Lut4DColor(slice);
    if (!lut || !lut->grid || lut->dimension != lutType) return fail(kHxrSlutNoLut);
    if (gridNum != lut->gridNum || gridNum > kSlutMaxGrid || gridNum == 0 || colourNum == 0) return fail(kHxrSlutGrid);
    if (colourNum > lut->channels) return fail(kHxrSlutLutChannels);
    const uint32_t id = lutType == kLutSlice3D ? kSlutId3D + intent : kSlutId4D;
    const uint64_t nodes = power(gridNum, lut->dimension);
    const uint32_t node_bytes = 4 * HXRGetLutUnitSizeU32(lut->channels);
    return record(c, id, [&](HXRPkgCursor c) {
        const uint64_t head = lut_head(c, colourNum, colourFlag, gridNum);
        if (c) {
            uint8_t* out = c->take(static_cast<size_t>(nodes * colourNum));
            if (!out) return kHxrPkgFail;
            const auto* grid = reinterpret_cast<const uint8_t*>(lut->grid);
            for (uint64_t n = 0; n < nodes; ++n)
                for (uint32_t k = 0; k < colourNum; ++k)
                    *out++ = grid[n * node_bytes + HXRSortIndexLutResToRebuildLut(k)];
        }
        return head + nodes * colourNum;
    });
}

uint64_t WriteGrid(HXRPkgCursor c, uint32_t gridNum, uint32_t lutType) {
    uint32_t levels[kSlutTnmxRows];
    if (gridNum > kSlutTnmxRows) return fail(kHxrSlutGrid);
    const uint32_t type = lutType == kLutSliceTNMX ? 1 : lutType;
    if (HXRGetRebuildGridPos(levels, gridNum, type) != 0) return fail(kHxrSlutGrid);
    if (c)
        for (uint32_t i = 0; i < gridNum; ++i) c->u8(static_cast<uint8_t>(levels[i]));
    return gridNum;
}

uint64_t HXRGetSlutGrid(HXRPkgCursor c, const HXRLutSlc* slice, uint32_t gridNum, uint32_t lutType) {
    if (lutType == kLutSliceTNMX) {
        const HXRLutTNMXData* t = HXRGetTRAQ2LutTNMX(slice);
        if (!t) return fail(kHxrSlutNoLut);
        if (gridNum != kSlutTnmxRows || t->gridNum != kSlutTnmxRows) return fail(kHxrSlutGrid);
    } else {
        const HXRLutData* lut = lutType == kLutSlice3D   ? HXRGetTRAQ2Lut3DColor(slice)
                                : lutType == kLutSlice4D ? HXRGetTRAQ2Lut4DColor(slice)
                                                         : nullptr;
        if (!lut) return fail(kHxrSlutNoLut);
        if (gridNum != lut->gridNum || gridNum > kSlutMaxGrid) return fail(kHxrSlutGrid);
    }
    return record(c, kSlutIdGrid, [&](HXRPkgCursor c) {
        const uint64_t head = HXRWriteLe4Byte(c, 1) + HXRWriteLe2Byte(c, gridNum);
        const uint64_t levels = WriteGrid(c, gridNum, lutType);
        return levels == kHxrPkgFail ? kHxrPkgFail : head + levels;
    });
}

uint64_t WriteSmlFmt2(HXRPkgCursor c, uint32_t id, const HXRSmlColorData* e, const uint32_t* indexTable,
                      const HXRSlutCorrection* corr, uint32_t code, const HXRClrMgr* colours) {
    const uint32_t dots = e ? e->dotSizeNum : 0, levels = e ? e->gradationNum : 0;
    if (!e || !e->rates || dots == 0 || dots > kHxrSmlMaxDots || levels == 0 || levels > 0xFFFF)
        return fail(0);
    // The correction positions of every dot, padded to the longest list.
    HXRCorrectOffset offsets[kHxrSmlMaxDots] = {};
    uint32_t most = 0;
    const uint32_t width = corr ? corr->positionSize : 0;
    if (corr) {
        if (!corr->mode || (width != 1 && width != 2)) return fail(0);
        for (uint32_t d = 0; d < dots; ++d) {
            offsets[d] = HXRGetCorrectOffset(corr->mode, code, d, width, colours);
            if (offsets[d].count > most) most = offsets[d].count;
        }
    }
    const uint64_t rates_at = 28 + 2 * uint64_t(dots);
    uint64_t at = rates_at + 2 * uint64_t(levels) * dots;
    const uint64_t corr_bytes = 2 + uint64_t(dots) * most * width;
    const uint64_t corr_at = corr ? at : 0;
    if (corr) at += corr_bytes + HXRGetBurySizeAlign2(corr_bytes);
    const uint64_t points_at = corr ? at : 0;
    if (corr) at += 2 + 8 * uint64_t(dots);
    const uint64_t index_at = indexTable ? at : 0;
    return record(c, id, [&](HXRPkgCursor c) {
        uint64_t n = HXRWriteLe4Byte(c, 2) + HXRWrite1Byte(c, dots) + HXRWrite1Byte(c, 2) + HXRWrite0(c, 2) +
                     HXRWriteLe2Byte(c, kSlutRateScale) + HXRWriteLe2Byte(c, levels);
        for (uint64_t off : {rates_at, corr_at, points_at, index_at}) n += HXRWriteLe4Byte(c, uint32_t(off));
        for (uint32_t d = 0; d < dots; ++d) n += HXRWriteLe2Byte(c, e->dotValue[d] * 10);
        if (c)
            for (uint64_t i = 0; i < uint64_t(levels) * dots; ++i) c->u16le(static_cast<uint16_t>(e->rates[i]));
        n += 2 * uint64_t(levels) * dots;
        if (corr) {
            const uint32_t empty = width == 1 ? 0xFF : 0xFFFF;
            n += HXRWrite1Byte(c, most) + HXRWrite1Byte(c, width);
            for (uint32_t d = 0; d < dots; ++d)
                for (uint32_t j = 0; j < most; ++j) {
                    const uint32_t v = j < offsets[d].count ? offsets[d].values[j] : empty;
                    n += width == 1 ? HXRWrite1Byte(c, v) : HXRWriteLe2Byte(c, v);
                }
            n += HXRWrite0(c, HXRGetBurySizeAlign2(corr_bytes));
            n += HXRWriteLe2Byte(c, 1);
            for (uint32_t d = 0; d < dots; ++d) {
                uint32_t p[4] = {};
                if (!corr->rate || HXRGetRateData2Point(corr->rate, p, code, d) != 0) {
                    // No line for the dot: the identity through the middle.
                    p[0] = 0, p[1] = 128, p[2] = 255, p[3] = 128;
                }
                for (uint32_t v : p) n += HXRWriteLe2Byte(c, v);
            }
        }
        if (indexTable) {
            n += HXRWriteLe2Byte(c, 256) + HXRWriteLe2Byte(c, 16);
            for (uint32_t j = 0; j < 256; ++j) n += HXRWriteLe2Byte(c, indexTable[j]);
        }
        return n;
    });
}

uint64_t HXRGetSlutSmlFmt2(HXRPkgCursor c, HXRSmlDataMgr* mgr, const HXRClrMgr* colours, uint32_t colourNum,
                           const HXRResReadController* readCtrl, uint32_t colourFlag, uint32_t outBits,
                           uint32_t lutType, HXRStrNCmpFn compare) {
    const HXRSmlData* data = !mgr ? nullptr : lutType == kLutSliceTNMX ? mgr->tnmx : mgr->sml;
    if (!data || colourNum > kHxrMaxInks) return fail(0);
    HXRSlutCorrection corr{};
    const HXRCfgResParser* cfg = HXRGetCfgRateParser(readCtrl, 0);
    if (cfg && compare)
        corr.mode = HXRSearchCorrectMode(cfg, colourFlag, outBits, HXRGetInkSetStr(readCtrl, 0),
                                         HXRGetMicroStr(readCtrl, 0), compare);
    if (corr.mode) {
        corr.positionSize = HXRGetIdPosSize(cfg);
        corr.rate = HXRGetRateParser(readCtrl, 0);
    }
    HXRPkgSum sum;
    for (uint32_t i = 0; i < colourNum && sum.ok; ++i) {
        const uint32_t code = HXRGetOutputColorCode(colours, i);
        const HXRSlutIds ids = HXRGetSlutIds(code);
        if (!ids.found) return fail(kHxrSlutColourCode);
        uint32_t index[256];
        if (HXRGetSDMSmlIndexTable(mgr, index, code) != 0) return fail(0);
        bool identity = true;
        for (uint32_t j = 0; j < 256; ++j) identity = identity && index[j] == 256 * j;
        sum += WriteSmlFmt2(c, ids.sml, &data->entry[i], identity ? nullptr : index, corr.mode ? &corr : nullptr,
                            code, colours);
    }
    return sum.result();
}

uint64_t HXRGetSlutDither(HXRPkgCursor c, const HXRTRAQ2DthDataMgr* dither, const HXRClrMgr* colours,
                          uint32_t colourNum) {
    if (!dither || colourNum > kHxrMaxInks) return fail(0);
    if (dither->areaNum > kSlutMaxAreas) return fail(kHxrSlutDitherLayout);
    const HXRTRAQ2DthSingleData* list[kHxrMaxDthObjects] = {};
    const uint32_t count = HXRGetTRAQ2DthSingleInfoDataList(dither, list, kHxrMaxDthObjects);
    if (count == 0 || count > kSlutMaxMatrices) return fail(kHxrSlutDitherLayout);
    HXRPkgSum sum;
    sum += record(c, kSlutIdDitherHeader,
                  [&](HXRPkgCursor c) { return HXRWriteLe4Byte(c, 1) + HXRWrite1Byte(c, count) + HXRWrite0(c, 3); });
    for (uint32_t j = 0; j < count && sum.ok; ++j) {
        if (!matrix_fits(list[j])) return fail(kHxrSlutDitherLayout);
        sum += record(c, kSlutIdDitherData + j, [&](HXRPkgCursor c) { return dither_data_body(c, list[j]); });
    }
    for (uint32_t i = 0; i < colourNum && sum.ok; ++i) {
        const HXRSlutIds ids = HXRGetSlutIds(HXRGetOutputColorCode(colours, i));
        if (!ids.found) return fail(kHxrSlutColourCode);
        for (uint32_t area = 0; area < kSlutMaxAreas && sum.ok; ++area) {
            const uint32_t from = area < dither->areaNum ? area : 0;
            const uint32_t m = HXRSherchTRAQ2DthSingleInfoData(dither, list, count, from, i);
            if (m == kHxrNoValue) return fail(kHxrSlutDitherLayout);
            sum += record(c, ids.index[area],
                          [&](HXRPkgCursor c) { return HXRWriteLe4Byte(c, 1) + HXRWrite1Byte(c, m) + HXRWrite0(c, 3); });
        }
    }
    return sum.result();
}

uint64_t HXRGetSlutDitherOffset(HXRPkgCursor c, const HXRTRAQ2DthDataMgr* dither, const HXRClrMgr* colours,
                                uint32_t colourNum) {
    HXRPkgSum sum;
    for (uint32_t i = 0; i < colourNum && sum.ok; ++i) {
        const HXRSlutIds ids = HXRGetSlutIds(HXRGetOutputColorCode(colours, i));
        if (!ids.found) return fail(kHxrSlutColourCode);
        const HXRDthOffset* off = HXRGetTRAQ2DthDataMgrDthOffSingleInfo(dither, 0, i);
        if (!off) return fail(0);
        sum += record(c, ids.offset, [&](HXRPkgCursor c) {
            return HXRWriteLe4Byte(c, 1) + HXRWriteLe2Byte(c, off->OffsetH) + HXRWriteLe2Byte(c, off->OffsetV);
        });
    }
    return sum.result();
}

uint64_t CreateSlutResource(HXRPkgCursor c, const HXRTRAQ2Data* set, const HXRResReadController* readCtrl,
                            uint32_t gridNum, const HXRClrMgr* colours, uint32_t colourFlag, uint32_t outBits,
                            uint32_t lutType, HXRStrNCmpFn compare) {
    if (!set || set->intentNum < 1 || set->intentNum > 2) return 0;
    const uint32_t k = HXRGetOutputColorNum(colours);
    HXRPkgSum sum;
    for (uint32_t i = 0; i < set->intentNum && sum.ok; ++i)
        sum += HXRGetSlutLut(c, set->lut[i], gridNum, k, colourFlag, lutType, i);
    if (sum.ok) sum += HXRGetSlutGrid(c, set->lut[0], gridNum, lutType);
    if (sum.ok) sum += HXRGetSlutSmlFmt2(c, set->sml[0][0], colours, k, readCtrl, colourFlag, outBits, lutType, compare);
    if (sum.ok) sum += HXRGetSlutDither(c, set->dither[0], colours, k);
    if (sum.ok) sum += HXRGetSlutDitherOffset(c, set->dither[0], colours, k);
    sum += HXRWriteLe4Byte(c, 0) + HXRWriteLe4Byte(c, 0);
    if (!sum.ok) return 0;
    if (sum.bytes > kHxrPkgMaxBytes) {
        HXRSetErrorInfo(kHxrSlutSize);
        return 0;
    }
    return sum.bytes;
}

HXRTRAQ2Data* HXRCreateTRAQ3DataSet(const HXRResReadController* readCtrl, const HXRHtCtrlAnswers* htCtrl,
                                    const _HXR_HALFTONE_INFO* halftone, const _HXR_OPTION_INFO* option,
                                    const HXRDataSetOptions* values, const HXRServiceTable* services,
                                    const HXRClrMgr* colours, HXRMemMgr* manager, const char* dutyModeId) {
    if (!readCtrl || !htCtrl || !halftone || !option || !values || !services || !colours || !manager) return nullptr;
    const HXRHtCtrlAnswers& a = *htCtrl;
    const uint32_t duty =
        HXRPkgDutyMode(values, option, colours, dutyModeId, kHxrSlutDutyNotARecord, kHxrSlutDutyOutOfRange);
    if (duty == 0) return nullptr;
    const uint32_t intents = HXRGetIntentNum(readCtrl);
    if (intents < 1 || intents > 2 || !a.needLut || (intents == 2 && a.lutType != kLutSlice3D)) {
        HXRSetErrorInfo(kHxrSlutNoLut);
        return nullptr;
    }
    auto* set = HXRAllocRecord<HXRTRAQ2Data>(manager);
    if (!set) return nullptr;
    set->intentNum = intents;
    bool ok = true;
    for (uint32_t i = 0; i < intents && ok; ++i) {
        const HXRLutResParser* p = HXRGetLutParser(readCtrl, i);
        if (!p) continue;
        set->lut[i] = HXRCreateTRAQ2LutSlc(p, a.lutType, a.lutGridNum, a.lutGridInfoType, halftone, option,
                                           dutyModeId, HXRPkgChannelMode(option, i), colours, manager);
        ok = i > 0 || set->lut[0];
    }
    const HXRPkgSmlRequest sml{readCtrl,          a.smlGradNum, a.needLut, halftone, values->calibration,
                               HXRBlobRef{},      services,     duty,      values->colorWords,
                               a.lutType == kLutSliceTNMX};
    ok = ok && HXRPkgMakeSml(set, sml, colours, manager);
    // Row pairs of two-byte thresholds, as the printer takes them.
    const HXRDthLayout layout{kHxrDthOrderRowPairs, 0, 2, 2, kHxrUbecBlockOwn, kHxrDthDataDither};
    if (ok && !a.needDth) {
        HXRSetErrorInfo(kHxrSlutNoDither);
        ok = false;
    }
    ok = ok && HXRPkgMakeDither(set, readCtrl, layout, colours, manager);
    if (ok) return set;
    HXRDeleteTRAQ2Data(set, manager);
    return nullptr;
}

HXRSlut* HXRCreateTRAQ3Data(const HXRResReadController* readCtrl, const HXRHtCtrlAnswers* htCtrl,
                            const _HXR_HALFTONE_INFO* halftone, const _HXR_OPTION_INFO* option,
                            const HXRDataSetOptions* values, const HXRServiceTable* services,
                            const HXRClrMgr* colours, HXRMemMgr* manager, const char* dutyModeId) {
    HXRTRAQ2Data* set = HXRCreateTRAQ3DataSet(readCtrl, htCtrl, halftone, option, values, services, colours,
                                              manager, dutyModeId);
    if (!set) return nullptr;
    uint32_t size = 0;
    uint8_t* data = HXRWriteTwoPass(manager, kHxrSlutSize, &size, [&](HXRPkgCursor c) {
        const uint64_t n = CreateSlutResource(c, set, readCtrl, htCtrl->lutGridNum, colours, halftone->inkSet,
                                              halftone->outputBits, htCtrl->lutType, services->StrNCmp);
        return n == 0 ? kHxrPkgFail : n;
    });
    HXRSlut* slut = data ? HXRAllocRecord<HXRSlut>(manager) : nullptr;
    if (slut)
        *slut = {data, size};
    else
        HXRFreeMem(manager, data);
    HXRDeleteTRAQ2Data(set, manager);
    return slut;
}

uint32_t HXRGetSlut(const HXRSlut* slut, const uint8_t** data, uint32_t* size) {
    if (!slut || !data || !size) {
        HXRSetErrorInfo(kHxrSlutNullArgument);
        return kHxrSlutNullArgument;
    }
    *data = slut->data;
    *size = slut->size;
    return 0;
}
