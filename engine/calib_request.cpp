#include "engine/calib_request.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>

extern char** environ;

namespace ovcg {
namespace {

std::mutex g_keptMutex;
std::string g_keptPrinter;
std::string g_keptDirectory;

}  // namespace

int32_t MapCalibExitStatus(int status) {
    switch (status) {
        case 0: return 0;
        case 1: return -10001;
        case 3: return -10003;
        case 4: return -10004;
        case 5: return -10005;
        case 6: return -10006;
        case 7: return -10007;
        case 11: return -10011;
        case 100: return -10005;
        case 127: return kCalibNotStarted;
        case 10000: return kCalibFailed;
        default: return 0;
    }
}

int32_t RunCalibProgram(const char* tool_dir, const char* program, const char* printer, const char* directory,
                        int* exit_status) {
    *exit_status = -1;
    if (!program || !printer || !directory) return kCalibFailed;
    std::string path;
    const bool searchPath = !tool_dir || tool_dir[0] == '\0';
    if (searchPath) {
        path = program;
    } else {
        path = tool_dir;
        path += '/';
        path += program;
    }
    // The caller's strings are handed over as separate arguments: nothing in
    // them is ever interpreted by a shell.
    std::string a1 = printer, a2 = directory, a3 = "-c";
    char* argv[] = {path.data(), a1.data(), a2.data(), a3.data(), nullptr};

    pid_t pid = 0;
    const int err = searchPath ? posix_spawnp(&pid, path.c_str(), nullptr, nullptr, argv, environ)
                               : posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ);
    if (err != 0) return kCalibNotStarted;

    int status = 0;
    for (;;) {
        const pid_t w = waitpid(pid, &status, 0);
        if (w == pid) break;
        if (w < 0 && errno == EINTR) continue;
        return kCalibFailed;
    }
    if (!WIFEXITED(status)) return kCalibFailed;
    *exit_status = WEXITSTATUS(status);
    return MapCalibExitStatus(*exit_status);
}

void KeptCalibTarget(std::string* printer, std::string* directory) {
    std::lock_guard<std::mutex> lock(g_keptMutex);
    *printer = g_keptPrinter;
    *directory = g_keptDirectory;
}

void SetKeptCalibTarget(const char* printer, const char* directory) {
    std::lock_guard<std::mutex> lock(g_keptMutex);
    g_keptPrinter = printer ? printer : "";
    g_keptDirectory = directory ? directory : "";
}

}  // namespace ovcg
