#include "support/spool_deframer.h"

#include <algorithm>

#include "common/byte_cursor.h"

namespace ovcg_test {

namespace {
constexpr uint16_t kChunkCapacity = 32765;
constexpr uint16_t kFlushBit = 0x8000;
}  // namespace

int SpoolRecorder::Callback(void* context, char* data, unsigned int length) {
    SpoolRecorder* self = static_cast<SpoolRecorder*>(context);
    const long index = self->attempts_++;
    if (std::find(self->fail_at_.begin(), self->fail_at_.end(), index) != self->fail_at_.end())
        return self->fail_result_;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(data);
    const unsigned taken = length < self->accept_ ? length : self->accept_;
    self->calls_.emplace_back(p, p + taken);
    return static_cast<int>(taken);
}

std::vector<uint8_t> SpoolRecorder::stream() const {
    std::vector<uint8_t> all;
    for (const auto& c : calls_) all.insert(all.end(), c.begin(), c.end());
    return all;
}

size_t SpoolRecorder::largest_call() const {
    size_t m = 0;
    for (const auto& c : calls_) m = c.size() > m ? c.size() : m;
    return m;
}

DeframedSpool DeframeSpool(const uint8_t* stream, size_t size) {
    DeframedSpool out;
    ovcg::ByteCursor cur(stream, size);
    while (!cur.at_end()) {
        const size_t at = cur.pos();
        uint16_t header = 0;
        if (!cur.u16le(header)) {
            out.error = "truncated header at " + std::to_string(at);
            return out;
        }
        if (header == 0) {
            uint16_t code = 0;
            if (!cur.u16le(code)) {
                out.error = "truncated escape marker at " + std::to_string(at);
                return out;
            }
            out.escapes.push_back({code, out.data.size()});
            continue;
        }
        SpoolChunk chunk;
        chunk.offset = out.data.size();
        chunk.flushed = (header & kFlushBit) != 0;
        chunk.length = header & 0x7FFF;
        if (chunk.flushed ? (chunk.length == 0 || chunk.length > kChunkCapacity) : chunk.length != kChunkCapacity) {
            out.error = "bad chunk header " + std::to_string(header) + " at " + std::to_string(at);
            return out;
        }
        const uint8_t* p = cur.take(chunk.length);
        if (!p) {
            out.error = "truncated chunk at " + std::to_string(at);
            return out;
        }
        out.data.insert(out.data.end(), p, p + chunk.length);
        out.chunks.push_back(chunk);
    }
    out.ok = true;
    return out;
}

}  // namespace ovcg_test
