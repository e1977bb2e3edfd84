// The raster line pipeline's internals: pipes, pipeline and writer (their C
// interface is in ovcg/ovcg.h). The exported functions take the call claim;
// the front end, already inside a claimed call, uses the unclaimed ones
// declared at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frontend/heap.h"
#include "ovcg/ovcg.h"

// Size the raster information record announces.
inline constexpr uint32_t kRasterInfoSize = 56;
static_assert(sizeof(ovcg_raster_info) == kRasterInfoSize);

struct ovcg_raster_pipe {
    ovcg::frontend::ovcg_heap heap;  // the pipeline's: the pipe's blocks go back to it
    void* params;  // the pipe's parameter block (owned by the pipe)
    void* state;   // made by init, released by free
    ovcg_raster_stage_fn next;
    void* next_context;
    int32_t (*init)(ovcg_raster_pipe* pipe);
    ovcg_raster_stage_fn process;  // context: the pipe
    void (*free)(ovcg_raster_pipe* pipe);
};

inline constexpr uint32_t kMaxPipes = 2;

struct ovcg_raster_pipeline {
    ovcg::frontend::ovcg_heap heap;  // the allocator installed when it was made
    ovcg_raster_info info;
    ovcg_raster_pipe* pipes[kMaxPipes];
    uint32_t count;
};

struct ovcg_raster_writer {
    ovcg_raster_sink sink;
    ovcg_raster_pipeline* pipeline;
    uint32_t line_count;  // lines through the final stage
    uint32_t skip_count;  // lines seen by a writer without pipes
    size_t line_bytes;    // bytes per pixel x width
    uint8_t* pad_in;      // pads short incoming lines
    uint8_t* pad_out;     // pads short lines of the last pipe
};

namespace ovcg::frontend {

// Offset pipe parameters, derived from the raster information.
struct offset_params {
    size_t line_bytes;
    size_t left_bytes;
    uint32_t top_lines;
    uint32_t body_lines;
    uint32_t width;
};

// Disc-mask pipe parameters.
struct disc_params {
    uint32_t resolution;
    uint32_t bytes_per_pixel;
    uint32_t width;        // raster width in pixels
    uint32_t hole_mm;      // hole diameter
    uint32_t top_lines;    // white lines before the disc
    uint32_t outline;      // 1: outlines in black
};

// Disc geometry in pixels for a resolution (dpi) and hole diameter.
struct disc_geometry {
    uint32_t disc_width;    // pixels across the printable disc
    int32_t outer_radius;
    int32_t inner_radius;
};
disc_geometry disc_geometry_for(uint32_t resolution, uint32_t hole_mm);

// Copies length bytes of a line into a buffer of size bytes (length <= size)
// and fills the rest with white.
inline void copy_padded(uint8_t* buffer, size_t size, const uint8_t* line, size_t length) {
    std::memcpy(buffer, line, length);
    std::memset(buffer + length, 0xFF, size - length);
}

// Largest line a writer accepts (bytes per pixel x width).
inline constexpr size_t kMaxLineBytes = 0x7FFFFFFF;
// Resolutions the disc pipe can lay out.
inline constexpr uint32_t kDiscMaxResolution = 9600;

// The exported pipeline and writer functions without the call claim. The
// pipeline, its pipes and its writers are allocated from the allocator
// installed when the pipeline is made, and go back to it.
ovcg_raster_pipeline* create_pipeline(const ovcg_raster_info* info);
void destroy_pipeline(ovcg_raster_pipeline* pipeline);
int32_t init_writer(ovcg_raster_writer** writer, const ovcg_raster_sink* sink,
                    ovcg_raster_pipeline* pipeline);
int32_t print_line(ovcg_raster_writer* writer, const uint8_t* line, int32_t length,
                   int32_t* taken);
void free_writer(ovcg_raster_writer* writer);

}  // namespace ovcg::frontend
