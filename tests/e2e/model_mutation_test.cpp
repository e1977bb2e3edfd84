// Model files with one resource broken: 200 files made from the default
// model, each with one resource truncated, removed, overwritten in places or
// described by a lying record header (a fixed seed picks which and how).
// A job on each ends with a documented code or prints a well-formed stream;
// the caller's blocks all come back; the next job on the good model prints
// what a fresh process prints.
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_fixture.h"
#include "support/model.h"
#include "support/res_writer.h"
#include "support/sanitized.h"
#include "support/stream_validator.h"

namespace ovcg_e2e {
namespace {

using ovcg_test::ResRecord;
using ovcg_test::ResWriter;

enum class Mutation { kTruncate, kEmpty, kRemove, kFlip, kExtremeWord, kLongerThanTheFile, kShortHeader };

const char* mutation_name(Mutation m) {
    switch (m) {
        case Mutation::kTruncate: return "truncated";
        case Mutation::kEmpty: return "emptied";
        case Mutation::kRemove: return "removed";
        case Mutation::kFlip: return "bytes flipped";
        case Mutation::kExtremeWord: return "a word set to an extreme";
        case Mutation::kLongerThanTheFile: return "a size past the file's end";
        case Mutation::kShortHeader: return "a header size too small";
    }
    return "?";
}

struct Broken {
    std::string what;
    ResWriter model;
};

// Case i of the fixed sequence. Half the cases break a resource of the two
// engines' (types 2000 and 4000: the big tables, most of them packed), the
// other half any resource.
Broken break_model(const ResWriter& good, std::mt19937& rng) {
    const std::vector<ResRecord>& records = good.records();
    std::vector<size_t> engine;
    for (size_t i = 0; i < records.size(); ++i)
        if (records[i].type != ovcg_test::kResTypeLink) engine.push_back(i);
    const bool engine_only = rng() % 2 == 0;
    const size_t victim = engine_only ? engine[rng() % engine.size()] : rng() % records.size();
    const auto m = static_cast<Mutation>(rng() % 7);

    ResWriter out;
    std::ostringstream what;
    for (size_t i = 0; i < records.size(); ++i) {
        ResRecord r = records[i];
        if (i != victim) {
            out.add(r);
            continue;
        }
        const size_t size = r.data.size();
        what << "resource " << r.type << "/" << r.id << " (" << size << " bytes) " << mutation_name(m);
        switch (m) {
            case Mutation::kTruncate: {
                const size_t keep = size ? rng() % size : 0;
                r.data.resize(keep);
                what << " to " << keep;
                break;
            }
            case Mutation::kEmpty: r.data.clear(); break;
            case Mutation::kRemove: continue;
            case Mutation::kFlip: {
                const unsigned n = 1 + rng() % 4;
                for (unsigned k = 0; k < n && size; ++k) {
                    // Headers hold the counts and offsets: aim there more often.
                    const size_t at = rng() % 2 ? rng() % std::min<size_t>(size, 64) : rng() % size;
                    r.data[at] ^= static_cast<uint8_t>(1 + rng() % 255);
                    what << " @" << at;
                }
                break;
            }
            case Mutation::kExtremeWord: {
                static const uint32_t kValues[] = {0, 0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 0xFFFFu, 0x8000u};
                const uint32_t v = kValues[rng() % 6];
                const size_t width = rng() % 2 ? 4 : 2;
                if (size >= width) {
                    size_t at = rng() % std::min<size_t>(size - width + 1, 96);
                    at -= at % width;
                    for (size_t b = 0; b < width; ++b) r.data[at + b] = static_cast<uint8_t>(v >> (8 * b));
                    what << " (" << width << " bytes @" << at << " = " << v << ")";
                }
                break;
            }
            case Mutation::kLongerThanTheFile:
                r.data_size = static_cast<int64_t>(size) + 1 + rng() % 100000;
                r.pad = false;
                what << " (" << r.data_size << ")";
                break;
            case Mutation::kShortHeader: r.header_size = 8 + rng() % 16; break;
        }
        out.add(r);
    }
    return {what.str(), std::move(out)};
}

TEST_F(E2eTest, TwoHundredBrokenModelsFailCleanly) {
    const ResWriter good = ovcg_test::build_model(ovcg_test::default_model());
    std::mt19937 rng(20261207);
    int printed = 0, refused = 0;
    for (int i = 0; i < 200; ++i) {
        Broken b = break_model(good, rng);
        // Colour and gray jobs in turn: they read different tables.
        const Ink ink = i % 2 ? Ink::kGray : Ink::kColour;
        const std::string what = "model " + std::to_string(i) + ": " + b.what;
        SCOPED_TRACE(what);
        ovcg_test::TempFile file("ovcg_e2e_model");
        ASSERT_TRUE(b.model.write_file(file.path()));

        JobSpec job = short_job(ink);
        job.model = file.path();
        Sink::reset();
        const JobResult r = run_job(job);
        EXPECT_TRUE(r.codes_known()) << r.describe();
        if (r.ok()) {
            ++printed;
            const ovcg_test::StreamCheck check = ovcg_test::ValidateStream(r.stream);
            EXPECT_TRUE(check.ok) << check.error;
        } else {
            ++refused;
        }
        // Under the sanitizers (five times slower) a sample of the cases.
        if (!ovcg_test::kSanitized || i % 6 < 2) expect_prints(short_job(ink), what);
        if (HasFailure()) return;
    }
    // Both outcomes occur: the cases reach resources the job reads.
    EXPECT_GT(refused, 20);
    EXPECT_GT(printed, 0);
    RecordProperty("printed", printed);
    RecordProperty("refused", refused);
}

}  // namespace
}  // namespace ovcg_e2e
