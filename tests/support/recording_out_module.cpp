#include "support/recording_out_module.h"

#include <gtest/gtest.h>

namespace ovcg_test {

int RecordingOutModule::Next() {
    return raster_fail_at != 0 && runs_.size() == raster_fail_at ? raster_fail_code : 0;
}

int RecordingOutModule::RasterOut(unsigned int count, unsigned int position, unsigned char** lines,
                                  unsigned int width) {
    Run run;
    run.count = count;
    run.position = position;
    run.width = width;
    EXPECT_NE(lines, nullptr);
    for (unsigned j = 0; lines && j < count; ++j) {
        run.pointers.push_back(lines[j]);
        std::vector<uint8_t> raster;
        for (unsigned k = 0; k < colours_; ++k) {
            const unsigned char* row = lines[j] + size_t{k} * width;
            raster.insert(raster.end(), row, row + row_bytes_);
        }
        page_[position + j] = raster;
        run.rasters.push_back(std::move(raster));
    }
    runs_.push_back(std::move(run));
    return Next();
}

int RecordingOutModule::EmptyRasterOut(unsigned int count, unsigned int position) {
    Run run;
    run.empty = true;
    run.count = count;
    run.position = position;
    runs_.push_back(std::move(run));
    return Next();
}

int RecordingOutModule::GetSwitchingPosition(int* out, int capacity) {
    ++switching_queries_;
    switching_capacities_.push_back(capacity);
    if (switching_result) return switching_result;
    if (!out || capacity < 1 || switching_positions.empty()) return 0;
    const int n = std::min(static_cast<int>(switching_positions.size()), capacity - 1);
    out[0] = n;
    for (int i = 0; i < n; ++i) out[1 + i] = switching_positions[static_cast<size_t>(i)];
    return 0;
}

int RecordingOutModule::GetMinimumLength(int* out) {
    ++minimum_queries_;
    if (out) *out = minimum_length;
    return minimum_result;
}

int RecordingOutModule::SetSkipLength(int skipped) {
    skip_lengths_.push_back(skipped);
    return skip_result;
}

std::vector<RecordingOutModule::Run> RecordingOutModule::raster_runs() const {
    std::vector<Run> out;
    for (const Run& r : runs_)
        if (!r.empty) out.push_back(r);
    return out;
}

unsigned RecordingOutModule::rasters_sent() const {
    unsigned n = 0;
    for (const Run& r : runs_)
        if (!r.empty) n += r.count;
    return n;
}

std::vector<RecordingOutModule::Row> RecordingOutModule::rows() const {
    std::vector<Row> out;
    for (const Run& r : runs_)
        for (unsigned j = 0; j < r.count; ++j)
            out.push_back(Row{r.position + j, r.empty, j < r.rasters.size() ? r.rasters[j] : std::vector<uint8_t>{}});
    return out;
}

}  // namespace ovcg_test
