// Reading back the engine spooler's output in tests.
//
// SpoolRecorder is a spool callback that keeps every call (and can fail one
// on purpose); DeframeSpool parses a header-mode stream back into the data
// bytes, the chunk boundaries and the escape markers, refusing any malformed
// piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ovcg_test {

class SpoolRecorder {
public:
    // Matches the spooler's callback: int (*)(void* context, char* data, unsigned length).
    static int Callback(void* context, char* data, unsigned int length);

    // Makes call number `index` (0-based, counting every call) return `result`
    // instead of the count it took, and record nothing; each call of this
    // adds one. -1: never.
    void FailCall(long index, int result = -1) {
        fail_at_.push_back(index);
        fail_result_ = result;
    }
    // Every call takes (records and counts) at most n bytes.
    void AcceptAtMost(unsigned n) { accept_ = n; }

    const std::vector<std::vector<uint8_t>>& calls() const { return calls_; }
    long attempts() const { return attempts_; }
    // All recorded calls, concatenated.
    std::vector<uint8_t> stream() const;
    size_t largest_call() const;
    void clear() {
        calls_.clear();
        attempts_ = 0;
    }

private:
    std::vector<std::vector<uint8_t>> calls_;
    long attempts_ = 0;
    std::vector<long> fail_at_;
    int fail_result_ = -1;
    unsigned accept_ = ~0u;
};

struct SpoolChunk {
    size_t offset = 0;   // position of the chunk's first byte in the data
    size_t length = 0;   // data bytes
    bool flushed = false;  // cut short by a flush (bit 15 of the header)
};

struct SpoolEscape {
    uint16_t code = 0;
    size_t offset = 0;  // data bytes that precede the marker
};

struct DeframedSpool {
    bool ok = false;
    std::string error;  // why the stream was refused
    std::vector<uint8_t> data;
    std::vector<SpoolChunk> chunks;
    std::vector<SpoolEscape> escapes;
};

// Full chunks carry exactly 32765 data bytes (header 0x7FFD); a flushed chunk
// 1 to 32765 (header 0x8000 + n); a zero header is followed by a 16-bit code.
DeframedSpool DeframeSpool(const uint8_t* stream, size_t size);
inline DeframedSpool DeframeSpool(const std::vector<uint8_t>& stream) {
    return DeframeSpool(stream.data(), stream.size());
}

}  // namespace ovcg_test
