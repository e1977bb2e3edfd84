// The calling thread's side of the parallel path: CIntentX::ExecBandOutHybridParallel.
#include <algorithm>
#include <climits>
#include <new>

#include "engine/plimo_buffer.h"
#include "halftoning/channel_pool.h"
#include "halftoning/intent_x.h"

namespace ovcg {
namespace {

int32_t ClampInt(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

// The page's row counters (rows passed n, the upper skip s, whether the skip
// is done and whether any row has reached the output module) as handing the
// band's rows on, one by one, will move them: the steps of
// CHalftone::RasterOut and EmptyRasterOut for one row. The calling thread
// runs them ahead of the hand-on, so that each row gets, when it is planned,
// the decisions that the serial path's counters give it when it comes.
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

// One parallel band: the plan of its rows, the conversions, the hand-on.
// The destructor ends a band that an exception leaves, so the workers are
// done with the band's pixels whatever happens.
class CIntentX::ParallelBand {
public:
    ParallelBand(CIntentX& x, CChannelPool& pool) : m_x(x), m_pool(pool) {
        m_direct = pool.Layout().directInk;
        m_channels = pool.Layout().channels;
        m_counters.n = x.RowsPassed();
        m_counters.s = x.SkipRows();
        m_counters.done = x.SkipDone();
        m_counters.hasOutput = x.PageHasOutput();
        m_counters.limit = std::min<uint64_t>(uint64_t{x.PageLength()} * x.Buffer()->VRatio(), 0xFFFFFFFFu);
        m_counters.minimum = x.MinimumLength();
        m_counters.outModule = x.OutModule() != nullptr;
        m_pool.BeginBand();
    }
    ~ParallelBand() {
        if (m_ended) return;
        m_pool.Abort();
        m_pool.EndBand();
    }
    ParallelBand(const ParallelBand&) = delete;
    ParallelBand& operator=(const ParallelBand&) = delete;

    int Run();

private:
    int AddPrinted(unsigned char* line, unsigned char* attr);
    int AddEmpty();
    int AddRow(ChannelRow::Kind kind);
    // Converts the collected rows into their ink rows and publishes them;
    // `last` closes the band too (also when nothing is collected).
    int Flush(bool last = false);
    // Waits until `rows` more rows fit the rings.
    int MakeRoom(uint32_t rows);
    // Hands on the rows every worker has passed, in runs of 1 or 2 rows of
    // one kind (a row waits for its successor so that the runs do not depend
    // on timing); with `wait`, waits until there is one.
    int HandOn(bool wait);
    int Send(uint32_t index, uint32_t count, ChannelRow::Kind kind);
    int End(int code);

    CIntentX& m_x;
    CChannelPool& m_pool;
    bool m_direct = false;
    unsigned m_channels = 0;
    RowCounters m_counters;
    uint32_t m_published = 0;  // rows planned and published
    uint32_t m_output = 0;     // rows handed on
    uint32_t m_dropped = 0;
    bool m_closed = false;
    bool m_ended = false;
    // The rows collected for one conversion.
    unsigned m_batch = 0;
    int32_t m_batchRow = 0;
    unsigned char* m_lines[kGroupLines] = {};
    unsigned char* m_attrs[kGroupLines] = {};
};

int CIntentX::ParallelBand::Run() {
    const uint32_t used = m_x.UsedRows();
    const bool attributes = m_x.AttributeKept();
    for (uint32_t u = 0; u < used; ++u) {
        const uint32_t row = m_x.RowOf(u);
        if (m_x.PrintedRow(u)) {
            // Converted in place once, for all its repeats.
            unsigned char* line = m_x.LineOf(row);
            const unsigned char* alpha = nullptr;
            m_x.ConvertRow(line, 0, &alpha);
            unsigned char* attr = attributes ? m_x.AttrOf(row) : nullptr;
            for (unsigned rep = 0; rep < m_x.m_repeat; ++rep)
                if (int r = AddPrinted(line, attr)) return End(r);
        } else {
            for (unsigned rep = 0; rep < m_x.m_repeat; ++rep)
                if (int r = AddEmpty()) return End(r);
        }
    }
    // The last rows are published with the close: the workers of a short
    // band are woken once, not twice.
    if (int r = Flush(true)) return End(r);
    m_closed = true;
    // The rows still to come are at most a ring's worth, whose dot rows are
    // free: wait once for the workers to end the band (one wake-up, not one
    // per run; the bands of two lines end here every time), then hand on.
    m_pool.WaitDone();
    while (m_output < m_published)
        if (int r = HandOn(false)) return End(r);
    return End(0);
}

int CIntentX::ParallelBand::AddPrinted(unsigned char* line, unsigned char* attr) {
    const RowCounters::Pass pass = m_counters.Step();
    if (!pass.computed) {
        if (int r = Flush()) return r;
        return AddRow(ChannelRow::kSkipped);
    }
    if (m_batch > 0 && pass.engineRow != m_batchRow + static_cast<int32_t>(m_batch))
        if (int r = Flush()) return r;
    if (m_batch == 0) m_batchRow = pass.engineRow;
    m_lines[m_batch] = line;
    m_attrs[m_batch] = attr;
    if (++m_batch == m_x.m_lines) return Flush();
    return 0;
}

int CIntentX::ParallelBand::AddEmpty() {
    // Before the page's first output a deferring generator drops them
    // uncounted.
    if (m_x.m_deferSkip && !m_counters.hasOutput) {
        ++m_dropped;
        return 0;
    }
    if (int r = Flush()) return r;
    m_counters.Step();
    return AddRow(ChannelRow::kEmpty);
}

int CIntentX::ParallelBand::AddRow(ChannelRow::Kind kind) {
    if (int r = MakeRoom(1)) return r;
    m_pool.Record(m_published) = ChannelRow{kind, 0, nullptr};
    m_pool.Publish(++m_published);
    return 0;
}

int CIntentX::ParallelBand::Flush(bool last) {
    if (m_batch == 0) {
        if (last) m_pool.Close();
        return 0;
    }
    const unsigned b = m_batch;
    m_batch = 0;
    if (int r = MakeRoom(b)) return r;
    if (!m_direct) {
        unsigned char* ink[kGroupLines * CChannelPool::kMaxChannels];
        for (unsigned j = 0; j < b; ++j)
            for (unsigned k = 0; k < m_channels; ++k) ink[j * m_channels + k] = m_pool.InkRow(m_published + j, k);
        const bool attributes = m_x.AttributeKept();
        if (int r = m_x.ConvertColorRows(m_x.m_handles[0], b, m_lines, attributes ? m_attrs : nullptr, m_x.Right(),
                                         ink, m_batchRow))
            return r;
    }
    for (unsigned j = 0; j < b; ++j)
        m_pool.Record(m_published + j) =
            ChannelRow{ChannelRow::kInk, m_batchRow + static_cast<int32_t>(j), m_direct ? m_lines[j] : nullptr};
    m_published += b;
    if (last)
        m_pool.PublishAndClose(m_published);
    else
        m_pool.Publish(m_published);
    return 0;
}

int CIntentX::ParallelBand::MakeRoom(uint32_t rows) {
    if (int r = HandOn(false)) return r;
    while (m_published + rows > m_output + CChannelPool::kSlots)
        if (int r = HandOn(true)) return r;
    return 0;
}

int CIntentX::ParallelBand::HandOn(bool wait) {
    uint32_t finished = 0;
    const uint32_t need = m_closed ? std::min(m_output + 2, m_published) : m_output + 2;
    if (!(wait ? m_pool.WaitFinished(need, &finished) : m_pool.Finished(&finished))) return kHtEngineCodeOther;
    const uint32_t start = m_output;
    const uint32_t most = std::clamp(m_x.BandRows(), 1u, 2u);
    while (m_output < finished) {
        const uint32_t next = m_output;
        const ChannelRow::Kind kind = m_pool.Record(next).kind;
        uint32_t count = 1;
        if (next + 1 < finished) {
            if (m_pool.Record(next + 1).kind == kind) count = most;
        } else if (!m_closed || next + 1 != m_published) {
            break;
        }
        if (int r = Send(next, count, kind)) return r;
        m_output += count;
    }
    if (m_output != start) m_pool.SetOutput(m_output);
    return 0;
}

int CIntentX::ParallelBand::Send(uint32_t index, uint32_t count, ChannelRow::Kind kind) {
    void* main = m_x.m_handles[0];
    if (kind == ChannelRow::kEmpty) return m_x.EmptyRasterOut(main, count);
    if (kind == ChannelRow::kSkipped) {
        // Inside the skip nothing is sent; blank rows should it be.
        m_x.InitOutBuffer();
        return m_x.RasterOut(main, count);
    }
    unsigned char* rows[CHalftone::kMaxBandRows * CChannelPool::kMaxChannels];
    for (uint32_t b = 0; b < count; ++b)
        for (unsigned k = 0; k < m_channels; ++k) rows[b * m_channels + k] = m_pool.DotRow(index + b, k);
    if (int r = m_x.SetBufferForRasterOut(rows, count, m_channels, static_cast<int>(m_x.RowBytes()))) return r;
    return m_x.RasterOut(main, count);
}

int CIntentX::ParallelBand::End(int code) {
    if (code != 0) m_pool.Abort();
    const int workers = m_pool.EndBand();
    m_ended = true;
    m_x.m_lastParallel = ParallelBandRows{m_x.UsedRows() * m_x.m_repeat, m_dropped};
    return code != 0 ? code : workers;
}

int CIntentX::ExecBandOutHybridParallel() {
    if (int r = SetWindow(m_place.left, m_place.right)) return r;
    if (!m_pool) {
        CChannelPool::Geometry g;
        g.channels = m_channels;
        g.runLines = m_lines;
        g.directInk = Init().src_format >= 101 && Init().src_format <= 112;
        // An ink row holds the page's width scaled to the output; halftoning
        // a window may read one column past its scaled right edge.
        g.inkRowBytes = g.directInk ? 0 : ScaleByOutput(m_pageWidth) + 8;
        g.dotRowBytes = RowBytes();
        std::unique_ptr<CChannelPool> pool(new (std::nothrow) CChannelPool(this, &m_handles[1], g));
        if (!pool) return kHtBandNoMemory;
        if (int r = pool->Start([this](CTHREAD_STRUCT_tag* t) { return BeginWorkerThread(t); })) return r;
        m_pool = std::move(pool);
    }
    ParallelBand band(*this, *m_pool);
    return band.Run();
}

}  // namespace ovcg
