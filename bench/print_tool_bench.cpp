// The print tool against the library it drives, in one run: the same page
// printed by ovcg-print (reading a PPM page from a pipe, as from a print
// spooler) and through the exported entry points fed a row a call, each in a
// child process pinned to the same one core.
//
// The page is the shared photo (photo_image.h) scaled to the page by nearest
// neighbour, on the default model with its 1-bit 1200-dpi media printing
// colour by hybrid error diffusion (as BM_E2eJob's first job): PageSize
// custom.8.5x6in gives a 9920 x 6920 page; the argument multiplies the
// page's height (4: the tool's peak memory must not depend on it).
//
// Each iteration runs both; the counters take the best run of each.
// Counters: Mpx/s of the tool and of the library (page pixels a second of
// wall-clock time, from the process's start to its exit: the tool's model
// check, job start and end included), tool/lib (their ratio); the same per
// CPU second of each process (tool/lib_cpu, a ratio that holds better on a
// loaded machine); tool_peak_MB, the tool's peak resident memory (MiB).
//
// BM_PrintToolPeak: the tool alone on a page of A0 width (PageSize
// custom.841x152.4mm, 9863 x 1730 pixels) with the tool's 2-bit 1200-dpi
// hybrid medium (Media274_Q4), with CMYK or the model's widest ink set,
// pinned to 1, 2, 4 or 8 CPUs (the library runs one worker less than that).
// Counters: tool_peak_MB, Mpx/s (as above), cpus (those the tool could use).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cpu_pin.h"
#include "ovcg/ovcg.h"
#include "photo_image.h"
#include "support/hybrid_models.h"
#include "support/model.h"
#include "support/res_writer.h"

#ifdef OVCG_PRINT_TOOL

namespace {

constexpr double kWidthInches = 8.5, kHeightInches = 6.0;

// The default model with the 1200-dpi 1-bit media halftoned by hybrid error
// diffusion; `widest`: with colour printed by the model's widest ink set.
const std::string& model_path(bool widest = false) {
    static ovcg_test::TempFile files[2] = {ovcg_test::TempFile("ovcg_tool_bench"),
                                           ovcg_test::TempFile("ovcg_tool_bench")};
    static const bool written[2] = {ovcg_test::build_model(ovcg_test::hybrid_model(false)).write_file(files[0].path()),
                                    ovcg_test::build_model(ovcg_test::hybrid_model(true)).write_file(files[1].path())};
    static const std::string none;
    return written[widest] ? files[widest].path() : none;
}

std::vector<std::string> options(uint32_t height_multiple) {
    char size[64];
    std::snprintf(size, sizeof size, "custom.%gx%gin", kWidthInches, kHeightInches * height_multiple);
    return {"MediaType=Media394_Q4", "ColorModel=RGB", std::string("PageSize=") + size};
}

// The photo's rows scaled to `width` pixels, RGB; row r of a page of height h
// is rows[r * kPhotoHeight / h].
const std::vector<uint8_t>& scaled_rows(uint32_t width) {
    static std::vector<uint8_t> rows;
    static uint32_t made = 0;
    if (made != width) {
        const std::vector<uint8_t>& photo = ovcg_bench::PhotoImage();
        rows.assign(size_t{width} * 3 * ovcg_bench::kPhotoHeight, 0);
        for (int y = 0; y < ovcg_bench::kPhotoHeight; ++y) {
            uint8_t* o = &rows[size_t(y) * width * 3];
            for (uint32_t x = 0; x < width; ++x) {
                const size_t sx = size_t{x} * ovcg_bench::kPhotoWidth / width;
                const uint8_t* p = &photo[(size_t(y) * ovcg_bench::kPhotoWidth + sx) * 4];
                o[x * 3] = p[0], o[x * 3 + 1] = p[1], o[x * 3 + 2] = p[2];
            }
        }
        made = width;
    }
    return rows;
}

const uint8_t* row_of(const std::vector<uint8_t>& rows, uint32_t width, uint32_t y, uint32_t height) {
    return &rows[size_t{y} * ovcg_bench::kPhotoHeight / height * width * 3];
}

int32_t no_output(const uint8_t*, int32_t length) { return length; }
void* allocate(size_t n) { return std::malloc(n); }
void release(void* p) { std::free(p); }

// The page's size for the options, from a job start in a child (the library
// keeps one context a process; this process keeps none).
bool page_size(const std::string& model, const std::vector<std::string>& opts, uint32_t* width, uint32_t* height) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        ovcg_callbacks cb{};
        cb.allocate = allocate;
        cb.release = release;
        for (void*& slot : cb.reserved) slot = reinterpret_cast<void*>(&no_output);
        uint32_t wh[2] = {0, 0};
        if (ovcgInitialize("", &cb) == OVCG_OK && ovcgSetResource(OVCG_RESOURCE_FILE, model.c_str()) == OVCG_OK) {
            for (const std::string& o : opts) ovcgSetPrintOption(o.substr(0, o.find('=')).c_str(), o.c_str() + o.find('=') + 1);
            if (ovcgStartJob(no_output, "1") == OVCG_OK) {
                ovcgGetPageAttribute(OVCG_PAGE_WIDTH, &wh[0]);
                ovcgGetPageAttribute(OVCG_PAGE_HEIGHT, &wh[1]);
                ovcgEndJob();
            }
            ovcgRelease();
        }
        const bool sent = write(fds[1], wh, sizeof wh) == sizeof wh;
        _exit(sent ? 0 : 1);
    }
    close(fds[1]);
    uint32_t wh[2] = {0, 0};
    const bool got = pid > 0 && read(fds[0], wh, sizeof wh) == sizeof wh;
    close(fds[0]);
    if (pid > 0) waitpid(pid, nullptr, 0);
    *width = wh[0], *height = wh[1];
    return got && wh[0] && wh[1];
}

// The peak resident memory of a running process since its last exec
// (VmHWM), in MB; 0 when it cannot be read. (A child's rusage would not do:
// a process started from this one carries this one's peak from before its
// exec.)
double vm_hwm_mb(pid_t pid) {
    std::FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    if (!f) return 0;
    char line[256];
    double kb = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmHWM: %lf kB", &kb) == 1) break;
    std::fclose(f);
    return kb / 1024.0;
}

struct ChildRun {
    bool ok = false;
    double seconds = 0, cpu_seconds = 0, peak_mb = 0;  // the peak: the tool's only
    int cpus = 0;                                      // the tool's
};

ChildRun finish(pid_t pid, std::chrono::steady_clock::time_point t0) {
    ChildRun run;
    int status = 0;
    rusage ru{};
    if (wait4(pid, &status, 0, &ru) != pid) return run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    run.cpu_seconds = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                      double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// The library in a child pinned to one core: the job through the exported
// entry points, one row a call straight from the scaled rows.
ChildRun run_library(const std::vector<std::string>& opts, uint32_t width, uint32_t height) {
    const std::vector<uint8_t>& rows = scaled_rows(width);
    const cpu_set_t old = ovcg_bench::Pin(1);  // the processes it starts too
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        ovcg_callbacks cb{};
        cb.allocate = allocate;
        cb.release = release;
        for (void*& slot : cb.reserved) slot = reinterpret_cast<void*>(&no_output);
        bool ok = ovcgInitialize("", &cb) == OVCG_OK &&
                  ovcgSetResource(OVCG_RESOURCE_FILE, model_path().c_str()) == OVCG_OK;
        for (const std::string& o : opts)
            ok = ok && ovcgSetPrintOption(o.substr(0, o.find('=')).c_str(), o.c_str() + o.find('=') + 1) == OVCG_OK;
        ok = ok && ovcgStartJob(no_output, "1") == OVCG_OK && ovcgStartPage() == OVCG_OK;
        for (uint32_t y = 0; ok && y < height; ++y)
            ok = ovcgRasterOut(row_of(rows, width, y, height), static_cast<int32_t>(width * 3), 0) == OVCG_OK;
        ok = ovcgEndPage(ok ? 0 : 1) == OVCG_OK && ok;
        ok = ovcgEndJob() == OVCG_OK && ok;
        ovcgRelease();
        _exit(ok ? 0 : 1);
    }
    ovcg_bench::Unpin(old);
    if (pid < 0) return {};
    return finish(pid, t0);
}

// The tool in a child pinned to `cpus` cores, its standard input a pipe
// this process fills from the other cores (if any) with the page as a PPM
// image.
ChildRun run_tool(const std::string& model, const std::vector<std::string>& opts, uint32_t width, uint32_t height,
                  int cpus) {
    const std::vector<uint8_t>& rows = scaled_rows(width);
    int fds[2];
    if (pipe(fds) != 0) return {};
    fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);
    std::vector<std::string> args = {OVCG_PRINT_TOOL, "-m", model};
    for (const std::string& o : opts) args.insert(args.end(), {"-o", o});
    args.insert(args.end(), {"-O", "/dev/null", "-"});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const cpu_set_t old = ovcg_bench::Pin(cpus);  // the processes it starts too
    const int pinned = ovcg_bench::PinnedCpus();
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const bool spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    // The writer takes the other cores: the pipe is the input a spooler
    // would give, not part of the tool's work.
    cpu_set_t one, others = old;
    sched_getaffinity(0, sizeof one, &one);
    if (CPU_COUNT(&old) > 1)
        for (int c = 0; c < CPU_SETSIZE; ++c)
            if (CPU_ISSET(c, &one)) CPU_CLR(c, &others);
    sched_setaffinity(0, sizeof others, &others);
    close(fds[0]);
    bool written = spawned;
    const std::string head = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    auto put = [&](const uint8_t* p, size_t n) {
        while (written && n > 0) {
            const ssize_t k = write(fds[1], p, n);
            if (k <= 0) written = false;
            else p += k, n -= static_cast<size_t>(k);
        }
    };
    double peak = 0;
    put(reinterpret_cast<const uint8_t*>(head.data()), head.size());
    for (uint32_t y = 0; written && y < height; ++y) {
        put(row_of(rows, width, y, height), size_t{width} * 3);
        if (y % 256 == 0) peak = std::max(peak, vm_hwm_mb(pid));
    }
    close(fds[1]);
    ovcg_bench::Unpin(old);
    if (!spawned) return {};
    // The peak as long as the process lives: it ends the job after its input.
    siginfo_t info{};
    while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0) {
        peak = std::max(peak, vm_hwm_mb(pid));
        usleep(2000);
    }
    ChildRun run = finish(pid, t0);
    run.ok = run.ok && written;
    run.peak_mb = peak;
    run.cpus = pinned;
    return run;
}

void BM_PrintToolVsLibrary(benchmark::State& state) {
    const uint32_t multiple = static_cast<uint32_t>(state.range(0));
    std::signal(SIGPIPE, SIG_IGN);  // a tool that stops reading fails the run, not the process
    const std::vector<std::string> opts = options(multiple);
    uint32_t width = 0, height = 0;
    if (model_path().empty() || !page_size(model_path(), opts, &width, &height)) {
        state.SkipWithError("the job does not start with these options");
        return;
    }
    // The best of the runs of each: on a shared machine the slowest runs say
    // more about the neighbours than about the code.
    double tool_s = 1e30, lib_s = 1e30, tool_cpu = 1e30, lib_cpu = 1e30, peak = 0;
    for (auto _ : state) {
        const ChildRun lib = run_library(opts, width, height);
        const ChildRun tool = run_tool(model_path(), opts, width, height, 1);
        if (!lib.ok || !tool.ok) {
            state.SkipWithError(!lib.ok ? "the library's job failed" : "the tool failed");
            return;
        }
        state.SetIterationTime(tool.seconds);
        tool_s = std::min(tool_s, tool.seconds), lib_s = std::min(lib_s, lib.seconds);
        tool_cpu = std::min(tool_cpu, tool.cpu_seconds), lib_cpu = std::min(lib_cpu, lib.cpu_seconds);
        peak = std::max(peak, tool.peak_mb);
    }
    const double mpx = double(width) * height / 1e6;
    state.SetLabel(std::to_string(width) + "x" + std::to_string(height) + " RGB page, 4 inks 1-bit hybrid ED, one core");
    state.counters["tool_Mpx/s"] = mpx / tool_s;
    state.counters["lib_Mpx/s"] = mpx / lib_s;
    state.counters["tool/lib"] = lib_s / tool_s;
    state.counters["tool/lib_cpu"] = lib_cpu / tool_cpu;
    state.counters["tool_peak_MB"] = peak;
}

BENCHMARK(BM_PrintToolVsLibrary)
    ->ArgName("height")
    ->Arg(1)
    ->Arg(4)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

void BM_PrintToolPeak(benchmark::State& state) {
    const bool widest = state.range(0) != 0;
    const int cpus = static_cast<int>(state.range(1));
    std::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> opts = {"MediaType=Media274_Q4", "ColorModel=RGB", "PageSize=custom.841x152.4mm"};
    const std::string& model = model_path(widest);
    uint32_t width = 0, height = 0;
    if (model.empty() || !page_size(model, opts, &width, &height)) {
        state.SkipWithError("the job does not start with these options");
        return;
    }
    double seconds = 1e30, peak = 0;
    int pinned = 0;
    for (auto _ : state) {
        const ChildRun tool = run_tool(model, opts, width, height, cpus);
        if (!tool.ok) {
            state.SkipWithError("the tool failed");
            return;
        }
        state.SetIterationTime(tool.seconds);
        seconds = std::min(seconds, tool.seconds);
        peak = std::max(peak, tool.peak_mb);
        pinned = tool.cpus;
    }
    state.SetLabel(std::to_string(width) + "x" + std::to_string(height) + " RGB page of A0 width, Media274_Q4, " +
                   (widest ? "widest ink set" : "4 inks"));
    state.counters["tool_peak_MB"] = peak;
    state.counters["Mpx/s"] = double(width) * height / 1e6 / seconds;
    state.counters["cpus"] = pinned;
}

BENCHMARK(BM_PrintToolPeak)
    ->ArgNames({"widest", "cpus"})
    ->ArgsProduct({{0, 1}, {1, 2, 4, 8}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

#endif  // OVCG_PRINT_TOOL
