// The calibration request of the job interface: runs the external
// calibration program of the printer's connection and maps its exit status.
// The printer name and directory of the last request are kept process-wide:
// the calibration tool of later jobs forms its file names from them.
#pragma once

#include <cstdint>
#include <string>

#include "ovcg/ovcg_jobif.h"

namespace ovcg {

// Codes of the request.
inline constexpr int32_t kCalibFailed = -10000;
inline constexpr int32_t kCalibNotStarted = -10127;

// The status a finished program reports, mapped to the request's result.
int32_t MapCalibExitStatus(int status);

// Runs `program` with the arguments printer, directory and "-c", without a
// shell: `tool_dir` (may be null or empty: the program is looked up on PATH)
// names the directory that holds the program. Returns the mapped exit
// status; kCalibNotStarted when the program cannot be started and
// kCalibFailed when it ends by a signal or cannot be waited for.
// *exit_status receives the raw exit status (-1 when there is none).
int32_t RunCalibProgram(const char* tool_dir, const char* program, const char* printer, const char* directory,
                        int* exit_status);

// The printer name and directory of the last request (empty when none).
void KeptCalibTarget(std::string* printer, std::string* directory);
void SetKeptCalibTarget(const char* printer, const char* directory);

}  // namespace ovcg
