// The job's single output path: collects the engine's bytes in one buffer and
// hands them to the caller's spool callback in pieces of at most 32767 bytes.
//
// Header mode frames the stream for a consumer that wants to tell the command
// sections apart (all values little-endian):
//   full chunk            u16 0x7FFD, then 32765 data bytes
//   chunk cut by a flush  u16 0x8000 + n, then n data bytes (1 <= n <= 32765)
//   escape marker         u16 0, then u16 code
// Without header mode the stream is the plain printer byte stream.
#pragma once

#include <cstdint>

class CPlimoSpooler {
public:
    // The caller's spool callback: answers the count it accepted and is
    // called again for the rest of the piece; a negative count, a count
    // above the length, or ovcg::kMaxIdleWrites calls in a row that accept
    // nothing fail the send. It receives the spooler's own buffer or the
    // caller's data and must not write through the pointer.
    using SendFunction = int (*)(void* context, char* data, unsigned int length);

    static constexpr unsigned int kBufferSize = 32767;
    static constexpr unsigned int kHeaderSize = 2;
    static constexpr uint16_t kFlushBit = 0x8000;

    // Escape codes: the odd code precedes a command section, the even one
    // follows it.
    enum EscapeCode : uint16_t {
        kEscDocumentEndBegin = 1,
        kEscDocumentEndEnd = 2,
        kEscPageEndBegin = 3,
        kEscPageEndEnd = 4,
        kEscDocumentStartBegin = 9,
        kEscDocumentStartEnd = 10,
        kEscPageStartPageLangBegin = 11,
        kEscPageStartPageLangEnd = 12,
        kEscPageStartLevel2Begin = 13,
        kEscPageStartLevel2End = 14,
    };

    // Any non-zero headerMode turns header mode on. Throws
    // "Memory Allocation Exception" when the buffer cannot be allocated.
    CPlimoSpooler(int headerMode, SendFunction send, void* context);
    virtual ~CPlimoSpooler();
    CPlimoSpooler(const CPlimoSpooler&) = delete;
    CPlimoSpooler& operator=(const CPlimoSpooler&) = delete;

    // Each of these throws "Spooler Exception" when a send fails. The
    // spooler knows only what the callback's counts tell it. A unit of the
    // stream (a chunk with its header, a lone header or an escape marker)
    // that went in part keeps what did not go, to go first at the next send
    // (so nothing goes twice and the framing holds): in header mode a chunk
    // taken straight from the caller's memory goes as its 2-byte header, then
    // its data, and a chunk whose header went keeps its data. A unit of
    // which the callback accepted no byte counts as unsent and is dropped,
    // except that a chunk Flush cut stays buffered whole, to go at the next
    // flush, and a chunk SendData filled keeps the bytes buffered before that
    // call. Of a SendData call whose send failed, the bytes after the failed
    // unit are lost, and so are its own bytes in a filled chunk of which
    // nothing went.
    // Appends bytes; sends every chunk that fills up. Data larger than a chunk
    // go out in whole chunks straight from the caller's memory.
    void SendData(const char* data, unsigned int length);
    // Sends what is buffered as a chunk cut by a flush; nothing when empty.
    void Flush();
    // Flushes, then (header mode only) sends the escape marker.
    void SendEscape(unsigned short code);
    // Sends the 2-byte header base + length by itself; nothing for length 0.
    void SendHeader(unsigned short base, unsigned short length);
    // The first time the data are exactly the 6-byte feed command
    // 1B 28 64 01 00 00, appends two filler commands of 32767 zero bytes.
    void SendDummyData(const char* data, unsigned int length);

    int HeaderMode() const { return m_headerMode; }
    unsigned int Capacity() const { return m_capacity; }
    unsigned int Count() const { return m_count; }
    int DummySent() const { return m_dummySent; }

private:
    // The bytes the callback accepted of the piece, all of them on success.
    unsigned int Write(const char* data, unsigned int length);
    // Sends the rest of a failed send, then head and data as one unit of
    // the stream; throws when a send fails.
    void SendUnit(const uint8_t* head, unsigned int headLength, const char* data, unsigned int length);
    // Sends the rest of a failed send; false when it fails again.
    bool SendRest();

    SendFunction m_send;
    void* m_context;
    unsigned int m_count = 0;
    int m_headerMode;
    unsigned int m_headerSize;
    unsigned int m_capacity;
    unsigned int m_bufferSize = kBufferSize;
    char* m_buffer = nullptr;
    char* m_header = nullptr;
    char* m_dataPos = nullptr;
    int m_dummySent = 0;
    // The rest of a piece that went in part: in the buffer (nothing else is
    // buffered then) or, for a header or marker, in m_small.
    const char* m_rest = nullptr;
    unsigned int m_restLength = 0;
    char m_small[4] = {};
};

// The spool entry in plain-function form: appends the data; with flag 1 adds
// the one-time filler data and flushes. 1 on success, 0 when the spooler is
// null or a send failed.
int SLSpoolerSendData(const void* data, unsigned int length, int flag, void* spooler);
// The same with the spooler first: the send callback of the head-control
// engine's callback table.
int SLSpoolerSendDataIRAC(void* spooler, const void* data, unsigned int length, int flag);
