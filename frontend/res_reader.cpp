// Resource-file reader.
//
// The file is indexed once per job and re-opened for every fetch (resources
// are fetched a few times per job, so no handle is kept). Nothing read from
// the file is trusted: every record header is checked against the file's size
// before it is used, so a damaged file ends the index early instead of sending
// the reader (or an allocation) past the end of the file.
#include "frontend/res_reader.h"

#include "common/byte_cursor.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace ovcg {
namespace {

constexpr uint64_t kLeadingEntry = 32;  // the empty entry every .RES file starts with
constexpr uint32_t kMinHeader = 32;     // a header with numeric type and identifier

struct ResIndex {
    bool loaded = false;
    char path[kResPathMax + 1] = {};
    std::vector<ResIndexEntry> nodes;
};

std::mutex g_lock;
ResIndex g_index;

void message(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void message(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(stderr, fmt, ap);
    va_end(ap);
    std::fflush(stderr);
}

// Reads exactly n bytes at offset; returns the count read (short only at the
// end of the file or on an error).
size_t read_at(int fd, void* buf, size_t n, uint64_t offset) {
    size_t done = 0;
    auto* p = static_cast<uint8_t*>(buf);
    while (done < n) {
        ssize_t r = ::pread(fd, p + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (r == 0) break;
        done += static_cast<size_t>(r);
    }
    return done;
}

// Drops every node. The path stays: a fetch after a failed load or an unload
// still opens the file and reports the resource it cannot locate.
void drop_nodes(ResIndex& index) {
    index.loaded = false;
    std::vector<ResIndexEntry>().swap(index.nodes);
}

void clear_index(ResIndex& index) {
    drop_nodes(index);
    index.path[0] = '\0';
}

int load(const char* path) {
    clear_index(g_index);
    if (!path) {
        message("RES MGR : Failed to open Res File %s\n", "(null)");
        return -1;
    }
    const size_t len = std::strlen(path);
    if (len > kResPathMax) {
        // The index keeps the path to re-open the file on every fetch; a
        // path cut short would name another file, so it is refused whole.
        message("RES MGR : Failed to open Res File %s\n", path);
        return -1;
    }
    std::memcpy(g_index.path, path, len + 1);

    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        message("RES MGR : Failed to open Res File %s\n", path);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size < 0) {
        ::close(fd);
        message("RES MGR : Failed to open Res File %s\n", path);
        return -1;
    }
    const uint64_t file_size = static_cast<uint64_t>(st.st_size);

    try {
        uint64_t pos = kLeadingEntry;
        for (;;) {
            uint8_t head[kMinHeader];
            if (pos > file_size || file_size - pos < kMinHeader ||
                read_at(fd, head, kMinHeader, pos) != kMinHeader) {
                break;  // end of file or a short tail
            }
            ByteCursor c(head, sizeof head);
            const uint32_t data_size = c.u32le();
            const uint32_t header_size = c.u32le();
            const uint16_t type_marker = c.u16le();
            const uint16_t type = c.u16le();
            const uint16_t name_marker = c.u16le();
            const uint16_t id = c.u16le();
            // A record must have at least a full header and must lie inside
            // the file; anything else ends the index.
            if (header_size < kMinHeader) break;
            const uint64_t data_pos = pos + header_size;
            if (data_pos > file_size || file_size - data_pos < data_size) break;
            // Only numeric type and numeric identifier are indexed; a
            // string-named record is stepped over.
            if (type_marker == 0xFFFF && name_marker == 0xFFFF) {
                g_index.nodes.push_back(ResIndexEntry{id, type, data_pos, data_size});
            }
            const uint64_t span = uint64_t(header_size) + data_size;
            pos += span + ((4 - span % 4) % 4);
        }
    } catch (const std::bad_alloc&) {
        ::close(fd);
        message("RES MGR : Low Mem...Bailing out");
        drop_nodes(g_index);
        return -2;
    }
    ::close(fd);
    g_index.loaded = true;
    return 0;
}

void* fetch(int id_in, int type_in, uint32_t* size_out) {
    if (size_out) *size_out = 0;
    const uint16_t id = static_cast<uint16_t>(id_in);
    const uint16_t type = static_cast<uint16_t>(type_in);

    const int fd = g_index.path[0] ? ::open(g_index.path, O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0) {
        message("RES MGR : FR - Failed to open %s\n", g_index.path);
        return nullptr;
    }
    const ResIndexEntry* hit = nullptr;
    for (const auto& n : g_index.nodes) {
        if (n.id == id && n.type == type) {
            hit = &n;
            break;
        }
    }
    if (!hit) {
        ::close(fd);
        message("RES MGR : Failed to locate [%d, %d]\n", int(type), int(id));
        return nullptr;
    }
    // A zero-size resource is fetched as an empty (but valid) buffer.
    void* buf = std::calloc(hit->size ? hit->size : 1, 1);
    if (!buf) {
        ::close(fd);
        message("RES MGR : Low Mem...Bailing out");
        return nullptr;
    }
    const size_t got = read_at(fd, buf, hit->size, hit->offset);
    ::close(fd);
    if (got != hit->size) {
        std::free(buf);
        message("RES MGR : FR - Could not read %d bytes (%d bytes read) [%d], [%d]\n", int(hit->size),
                int(got), int(type), int(id));
        return nullptr;
    }
    if (size_out) *size_out = static_cast<uint32_t>(got);
    return buf;
}

}  // namespace

std::vector<ResIndexEntry> res_index_entries() {
    std::lock_guard<std::mutex> lock(g_lock);
    return g_index.nodes;
}

}  // namespace ovcg

using ovcg::g_index;
using ovcg::g_lock;

OVCG_API int ovs_resLoadFile(const char* path) {
    std::lock_guard<std::mutex> lock(g_lock);
    return ovcg::load(path);
}

OVCG_API int ovs_resUnLoadFile(void) {
    std::lock_guard<std::mutex> lock(g_lock);
    ovcg::drop_nodes(g_index);
    return 0;
}

OVCG_API void* ovs_FindResource(int id, int type) {
    std::lock_guard<std::mutex> lock(g_lock);
    return ovcg::fetch(id, type, nullptr);
}

OVCG_API void* ovs_GetResource(int id, int type, uint32_t* size) {
    std::lock_guard<std::mutex> lock(g_lock);
    return ovcg::fetch(id, type, size);
}

OVCG_API int ovs_FreeResource(void* buffer) {
    std::free(buffer);
    return 0;
}

OVCG_API void* ovs_LoadResource(void*, void* resource) { return resource; }

OVCG_API void* ovs_LockResource(void* resource) { return resource; }

OVCG_API void GetLocalTime(OVS_SYSTEMTIME* t) {
    if (!t) return;
    const std::time_t now = std::time(nullptr);
    std::tm tm {};
    localtime_r(&now, &tm);
    t->wYear = static_cast<uint16_t>(tm.tm_year + 1900);
    t->wMonth = static_cast<uint16_t>(tm.tm_mon + 1);
    t->wDayOfWeek = static_cast<uint16_t>(tm.tm_wday);
    t->wDay = static_cast<uint16_t>(tm.tm_mday);
    t->wHour = static_cast<uint16_t>(tm.tm_hour);
    t->wMinute = static_cast<uint16_t>(tm.tm_min);
    t->wSecond = static_cast<uint16_t>(tm.tm_sec);
    t->wMilliseconds = 0;
}
