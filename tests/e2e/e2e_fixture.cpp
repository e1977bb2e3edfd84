#include "e2e_fixture.h"

#include <map>
#include <string>

#include "frontend/output_stream.h"
#include "support/stream_validator.h"

namespace ovcg_e2e {

void E2eTest::SetUp() {
    CountingHeap::reset();
    Sink::reset();
    ovcg::frontend::stream_error_clear_for_tests();  // an output failure stays for the process
    const ovcg_callbacks cb = counting_callbacks();
    ASSERT_EQ(ovcgInitialize("", &cb), OVCG_OK);
}

void E2eTest::TearDown() {
    EXPECT_EQ(ovcgRelease(), OVCG_OK);
    EXPECT_EQ(CountingHeap::live, 0) << "blocks of the caller's allocator left";
    Sink::reset();
}

const Bytes& E2eTest::golden(const JobSpec& job) {
    static std::map<std::string, Bytes> streams;
    const std::string key = job_key(job);
    auto it = streams.find(key);
    if (it != streams.end()) return it->second;
    Sink::reset();
    const JobResult r = run_job(job);
    EXPECT_TRUE(r.ok()) << r.describe();
    const ovcg_test::StreamCheck check = ovcg_test::ValidateStream(r.stream);
    EXPECT_TRUE(check.ok) << check.error;
    return streams.emplace(key, r.stream).first->second;
}

void E2eTest::expect_prints(const JobSpec& job, const std::string& after) {
    const Bytes& want = golden(job);
    Sink::reset();
    const JobResult r = run_job(job);
    EXPECT_TRUE(r.ok()) << "the job after " << after << ": " << r.describe();
    EXPECT_TRUE(r.stream == want) << "the job after " << after << " printed " << r.stream.size()
                                  << " bytes, not the " << want.size() << " of a fresh process";
}

}  // namespace ovcg_e2e
