// Two threads driving the one front-end context. The claim of the context
// lets one call in at a time and keeps an open job to the thread that
// started it: every overlapping call is refused with OVCG_ERR_ARGUMENT and
// touches nothing, and a start whose options another thread changed since
// the starting thread set them is refused too. So each job either prints its
// own stream byte for byte as a serial run prints it, or is refused at its
// start; nothing else. Built with the address and the thread sanitizers,
// these runs also show that no memory is shared unguarded.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "e2e_fixture.h"

namespace ovcg_e2e {
namespace {

// Each thread's own output.
thread_local Bytes t_stream;
int32_t ThreadOutput(const uint8_t* data, int32_t length) {
    if (length <= 0) return 0;
    t_stream.insert(t_stream.end(), data, data + length);
    return length;
}

// Every option of the front end, the recipe's choice or the fallback ("-"
// names no choice: the option stays unset).
std::vector<std::pair<std::string, std::string>> AllOptions(const JobSpec& recipe) {
    static const std::pair<const char*, const char*> kDefaults[] = {
        {"MediaType", "-"},       {"ColorModel", "RGB"}, {"HighSpeed", "Off"},    {"Mode", "Standard"},
        {"PageSize", "-"},        {"AutoCut", "Off"},    {"BlackDensity", "100"}, {"ColorDensity", "100"}};
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& [name, fallback] : kDefaults) {
        std::string choice = fallback;
        for (const auto& [n, c] : recipe.options)
            if (n == name) choice = c;
        out.emplace_back(name, choice);
    }
    return out;
}

// One try of a job on the calling thread: its options, the resource, the
// start and, when it started, its pages and end. The results of every call
// are kept.
struct Try {
    std::vector<int32_t> option_calls;
    int32_t start = 0;
    std::vector<int32_t> job_calls;  // after the start: pages, lines, ends
    Bytes stream;
    bool started() const { return start == OVCG_OK; }
};

void SetOptions(const JobSpec& recipe, Try& t) {
    for (const auto& [name, choice] : AllOptions(recipe))
        t.option_calls.push_back(ovcgSetPrintOption(name.c_str(), choice.c_str()));
    t.option_calls.push_back(ovcgSetResource(OVCG_RESOURCE_FILE, recipe.model.c_str()));
}

void RunStartedJob(const JobSpec& recipe, Try& t) {
    uint32_t width = 0;
    t.job_calls.push_back(ovcgGetPageAttribute(OVCG_PAGE_WIDTH, &width));
    const bool gray = AllOptions(recipe)[1].second == "Gray";
    const size_t bytes = size_t{width} * (gray ? 1 : 3);
    std::vector<uint8_t> line(std::max<size_t>(bytes, 1));
    for (int p = 0; p < recipe.pages; ++p) {
        t.job_calls.push_back(ovcgStartPage());
        for (int64_t y = 0; y < recipe.lines; ++y) {
            pattern_line(static_cast<uint32_t>(y), line.data(), bytes);
            t.job_calls.push_back(ovcgRasterOut(line.data(), static_cast<int32_t>(bytes), 0));
        }
        t.job_calls.push_back(ovcgEndPage(0));
    }
    t.job_calls.push_back(ovcgEndJob());
}

Try RunTry(const JobSpec& recipe) {
    Try t;
    t_stream.clear();
    SetOptions(recipe, t);
    t.start = ovcgStartJob(ThreadOutput, recipe.job_id.c_str());
    if (t.started()) RunStartedJob(recipe, t);
    t.stream = t_stream;
    return t;
}

// Runs f on a thread of its own and waits for it: a call from "another
// thread" at a chosen moment.
template <class F>
void OnAnotherThread(F&& f) {
    std::thread t(std::forward<F>(f));
    t.join();
}

class ConcurrentCalls : public E2eTest {
protected:
    // The two jobs: gray by dither, colour by hybrid error diffusion (whose
    // bands the parallel workers halftone), a few lines a page.
    static JobSpec Job(Ink ink) {
        JobSpec j = reference_job(ink);
        j.lines = 6;
        j.pages = 2;
        j.job_id = ink == Ink::kGray ? "gray" : "colour";
        return j;
    }
    // The job's stream in a serial run on this thread.
    static Bytes Serial(const JobSpec& job) {
        const Try t = RunTry(job);
        EXPECT_EQ(t.start, OVCG_OK);
        EXPECT_EQ(t.job_calls, std::vector<int32_t>(t.job_calls.size(), OVCG_OK));
        EXPECT_FALSE(t.stream.empty());
        return t.stream;
    }
};

// While one thread's job is open, every call of another thread is refused
// and changes nothing: the job goes on to print its serial stream, and the
// options the other thread tried to set are not the next job's.
TEST_F(ConcurrentCalls, CallsFromAnotherThreadDuringAJobAreRefused) {
    const JobSpec gray = Job(Ink::kGray), colour = Job(Ink::kColour);
    const Bytes want = Serial(gray);
    const Bytes wantColour = Serial(colour);
    ASSERT_NE(want, wantColour);

    t_stream.clear();
    Try t;
    SetOptions(gray, t);
    ASSERT_EQ(ovcgStartJob(ThreadOutput, gray.job_id.c_str()), OVCG_OK);
    ASSERT_EQ(ovcgStartPage(), OVCG_OK);

    std::vector<int32_t> others;
    OnAnotherThread([&] {
        uint32_t count = 0, value = 0;
        const uint8_t line[4] = {};
        const ovcg_callbacks cb = counting_callbacks();
        for (const auto& [name, choice] : AllOptions(colour))
            others.push_back(ovcgSetPrintOption(name.c_str(), choice.c_str()));
        others.push_back(ovcgSetResource(OVCG_RESOURCE_FILE, "elsewhere.res"));
        others.push_back(ovcgGetOptionList(&count, nullptr));
        others.push_back(ovcgGetChoiceList("MediaType", &count, nullptr));
        others.push_back(ovcgGetPageAttribute(OVCG_PAGE_WIDTH, &value));
        others.push_back(ovcgStartJob(ThreadOutput, "x"));
        others.push_back(ovcgStartPage());
        others.push_back(ovcgRasterOut(line, 4, 0));
        others.push_back(ovcgEndPage(1));
        others.push_back(ovcgEndJob());
        others.push_back(ovcgInitialize("", &cb));
        others.push_back(ovcgRelease());
        EXPECT_TRUE(t_stream.empty());
    });
    EXPECT_EQ(others, std::vector<int32_t>(others.size(), OVCG_ERR_ARGUMENT));

    // The job goes on where it was.
    uint32_t width = 0;
    ASSERT_EQ(ovcgGetPageAttribute(OVCG_PAGE_WIDTH, &width), OVCG_OK);
    std::vector<uint8_t> line(width);
    for (int p = 0; p < gray.pages; ++p) {
        if (p > 0) {
            ASSERT_EQ(ovcgStartPage(), OVCG_OK);
        }
        for (int64_t y = 0; y < gray.lines; ++y) {
            pattern_line(static_cast<uint32_t>(y), line.data(), line.size());
            ASSERT_EQ(ovcgRasterOut(line.data(), static_cast<int32_t>(line.size()), 0), OVCG_OK);
        }
        ASSERT_EQ(ovcgEndPage(0), OVCG_OK);
    }
    ASSERT_EQ(ovcgEndJob(), OVCG_OK);
    EXPECT_TRUE(t_stream == want) << t_stream.size() << " bytes for " << want.size();

    // The job's thread may start again: the refused option calls of the
    // other thread left the gray options in place.
    t_stream.clear();
    ASSERT_EQ(ovcgStartJob(ThreadOutput, gray.job_id.c_str()), OVCG_OK);
    Try again;
    RunStartedJob(gray, again);
    EXPECT_EQ(again.job_calls, std::vector<int32_t>(again.job_calls.size(), OVCG_OK));
    EXPECT_TRUE(t_stream == want);
}

// Options are the last setter's: a thread whose options another thread
// changed before its start is refused at the start, and prints its own
// options at its next try; the thread that set them last starts with them.
// A thread that sets no options starts with the options as they stand, so a
// job may be set up on one thread and run on another.
TEST_F(ConcurrentCalls, AStartAfterAnotherThreadsOptionsIsRefused) {
    const JobSpec gray = Job(Ink::kGray), colour = Job(Ink::kColour);
    const Bytes wantGray = Serial(gray), wantColour = Serial(colour);

    Try mine;
    SetOptions(gray, mine);
    OnAnotherThread([&] {
        Try theirs;
        SetOptions(colour, theirs);
        EXPECT_EQ(theirs.option_calls, std::vector<int32_t>(theirs.option_calls.size(), OVCG_OK));
    });
    EXPECT_EQ(ovcgStartJob(ThreadOutput, gray.job_id.c_str()), OVCG_ERR_ARGUMENT);

    // The other thread, which set the options last, prints them.
    OnAnotherThread([&] {
        t_stream.clear();
        ASSERT_EQ(ovcgStartJob(ThreadOutput, colour.job_id.c_str()), OVCG_OK);
        Try theirs;
        RunStartedJob(colour, theirs);
        EXPECT_EQ(theirs.job_calls, std::vector<int32_t>(theirs.job_calls.size(), OVCG_OK));
        EXPECT_TRUE(t_stream == wantColour);
    });

    // This thread's next try prints its own options.
    const Try next = RunTry(gray);
    EXPECT_EQ(next.start, OVCG_OK);
    EXPECT_TRUE(next.stream == wantGray);

    // Set up here, run there.
    Try setup;
    SetOptions(colour, setup);
    OnAnotherThread([&] {
        t_stream.clear();
        ASSERT_EQ(ovcgStartJob(ThreadOutput, colour.job_id.c_str()), OVCG_OK);
        Try run;
        RunStartedJob(colour, run);
        EXPECT_TRUE(t_stream == wantColour);
    });
}

// A call made from inside the library (the caller's output function calling
// back) is an overlapping call as well: refused, and the job prints on.
TEST_F(ConcurrentCalls, CallsFromTheOutputFunctionAreRefused) {
    const JobSpec gray = Job(Ink::kGray);
    const Bytes want = Serial(gray);
    static std::vector<int32_t> inner;
    inner.clear();
    const ovcg_output_fn reentering = [](const uint8_t* data, int32_t length) -> int32_t {
        if (inner.size() < 4) {
            inner.push_back(ovcgSetPrintOption("MediaType", "Media1_Q1"));
            inner.push_back(ovcgEndJob());
        }
        return ThreadOutput(data, length);
    };
    Try t;
    SetOptions(gray, t);
    t_stream.clear();
    ASSERT_EQ(ovcgStartJob(reentering, gray.job_id.c_str()), OVCG_OK);
    RunStartedJob(gray, t);
    EXPECT_EQ(t.job_calls, std::vector<int32_t>(t.job_calls.size(), OVCG_OK));
    EXPECT_TRUE(t_stream == want);
    ASSERT_EQ(inner.size(), 4u);
    EXPECT_EQ(inner, std::vector<int32_t>(4, OVCG_ERR_ARGUMENT));
    // The refused option call of the job's own thread ends its try unset: the
    // next start on this thread is refused, the one after it prints.
    EXPECT_EQ(ovcgStartJob(ThreadOutput, gray.job_id.c_str()), OVCG_ERR_ARGUMENT);
    EXPECT_TRUE(RunTry(gray).stream == want);
}

// Two threads, each setting its own options and running whole jobs in a
// loop; a try refused at its options or its start is followed by the next
// try. Every job either prints its own serial stream or was refused at its
// start with OVCG_ERR_ARGUMENT; once started, no call of it fails. A thread
// stops after its jobs are printed, so the other one is sure to print too.
TEST_F(ConcurrentCalls, TwoThreadsRunningJobsInALoop) {
    const JobSpec jobs[2] = {Job(Ink::kGray), Job(Ink::kColour)};
    const Bytes want[2] = {Serial(jobs[0]), Serial(jobs[1])};
    ASSERT_FALSE(HasFailure());
    const int printedEach = sanitized_build() ? 4 : 10;
    // Only a thread that can never get in reaches this many tries.
    const int maxTries = 10000000;
    struct Tally {
        int printed = 0, refused = 0, tries = 0;
        std::vector<std::string> faults;
    } tally[2];
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int k = 0; k < 2; ++k)
        threads.emplace_back([&, k] {
            while (!go.load()) std::this_thread::yield();
            Tally& me = tally[k];
            while (me.printed < printedEach && me.tries < maxTries) {
                ++me.tries;
                const Try t = RunTry(jobs[k]);
                for (const int32_t r : t.option_calls)
                    if (r != OVCG_OK && r != OVCG_ERR_ARGUMENT) me.faults.push_back("option call " + std::to_string(r));
                if (!t.started()) {
                    if (t.start != OVCG_ERR_ARGUMENT) {
                        me.faults.push_back("start " + std::to_string(t.start));
                        break;
                    }
                    if (!t.stream.empty()) me.faults.emplace_back("a refused start wrote bytes");
                    ++me.refused;
                    std::this_thread::sleep_for(std::chrono::microseconds(50));
                    continue;
                }
                for (const int32_t r : t.job_calls)
                    if (r != OVCG_OK) me.faults.push_back("job call " + std::to_string(r));
                if (t.stream != want[k])
                    me.faults.push_back("stream of " + std::to_string(t.stream.size()) + " bytes, not its own " +
                                        std::to_string(want[k].size()));
                ++me.printed;
            }
        });
    go = true;
    for (std::thread& t : threads) t.join();
    for (int k = 0; k < 2; ++k) {
        SCOPED_TRACE(jobs[k].job_id);
        EXPECT_EQ(tally[k].faults, std::vector<std::string>{});
        EXPECT_EQ(tally[k].printed, printedEach) << tally[k].tries << " tries";
    }
    // The threads met: at least one start was refused.
    EXPECT_GT(tally[0].refused + tally[1].refused, 0);
}

}  // namespace
}  // namespace ovcg_e2e
