// The worker side of the parallel halftoning path: a ring of output rows
// that the calling thread plans and publishes, a few worker threads, and the
// two kinds of task they take:
//   - converting published rows into ink rows, a chunk of rows at a time,
//     with one of the conversion instances (the main instance is one);
//   - halftoning one channel's converted ink rows into its dot rows, a chunk
//     at a time, with the channel's own instance. A channel's rows go in
//     order, one thread at a time, since its error diffusion carries from
//     row to row; different channels run at once.
// The calling thread hands the rows every channel has finished on, in order,
// itself (intent_x_parallel.cpp); while it has to wait for them it takes
// tasks too, so a job never runs more threads than the workers and itself.
//
// Rows carry indices 0, 1, ... from the last Reset; row i lives in slot
// i mod Slots() of every ring (its record, source line, attribute line, ink
// rows and dot rows). The calling thread writes row i only when every row
// up to i - Slots() is handed on, and publishes rows in order; a task reads
// and writes only rows below the published count, and nothing of a row
// after it has been handed on. Engine calls are made once per batch, the
// rows of one engine call as the calling thread planned them, and a chunk
// never splits a batch.
//
// One mutex guards every counter, flag and claim; a worker waits on one
// condition variable (work), the calling thread on another (rows finished,
// a task to help with, the main instance back). A worker that finishes a
// task takes the next one itself; others are woken only for work it leaves.
// Rings and instances are not guarded: the claims and counters give each
// slot and each instance to one thread at a time, and the mutex orders the
// hand-over.
//
// A channel's rows may also be shared between two threads: where there are
// more threads than channels, each channel's instance cuts its long error-
// diffusion runs in two (hxr_ed_tail_slot.h). The channel's task walks each
// row's first half and posts the second; a third kind of task, a helper,
// walks the second halves while the task goes on to the next row's first
// half, and ends with the task. Without a helper the task walks them
// itself. The task joins the last one before its rows count as done.
//
// Failures: a task whose engine call fails records the row of its batch
// (a conversion its mapped code, a channel -3004) and no task starts at or
// beyond the lowest failed row; rows below it are finished as usual. The
// calling thread reads the failure when its hand-on reaches the row.
//
// Errors: Start answers 0, -4 (a ring cannot be allocated) or -10 (a worker
// cannot be started: those started are stopped and joined).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "halftoning/halftone.h"
#include "halftoning/ht_thread.h"
#include "hxr/binarize/hxr_ed_tail_slot.h"

namespace ovcg {

// One output row of the parallel path, as the calling thread planned it.
struct PipelineRow {
    enum Kind : uint8_t {
        kEmpty,    // handed on as an empty row
        kInk,      // converted, halftoned by every channel, handed on as a raster
        kSkipped,  // a raster inside the upper skip: handed on, never computed
    };
    Kind kind = kEmpty;
    uint8_t batch = 0;      // kInk: the rows of the engine call this row starts; 0 inside one
    int32_t engineRow = 0;  // kInk: the engine's row argument
    HtWindow window;        // kInk: its band's window
    const unsigned char* line = nullptr;  // kInk: its source line (the pipeline's copy)
    const unsigned char* attr = nullptr;  // kInk: its attribute line, or null
};

class CRowPipeline {
public:
    static constexpr unsigned kMaxChannels = 12;
    static constexpr unsigned kMaxConverters = 4;
    static constexpr unsigned kMaxBatch = 4;
    // Rows a task takes at most (a batch more when one would be split).
    static constexpr uint32_t kChunkRows = 16;
    // How far conversion keeps ahead of the slowest channel before a thread
    // that could do either halftones.
    static constexpr uint32_t kLeadRows = 2 * kChunkRows;
    static constexpr uint32_t kNoRow = 0xFFFFFFFFu;

    using ThreadStarter = std::function<int(CTHREAD_STRUCT_tag*)>;

    struct Geometry {
        unsigned channels = 0;    // N, 1 to 12
        unsigned converters = 1;  // conversion instances, 1 to 4
        uint32_t slots = 0;       // rows in the ring
        uint64_t lineBytes = 0;   // a source line
        uint64_t attrBytes = 0;   // an attribute line (0: none)
        uint64_t inkRowBytes = 0; // one channel's ink row (0 for a direct ink source)
        uint64_t dotRowBytes = 0; // one channel's dot row
        // A direct ink source: nothing is converted; channel m reads byte m of
        // each interleaved pixel of the row's source line.
        bool directInk = false;
    };

    // `halftone` makes the engine calls; converters[0] is the main instance.
    CRowPipeline(const CHalftone* halftone, const Geometry& geometry, void* const* converters,
                 void* const* channels);
    ~CRowPipeline();
    CRowPipeline(const CRowPipeline&) = delete;
    CRowPipeline& operator=(const CRowPipeline&) = delete;

    int Start(unsigned workers, const ThreadStarter& start);
    const Geometry& Layout() const { return m_geometry; }
    uint32_t Slots() const { return m_geometry.slots; }

    // ---- The calling thread ----
    PipelineRow& Record(uint32_t row) { return m_records[row % m_geometry.slots]; }
    unsigned char* Line(uint32_t row) const;
    unsigned char* Attr(uint32_t row) const;
    unsigned char* DotRow(uint32_t row, unsigned channel) const;
    // Rows 0 .. count - 1 are planned and may be taken.
    void Publish(uint32_t count);
    // The rows every channel has finished (never past a failed row).
    uint32_t Finished();
    // Waits, taking tasks meanwhile, until Finished() reaches `rows` or a
    // failure keeps it below.
    void WaitFinished(uint32_t rows);
    // A failure at `row` (the calling thread's, or a test's): the lowest wins.
    void Fail(uint32_t row, int code);
    // The lowest failed row (kNoRow: none) and its code.
    uint32_t FailedRow(int* code);
    // Waits until no task runs, then forgets every row: indices restart at 0.
    void Reset();
    // The calling thread takes the main instance from the conversions (it
    // waits until no task converts with it), and gives it back.
    void HoldMain();
    void ReleaseMain();

private:
    struct Task {
        enum Kind : uint8_t { kConvert, kHalftone, kHelp } kind = kConvert;
        unsigned unit = 0;  // the converter, or the channel
        uint32_t first = 0, end = 0;
    };
    struct WorkerArg {
        CRowPipeline* pool;
    };
    static void WorkerMain(void* argument);
    void Work();

    unsigned char* InkRow(uint32_t row, unsigned channel) const;
    // The end of a chunk from `first`, at most `limit` (a batch boundary).
    uint32_t ChunkEnd(uint32_t first, uint32_t limit) const;
    uint32_t Limit() const;
    uint32_t SlowestChannel() const;
    uint32_t FinishedLocked() const;
    // Under the mutex: claims the next task, if any. Conversion first while
    // it is less than kLeadRows ahead of the slowest channel; then the
    // channel the thread has just halftoned (-1: none), or the one furthest
    // behind.
    // `help`: the thread may help a channel's task (the calling thread does
    // not: it would be held for the whole task).
    bool Claim(Task* task, int lastChannel, bool help);
    unsigned AvailableTasks(bool help) const;
    // The channel furthest behind whose running task a helper could take,
    // or -1.
    int HelpWanted() const;
    bool Helpable(unsigned c) const { return m_slots[c] && m_channelBusy[c] && !m_helped[c]; }
    // Runs a claimed task (without the mutex): kNoRow, or the row whose
    // batch failed and its code.
    uint32_t Run(const Task& task, int* code);
    uint32_t RunRows(const Task& task, int* code);
    // Walks the second halves channel c's task posts until the task ends.
    void Help(unsigned channel);
    // Under the mutex, after claiming `task`: wakes a worker to help it.
    void CallHelper(const Task& task);
    // Under the mutex: records the task's outcome and wakes whom it concerns.
    // `self`: the caller of Complete takes a task next (a worker does).
    void Complete(const Task& task, uint32_t failedRow, int code, bool self);
    void FailLocked(uint32_t row, int code);
    void WakeWorkers(unsigned tasks);
    // `self`: the thread that calls it takes a task next.
    void WakeCaller(bool self);
    void Stop();

    const CHalftone* m_halftone;
    Geometry m_geometry;
    void* m_converters[kMaxConverters] = {};
    void* m_channels[kMaxChannels] = {};

    PipelineRow* m_records = nullptr;
    unsigned char* m_lines = nullptr;
    unsigned char* m_attrs = nullptr;
    unsigned char* m_inkRing = nullptr;
    unsigned char* m_dotRing = nullptr;
    uint8_t* m_converted = nullptr;  // per slot: the row is converted (until the frontier passes it)

    CTHREAD_STRUCT_tag m_threads[kHtMaxThreads] = {};
    WorkerArg m_arg{this};
    unsigned m_started = 0;

    std::mutex m_mutex;
    std::condition_variable m_work;    // workers: a task, or stop
    std::condition_variable m_caller;  // the calling thread: finished rows, a task, the main instance
    bool m_stop = false;
    unsigned m_idle = 0;     // workers waiting for a task
    unsigned m_running = 0;  // tasks claimed and not completed
    // What the calling thread waits for: finished rows (m_callerNeed of
    // them, or a task to help with), the main instance, no task running.
    enum class CallerWait : uint8_t { kNone, kRows, kMain, kIdle };
    CallerWait m_callerWait = CallerWait::kNone;
    uint32_t m_callerNeed = 0;

    uint32_t m_published = 0;
    uint32_t m_convertNext = 0;  // the first row no conversion has claimed
    uint32_t m_frontier = 0;     // rows 0 .. m_frontier - 1 are converted
    uint32_t m_done[kMaxChannels] = {};  // per channel: rows halftoned
    bool m_channelBusy[kMaxChannels] = {};
    // Channels whose instance cuts its long error-diffusion runs: the slot
    // its rows' second halves pass through (null: none); a helper is on the
    // channel's task; the channel's task runs (read by its helper).
    HXRHybridEDTailSlot* m_slots[kMaxChannels] = {};
    bool m_helped[kMaxChannels] = {};
    std::atomic<bool> m_open[kMaxChannels] = {};
    bool m_converterBusy[kMaxConverters] = {};
    uint32_t m_failedRow = kNoRow;
    int m_failedCode = 0;
};

}  // namespace ovcg
