// A virtual printer for tests: reads a level-2 command stream back into the
// dots it prints, from a description of the printer's head that the test
// gives (never from the engine's code).
//
// The stream is first checked by the stream validator (ValidateStream), so
// the printer accepts exactly what the validator parses; of its commands it
// acts on these:
//   FF                 ends the page: the next one starts at V = start, H = 0
//   CR                 H = 0; required after each raster command before the
//                      next raster command, feed or page end
//   ESC ( v            V += the signed feed (parameter bytes 0-3)
//   ESC ( $            H = the u32 position
//   ESC ( c            the page format (two u16 or two u32), recorded
//   ESC ( U, ESC ( D   the units (5-byte form: P V H u16 base) and the raster
//                      resolution (u16 base, vertical and horizontal steps),
//                      recorded as base and steps
//   ESC i              a raster command, single-line (9-byte header, data
//                      plain or one run-length row per line) or multi-line
//                      (14-byte header with block index and data length)
// Everything else is passed over.
//
// Placement: the command's colour (and, in the multi-line form, its block
// index) names a line map {canvas, offset, pitch}; line k of the command
// prints at raster V + offset + k x pitch, and its dot q (bits-per-dot bits
// from the most significant end of its bytes) at H + step x q. A dot whose
// bits meet bits already printed at that place is counted as printed twice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace ovcg_test {

struct VpLineMap {
    int canvas = 0;      // which page plane the command prints into
    int64_t offset = 0;  // rasters from V to the command's line 0
    int64_t pitch = 1;   // rasters between its lines
};

struct VpModel {
    int64_t start = 0;   // V at each page start
    int64_t step = 1;    // dots between neighbouring dots of a line
    int bits = 1;        // bits per dot: 1 or 2
    // By (colour, block index); single-line commands have block index 0. A
    // multi-line command whose block has no entry takes its colour's entry
    // of block 0.
    std::map<std::pair<uint8_t, uint8_t>, VpLineMap> lines;

    void add(uint8_t colour, VpLineMap map, uint8_t block = 0) { lines[{colour, block}] = map; }
};

// One plane of a page: dot values by raster, each row from dot 0.
struct VpPlane {
    std::map<int64_t, std::vector<uint8_t>> rows;

    // The cell of a dot (dot >= 0), made when absent.
    uint8_t& at(int64_t raster, int64_t dot);
    // The dot's value; 0 where nothing was printed.
    uint8_t get(int64_t raster, int64_t dot) const;
    // Every printed dot OR-ed in.
    void merge(const VpPlane& other);
};

// The plane a page's lines make: `lines[r]` is raster first + r, its dot d
// at `left` + d.
VpPlane plane_of(const std::vector<std::vector<uint8_t>>& lines, int64_t first, int64_t left, int bits);
// "" when equal, else the first place they differ.
std::string plane_difference(const VpPlane& printed, const VpPlane& expected);

struct VpCommand {
    size_t offset;       // in the stream
    uint8_t colour;
    uint8_t block;       // 0 in the single-line form
    uint8_t form;        // 0, 1, 4 or 5
    uint16_t bytesPerLine;
    uint16_t lines;
    int64_t v;           // V when it printed
    int64_t h;           // H when it printed
};

// A unit or resolution command: the base in steps per inch and the steps
// per dot of each axis (base / step is the resolution).
struct VpUnits {
    uint32_t base = 0;
    uint8_t vertical = 0, horizontal = 0;
};

struct VpPage {
    std::map<int, VpPlane> planes;
    std::vector<int32_t> feeds;            // every ESC ( v, zero feeds included
    std::vector<VpCommand> commands;
    std::vector<size_t> feedsBeforeCommand;  // per command: feeds since the previous one (or the page start)
    std::vector<std::pair<uint32_t, uint32_t>> pageFormats;  // ESC ( c
    std::vector<VpUnits> units;                              // ESC ( U
    std::vector<VpUnits> resolutions;                        // ESC ( D
    size_t twice = 0;                      // dots printed twice
    std::string firstTwice;
};

struct VpResult {
    bool ok = false;
    std::string error;
    size_t errorOffset = 0;
    std::vector<VpPage> pages;
};

VpResult RunVirtualPrinter(const VpModel& model, const uint8_t* data, size_t size);
inline VpResult RunVirtualPrinter(const VpModel& model, const std::vector<uint8_t>& data) {
    return RunVirtualPrinter(model, data.data(), data.size());
}

}  // namespace ovcg_test
