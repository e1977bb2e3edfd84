// Threads driving the one front-end context. Any thread may make the next
// call; a call that overlaps another call (from another thread, or from the
// output function) is refused with OVCG_ERR_ARGUMENT and touches nothing. So
// a job fed from several threads one call after the other prints the stream
// it prints on one thread, and a caller that retries a refused call loses
// nothing. Built with the address and the thread sanitizers, these runs also
// show that no memory is shared unguarded.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "e2e_fixture.h"
#include "frontend/context.h"
#include "frontend/raster_pipeline.h"
#include "support/sanitized.h"

namespace ovcg_e2e {
namespace {

// The output of the job in hand; written only from inside calls.
Bytes g_stream;
// Run once, from inside the library's next output call.
std::function<void()> g_during_write;
int32_t Output(const uint8_t* data, int32_t length) {
    if (g_during_write) std::exchange(g_during_write, nullptr)();
    g_stream.insert(g_stream.end(), data, data + length);
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

// A job's calls in the order a filter makes them, from ovcgInitialize to
// ovcgEndJob; each returns 0 in a serial run.
using Call = std::function<int32_t()>;
std::vector<Call> JobCalls(const JobSpec& recipe) {
    auto width = std::make_shared<uint32_t>(0);
    const size_t bpp = AllOptions(recipe)[1].second == "Gray" ? 1 : 3;
    std::vector<Call> calls = {[] {
        const ovcg_callbacks cb = counting_callbacks();
        return ovcgInitialize("", &cb);
    }};
    for (const auto& o : AllOptions(recipe))
        calls.push_back([o] { return ovcgSetPrintOption(o.first.c_str(), o.second.c_str()); });
    calls.push_back([m = recipe.model] { return ovcgSetResource(OVCG_RESOURCE_FILE, m.c_str()); });
    calls.push_back([id = recipe.job_id] { return ovcgStartJob(Output, id.c_str()); });
    calls.push_back([width] { return ovcgGetPageAttribute(OVCG_PAGE_WIDTH, width.get()); });
    for (int p = 0; p < recipe.pages; ++p) {
        calls.push_back(ovcgStartPage);
        for (int64_t y = 0; y < recipe.lines; ++y)
            calls.push_back([=] {
                std::vector<uint8_t> line(*width * bpp + 1);
                pattern_line(static_cast<uint32_t>(y), line.data(), *width * bpp);
                return ovcgRasterOut(line.data(), static_cast<int32_t>(*width * bpp), 0);
            });
        calls.push_back([] { return ovcgEndPage(0); });
    }
    calls.push_back(ovcgEndJob);
    return calls;
}

// A raster of width x height pixels at 300 dpi, without pipes.
ovcg_raster_info RasterInfo(uint32_t bpp, uint32_t width, uint32_t height) {
    ovcg_raster_info i{};
    i.size = sizeof i;
    i.x_resolution = i.y_resolution = 300;
    i.bytes_per_pixel = bpp;
    i.width = width;
    i.height = height;
    return i;
}

// Waits until done() holds, a few seconds at most: a thread that never
// comes then fails an expectation instead of hanging the test.
template <class F>
void AwaitFor(F done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
}

// Runs f on a thread of its own and waits for it.
template <class F>
void OnAnotherThread(F&& f) {
    std::thread(std::forward<F>(f)).join();
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
        g_stream.clear();
        for (const Call& call : JobCalls(job)) EXPECT_EQ(call(), OVCG_OK);
        EXPECT_FALSE(g_stream.empty());
        return g_stream;
    }
};

// A job started on one thread and fed and ended from others, one call after
// the other: every other call on a thread of its own (which may reuse the id
// of the one before it). The stream is the one of a run on one thread.
TEST_F(ConcurrentCalls, AJobGoesOnFromThreadToThread) {
    for (const JobSpec& job : {Job(Ink::kGray), Job(Ink::kColour)}) {
        const Bytes want = Serial(job);
        g_stream.clear();
        const std::vector<Call> calls = JobCalls(job);
        std::vector<int32_t> results(calls.size(), -1);
        for (size_t i = 0; i < calls.size(); ++i) {
            if (i % 2) OnAnotherThread([&] { results[i] = calls[i](); });
            else results[i] = calls[i]();
        }
        EXPECT_EQ(results, std::vector<int32_t>(calls.size(), OVCG_OK)) << job.job_id;
        EXPECT_TRUE(g_stream == want) << job.job_id << ": " << g_stream.size() << " bytes for " << want.size();
    }
}

// Every function of the library called while a call is inside: from the
// output function itself and from another thread at that moment. Each is
// refused and changes nothing: the job prints its serial stream, the
// resource path stays, and the caller's raster pipeline and writer are
// still there.
TEST_F(ConcurrentCalls, CallsThatOverlapAreRefused) {
    const JobSpec gray = Job(Ink::kGray);
    const Bytes want = Serial(gray);
    ovcg_raster_info info = RasterInfo(1, 4, 4);
    info.offset_on = 1;
    static int lines;  // lines the caller's sink received
    lines = 0;
    const ovcg_raster_sink sink = {nullptr, [](void*, const uint8_t*, uint32_t, uint32_t, int32_t*) {
                                       return ++lines, 0;
                                   }};
    ovcg_raster_pipeline* pipeline = raster_helper_create_pipeline(&info);
    ovcg_raster_writer* writer = nullptr;
    ASSERT_EQ(ovcg_raster_init(&writer, &sink, pipeline), 0);
    ovcg_raster_pipe* pipe = pipeline->pipes[0];
    const auto intrude = [&] {
        uint32_t count = 0, value = 0;
        const uint8_t line[4] = {};
        const ovcg_callbacks cb = counting_callbacks();
        ovcg_raster_writer* w = nullptr;
        std::vector<int32_t> r = {
            ovcgSetPrintOption("ColorModel", "RGB"), ovcgSetResource(OVCG_RESOURCE_FILE, "elsewhere.res"),
            ovcgGetOptionList(&count, nullptr), ovcgGetChoiceList("MediaType", &count, nullptr),
            ovcgGetPageAttribute(OVCG_PAGE_WIDTH, &value), ovcgStartJob(Output, "x"), ovcgStartPage(),
            ovcgRasterOut(line, 4, 0), ovcgEndPage(1), ovcgEndJob(), ovcgInitialize("", &cb), ovcgRelease(),
            raster_helper_create_pipeline(&info) ? 0 : OVCG_ERR_ARGUMENT,
            ovcg_raster_init(&w, &sink, pipeline) == 1 && !w ? OVCG_ERR_ARGUMENT : 0,
            ovcg_raster_print(writer, line, 4, 0, nullptr), ovcg_init_offset(pipe) == 1 ? OVCG_ERR_ARGUMENT : 0,
            ovcg_process_offset(pipe, line, 4, 4, nullptr)};
        ovcg_free_offset(pipe);  // each of these would free what is used below
        ovcg_raster_free(writer);
        raster_helper_destroy_pipeline(pipeline);
        return r;
    };
    // Set off in the first page, while the job and the page are open: let
    // in, most of these calls would return 0.
    std::vector<int32_t> inside, other;
    std::vector<Call> calls = JobCalls(gray);
    const size_t first_page = 1 + AllOptions(gray).size() + 3;
    calls.insert(calls.begin() + first_page + 1, [&] {
        g_during_write = [&] {
            inside = intrude();
            OnAnotherThread([&] { other = intrude(); });
        };
        return 0;
    });
    g_stream.clear();
    for (const Call& call : calls) EXPECT_EQ(call(), OVCG_OK);
    EXPECT_TRUE(g_stream == want) << g_stream.size() << " bytes for " << want.size();
    EXPECT_EQ(inside, std::vector<int32_t>(17, OVCG_ERR_ARGUMENT));
    EXPECT_EQ(other, inside);
    EXPECT_EQ(std::string(ovcg::frontend::context()->resource_path), gray.model);
    EXPECT_EQ(lines, 0);
    const uint8_t line[4] = {1, 2, 3, 4};
    EXPECT_EQ(ovcg_raster_print(writer, line, 4, 0, nullptr), 0);
    EXPECT_EQ(lines, 1);
    ovcg_raster_free(writer);
    raster_helper_destroy_pipeline(pipeline);
    EXPECT_TRUE(Serial(gray) == want);
}

// One thread runs the gray and the colour job in turn, retrying every call
// that is refused; another thread keeps calling whatever leaves the jobs
// alone (the lists, the page attribute, the raster pipeline) until the jobs
// are done. Each call of either thread is let in or refused; the jobs print
// their serial streams, so a refused call changed nothing.
TEST_F(ConcurrentCalls, TwoThreadsCallingAtOnce) {
    const JobSpec jobs[2] = {Job(Ink::kGray), Job(Ink::kColour)};
    const Bytes want[2] = {Serial(jobs[0]), Serial(jobs[1])};
    ASSERT_FALSE(HasFailure());
    const int rounds = ovcg_test::kSanitized ? 4 : 10;
    const ovcg_raster_info info = RasterInfo(3, 64, 8);
    // The threads meet for certain, even on one core. The other thread's
    // first print call, inside the library, marks in its sink that it is
    // there and stays until a job call has been refused; this thread makes
    // its first job call once the mark is there. And this thread's first
    // output call, inside the library, stays until a call of the other
    // thread has been refused.
    enum { kApart, kInside, kMet };
    std::atomic<int> meeting{kApart};
    std::atomic<bool> other_refused{false};
    const ovcg_raster_sink sink = {&meeting, [](void* m, const uint8_t*, uint32_t, uint32_t, int32_t*) {
                                       auto& meeting = *static_cast<std::atomic<int>*>(m);
                                       int apart = kApart;
                                       if (meeting.compare_exchange_strong(apart, kInside))
                                           AwaitFor([&] { return meeting.load() == kMet; });
                                       return 0;
                                   }};
    std::vector<ovcg_raster_pipeline*> pipelines;
    std::vector<ovcg_raster_writer*> writers;
    std::vector<std::string> faults, other_faults;
    long refused[2] = {};
    std::atomic<int> job{0};
    std::atomic<bool> done{false};
    std::thread other([&] {
        const uint8_t line[8] = {};
        // Once a job (near its ovcgInitialize): a pipeline, and a writer on it.
        for (int seen = 0; !done.load();) {
            uint32_t value = 0;
            const int32_t r[] = {ovcgGetOptionList(&value, nullptr), ovcgGetChoiceList("Mode", &value, nullptr),
                                 ovcgGetPageAttribute(OVCG_PAGE_HEIGHT, &value),
                                 writers.empty() ? 0 : ovcg_raster_print(writers.back(), line, 8, 0, nullptr)};
            for (const int32_t x : r) {
                refused[1] += x == OVCG_ERR_ARGUMENT;
                if (x == OVCG_ERR_ARGUMENT) other_refused = true;
                if (x != OVCG_OK && x != OVCG_ERR_ARGUMENT) other_faults.push_back(std::to_string(x));
            }
            const int now = job.load();
            ovcg_raster_pipeline* p = seen == now ? nullptr : raster_helper_create_pipeline(&info);
            if (!p) continue;
            seen = now;
            pipelines.push_back(p);
            ovcg_raster_writer* w = nullptr;
            if (ovcg_raster_init(&w, &sink, p) == 0) writers.push_back(w);
        }
    });
    for (int n = 0; n < 2 * rounds; ++n) {
        g_stream.clear();
        job = n + 1;
        if (n == 0) {
            AwaitFor([&] { return meeting.load() == kInside; });
            g_during_write = [&] { AwaitFor([&] { return other_refused.load(); }); };
        }
        for (const Call& call : JobCalls(jobs[n % 2])) {
            int32_t r = 0;
            for (long tries = 0; (r = call()) == OVCG_ERR_ARGUMENT && tries < 10000000; ++tries) {
                ++refused[0];
                meeting = kMet;
            }
            if (r != OVCG_OK) faults.push_back("job call " + std::to_string(r));
        }
        if (g_stream != want[n % 2]) faults.push_back("stream of " + std::to_string(g_stream.size()) + " bytes");
    }
    done = true;
    other.join();
    for (ovcg_raster_writer* w : writers) ovcg_raster_free(w);
    for (ovcg_raster_pipeline* p : pipelines) raster_helper_destroy_pipeline(p);
    EXPECT_EQ(faults, std::vector<std::string>{});
    EXPECT_EQ(other_faults, std::vector<std::string>{});
    // The threads met: calls of each were refused.
    EXPECT_GT(refused[0], 0);
    EXPECT_GT(refused[1], 0);
}

}  // namespace
}  // namespace ovcg_e2e
