#include "halftoning/channel_pool.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "engine/platform.h"
#include "halftoning/halftone.h"

namespace ovcg {
namespace {

// A ring of 64 slots of `channels` rows, zero-filled; null when it does not
// fit the allocator's signed size or memory is exhausted.
unsigned char* AllocateRing(unsigned channels, uint64_t rowBytes) {
    const uint64_t bytes = uint64_t{CChannelPool::kSlots} * channels * rowBytes;
    if (bytes == 0 || bytes > INT_MAX) return nullptr;
    return static_cast<unsigned char*>(Mem_Alloc(static_cast<int>(bytes)));
}

}  // namespace

CChannelPool::CChannelPool(const CHalftone* halftone, void* const* channelHandles, const Geometry& geometry)
    : m_halftone(halftone), m_geometry(geometry) {
    const unsigned n = std::min(geometry.channels, kMaxChannels);
    for (unsigned c = 0; c < n; ++c) m_handles[c] = channelHandles[c];
}

CChannelPool::~CChannelPool() {
    Stop();
    Mem_Free(m_inkRing);
    Mem_Free(m_dotRing);
}

int CChannelPool::Start(const ThreadStarter& start) {
    const Geometry& g = m_geometry;
    if (g.channels < 1 || g.channels > kMaxChannels || g.runLines < 1 || g.runLines > kMaxRunLines)
        return kHtUnsupported;
    for (unsigned c = 0; c < g.channels; ++c)
        if (!m_handles[c]) return kHtNullHandle;
    if (!g.directInk && !(m_inkRing = AllocateRing(g.channels, g.inkRowBytes))) return kHtBandNoMemory;
    if (!(m_dotRing = AllocateRing(g.channels, g.dotRowBytes))) return kHtBandNoMemory;
    for (unsigned c = 0; c < g.channels; ++c) {
        m_args[c] = WorkerArg{this, c};
        m_threads[c].function = &WorkerMain;
        m_threads[c].argument = &m_args[c];
        if (start(&m_threads[c]) != 0) {
            Stop();
            return kHtThreadFailure;
        }
        ++m_started;
    }
    return 0;
}

void CChannelPool::Stop() {
    if (m_started == 0) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_workers.notify_all();
    ht_wait_multi_thread(m_threads, static_cast<int>(m_started));
    ht_close_handle(m_threads, static_cast<int>(m_started));
    m_started = 0;
}

unsigned char* CChannelPool::InkRow(uint32_t index, unsigned channel) const {
    return m_inkRing + (size_t{index % kSlots} * m_geometry.channels + channel) * m_geometry.inkRowBytes;
}

unsigned char* CChannelPool::DotRow(uint32_t index, unsigned channel) const {
    return m_dotRing + (size_t{index % kSlots} * m_geometry.channels + channel) * m_geometry.dotRowBytes;
}

// ---------------------------------------------------------------------------
// The calling thread

void CChannelPool::BeginBand() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_band;
        m_published = 0;
        m_closed = false;
        m_output = 0;
        std::fill(std::begin(m_progress), std::end(m_progress), 0u);
        m_abort = false;
        m_workerFailed = false;
        m_done = 0;
    }
    // No wake-up: a worker has nothing to do before the band's first
    // Publish, Close or Abort, each of which wakes it.
}

// The wake-ups below are given after the mutex is released: a woken thread
// that preempts the notifier (one core) would otherwise block at once on the
// mutex the notifier still holds, and cost two more thread switches.

void CChannelPool::Publish(uint32_t count) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_published = count;
    WakeWorkers(lock);
}

void CChannelPool::Close() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_closed = true;
    WakeWorkers(lock);
}

void CChannelPool::PublishAndClose(uint32_t count) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_published = count;
    m_closed = true;
    WakeWorkers(lock);
}

void CChannelPool::SetOutput(uint32_t count) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_output = count;
    if (m_spaceWaited) {
        m_spaceWaited = false;
        lock.unlock();
        m_workers.notify_all();
    }
}

void CChannelPool::Abort() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_abort = true;
    m_workers.notify_all();
}

uint32_t CChannelPool::Slowest() const {
    return *std::min_element(m_progress, m_progress + m_geometry.channels);
}

bool CChannelPool::Finished(uint32_t* rows) {
    std::lock_guard<std::mutex> lock(m_mutex);
    *rows = Slowest();
    return !m_abort;
}

bool CChannelPool::WaitFinished(uint32_t need, uint32_t* rows) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_callerWaiting = true;
    m_callerNeed = need;
    m_caller.wait(lock, [&] { return m_abort || Slowest() >= need; });
    m_callerWaiting = false;
    *rows = Slowest();
    return !m_abort;
}

void CChannelPool::WaitDone() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_callerWaiting = true;
    m_callerNeed = UINT32_MAX;  // woken by the last worker's end, not by rows
    m_caller.wait(lock, [&] { return m_done == m_geometry.channels; });
    m_callerWaiting = false;
}

int CChannelPool::EndBand() {
    WaitDone();
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_workerFailed ? kHtEngineCodeOther : 0;
}

void CChannelPool::WakeWorkers(std::unique_lock<std::mutex>& lock) {
    const bool idle = m_idleWorkers > 0;
    lock.unlock();
    if (idle) m_workers.notify_all();
}

void CChannelPool::WakeCaller(std::unique_lock<std::mutex>& lock) {
    // Only when what the caller waits for has come: a woken caller that goes
    // back to sleep costs two thread switches.
    if (!m_callerWaiting || Slowest() < m_callerNeed) return;
    lock.unlock();
    m_caller.notify_one();
    lock.lock();
}

// ---------------------------------------------------------------------------
// Workers

void CChannelPool::WorkerMain(void* argument) {
    auto* a = static_cast<WorkerArg*>(argument);
    a->pool->Work(a->channel);
}

bool CChannelPool::Ready(uint32_t i, uint32_t* rows, bool* ink) const {
    if (i >= m_published) return false;
    const ChannelRow& first = m_records[i % kSlots];
    uint32_t n = 1;
    if (first.kind != ChannelRow::kInk) {
        while (i + n < m_published && m_records[(i + n) % kSlots].kind != ChannelRow::kInk) ++n;
        *rows = n;
        *ink = false;
        return true;
    }
    while (n < m_geometry.runLines && i + n < m_published) {
        const ChannelRow& r = m_records[(i + n) % kSlots];
        if (r.kind != ChannelRow::kInk || r.engineRow != first.engineRow + static_cast<int32_t>(n)) break;
        ++n;
    }
    // A run that the next published row may still lengthen waits for it.
    if (n < m_geometry.runLines && i + n == m_published && !m_closed) return false;
    // Its dot rows must be handed on already (the calling thread's limit
    // keeps this true; SetOutput wakes a worker that waits for it).
    if (i + n > m_output + kSlots) {
        m_spaceWaited = true;
        return false;
    }
    *rows = n;
    *ink = true;
    return true;
}

void CChannelPool::Work(unsigned c) {
    const Geometry& g = m_geometry;
    const size_t entries = size_t{kMaxRunLines} * kMaxChannels;
    unsigned char* in[entries];
    unsigned char* out[entries];
    std::unique_lock<std::mutex> lock(m_mutex);
    uint64_t band = 0;
    for (;;) {
        ++m_idleWorkers;
        m_workers.wait(lock, [&] { return m_stop || m_band != band; });
        --m_idleWorkers;
        if (m_stop) return;
        band = m_band;
        uint32_t i = 0;
        for (;;) {
            uint32_t n = 0;
            bool ink = false;
            ++m_idleWorkers;
            m_workers.wait(lock, [&] { return m_abort || (m_closed && i >= m_published) || Ready(i, &n, &ink); });
            --m_idleWorkers;
            if (m_abort || (m_closed && i >= m_published)) break;
            if (ink) {
                const int32_t engineRow = m_records[i % kSlots].engineRow;
                for (uint32_t j = 0; j < n; ++j) {
                    const ChannelRow& r = m_records[(i + j) % kSlots];
                    for (unsigned m = 0; m < g.channels; ++m) {
                        in[j * g.channels + m] =
                            g.directInk ? const_cast<unsigned char*>(r.line) + m : InkRow(i + j, m);
                        out[j * g.channels + m] = nullptr;
                    }
                    out[j * g.channels + c] = DotRow(i + j, c);
                }
                lock.unlock();
                for (uint32_t j = 0; j < n; ++j) std::memset(out[j * g.channels + c], 0, g.dotRowBytes);
                const int r = m_halftone->HalftoneInkRows(m_handles[c], n, in, out, engineRow);
                lock.lock();
                if (r != 0) {
                    m_workerFailed = true;
                    m_abort = true;
                    m_workers.notify_all();
                    break;
                }
            }
            i += n;
            m_progress[c] = i;
            WakeCaller(lock);
        }
        ++m_done;
        // The caller may wait for the rows of a failed band or for the end
        // of the band's last worker.
        if (m_callerWaiting && (m_abort || m_done == g.channels)) {
            lock.unlock();
            m_caller.notify_one();
            lock.lock();
        }
    }
}

}  // namespace ovcg
