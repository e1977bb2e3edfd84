// A temporary directory for one test, removed with everything in it (links
// are removed, never followed).
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace ovcg_test {

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/ovcg_engine_XXXXXX";
        const char* made = mkdtemp(pattern);
        path_ = made ? made : "";
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }

    // Writes `text` to the file `name` in the directory; its full path.
    std::string write(const std::string& name, const std::string& text, bool executable = false) const {
        const std::string p = path_ + "/" + name;
        std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
        if (executable) chmod(p.c_str(), 0755);
        return p;
    }

private:
    std::string path_;
};

}  // namespace ovcg_test
