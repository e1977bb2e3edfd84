// Loaded into a print tool run with LD_PRELOAD: faults of the calls on the
// tool's output, for the paths that only a failing or slow close, dup or
// truncate reaches, a standard error that fills up, and the tool's own
// memory running out. The output is the
// file OVCG_TEST_OUTPUT names, as it is the first time it is looked at
// (/proc/self/fd/1 for standard output, whatever it is); every descriptor
// of that file counts, and no other file. OVCG_TEST_OUTPUT_FAULTS lists,
// separated by commas:
//   close-eio        the first close of the output fails with EIO, after closing
//   dup-emfile       a dup of the output fails with EMFILE (no descriptor to spare)
//   ftruncate-eio    ftruncate of the output fails with EIO, emptying nothing
//   slow-close       the first close of the output waits, after closing
//   slow-ftruncate   ftruncate of the output waits, before emptying
//   slow-write=N     the write that brings the output to N bytes in all waits, after moving them
// OVCG_TEST_STDERR_FULL=TEXT: the first write to standard error that holds
// TEXT finds it full (a pipe, filled to the brim here first), so it waits
// for a reader.
// OVCG_TEST_NEW_FAILS=N: the first operator new of exactly N bytes throws
// std::bad_alloc (the tool's own memory running out; the library asks for
// its memory through the tool's callbacks).
// A wait creates the file OVCG_TEST_MARK when it begins, so that a test
// knows where the tool is; it lasts until a signal's handler returns, or
// OVCG_TEST_WAIT_MS milliseconds (10000 by default).
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "support/fill_pipe.h"

// The stand-ins are what the module is for: seen from outside whatever the
// build's default visibility.
#define OVCG_PRELOADED extern "C" __attribute__((visibility("default")))
#define OVCG_PRELOADED_NEW __attribute__((visibility("default")))

namespace {

template <class Fn>
Fn real(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

using CloseFn = int (*)(int);
using DupFn = int (*)(int);
using TruncateFn = int (*)(int, off_t);
using WriteFn = ssize_t (*)(int, const void*, size_t);

const char* faults() {
    static const char* text = std::getenv("OVCG_TEST_OUTPUT_FAULTS");
    return text ? text : "";
}

bool fault(const char* name) {
    const size_t n = std::strlen(name);
    for (const char* p = faults(); (p = std::strstr(p, name)) != nullptr; p += n)
        if ((p == faults() || p[-1] == ',') && (p[n] == '\0' || p[n] == ',' || p[n] == '=')) return true;
    return false;
}

long fault_number(const char* name) {
    const char* p = std::strstr(faults(), name);
    return p && p[std::strlen(name)] == '=' ? std::atol(p + std::strlen(name) + 1) : -1;
}

// Whether fd is a descriptor of the output.
bool is_output(int fd) {
    static bool known = false;
    static dev_t dev;
    static ino_t ino;
    const char* path = std::getenv("OVCG_TEST_OUTPUT");
    struct stat st {};
    if (!path) return false;
    if (!known && stat(path, &st) == 0) {
        known = true;
        dev = st.st_dev;
        ino = st.st_ino;
    }
    return known && fstat(fd, &st) == 0 && st.st_dev == dev && st.st_ino == ino;
}

// Tells the test that a wait begins.
void mark() {
    if (const char* path = std::getenv("OVCG_TEST_MARK")) {
        const int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0) real<CloseFn>("close")(fd);
    }
}

// Marks that a wait begins, then waits for a signal whose handler returns.
// Signals are held from before the mark until the wait lets them through,
// so that one sent at the mark cannot run its handler before the wait
// begins and leave it waiting to the end.
void wait_here() {
    const int saved = errno;
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &before);
    mark();
    const char* ms_text = std::getenv("OVCG_TEST_WAIT_MS");
    const long ms = ms_text ? std::atol(ms_text) : 10000;
    const timespec wait{ms / 1000, (ms % 1000) * 1000000};
    ppoll(nullptr, 0, &wait, &before);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    errno = saved;
}

// Fills the pipe that standard error is, through a description of its own
// that does not wait.
void fill_standard_error() {
    const int fd = open("/proc/self/fd/2", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    ovcg_test::fill_pipe(fd);
    real<CloseFn>("close")(fd);
}

}  // namespace

OVCG_PRELOADED int close(int fd) {
    static bool first = true;
    const bool output = is_output(fd);
    const int r = real<CloseFn>("close")(fd);
    if (!output || r != 0 || !first) return r;
    first = false;
    if (fault("slow-close")) wait_here();
    if (fault("close-eio")) {
        errno = EIO;
        return -1;
    }
    return r;
}

OVCG_PRELOADED int dup(int fd) {
    if (fault("dup-emfile") && is_output(fd)) {
        errno = EMFILE;
        return -1;
    }
    return real<DupFn>("dup")(fd);
}

OVCG_PRELOADED int ftruncate(int fd, off_t length) {
    if (is_output(fd)) {
        if (fault("slow-ftruncate")) wait_here();
        if (fault("ftruncate-eio")) {
            errno = EIO;
            return -1;
        }
    }
    return real<TruncateFn>("ftruncate")(fd, length);
}

OVCG_PRELOADED ssize_t write(int fd, const void* data, size_t size) {
    static long written = 0;
    static bool filled = false;
    const char* full_at = std::getenv("OVCG_TEST_STDERR_FULL");
    if (fd == 2 && full_at && *full_at && !filled && memmem(data, size, full_at, std::strlen(full_at))) {
        filled = true;
        fill_standard_error();
        mark();
    }
    const ssize_t n = real<WriteFn>("write")(fd, data, size);
    const long slow_at = fault_number("slow-write");
    if (n > 0 && slow_at >= 0 && is_output(fd)) {
        const bool reaches = written < slow_at && written + n >= slow_at;
        written += n;
        if (reaches) wait_here();
    }
    return n;
}

OVCG_PRELOADED_NEW void* operator new(size_t size) {
    static bool failed = false;
    static const char* fail_at = std::getenv("OVCG_TEST_NEW_FAILS");
    if (fail_at && !failed && size == static_cast<size_t>(std::atol(fail_at))) {
        failed = true;
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
