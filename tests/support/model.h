// The synthetic test model: one made-up, self-consistent printer model from
// which every resource of the model file is written. Each resource kind has a
// writer (model_*.cpp); build_model() puts them all in one .RES container.
// Tests build the default model, change the description or break a resource
// on purpose, and load the result.
#pragma once

#include "support/model_head_control.h"
#include "support/res_writer.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ovcg_test {

// Resource types of the model file.
inline constexpr uint16_t kResTypeHalftone = 2000;     // halftone engine data (identifier + 100)
inline constexpr uint16_t kResTypeLink = 3000;         // print-mode link tables
inline constexpr uint16_t kResTypeHeadControl = 4000;  // head-control engine data

// One way the driver prints a media: its printer resolution and bits per
// dot. Each gets a print mode of its own in every resource type: a halftone
// index row (sub-type kModelDriverSubType), a media-class row of the link
// tables, and a head-control mode with its encoder.
struct ModelDriverPrint {
    int32_t x, y;   // printer resolution, dpi
    uint16_t bits;  // bits per dot
    bool operator==(const ModelDriverPrint&) const = default;
};

struct ModelMedia {
    uint16_t number;       // media number (media_type of the job record)
    std::string name;      // for readers of the tests only
    bool roll;             // roll media, else cut sheet
    // The print mode's attribute flags (keys 12002 high byte, 12003 low
    // byte); bit 1 lets a job with the CL mode bit use object attributes.
    uint16_t attribute_flags = 1;
    // The page's halftone type its print mode gives (key 11033): 3 ordered
    // dither, 5 hybrid error diffusion, 6 the same on the per-channel path;
    // 0xFFFF: not given (the job's own), except in the driver's settings,
    // which give 3. The driver's job carries no halftone type the engine
    // knows: the print mode decides (gray pages take 3 from the page table).
    uint16_t halftone_type = 0xFFFF;
    // The halftone engine's media number (key 10000, the index's media
    // list); 0: the media number + 1.
    uint16_t calibration_id = 0;
    // The settings the driver prints this media with (none: the media serves
    // the tests' print modes only).
    std::vector<ModelDriverPrint> driver = {};
    // Whether the tests' print modes (model_print_modes) cover the media too.
    bool test_modes = true;
    // The print mode's flag word asks the engine to count the page's dots
    // (bit 27, key 11006 bit 3).
    bool dot_counting = false;
};

// The sub-type (key 11014) of the driver's print modes, which keeps their
// index rows apart from the tests' print modes of the same media.
inline constexpr uint32_t kModelDriverSubType = 3;

struct ModelResolution {
    int32_t x, y;  // dpi
};

struct ModelInkSet {
    int32_t prt_format;        // printer ink format of the job record
    std::vector<char> inks;    // one letter per ink plane, in plane order
};

struct ModelHead {
    int32_t nozzles_per_row;   // nozzles of one colour row
    int32_t nozzle_pitch_dpi;  // vertical nozzle density
    int32_t rows;              // colour rows on the head
};

// The print-mode link tables (type 3000). Most of their content follows from
// the media, resolutions and ink sets; these are the rest.
struct ModelLinks {
    // Printer formats a caller may send that the model prints with one of its
    // ink sets: {format sent, prt_format of the ink set}.
    std::vector<std::pair<int32_t, int32_t>> format_aliases;
    uint16_t ink_id;          // ink identifier of the model's ink
    uint16_t sn04_length;     // SN 04H payload bytes (checksum included)
    // The ink weights of plane p (types 12901, 12902): base x (p + 1) plus
    // the dot size (0..2); values from 20001 on name other link tables, so
    // at most 3000 for six planes.
    uint16_t ink_weight_base = 100;
};

struct ModelDescription {
    uint16_t printer_id;
    std::string name;
    std::vector<ModelMedia> media;
    std::vector<ModelResolution> resolutions;
    std::vector<ModelInkSet> ink_sets;
    ModelHead head;
    ModelLinks links;
    ModelHeadControl head_control;  // the model resource of the head-control engine
};

// The made-up printer that the default model file describes.
ModelDescription default_model();

// Every resource of the model, written from the description.
ResWriter build_model(const ModelDescription& model);

}  // namespace ovcg_test
