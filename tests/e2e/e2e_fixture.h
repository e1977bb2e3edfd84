// The fixture of the end-to-end tests: a front-end context per test, the
// caller's blocks all returned at its end, and the check that a job after a
// failure prints what the same job prints in a fresh process.
#pragma once

#include <gtest/gtest.h>

#include "e2e_job.h"

namespace ovcg_e2e {

class E2eTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The reference job with `lines` lines a page (-1 the whole page): its
    // stream the first time the process ran it, on a clean sink.
    static const Bytes& golden(int64_t lines);
    // Runs the reference job on a clean sink and expects it to print its
    // golden stream with every result 0.
    static void expect_reference_prints(int64_t lines, const std::string& after);

    // Lines a page of the short reference job: enough for several passes.
    static constexpr int64_t kShortLines = 40;
};

}  // namespace ovcg_e2e
