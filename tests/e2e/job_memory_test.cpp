// A thousand jobs in one process, good and bad ones mixed, leave the
// process's allocated bytes and blocks where they started: nothing a job
// allocates outlives it, whatever way it ends. (What the process keeps from
// one job to the next, the C library's cache of thread stacks among it, is
// counted by the bytes asked for, which do not depend on the threads'
// timing.)
#include <memory>
#include <string>
#include <vector>

#include "e2e_fixture.h"
#include "frontend/output_stream.h"
#include "support/heap_counter.h"
#include "support/model.h"
#include "support/res_writer.h"
#include "support/sanitized.h"

namespace ovcg_e2e {
namespace {

TEST_F(E2eTest, AThousandJobsLeaveTheHeapWhereItWas) {
    // Models that fail at different depths: the file cut short, the halftone
    // index or the head-control resource gone or cut.
    const ovcg_test::ResWriter good = ovcg_test::build_model(ovcg_test::default_model());
    const ovcg_test::Bytes file = good.bytes();
    std::vector<std::unique_ptr<ovcg_test::TempFile>> broken;
    auto keep = [&](const ovcg_test::Bytes& bytes) {
        broken.push_back(std::make_unique<ovcg_test::TempFile>("ovcg_e2e_memory"));
        ASSERT_TRUE(ovcg_test::write_bytes(broken.back()->path(), bytes));
    };
    keep(ovcg_test::Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(file.size() / 2)));
    keep(ovcg_test::Bytes(file.begin(), file.begin() + 100));
    for (auto [type, id, cut] : {std::tuple{ovcg_test::kResTypeHalftone, 100, false},
                                 std::tuple{ovcg_test::kResTypeHeadControl, 256, true}}) {
        ovcg_test::ResWriter w = good;
        const ovcg_test::Bytes* data = w.find(type, static_cast<uint16_t>(id));
        ASSERT_NE(data, nullptr);
        if (cut)
            w.replace(type, static_cast<uint16_t>(id), ovcg_test::Bytes(data->begin(), data->begin() + 20));
        else
            w.remove(type, static_cast<uint16_t>(id));
        keep(w.bytes());
    }

    // Gray jobs, cheap; one in eight in colour (the parallel halftoning's
    // workers started and stopped each time).
    const JobSpec reference = [] {
        JobSpec j = reference_job(Ink::kGray);
        j.lines = 2;
        return j;
    }();
    Sink::reset();
    ASSERT_TRUE(run_job(reference).ok());
    const int64_t calls = Sink::calls;

    // One job of the mix; false when it did not end the way it should.
    auto job = [&](int i) {
        JobSpec j = reference;
        Sink::Fault fault = Sink::Fault::kNone;
        int64_t at = -1;
        bool should_print = true;
        switch (i % 8) {
            case 0: break;
            case 1: j.lines = 0; break;
            case 2: j.end_in_page = true; break;
            case 3:
                fault = Sink::Fault::kFail;
                at = (int64_t{i} * 7919) % calls;
                should_print = false;
                break;
            case 4:
                j.pages = 2;
                j.abort_page = 1;
                should_print = false;
                break;
            case 5:
                j = reference_job(Ink::kColour);
                j.pages = 3;
                j.lines = 3;
                break;
            case 6:
                j.model = broken[static_cast<size_t>(i / 8) % broken.size()]->path();
                should_print = false;
                break;
            case 7:
                fault = Sink::Fault::kFail;
                at = calls - 1 - (i / 8) % 8;  // the page's and the job end's writes
                should_print = false;
                break;
        }
        Sink::reset(fault, at);
        const JobResult r = run_job(j);
        ovcg::frontend::stream_error_clear_for_tests();  // else it stays for the process
        return r.codes_known() && r.ok() == should_print;
    };

    // Every kind once before the count starts: what a first use sets up for
    // the process (static tables) is not a job's.
    int wrong = 0;
    for (int i = 0; i < 16; ++i) wrong += job(i) ? 0 : 1;
    Sink::reset();
    Sink::bytes.shrink_to_fit();
    const int64_t caller_blocks = CountingHeap::live;
    const uint64_t before = process_allocated_bytes();
    const uint64_t blocks_before = ovcg_test::heap_blocks();
    const int jobs = ovcg_test::kSanitized ? 160 : 1000;
    for (int i = 0; i < jobs; ++i) wrong += job(i) ? 0 : 1;
    Sink::reset();
    Sink::bytes.shrink_to_fit();
    const uint64_t after = process_allocated_bytes();
    const uint64_t blocks_after = ovcg_test::heap_blocks();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(after, before) << jobs << " jobs left " << static_cast<int64_t>(after - before) << " bytes";
    EXPECT_EQ(blocks_after, blocks_before)
        << jobs << " jobs left " << static_cast<int64_t>(blocks_after - blocks_before) << " blocks";
    EXPECT_EQ(CountingHeap::live, caller_blocks);
}

}  // namespace
}  // namespace ovcg_e2e
