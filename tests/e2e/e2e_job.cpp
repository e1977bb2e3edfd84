#include "e2e_job.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "support/heap_counter.h"

namespace ovcg_e2e {

void Sink::reset(Fault f, int64_t n) {
    bytes.clear();
    size = 0;
    calls = 0;
    fault = f;
    at = n;
}

int32_t Sink::output(const uint8_t* data, int32_t length) {
    const int64_t call = calls++;
    if (length <= 0) return 0;
    int32_t n = length;
    switch (fault) {
        case Fault::kNone: break;
        case Fault::kFail:
            if (call == at) return -1;
            break;
        case Fault::kStall:
            if (call >= at) return 0;
            break;
        case Fault::kOverReport:
            if (call == at) {
                bytes.insert(bytes.end(), data, data + n);
                return n + 1;
            }
            break;
        case Fault::kTrickle: n = std::min<int32_t>(n, static_cast<int32_t>(at)); break;
    }
    // The job start's padding comes a byte a call, 65,534 calls a job: the
    // single byte goes the short way (a range insert costs far more in
    // unoptimised and sanitizer builds).
    if (keep && n == 1) bytes.push_back(*data);
    else if (keep) bytes.insert(bytes.end(), data, data + n);
    size += static_cast<uint64_t>(n);
    return n;
}

uint64_t process_allocated_bytes() { return ovcg_test::heap_bytes(); }

bool JobResult::codes_known() const {
    for (int32_t r : {start_job, start_page, raster, end_page, end_job})
        if (r != OVCG_OK && r != OVCG_ERR_ENGINE && r != OVCG_ERR_NO_MEMORY && r != OVCG_ERR_ARGUMENT)
            return false;
    return true;
}

int32_t JobResult::*JobResult::entry_of(int64_t call) const {
    int32_t JobResult::*result = &JobResult::start_job;
    for (const auto& [from, field] : entries)
        if (from <= call) result = field;
    return result;
}

std::string JobResult::describe() const {
    std::ostringstream s;
    s << "start_job " << start_job << ", start_page " << start_page << ", raster " << raster
      << ", end_page " << end_page << ", end_job " << end_job << ", page " << width << "x" << height
      << ", " << stream.size() << " bytes";
    return s.str();
}

void pattern_line(uint32_t y, uint8_t* line, size_t bytes) {
    // Smooth ramps with a few hard edges: every ink level and some white.
    for (size_t i = 0; i < bytes; ++i) {
        const uint32_t x = static_cast<uint32_t>(i);
        uint32_t v = (x * 3 + y * 5) & 0x1FF;
        if (v > 255) v = 511 - v;
        if (((x >> 5) ^ (y >> 4)) % 7 == 0) v = 255;
        line[i] = static_cast<uint8_t>(v);
    }
}

std::string default_model_path() { return OVCG_DEFAULT_MODEL_FILE; }

JobSpec reference_job(Ink ink) {
    JobSpec j;
    if (ink == Ink::kColour)
        j.options = {{"MediaType", "Media281_Q3"}, {"ColorModel", "RGB"}, {"PageSize", "custom.303x432"}};
    else
        j.options = {{"MediaType", "Media274_Q4"}, {"ColorModel", "Gray"}, {"PageSize", "custom.303x432"}};
    j.model = default_model_path();
    return j;
}

std::string job_key(const JobSpec& job) {
    std::ostringstream s;
    for (const auto& [n, c] : job.options) s << n << "=" << c << ";";
    s << job.model << ";" << job.pages << ";" << job.lines << ";" << job.line_bytes << ";" << job.end_in_page << ";"
      << job.abort_page << ";" << job.job_id;
    return s.str();
}

JobResult run_job(const JobSpec& recipe) {
    JobResult r;
    const auto enter = [&](int32_t JobResult::*result) {
        if (r.entries.empty() || r.entries.back().second != result) r.entries.push_back({Sink::calls, result});
    };
    // Every option is set: one left from an earlier job would change this
    // one. "-" names no choice: the option stays unset.
    static const std::pair<const char*, const char*> kDefaults[] = {
        {"MediaType", "-"},       {"ColorModel", "RGB"}, {"HighSpeed", "Off"},    {"Mode", "Standard"},
        {"PageSize", "-"},        {"AutoCut", "Off"},    {"BlackDensity", "100"}, {"ColorDensity", "100"}};
    for (const auto& [name, fallback] : kDefaults) {
        std::string choice = fallback;
        for (const auto& [n, c] : recipe.options)
            if (n == name) choice = c;
        ovcgSetPrintOption(name, choice.c_str());
        if (std::strcmp(name, "ColorModel") == 0) r.gray = choice == "Gray" || choice == "Black2";
    }
    if (int32_t e = ovcgSetResource(OVCG_RESOURCE_FILE, recipe.model.c_str())) {
        r.start_job = e;
        return r;
    }
    enter(&JobResult::start_job);
    r.start_job = ovcgStartJob(Sink::output, recipe.job_id.c_str());
    if (r.start_job != OVCG_OK) {
        r.stream = Sink::bytes;
        return r;
    }
    ovcgGetPageAttribute(OVCG_PAGE_WIDTH, &r.width);
    ovcgGetPageAttribute(OVCG_PAGE_HEIGHT, &r.height);
    const size_t bytes = recipe.line_bytes >= 0 ? static_cast<size_t>(recipe.line_bytes)
                                              : size_t{r.width} * (r.gray ? 1 : 3);
    const int64_t lines = recipe.lines >= 0 ? recipe.lines : int64_t{r.height};
    std::vector<uint8_t> line(std::max<size_t>(bytes, 1));
    for (int p = 0; p < recipe.pages; ++p) {
        enter(&JobResult::start_page);
        const int32_t s = ovcgStartPage();
        if (s != OVCG_OK) {
            if (!r.start_page) r.start_page = s;
            continue;
        }
        for (int64_t y = 0; y < lines; ++y) {
            pattern_line(static_cast<uint32_t>(y), line.data(), bytes);
            enter(&JobResult::raster);
            const int32_t e = ovcgRasterOut(line.data(), static_cast<int32_t>(bytes), 0);
            if (e != OVCG_OK) {
                if (!r.raster) r.raster = e;
                break;
            }
        }
        if (recipe.end_in_page && p + 1 == recipe.pages) break;
        enter(&JobResult::end_page);
        const int32_t e = ovcgEndPage(r.raster ? 1 : recipe.abort_page);
        if (e != OVCG_OK && !r.end_page) r.end_page = e;
    }
    enter(&JobResult::end_job);
    r.end_job = ovcgEndJob();
    r.stream = Sink::bytes;
    return r;
}

}  // namespace ovcg_e2e
