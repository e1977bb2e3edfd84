// The front end's output path: the caller's output function, the job-start
// and job-end byte streams that frame every job, and the spool callback
// through which the print engine's bytes reach the same function.
#pragma once

#include <cstdint>

#include "common/write_all.h"
#include "ovcg/ovcg.h"

namespace ovcg::frontend {

// Consecutive zero counts from the output function after which a write is
// given up as failed.
using ovcg::kMaxIdleWrites;

// Installs the output function; the stream-error flag stays as it is.
void output_set_function(ovcg_output_fn output);
ovcg_output_fn output_function();

// Writes length bytes through the output function, calling it again for
// what it did not accept. Returns length, 0 for length 0, or -1: negative
// length, a failure of the output function (which sets the stream-error flag),
// a count beyond what was asked, or a flag already set (no call is made).
int32_t PrintStream(const uint8_t* data, int32_t length);

// The stream-error flag: set by the first failed write of the framing
// streams, kept for the life of the process (no entry point clears it). A
// job whose output failed writes nothing more and reports the failure at its
// end, and every later job start and job end reports it, writing nothing.
// The clear is only for a process's own tests.
bool stream_error();
void stream_error_clear_for_tests();

// Job framing. The identifier must be shorter than 32 characters; it is sent
// as the decimal number it reads as (0 for text that is no number).
// 0, or OVCG_ERR_ENGINE when the stream-error flag is set at the end.
int32_t StartJob(const char* job_id);
int32_t EndJob();

// The print engine's spool callback: writes the whole chunk through the
// output function. Returns length (0 for nothing to write), or -1 when the
// output function fails or gives up, or for a negative length or no data (a
// failure to the engine's spooler, which would call again after a count of
// 0). Does not touch the stream-error flag.
int32_t print_spool(void* context, const uint8_t* data, int32_t length);

}  // namespace ovcg::frontend
