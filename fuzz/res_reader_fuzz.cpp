// Feeds arbitrary bytes to the resource-file reader as a .RES file, then
// fetches every resource it indexed.
#include "frontend/res_reader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static int fd = [] {
        int f = memfd_create("res", 0);
        if (f < 0) std::abort();
        return f;
    }();
    static std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) std::abort();
    if (ovs_resLoadFile(path.c_str()) == 0) {
        const auto entries = ovcg::res_index_entries();
        for (size_t i = 0; i < entries.size(); ++i) {
            const auto& e = entries[i];
            if (e.offset + e.size > size) std::abort();
            // The first entry with a key is the one a fetch returns.
            size_t first = 0;
            while (entries[first].id != e.id || entries[first].type != e.type) ++first;
            if (first != i) continue;
            uint32_t got = 0;
            void* p = ovs_GetResource(e.id, e.type, &got);
            if (!p || got != e.size) std::abort();
            ovs_FreeResource(p);
        }
    }
    ovs_resUnLoadFile();
    return 0;
}
