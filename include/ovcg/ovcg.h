/* ovcg front end: the entry points a print filter calls, and the raster line
 * pipeline that feeds page lines to a sink.
 *
 * Calling order: ovcgInitialize, ovcgSetResource, option calls
 * (ovcgGetOptionList, ovcgGetChoiceList, ovcgSetPrintOption,
 * ovcgGetPageAttribute), then per job ovcgStartJob, per page ovcgStartPage,
 * ovcgRasterOut per line, ovcgEndPage, and ovcgEndJob; last ovcgRelease.
 * One front-end context per process: one job at a time, no concurrent calls.
 * Any thread may make the next call, one call at a time: a job may be started
 * on one thread and fed on another. A call made while another call is inside
 * the library, from another thread or from the output function (or a raster
 * sink) calling back, is refused with OVCG_ERR_ARGUMENT and changes nothing.
 * The raster pipeline functions below take part in the same rule.
 *
 * Every entry point returns 0 or one of the negative codes below. */
#ifndef OVCG_OVCG_H
#define OVCG_OVCG_H

#include <stddef.h>
#include <stdint.h>

#include "ovcg/ovcg_export.h"

#define OVCG_OK 0
#define OVCG_ERR_ENGINE (-1000)    /* the print engine or the output stream failed */
#define OVCG_ERR_NO_MEMORY (-1001) /* the caller's allocator returned null */
#define OVCG_ERR_ARGUMENT (-1200)  /* bad argument, option or state */
#define OVCG_ERR_CALLBACKS (-1300) /* incomplete callback record */

/* Resource kind accepted by ovcgSetResource: the model's resource file. */
#define OVCG_RESOURCE_FILE 1

/* Page attributes of ovcgGetPageAttribute. */
#define OVCG_PAGE_WIDTH 0  /* pixels of the source resolution */
#define OVCG_PAGE_HEIGHT 1 /* lines of the source resolution */
#define OVCG_PAGE_FLAG_0 2 /* always 0 */
#define OVCG_PAGE_FLAG_1 3 /* always 0 */

typedef void* (*ovcg_allocate_fn)(size_t size); /* null when out of memory */
typedef void (*ovcg_release_fn)(void* block);
/* Takes length bytes; returns how many it accepted (it is called again for
 * the rest), or a negative value on failure. A failure in a job's start or
 * end stream lasts for the process: every later ovcgStartJob and ovcgEndJob
 * returns OVCG_ERR_ENGINE without calling the output function. A failure
 * while it takes the print engine's data is reported by the call that was
 * sending (ovcgStartPage, ovcgRasterOut, ovcgEndPage or ovcgEndJob, also
 * when it ends a page left open) with OVCG_ERR_ENGINE, as every engine
 * failure is. From then on the job's stream may not be one a printer can
 * take (bytes may be missing, repeated or cut differently), so the caller
 * must not send it to one; later calls may fail as well. The caller ends the
 * job; the next job prints. */
typedef int32_t (*ovcg_output_fn)(const uint8_t* data, int32_t length);

/* The caller's callback record: eight pointer-sized slots. Slot 0 is not
 * used; slots 1 and 2 are the allocator; slots 3 to 7 must be non-null but the
 * library never calls them. */
typedef struct ovcg_callbacks {
    void* unused;
    ovcg_allocate_fn allocate;
    ovcg_release_fn release;
    void* reserved[5];
} ovcg_callbacks;

OVCG_API int32_t ovcgInitialize(const char* model, const ovcg_callbacks* callbacks);
/* Also frees a job left open (as does ovcgInitialize over a live context),
 * without calling its output function again. */
OVCG_API int32_t ovcgRelease(void);
OVCG_API void ovcgGetVersion(uint32_t* major, uint32_t* minor);
OVCG_API int32_t ovcgSetResource(int32_t kind, const char* path);
/* names null: *count receives the number of names. Otherwise *count is the
 * capacity of names on entry (too small: OVCG_ERR_ARGUMENT, nothing written)
 * and the number written on return. The strings belong to the library. */
OVCG_API int32_t ovcgGetOptionList(uint32_t* count, const char** names);
OVCG_API int32_t ovcgGetChoiceList(const char* option, uint32_t* count, const char** names);
OVCG_API int32_t ovcgSetPrintOption(const char* option, const char* choice);
OVCG_API int32_t ovcgGetPageAttribute(uint32_t which, uint32_t* value);
OVCG_API int32_t ovcgStartJob(ovcg_output_fn output, const char* job_id);
OVCG_API int32_t ovcgStartPage(void);
OVCG_API int32_t ovcgRasterOut(const uint8_t* line, int32_t length, int32_t unused);
OVCG_API int32_t ovcgEndPage(int32_t abort_page);
OVCG_API int32_t ovcgEndJob(void);

/* ---- Raster line pipeline ------------------------------------------------
 * A raster writer takes page lines, runs them through the pipes switched on in
 * the raster information (an offset pipe, then a disc-mask pipe), pads them
 * with white (0xFF) to the full line length and hands them to a sink. A null
 * line ends the page. */

typedef struct ovcg_raster_info {
    uint32_t size;               /* sizeof(ovcg_raster_info), 56 */
    uint32_t x_resolution;       /* dpi */
    uint32_t y_resolution;       /* dpi */
    uint32_t bytes_per_pixel;
    uint32_t width;              /* pixels */
    uint32_t height;             /* lines */
    uint32_t skip_lines;         /* leading lines dropped by a writer without pipes */
    uint32_t offset_on;          /* non-zero: offset pipe */
    uint32_t offset_left;        /* white pixels added at the left */
    uint32_t offset_top;         /* white lines added at the top */
    uint32_t disc_on;            /* non-zero: disc-mask pipe */
    uint32_t disc_hole_diameter; /* millimetres */
    uint32_t disc_top;           /* white lines before the disc */
    uint32_t disc_outline;       /* 1: draw the disc's outlines in black */
} ovcg_raster_info;

/* One stage: takes a line (null at the end of the page) of length bytes and
 * width pixels; sets *taken to 1 when the line went on. 0 or a failure code. */
typedef int32_t (*ovcg_raster_stage_fn)(void* context, const uint8_t* line, uint32_t length,
                                        uint32_t width, int32_t* taken);

typedef struct ovcg_raster_sink {
    void* context;
    ovcg_raster_stage_fn process;
} ovcg_raster_sink;

typedef struct ovcg_raster_pipe ovcg_raster_pipe;
typedef struct ovcg_raster_pipeline ovcg_raster_pipeline;
typedef struct ovcg_raster_writer ovcg_raster_writer;

/* The pipeline with the pipes the information switches on; null when out of
 * memory, for a null or undersized record or for an overlapping call. The
 * pipeline owns its pipes. It, its pipes and its writers are allocated from
 * the allocator installed when it is made (ovcgInitialize's, or the C
 * runtime's) and go back to that allocator, whatever is installed later. An
 * overlapping call of a function without a result does nothing. */
OVCG_API ovcg_raster_pipeline* raster_helper_create_pipeline(const ovcg_raster_info* info);
OVCG_API void raster_helper_destroy_pipeline(ovcg_raster_pipeline* pipeline);
/* 0, or non-zero when an allocation or a pipe's set-up fails or the call
 * overlaps another (*writer null). The pipeline must outlive the writer. */
OVCG_API int32_t ovcg_raster_init(ovcg_raster_writer** writer, const ovcg_raster_sink* sink,
                                  ovcg_raster_pipeline* pipeline);
/* 0 or the failure code of a stage; OVCG_ERR_ARGUMENT for a negative length
 * or an overlapping call. */
OVCG_API int32_t ovcg_raster_print(ovcg_raster_writer* writer, const uint8_t* line,
                                   int32_t length, int32_t unused, int32_t* taken);
/* Frees every pipe's state, the buffers and the writer (not the pipeline). */
OVCG_API void ovcg_raster_free(ovcg_raster_writer* writer);

/* The pipes' operations: set-up (0 or 1), one line (a stage), release. An
 * overlapping call: set-up 1, a line OVCG_ERR_ARGUMENT. */
OVCG_API int32_t ovcg_init_offset(ovcg_raster_pipe* pipe);
OVCG_API int32_t ovcg_process_offset(void* pipe, const uint8_t* line, uint32_t length,
                                     uint32_t width, int32_t* taken);
OVCG_API void ovcg_free_offset(ovcg_raster_pipe* pipe);
OVCG_API int32_t ovcg_init_cddvd(ovcg_raster_pipe* pipe);
OVCG_API int32_t ovcg_process_cddvd(void* pipe, const uint8_t* line, uint32_t length,
                                    uint32_t width, int32_t* taken);
OVCG_API void ovcg_free_cddvd(ovcg_raster_pipe* pipe);

#endif
