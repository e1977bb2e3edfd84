// Shared helpers of the front-end tests: a counting allocator that can be
// made to fail, a capturing output function, and a fixture that runs the
// front end against the recording fake of the job interface.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "frontend/context.h"
#include "frontend/heap.h"
#include "frontend/job_interface.h"
#include "frontend/options.h"
#include "frontend/output_stream.h"
#include "ovcg/ovcg.h"
#include "support/counting_heap.h"
#include "support/fake_job_interface.h"
#include "support/job_framing.h"

namespace ovcg_test {

// ---- Output ----
struct Capture {
    static inline std::vector<uint8_t> bytes;
    static inline std::vector<int32_t> writes;   // length asked for, per call
    static inline int32_t max_accept = 0;        // > 0: accept at most this many per call
    static inline long fail_at = -1;             // call index that returns -1
    static inline long zero_calls = 0;           // calls that return 0 before accepting
    static inline long over_report_at = -1;      // call index that claims one byte more
    static inline bool alternate = false;        // even calls accept nothing, odd calls one byte
    static void reset();
    static int32_t output(const uint8_t* data, int32_t length);
};


// ---- Fixture ----
class FrontendTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Sets options (name, choice) pairs.
    void set_options(std::initializer_list<std::pair<const char*, const char*>> options);
    // Starts a job on a 300-dpi RGB media with a plain A4 roll unless options were set.
    int32_t start_default_job(const char* id = "1");
    const ovcg::frontend::ovcg_context& ctx() const { return *ovcg::frontend::context(); }

    FakeJobInterface fake;
};

}  // namespace ovcg_test
