#include "headcontrol/stm_band_path.h"

#include "headcontrol/codes.h"
#include "headcontrol/resource_stream.h"

#include <algorithm>

namespace ovcg::irac {

namespace {

constexpr uint32_t kWidestGroupBytes = 4;  // bit length 2, squared
constexpr uint8_t kBandBlock = 0;          // block index of the 14-byte raster header

bool engine(const StmJob& j) { return (j.option.flags & IRAC_OPT_ENGINE) != 0; }
uint32_t colours(const StmJob& j) { return j.printData.color_count; }
uint32_t lines_per_band(const StmJob& j) { return STR_GetLineNum(j.str); }

void free_band(StmJob& j) {
    for (uint32_t c = 0; c < kStmMaxColours; ++c) release_ptr(j.cb, j.band[c]);
    release_ptr(j.cb, j.blankLine);
}

void destroy(StmJob* j) {
    // The job keeps the table the parts call through: take a copy first.
    const CallbackTable cb = j->cb;
    OVC_Destructor_for_STM(j->ovc);
    if (j->mle) {
        MLE_EndPage(j->mle);
        MLE_Destructor(j->mle);
    }
    RSC_Destructor(j->rsc);
    STR_Destructor(j->str, &j->cb);
    free_band(*j);
    for (uint32_t c = 0; c < kStmMaxColours; ++c) {
        release_ptr(cb, j->startOffset[c]);
        release_ptr(cb, j->trailZeros[c]);
    }
    release_ptr(cb, j->lineFlags);
    release_ptr(cb, j->colourCodes);
    release(cb, j);
}

uint32_t check_arguments(const IdentifierPair& id, const PrintDataCopy& pd, const OptionCopy& opt) {
    if (pd.raster_width < 1 || pd.page_length < 1) return kStmBadArgument;
    if (pd.color_count < 1 || pd.color_count > kStmMaxColours || opt.direction != 0) return kStmBadArgument;
    for (uint32_t c = 0; c < pd.color_count; ++c)
        if (opt.pixel_shift[c] != 0) return kStmBadArgument;
    const bool withEngine = (opt.flags & IRAC_OPT_ENGINE) != 0;
    if (withEngine ? id.sub_mode >= 5 : id.sub_mode != 0) return kStmBadArgument;
    return 0;
}

uint32_t build(StmJob& j) {
    const CallbackTable* cb = &j.cb;
    if (uint32_t rc = STR_Constructor(&j.str, cb)) return rc;
    if (engine(j)) {
        if (uint32_t rc = RSC_Constructor(&j.rsc, j.identifier, j.option.flags, cb)) return rc;
        if (uint32_t rc = RSC_GetICMResourceData(j.rsc, &j.hcData)) return rc;
        if (uint32_t rc = MLE_Constructor(&j.mle, j.option.direction, cb, j.rsc)) return rc;
    }
    j.cb.fill(j.brsBlocking, 0, sizeof j.brsBlocking);
    if (uint32_t rc = OVC_Constructor_for_STM(&j.ovc, cb, STR_GetRle(j.str))) return rc;
    j.headForm = 1;
    if (alloc_array(j.cb, colours(j), kStmNoColourCodes, j.colourCodes)) return kStmNoColourCodes;
    const uint32_t n = lines_per_band(j);
    for (uint32_t c = 0; c < colours(j); ++c) {
        if (alloc_array(j.cb, n, kStmNoLineArrays, j.startOffset[c]) ||
            alloc_array(j.cb, n, kStmNoLineArrays, j.trailZeros[c]))
            return kStmNoLineArrays;
    }
    if (alloc_array(j.cb, n, kStmNoLineFlags, j.lineFlags)) return kStmNoLineFlags;
    return 0;
}

// The band buffers, made once per job. Sizes are worked out in 64 bits and
// must suit the platform's calls: 32-bit sizes, and int counts for the
// zero searches.
uint32_t make_band(StmJob& j) {
    const uint64_t lineBytes = uint64_t{kWidestGroupBytes} + j.printData.raster_width + 1;
    const uint64_t stride = lineBytes + 1;
    const uint64_t bytes = stride * lines_per_band(j);
    if (bytes > INT32_MAX) return kStmNoBand;
    j.bandLineBytes = static_cast<uint32_t>(lineBytes);
    j.bandStride = static_cast<uint32_t>(stride);
    j.bandBytes = bytes;
    for (uint32_t c = 0; c < colours(j); ++c)
        if (alloc_array(j.cb, bytes, kStmNoBand, j.band[c])) return kStmNoBand;
    return alloc_array(j.cb, stride, kStmNoBand, j.blankLine);
}

void place_left_offset(StmJob& j, uint32_t left) {
    const uint32_t dotsPerByte = 8u / j.bitLength;
    j.groupBytes = uint32_t{j.bitLength} * j.bitLength;
    j.groupDots = 8u * j.bitLength;
    const uint32_t r = left % j.groupDots;
    j.hposBase = left - r;
    j.startByte = r / dotsPerByte;
    j.startShift = (r % dotsPerByte) * j.bitLength;
}

uint32_t map_inks(StmJob& j, const uint8_t* inkCodes) {
    int16_t n = 0;
    const uint8_t* codes = nullptr;
    const uint8_t* commandColours = nullptr;
    STR_GetHXRInkInfo(j.str, &n, &codes, &commandColours);
    if (n < 1 || uint32_t(n) < colours(j)) return kStmUnknownInk;
    for (uint32_t c = 0; c < colours(j); ++c) {
        const uint8_t* found = std::find(codes, codes + n, inkCodes[c]);
        if (found == codes + n) return kStmUnknownInk;
        j.colourCodes[c] = commandColours[found - codes];
    }
    return 0;
}

uint8_t* band_line(const StmJob& j, uint32_t colour, uint32_t slot) {
    return j.band[colour] + uint64_t{slot} * j.bandStride;
}

// Stores colour c of one raster into band slot `slot`: its bytes from the
// first non-zero one on, from start byte + first, shifted right by the
// start shift (one more byte takes the last carry).
void store_colour(StmJob& j, uint32_t c, uint32_t slot, const uint8_t* src) {
    const int32_t width = static_cast<int32_t>(j.printData.raster_width);
    const int32_t first = j.cb.lead_zero_search(src, width);
    if (first < 0 || first >= width) return;
    j.lineFlags[slot] |= 1u << c;
    uint8_t* line = band_line(j, c, slot);
    j.cb.fill(line, 0, j.bandStride);
    uint8_t* dst = line + j.startByte + first;
    const uint32_t count = static_cast<uint32_t>(width - first);
    if (j.startShift == 0) {
        j.cb.copy(dst, src + first, count);
    } else {
        const uint32_t s = j.startShift;
        uint32_t carry = 0;
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t b = src[first + i];
            dst[i] = static_cast<uint8_t>(carry | (b >> s));
            carry = (b << (8 - s)) & 0xFFu;
        }
        dst[count] = static_cast<uint8_t>(carry);
    }
    j.startOffset[c][slot] = j.startByte + static_cast<uint32_t>(first);
    const int32_t trail = j.cb.trail_zero_search(line, static_cast<int32_t>(j.bandLineBytes));
    j.trailZeros[c][slot] = static_cast<uint32_t>(std::clamp<int32_t>(trail, 0, int32_t(j.bandLineBytes)));
}

// One colour of the band: B lines from byte `left`, W bytes each (W
// rounded up to even when coded, the spare byte of each line covering it).
uint32_t send_colour(StmJob& j, uint32_t c, uint32_t B, uint32_t left, uint32_t W) {
    OvcContext* ovc = j.ovc;
    const uint32_t bit = 1u << c;
    auto line = [&](uint32_t i) { return (j.lineFlags[i] & bit) ? band_line(j, c, i) + left : j.blankLine; };
    if (OVC_CheckCompress(ovc)) {
        const uint32_t W2 = W + (W & 1u);
        uint64_t priced = 0;
        for (uint32_t i = 0; i < B; ++i) priced += uint64_t(OVC_ClacRunLengthEncodingSize(ovc, line(i), W2));
        if (priced <= uint64_t{B} * W2) {
            ovc->codeFill = 0;
            uint64_t total = 0;
            for (uint32_t i = 0; i < B; ++i) {
                const int32_t n = (j.lineFlags[i] & bit) ? OVC_EncodeRastergraphics(ovc, line(i), W2)
                                                         : OVC_EncodeNullRastergraphics(ovc, W2);
                if (n < 0) return kOvcCodeNoRoom;
                total += uint32_t(n);
            }
            if (uint32_t rc = OVC_SendRasterImage_head_stm(ovc, kBandBlock, j.colourCodes[c], W2, uint32_t(total), B, 1,
                                                           uint8_t(j.bitLength), j.headForm))
                return rc;
            if (uint32_t rc = OVC_SendRasterImage_data_multi(ovc, nullptr)) return rc;
            return OVC_SendCR(ovc);
        }
    }
    const uint64_t data = uint64_t{B} * W;
    if (data > UINT32_MAX) return kOvcMultiHeadTooLarge;
    if (uint32_t rc = OVC_SendRasterImage_head_stm(ovc, kBandBlock, j.colourCodes[c], W, uint32_t(data), B, 0,
                                                   uint8_t(j.bitLength), j.headForm))
        return rc;
    for (uint32_t i = 0; i < B; ++i)
        if (uint32_t rc = OVC_SendRasterImage_data_multi(ovc, line(i))) return rc;
    return OVC_SendCR(ovc);
}

// Lines of the current band up to `first` entered as blank; whole blank
// bands send nothing, so they are passed over at once.
uint32_t enter_blank_lines(StmJob& j, uint32_t first) {
    const uint32_t n = lines_per_band(j);
    while (j.lineCounter < first) {
        if (j.lineCounter % n == 0 && first - j.lineCounter >= n) {
            j.lineCounter += (first - j.lineCounter) / n * n;
            j.bandStartLine = j.lineCounter;
            j.bandSent = 1;
            continue;
        }
        j.lineFlags[j.lineCounter % n] = 0;
        ++j.lineCounter;
        if (uint32_t rc = STM_WrapDrawRastergraphics(&j, j.lineCounter)) return rc;
    }
    return 0;
}

}  // namespace

uint32_t STM_Constructor(StmJob** out, const IdentifierPair* id, const PrintDataCopy* pd, const OptionCopy* opt,
                         IRACS_VALUE* value, const CallbackTable* cb) {
    if (!out || !id || !pd || !opt || !opt->pixel_shift || !value || !cb) return kStmNoRecords;
    if (uint32_t rc = check_arguments(*id, *pd, *opt)) return rc;
    StmJob* j = nullptr;
    if (alloc_record(*cb, kStmNoJob, j)) return kStmNoJob;
    j->pathTag = 1;
    j->state = kStmJobOpen;
    j->cb = *cb;
    j->identifier = *id;
    j->printData = *pd;
    j->option = *opt;
    j->printLength = pd->page_length;
    if (uint32_t rc = build(*j)) {
        destroy(j);
        return rc;
    }
    value->value = 0;
    *out = j;
    return 0;
}

void STM_Destructor(StmJob* j) {
    if (j) destroy(j);
}

void STM_AbortJob(StmJob* j) {
    if (!j) return;
    if (j->state == kStmPageOpen) j->state = kStmJobOpen;
    destroy(j);
}

uint32_t STM_StartPage(StmJob* j, int32_t leftOffset, const uint8_t* inkCodes) {
    if (!j) return kStmPageStartState;
    auto fail = [j](uint32_t rc) {
        if (j->mle) MLE_EndPage(j->mle);
        j->state = kStmFailed;
        return rc;
    };
    if (j->state != kStmJobOpen) {
        j->state = kStmFailed;
        return kStmPageStartState;
    }
    j->state = kStmPageOpen;
    if (!inkCodes || leftOffset < 0 || j->bitLength == 0) return fail(kStmBadPage);
    if (!j->blankLine)
        if (uint32_t rc = make_band(*j)) return fail(rc);
    for (uint32_t c = 0; c < colours(*j); ++c) j->cb.fill(j->band[c], 0, uint32_t(j->bandBytes));
    place_left_offset(*j, uint32_t(leftOffset));
    if (uint32_t rc = map_inks(*j, inkCodes)) return fail(rc);
    j->lineCounter = 0;
    j->bandStartLine = 0;
    j->bandSent = 0;
    if (engine(*j)) {
        int32_t top = 0;
        uint32_t position = 0;
        if (uint32_t rc = MLE_StartPage(j->mle, j->printData.page_length, uint16_t(colours(*j)), j->colourCodes,
                                        nullptr, &top))
            return fail(rc);
        if (uint32_t rc = MLE_CreateSchedulingTable(j->mle, 0, &position)) return fail(rc);
    }
    if (uint32_t rc = OVC_StartPage_for_STM(j->ovc, j->bandLineBytes, lines_per_band(*j))) return fail(rc);
    return 0;
}

uint32_t STM_DrawRasterData(StmJob* j, const RasterRun* run) {
    if (!j) return kStmRunState;
    auto fail = [j](uint32_t rc) {
        j->state = kStmDrawFailed;
        return rc;
    };
    if (j->state != kStmPageOpen) return fail(kStmRunState);
    if (!run) return fail(kStmNoRun);
    // A run that starts below the line counter would be stored at the
    // counter's line: refused, as lines already passed cannot be rewritten.
    // A line width below the raster width would read the last colour past
    // the caller's block.
    if (!run->lines || run->line_width > uint32_t(INT32_MAX) || run->line_width < j->printData.raster_width ||
        run->raster_count < 1 || run->raster_count > 2 ||
        run->first_raster > uint32_t(INT32_MAX) || run->first_raster < j->lineCounter)
        return fail(kStmBadRun);
    for (uint32_t k = 0; k < run->raster_count; ++k)
        if (!run->lines[k]) return fail(kStmBadRun);
    if (uint32_t rc = enter_blank_lines(*j, run->first_raster)) return fail(rc);
    const uint32_t n = lines_per_band(*j);
    for (uint32_t k = 0; k < run->raster_count; ++k) {
        const uint32_t slot = j->lineCounter % n;
        j->lineFlags[slot] = 0;
        for (uint32_t c = 0; c < colours(*j); ++c)
            store_colour(*j, c, slot, run->lines[k] + uint64_t{c} * run->line_width);
        ++j->lineCounter;
        if (uint32_t rc = STM_WrapDrawRastergraphics(j, j->lineCounter)) return fail(rc);
    }
    return 0;
}

uint32_t STM_WrapDrawRastergraphics(StmJob* j, uint32_t count) {
    if (!j) return kStmRunState;
    return count % lines_per_band(*j) == 0 ? STM_DrawRastergraphics(j) : 0;
}

uint32_t STM_DrawRastergraphics(StmJob* j) {
    if (!j || !j->blankLine) return kStmRunState;
    const uint32_t n = lines_per_band(*j);
    const uint32_t B = j->lineCounter % n == 0 ? n : j->lineCounter % n;
    bool fed = false;
    j->bandSent = 1;
    for (uint32_t c = 0; c < colours(*j); ++c) {
        uint64_t left = j->bandBytes, trail = j->bandBytes;
        bool any = false;
        for (uint32_t i = 0; i < B; ++i) {
            if (!(j->lineFlags[i] & (1u << c))) continue;
            any = true;
            left = std::min<uint64_t>(left, j->startOffset[c][i]);
            trail = std::min<uint64_t>(trail, j->trailZeros[c][i]);
        }
        if (!any) continue;
        if (!fed) {
            if (uint32_t rc = OVC_SendVPos(j->ovc, j->bandStartLine)) return rc;
            fed = true;
        }
        left -= left % j->groupBytes;
        const uint64_t hpos = left * 8 / j->bitLength + j->hposBase;
        if (hpos > uint64_t(INT32_MAX)) return kOvcNegativeHPos;
        if (uint32_t rc = OVC_SendHPos(j->ovc, int32_t(hpos))) return rc;
        const int64_t W = int64_t{j->bandLineBytes} - int64_t(left) - int64_t(trail);
        if (W < 0) return kStmNegativeWidth;
        if (uint32_t rc = send_colour(*j, c, B, uint32_t(left), uint32_t(W))) return rc;
    }
    j->bandStartLine = j->lineCounter;
    return 0;
}

uint32_t STM_EndPage(StmJob* j) {
    if (!j) return kStmPageEndState;
    if (j->state == kStmPageOpen) {
        j->state = kStmJobOpen;
        uint32_t rc = 0;
        if (j->lineCounter % lines_per_band(*j) != 0) rc = STM_DrawRastergraphics(j);
        if (j->mle) MLE_EndPage(j->mle);
        if (rc) j->state = kStmFailed;
        return rc;
    }
    if (j->mle) MLE_EndPage(j->mle);
    if (j->state == kStmDrawFailed) {
        j->state = kStmFailed;
        return 0;
    }
    j->state = kStmFailed;
    return kStmPageEndState;
}

}  // namespace ovcg::irac
