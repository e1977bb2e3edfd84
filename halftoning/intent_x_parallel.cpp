// The calling thread's side of the parallel path: CIntentX::ParallelRows
// plans each band's rows into the row pipeline (row_pipeline.h) and hands
// the finished rows on, in order, across bands.
#include <sched.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <thread>

#include "engine/plimo_buffer.h"
#include "halftoning/intent_x.h"
#include "halftoning/row_pipeline.h"

namespace ovcg {
namespace {

int32_t ClampInt(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

// What the pipeline's ring may hold, and the rows it holds at least and at
// most, sized from the page's width (the bytes of a row), never its length.
// The ring lets the inks run ahead of the slowest one where the page is
// easier on them. The more workers, the further ahead they must run to keep
// busy (a share each, between a floor and a ceiling that four inks on seven
// workers reach); the more inks, the more tasks a chunk of rows gives them,
// so that beyond four inks the same bytes are spread over fewer rows: a
// wide page of many inks would otherwise hold more than its halftoning.
constexpr uint64_t kRingBudgetPerWorker = 7u << 20;
constexpr uint64_t kRingBudgetFloor = 16u << 20;
constexpr uint64_t kRingBudget = 24u << 20;
constexpr unsigned kRingBudgetInks = 4;
constexpr uint32_t kMinSlots = 2 * CRowPipeline::kChunkRows;
constexpr uint32_t kMaxSlots = 32 * CRowPipeline::kChunkRows;

// The page's row counters (rows passed n, the upper skip s, whether the skip
// is done and whether any row has reached the output module) as handing the
// rows on, one by one, will move them: the steps of CHalftone::RasterOut and
// EmptyRasterOut for one row. The calling thread runs them ahead of the
// hand-on, so that each row gets, when it is planned, the decisions that the
// serial path's counters give it when it comes.
struct RowCounters {
    uint64_t n = 0, s = 0;
    bool done = false;
    bool hasOutput = false;
    uint64_t limit = 0, minimum = 0;
    bool outModule = false;

    struct Pass {
        bool computed;      // past the skip: the engine halftones the row
        int32_t engineRow;  // the engine's row argument (n - s before the row)
    };
    Pass Step() {
        const int32_t engineRow = ClampInt(static_cast<int64_t>(n) - static_cast<int64_t>(s));
        uint64_t r = 1;
        if (!done) {
            if (minimum + s + 1 <= limit) {
                ++s, ++n;
                return {false, 0};
            }
            // The page's limit ends the skip here.
            const uint64_t skip = minimum <= limit ? limit - minimum : 0;
            r = s + 1 - skip;
            s = n = skip;
            done = true;
        }
        const bool past = n >= s;
        n += r;
        if (outModule && past) hasOutput = true;
        return {past, past ? engineRow : 0};
    }
};

}  // namespace

// The rows of the parallel path from the first parallel band of the job to
// its end. Rows planned in one band may be handed on in a later call: the
// ring holds at most Slots() rows, and everything that passes rows to the
// output module by another way (blank rows, the upper skip, the page end)
// hands these on first (CIntentX::DrainRows).
class CIntentX::ParallelRows {
public:
    ParallelRows(CIntentX& x, std::unique_ptr<CRowPipeline> pipe, std::unique_ptr<uint8_t[]> runBreak)
        : m_x(x), m_pipe(std::move(pipe)), m_runBreak(std::move(runBreak)) {}

    // Plans the current band's rows and hands on what is finished.
    int Band();
    // Hands on every row planned.
    int Drain();
    // Hands on the rows finished by now (without waiting).
    int HandOnReady() { return HandOn(0); }
    bool Empty() const { return m_planned == m_output; }
    uint32_t Slots() const { return m_pipe->Slots(); }

private:
    uint32_t Slot(uint32_t row) const { return row % m_pipe->Slots(); }
    void Sync();
    int AddLine(unsigned char* line, unsigned char* attr);
    int AddEmpty();
    void AddRow(const PipelineRow& row);
    void FlushBatch();
    void Publish(bool all);
    // Makes room for `rows` more rows.
    int MakeRoom(uint32_t rows);
    // Hands on rows until `goal` of them are (waiting for them), or those
    // finished by now; a failure reached ends the rows with its code.
    int HandOn(uint32_t goal);
    int Send(uint32_t row, uint32_t count, PipelineRow::Kind kind);
    // Forgets every row after a failure and returns its code.
    int Surface(int code);
    // Copies a line's window, as the engine reads it, into row `row`'s slot.
    void CopyLine(uint32_t row, const unsigned char* line, const unsigned char* attr, HtWindow w,
                  const unsigned char** lineCopy, const unsigned char** attrCopy);

    CIntentX& m_x;
    std::unique_ptr<CRowPipeline> m_pipe;
    std::unique_ptr<uint8_t[]> m_runBreak;  // per slot: the last row of its band
    RowCounters m_plan;
    uint32_t m_planned = 0;    // rows written
    uint32_t m_published = 0;  // rows the workers may take
    uint32_t m_output = 0;     // rows handed on
    uint32_t m_dropped = 0;    // the band's rows dropped before the page's first output
    // The engine call being collected: its first row, engine row and rows.
    uint32_t m_batchFirst = 0;
    int32_t m_batchRow = 0;
    unsigned m_batch = 0;
};

void CIntentX::ParallelRows::Sync() {
    m_plan.n = m_x.RowsPassed();
    m_plan.s = m_x.SkipRows();
    m_plan.done = m_x.SkipDone();
    m_plan.hasOutput = m_x.PageHasOutput();
    m_plan.limit = std::min<uint64_t>(uint64_t{m_x.PageLength()} * m_x.Buffer()->VRatio(), 0xFFFFFFFFu);
    m_plan.minimum = m_x.MinimumLength();
    m_plan.outModule = m_x.OutModule() != nullptr;
}

int CIntentX::ParallelRows::Band() {
    // An empty pipeline plans from the page's own counters.
    if (Empty()) Sync();
    const uint32_t used = m_x.UsedRows();
    const bool attributes = m_x.AttributeKept();
    const uint32_t first = m_planned;
    m_dropped = 0;
    for (uint32_t u = 0; u < used; ++u) {
        const uint32_t row = m_x.RowOf(u);
        if (m_x.PrintedRow(u)) {
            unsigned char* line = m_x.LineOf(row);
            const unsigned char* alpha = nullptr;
            m_x.ConvertRow(line, 0, &alpha);
            if (int r = AddLine(line, attributes ? m_x.AttrOf(row) : nullptr)) return r;
        } else {
            for (unsigned rep = 0; rep < m_x.m_repeat; ++rep)
                if (int r = AddEmpty()) return r;
        }
    }
    // Engine calls and hand-on runs end with the band, as the serial path's.
    FlushBatch();
    if (m_planned > first) m_runBreak[Slot(m_planned - 1)] = 1;
    m_x.m_lastParallel = ParallelBandRows{used * m_x.m_repeat, m_dropped};
    Publish(false);
    return HandOn(0);
}

int CIntentX::ParallelRows::AddLine(unsigned char* line, unsigned char* attr) {
    // The line's R rows take consecutive slots; its copy lives in the last
    // one's, which is free only when the rows before it are handed on.
    const unsigned repeat = m_x.m_repeat;
    if (int r = MakeRoom(repeat)) return r;
    const uint32_t last = m_planned + repeat - 1;
    const unsigned char* lineCopy = nullptr;
    const unsigned char* attrCopy = nullptr;
    const HtWindow window{m_x.Left(), m_x.Right()};
    for (unsigned rep = 0; rep < repeat; ++rep) {
        const RowCounters::Pass pass = m_plan.Step();
        if (!pass.computed) {
            FlushBatch();
            AddRow(PipelineRow{PipelineRow::kSkipped, 0, 0, {}, nullptr, nullptr});
            continue;
        }
        if (!lineCopy) CopyLine(last, line, attr, window, &lineCopy, &attrCopy);
        if (m_batch > 0 && pass.engineRow != m_batchRow + static_cast<int32_t>(m_batch)) FlushBatch();
        if (m_batch == 0) {
            m_batchFirst = m_planned;
            m_batchRow = pass.engineRow;
        }
        AddRow(PipelineRow{PipelineRow::kInk, 0, pass.engineRow, window, lineCopy, attrCopy});
        if (++m_batch == m_x.m_lines) FlushBatch();
    }
    return 0;
}

int CIntentX::ParallelRows::AddEmpty() {
    // Before the page's first output a deferring generator drops them
    // uncounted.
    if (m_x.m_deferSkip && !m_plan.hasOutput) {
        ++m_dropped;
        return 0;
    }
    FlushBatch();
    if (int r = MakeRoom(1)) return r;
    m_plan.Step();
    AddRow(PipelineRow{});
    return 0;
}

void CIntentX::ParallelRows::AddRow(const PipelineRow& row) {
    m_pipe->Record(m_planned) = row;
    m_runBreak[Slot(m_planned)] = 0;
    ++m_planned;
}

void CIntentX::ParallelRows::FlushBatch() {
    if (m_batch == 0) return;
    m_pipe->Record(m_batchFirst).batch = static_cast<uint8_t>(m_batch);
    m_batch = 0;
}

void CIntentX::ParallelRows::Publish(bool all) {
    // The workers see whole engine calls, a chunk at a time: one wake-up
    // serves many rows.
    const uint32_t ready = m_planned - m_batch;
    if (ready > m_published && (all || ready - m_published >= CRowPipeline::kChunkRows)) {
        m_published = ready;
        m_pipe->Publish(ready);
    }
}

void CIntentX::ParallelRows::CopyLine(uint32_t row, const unsigned char* line, const unsigned char* attr,
                                      HtWindow w, const unsigned char** lineCopy, const unsigned char** attrCopy) {
    unsigned char* dst = m_pipe->Line(row);
    *lineCopy = dst;
    *attrCopy = nullptr;
    const HtSpan span = m_x.EngineSpan(w);
    if (span.count == 0 || !line) return;
    // The engine reads every step-th pixel of the window, up to the last.
    const uint64_t pixel = m_x.ConvertedPixelBytes();
    const uint64_t last = (uint64_t{span.first} + span.count - 1) * m_x.m_step + 1;
    const size_t from = static_cast<size_t>(w.left * pixel);
    const size_t to = static_cast<size_t>(last * pixel);
    std::memcpy(dst + from, line + from, to - from);
    m_x.BinaFilter(dst, w.left, static_cast<unsigned>(std::min<uint64_t>(w.right, to)));
    if (unsigned char* a = m_pipe->Attr(row); a && attr) {
        std::memcpy(a + w.left, attr + w.left, w.right - w.left);
        *attrCopy = a;
    }
}

int CIntentX::ParallelRows::MakeRoom(uint32_t rows) {
    const uint32_t slots = m_pipe->Slots();
    if (m_planned + rows <= m_output + slots) return 0;
    Publish(true);
    return HandOn(m_planned + rows - slots);
}

int CIntentX::ParallelRows::Drain() {
    FlushBatch();
    Publish(true);
    if (int r = HandOn(m_planned)) return r;
    // Every row is handed on: the indices start again.
    m_pipe->Reset();
    m_planned = m_published = m_output = 0;
    return 0;
}

int CIntentX::ParallelRows::HandOn(uint32_t goal) {
    const uint32_t most = std::clamp(m_x.BandRows(), 1u, 2u);
    for (;;) {
        const uint32_t finished = m_pipe->Finished();
        int failure = 0;
        // Runs of 1 or 2 rows of one kind within a band; a row waits for its
        // successor, so that the runs do not depend on timing.
        while (m_output < finished) {
            const uint32_t next = m_output;
            const PipelineRow::Kind kind = m_pipe->Record(next).kind;
            uint32_t count = 1;
            if (!m_runBreak[Slot(next)]) {
                if (next + 1 < finished) {
                    if (m_pipe->Record(next + 1).kind == kind) count = most;
                } else if (goal < m_planned || next + 1 != m_planned) {
                    break;
                }
            }
            if (int r = Send(next, count, kind)) {
                m_pipe->Fail(next, r);
                failure = r;
                break;
            }
            m_output += count;
        }
        int code = failure;
        const uint32_t failed = m_pipe->FailedRow(&code);
        if (failed != CRowPipeline::kNoRow && m_output >= failed) return Surface(code);
        if (m_output >= goal) return 0;
        const uint32_t need = std::min(m_output + (m_runBreak[Slot(m_output)] ? 1u : 2u), m_published);
        m_pipe->WaitFinished(need);
    }
}

int CIntentX::ParallelRows::Send(uint32_t row, uint32_t count, PipelineRow::Kind kind) {
    void* main = m_x.m_handles[0];
    // Inside the upper skip a row may end it, which resets the main
    // instance's switching positions: the conversions give it up meanwhile.
    struct MainHeld {
        CRowPipeline* pipe;
        ~MainHeld() {
            if (pipe) pipe->ReleaseMain();
        }
    } held{m_x.SkipDone() ? nullptr : m_pipe.get()};
    if (held.pipe) held.pipe->HoldMain();
    int r = 0;
    if (kind == PipelineRow::kEmpty) {
        r = m_x.EmptyRasterOut(main, count);
    } else if (kind == PipelineRow::kSkipped) {
        // Inside the skip nothing is sent; blank rows should it be.
        m_x.InitOutBuffer();
        r = m_x.RasterOut(main, count);
    } else {
        const unsigned n = m_pipe->Layout().channels;
        unsigned char* rows[CHalftone::kMaxBandRows * CRowPipeline::kMaxChannels];
        for (uint32_t b = 0; b < count; ++b)
            for (unsigned k = 0; k < n; ++k) rows[b * n + k] = m_pipe->DotRow(row + b, k);
        r = m_x.SetBufferForRasterOut(rows, count, n, static_cast<int>(m_x.RowBytes()));
        if (r == 0) r = m_x.RasterOut(main, count);
    }
    return r;
}

int CIntentX::ParallelRows::Surface(int code) {
    // The rows from the failed one on are not handed on: the page fails.
    m_pipe->Reset();
    m_planned = m_published = m_output = 0;
    m_batch = 0;
    return code;
}

// ---------------------------------------------------------------------------

static_assert(CIntentX::kMaxConversionInstances == CRowPipeline::kMaxConverters);

void CIntentX::ParallelRowsDeleter::operator()(ParallelRows* rows) const { delete rows; }

int CIntentX::DrainRows() {
    if (int r = m_pendingCode) {
        m_pendingCode = 0;
        return r;
    }
    return m_parallel ? m_parallel->Drain() : 0;
}

bool CIntentX::RowsHeld() const { return m_parallel && !m_parallel->Empty(); }

uint32_t CIntentX::RingRows() const { return m_parallel ? m_parallel->Slots() : 0u; }

int CIntentX::HandOnFinishedRows() {
    if (int r = m_pendingCode) {
        m_pendingCode = 0;
        return r;
    }
    return m_parallel ? m_parallel->HandOnReady() : 0;
}

unsigned CIntentX::DefaultWorkerThreads() {
    // The CPUs the calling thread may run on: a process restricted to some
    // (taskset, a container's CPU set) uses only those.
    cpu_set_t set;
    CPU_ZERO(&set);
    int cpus = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 0;
    if (cpus <= 0) cpus = static_cast<int>(std::thread::hardware_concurrency());
    return cpus <= 1 ? 0u : std::min<unsigned>(static_cast<unsigned>(cpus) - 1, kHtMaxThreads);
}

unsigned CIntentX::ConversionInstances(unsigned workers) {
    // A fifth to a quarter of a colour page's work is its conversion, and
    // it runs slower beside the other tasks than alone: three instances for
    // every eight threads (the workers and the calling thread).
    const unsigned threads = workers + 1;
    return std::clamp((3 * threads + 4) / 8, 1u, CRowPipeline::kMaxConverters);
}

uint32_t CIntentX::RingRowsFor(uint64_t rowBytes, unsigned workers, unsigned inks) {
    const uint64_t budget = std::clamp<uint64_t>(kRingBudgetPerWorker * workers, kRingBudgetFloor, kRingBudget) *
                            kRingBudgetInks / std::max(kRingBudgetInks, inks);
    return static_cast<uint32_t>(std::clamp<uint64_t>(budget / std::max<uint64_t>(rowBytes, 1), kMinSlots, kMaxSlots));
}

int CIntentX::ExecBandOutHybridParallel() {
    if (int r = SetWindow(m_place.left, m_place.right)) return r;
    if (!m_parallel) {
        CRowPipeline::Geometry g;
        g.channels = m_channels;
        g.directInk = Init().src_format >= 101 && Init().src_format <= 112;
        g.converters = g.directInk ? 1 : 1 + m_extraConverters;
        // A window ends at the page's width.
        const uint64_t pixels = uint64_t{m_pageWidth} + 1;
        g.lineBytes = pixels * ConvertedPixelBytes() + 8;
        g.attrBytes = AttributeKept() ? pixels + 8 : 0;
        // An ink row holds the page's width scaled to the output; halftoning
        // a window may read one column past its scaled right edge.
        g.inkRowBytes = g.directInk ? 0 : ScaleByOutput(m_pageWidth) + 8;
        g.dotRowBytes = RowBytes();
        const uint64_t row = g.lineBytes + g.attrBytes + uint64_t{m_channels} * (g.inkRowBytes + g.dotRowBytes);
        g.slots = std::max(RingRowsFor(row, m_workers, m_channels), 4 * m_repeat);
        void* converters[CRowPipeline::kMaxConverters] = {m_handles[0]};
        for (unsigned c = 0; c < m_extraConverters; ++c) converters[1 + c] = m_converterHandles[c];
        std::unique_ptr<CRowPipeline> pipe(new (std::nothrow) CRowPipeline(this, g, converters, &m_handles[1]));
        std::unique_ptr<uint8_t[]> runBreak(new (std::nothrow) uint8_t[g.slots]());
        if (!pipe || !runBreak) return kHtBandNoMemory;
        if (int r = pipe->Start(m_workers, [this](CTHREAD_STRUCT_tag* t) { return BeginWorkerThread(t); }))
            return r;
        m_parallel.reset(new (std::nothrow) ParallelRows(*this, std::move(pipe), std::move(runBreak)));
        if (!m_parallel) return kHtBandNoMemory;
    }
    return m_parallel->Band();
}

}  // namespace ovcg
