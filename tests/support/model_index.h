// Writer of the halftone engine's print-mode index text, and the model's set
// of halftone resources: the index, whose rows derive from the model
// description, and the LUT, SML, rate and configuration resources its rows
// name (beside the dither resources of model_dither.h).
#pragma once

#include "support/model.h"
#include "support/model_lut.h"
#include "support/res_writer.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ovcg_test {

// The column names the engine knows, in their usual order.
extern const std::vector<std::string> kIndexColumns;

struct IndexTextSpec {
    std::vector<std::string> preamble;      // lines before the header
    std::string header = "//1";
    std::string comment = "print modes";    // the line after the header
    std::vector<std::string> columns = kIndexColumns;
    // Cells by column name; a column without a cell is written "-".
    std::vector<std::map<std::string, std::string>> rows;
    std::string rows_end = "//";
    std::vector<std::string> halftones;
    std::string media_base;                 // first entry of the media list; "" none
    std::vector<std::string> media;
    size_t media_per_line = 0;              // > 0: "@" after so many names, then a new line
    bool blank_before_at = false;
    std::vector<std::string> doc_a, doc_b;
    std::vector<std::string> trailer;       // lines after the DocType lists
    std::string eol = "\r\n";
};
std::string write_index_text(const IndexTextSpec& recipe);
Bytes text_bytes(const std::string& text);

// Engine identifiers of the model's halftone resources (stored as type 2000
// with identifier + 100).
inline constexpr uint16_t kModelIndexId = 0;
inline constexpr uint16_t kModelLut3dId = 10;       // + resolution index: 3D colour and mono
inline constexpr uint16_t kModelLut4dId = 20;       // 4D colour and mono (sub-type 1)
inline constexpr uint16_t kModelLut3dAltId = 15;    // + resolution index: 3D colour of the second document type
inline constexpr uint16_t kModelLutTnmxId = 30;     // monochrome photo (document type 7)
inline constexpr uint16_t kModelLutTnmx6Id = 31;    // monochrome photo of the six-ink set (sub-type 2)
inline constexpr uint16_t kModelLutCorrectionId = 70;  // + document type: the driver's colour corrections
inline constexpr uint16_t kModelSmlColourId = 40;   // + output bits
inline constexpr uint16_t kModelSmlMonoId = 50;     // + output bits
inline constexpr uint16_t kModelRateId = 60;        // named by the rows of output bits 2
inline constexpr uint16_t kModelCfgId = 991;
// Double gammas the index checks and the LUTs and SMLs carry.
inline constexpr uint16_t kModelColourDbg0 = 120, kModelColourDbg255 = 100;
inline constexpr uint16_t kModelMonoDbg0 = 110, kModelMonoDbg255 = 100;
inline constexpr uint32_t kModelTnmxDocType = 7;
// A document type whose rows name other 3D colour tables: a job gets a
// second intent from it.
inline constexpr uint32_t kModelSecondDocType = 1;
// The document types the driver's print modes have rows for beyond 0, each
// with colour tables of its own (kModelLutCorrectionId + type): the engine's
// document types of the front end's colour modes as the model's page tables
// map them (Standard 2; NoCMM 4; c-BIZ 0 with 2 as second; CAD 5 with 2 as
// second; GIS 11), at the media's colour halftone type, and the gray pages'
// type 13 at halftone type 3.
inline constexpr uint32_t kModelDriverColourDocTypes[] = {2, 4, 5, 11};
inline constexpr uint32_t kModelGrayDocType = 13;

// Print modes whose masks are 32 wide (four distinct plain masks for halftone
// type 3, UBEC masks for 5, two areas for 6) with offsets of no vertical part.
inline constexpr uint32_t kModelNarrowSubType = 2;

// One print mode of the model: the query words the engine is given.
struct ModelPrintMode {
    uint32_t media;  // the paper table's calibration identifier
    uint32_t doc_type, sub_type, ht_type, h_res, v_res, out_bits;
};
// What the row of a print mode names (0xFFFFFFFF: nothing).
struct ModelModeResources {
    uint32_t lut, sml_colour, sml_mono, rate, dither, dither_offset;
    std::string micro;
};
// Every print mode the model's index holds: each media, resolution, output
// bits 1 and 2 and halftone type 3, 5 and 6, with document type 0 and
// sub-type 0, document type 7, and sub-type 1; then on sub-type 2 document
// types 0, 1 and 7.
std::vector<ModelPrintMode> model_print_modes(const ModelDescription& model);
// The driver's print modes: each media's driver settings (ModelMedia::driver)
// with sub-type kModelDriverSubType: document type 0 at halftone type 3 and
// at the media's own halftone type (colour pages), then the colour document
// types at the media's own halftone type and the gray document type at 3.
std::vector<ModelPrintMode> model_driver_print_modes(const ModelDescription& model);
// The print modes of the index's rows, in its order: the test modes, then
// the driver's.
std::vector<ModelPrintMode> model_index_modes(const ModelDescription& model);
ModelModeResources model_mode_resources(const ModelDescription& model, const ModelPrintMode& mode);
IndexTextSpec model_index(const ModelDescription& model);

// The ink set the colour tables serve (the one the front end's colour format
// prints with), and ink codes of the model's ink sets.
int32_t model_colour_ink_set(const ModelDescription& model);
std::vector<uint8_t> model_output_codes(const ModelDescription& model, int32_t ink_set);
std::vector<uint8_t> model_lut_codes(int32_t ink_set);
// The output codes of every colour ink set, each once.
std::vector<uint8_t> model_colour_codes(const ModelDescription& model);

// The colour tables of a driver document type: the 3D tables of the first
// resolution with every ink, the gray ramp and the mono table scaled down
// by a step of its own.
LutSpec model_lut_correction(const ModelDescription& model, uint32_t doc_type);

// Adds the index, LUT, SML, rate and configuration resources.
void add_model_halftone(ResWriter& writer, const ModelDescription& model);

}  // namespace ovcg_test
