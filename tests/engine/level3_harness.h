// Level-3 and page-language jobs (and level-2 jobs, whose head control is
// the library's) through the exported job interface with the default model
// file: the library's own parts, the halftone engine the recording fake. A
// job is given as pages of bands; the run keeps the spooler stream (header
// mode) and every result of the interface.
//
// The expected page of a level-3 job is derived here literally, pixel by
// pixel, from the bands as given: the frame and clip, the page bounds, the
// flips, the quarter turn, the rows made relative to the first printed row,
// the 16-bit reduction with its running dither seed and the colour the
// encode buffer takes. Nothing of the library's placement code is used.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine_interfaces.h"
#include "ovcg/ovcg_jobif.h"
#include "ovcg/ovcg_records.h"
#include "support/level3_objects.h"
#include "support/recording_hxr_engine.h"
#include "support/stream_validator.h"

namespace ovcg_test::l3 {

// The source formats a caller gives (135: 16-bit RGBX).
inline constexpr int kGray = 0, kRgb = 1, kRgbx = 7, kBgrx = 8, kRgbx16 = 135;

struct JobSpec {
    uint16_t media = 0;
    int src_format = kRgbx;
    int prt_format = 1;  // 1 colour (the CMYK ink set), 0 gray
    uint32_t width = 64, length = 48;  // print area, source pixels
    bool page_language = false;
    bool flip_h = false, flip_v = false, rotate = false;
    bool composite = false;   // the "CB" option
    bool cut_after = false;   // the "SP" option (deferred skip, cut after job)
    bool roll = false;        // the "BR" option
    bool empty_page = false;  // the CL / CLFL modes (media with attribute bit 1)
    bool continuous = false;  // the top-margin offset of a roll (one page for the caller's pages)
    bool header = true;       // spooler header mode
    int halftone_type = 3;
    tagPOINT src_resolution{300, 300}, prt_resolution{600, 600};
    int bits = 1;
    bool library_engine = false;  // the library's halftone engine instead of the fake
    int64_t fail_after = -1;      // the spool callback fails past this many bytes (-1: never)
    bool level2 = false;          // neither level 3 nor the page language in the mode word
    // The spool callback fails (-1) at every send inside the calls of this
    // step of the job.
    enum class Step { kNone, kPageStart, kBand, kPageEnd, kJobEnd } fail_in = Step::kNone;
    int32_t (*accept)(int32_t length) = nullptr;  // the count it answers (keeping up to that many); null: all
};

struct Band {
    tagRECT band{};  // page rows and columns (frame included)
    tagRECT clip{};  // band rows and columns
    bool frame = false;
    tagOSDEP3 desc{};
    uint32_t stride = 0;
    std::vector<uint8_t> bits;  // rows x stride
};

struct Page {
    std::vector<Band> bands;
    bool abort = false;
};

struct JobResult {
    int32_t init_job = 0, destroy = 0;
    int32_t page_length_extra = 0, page_gap = 0;  // the print mode's roll offsets
    std::vector<int32_t> init_page, band_out, end_page;
    std::vector<uint8_t> spool;
    SpoolCheck check;  // the header-mode stream taken apart and validated
    const std::vector<uint8_t>& data() const { return check.spool.data; }
};

// The model file the tests use (the build's, else one written once).
const std::string& ModelPath();

// Source pixel bytes of a caller's format (RGB counts 3, 16-bit RGBX 8).
unsigned SourceBytes(int format);

// A band of `rows` rows of the given width in page rows [top, top + rows)
// (frame f added around the image when f > 0), pixels from fill(page x,
// page y, sample) (band coordinates minus the frame).
template <class Fill>
Band MakeBand(const JobSpec& s, uint32_t top, uint32_t rows, uint32_t width, tagRECT clip, uint32_t frame,
              Fill fill) {
    Band b;
    b.band = tagRECT{0, top, width, top + rows};
    b.clip = clip;
    b.frame = frame > 0;
    b.desc.ImageFrameSize = frame;
    const unsigned bpp = SourceBytes(s.src_format);
    b.stride = width * bpp + 4;
    b.bits.assign(size_t{b.stride} * rows, 0);
    const bool sixteen = s.src_format == kRgbx16;
    const unsigned samples = sixteen ? 4 : bpp;
    for (uint32_t r = 0; r < rows; ++r)
        for (uint32_t c = 0; c < width; ++c)
            for (unsigned k = 0; k < samples; ++k) {
                const int x = int(c) - int(frame), y = int(top + r) - int(frame);
                const uint32_t v = fill(x, y, k);  // 0..255, or 0..65535 for 16-bit
                uint8_t* p = &b.bits[size_t{r} * b.stride + size_t{c} * bpp + k * (sixteen ? 2 : 1)];
                if (sixteen) {
                    p[0] = uint8_t(v);
                    p[1] = uint8_t(v >> 8);
                } else {
                    p[0] = uint8_t(v);
                }
            }
    return b;
}

// Runs one job: InitJob, per page InitPage, BandOut per band, TerminatePageEx
// (the page's abort flag), DestroyJob. hxr: the halftone engine fake.
JobResult RunJob(const JobSpec& recipe, const std::vector<Page>& pages, RecordingHxrEngine& hxr,
                 tagHTSTRUCT3_5* halftone = nullptr);

// The expected pages of a level-3 job: what the encode buffer of the media's
// encoder receives, in its layout (JPEG: RGB; RHV2: gray, CMYK or RGB), on
// the output page (rotated: length x width). written marks the pixels some
// band wrote.
struct Expected {
    bool check = true;  // false for an aborted page (its last lines are dropped)
    uint32_t width = 0, height = 0;
    int channels = 0;
    uint8_t white = 255;
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> written;
};
std::vector<Expected> ExpectedPages(const JobSpec& recipe, const std::vector<Page>& pages, int32_t extra = 0,
                                    int32_t gap = 0);

// The encoder (0 JPEG with identification data, 1 RHV2, 2 JPEG) of a media.
uint16_t EncoderOf(uint16_t media);

// Compares the painted objects of each page with the expected page: every
// written pixel painted and within `tolerance` (per sample), every other
// painted pixel white within it. Returns "" or the first difference.
std::string CompareWithObjects(const Level3Job& job, const std::vector<Expected>& expected, int tolerance,
                               double* meanError = nullptr);

}  // namespace ovcg_test::l3
