#include "engine/isv_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr const char kStartLabel[] = "HTM1 Log Start";
constexpr const char kEndLabel[] = "HTM1 Log End";

bool DirectoryExists(const char* directory) {
    struct stat st;
    return stat(directory, &st) == 0 && S_ISDIR(st.st_mode);
}

time_t TimeOf(CISVLog::Clock clock) { return clock ? clock() : std::time(nullptr); }

// One message, formatted into the fixed buffers (cut when longer).
struct FormattedMessage {
    char header[CISVLog::kHeaderSize];
    char body[CISVLog::kBodySize];
};

__attribute__((format(printf, 4, 0))) void Format(FormattedMessage& m, time_t now, const char* label,
                                                  const char* format, va_list args) {
    struct tm local {};
    localtime_r(&now, &local);
    if (!format || std::vsnprintf(m.body, sizeof m.body, format, args) < 0) m.body[0] = '\0';
    if (std::snprintf(m.header, sizeof m.header, "\n-----[%02d:%02d:%02d]-----<< %s >>--------------------\n",
                      local.tm_hour, local.tm_min, local.tm_sec, label ? label : "") < 0)
        m.header[0] = '\0';
}

void Write(const char* path, const FormattedMessage& m) {
    FILE* f = CISVLog::fopen_at_avoiding_link(path);
    if (!f) return;
    std::fputs(m.header, f);
    std::fputs(m.body, f);
    std::fclose(f);
}

}  // namespace

CISVLog::CISVLog(const char* directory, Clock clock) : m_clock(clock) {
    if (!directory || std::strlen(directory) >= kPathSize) return;
    std::memcpy(m_directory, directory, std::strlen(directory) + 1);
    // The one decision per job: without the directory nothing is ever written.
    if (!DirectoryExists(m_directory)) return;
    if (!GenerateFilePathIn(m_directory, Now(), m_path)) return;
    m_enabled = true;
    _MESSAGE_X(kStartLabel, "%s\n\n", m_path);
}

CISVLog::~CISVLog() {
    if (m_enabled) _MESSAGE_X(kEndLabel, "\n\n");
}

time_t CISVLog::Now() const { return TimeOf(m_clock); }

void CISVLog::_MESSAGE_X(const char* label, const char* format, ...) {
    if (!m_enabled) return;
    va_list args;
    va_start(args, format);
    MessageV(label, format, args);
    va_end(args);
}

void CISVLog::MessageV(const char* label, const char* format, va_list args) {
    if (!m_enabled) return;
    FormattedMessage m;
    Format(m, Now(), label, format, args);
    std::lock_guard<std::mutex> lock(m_mutex);
    Write(m_path, m);
}

void CISVLog::_STATIC_MESSAGE_X(const char* label, const char* format, ...) {
    va_list args;
    va_start(args, format);
    StaticMessageV(kDefaultDirectory, nullptr, label, format, args);
    va_end(args);
}

void CISVLog::StaticMessageIn(const char* directory, Clock clock, const char* label, const char* format, ...) {
    va_list args;
    va_start(args, format);
    StaticMessageV(directory, clock, label, format, args);
    va_end(args);
}

void CISVLog::StaticMessageV(const char* directory, Clock clock, const char* label, const char* format,
                             va_list args) {
    if (!directory || !DirectoryExists(directory)) return;
    const time_t now = TimeOf(clock);
    char path[kPathSize];
    if (!GenerateFilePathIn(directory, now, path)) return;
    FormattedMessage m;
    Format(m, now, label, format, args);
    Write(path, m);
}

bool CISVLog::GenerateFilePath(char* out) const { return GenerateFilePathIn(m_directory, Now(), out); }

bool CISVLog::GenerateFilePathIn(const char* directory, time_t now, char* out) {
    if (!out) return false;
    out[0] = '\0';
    if (!directory) return false;
    struct tm local {};
    localtime_r(&now, &local);
    char stamp[64];
    if (std::strftime(stamp, sizeof stamp, "HTM1_%Y%m%d_%H%M%S", &local) == 0) return false;
    for (int n = 0; n < 100; ++n) {
        const int len = std::snprintf(out, kPathSize, "%s%s_%02d%s", directory, stamp, n, ".log");
        if (len < 0 || static_cast<size_t>(len) >= kPathSize) {
            out[0] = '\0';
            return false;
        }
        // Anything already under the name (a file, a link, a directory)
        // makes it taken; lstat does not follow a link.
        struct stat st;
        if (lstat(out, &st) != 0 && errno == ENOENT) return true;
    }
    return true;  // all 100 taken: number 99 is used
}

FILE* CISVLog::fopen_at_avoiding_link(const char* path) {
    if (!path || !*path) return nullptr;
    struct stat st;
    if (lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) return nullptr;
    // O_NOFOLLOW closes the race between the check above and the open: a link
    // planted in between makes the open fail instead of being followed.
    const int fd = open(path, O_RDWR | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0664);
    if (fd < 0) return nullptr;
    struct stat byPath, byFd;
    const bool ok = lstat(path, &byPath) == 0 && S_ISREG(byPath.st_mode) && byPath.st_nlink < 2 &&
                    fstat(fd, &byFd) == 0 && S_ISREG(byFd.st_mode) && byFd.st_nlink < 2 &&
                    byPath.st_dev == byFd.st_dev && byPath.st_ino == byFd.st_ino;
    if (!ok) {
        close(fd);
        return nullptr;
    }
    FILE* f = fdopen(fd, "a");
    if (!f) close(fd);
    return f;
}
