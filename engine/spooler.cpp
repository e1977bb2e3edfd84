#include "engine/spooler.h"

#include <array>
#include <cstring>

#include "common/byte_cursor.h"
#include "common/write_all.h"
#include "engine/engine_error.h"
#include "engine/platform.h"

namespace {

// The feed command whose first appearance in a job triggers the filler data:
// ESC ( d with a 16-bit length of 1 and one zero byte.
constexpr unsigned char kFeedCommand[6] = {0x1B, 0x28, 0x64, 0x01, 0x00, 0x00};

// One filler command: ESC ( d with the length 32767, then 32767 zero bytes.
constexpr unsigned int kFillerDataBytes = 32767;
constexpr unsigned int kFillerBytes = 5 + kFillerDataBytes;
constexpr std::array<char, kFillerBytes> kFiller = [] {
    std::array<char, kFillerBytes> a{};
    a[0] = 0x1B;
    a[1] = 0x28;
    a[2] = 0x64;
    a[3] = static_cast<char>(kFillerDataBytes & 0xFF);
    a[4] = static_cast<char>(kFillerDataBytes >> 8);
    return a;
}();

}  // namespace

CPlimoSpooler::CPlimoSpooler(int headerMode, SendFunction send, void* context)
    : m_send(send),
      m_context(context),
      m_headerMode(headerMode ? 1 : 0),
      m_headerSize(headerMode ? kHeaderSize : 0),
      m_capacity(kBufferSize - (headerMode ? kHeaderSize : 0)) {
    m_buffer = static_cast<char*>(Mem_Alloc(static_cast<int>(m_bufferSize)));
    if (!m_buffer) ovcg::ThrowMessage(ovcg::kMemoryAllocationException);
    m_header = m_buffer;
    m_dataPos = m_buffer + m_headerSize;
}

CPlimoSpooler::~CPlimoSpooler() { Mem_Free(m_buffer); }

unsigned int CPlimoSpooler::Write(const char* data, unsigned int length) {
    if (!m_send) return 0;
    // The callback takes a non-const pointer for compatibility; it only reads.
    return static_cast<unsigned int>(ovcg::write_all(length, [&](size_t at, size_t left) -> int64_t {
        return m_send(m_context, const_cast<char*>(data + at), static_cast<unsigned int>(left));
    }));
}

void CPlimoSpooler::SendUnit(const uint8_t* head, unsigned int headLength, const char* data, unsigned int length) {
    if (!SendRest()) ovcg::ThrowMessage(ovcg::kSpoolerException);
    const unsigned int headSent = Write(reinterpret_cast<const char*>(head), headLength);
    const unsigned int sent = headSent == headLength ? Write(data, length) : 0;
    if (headSent == headLength && sent == length) return;
    // Once part of the unit went, what did not is kept to go first, so that
    // nothing goes twice and the framing holds; a unit of which nothing went
    // is dropped (or, for the buffer's own chunk, stays buffered).
    if (headSent + sent > 0) {
        const unsigned int restHead = headLength - headSent, restData = length - sent;
        if (data == m_buffer) {  // the buffer's chunk: its rest stays in place
            m_rest = m_buffer + sent;
            m_count = 0;
        } else {
            // A header or marker beside what is buffered, or a chunk with its
            // header (whole chunks go straight out only from an empty buffer).
            char* to = restHead + restData <= sizeof m_small ? m_small : m_buffer;
            if (restHead) std::memcpy(to, head + headSent, restHead);
            if (restData) std::memcpy(to + restHead, data + sent, restData);
            m_rest = to;
        }
        m_restLength = restHead + restData;
    }
    ovcg::ThrowMessage(ovcg::kSpoolerException);
}

bool CPlimoSpooler::SendRest() {
    if (m_restLength == 0) return true;
    const unsigned int sent = Write(m_rest, m_restLength);
    m_rest += sent;
    m_restLength -= sent;
    return m_restLength == 0;
}

void CPlimoSpooler::SendData(const char* data, unsigned int length) {
    if (!m_buffer || !data || length == 0) return;
    // The rest of a failed send goes before anything new.
    if (!SendRest()) ovcg::ThrowMessage(ovcg::kSpoolerException);
    if (length <= m_capacity - m_count) {
        std::memcpy(m_dataPos + m_count, data, length);
        m_count += length;
        return;
    }
    // Fill the buffered chunk and send it whole. Should that send fail, the
    // bytes of this call past the chunk are lost; of the chunk, the rest
    // stays when part of it went, else the bytes buffered before stay.
    const unsigned int first = m_capacity - m_count;
    std::memcpy(m_dataPos + m_count, data, first);
    if (m_headerMode) ovcg::store_u16le(reinterpret_cast<uint8_t*>(m_header), static_cast<uint16_t>(m_capacity));
    SendUnit(nullptr, 0, m_buffer, m_bufferSize);
    m_count = 0;

    // Whole chunks go out straight from the caller's memory; the last piece
    // (1 to capacity bytes) stays buffered.
    const char* p = data + first;
    unsigned int rest = length - first;
    uint8_t header[kHeaderSize];
    ovcg::store_u16le(header, static_cast<uint16_t>(m_capacity));
    while (rest > m_capacity) {
        SendUnit(header, m_headerSize, p, m_capacity);
        p += m_capacity;
        rest -= m_capacity;
    }
    std::memcpy(m_dataPos, p, rest);
    m_count = rest;
}

void CPlimoSpooler::Flush() {
    if (!m_buffer) return;
    if (m_count == 0) {
        if (!SendRest()) ovcg::ThrowMessage(ovcg::kSpoolerException);
        return;
    }
    if (m_headerMode)
        ovcg::store_u16le(reinterpret_cast<uint8_t*>(m_header), static_cast<uint16_t>(kFlushBit + m_count));
    SendUnit(nullptr, 0, m_buffer, m_headerSize + m_count);
    // Only a successful send empties the buffer.
    m_count = 0;
}

void CPlimoSpooler::SendEscape(unsigned short code) {
    Flush();
    if (!m_headerMode) return;
    uint8_t marker[4];
    ovcg::store_u16le(marker, 0);
    ovcg::store_u16le(marker + 2, code);
    SendUnit(marker, sizeof marker, nullptr, 0);
}

void CPlimoSpooler::SendHeader(unsigned short base, unsigned short length) {
    if (length == 0) return;
    uint8_t header[2];
    ovcg::store_u16le(header, static_cast<uint16_t>(base + length));
    SendUnit(header, sizeof header, nullptr, 0);
}

void CPlimoSpooler::SendDummyData(const char* data, unsigned int length) {
    if (m_dummySent || !data || length != sizeof kFeedCommand) return;
    if (std::memcmp(data, kFeedCommand, sizeof kFeedCommand) != 0) return;
    SendData(kFiller.data(), kFillerBytes);
    SendData(kFiller.data(), kFillerBytes);
    m_dummySent = 1;
}

int SLSpoolerSendData(const void* data, unsigned int length, int flag, void* spooler) {
    if (!spooler) return 0;
    CPlimoSpooler* s = static_cast<CPlimoSpooler*>(spooler);
    try {
        const char* bytes = static_cast<const char*>(data);
        s->SendData(bytes, length);
        if (flag == 1) {
            s->SendDummyData(bytes, length);
            s->Flush();
        }
    } catch (ovcg::EngineMessage) {
        return 0;
    }
    return 1;
}

int SLSpoolerSendDataIRAC(void* spooler, const void* data, unsigned int length, int flag) {
    return SLSpoolerSendData(data, length, flag, spooler);
}
