// The engine's debug log: one text file per job in "/tmp/ovhrlog/", written
// only while that directory exists.
//
// Whether to log is decided once, when the log is created: without the
// directory every message returns at once, before any formatting or system
// call. A message never fails its caller; any failure only drops it.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <ctime>
#include <mutex>

class CISVLog {
public:
    static constexpr const char* kDefaultDirectory = "/tmp/ovhrlog/";
    // Room for a log path, terminator included.
    static constexpr size_t kPathSize = 260;
    // Room for one formatted header and one formatted body; longer text is cut.
    static constexpr size_t kHeaderSize = 512;
    static constexpr size_t kBodySize = 2264;

    using Clock = time_t (*)();

    CISVLog() : CISVLog(kDefaultDirectory, nullptr) {}
    // directory ends with '/'; clock (null: the system clock) gives the time
    // for the file name and the message headers.
    CISVLog(const char* directory, Clock clock);
    ~CISVLog();
    CISVLog(const CISVLog&) = delete;
    CISVLog& operator=(const CISVLog&) = delete;

    // Appends one message (a header line with the time and the label, then
    // the formatted body) to this log's file, under the log's mutex.
    void _MESSAGE_X(const char* label, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void MessageV(const char* label, const char* format, va_list args) __attribute__((format(printf, 3, 0)));

    // Writes one message into a fresh file of its own in the default
    // directory, without a lock: for when no log object is at hand.
    static void _STATIC_MESSAGE_X(const char* label, const char* format, ...)
        __attribute__((format(printf, 2, 3)));
    static void StaticMessageIn(const char* directory, Clock clock, const char* label, const char* format,
                                ...) __attribute__((format(printf, 4, 5)));

    // Chooses a fresh path in this log's directory (see GenerateFilePathIn).
    bool GenerateFilePath(char* out) const;
    // directory + local time as "HTM1_%Y%m%d_%H%M%S" + "_" + NN + ".log": NN
    // the first of 00 to 99 under which nothing exists yet, 99 when all do.
    // False (out empty) when the path does not fit kPathSize.
    static bool GenerateFilePathIn(const char* directory, time_t now, char* out);

    // Opens path for appending without ever following a symbolic link; null
    // for a link, a non-regular or hard-linked file, or any failure.
    static FILE* fopen_at_avoiding_link(const char* path);

    // True when the directory existed at creation and the path fitted.
    bool Enabled() const { return m_enabled; }
    const char* Path() const { return m_path; }

private:
    static void StaticMessageV(const char* directory, Clock clock, const char* label, const char* format,
                               va_list args) __attribute__((format(printf, 4, 0)));
    time_t Now() const;

    std::mutex m_mutex;
    char m_path[kPathSize] = {};
    char m_directory[kPathSize] = {};
    Clock m_clock;
    bool m_enabled = false;
};
