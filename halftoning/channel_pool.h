// The worker pool of the parallel halftoning path: one thread per output
// colour channel, each the only caller of its channel's engine instance.
//
// The band driver makes the pool at a job's first parallel band and keeps it
// until it is destroyed; the destructor stops and joins the workers. Between
// bands the workers wait; nothing sleeps or polls.
//
// A band's rows carry indices 0, 1, ... in the order they are handed on. The
// calling thread plans each row (ChannelRow), converts the ink rows into the
// ink ring and publishes rows in index order; every worker halftones its
// channel of the published ink rows, in runs of consecutive ink rows with
// consecutive engine rows (at most `runLines` a run), into the dot ring; the
// calling thread hands a row on once every worker has passed it. Row i lives
// in slot i mod 64 of the ink ring, the dot ring and the record ring, so the
// calling thread may write index i only when i < output progress + 64 (it
// hands rows on itself, and output progress never passes the slowest
// worker). A worker clears each of its dot rows before the engine writes it.
//
// Calling order (one calling thread): Start once; per band BeginBand, then
// Record / InkRow / Publish for the rows, Finished or WaitFinished with
// DotRow and SetOutput for the hand-on, Close when the band's last row is
// published (or PublishAndClose for the last rows), EndBand; Abort at any
// time before EndBand ends the band early. EndBand returns only when every
// worker is done with the band: the band's pixels, which the workers of a
// direct ink source read, are the caller's again.
//
// One mutex guards the counters and flags; the calling thread waits on one
// condition variable (finished rows), the workers on another (published
// rows, the next band, stop). Rings and records are not guarded: the index
// protocol above keeps each slot with one thread at a time, and the mutex
// orders the hand-over.
//
// Errors: Start answers 0, -4 (the rings cannot be allocated) or -10 (a
// worker cannot be started: those started are stopped and joined). EndBand
// answers -3004 when a worker's engine call failed, else 0.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "halftoning/ht_thread.h"

namespace ovcg {

class CHalftone;

// One row of a parallel band, as the calling thread planned it.
struct ChannelRow {
    enum Kind : uint8_t {
        kEmpty,    // handed on as an empty row
        kInk,      // halftoned by every worker, then handed on as a raster
        kSkipped,  // a raster inside the upper skip: handed on, never computed
    };
    Kind kind = kEmpty;
    int32_t engineRow = 0;                // kInk: the engine's row argument
    const unsigned char* line = nullptr;  // kInk of a direct ink source: the band line
};

class CChannelPool {
public:
    static constexpr unsigned kSlots = 64;
    static constexpr unsigned kMaxChannels = 12;
    static constexpr unsigned kMaxRunLines = 4;

    // Starts one worker (ht_begin_thread, or a test's stand-in): 0 or -10.
    using ThreadStarter = std::function<int(CTHREAD_STRUCT_tag*)>;

    struct Geometry {
        unsigned channels = 0;     // N, 1 to 12
        unsigned runLines = 2;     // most rows in one engine call, 1 to 4
        uint64_t inkRowBytes = 0;  // one channel's ink row (0: a direct ink source, no ink ring)
        uint64_t dotRowBytes = 0;  // one channel's dot row
        // Direct ink: the workers read byte m of each interleaved pixel of
        // the recorded band line as channel m.
        bool directInk = false;
    };

    // `halftone` runs the workers' engine calls on channelHandles[c].
    CChannelPool(const CHalftone* halftone, void* const* channelHandles, const Geometry& geometry);
    ~CChannelPool();
    CChannelPool(const CChannelPool&) = delete;
    CChannelPool& operator=(const CChannelPool&) = delete;

    int Start(const ThreadStarter& start);
    const Geometry& Layout() const { return m_geometry; }

    // ---- The calling thread ----
    void BeginBand();
    ChannelRow& Record(uint32_t index) { return m_records[index % kSlots]; }
    unsigned char* InkRow(uint32_t index, unsigned channel) const;
    unsigned char* DotRow(uint32_t index, unsigned channel) const;
    // Rows 0 .. count - 1 are planned (and their ink rows written).
    void Publish(uint32_t count);
    // No row follows the published ones.
    void Close();
    // Publish(count) and Close() with one wake-up of the workers.
    void PublishAndClose(uint32_t count);
    // The rows every worker has passed (0 .. result - 1); false after a
    // failure or an Abort.
    bool Finished(uint32_t* rows);
    // Waits until every worker has passed row `need` - 1, or the band failed.
    bool WaitFinished(uint32_t need, uint32_t* rows);
    // Rows 0 .. count - 1 are handed on: their slots are free.
    void SetOutput(uint32_t count);
    void Abort();
    // After Close (or an Abort): waits until every worker is done with the
    // band, which it ends once it has passed every published row or on an
    // abort. The rows stay to be handed on.
    void WaitDone();
    int EndBand();

private:
    struct WorkerArg {
        CChannelPool* pool;
        unsigned channel;
    };
    static void WorkerMain(void* argument);
    void Work(unsigned channel);
    // Whether worker progress `i` can move: *rows rows from i, *ink whether
    // they are a run to halftone (else rows to pass over). Under the mutex.
    bool Ready(uint32_t i, uint32_t* rows, bool* ink) const;
    uint32_t Slowest() const;
    // Under the mutex, which they release (WakeCaller takes it again).
    void WakeWorkers(std::unique_lock<std::mutex>& lock);
    void WakeCaller(std::unique_lock<std::mutex>& lock);
    void Stop();

    const CHalftone* m_halftone;
    void* m_handles[kMaxChannels] = {};
    Geometry m_geometry;
    unsigned char* m_inkRing = nullptr;
    unsigned char* m_dotRing = nullptr;
    ChannelRow m_records[kSlots];

    CTHREAD_STRUCT_tag m_threads[kMaxChannels] = {};
    WorkerArg m_args[kMaxChannels] = {};
    unsigned m_started = 0;

    std::mutex m_mutex;
    std::condition_variable m_workers;  // published rows, a new band, stop
    std::condition_variable m_caller;   // finished rows, workers done
    unsigned m_idleWorkers = 0;
    bool m_callerWaiting = false;
    uint32_t m_callerNeed = 0;  // the rows a waiting caller needs (WaitFinished)
    bool m_stop = false;
    uint64_t m_band = 0;
    uint32_t m_published = 0;
    bool m_closed = false;
    uint32_t m_output = 0;
    mutable bool m_spaceWaited = false;  // a worker waits for dot rows to be handed on
    uint32_t m_progress[kMaxChannels] = {};
    bool m_abort = false;
    bool m_workerFailed = false;
    unsigned m_done = 0;
};

}  // namespace ovcg
