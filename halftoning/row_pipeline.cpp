#include "halftoning/row_pipeline.h"

#include <pthread.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <thread>

#include "engine/platform.h"

namespace ovcg {
namespace {

// A zero-filled block of slots x per bytes; null when it does not fit the
// allocator's signed size or memory is exhausted.
unsigned char* AllocateRing(uint64_t slots, uint64_t per) {
    const uint64_t bytes = slots * per;
    if (bytes == 0 || per > INT_MAX || bytes > INT_MAX) return nullptr;
    return static_cast<unsigned char*>(Mem_Alloc(static_cast<int>(bytes)));
}

}  // namespace

CRowPipeline::CRowPipeline(const CHalftone* halftone, const Geometry& geometry, void* const* converters,
                           void* const* channels)
    : m_halftone(halftone), m_geometry(geometry) {
    m_geometry.channels = std::min(geometry.channels, kMaxChannels);
    m_geometry.converters = std::clamp(geometry.converters, 1u, kMaxConverters);
    for (unsigned c = 0; c < m_geometry.converters; ++c) m_converters[c] = converters[c];
    for (unsigned c = 0; c < m_geometry.channels; ++c) m_channels[c] = channels[c];
}

CRowPipeline::~CRowPipeline() {
    Stop();
    Mem_Free(m_records);
    Mem_Free(m_lines);
    Mem_Free(m_attrs);
    Mem_Free(m_inkRing);
    Mem_Free(m_dotRing);
    Mem_Free(m_converted);
}

int CRowPipeline::Start(unsigned workers, const ThreadStarter& start) {
    const Geometry& g = m_geometry;
    if (g.channels < 1 || g.slots < 2 * kChunkRows || workers < 1 || workers > kHtMaxThreads)
        return kHtUnsupported;
    for (unsigned c = 0; c < g.channels; ++c)
        if (!m_channels[c]) return kHtNullHandle;
    for (unsigned c = 0; c < g.converters; ++c)
        if (!m_converters[c] && !g.directInk) return kHtNullHandle;
    const uint64_t slots = g.slots;
    m_records = reinterpret_cast<PipelineRow*>(AllocateRing(slots, sizeof(PipelineRow)));
    m_converted = AllocateRing(slots, 1);
    m_lines = AllocateRing(slots, g.lineBytes);
    m_dotRing = AllocateRing(slots, g.channels * g.dotRowBytes);
    if (!m_records || !m_converted || !m_lines || !m_dotRing) return kHtBandNoMemory;
    if (g.attrBytes && !(m_attrs = AllocateRing(slots, g.attrBytes))) return kHtBandNoMemory;
    if (!g.directInk && !(m_inkRing = AllocateRing(slots, g.channels * g.inkRowBytes))) return kHtBandNoMemory;
    for (uint32_t s = 0; s < g.slots; ++s) new (&m_records[s]) PipelineRow();
    // A channel gains from a helper only where the threads outnumber the
    // channels.
    if (workers + 1 > g.channels)
        for (unsigned c = 0; c < g.channels; ++c) m_slots[c] = m_halftone->CutRuns(m_channels[c]);
    for (unsigned w = 0; w < workers; ++w) {
        m_threads[w].function = &WorkerMain;
        m_threads[w].argument = &m_arg;
        if (start(&m_threads[w]) != 0) {
            Stop();
            return kHtThreadFailure;
        }
        ++m_started;
    }
    return 0;
}

void CRowPipeline::Stop() {
    if (m_started == 0) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_work.notify_all();
    ht_wait_multi_thread(m_threads, static_cast<int>(m_started));
    ht_close_handle(m_threads, static_cast<int>(m_started));
    m_started = 0;
}

unsigned char* CRowPipeline::Line(uint32_t row) const {
    return m_lines + size_t{row % m_geometry.slots} * m_geometry.lineBytes;
}

unsigned char* CRowPipeline::Attr(uint32_t row) const {
    return m_attrs ? m_attrs + size_t{row % m_geometry.slots} * m_geometry.attrBytes : nullptr;
}

unsigned char* CRowPipeline::InkRow(uint32_t row, unsigned channel) const {
    return m_inkRing +
           (size_t{row % m_geometry.slots} * m_geometry.channels + channel) * m_geometry.inkRowBytes;
}

unsigned char* CRowPipeline::DotRow(uint32_t row, unsigned channel) const {
    return m_dotRing +
           (size_t{row % m_geometry.slots} * m_geometry.channels + channel) * m_geometry.dotRowBytes;
}

// ---------------------------------------------------------------------------
// Counters (under the mutex)

uint32_t CRowPipeline::Limit() const { return std::min(m_published, m_failedRow); }

uint32_t CRowPipeline::SlowestChannel() const {
    return *std::min_element(m_done, m_done + m_geometry.channels);
}

uint32_t CRowPipeline::FinishedLocked() const { return std::min(SlowestChannel(), m_failedRow); }

uint32_t CRowPipeline::ChunkEnd(uint32_t first, uint32_t limit) const {
    uint32_t i = first;
    while (i < limit && i - first < kChunkRows) {
        const PipelineRow& r = m_records[i % m_geometry.slots];
        i += r.kind == PipelineRow::kInk && r.batch > 0 ? r.batch : 1u;
    }
    return i;
}

bool CRowPipeline::Claim(Task* task, int lastChannel, bool help) {
    const uint32_t limit = Limit();
    // The channel the thread has just halftoned, its error lines still in
    // the core's cache; else the channel furthest behind among those with
    // converted rows to do.
    int channel = -1;
    const uint32_t converted = std::min(m_frontier, limit);
    const auto ready = [&](int c) { return !m_channelBusy[c] && m_done[c] < converted; };
    if (lastChannel >= 0 && ready(lastChannel)) {
        channel = lastChannel;
    } else {
        for (unsigned c = 0; c < m_geometry.channels; ++c)
            if (ready(static_cast<int>(c)) && (channel < 0 || m_done[c] < m_done[channel]))
                channel = static_cast<int>(c);
    }
    int converter = -1;
    if (m_convertNext < limit)
        for (unsigned c = 0; c < m_geometry.converters; ++c)
            if (!m_converterBusy[c]) {
                converter = static_cast<int>(c);
                break;
            }
    if (converter >= 0 && (channel < 0 || m_convertNext - SlowestChannel() < kLeadRows)) {
        task->kind = Task::kConvert;
        task->unit = static_cast<unsigned>(converter);
        task->first = m_convertNext;
        task->end = ChunkEnd(m_convertNext, limit);
        m_convertNext = task->end;
        m_converterBusy[converter] = true;
    } else if (channel >= 0) {
        task->kind = Task::kHalftone;
        task->unit = static_cast<unsigned>(channel);
        task->first = m_done[channel];
        task->end = ChunkEnd(task->first, converted);
        m_channelBusy[channel] = true;
        if (m_slots[channel]) m_open[channel].store(true, std::memory_order_relaxed);
    } else if (int c = help ? HelpWanted() : -1; c >= 0) {
        task->kind = Task::kHelp;
        task->unit = static_cast<unsigned>(c);
        task->first = task->end = 0;
        m_helped[c] = true;
    } else {
        return false;
    }
    ++m_running;
    return true;
}

int CRowPipeline::HelpWanted() const {
    // The channel furthest behind: the page ends with its last row.
    int wanted = -1;
    for (unsigned c = 0; c < m_geometry.channels; ++c)
        if (Helpable(c) && (wanted < 0 || m_done[c] < m_done[wanted]))
            wanted = static_cast<int>(c);
    return wanted;
}

unsigned CRowPipeline::AvailableTasks(bool help) const {
    const uint32_t limit = Limit();
    const uint32_t converted = std::min(m_frontier, limit);
    unsigned n = 0;
    for (unsigned c = 0; c < m_geometry.channels; ++c) n += !m_channelBusy[c] && m_done[c] < converted;
    if (m_convertNext < limit) {
        const unsigned chunks = (limit - m_convertNext + kChunkRows - 1) / kChunkRows;
        unsigned free = 0;
        for (unsigned c = 0; c < m_geometry.converters; ++c) free += !m_converterBusy[c];
        n += std::min(chunks, free);
    }
    if (help)
        for (unsigned c = 0; c < m_geometry.channels; ++c) n += Helpable(c);
    return n;
}

void CRowPipeline::FailLocked(uint32_t row, int code) {
    if (row >= m_failedRow) return;
    m_failedRow = row;
    m_failedCode = code;
}

// The wake-ups are given under the mutex: the woken thread must find what
// it was woken for, and a wake-up a waiter misses would stall the page.

void CRowPipeline::WakeWorkers(unsigned tasks) {
    for (unsigned i = 0; i < std::min(tasks, m_idle); ++i) m_work.notify_one();
}

void CRowPipeline::WakeCaller(bool self) {
    // Only when what it waits for has come, or when there is work no idle
    // worker takes: a woken caller that goes back to sleep costs two thread
    // switches.
    bool wake = false;
    switch (m_callerWait) {
        case CallerWait::kNone: return;
        case CallerWait::kRows: {
            const unsigned tasks = AvailableTasks(false);
            wake = SlowestChannel() >= std::min(m_callerNeed, m_failedRow) || tasks > m_idle + (self ? 1u : 0u);
            break;
        }
        case CallerWait::kMain: wake = !m_converterBusy[0]; break;
        case CallerWait::kIdle: wake = m_running == 0; break;
    }
    if (wake) m_caller.notify_one();
}

void CRowPipeline::Complete(const Task& task, uint32_t failedRow, int code, bool self) {
    const uint32_t end = failedRow == kNoRow ? task.end : failedRow;
    if (task.kind == Task::kConvert) {
        for (uint32_t i = task.first; i < end; ++i) m_converted[i % m_geometry.slots] = 1;
        while (m_frontier < m_published && m_converted[m_frontier % m_geometry.slots]) {
            m_converted[m_frontier % m_geometry.slots] = 0;
            ++m_frontier;
        }
        m_converterBusy[task.unit] = false;
    } else if (task.kind == Task::kHalftone) {
        m_done[task.unit] = end;
        m_channelBusy[task.unit] = false;
    } else {
        m_helped[task.unit] = false;
    }
    if (failedRow != kNoRow) FailLocked(failedRow, code);
    --m_running;
    const unsigned tasks = AvailableTasks(true);
    WakeWorkers(self && tasks > 0 ? tasks - 1 : tasks);
    WakeCaller(self);
}

// ---------------------------------------------------------------------------
// Tasks

uint32_t CRowPipeline::Run(const Task& task, int* code) {
    if (task.kind == Task::kHelp) {
        Help(task.unit);
        return kNoRow;
    }
    const uint32_t failed = RunRows(task, code);
    if (task.kind == Task::kHalftone && m_slots[task.unit]) {
        // The rows' second halves are written before the rows count as done.
        HXRJoinHybridEDTail(m_slots[task.unit]);
        m_open[task.unit].store(false, std::memory_order_release);
    }
    return failed;
}

void CRowPipeline::CallHelper(const Task& task) {
    // A channel task that can be helped: one more worker may take that.
    if (task.kind == Task::kHalftone && m_slots[task.unit] && m_idle > 0) m_work.notify_one();
}

void CRowPipeline::Help(unsigned channel) {
    HXRHybridEDTailSlot* slot = m_slots[channel];
    unsigned idle = 0;
    while (m_open[channel].load(std::memory_order_acquire)) {
        if (HXRTakeHybridEDTail(slot)) {
            idle = 0;
            continue;
        }
        HXRTailSlotPause();
        // On a machine with more threads than CPUs the ink's thread may be
        // waiting for this one's CPU.
        if (++idle % 1024 == 0) std::this_thread::yield();
    }
}

uint32_t CRowPipeline::RunRows(const Task& task, int* code) {
    const Geometry& g = m_geometry;
    const unsigned n = g.channels;
    // The engine reads the output rows of a second head after the call's
    // lines (the serial path's row table has none there): every entry but
    // the call's own is null.
    unsigned char* in[kMaxBatch * kMaxChannels];
    unsigned char* out[kMaxBatch * kMaxChannels];
    for (uint32_t i = task.first; i < task.end;) {
        const PipelineRow& r = m_records[i % g.slots];
        if (r.kind != PipelineRow::kInk || r.batch == 0) {
            ++i;
            continue;
        }
        const unsigned lines = std::min<unsigned>(r.batch, kMaxBatch);
        std::fill(std::begin(in), std::end(in), nullptr);
        std::fill(std::begin(out), std::end(out), nullptr);
        int result = 0;
        if (task.kind == Task::kConvert) {
            unsigned char* lineData[kMaxBatch];
            unsigned char* attrData[kMaxBatch];
            for (unsigned j = 0; j < lines; ++j) {
                const PipelineRow& row = m_records[(i + j) % g.slots];
                lineData[j] = const_cast<unsigned char*>(row.line);
                attrData[j] = const_cast<unsigned char*>(row.attr);
                for (unsigned m = 0; m < n; ++m) in[j * n + m] = InkRow(i + j, m);
            }
            result = m_halftone->ConvertColorRows(m_converters[task.unit], lines, lineData,
                                                  attrData[0] ? attrData : nullptr, r.window, in, r.engineRow);
        } else {
            const unsigned c = task.unit;
            for (unsigned j = 0; j < lines; ++j) {
                const PipelineRow& row = m_records[(i + j) % g.slots];
                for (unsigned m = 0; m < n; ++m)
                    in[j * n + m] = g.directInk ? const_cast<unsigned char*>(row.line) + m : InkRow(i + j, m);
                out[j * n + c] = DotRow(i + j, c);
                // The engine writes the window's bits; the rest of the row is blank.
                std::memset(out[j * n + c], 0, static_cast<size_t>(g.dotRowBytes));
            }
            result = m_halftone->HalftoneInkRows(m_channels[c], lines, in, out, r.window, r.engineRow);
            if (result != 0) result = kHtEngineCodeOther;
        }
        if (result != 0) {
            *code = result;
            return i;
        }
        i += lines;
    }
    return kNoRow;
}

void CRowPipeline::WorkerMain(void* argument) {
    // Named for thread listings and profiles.
    pthread_setname_np(pthread_self(), "ovcg-halftone");
    static_cast<WorkerArg*>(argument)->pool->Work();
}

void CRowPipeline::Work() {
    std::unique_lock<std::mutex> lock(m_mutex);
    int lastChannel = -1;
    for (;;) {
        Task task;
        while (!m_stop && !Claim(&task, lastChannel, true)) {
            ++m_idle;
            m_work.wait(lock);
            --m_idle;
        }
        if (m_stop) return;
        CallHelper(task);
        lock.unlock();
        int code = 0;
        const uint32_t failed = Run(task, &code);
        lock.lock();
        Complete(task, failed, code, true);
        if (task.kind != Task::kHelp) lastChannel = task.kind == Task::kHalftone ? static_cast<int>(task.unit) : -1;
    }
}

// ---------------------------------------------------------------------------
// The calling thread

void CRowPipeline::Publish(uint32_t count) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (count <= m_published) return;
    m_published = count;
    // A direct ink source has nothing to convert.
    if (m_geometry.directInk) m_frontier = m_convertNext = m_published;
    WakeWorkers(AvailableTasks(true));
}

uint32_t CRowPipeline::Finished() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return FinishedLocked();
}

void CRowPipeline::WaitFinished(uint32_t rows) {
    std::unique_lock<std::mutex> lock(m_mutex);
    // Rows below a failure are finished as usual; the failed one never is.
    while (SlowestChannel() < std::min(rows, m_failedRow)) {
        Task task;
        if (Claim(&task, -1, false)) {
            CallHelper(task);
            lock.unlock();
            int code = 0;
            const uint32_t failed = Run(task, &code);
            lock.lock();
            Complete(task, failed, code, false);
            continue;
        }
        m_callerWait = CallerWait::kRows;
        m_callerNeed = rows;
        m_caller.wait(lock);
        m_callerWait = CallerWait::kNone;
    }
}

void CRowPipeline::Fail(uint32_t row, int code) {
    std::lock_guard<std::mutex> lock(m_mutex);
    FailLocked(row, code);
}

uint32_t CRowPipeline::FailedRow(int* code) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (code) *code = m_failedCode;
    return m_failedRow;
}

void CRowPipeline::Reset() {
    std::unique_lock<std::mutex> lock(m_mutex);
    // Tasks past a failure may still run; their rows are dropped.
    while (m_running > 0) {
        m_callerWait = CallerWait::kIdle;
        m_caller.wait(lock);
        m_callerWait = CallerWait::kNone;
    }
    for (uint32_t s = 0; s < m_geometry.slots; ++s) m_converted[s] = 0;
    m_published = m_convertNext = m_frontier = 0;
    std::fill(std::begin(m_done), std::end(m_done), 0u);
    m_failedRow = kNoRow;
    m_failedCode = 0;
}

void CRowPipeline::HoldMain() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (m_converterBusy[0]) {
        m_callerWait = CallerWait::kMain;
        m_caller.wait(lock);
        m_callerWait = CallerWait::kNone;
    }
    m_converterBusy[0] = true;
}

void CRowPipeline::ReleaseMain() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_converterBusy[0] = false;
    WakeWorkers(AvailableTasks(true));
}

}  // namespace ovcg
