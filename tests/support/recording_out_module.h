// A recording output module: stands in for the head-control side of a
// level-2 job behind COutModule.
//
// Every run is recorded with its count, position and width and, for raster
// runs, a copy of each raster's colour rows (colours x row_bytes bytes, the
// colours `width` bytes apart, as the head-control adapter reads them). The
// rasters are also assembled into a page by position (a later run at the same
// position replaces the earlier one), so two runs of a band path compare
// whole pages. The head-control queries of the upper skip answer from the
// configuration, and every call can be made to fail.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "engine/out_module.h"

namespace ovcg_test {

class RecordingOutModule : public COutModule {
public:
    struct Run {
        bool empty = false;
        unsigned count = 0;
        unsigned position = 0;
        unsigned width = 0;
        std::vector<const unsigned char*> pointers;  // the raster pointers given
        std::vector<std::vector<uint8_t>> rasters;   // per raster: colours x row_bytes bytes
    };
    // One row of a run: its page position and, for a raster, its bytes.
    struct Row {
        unsigned position = 0;
        bool empty = false;
        std::vector<uint8_t> bytes;
        bool operator==(const Row&) const = default;
    };

    RecordingOutModule(unsigned colours, unsigned rowBytes) : colours_(colours), row_bytes_(rowBytes) {}

    int RasterOut(unsigned int count, unsigned int position, unsigned char** lines, unsigned int width) override;
    int EmptyRasterOut(unsigned int count, unsigned int position) override;
    int GetSwitchingPosition(int* out, int capacity) override;
    int GetMinimumLength(int* out) override;
    int SetSkipLength(int skipped) override;

    // Answers of the queries.
    std::vector<int> switching_positions;  // empty: the record is left as given
    int minimum_length = 0x7FFFFFFF;
    // Results (0: success). raster_fail_at: the n-th run (1-based, raster and
    // empty runs counted together) fails with raster_fail_code.
    int switching_result = 0;
    int minimum_result = 0;
    int skip_result = 0;
    size_t raster_fail_at = 0;
    int raster_fail_code = 0;

    const std::vector<Run>& runs() const { return runs_; }
    // Raster runs only, and the rows they carried.
    std::vector<Run> raster_runs() const;
    unsigned rasters_sent() const;
    // Every run split into rows, in the order they came (so that two band
    // paths that group rows into runs differently compare).
    std::vector<Row> rows() const;
    // The assembled page: position -> colours x row_bytes bytes.
    const std::map<unsigned, std::vector<uint8_t>>& page() const { return page_; }
    const std::vector<int>& skip_lengths() const { return skip_lengths_; }
    int switching_queries() const { return switching_queries_; }
    int minimum_queries() const { return minimum_queries_; }
    std::vector<int> switching_capacities() const { return switching_capacities_; }

private:
    int Next();

    unsigned colours_;
    unsigned row_bytes_;
    std::vector<Run> runs_;
    std::map<unsigned, std::vector<uint8_t>> page_;
    std::vector<int> skip_lengths_;
    std::vector<int> switching_capacities_;
    int switching_queries_ = 0;
    int minimum_queries_ = 0;
};

}  // namespace ovcg_test
