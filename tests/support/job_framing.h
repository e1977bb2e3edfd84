// The job-start and job-end byte streams the front end frames every job
// with, written out from their byte lists, for tests of the front end and of
// the print tool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ovcg_test {

// The job-start stream for a job identifier read as the number id.
std::vector<uint8_t> expected_job_start(uint32_t id);
std::vector<uint8_t> expected_job_end();
inline constexpr size_t kJobStartSize = 27 + 2 + 2 + 13 + 61 + 4 + 2 * (5 + 32767);

}  // namespace ovcg_test
