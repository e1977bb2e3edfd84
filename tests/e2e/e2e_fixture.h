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

    // The job's stream the first time the process ran it, on a clean sink.
    static const Bytes& golden(const JobSpec& job);
    // Runs the job on a clean sink and expects every result 0 and its
    // golden stream.
    static void expect_prints(const JobSpec& job, const std::string& after);

    // The reference job of the ink with a few lines a page: enough for
    // several passes of the head.
    static JobSpec short_job(Ink ink = Ink::kColour) {
        JobSpec j = reference_job(ink);
        j.lines = 8;
        return j;
    }
};

}  // namespace ovcg_e2e
