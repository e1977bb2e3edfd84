// ovcg-print: prints netpbm page images through libovcg, the way a print
// filter drives it, and writes the printer stream to a file or to standard
// output.
//
//   ovcg-print [-m MODEL] [-o NAME=CHOICE]... [-O OUTPUT] [--page-info] [IMAGE|-]
//
// Pages stream: the tool reads an image's header, then its rows one at a
// time straight into the line it hands the library, so its memory follows the
// page's width, not the page's area or the input's length. A gray first image
// prints with the gray colour model unless ColorModel is given. A job whose
// options the model cannot serve is refused before anything is written: the
// job's bytes are held in memory until its first page has started and taken
// its first band, and only then is the output opened.
//
// Exit status (the same list as --help and the README):
//   0 printed (or, with --page-info, the page reported);
//   1 the library failed (its code is named), or memory ran out; a partial
//     output file is emptied and removed;
//   2 bad command line, option or choice, or choices the model cannot print;
//     nothing is written;
//   3 the image is missing, unreadable or malformed; pages before the bad one
//     stay printed and the job is ended;
//   4 the model file cannot be opened or read or its data for the job are
//     missing or damaged, or the output cannot be opened or written; a
//     partial output file is emptied and removed;
//   128 + N: stopped by signal N (SIGINT, SIGTERM or SIGHUP) while printing;
//     a partial output file is emptied and removed.
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "frontend/custom_size.h"
#include "frontend/res_reader.h"
#include "ovcg/hxr.h"
#include "ovcg/ovcg.h"
#include "tools/netpbm.h"

namespace {

// The model used unless -m names another. The tool the build made takes the
// build tree's model. Any other copy, an installed one, takes the model
// installed beside it, found from the tool's own place (as its library is
// found), so a moved installation keeps working and never takes a build
// tree's model. Where the tool cannot tell its own place, the build tree's.
std::string default_model_path() {
    struct stat self {}, built {};
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0 || stat("/proc/self/exe", &self) != 0 ||
        (stat(OVCG_BUILT_TOOL, &built) == 0 && self.st_dev == built.st_dev && self.st_ino == built.st_ino))
        return OVCG_BUILT_MODEL;
    std::string dir(exe, static_cast<size_t>(n));
    dir.erase(dir.rfind('/'));  // the link names a file: it holds a '/'
    std::string rel = OVCG_MODEL_FROM_BINDIR;
    while (rel.compare(0, 3, "../") == 0 && !dir.empty()) {
        dir.erase(dir.rfind('/'));
        rel.erase(0, 3);
    }
    return dir + "/" + rel;
}

constexpr int kExitLibrary = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInput = 3;
constexpr int kExitFile = 4;

// A text of the user's as a message quotes it: a long one by its first 20
// characters and "...", and no other part of it, so that a line stays a
// line whatever was given.
constexpr size_t kQuotedWhole = 64;
std::string shortened(const std::string& text) {
    return text.size() <= kQuotedWhole ? text : text.substr(0, 20) + "...";
}

void* tool_allocate(size_t size) { return std::malloc(size); }
void tool_release(void* p) { std::free(p); }
void tool_unused() {}

// ---- Output -----------------------------------------------------------------------

// The printer stream's destination, written through a buffer of the tool's
// own, so that the tool knows which bytes reached it. A job that cannot end
// whole drops the bytes not yet handed on, and a regular file the tool
// opened is emptied and removed: a cut-off stream must not reach a printer.
struct Output {
    int fd = -1;   // the descriptor opened (standard output's own), kept to empty the file through
    int wfd = -1;  // the one the bytes go through: a duplicate of fd where one could be made
    std::string name;
    bool own = false;        // opened by the tool (not standard output), so closed by it
    bool removable = false;  // a regular file the tool opened
    int error = 0;           // errno of the first failed write; later writes fail at once
    std::vector<uint8_t> buffer;
};
Output g_out;
// What the buffer holds at most; more at once goes straight to the output.
constexpr size_t kOutputBuffer = size_t{1} << 16;
// Whether any byte reached the output (read by the stop handler).
std::atomic<bool> g_written{false};

// The start of a job not yet known to print: its bytes (the job start, the
// first page's start and first band, a few hundred bytes) are held here,
// the output not yet opened, so that a job the model's data cannot serve is
// refused with nothing written.
struct Held {
    bool on = false;
    std::vector<uint8_t> bytes;
    std::string refused;  // the failure that ended the job while it was held
};
Held g_held;

// ---- Standard error ----------------------------------------------------------------

// Standard error goes through a stream of the tool's own, which knows whether
// the last byte written ended a line. The library's resource reader ends one
// message without a line end ("RES MGR : Low Mem...Bailing out"); the tool's
// own message after it then starts on a new line, so that it reads, and is
// filtered, as a line of its own.
std::atomic<bool> g_err_mid_line{false};

ssize_t write_standard_error(void*, const char* data, size_t size) {
    static const char kOwn[] = "ovcg-print: ";
    if (g_err_mid_line.load() && size >= sizeof kOwn - 1 && std::memcmp(data, kOwn, sizeof kOwn - 1) == 0)
        (void)!write(2, "\n", 1);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(2, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    if (done > 0) g_err_mid_line.store(data[done - 1] != '\n');
    return done > 0 || size == 0 ? static_cast<ssize_t>(done) : -1;
}

void track_standard_error() {
    cookie_io_functions_t io{};
    io.write = write_standard_error;
    std::FILE* err = fopencookie(nullptr, "w", io);
    if (!err) return;  // messages go out as they are
    std::setvbuf(err, nullptr, _IONBF, 0);
    stderr = err;
}

// ---- Stopping on a signal ------------------------------------------------------------

// An interrupt, a termination request or a hang-up once the output is open
// ends a print whose job is not whole in the output as a failed write does:
// a regular output file is emptied and removed, one line says what became
// of the output, and the exit status is 128 + the signal's number. Whether
// the job is whole is decided by what the calls on the output returned,
// never by where the signal landed. While such a call is under way (a
// write, or the job's last flush and close), the handler only records the
// stop: installed without SA_RESTART, it makes a write that waits on a
// reader return with what it moved, or with EINTR, and the caller acts on
// the stop then; at the job's end, when every byte went and the close
// succeeded, the output is left whole and the tool ends as any program does
// on the signal. Anywhere else (the library's work, waiting for rows or for
// a FIFO's reader) the handler acts at once. Only the main thread acts: it
// alone writes the output, so no write of its own lands after the file was
// emptied; another thread that takes the signal hands it on to the main
// thread. Once the output is dropped, a second stop ends the tool at once,
// whatever its last line waits on.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr const char* kStopNames[] = {"SIGINT", "SIGTERM", "SIGHUP"};

enum StopState : int {
    kStopIdle,     // no handler yet
    kStopOpening,  // a regular file is being opened: a stop waits for the open, which does not block
    kStopArmed,    // a stop acts at once
    kStopCall,     // a call on the output is under way: a stop is recorded, for its caller
    kStopDropped,  // the output is dropped: a stop says so and ends the tool
    kStopWhole,    // the job is whole in the output: a stop ends the tool as it would any program
};
std::atomic<int> g_stop_state{kStopIdle};
std::atomic<int> g_stop_pending{0};  // a stop recorded while opening or during a call on the output
std::atomic<int> g_stop_fate{0};     // what became of the dropped output
std::atomic<pid_t> g_main_thread{0};
// A descriptor on which every write fails at once (a pipe's end without a
// reader). A stop recorded during a call on the output puts it in place of
// the descriptor written through, so that a write the call had not yet
// begun fails instead of waiting on a reader that may never come.
std::atomic<int> g_poison{-1};
std::atomic<int> g_stop_wfd{-1};
// The regular file the tool opened, once it is ours: whether there is one,
// its descriptor while it is open, the file its name reached when it
// opened (a symbolic link's target; null when that could not be told), and
// the device and inode of the file opened.
std::atomic<bool> g_stop_file{false};
std::atomic<int> g_stop_fd{-1};
std::atomic<const char*> g_stop_path{nullptr};
std::atomic<dev_t> g_stop_dev{0};
std::atomic<ino_t> g_stop_ino{0};

// What became of the output of a job that did not end whole.
enum Fate : int { kNothingWritten, kCutOff, kMoved, kRemovedNotEmptied, kEmptied, kRemoved, kFates };

std::string fate_text(int fate, const std::string& name) {
    switch (fate) {
        case kNothingWritten: return "nothing was written";
        case kCutOff: return name + " holds a cut-off job";
        case kMoved: return "the partial output, no longer at " + name + ", was left as it is";
        case kRemovedNotEmptied: return "the partial output was removed, not emptied";
        case kEmptied: return "the partial output was emptied, not removed";
        default: return "the partial output was removed";
    }
}

// The line for each fate and signal. Made before the handlers are installed
// and never freed (a signal may come while the process ends); the handler
// only reads.
const char* g_stop_text[kFates][3] = {};
size_t g_stop_size[kFates][3] = {};

// Empties the regular file the tool opened, through its descriptor, so that
// no other name of it keeps the cut-off job, then removes the file; says
// what became of the output. Safe in a signal handler, which calls it.
int drop_output() {
    if (!g_stop_file.load()) return g_written.load() ? kCutOff : kNothingWritten;
    const int fd = g_stop_fd.load();
    const char* path = g_stop_path.load();
    // The name may reach another file by now (the output renamed and a new
    // file made in its place): only the file opened is emptied or removed.
    // The name is looked at just before it is removed, after the emptying,
    // which takes long on a large file; no call removes a name only if it
    // still reaches a given file, so a few calls' gap remains.
    const auto ours = [path] {
        struct stat now {};
        return path && stat(path, &now) == 0 && now.st_dev == g_stop_dev.load() && now.st_ino == g_stop_ino.load();
    };
    // Closed (its close failed, and no duplicate was there to tell it
    // first), or put out of use by a stop: emptied by its name.
    const bool emptied = fd >= 0 ? ftruncate(fd, 0) == 0 : ours() && truncate(path, 0) == 0;
    const bool at_name = ours();
    const bool removed = at_name && unlink(path) == 0;
    if (emptied) return removed ? kRemoved : kEmptied;
    return removed ? kRemovedNotEmptied : path && !at_name ? kMoved : kCutOff;
}

// Holds the stop signals back from the calling thread, or lets them through.
void hold_stop_signals(bool hold) {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kStopSignals) sigaddset(&set, sig);
    pthread_sigmask(hold ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

void on_stop_signal(int sig);

// Gives the stop signals the tool catches their default action back.
void default_stops() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int sig : kStopSignals) {
        struct sigaction old {};
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == on_stop_signal) sigaction(sig, &action, nullptr);
    }
}

// The stop signals act as on any program from now on: their default
// action, let through.
void give_back_stops() {
    default_stops();
    hold_stop_signals(false);
}

// Drops the output of a job that is not whole; from now on a stop only
// says what became of it. The fate is returned.
int drop_for_good() {
    hold_stop_signals(true);  // a stop must not act on the output again midway
    const int fate = drop_output();
    g_stop_fate.store(fate);
    g_stop_state.store(kStopDropped);
    return fate;
}

// Says what became of the dropped output and ends the tool. The stop
// signals act as on any program meanwhile: a second one ends the tool at
// once, also while the line waits on a standard error nobody reads.
[[noreturn]] void say_stopped(int sig) {
    give_back_stops();
    int which = 0;
    for (int i = 0; i < 3; ++i)
        if (kStopSignals[i] == sig) which = i;
    const int fate = g_stop_fate.load();
    if (g_err_mid_line.load()) (void)!write(2, "\n", 1);
    (void)!write(2, g_stop_text[fate][which], g_stop_size[fate][which]);
    _exit(128 + sig);
}

[[noreturn]] void stop_now(int sig) {
    drop_for_good();
    say_stopped(sig);
}

// The job is whole in the output: the signal ends the tool as it would any
// program, and the output stays as it is.
[[noreturn]] void end_by_signal(int sig) {
    give_back_stops();
    raise(sig);
    _exit(128 + sig);  // not reached: the default action ends the process
}

// A stop during a call on the output: the descriptor written through is put
// out of use, so that the call's next write, should it begin, fails at once.
void poison_output() {
    const int wfd = g_stop_wfd.exchange(-1), poison = g_poison.load();
    if (wfd < 0 || poison < 0) return;
    if (wfd == g_stop_fd.load()) g_stop_fd.store(-1);  // the file's only descriptor: dropped by its name
    dup2(poison, wfd);
}

void on_stop_signal(int sig) {
    const int saved = errno;
    if (gettid() != g_main_thread.load()) {
        // The main thread takes it at once, or once it lets the signals through.
        tgkill(getpid(), g_main_thread.load(), sig);
        errno = saved;
        return;
    }
    switch (g_stop_state.load()) {
        case kStopCall:
            poison_output();
            g_stop_pending.store(sig);
            break;
        case kStopOpening: g_stop_pending.store(sig); break;
        case kStopDropped: say_stopped(sig);
        case kStopWhole: end_by_signal(sig);
        default: stop_now(sig);
    }
    errno = saved;
}

// A call on the output has returned: a stop taken during it acts now.
void end_call() {
    g_stop_state.store(kStopArmed);
    if (const int sig = g_stop_pending.load()) stop_now(sig);
}

// Makes the lines for an output of this name and installs the handlers
// (not for a signal ignored from the start, as under nohup). `opening`: a
// regular file is being opened, and a signal waits for arm_stop.
void prepare_stop(const std::string& name, bool opening) {
    g_main_thread.store(gettid());
    for (int i = 0; i < 3; ++i) {
        for (int fate = 0; fate < kFates; ++fate) {
            const std::string line =
                std::string("ovcg-print: stopped by ") + kStopNames[i] + "; " + fate_text(fate, name) + "\n";
            g_stop_text[fate][i] = strdup(line.c_str());
            g_stop_size[fate][i] = g_stop_text[fate][i] ? line.size() : 0;
        }
    }
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) == 0) {
        close(ends[0]);
        g_poison.store(ends[1]);
    }
    g_stop_state.store(opening ? kStopOpening : kStopArmed);
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    action.sa_flags = 0;  // no SA_RESTART: a write waiting on a reader returns to its caller
    sigemptyset(&action.sa_mask);
    for (int sig : kStopSignals) sigaddset(&action.sa_mask, sig);
    for (int sig : kStopSignals) {
        struct sigaction old {};
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) sigaction(sig, &action, nullptr);
    }
}

// The output is open (or failed to open): a signal now drops the regular
// file the tool opened (fd and path; -1 when there is none) and ends the
// process; one taken meanwhile does so now.
void arm_stop(int fd, const char* path) {
    g_stop_fd.store(fd);
    g_stop_path.store(path);
    g_stop_file.store(fd >= 0);
    end_call();
}

// ---- Writing the output --------------------------------------------------------------

// Hands bytes to the output; false when one did not arrive (g_out.error
// set) or a stop came first. Each write is a call on the output: a stop
// taken during it acts once the write has returned, by what it moved,
// unless the job's end made the call and decides.
bool write_output(const uint8_t* data, size_t size) {
    int armed = kStopArmed;
    const bool call = g_stop_state.compare_exchange_strong(armed, kStopCall);
    while (size > 0 && !g_stop_pending.load()) {
        const ssize_t n = write(g_out.wfd, data, size);
        if (n > 0) {
            g_written.store(true);
            data += n;
            size -= static_cast<size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            g_out.error = n < 0 ? errno : EIO;
            break;
        }
    }
    if (call) end_call();
    return size == 0;
}

// Hands on what was written so far; false when a byte did not reach the
// output.
bool flush_output() {
    const bool ok = !g_out.error && (g_out.buffer.empty() || write_output(g_out.buffer.data(), g_out.buffer.size()));
    g_out.buffer.clear();
    return ok;
}

int32_t tool_output(const uint8_t* data, int32_t length) {
    if (g_out.error) return -1;
    if (length <= 0) return 0;
    if (g_held.on) {
        // The tool's memory running out fails the send; the job then ends
        // for it (out_of_memory).
        try {
            g_held.bytes.insert(g_held.bytes.end(), data, data + length);
        } catch (const std::bad_alloc&) {
            g_out.error = ENOMEM;
            return -1;
        }
        return length;
    }
    const size_t size = static_cast<size_t>(length);
    if (g_out.buffer.size() + size > kOutputBuffer && !flush_output()) return -1;
    if (size >= kOutputBuffer) return write_output(data, size) ? length : -1;
    g_out.buffer.insert(g_out.buffer.end(), data, data + size);
    return length;
}

// The file a name reaches (a symbolic link's target), kept for the rest of
// the process; null when it is not the open file `st`.
const char* resolved_name(const std::string& path, const struct stat& st) {
    char* real = realpath(path.c_str(), nullptr);
    struct stat now {};
    if (real && stat(real, &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino) return real;
    std::free(real);
    return nullptr;
}

bool open_output(const std::string& path) {
    g_out = Output{};
    g_out.name = path == "-" ? "standard output" : path;
    g_out.buffer.reserve(kOutputBuffer);
    // Only a regular file can be ours to remove; opening a pipe or device
    // may wait, and a signal then acts at once.
    struct stat st {};
    const bool regular = path != "-" && (stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode));
    prepare_stop(g_out.name, regular);
    g_out.fd = path == "-" ? 1 : open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    const int error = errno;
    g_out.own = path != "-" && g_out.fd >= 0;
    g_out.removable = g_out.own && fstat(g_out.fd, &st) == 0 && S_ISREG(st.st_mode);
    g_stop_dev.store(st.st_dev);
    g_stop_ino.store(st.st_ino);
    if (g_out.fd >= 0) {
        // The bytes go through a duplicate, which a stop can put out of use
        // while the file opened stays open to be emptied through.
        g_out.wfd = dup(g_out.fd);
        if (g_out.wfd < 0 || fcntl(g_out.wfd, F_SETFD, FD_CLOEXEC) != 0) g_out.wfd = g_out.fd;
        g_stop_wfd.store(g_out.wfd);
    }
    arm_stop(g_out.removable ? g_out.fd : -1, g_out.removable ? resolved_name(path, st) : nullptr);
    if (g_out.fd < 0) {
        std::fprintf(stderr, "ovcg-print: cannot open output %s: %s\n", path.c_str(), std::strerror(error));
        return false;
    }
    return true;
}

// Closes the output, every byte handed on; false (with g_out.error set)
// when a close says the file system could not store them (what the file
// system could not store may be told only by a close). The descriptor
// written through is closed first; the file opened stays open until that
// close has succeeded, so that a drop empties it through its descriptor,
// whatever its name reaches by then.
bool close_output() {
    const int wfd = std::exchange(g_out.wfd, -1);
    g_stop_wfd.store(-1);  // its number is free once closed
    if (wfd < 0) return true;
    int error = 0;
    if (wfd != g_out.fd && close(wfd) != 0) error = errno;
    if (!error && g_out.own) {
        g_stop_fd.store(-1);  // once closed, a drop goes by the name
        if (close(std::exchange(g_out.fd, -1)) != 0) error = errno;
    }
    if (error) g_out.error = error;
    return error == 0;
}

// Ends the output of a job that ended: true, and a signal from now on ends
// the tool as it would any program and leaves the output; false (with
// g_out.error set) when a byte did not reach it. The last flush and the
// close are one call on the output: a stop during them is recorded, and
// the job is whole when every byte went and the close succeeded, whatever
// came meanwhile. Otherwise a stop acts then, on a job that is not whole.
bool end_output() {
    g_stop_state.store(kStopCall);
    if (!flush_output() || !close_output()) {
        end_call();
        return false;
    }
    g_stop_state.store(kStopWhole);
    default_stops();
    if (const int sig = g_stop_pending.load()) end_by_signal(sig);
    return true;
}

// Drops the output of a job that did not end whole (the bytes not handed
// on yet, and a regular file the tool opened) and says what became of it.
// A stop from now on says it too and ends the tool.
std::string discard_output() {
    g_out.buffer.clear();
    const int fate = drop_for_good();
    hold_stop_signals(false);
    return "; " + fate_text(fate, g_out.name);
}

// Ends the text of --help or --page-info on standard output. 0, or exit 4
// (said on standard error) when the text did not all arrive there.
int end_text_output() {
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
    std::fprintf(stderr, "ovcg-print: writing standard output failed: %s\n", std::strerror(errno ? errno : EIO));
    return kExitFile;
}

// ---- Library calls -----------------------------------------------------------------

const char* code_text(int32_t code) {
    switch (code) {
        // A failure of the tool's output is said as one ("writing OUT
        // failed: ..."); this code then is the engine's own.
        case OVCG_ERR_ENGINE: return "print engine failure";
        case OVCG_ERR_NO_MEMORY: return "out of memory";
        case OVCG_ERR_ARGUMENT: return "bad argument or option";
        case OVCG_ERR_CALLBACKS: return "incomplete callback record";
        default: return "failure";
    }
}

std::string failed(const char* call, int32_t code) {
    return std::string(call) + " failed with code " + std::to_string(code) + " (" + code_text(code) + ")";
}

int library_failure(const char* call, int32_t code) {
    std::fprintf(stderr, "ovcg-print: %s\n", failed(call, code).c_str());
    return kExitLibrary;
}

// A name list of the library: list(count, null) asks for the count,
// list(count, names) fills the names.
template <class List>
std::vector<const char*> names_from(List list) {
    uint32_t n = 0;
    if (list(&n, nullptr) != OVCG_OK) return {};
    std::vector<const char*> names(n);
    if (n == 0 || list(&n, names.data()) != OVCG_OK) return {};
    names.resize(n);
    return names;
}

std::vector<const char*> option_names() { return names_from(ovcgGetOptionList); }

std::vector<const char*> choice_names(const char* option) {
    return names_from([option](uint32_t* count, const char** names) {
        return ovcgGetChoiceList(option, count, names);
    });
}

const char kExitText[] =
    "Exit status: 0 printed (or the page reported); 1 the library failed, or\n"
    "memory ran out; 2 bad command line, option or choice, or choices the model\n"
    "cannot print (nothing is written then); 3 the image is missing, unreadable\n"
    "or malformed (pages before the bad one stay printed and the job is ended);\n"
    "4 the model file cannot be opened or read or its data for the job are\n"
    "missing or damaged, or the output cannot be opened or written. When\n"
    "printing fails (1 or 4), a partial output file is emptied and removed. A\n"
    "print stopped by SIGINT, SIGTERM or SIGHUP exits 128 + the signal's number\n"
    "(130 for Ctrl-C), its partial output file emptied and removed likewise.\n";

void print_help() {
    std::printf(
        "usage: ovcg-print [-m MODEL] [-o NAME=CHOICE]... [-O OUTPUT] [--page-info] [IMAGE|-]\n"
        "\n"
        "Prints the pages of IMAGE (binary PPM for colour, PGM for gray; several\n"
        "images in one file are several pages; - or nothing: standard input)\n"
        "and writes the printer stream to OUTPUT (default: standard output).\n"
        "Each image is placed at the top left of its page, one image pixel a page\n"
        "pixel, cropped or padded with white. The page's size in pixels depends on\n"
        "the medium's resolution: --page-info tells it.\n"
        "\n"
        "  -m MODEL        model resource file (default: %s)\n"
        "  -o NAME=CHOICE  print option (repeatable; names and choices ignore case)\n"
        "  -O OUTPUT       output file (- for standard output)\n"
        "  --page-info     print the page's width and height in pixels and the\n"
        "                  colour model for the options (and the header of IMAGE's\n"
        "                  first image, when given) to standard output; no page\n"
        "                  is printed\n"
        "  --help          this text\n"
        "\n"
        "Unset MediaType and PageSize take the first choice listed; a paper name\n"
        "without a variant means _Roll (A4 is A4_Roll). PageSize also takes\n"
        "custom.WxH, W and H decimal numbers, followed by in, cm, mm or nothing\n"
        "(points), %d to %d dots wide and %d to %d dots high at 300 dpi. Unset\n"
        "ColorModel is Gray when the first image is gray (PGM), else RGB.\n"
        "\n"
        "%s"
        "\n"
        "Options and choices:\n",
        default_model_path().c_str(), ovcg::frontend::kCustomWidthMin, ovcg::frontend::kCustomWidthMax,
        ovcg::frontend::kCustomHeightMin, ovcg::frontend::kCustomHeightMax, kExitText);
    for (const char* option : option_names()) {
        std::printf("  %s:", option);
        int col = 4 + static_cast<int>(std::strlen(option));
        for (const char* choice : choice_names(option)) {
            int len = static_cast<int>(std::strlen(choice)) + 1;
            if (col + len > 78) {
                std::printf("\n     ");
                col = 5;
            }
            std::printf(" %s", choice);
            col += len;
        }
        std::printf("\n");
    }
}

// ---- Command line -------------------------------------------------------------------

using Options = std::vector<std::pair<std::string, std::string>>;

struct Settings {
    std::string model = default_model_path();
    std::string input = "-";
    bool have_input = false;
    std::string output = "-";
    Options options;
    bool help = false;
    bool page_info = false;
};

// Parses the command line; 0 or an exit status.
int parse_args(int argc, char** argv, Settings& s) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char* flag) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "ovcg-print: %s needs a value\n", flag);
                return nullptr;
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            s.help = true;
        } else if (a == "--page-info") {
            s.page_info = true;
        } else if (a == "-m") {
            const char* v = value("-m");
            if (!v) return kExitUsage;
            s.model = v;
        } else if (a == "-O") {
            const char* v = value("-O");
            if (!v) return kExitUsage;
            s.output = v;
        } else if (a == "-o") {
            const char* v = value("-o");
            if (!v) return kExitUsage;
            std::string o = v;
            size_t eq = o.find('=');
            if (eq == std::string::npos || eq == 0) {
                std::fprintf(stderr, "ovcg-print: option '%s' is not of the form NAME=CHOICE\n", shortened(o).c_str());
                return kExitUsage;
            }
            s.options.emplace_back(o.substr(0, eq), o.substr(eq + 1));
        } else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "ovcg-print: unknown argument '%s' (see --help)\n", shortened(a).c_str());
            return kExitUsage;
        } else {
            if (s.have_input) {
                std::fprintf(stderr, "ovcg-print: more than one input given\n");
                return kExitUsage;
            }
            s.input = a;
            s.have_input = true;
        }
    }
    return 0;
}

const std::string* find_option(const Options& options, const char* name) {
    const std::string* found = nullptr;
    for (const auto& [n, c] : options)
        if (n == name) found = &c;
    return found;
}

// Whether a colour model takes one sample a pixel.
bool gray_model(const std::string& model) {
    return strcasecmp(model.c_str(), "Gray") == 0 || strcasecmp(model.c_str(), "Black2") == 0;
}

// One side of a custom size at p: "" when it is a decimal number (digits,
// with a decimal point if need be; p moves past it), else what it is not.
std::string custom_side(const char*& p, const char* side) {
    const char* q = p;
    const bool negative = *q == '-';
    if (*q == '-' || *q == '+') ++q;
    if (strncasecmp(q, "inf", 3) == 0 || strncasecmp(q, "nan", 3) == 0 || negative)
        return std::string(side) + " is not a positive number";
    int digits = 0, points = 0;
    for (; (*q >= '0' && *q <= '9') || (*q == '.' && points == 0); ++q) ++(*q == '.' ? points : digits);
    if (digits == 0 || *p == '+') return std::string(side) + " is not a decimal number";
    p = q;
    return "";
}

// Checks the text after "custom." against the form the tool promises: a
// decimal number, x, a decimal number, then exactly in, cm, mm or nothing
// (the library itself takes more: any tail that holds a unit's letters, and
// any number a C float conversion reads). "" when it has that form, else
// what is wrong with it, which quotes the unit only when the choice is
// quoted whole.
std::string custom_size_form(const char* text, bool quote_unit) {
    const char* p = text;
    std::string why = custom_side(p, "the width");
    if (why.empty() && *p != 'x' && *p != 'X') why = "the width is not a decimal number";
    if (!why.empty()) return why;
    ++p;
    if (!(why = custom_side(p, "the height")).empty()) return why;
    if (*p && strcasecmp(p, "in") != 0 && strcasecmp(p, "cm") != 0 && strcasecmp(p, "mm") != 0)
        return (quote_unit ? "the unit '" + std::string(p) + "'" : std::string("the unit")) +
               " is none of in, cm, mm";
    return "";
}

// A custom PageSize the tool refuses: longer than the library takes, no
// size, not of the form the tool promises (said with what is wrong), or
// outside the limits (said with the size it asks for). 0 or an exit status.
int check_custom_size(const std::string& choice) {
    using namespace ovcg::frontend;
    const std::string quoted = shortened(choice);
    if (choice.size() > kPaperChoiceMax) {
        std::fprintf(stderr,
                     "ovcg-print: PageSize=%s has %zu characters; a PageSize choice takes at most %zu; "
                     "nothing was printed\n",
                     quoted.c_str(), choice.size(), kPaperChoiceMax);
        return kExitUsage;
    }
    static const char kForm[] = "give custom.WxH, W and H decimal numbers, followed by in, cm, mm or nothing (points)";
    const char* text = choice.c_str() + 7;
    ovcg::frontend::CustomSizeDots size;
    const bool has_x = std::strchr(text, 'x') || std::strchr(text, 'X');
    if (const std::string why = has_x ? custom_size_form(text, choice.size() <= kQuotedWhole) : ""; !why.empty()) {
        std::fprintf(stderr, "ovcg-print: PageSize=%s: %s; %s\n", quoted.c_str(), why.c_str(), kForm);
        return kExitUsage;
    }
    // The size reader takes "0x" for the start of a hexadecimal number
    // ("0x11in"): a width of 0 is read as 1, so that the height is read,
    // and then taken as 0.
    std::string readable = text;
    const bool zero_width = readable.size() > 1 && readable[0] == '0' && (readable[1] == 'x' || readable[1] == 'X');
    if (zero_width) readable[0] = '1';
    if (!has_x || !custom_size_dots(readable.c_str(), &size)) {
        std::fprintf(stderr, "ovcg-print: PageSize=%s is no size: %s\n", quoted.c_str(), kForm);
        return kExitUsage;
    }
    if (zero_width) size.width = 0;
    if (size.fits()) return 0;
    // A side too large for a number of dots (-1), or of no dot, is named;
    // any other size is said in dots.
    std::string sides;
    for (const auto& [dots, side] : {std::pair{size.width, "the width"}, std::pair{size.height, "the height"}})
        if (dots <= 0)
            sides += (sides.empty() ? ": " : " and ") + std::string(side) +
                     (dots < 0 ? " is too large" : " is 0 dots");
    const std::string asked =
        sides.empty() ? " asks for " + std::to_string(size.width) + " x " + std::to_string(size.height) +
                            " dots at 300 dpi"
                      : sides;
    std::fprintf(stderr,
                 "ovcg-print: PageSize=%s%s; a custom page must be %d to %d dots wide and %d to %d dots high; "
                 "nothing was printed\n",
                 quoted.c_str(), asked.c_str(), kCustomWidthMin, kCustomWidthMax, kCustomHeightMin,
                 kCustomHeightMax);
    return kExitUsage;
}

// Checks the options against the library's lists, with the names the
// library gives them, and adds the first choice of MediaType and PageSize
// where they are not given. 0 or an exit status.
int check_options(const Settings& s, Options& todo) {
    const std::vector<const char*> names = option_names();
    todo.clear();
    for (const auto& [name, choice] : s.options) {
        const char* option = nullptr;
        for (const char* n : names)
            if (strcasecmp(n, name.c_str()) == 0) option = n;
        if (!option) {
            std::fprintf(stderr, "ovcg-print: unknown option '%s' (see --help)\n", shortened(name).c_str());
            return kExitUsage;
        }
        const bool page_size = strcasecmp(option, "PageSize") == 0;
        // A paper name without a variant is the roll variant, as the library reads it.
        const std::string roll = choice + "_Roll";
        const bool plain_paper = page_size && choice.find('_') == std::string::npos;
        bool known = false;
        for (const char* c : choice_names(option))
            known = known || strcasecmp(c, choice.c_str()) == 0 || (plain_paper && strcasecmp(c, roll.c_str()) == 0);
        if (!known && page_size && strncasecmp(choice.c_str(), "custom.", 7) == 0) {
            if (int status = check_custom_size(choice)) return status;
            known = true;
        }
        if (!known) {
            std::fprintf(stderr, "ovcg-print: unknown choice '%s' for option %s (see --help)\n",
                         shortened(choice).c_str(), option);
            return kExitUsage;
        }
        todo.emplace_back(option, choice);
    }
    for (const char* required : {"MediaType", "PageSize"}) {
        if (find_option(todo, required)) continue;
        std::vector<const char*> choices = choice_names(required);
        if (!choices.empty()) todo.insert(todo.begin(), {required, choices[0]});
    }
    return 0;
}

// Sets the options in the library. 0 or an exit status.
int set_options(const Options& options) {
    for (const auto& [name, choice] : options) {
        int32_t r = ovcgSetPrintOption(name.c_str(), choice.c_str());
        if (r != OVCG_OK) return library_failure("ovcgSetPrintOption", r);
    }
    return 0;
}

// ---- Checking the model ---------------------------------------------------------------

// Runs fn with standard error caught, then passes what was written on
// unchanged and returns it: the library's resource reader names a resource
// it cannot deliver only in its "RES MGR : " lines.
template <class Fn>
std::string catching_messages(Fn fn) {
    std::fflush(stderr);
    std::FILE* caught = std::tmpfile();
    const int saved = caught ? dup(2) : -1;
    if (saved < 0 || dup2(fileno(caught), 2) < 0) {
        if (saved >= 0) close(saved);
        if (caught) std::fclose(caught);
        fn();
        return {};
    }
    try {
        fn();
    } catch (...) {  // the messages go where they went before
        dup2(saved, 2);
        close(saved);
        std::fclose(caught);
        throw;
    }
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string text;
    std::rewind(caught);
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, caught)) > 0) text.append(buf, n);
    std::fclose(caught);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
    return text;
}

// What the resource reader's messages say about the model: the last
// resource it could not deliver (a job stops at the first one it needs and
// lacks; some it only looks for come before); "" when it said nothing.
std::string resource_trouble(const std::string& messages) {
    std::string trouble;
    for (size_t at = messages.find("RES MGR : "); at != std::string::npos;
         at = messages.find("RES MGR : ", at + 1)) {
        const char* line = messages.c_str() + at;
        int type = 0, id = 0, size = 0, got = 0;
        if (std::sscanf(line, "RES MGR : Failed to locate [%d, %d]", &type, &id) == 2)
            trouble = "it holds no resource of type " + std::to_string(type) + ", identifier " + std::to_string(id);
        else if (std::sscanf(line, "RES MGR : FR - Could not read %d bytes (%d bytes read) [%d], [%d]", &size, &got,
                             &type, &id) == 4)
            trouble = "resource of type " + std::to_string(type) + ", identifier " + std::to_string(id) +
                      " cannot be read (" + std::to_string(got) + " of " + std::to_string(size) + " bytes)";
        else if (std::strncmp(line, "RES MGR : Low Mem", 17) == 0)
            trouble = "out of memory while reading it";
        else if (std::strncmp(line + 10, "Failed to open", 14) == 0 ||
                 std::strncmp(line + 10, "FR - Failed to open", 19) == 0)
            trouble = "it cannot be opened";
    }
    return trouble;
}

int32_t no_output(const uint8_t*, int32_t length) { return length; }

// A job whose bytes go nowhere: the job start, a page start, one band of
// white and the job end. "" when all of it succeeds, else what failed.
std::string probe_job(bool gray) {
    int32_t r = ovcgStartJob(no_output, "0");
    if (r != OVCG_OK) return failed("ovcgStartJob", r);
    std::string why;
    uint32_t width = 0;
    if ((r = ovcgGetPageAttribute(OVCG_PAGE_WIDTH, &width)) != OVCG_OK) {
        why = failed("ovcgGetPageAttribute", r);
    } else if ((r = ovcgStartPage()) != OVCG_OK) {
        why = failed("ovcgStartPage", r);
    } else {
        const std::vector<uint8_t> white(size_t{width} * (gray ? 1 : 3), 255);
        for (int line = 0; line < 3 && why.empty(); ++line)
            if ((r = ovcgRasterOut(white.data(), static_cast<int32_t>(white.size()), 0)) != OVCG_OK)
                why = failed("ovcgRasterOut", r);
        if ((r = ovcgEndPage(1)) != OVCG_OK && why.empty()) why = failed("ovcgEndPage", r);
    }
    if ((r = ovcgEndJob()) != OVCG_OK && why.empty()) why = failed("ovcgEndJob", r);
    return why;
}

// The choice a job takes for an option it is not given.
std::string default_choice(const std::string& option) {
    if (option == "BlackDensity" || option == "ColorDensity") return "100";
    std::vector<const char*> choices = choice_names(option.c_str());
    return choices.empty() ? std::string() : std::string(choices[0]);
}

// A probe job with these options; what failed ("" for nothing) and what the
// resource reader said meanwhile.
struct Probe {
    std::string why;
    std::string trouble;
};
Probe probe(const Options& options) {
    Probe p;
    if (set_options(options) != 0) return {"ovcgSetPrintOption failed", ""};
    const std::string* model = find_option(options, "ColorModel");
    const bool gray = model && gray_model(*model);
    p.trouble = resource_trouble(catching_messages([&] { p.why = probe_job(gray); }));
    return p;
}

// Refuses options whose job failed (first) before it wrote a byte, with the
// reason. When even the default choices fail, the model is at fault: it
// lacks a resource, or the data it holds for the job are missing or damaged
// (exit 4). Otherwise the option whose default would let the job print is
// named (or the whole combination), found by probe jobs (exit 2).
int refuse_options(const std::string& model_path, const Options& options, const Probe& first) {
    const unsigned engine = HXR_GetErrorInfo(nullptr);
    auto detail = [&](const Probe& p) {
        std::string d = p.why;
        if (engine) d += "; halftone engine code " + std::to_string(engine);
        return d;
    };
    Options defaults = options;
    bool same = true;
    for (auto& [name, choice] : defaults) {
        const std::string d = default_choice(name);
        same = same && strcasecmp(d.c_str(), choice.c_str()) == 0;
        choice = d;
    }
    const Probe plain = same ? first : probe(defaults);
    if (!plain.why.empty()) {
        set_options(options);
        if (plain.trouble.empty())  // the resources are there, but do not serve
            std::fprintf(stderr,
                         "ovcg-print: cannot print with model file %s: its data for this job are missing or "
                         "damaged; %s; nothing was printed\n",
                         model_path.c_str(), detail(plain).c_str());
        else
            std::fprintf(stderr, "ovcg-print: cannot read model file %s: %s; nothing was printed\n",
                         model_path.c_str(), plain.trouble.c_str());
        return kExitFile;
    }
    std::string culprit;
    for (size_t i = 0; i < options.size() && culprit.empty(); ++i) {
        Options other = options;
        other[i].second = default_choice(options[i].first);
        if (other[i].second.empty() || strcasecmp(other[i].second.c_str(), options[i].second.c_str()) == 0) continue;
        if (probe(other).why.empty()) culprit = options[i].first + "=" + shortened(options[i].second);
    }
    set_options(options);
    std::string all;
    for (const auto& [name, choice] : options) all += " " + name + "=" + shortened(choice);
    if (culprit.empty())
        std::fprintf(stderr, "ovcg-print: cannot print these options together:%s\n", all.c_str());
    else
        std::fprintf(stderr, "ovcg-print: cannot print %s with these options:%s\n", culprit.c_str(), all.c_str());
    std::string why = detail(first);
    if (!first.trouble.empty()) why += "; the model: " + first.trouble;
    std::fprintf(stderr, "ovcg-print: %s; nothing was printed\n", why.c_str());
    return kExitUsage;
}

// Whether the model serves the options, found by a probe job. Leaves the
// options set. 0 or an exit status.
int check_model(const std::string& model_path, const Options& options) {
    const Probe first = probe(options);
    return first.why.empty() ? 0 : refuse_options(model_path, options, first);
}

// The model file must be a file the tool can open, by a path the library
// takes whole; what is in it, the library judges.
bool model_opens(const std::string& path) {
    if (path.size() > ovcg::kResPathMax) {
        std::fprintf(stderr,
                     "ovcg-print: model file path %s has %zu characters; the library takes at most %zu; "
                     "nothing was printed\n",
                     shortened(path).c_str(), path.size(), ovcg::kResPathMax);
        return false;
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    int error = f ? 0 : errno;
    struct stat st {};
    if (f && fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) error = EISDIR;
    if (f) std::fclose(f);
    if (!error) return true;
    std::fprintf(stderr, "ovcg-print: cannot open model file %s: %s\n", path.c_str(), std::strerror(error));
    return false;
}

// ---- Printing -------------------------------------------------------------------------

// The job as it runs: the reader of the input and the pages printed.
struct Job {
    ovcg_tool::NetpbmReader& reader;
    const char* input_name;
    const std::string& color_model;
    const std::string& output;
    uint32_t width = 0, height = 0, channels = 0;
    int printed = 0;
};

// Returned by the printing when the library failed while the job was held:
// nothing is written, and the options are refused with g_held.refused.
constexpr int kRefused = -1;
// The rows of the first page fed while the job is held: the third hands the
// first band to the engine.
constexpr uint32_t kHeldRows = 3;

// Starts the job and its first page with the output held. "" or what failed
// (the job ended then, nothing written).
std::string start_job(Job& job) {
    int32_t r = ovcgStartJob(tool_output, "1");
    if (r != OVCG_OK) return failed("ovcgStartJob", r);
    std::string why;
    if ((r = ovcgGetPageAttribute(OVCG_PAGE_WIDTH, &job.width)) != OVCG_OK ||
        (r = ovcgGetPageAttribute(OVCG_PAGE_HEIGHT, &job.height)) != OVCG_OK)
        why = failed("ovcgGetPageAttribute", r);
    else if ((r = ovcgStartPage()) != OVCG_OK)
        why = failed("ovcgStartPage", r);
    if (!why.empty()) ovcgEndJob();
    return why;
}

int end_on_failure(const char* call, int32_t code);

// Opens the output, the first page's first band in, and writes the bytes
// held; from now on bytes stream. 0, or the exit status of a job that ends
// here (the page and job ended): the output cannot be opened or written.
int release_held(const Job& job) {
    g_held.on = false;
    if (!open_output(job.output)) {
        g_held.on = true;  // what the abandoned job still writes goes nowhere
        ovcgEndPage(1);
        ovcgEndJob();
        return kExitFile;
    }
    tool_output(g_held.bytes.data(), static_cast<int32_t>(g_held.bytes.size()));
    g_held.bytes = {};
    if (!g_out.error) return 0;
    ovcgEndPage(1);
    return end_on_failure("ovcgRasterOut", OVCG_ERR_ENGINE);
}

// A job that cannot end whole, its library job ended: says why, removes the
// partial output and gives the exit status: the output could not be written
// (4) or the library failed (1).
int failed_job(const char* call, int32_t code) {
    const bool output = g_out.error != 0;
    const std::string what =
        output ? "writing " + g_out.name + " failed: " + std::strerror(g_out.error) : failed(call, code);
    std::fprintf(stderr, "ovcg-print: %s%s\n", what.c_str(), discard_output().c_str());
    return output ? kExitFile : kExitLibrary;
}

// A failure of the library or the output inside the job: the job is ended
// and fails, or is refused when nothing was written yet.
int end_on_failure(const char* call, int32_t code) {
    ovcgEndJob();
    if (!g_held.on) return failed_job(call, code);
    if (g_out.error == ENOMEM) throw std::bad_alloc();  // the tool's own memory failed it, not the options
    g_held.refused = failed(call, code);
    return kRefused;
}

// Ends a job stopped by a broken image: the page in hand is abandoned, the
// job ends with what was printed. Exit 3, or the failure of ending it.
int end_on_bad_image(Job& job, bool page_open) {
    const int bad = job.printed + 1;  // image n is page n
    // A first page abandoned before its first band is written as it stands,
    // like any later one.
    if (g_held.on)
        if (const int status = release_held(job)) return status;
    if (page_open) ovcgEndPage(1);
    const int32_t r = ovcgEndJob();
    std::fprintf(stderr, "ovcg-print: %s: %s\n", job.input_name, job.reader.error().c_str());
    if (r != OVCG_OK || !end_output()) return failed_job("ovcgEndJob", r);
    if (page_open)
        std::fprintf(stderr, "ovcg-print: page %d abandoned; %d page(s) before it printed, the job ended\n", bad,
                     job.printed);
    else
        std::fprintf(stderr, "ovcg-print: %d page(s) printed, the job ended before image %d\n", job.printed, bad);
    return kExitInput;
}

// Prints every image of the input, the first one's header already read and
// its page started (start_job). The output opens once the first band is in.
int print_pages(Job& job) {
    int32_t r = OVCG_OK;
    std::vector<uint8_t> line(size_t{job.width} * job.channels);
    for (bool started = true;; started = false) {
        const ovcg_tool::ImageHeader img = job.reader.header();
        if (!started && (r = ovcgStartPage()) != OVCG_OK) return end_on_failure("ovcgStartPage", r);
        job.reader.begin_rows(job.width, job.channels);
        for (uint32_t y = 0; y < job.height; ++y) {
            const uint8_t* row = line.data();
            if (y < img.height) {
                if (!(row = job.reader.read_row(line.data()))) return end_on_bad_image(job, true);
            } else if (y == img.height) {
                std::memset(line.data(), 0xFF, line.size());  // white below the image
            }
            if ((r = ovcgRasterOut(row, static_cast<int32_t>(line.size()), 0)) != OVCG_OK) {
                ovcgEndPage(1);
                return end_on_failure("ovcgRasterOut", r);
            }
            if (g_held.on && (y + 1 == kHeldRows || y + 1 == job.height))
                if (const int status = release_held(job)) return status;
        }
        // The rows below the page are read too: a page whose image is cut
        // short is not printed as though it were whole.
        if (!job.reader.skip_rest()) return end_on_bad_image(job, true);
        if ((r = ovcgEndPage(0)) != OVCG_OK) return end_on_failure("ovcgEndPage", r);
        // A page done is handed on now, not when the input ends; one that
        // does not arrive whole is not printed.
        if (!flush_output()) return end_on_failure("ovcgEndPage", r);
        ++job.printed;
        std::fprintf(stderr, "ovcg-print: page %d: %ux%u image printed as %ux%u %s\n", job.printed, img.width,
                     img.height, job.width, job.height, job.color_model.c_str());
        const auto next = job.reader.next_image();
        if (next == ovcg_tool::NetpbmReader::Next::kEnd) break;
        if (next == ovcg_tool::NetpbmReader::Next::kError) return end_on_bad_image(job, false);
    }
    r = ovcgEndJob();
    if (r != OVCG_OK || !end_output()) return failed_job("ovcgEndJob", r);
    return 0;
}

// An output file that is the input (the same file by any path or link, or
// the file standard input reads) would be cut to nothing before its image
// is read: refused before anything is opened. 0 or an exit status.
int check_output_is_not_input(const Settings& s) {
    struct stat in {}, out {};
    if (s.page_info || s.output == "-" || stat(s.output.c_str(), &out) != 0) return 0;
    if ((s.input == "-" ? fstat(0, &in) : stat(s.input.c_str(), &in)) != 0) return 0;
    if (in.st_dev != out.st_dev || in.st_ino != out.st_ino) return 0;
    const std::string input = s.input == "-" ? "the file standard input reads" : "the input " + s.input;
    std::fprintf(stderr, "ovcg-print: the output %s is %s; nothing was printed\n", s.output.c_str(), input.c_str());
    return kExitUsage;
}

int run(const Settings& s) {
    Options options;
    int status = check_options(s, options);
    if (status) return status;
    if ((status = check_output_is_not_input(s)) != 0) return status;
    if (!model_opens(s.model)) return kExitFile;

    // The first image's header comes before the options are set: a gray image
    // makes a gray job unless the colour model is given.
    const bool read_input = s.have_input || !s.page_info;
    std::FILE* in = nullptr;
    const char* input_name = s.input == "-" ? "standard input" : s.input.c_str();
    if (read_input) {
        in = s.input == "-" ? stdin : std::fopen(s.input.c_str(), "rb");
        if (!in) {
            std::fprintf(stderr, "ovcg-print: cannot open image %s: %s\n", s.input.c_str(), std::strerror(errno));
            return kExitInput;
        }
    }
    struct CloseInput {
        std::FILE* f;
        ~CloseInput() {
            if (f && f != stdin) std::fclose(f);
        }
    } close_input{in};
    ovcg_tool::NetpbmReader reader(in);
    // The page report reads the first image's header and no more.
    if (read_input && reader.next_image(!s.page_info) != ovcg_tool::NetpbmReader::Next::kImage) {
        std::fprintf(stderr, "ovcg-print: %s: %s; nothing was printed\n", input_name, reader.error().c_str());
        return kExitInput;
    }
    std::string color_model, because;
    if (const std::string* given = find_option(options, "ColorModel")) {
        color_model = *given;
        for (const char* c : choice_names("ColorModel"))
            if (strcasecmp(c, given->c_str()) == 0) color_model = c;
        because = "as given";
    } else {
        const bool gray_image = read_input && reader.header().channels == 1;
        color_model = gray_image ? "Gray" : "RGB";
        because = gray_image ? "the first image is gray" : "the default";
        options.emplace_back("ColorModel", color_model);
    }

    int32_t r = ovcgSetResource(OVCG_RESOURCE_FILE, s.model.c_str());
    if (r != OVCG_OK) return library_failure("ovcgSetResource", r);

    if (s.page_info) {
        // The page's size comes from a job start: a probe job tells it, and
        // whether the model serves the options.
        if ((status = check_model(s.model, options)) != 0) return status;
        uint32_t width = 0, height = 0;
        if ((r = ovcgGetPageAttribute(OVCG_PAGE_WIDTH, &width)) != OVCG_OK ||
            (r = ovcgGetPageAttribute(OVCG_PAGE_HEIGHT, &height)) != OVCG_OK)
            return library_failure("ovcgGetPageAttribute", r);
        std::printf("width=%u height=%u ColorModel=%s\n", width, height, color_model.c_str());
        return end_text_output();
    }

    // One job: held until its first band is in, refused if it fails before.
    if ((status = set_options(options)) != 0) return status;
    Job job{reader, input_name, color_model, s.output};
    job.channels = gray_model(color_model) ? 1 : 3;
    g_held.on = true;
    Probe start;
    start.trouble = resource_trouble(catching_messages([&] { start.why = start_job(job); }));
    if (g_out.error == ENOMEM) throw std::bad_alloc();
    if (start.why.empty()) {
        std::fprintf(stderr, "ovcg-print: printing with ColorModel=%s (%s)\n", color_model.c_str(), because.c_str());
        if ((status = print_pages(job)) != kRefused) return status;
        start.why = g_held.refused;
    }
    return refuse_options(s.model, options, start);
}

// The tool's own memory ran out (a page's line, the job's start held in
// memory): the job is ended with nothing more written and the output is
// dropped, as for a failed write; exit 1, as when the library runs out.
int out_of_memory() {
    g_held.on = false;
    g_out.error = ENOMEM;
    ovcgEndJob();
    std::fprintf(stderr, "ovcg-print: out of memory%s\n", discard_output().c_str());
    return kExitLibrary;
}

// A standard stream the caller closed is held by /dev/null opened the other
// way: no file the tool opens takes its number (the printer stream must not
// land where messages go), and writing to a closed standard output fails.
void hold_closed_standard_streams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        const int held = open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
        if (held > fd) {
            dup2(held, fd);
            close(held);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    hold_closed_standard_streams();
    track_standard_error();
    Settings s;
    int status = parse_args(argc, argv, s);
    if (status) return status;
    // Past a file-size limit, or into a pipe whose reader has gone, a write
    // fails (and the tool says so) instead of the process being killed, with
    // a partial file left behind or no word said.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);

    ovcg_callbacks cb{};
    cb.allocate = tool_allocate;
    cb.release = tool_release;
    for (void*& slot : cb.reserved) slot = reinterpret_cast<void*>(&tool_unused);
    int32_t r = ovcgInitialize("", &cb);
    if (r != OVCG_OK) return library_failure("ovcgInitialize", r);
    if (s.help) {
        print_help();
        status = end_text_output();
    } else {
        try {
            status = run(s);
        } catch (const std::bad_alloc&) {
            status = out_of_memory();
        }
    }
    ovcgRelease();
    return status;
}
