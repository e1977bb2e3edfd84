// Print options: the option and choice tables, the caller's stored choices,
// the default job and halftone records, and the translation of the stored
// choices into those records and the page information at job start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "frontend/custom_size.h"
#include "ovcg/ovcg_records.h"

namespace ovcg::frontend {

// The page information of the front-end context.
struct ovcg_page_info {
    uint32_t word[12];
    // 1 when the page has a custom size (kept apart from the twelve words
    // the callers know).
    uint32_t custom_size;
};
inline constexpr int kPagePrintWidth = 0;   // printable width, source pixels
inline constexpr int kPagePrintHeight = 1;  // printable height, source lines
inline constexpr int kPageWidth = 2;        // width reported to the caller
inline constexpr int kPageHeight = 3;       // height reported to the caller
inline constexpr int kPageSkipLines = 4;    // leading lines the raster writer skips
inline constexpr int kPageFlag0 = 5;        // page flags, 0 in this system
inline constexpr int kPageFlag1 = 6;
inline constexpr int kPageCounter = 7;      // number of the page about to start

// A row of a choice table. Names match without regard to case.
struct ww_choice {
    const char* name;
    int32_t value;
};

// A row of the paper-size table: sizes in dots at 300 dpi (-1 for custom).
struct ww_paper_size {
    int32_t paper;
    int32_t unused;
    int32_t width;
    int32_t height;
};

// A row of the media resolution table.
struct ww_resource_parameter {
    int32_t key;  // media value (or its gray-mode replacement)
    int32_t src_x, src_y;
    int32_t prt_x, prt_y;
    uint32_t mode;  // bits of mw_type (MW, SP, HS)
    int32_t bits_per_color;
    int32_t gray;   // 1: the media prints gray jobs with colour inks
};

inline constexpr int32_t kUnset = -1;
inline constexpr int32_t kCustomPaper = 256;
// The mode-word bits the media table owns.
inline constexpr uint32_t kMediaModeBits = OVCG_MW_MW | OVCG_MW_SP | OVCG_MW_HS;

std::span<const ww_choice> ww_MediaType();
std::span<const ww_choice> ww_ColorModel();
std::span<const ww_choice> ww_HighSpeed();
std::span<const ww_choice> ww_Mode();
std::span<const ww_choice> ww_PageSize();
std::span<const ww_choice> ww_AutoCut();
std::span<const ww_choice> ww_Density();
std::span<const ww_paper_size> TablePaperSize();
std::span<const ww_resource_parameter> TableResourceParameter();

// Getters: the value of a choice, or kUnset for a null or unknown choice.
int32_t ww_get_choice_value(std::span<const ww_choice> table, const char* choice);
// Paper choices: "A4" means "A4_Roll"; "custom.<w>x<h><unit>" (unit "in",
// "cm", "mm", else points) stores a custom size and gives kCustomPaper.
int32_t ww_get_PageSize(const char* choice);

// Row lookups; null when absent.
const ww_paper_size* ww_find_paper(int32_t paper);
const ww_resource_parameter* ww_find_resource_parameter(int32_t key);

// The custom size in dots at 300 dpi (process-wide).
uint32_t ww_custom_width();
uint32_t ww_custom_height();

// Conversion failures of the option handler.
inline constexpr int32_t kConvertFailed = -1000;
inline constexpr int32_t kConvertNoMemory = -1001;

// The option-handler interface the front end calls through.
struct optionHandlerInterface {
    int32_t (*Init)();
    int32_t (*InitPrintParam)(tagPRTSTRUCT3_12* job, tagHTSTRUCT3_5* ht, ovcg_page_info* page);
    int32_t (*FreePrintParam)(tagPRTSTRUCT3_12* job, tagHTSTRUCT3_5* ht, ovcg_page_info* page);
    // 0, kConvertFailed (an option that cannot be applied), kConvertNoMemory.
    int32_t (*ConvertPrintParam)(tagPRTSTRUCT3_12* job, tagHTSTRUCT3_5* ht, ovcg_page_info* page);
    int32_t (*GetOptionList)(uint32_t* count, const char** names);
    int32_t (*GetChoiceList)(const char* option, uint32_t* count, const char** names);
    int32_t (*SetOptionChoiceByOrder)(const char* option, const char* choice);
};

// The handler for a model (every model, the empty name included, has the same).
const optionHandlerInterface* ww_option_handler(const char* model);

// A conversion handler: (stored value, records, page information) -> 0 or a failure.
using ww_param_handler = int32_t (*)(int32_t value, tagPRTSTRUCT3_12* job, tagHTSTRUCT3_5* ht,
                                     ovcg_page_info* page);
int32_t ww_check_and_set_MediaType(int32_t v, tagPRTSTRUCT3_12*, tagHTSTRUCT3_5*, ovcg_page_info*);
int32_t ww_check_and_set_ColorModel(int32_t v, tagPRTSTRUCT3_12*, tagHTSTRUCT3_5*, ovcg_page_info*);
int32_t ww_check_and_set_HighSpeed(int32_t v, tagPRTSTRUCT3_12*, tagHTSTRUCT3_5*, ovcg_page_info*);
int32_t ww_check_and_set_Mode(int32_t v, tagPRTSTRUCT3_12*, tagHTSTRUCT3_5*, ovcg_page_info*);
int32_t ww_check_and_set_PageSize(int32_t v, tagPRTSTRUCT3_12*, tagHTSTRUCT3_5*, ovcg_page_info*);
int32_t ww_check_and_set_AutoCut(int32_t v, tagPRTSTRUCT3_12*, tagHTSTRUCT3_5*, ovcg_page_info*);
int32_t ww_check_and_set_BlackDensity(int32_t v, tagPRTSTRUCT3_12*, tagHTSTRUCT3_5*, ovcg_page_info*);
int32_t ww_check_and_set_ColorDensity(int32_t v, tagPRTSTRUCT3_12*, tagHTSTRUCT3_5*, ovcg_page_info*);

// The stored value of an option of the application order (kUnset when unset
// or when the name is not one of them).
int32_t ww_stored_value(const char* option);
// Forgets every stored choice and the custom size; for a process's own tests.
void ww_clear_choices_for_tests();

}  // namespace ovcg::frontend
