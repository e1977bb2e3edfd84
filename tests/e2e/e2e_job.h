// Jobs through the exported entry points, the way a print filter drives the
// library, with an output function and an allocator that tests can make
// misbehave. One front-end context per process: the helpers here keep the
// process-wide state (output sink, caller's heap) in one place.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ovcg/ovcg.h"
#include "support/counting_heap.h"

namespace ovcg_e2e {

using Bytes = std::vector<uint8_t>;

// The caller's output function: collects the stream and misbehaves on
// request. Calls are counted from 0 since the last reset.
struct Sink {
    enum class Fault {
        kNone,
        kFail,        // call `at` returns -1
        kStall,       // calls from `at` on accept nothing (return 0)
        kOverReport,  // call `at` claims one byte more than it was given
        kTrickle,     // every call accepts at most `at` bytes (no failure)
    };
    static inline Bytes bytes;
    static inline int64_t calls = 0;
    static inline Fault fault = Fault::kNone;
    static inline int64_t at = -1;
    static inline bool keep = true;  // false: the bytes are counted, not kept
    static inline uint64_t size = 0;
    static void reset(Fault f = Fault::kNone, int64_t n = -1);
    static int32_t output(const uint8_t* data, int32_t length);
};

// The caller's allocator: ovcg_test::CountingHeap (support/counting_heap.h).
using ovcg_test::CountingHeap;
using ovcg_test::counting_callbacks;

// Allocated bytes of the whole process (the sanitizer allocator's count in
// sanitizer builds, the C library's otherwise).
uint64_t process_allocated_bytes();

using Options = std::vector<std::pair<std::string, std::string>>;

// One job: its options, model file and how its pages are fed.
struct JobSpec {
    Options options;
    std::string model;
    int pages = 1;
    // Lines fed per page: -1 the announced height; more than announced is
    // allowed (the rest are dropped by the library).
    int64_t lines = -1;
    // Bytes per line: -1 the announced width times the pixel size.
    int64_t line_bytes = -1;
    // Ends the job while the last page is still open (no ovcgEndPage).
    bool end_in_page = false;
    int32_t abort_page = 0;  // the ovcgEndPage flag
    std::string job_id = "7";
};

// Every entry point's result (0 where the call was not made).
struct JobResult {
    int32_t start_job = 0;
    int32_t start_page = 0;  // the first failure over the pages
    int32_t raster = 0;      // the first failure over the lines
    int32_t end_page = 0;    // the first failure over the pages
    int32_t end_job = 0;
    uint32_t width = 0, height = 0;
    bool gray = false;
    Bytes stream;

    // Sink::calls as each run of calls to one entry point began, with the
    // field of that entry point's result.
    std::vector<std::pair<int64_t, int32_t JobResult::*>> entries;

    bool ok() const { return !start_job && !start_page && !raster && !end_page && !end_job; }
    // The result field of the entry point that made output call n.
    int32_t JobResult::*entry_of(int64_t call) const;
    // Every result is 0 or one of the documented codes.
    bool codes_known() const;
    std::string describe() const;
};

// Sets the options (every one of the eight, the rest to a choice that names
// nothing so that nothing stays from an earlier job), the resource and runs
// the job; the output goes to Sink as it is configured (not reset here).
JobResult run_job(const JobSpec& recipe);

// The model file the build writes.
std::string default_model_path();

// The jobs that must print correctly after every failure, on the smallest
// page the options allow (1193 x 1730 pixels), lines of a fixed pattern:
// colour by hybrid error diffusion (four inks of two-bit dots, halftoned by
// the parallel workers), or gray by dither (cheaper, for the long loops).
enum class Ink { kColour, kGray };
JobSpec reference_job(Ink ink = Ink::kColour);
// A key naming the job's options and feed, for caches of its stream.
std::string job_key(const JobSpec& job);

// A small page's lines: a deterministic pattern, `bytes` per line.
void pattern_line(uint32_t y, uint8_t* line, size_t bytes);

}  // namespace ovcg_e2e
