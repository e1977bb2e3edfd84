#include "frontend/output_stream.h"

#include <cstdlib>
#include <cstring>

#include "common/byte_writer.h"
#include "common/write_all.h"

namespace ovcg::frontend {
namespace {

ovcg_output_fn g_output = nullptr;
int32_t g_stream_error = 0;

// Writes every byte, calling the output function again for what it did not
// accept. 0 on success, -1 on failure (see ovcg::write_all).
int write_all(const uint8_t* data, int32_t length) {
    if (!g_output) return -1;
    const size_t n = static_cast<size_t>(length);
    const size_t sent = ovcg::write_all(n, [&](size_t at, size_t left) -> int64_t {
        return g_output(data + at, static_cast<int32_t>(left));
    });
    return sent == n ? 0 : -1;
}

// One group of the framing streams: one write.
void put(const uint8_t* data, size_t n) { PrintStream(data, static_cast<int32_t>(n)); }

const uint8_t kReset[] = {0x1B, 0x40};
const uint8_t kRemoteEnter[] = {0x1B, 0x28, 0x52, 0x08, 0x00, 0x00,
                                'R',  'E',  'M',  'O',  'T',  'E', '1'};
const uint8_t kRemoteExit[] = {0x1B, 0x00, 0x00, 0x00};

// Padding block: ESC ( d with a length of 32767, then that many zero bytes,
// one write per byte.
void put_padding_block() {
    static const uint8_t kHeader[] = {0x1B, 0x28, 0x64, 0xFF, 0x7F};
    static const uint8_t kZero = 0;
    put(kHeader, sizeof kHeader);
    for (int i = 0; i < 0x7FFF; ++i) put(&kZero, 1);
}

int32_t stream_result() { return g_stream_error ? OVCG_ERR_ENGINE : 0; }

}  // namespace

void output_set_function(ovcg_output_fn output) { g_output = output; }
ovcg_output_fn output_function() { return g_output; }

bool stream_error() { return g_stream_error != 0; }
void stream_error_clear_for_tests() { g_stream_error = 0; }

int32_t PrintStream(const uint8_t* data, int32_t length) {
    if (g_stream_error) return length == 0 ? 0 : -1;
    if (length == 0) return 0;
    if (length < 0 || !data) return -1;
    if (write_all(data, length) != 0) {
        g_stream_error = 1;
        return -1;
    }
    return length;
}

int32_t StartJob(const char* job_id) {
    static const uint8_t kHeader[] = {0x00, 0x00, 0x00, 0x1B, 0x01, '@', 'K', 'R', 'Q',
                                      ' ',  '1',  '2',  '8',  '4',  '.', '4', '\n', '@',
                                      'K',  'R',  'Q',  ' ',  ' ',  ' ', ' ', ' ',  '\n'};
    static_assert(sizeof kHeader == 27);
    put(kHeader, sizeof kHeader);
    put(kReset, sizeof kReset);
    put(kReset, sizeof kReset);
    put(kRemoteEnter, sizeof kRemoteEnter);

    // The identifier travels as the number it reads as (strtol, base 10),
    // cut to 32 bits.
    uint32_t id = 0;
    if (job_id) id = static_cast<uint32_t>(std::strtol(job_id, nullptr, 10));

    uint8_t jx[61];
    ByteWriter w(jx, sizeof jx);
    w.bytes("JX", 2);
    w.u16le(57);
    const uint8_t params[] = {0x00, 0x00, 0x01, 0x01, 0x01};
    w.bytes(params, sizeof params);
    w.u8(0x08); w.u8(4); w.bytes("TRAQ", 4);
    w.u8(0x20); w.u8(11); w.u8(0x01); w.u32le(id); w.fill(0, 6);
    w.u8(0x0C); w.u8(5); w.fill(0, 5);
    w.u8(0x0D); w.u8(5); w.fill(0, 5);
    w.u8(0x18); w.u8(10); w.bytes("TRAQdriver", 10);
    w.u8(0x17); w.u8(5); w.bytes("Linux", 5);
    // The layout is fixed: the writer fills the buffer exactly.
    put(jx, w.size());

    put(kRemoteExit, sizeof kRemoteExit);
    put_padding_block();
    put_padding_block();
    return stream_result();
}

int32_t EndJob() {
    static const uint8_t kLoadDefaults[] = {'L', 'D', 0x00, 0x00};
    static const uint8_t kJobEnd[] = {'J', 'X', 0x05, 0x00, 0x00, 0x00, 0x01, 0x01, 0x02};
    put(kReset, sizeof kReset);
    put(kRemoteEnter, sizeof kRemoteEnter);
    put(kLoadDefaults, sizeof kLoadDefaults);
    put(kJobEnd, sizeof kJobEnd);
    put(kRemoteExit, sizeof kRemoteExit);
    return stream_result();
}

int32_t print_spool(void* /*context*/, const uint8_t* data, int32_t length) {
    // A failure must not look like success, nor like a count the engine
    // would send the rest after; a partial write is completed.
    if (length == 0) return 0;
    if (length < 0 || !data) return -1;
    return write_all(data, length) == 0 ? length : -1;
}

}  // namespace ovcg::frontend
