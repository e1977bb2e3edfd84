// The front-end context: one per process, from ovcgInitialize to ovcgRelease,
// in memory from the caller's allocator.
#pragma once

#include <cstdint>

#include "frontend/options.h"
#include "ovcg/ovcg.h"
#include "ovcg/ovcg_records.h"

namespace ovcg::frontend {

inline constexpr size_t kJobIdMax = 31;  // characters of a job identifier

struct ovcg_context {
    char* resource_path;
    char job_id[kJobIdMax + 1];
    HPLIMO3 job;
    tagPRTSTRUCT3_12 job_record;  // kept in its version-9 layout
    tagHTSTRUCT3_5 halftone;      // kept in its version-3 layout
    ovcg_page_info page;
    tagBANDBMP band_bitmap;  // bytes per buffered line, two-line buffer
    tagRECT clip;
    tagRECT band;            // bottom: lines received on the page
    uint32_t page_lines;     // line limit of the band collector
    uint32_t page_width;     // pixels per line, as the band collector saw them
    ovcg_raster_pipeline* pipeline;
    ovcg_raster_writer* writer;
    const optionHandlerInterface* handler;
    const char* resource_list[1];  // the resource-file list handed to the engine
    bool job_open;
    bool page_open;
};

// The process's context, or null (for tests and tools of this library).
const ovcg_context* context();

// The raster information of a page from the job record and page information.
// False when the page's size does not make a raster.
bool converter_set_rasterinfo_from_parameter_1(const tagPRTSTRUCT3_12& job,
                                               const ovcg_page_info& page, ovcg_raster_info* info);

// The band collector: the raster writer's sink.
int32_t pipeRasterOut(void* context, const uint8_t* line, uint32_t length, uint32_t width,
                      int32_t* taken);

}  // namespace ovcg::frontend
