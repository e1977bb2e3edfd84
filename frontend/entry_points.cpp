#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "frontend/call_claim.h"
#include "frontend/context.h"
#include "frontend/heap.h"
#include "frontend/job_interface.h"
#include "frontend/output_stream.h"
#include "frontend/raster_pipeline.h"
#include "ovcg/ovcg.h"

using namespace ovcg::frontend;

namespace {

// Read and written only under the call claim: one call at a time, from
// whichever thread makes it.
ovcg_context* lp_info = nullptr;

void release_page_objects(ovcg_context* c) {
    free_writer(c->writer);
    c->writer = nullptr;
    destroy_pipeline(c->pipeline);
    c->pipeline = nullptr;
    c->page_open = false;
}

void release_band_buffer(ovcg_context* c) {
    ovcg_free(c->band_bitmap.Bits);
    c->band_bitmap.Bits = nullptr;
    c->band_bitmap.WidthBytes = 0;
}

// Sends the lines buffered since the last band as one band of its own.
int32_t send_band(ovcg_context* c, uint32_t top, uint32_t bottom) {
    c->clip = {0, 0, c->page_width, bottom - top};
    c->band = {0, top, c->page_width, bottom};
    return ji_BandOut(c->job, &c->clip, &c->band_bitmap, nullptr, &c->band, nullptr);
}

}  // namespace

namespace ovcg::frontend {

const ovcg_context* context() { return lp_info; }

bool converter_set_rasterinfo_from_parameter_1(const tagPRTSTRUCT3_12& job,
                                               const ovcg_page_info& page, ovcg_raster_info* info) {
    *info = ovcg_raster_info{};
    info->size = kRasterInfoSize;
    int64_t w = job.src_print_area_ex.x, h = job.src_print_area_ex.y;
    if (job.ex_option & OVCG_EXO_TB) {
        switch (job.bin_ID) {
            case 257: case 531: case 534: case 535: case 538: case 539:
                if (job.paper_ID == 652) {
                    w -= 24;
                    h += 58;
                } else if (job.paper_ID == 604) {
                    w += 28;
                    h += 150;
                } else {
                    w += 28;
                    h += 126;
                }
                break;
            case 264:
                if (job.paper_ID == 604) {
                    h += 63;
                } else if (job.paper_ID != 652) {
                    w += 28;
                    h += 60;
                }
                break;
            default: break;
        }
    }
    if (w <= 0 || h <= 0 || job.src_resolution.x <= 0 || job.src_resolution.y <= 0) return false;
    info->x_resolution = static_cast<uint32_t>(job.src_resolution.x);
    info->y_resolution = static_cast<uint32_t>(job.src_resolution.y);
    info->bytes_per_pixel = job.src_format == 1 ? 3 : 1;
    info->width = static_cast<uint32_t>(w);
    info->height = static_cast<uint32_t>(h);
    info->skip_lines = page.word[kPageSkipLines];
    return true;
}

int32_t pipeRasterOut(void* ctx, const uint8_t* line, uint32_t length, uint32_t width,
                      int32_t* taken) {
    auto* c = static_cast<ovcg_context*>(ctx);
    if (!line) return 0;
    const uint64_t rounded = (uint64_t{length} + 3) & ~uint64_t{3};
    if (rounded > c->band_bitmap.WidthBytes) {
        if (rounded > 0x7FFFFFFF) return OVCG_ERR_NO_MEMORY;
        const size_t bpl = static_cast<size_t>(rounded);
        auto* bits = static_cast<uint8_t*>(ovcg_malloc(2 * bpl));
        if (!bits) return OVCG_ERR_NO_MEMORY;
        std::memset(bits, 0xFF, 2 * bpl);
        // The lines already buffered move over: they are not sent yet.
        if (uint8_t* old = c->band_bitmap.Bits) {
            const size_t old_bpl = c->band_bitmap.WidthBytes;
            std::memcpy(bits, old, old_bpl);
            std::memcpy(bits + bpl, old + old_bpl, old_bpl);
        }
        ovcg_free(c->band_bitmap.Bits);
        c->band_bitmap.Bits = bits;
        c->band_bitmap.WidthBytes = static_cast<uint32_t>(bpl);
    }
    const uint32_t n = c->band.bottom;
    if (n >= c->page_lines) return 0;  // past the page: dropped
    c->page_width = width;
    if (n >= 2 && n % 2 == 0) {
        int32_t r = send_band(c, n - 2, n);
        c->band.top = n;
        if (r != 0) return OVCG_ERR_ENGINE;
    }
    uint8_t* slot = c->band_bitmap.Bits + static_cast<size_t>(n % 2) * c->band_bitmap.WidthBytes;
    copy_padded(slot, c->band_bitmap.WidthBytes, line, length);
    c->band.bottom = n + 1;
    if (taken) *taken = 1;
    return 0;
}

}  // namespace ovcg::frontend

// ---- Entry points -------------------------------------------------------------


namespace {

// Takes every byte and keeps none.
int32_t discard_output(const uint8_t*, int32_t length) { return length; }

// Frees the context and whatever the caller left open with it, to the
// allocator installed with it. A job left open is freed without a byte more
// to the caller's output function: the caller has let the job go, and its
// destination may be closed, or its descriptor reused, by now. What the
// engine sends as it ends the job (the rows its halftoning still holds, the
// document's end) goes nowhere.
void release_context() {
    ovcg_context* c = lp_info;
    if (!c) return;
    if (c->page_open) release_page_objects(c);
    if (c->job_open) {
        output_set_function(discard_output);
        ji_DestroyJob(c->job);
    }
    release_band_buffer(c);
    ovcg_free(c->resource_path);
    c->handler->FreePrintParam(&c->job_record, &c->halftone, &c->page);
    c->~ovcg_context();
    ovcg_free(c);
    lp_info = nullptr;
}

}  // namespace

int32_t ovcgInitialize(const char* model, const ovcg_callbacks* callbacks) {
    if (!callbacks || !callbacks->allocate || !callbacks->release) return OVCG_ERR_CALLBACKS;
    for (void* slot : callbacks->reserved)
        if (!slot) return OVCG_ERR_CALLBACKS;
    const CallClaim claim;
    if (!claim) return OVCG_ERR_ARGUMENT;
    // A second initialisation starts afresh rather than leak the first
    // context, whose blocks go back to the allocator they came from.
    release_context();
    ovcg_heap_set_extern_functions(callbacks->allocate, callbacks->release);
    void* mem = ovcg_malloc(sizeof(ovcg_context));
    if (!mem) return OVCG_ERR_NO_MEMORY;
    lp_info = new (mem) ovcg_context{};
    lp_info->handler = ww_option_handler(model ? model : "");
    lp_info->handler->Init();
    lp_info->handler->InitPrintParam(&lp_info->job_record, &lp_info->halftone, &lp_info->page);
    return OVCG_OK;
}

int32_t ovcgRelease(void) {
    const CallClaim claim;
    if (!claim) return OVCG_ERR_ARGUMENT;
    release_context();
    return OVCG_OK;
}

void ovcgGetVersion(uint32_t* major, uint32_t* minor) {
    if (major) *major = 1;
    if (minor) *minor = 0;
}

int32_t ovcgSetResource(int32_t kind, const char* path) {
    const CallClaim claim;
    if (!claim) return OVCG_ERR_ARGUMENT;
    if (!lp_info || !path || kind != OVCG_RESOURCE_FILE) return OVCG_ERR_ARGUMENT;
    size_t n = std::strlen(path);
    auto* copy = static_cast<char*>(ovcg_malloc(n + 1));
    if (!copy) return OVCG_ERR_NO_MEMORY;
    std::memcpy(copy, path, n + 1);
    ovcg_free(lp_info->resource_path);
    lp_info->resource_path = copy;
    return OVCG_OK;
}

int32_t ovcgGetOptionList(uint32_t* count, const char** names) {
    const CallClaim claim;
    if (!claim || !lp_info) return OVCG_ERR_ARGUMENT;
    return lp_info->handler->GetOptionList(count, names);
}

int32_t ovcgGetChoiceList(const char* option, uint32_t* count, const char** names) {
    const CallClaim claim;
    if (!claim || !lp_info) return OVCG_ERR_ARGUMENT;
    return lp_info->handler->GetChoiceList(option, count, names);
}

int32_t ovcgSetPrintOption(const char* option, const char* choice) {
    const CallClaim claim;
    if (!claim || !lp_info || !option || !choice) return OVCG_ERR_ARGUMENT;
    lp_info->handler->SetOptionChoiceByOrder(option, choice);
    return OVCG_OK;
}

int32_t ovcgGetPageAttribute(uint32_t which, uint32_t* value) {
    const CallClaim claim;
    if (!claim || !lp_info || !value) return OVCG_ERR_ARGUMENT;
    switch (which) {
        case OVCG_PAGE_WIDTH: *value = lp_info->page.word[kPageWidth]; return OVCG_OK;
        case OVCG_PAGE_HEIGHT: *value = lp_info->page.word[kPageHeight]; return OVCG_OK;
        case OVCG_PAGE_FLAG_0: *value = lp_info->page.word[kPageFlag0]; return OVCG_OK;
        case OVCG_PAGE_FLAG_1: *value = lp_info->page.word[kPageFlag1]; return OVCG_OK;
        default: return OVCG_ERR_ARGUMENT;
    }
}

int32_t ovcgStartJob(ovcg_output_fn output, const char* job_id) {
    const CallClaim claim;
    if (!claim) return OVCG_ERR_ARGUMENT;
    ovcg_context* c = lp_info;
    if (!c || !output || !job_id) return OVCG_ERR_ARGUMENT;
    if (strnlen(job_id, kJobIdMax + 1) > kJobIdMax) return OVCG_ERR_ARGUMENT;
    if (!c->resource_path || c->job_open) return OVCG_ERR_ARGUMENT;

    int32_t r = c->handler->ConvertPrintParam(&c->job_record, &c->halftone, &c->page);
    if (r == kConvertNoMemory) return OVCG_ERR_NO_MEMORY;
    if (r != 0) return OVCG_ERR_ARGUMENT;

    output_set_function(output);
    c->job_record.ex_option |= OVCG_EXO_NJ;
    std::memset(c->job_id, 0, sizeof c->job_id);
    std::strncpy(c->job_id, job_id, kJobIdMax);
    c->page.word[kPageCounter] = 1;

    if (StartJob(c->job_id) != 0) return OVCG_ERR_ENGINE;

    c->resource_list[0] = c->resource_path;
    tagOPTION options{};
    options.lpszHT_File = nullptr;
    options.lpszMW_File = nullptr;
    options.lppszRsc_File = c->resource_list;
    options.NumRsc = 1;
    options.lpfuncSpool = print_spool;
    options.hParam = nullptr;
    c->job = nullptr;
    r = ji_InitJob(&c->job, &c->job_record, &options);
    release_band_buffer(c);
    if (r != 0) return OVCG_ERR_ENGINE;
    c->job_open = true;
    return OVCG_OK;
}

int32_t ovcgStartPage(void) {
    const CallClaim claim;
    if (!claim) return OVCG_ERR_ARGUMENT;
    ovcg_context* c = lp_info;
    if (!c || !c->job_open || c->page_open) return OVCG_ERR_ARGUMENT;
    c->band = {0, 0, 0, 0};
    c->clip = {0, 0, 0, 0};
    c->page_width = 0;
    c->page_lines = c->job_record.src_print_area_ex.y > 0
                        ? static_cast<uint32_t>(c->job_record.src_print_area_ex.y)
                        : 0;
    ovcg_raster_info info;
    if (!converter_set_rasterinfo_from_parameter_1(c->job_record, c->page, &info))
        return OVCG_ERR_ENGINE;
    c->pipeline = create_pipeline(&info);
    if (!c->pipeline) return OVCG_ERR_ENGINE;
    const ovcg_raster_sink sink = {c, pipeRasterOut};
    if (init_writer(&c->writer, &sink, c->pipeline) != 0) {
        release_page_objects(c);
        return OVCG_ERR_ENGINE;
    }
    int32_t r = ji_InitPage(c->job, &c->halftone);
    if (r != 0) {
        std::fprintf(stderr, "WARNING: filter, ovcgStartPage, InitPage() failed with pli_error %d\n",
                     r);
        release_page_objects(c);
        return OVCG_ERR_ENGINE;
    }
    c->page_open = true;
    return OVCG_OK;
}

int32_t ovcgRasterOut(const uint8_t* line, int32_t length, int32_t) {
    const CallClaim claim;
    if (!claim) return OVCG_ERR_ARGUMENT;
    ovcg_context* c = lp_info;
    if (!c || length < 0 || !line) return OVCG_ERR_ARGUMENT;
    if (!c->page_open) return OVCG_OK;
    int32_t taken = 0;
    return print_line(c->writer, line, length, &taken);
}

namespace {

int32_t end_page(ovcg_context* c, int32_t abort_page) {
    ++c->page.word[kPageCounter];
    int32_t taken = 0;
    print_line(c->writer, nullptr, 0, &taken);
    int32_t band_result = 0;
    if (!abort_page && c->band.bottom > c->band.top && c->band.bottom <= c->page_lines)
        band_result = send_band(c, c->band.top, c->band.bottom);
    tagTPINFOSTRUCT end{};
    end.version = 1;
    end.bAbort = abort_page;
    int32_t r = ji_TerminatePageEx(c->job, &end);
    release_page_objects(c);
    return (r != 0 || band_result != 0) ? OVCG_ERR_ENGINE : OVCG_OK;
}

}  // namespace

int32_t ovcgEndPage(int32_t abort_page) {
    const CallClaim claim;
    if (!claim) return OVCG_ERR_ARGUMENT;
    ovcg_context* c = lp_info;
    if (!c || !c->page_open) return OVCG_ERR_ARGUMENT;
    return end_page(c, abort_page);
}

int32_t ovcgEndJob(void) {
    const CallClaim claim;
    if (!claim) return OVCG_ERR_ARGUMENT;
    ovcg_context* c = lp_info;
    if (!c) return OVCG_ERR_ARGUMENT;
    // After an output failure every job end reports it, also that of a job
    // whose start the failure refused.
    if (!c->job_open) return stream_error() ? OVCG_ERR_ENGINE : OVCG_ERR_ARGUMENT;
    // A page left open is abandoned. Should ending it fail (its page end not
    // sent, say), the job is still freed, and the failure is this call's:
    // the job end is then not written, as after a failed document end.
    const int32_t page = c->page_open ? end_page(c, 1) : OVCG_OK;
    int32_t r = ji_DestroyJob(c->job);
    c->job_open = false;
    release_band_buffer(c);
    if (r != 0 || page != OVCG_OK) return OVCG_ERR_ENGINE;
    return EndJob();
}
