// Job start failures leave nothing behind: every resource the default job
// reads, cut short, with a header word spoiled, or replaced by a resource of
// another kind, fails (or passes) with its exact start code and error-record
// code; an allocation failure at every allocation of the start; and after
// each, the deletion frees every block and no resource stays fetched.
#include "hxr_job_fixture.h"

#include <map>
#include <string>
#include <utility>

namespace hxr_test {
namespace {

class HxrJobStartLeaks : public HxrJobTest {
protected:
    // The engine identifiers of the resources a default start fetches.
    std::vector<int> fetched() {
        std::vector<int> ids;
        void* h = nullptr;
        EXPECT_EQ(create_started(records(), &h), 0u);
        drop(h);
        for (const auto& rec : file.records())
            if (rec.type == ovcg_test::kResTypeHalftone && svc.fetches(rec.id - 100) > 0) ids.push_back(rec.id - 100);
        return ids;
    }
    ovcg_test::Bytes resource(int id) const { return *file.find(ovcg_test::kResTypeHalftone, uint16_t(id + 100)); }
    // Starts a fresh instance of the default records; the start code and the
    // error record; the instance is deleted again at once.
    std::pair<uint32_t, uint32_t> start(const JobRecords& r, int flags = 1) {
        void* h = create(r, flags);
        const uint32_t code = HXR_StartJob(h);
        const uint32_t err = error();
        drop(h);
        EXPECT_EQ(svc.live_blocks(), 0u);
        EXPECT_EQ(svc.live_resources(), 0u);
        return {code, err};
    }
};

// Expected {start code, error record} of every mutation, by resource.
struct Outcome {
    const char* mutation;
    uint32_t start, error;
};
const std::map<int, std::vector<Outcome>> kOutcomes = {
        {500, {{"cut 0", 20205, 4951}, {"cut 4", 20205, 4951}, {"cut 16", 20205, 4951}, {"cut half", 20205, 4951}, {"cut last", 20205, 4951}, {"word 0", 0, 0}, {"word 4", 20205, 4951}, {"word 8", 20205, 4951}, {"word 12", 0, 0}, {"word 16", 20207, 20207}, {"word 20", 20207, 20207}, {"as 510", 0, 0}, {"as 511", 0, 0}, {"as 520", 20205, 4951}, {"as 0", 20205, 4951}, {"as 10", 20205, 4951}, {"as 42", 20205, 4951}, {"as 60", 20205, 4951}, {"as 991", 20205, 4951}}},
        {510, {{"cut 0", 20205, 4951}, {"cut 4", 20205, 4951}, {"cut 16", 20205, 4122}, {"cut half", 20205, 4122}, {"cut last", 20205, 4122}, {"word 0", 20205, 4951}, {"word 4", 20205, 4951}, {"word 8", 20205, 4122}, {"word 12", 20205, 4122}, {"word 16", 20205, 4951}, {"word 20", 20205, 4951}, {"as 500", 20205, 4951}, {"as 511", 0, 0}, {"as 520", 20205, 4951}, {"as 0", 20205, 4951}, {"as 10", 20205, 4951}, {"as 42", 20205, 4951}, {"as 60", 20205, 4951}, {"as 991", 20205, 4951}}},
        {511, {{"cut 0", 20205, 4951}, {"cut 4", 20205, 4951}, {"cut 16", 20205, 4122}, {"cut half", 20205, 4122}, {"cut last", 20205, 4122}, {"word 0", 20205, 4951}, {"word 4", 20205, 4951}, {"word 8", 20205, 4122}, {"word 12", 20205, 4122}, {"word 16", 20205, 4951}, {"word 20", 20205, 4951}, {"as 500", 20205, 4951}, {"as 510", 0, 0}, {"as 520", 20205, 4951}, {"as 0", 20205, 4951}, {"as 10", 20205, 4951}, {"as 42", 20205, 4951}, {"as 60", 20205, 4951}, {"as 991", 20205, 4951}}},
        {520, {{"cut 0", 20205, 5051}, {"cut 4", 20205, 5051}, {"cut 16", 20205, 5052}, {"cut half", 20205, 5052}, {"cut last", 20205, 5052}, {"word 0", 0, 0}, {"word 4", 20205, 5051}, {"word 8", 20205, 5052}, {"word 12", 20205, 5052}, {"word 16", 20205, 5052}, {"word 20", 0, 0}, {"as 500", 20205, 5051}, {"as 510", 20205, 5051}, {"as 511", 20205, 5051}, {"as 0", 20205, 5051}, {"as 10", 20205, 5051}, {"as 42", 20205, 5051}, {"as 60", 20205, 5051}, {"as 991", 20205, 5051}}},
        {0, {{"cut 0", 20205, 4103}, {"cut 4", 20205, 4103}, {"cut 16", 20205, 4103}, {"cut half", 20205, 4103}, {"cut last", 20205, 4103}, {"word 0", 0, 0}, {"word 4", 0, 0}, {"word 8", 0, 0}, {"word 12", 0, 0}, {"word 16", 0, 0}, {"word 20", 0, 0}, {"as 500", 20205, 4103}, {"as 510", 20205, 4103}, {"as 511", 20205, 4103}, {"as 520", 20205, 4103}, {"as 10", 20205, 4103}, {"as 42", 20205, 4103}, {"as 60", 20205, 4103}, {"as 991", 20205, 4103}}},
        {10, {{"cut 0", 20205, 4451}, {"cut 4", 20205, 4451}, {"cut 16", 20205, 4114}, {"cut half", 20205, 4114}, {"cut last", 20205, 4114}, {"word 0", 20205, 4451}, {"word 4", 20205, 4451}, {"word 8", 20205, 4114}, {"word 12", 20205, 4114}, {"word 16", 20205, 4114}, {"word 20", 20205, 4114}, {"as 500", 20205, 4451}, {"as 510", 20205, 4451}, {"as 511", 20205, 4451}, {"as 520", 20205, 4451}, {"as 0", 20205, 4451}, {"as 42", 20205, 4451}, {"as 60", 20205, 4451}, {"as 991", 20205, 4451}}},
        {42, {{"cut 0", 20205, 4551}, {"cut 4", 20205, 4551}, {"cut 16", 20205, 4116}, {"cut half", 20205, 4116}, {"cut last", 20205, 4116}, {"word 0", 20205, 4551}, {"word 4", 20205, 4551}, {"word 8", 20205, 4116}, {"word 12", 20205, 4116}, {"word 16", 20205, 4551}, {"word 20", 20205, 4551}, {"as 500", 20205, 4551}, {"as 510", 20205, 4551}, {"as 511", 20205, 4551}, {"as 520", 20205, 4551}, {"as 0", 20205, 4551}, {"as 10", 20205, 4551}, {"as 60", 20205, 4551}, {"as 991", 20205, 4551}}},
        {60, {{"cut 0", 20205, 4121}, {"cut 4", 20205, 4121}, {"cut 16", 20205, 4121}, {"cut half", 20205, 4656}, {"cut last", 20205, 4656}, {"word 0", 20205, 4121}, {"word 4", 20205, 4121}, {"word 8", 20205, 4121}, {"word 12", 0, 0}, {"word 16", 20205, 4656}, {"word 20", 20205, 4121}, {"as 500", 20205, 4121}, {"as 510", 20205, 4121}, {"as 511", 20205, 4121}, {"as 520", 20205, 4121}, {"as 0", 20205, 4121}, {"as 10", 20205, 4121}, {"as 42", 20205, 4121}, {"as 991", 20205, 4121}}},
        {991, {{"cut 0", 20205, 4751}, {"cut 4", 20205, 4752}, {"cut 16", 20205, 4758}, {"cut half", 20205, 4758}, {"cut last", 20205, 4758}, {"word 0", 20205, 4751}, {"word 4", 0, 0}, {"word 8", 20205, 4752}, {"word 12", 0, 0}, {"word 16", 20205, 4758}, {"word 20", 20205, 4758}, {"as 500", 20205, 4751}, {"as 510", 20205, 4751}, {"as 511", 20205, 4751}, {"as 520", 20205, 4751}, {"as 0", 20205, 4751}, {"as 10", 20205, 4751}, {"as 42", 20205, 4751}, {"as 60", 20205, 4751}}},
};

TEST_F(HxrJobStartLeaks, EveryResourceMutation) {
    const std::vector<int> ids = fetched();
    ASSERT_EQ(ids.size(), kOutcomes.size());
    for (int id : ids) {
        const ovcg_test::Bytes orig = resource(id);
        std::vector<std::pair<std::string, ovcg_test::Bytes>> mutations;
        const std::pair<const char*, size_t> cuts[] = {
            {"cut 0", 0}, {"cut 4", 4}, {"cut 16", 16}, {"cut half", orig.size() / 2}, {"cut last", orig.size() - 1}};
        for (const auto& [name, n] : cuts)
            mutations.push_back({name, ovcg_test::Bytes(orig.begin(), orig.begin() + long(n))});
        for (size_t at = 0; at < 24 && at + 4 <= orig.size(); at += 4) {
            ovcg_test::Bytes b = orig;
            for (size_t k = 0; k < 4; ++k) b[at + k] = 0xFF;
            mutations.push_back({"word " + std::to_string(at), b});
        }
        for (int other : ids)
            if (other != id) mutations.push_back({"as " + std::to_string(other), resource(other)});
        const std::vector<Outcome>& expect = kOutcomes.at(id);
        ASSERT_EQ(mutations.size(), expect.size()) << id;
        for (size_t i = 0; i < mutations.size(); ++i) {
            SCOPED_TRACE("resource " + std::to_string(id) + ", " + mutations[i].first);
            ASSERT_EQ(mutations[i].first, expect[i].mutation);
            svc.add_resource(id, mutations[i].second);
            HXRSetErrorInfo(0);
            const auto [code, err] = start(records());
            EXPECT_EQ(code, expect[i].start);
            EXPECT_EQ(err, expect[i].error);
        }
        svc.add_resource(id, orig);
    }
}

TEST_F(HxrJobStartLeaks, MissingResources) {
    for (int id : fetched()) {
        SCOPED_TRACE(id);
        ovcg_test::ResWriter without = file;
        without.remove(ovcg_test::kResTypeHalftone, uint16_t(id + 100));
        ovcg_test::CountingServices* s = &svc;
        const ovcg_test::Bytes orig = resource(id);
        s->add_resource(id, {});
        HXRSetErrorInfo(0);
        const auto [code, err] = start(records());
        EXPECT_EQ(code, kHxrStartPrintMode);
        EXPECT_NE(err, 0u);
        s->add_resource(id, orig);
    }
}

TEST_F(HxrJobStartLeaks, AllocationFailureAtEveryAllocation) {
    const auto m6 = mode(0, 6, 2);
    const auto tnmx = mode(7, 3, 2);
    const auto cmyk = mode(0, 3, 2, 1);
    const struct {
        const char* name;
        uint32_t inkSet;
        const ovcg_test::ModelPrintMode* mode;
    } jobs[] = {{"colour dither", 1, nullptr}, {"hybrid", 1, &m6}, {"mono", 0, nullptr}, {"photo", 1, &tnmx},
                {"CMYK", 1, &cmyk}};
    for (const auto& job : jobs) {
        SCOPED_TRACE(job.name);
        const JobRecords r = records(job.inkSet, job.mode);
        serve();
        size_t failures = 0;
        for (long n = 0;; ++n) {
            void* h = create(r);
            svc.fail_allocation_after(n);
            const uint32_t code = HXR_StartJob(h);
            svc.fail_allocation_after(-1);
            drop(h);
            ASSERT_EQ(svc.live_blocks(), 0u) << n;
            ASSERT_EQ(svc.live_resources(), 0u) << n;
            if (code == 0) break;
            ++failures;
            EXPECT_TRUE(code == kHxrStartPrintMode || code == kHxrStartController || code == kHxrStartDataSet) << code;
            ASSERT_LT(n, 5000);
        }
        EXPECT_GT(failures, 10u);
        if (job.mode) continue;
        // The same through HXR_CreateInstance: no handle, no block.
        for (long n = 0;; ++n) {
            void* h = &h;
            svc.fail_allocation_after(n);
            const uint32_t code = HXR_CreateInstance(&h, &r.image, &r.halftone, &r.option, svc.table(), 1);
            svc.fail_allocation_after(-1);
            if (code == 0) {
                HXR_DeleteInstance(h);
                break;
            }
            ASSERT_EQ(h, nullptr);
            ASSERT_EQ(svc.live_blocks(), 0u) << n;
            ASSERT_LT(n, 5000);
        }
    }
}

}  // namespace
}  // namespace hxr_test
