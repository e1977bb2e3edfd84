#include "frontend/raster_pipeline.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "frontend/call_claim.h"
#include "frontend/heap.h"

using namespace ovcg::frontend;

namespace {

int32_t call_stage(ovcg_raster_stage_fn fn, void* ctx, const uint8_t* line, uint32_t length,
                   uint32_t width, int32_t* taken) {
    int32_t dummy = 0;
    return fn(ctx, line, length, width, taken ? taken : &dummy);
}

// Hands a line on; a line the next stage accepted counts as taken.
int32_t pass_on(ovcg_raster_stage_fn fn, void* ctx, const uint8_t* line, uint32_t length,
                uint32_t width, int32_t* taken) {
    int32_t r = call_stage(fn, ctx, line, length, width, taken);
    if (r == 0) *taken = 1;
    return r;
}

// Sends white lines to the pipe's next stage until sent reaches count.
int32_t send_white_lines(const ovcg_raster_pipe* pipe, uint8_t* buffer, size_t bytes,
                         uint32_t width, uint32_t& sent, uint32_t count) {
    for (; sent < count; ++sent) {
        std::memset(buffer, 0xFF, bytes);
        int32_t t = 0;
        int32_t r = call_stage(pipe->next, pipe->next_context, buffer,
                               static_cast<uint32_t>(bytes), width, &t);
        if (r != 0) return r;
    }
    return 0;
}

// A pipe's state: a line buffer and what the pipe keeps beside it. Made by
// the pipe's init, released by its free.
template <class State>
State* new_state(ovcg_raster_pipe* pipe, size_t buffer_bytes) {
    auto* s = static_cast<State*>(ovcg_heap_alloc(pipe->heap, sizeof(State)));
    if (!s) return nullptr;
    s->buffer = static_cast<uint8_t*>(ovcg_heap_alloc(pipe->heap, buffer_bytes));
    if (!s->buffer) {
        ovcg_heap_free(pipe->heap, s);
        return nullptr;
    }
    pipe->state = s;
    return s;
}

template <class State>
void free_state(ovcg_raster_pipe* pipe) {
    if (!pipe || !pipe->state) return;
    auto* s = static_cast<State*>(pipe->state);
    ovcg_heap_free(pipe->heap, s->buffer);
    ovcg_heap_free(pipe->heap, s);
    pipe->state = nullptr;
}

// ---- Offset pipe ------------------------------------------------------------

struct offset_state {
    uint8_t* buffer;      // line_bytes
    size_t copy_bytes;    // line bytes behind the left offset
    uint32_t top_sent;    // white top lines sent so far
    uint32_t line_count;  // image lines seen
};

// ---- Disc-mask pipe ---------------------------------------------------------

enum span_code : uint8_t { kSpanWhite = 'S', kSpanImage = 'P', kSpanBlack = 'G', kSpanEnd = 'N' };

struct span {
    span_code code;
    uint32_t length;
};

// Edges of one line of the disc, in pixels from the left of the disc; a
// missing ring or hole has both its edges at the centre.
struct disc_edges {
    bool disc;
    bool hole;
    int32_t outer_left, inner_left, inner_right, outer_right;
};

struct disc_state {
    disc_geometry geo;
    uint8_t* buffer;  // disc_width pixels
    size_t buffer_bytes;
    bool top_done;
    uint32_t line_count;
    disc_edges prev;
};

disc_edges edges_for_line(const disc_geometry& g, uint32_t n) {
    const int64_t R = g.outer_radius, r = g.inner_radius;
    int64_t dy = R - static_cast<int64_t>(n);
    if (dy < 1) dy += 1;
    disc_edges e{false, false, static_cast<int32_t>(R), static_cast<int32_t>(R),
                 static_cast<int32_t>(R), static_cast<int32_t>(R)};
    if (dy > R || -dy > R) return e;
    auto chord = [](int64_t radius, int64_t d) {
        return static_cast<int32_t>(std::sqrt(static_cast<double>((radius + d) * (radius - d))));
    };
    int32_t oc = chord(R, dy);
    e.disc = true;
    e.outer_left = static_cast<int32_t>(R) - oc;
    e.outer_right = static_cast<int32_t>(R) + oc;
    if (r > 0 && dy <= r && -dy <= r) {
        int32_t ic = chord(r, dy);
        e.hole = true;
        e.inner_left = static_cast<int32_t>(R) - ic;
        e.inner_right = static_cast<int32_t>(R) + ic;
    }
    return e;
}

// Appends a span [from, to) (empty spans are skipped); returns the new end.
size_t add_span(span* spans, size_t n, span_code code, int32_t& at, int32_t to) {
    if (to > at) {
        spans[n++] = {code, static_cast<uint32_t>(to - at)};
        at = to;
    }
    return n;
}

// The spans of one line: white outside the disc and in the hole, the image
// on the ring, and in outline mode black where an edge moved since the line
// before (so the first and last lines of the ring and the hole are black).
size_t build_spans(const disc_edges& e, const disc_edges& prev, bool outline, int32_t centre,
                   int32_t width, span* spans) {
    // Boundaries of the plain spans.
    struct cut {
        int32_t pos;
        span_code after;
    };
    cut cuts[5] = {{0, kSpanWhite},
                   {e.outer_left, kSpanImage},
                   {e.inner_left, kSpanWhite},
                   {e.inner_right, kSpanImage},
                   {e.outer_right, kSpanWhite}};
    if (!e.disc) cuts[1].after = kSpanWhite, cuts[3].after = kSpanWhite;
    size_t n = 0;
    int32_t at = 0;
    if (!outline) {
        for (int i = 0; i < 5; ++i) {
            int32_t to = i < 4 ? std::clamp(cuts[i + 1].pos, at, width) : width;
            n = add_span(spans, n, cuts[i].after, at, to);
        }
        spans[n++] = {kSpanEnd, 0};
        return n;
    }
    // Outline mode: the same cuts, with a black band over each edge's move.
    auto band = [](bool now, bool before, int32_t cur, int32_t old, int32_t mid) {
        int32_t a = before ? old : mid, b = now ? cur : mid;
        return std::pair<int32_t, int32_t>{std::min(a, b), std::max(a, b) + 1};
    };
    const bool any_disc = e.disc || prev.disc;
    const bool any_hole = e.hole || prev.hole;
    std::pair<int32_t, int32_t> black[4];
    int nb = 0;
    if (any_disc) black[nb++] = band(e.disc, prev.disc, e.outer_left, prev.outer_left, centre);
    if (any_hole) black[nb++] = band(e.hole, prev.hole, e.inner_left, prev.inner_left, centre);
    if (any_hole) black[nb++] = band(e.hole, prev.hole, e.inner_right, prev.inner_right, centre);
    if (any_disc) black[nb++] = band(e.disc, prev.disc, e.outer_right, prev.outer_right, centre);
    // Walk the plain cuts and the black bands left to right.
    int seg = 0;
    auto plain_code_at = [&](int32_t x) {
        while (seg < 4 && x >= cuts[seg + 1].pos) ++seg;
        return cuts[seg].after;
    };
    auto next_plain_cut = [&](int32_t x) {
        for (int i = 1; i < 5; ++i)
            if (cuts[i].pos > x) return cuts[i].pos;
        return width;
    };
    while (at < width) {
        int32_t to = width;
        bool in_black = false;
        for (int i = 0; i < nb; ++i) {
            if (at >= black[i].first && at < black[i].second) {
                in_black = true;
                to = std::min(to, black[i].second);
            } else if (black[i].first > at) {
                to = std::min(to, black[i].first);
            }
        }
        span_code code = in_black ? kSpanBlack : plain_code_at(at);
        if (!in_black) to = std::min(to, next_plain_cut(at));
        to = std::clamp(to, at + 1, width);
        if (n > 0 && spans[n - 1].code == code) {
            spans[n - 1].length += static_cast<uint32_t>(to - at);
            at = to;
        } else {
            n = add_span(spans, n, code, at, to);
        }
    }
    spans[n++] = {kSpanEnd, 0};
    return n;
}

// ---- Final stage ------------------------------------------------------------

int32_t output_to_printer(void* context, const uint8_t* line, uint32_t length, uint32_t,
                          int32_t* taken) {
    auto* w = static_cast<ovcg_raster_writer*>(context);
    if (!line) return 0;
    const ovcg_raster_info& info = w->pipeline->info;
    uint32_t n = w->line_count++;
    if (n >= info.height) {
        *taken = 1;
        return 0;
    }
    if (length < w->line_bytes) {
        copy_padded(w->pad_out, w->line_bytes, line, length);
        line = w->pad_out;
    }
    return pass_on(w->sink.process, w->sink.context, line, static_cast<uint32_t>(w->line_bytes),
                   info.width, taken);
}

ovcg_raster_pipe* new_pipe(const ovcg_heap& heap, void* params,
                           int32_t (*init)(ovcg_raster_pipe*), ovcg_raster_stage_fn process,
                           void (*release)(ovcg_raster_pipe*)) {
    if (!params) return nullptr;
    auto* p = static_cast<ovcg_raster_pipe*>(ovcg_heap_alloc(heap, sizeof(ovcg_raster_pipe)));
    if (!p) {
        ovcg_heap_free(heap, params);
        return nullptr;
    }
    p->heap = heap;
    p->params = params;
    p->init = init;
    p->process = process;
    p->free = release;
    return p;
}

void free_writer_memory(ovcg_raster_writer* w) {
    const ovcg_heap heap = w->pipeline->heap;
    ovcg_heap_free(heap, w->pad_in);
    ovcg_heap_free(heap, w->pad_out);
    ovcg_heap_free(heap, w);
}

}  // namespace

namespace ovcg::frontend {

disc_geometry disc_geometry_for(uint32_t resolution, uint32_t hole_mm) {
    disc_geometry g{};
    g.disc_width = static_cast<uint32_t>(4.56692 * resolution);
    g.outer_radius = static_cast<int32_t>(g.disc_width / 2);
    // The hole's diameter in pixels (millimetres to inches), halved.
    double hole_px = static_cast<double>(resolution) * hole_mm * 0.1 * 0.3937;
    g.inner_radius = hole_px >= 1e9 ? g.outer_radius : static_cast<int32_t>(hole_px) / 2;
    return g;
}

}  // namespace ovcg::frontend

namespace {

// ---- Offset pipe operations -------------------------------------------------

int32_t offset_init(ovcg_raster_pipe* pipe) {
    if (!pipe || !pipe->params) return 1;
    auto* prm = static_cast<offset_params*>(pipe->params);
    auto* s = new_state<offset_state>(pipe, prm->line_bytes);
    if (!s) return 1;
    s->copy_bytes = prm->line_bytes - prm->left_bytes;
    return 0;
}

int32_t offset_process(void* context, const uint8_t* line, uint32_t length, uint32_t,
                       int32_t* taken) {
    auto* pipe = static_cast<ovcg_raster_pipe*>(context);
    if (!pipe || !pipe->state) return 1;
    auto* prm = static_cast<offset_params*>(pipe->params);
    auto* s = static_cast<offset_state*>(pipe->state);
    int32_t dummy = 0;
    if (!taken) taken = &dummy;
    if (!line) return call_stage(pipe->next, pipe->next_context, nullptr, length, prm->width, taken);
    int32_t r = send_white_lines(pipe, s->buffer, prm->line_bytes, prm->width, s->top_sent,
                                 prm->top_lines);
    if (r != 0) return r;
    uint32_t n = s->line_count++;
    if (n >= prm->body_lines) return 0;
    std::memset(s->buffer, 0xFF, prm->line_bytes);
    std::memcpy(s->buffer + prm->left_bytes, line, std::min<size_t>(s->copy_bytes, length));
    return pass_on(pipe->next, pipe->next_context, s->buffer,
                   static_cast<uint32_t>(prm->line_bytes), prm->width, taken);
}

void offset_free(ovcg_raster_pipe* pipe) { free_state<offset_state>(pipe); }

// ---- Disc-mask pipe operations ----------------------------------------------

int32_t disc_init(ovcg_raster_pipe* pipe) {
    if (!pipe || !pipe->params) return 1;
    auto* prm = static_cast<disc_params*>(pipe->params);
    if (prm->resolution == 0 || prm->resolution > kDiscMaxResolution) return 1;
    if (prm->bytes_per_pixel == 0 || prm->bytes_per_pixel > 16) return 1;
    const disc_geometry geo = disc_geometry_for(prm->resolution, prm->hole_mm);
    const size_t buffer_bytes = static_cast<size_t>(geo.disc_width) * prm->bytes_per_pixel;
    auto* s = new_state<disc_state>(pipe, buffer_bytes);
    if (!s) return 1;
    s->geo = geo;
    s->buffer_bytes = buffer_bytes;
    std::memset(s->buffer, 0xFF, s->buffer_bytes);
    const int32_t c = s->geo.outer_radius;
    s->prev = {false, false, c, c, c, c};
    return 0;
}

int32_t disc_process(void* context, const uint8_t* line, uint32_t length, uint32_t,
                     int32_t* taken) {
    auto* pipe = static_cast<ovcg_raster_pipe*>(context);
    if (!pipe || !pipe->state) return 1;
    auto* prm = static_cast<disc_params*>(pipe->params);
    auto* s = static_cast<disc_state*>(pipe->state);
    int32_t dummy = 0;
    if (!taken) taken = &dummy;
    const uint32_t disc_width = s->geo.disc_width;
    const uint32_t bytes = static_cast<uint32_t>(s->buffer_bytes);
    if (!line) return call_stage(pipe->next, pipe->next_context, nullptr, length, disc_width, taken);
    if (!s->top_done) {
        s->top_done = true;
        uint32_t sent = 0;
        int32_t r = send_white_lines(pipe, s->buffer, s->buffer_bytes, disc_width, sent,
                                     prm->top_lines);
        if (r != 0) return r;
    }
    disc_edges e = edges_for_line(s->geo, s->line_count++);
    span spans[24];
    const int32_t span_width = static_cast<int32_t>(std::min(prm->width, disc_width));
    build_spans(e, s->prev, prm->outline == 1, s->geo.outer_radius, span_width, spans);
    s->prev = e;

    size_t n = std::min<size_t>(length, s->buffer_bytes);
    copy_padded(s->buffer, s->buffer_bytes, line, n);
    const size_t bpp = prm->bytes_per_pixel;
    size_t x = 0;  // pixel
    for (const span* sp = spans; sp->code != kSpanEnd; ++sp) {
        size_t len = std::min<size_t>(sp->length, static_cast<size_t>(span_width) - x);
        if (sp->code == kSpanWhite) std::memset(s->buffer + x * bpp, 0xFF, len * bpp);
        if (sp->code == kSpanBlack) std::memset(s->buffer + x * bpp, 0x00, len * bpp);
        x += len;
    }
    // Past the raster's width the disc is white.
    std::memset(s->buffer + x * bpp, 0xFF, s->buffer_bytes - x * bpp);
    return pass_on(pipe->next, pipe->next_context, s->buffer, bytes, disc_width, taken);
}

void disc_free(ovcg_raster_pipe* pipe) { free_state<disc_state>(pipe); }

}  // namespace

// ---- Pipeline and writer ----------------------------------------------------

namespace ovcg::frontend {

ovcg_raster_pipeline* create_pipeline(const ovcg_raster_info* info) {
    if (!info || info->size < kRasterInfoSize) return nullptr;
    const ovcg_heap heap = ovcg_heap_installed();
    auto* pl =
        static_cast<ovcg_raster_pipeline*>(ovcg_heap_alloc(heap, sizeof(ovcg_raster_pipeline)));
    if (!pl) return nullptr;
    pl->heap = heap;
    pl->info = *info;
    pl->info.size = kRasterInfoSize;
    const uint64_t line_bytes = uint64_t{info->width} * info->bytes_per_pixel;
    // A pipe that cannot be made is left out; the lines then pass without it.
    if (info->offset_on && line_bytes <= kMaxLineBytes) {
        auto* prm = static_cast<offset_params*>(ovcg_heap_alloc(heap, sizeof(offset_params)));
        if (prm) {
            prm->line_bytes = static_cast<size_t>(line_bytes);
            prm->left_bytes = static_cast<size_t>(
                std::min<uint64_t>(line_bytes, uint64_t{info->offset_left} * info->bytes_per_pixel));
            prm->top_lines = std::min(info->height, info->offset_top);
            prm->body_lines = info->height - prm->top_lines;
            prm->width = info->width;
        }
        if (auto* p = new_pipe(heap, prm, offset_init, offset_process, offset_free))
            pl->pipes[pl->count++] = p;
    }
    if (info->disc_on) {
        auto* prm = static_cast<disc_params*>(ovcg_heap_alloc(heap, sizeof(disc_params)));
        if (prm) {
            prm->resolution = info->x_resolution;
            prm->bytes_per_pixel = info->bytes_per_pixel;
            prm->width = info->width;
            prm->hole_mm = info->disc_hole_diameter;
            prm->top_lines = info->disc_top;
            prm->outline = info->disc_outline;
        }
        if (auto* p = new_pipe(heap, prm, disc_init, disc_process, disc_free))
            pl->pipes[pl->count++] = p;
    }
    return pl;
}

void destroy_pipeline(ovcg_raster_pipeline* pipeline) {
    if (!pipeline) return;
    const ovcg_heap heap = pipeline->heap;
    for (uint32_t i = 0; i < pipeline->count; ++i) {
        ovcg_raster_pipe* p = pipeline->pipes[i];
        if (p->free) p->free(p);
        ovcg_heap_free(heap, p->params);
        ovcg_heap_free(heap, p);
    }
    ovcg_heap_free(heap, pipeline);
}

int32_t init_writer(ovcg_raster_writer** writer, const ovcg_raster_sink* sink,
                    ovcg_raster_pipeline* pipeline) {
    if (!writer) return 1;
    *writer = nullptr;
    if (!sink || !sink->process || !pipeline) return 1;
    const uint64_t line_bytes = uint64_t{pipeline->info.width} * pipeline->info.bytes_per_pixel;
    if (line_bytes > kMaxLineBytes) return 1;
    const ovcg_heap& heap = pipeline->heap;
    auto* w = static_cast<ovcg_raster_writer*>(ovcg_heap_alloc(heap, sizeof(ovcg_raster_writer)));
    if (!w) return 1;
    w->sink = *sink;
    w->pipeline = pipeline;
    w->line_bytes = static_cast<size_t>(line_bytes);
    w->pad_in = static_cast<uint8_t*>(ovcg_heap_alloc(heap, w->line_bytes));
    w->pad_out = static_cast<uint8_t*>(ovcg_heap_alloc(heap, w->line_bytes));
    if (!w->pad_in || !w->pad_out) {
        free_writer_memory(w);
        return 1;
    }
    for (uint32_t i = 0; i < pipeline->count; ++i) {
        ovcg_raster_pipe* p = pipeline->pipes[i];
        int32_t r = p->init(p);
        if (r != 0) {
            for (uint32_t j = 0; j < i; ++j) pipeline->pipes[j]->free(pipeline->pipes[j]);
            free_writer_memory(w);
            return r;
        }
    }
    for (uint32_t i = 0; i < pipeline->count; ++i) {
        ovcg_raster_pipe* p = pipeline->pipes[i];
        if (i + 1 < pipeline->count) {
            p->next = pipeline->pipes[i + 1]->process;
            p->next_context = pipeline->pipes[i + 1];
        } else {
            p->next = output_to_printer;
            p->next_context = w;
        }
    }
    *writer = w;
    return 0;
}

int32_t print_line(ovcg_raster_writer* writer, const uint8_t* line, int32_t length,
                   int32_t* taken) {
    if (!writer) return 0;
    int32_t dummy = 0;
    if (!taken) taken = &dummy;
    if (length < 0) return OVCG_ERR_ARGUMENT;
    const ovcg_raster_pipeline* pl = writer->pipeline;
    uint32_t len = static_cast<uint32_t>(length);
    if (line && len < writer->line_bytes) {
        copy_padded(writer->pad_in, writer->line_bytes, line, len);
        line = writer->pad_in;
        len = static_cast<uint32_t>(writer->line_bytes);
    }
    if (pl->count > 0) {
        ovcg_raster_pipe* first = pl->pipes[0];
        return first->process(first, line, len, pl->info.width, taken);
    }
    if (!line) {
        writer->skip_count = 0;
        return 0;
    }
    uint32_t n = writer->skip_count;
    if (writer->skip_count != UINT32_MAX) ++writer->skip_count;
    if (n < pl->info.skip_lines) return 0;
    return pass_on(writer->sink.process, writer->sink.context, line,
                   static_cast<uint32_t>(writer->line_bytes), pl->info.width, taken);
}

void free_writer(ovcg_raster_writer* writer) {
    if (!writer) return;
    ovcg_raster_pipeline* pl = writer->pipeline;
    for (uint32_t i = 0; i < pl->count; ++i) {
        ovcg_raster_pipe* p = pl->pipes[i];
        if (p->free) p->free(p);
        p->next = nullptr;
        p->next_context = nullptr;
    }
    free_writer_memory(writer);
}

}  // namespace ovcg::frontend

// ---- Exported functions: each one call under the claim -----------------------

namespace {

// Runs fn under the call claim; a call that overlaps another gets `refused`.
template <class R, class... P, class... A>
R claimed(R refused, R (*fn)(P...), A... args) {
    const CallClaim claim;
    return claim ? fn(args...) : refused;
}

template <class... P, class... A>
void claimed(void (*fn)(P...), A... args) {
    const CallClaim claim;
    if (claim) fn(args...);
}

}  // namespace

ovcg_raster_pipeline* raster_helper_create_pipeline(const ovcg_raster_info* info) {
    return claimed<ovcg_raster_pipeline*>(nullptr, create_pipeline, info);
}

void raster_helper_destroy_pipeline(ovcg_raster_pipeline* pipeline) {
    claimed(destroy_pipeline, pipeline);
}

int32_t ovcg_raster_init(ovcg_raster_writer** writer, const ovcg_raster_sink* sink,
                         ovcg_raster_pipeline* pipeline) {
    const CallClaim claim;
    if (claim) return init_writer(writer, sink, pipeline);
    if (writer) *writer = nullptr;
    return 1;
}

int32_t ovcg_raster_print(ovcg_raster_writer* writer, const uint8_t* line, int32_t length,
                          int32_t, int32_t* taken) {
    return claimed(int32_t{OVCG_ERR_ARGUMENT}, print_line, writer, line, length, taken);
}

void ovcg_raster_free(ovcg_raster_writer* writer) { claimed(free_writer, writer); }

int32_t ovcg_init_offset(ovcg_raster_pipe* pipe) { return claimed(int32_t{1}, offset_init, pipe); }

int32_t ovcg_process_offset(void* pipe, const uint8_t* line, uint32_t length, uint32_t width,
                            int32_t* taken) {
    return claimed(int32_t{OVCG_ERR_ARGUMENT}, offset_process, pipe, line, length, width, taken);
}

void ovcg_free_offset(ovcg_raster_pipe* pipe) { claimed(offset_free, pipe); }

int32_t ovcg_init_cddvd(ovcg_raster_pipe* pipe) { return claimed(int32_t{1}, disc_init, pipe); }

int32_t ovcg_process_cddvd(void* pipe, const uint8_t* line, uint32_t length, uint32_t width,
                           int32_t* taken) {
    return claimed(int32_t{OVCG_ERR_ARGUMENT}, disc_process, pipe, line, length, width, taken);
}

void ovcg_free_cddvd(ovcg_raster_pipe* pipe) { claimed(disc_free, pipe); }
