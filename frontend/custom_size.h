// Custom paper sizes: the text "<w>x<h><unit>" of a "custom." PageSize
// choice read as dots at 300 dpi, and the limits a size must keep.
//
// Header-only and free of library state, so that a caller outside the library
// (the print tool) reads a size exactly as the option handler does and can
// tell the user which limit a refused size breaks.
#pragma once

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace ovcg::frontend {

inline constexpr int32_t kCustomWidthMin = 1261, kCustomWidthMax = 12960;
inline constexpr int32_t kCustomHeightMin = 1800, kCustomHeightMax = 255118;
// Longest PageSize choice the getter accepts (a longer one is refused).
inline constexpr size_t kPaperChoiceMax = 255;

// A size in dots at 300 dpi; -1 for a length that is no size at all
// (negative, not a number, or far beyond any paper).
struct CustomSizeDots {
    int64_t width = -1;
    int64_t height = -1;

    bool fits() const {
        return width >= kCustomWidthMin && width <= kCustomWidthMax && height >= kCustomHeightMin &&
               height <= kCustomHeightMax;
    }
};

// Dots at 300 dpi for a length already scaled to dots, rounded.
inline int64_t custom_size_round(double dots) {
    const double d = dots + 0.5;
    if (!(d >= 0.0) || d > 1e9) return -1;
    return static_cast<int64_t>(d);
}

// Reads "<w>x<h><unit>" (the text after "custom."): the two numbers in any
// form a C float conversion reads (signs, exponents, leading blanks), the unit
// "in", "cm", "mm" or, for any other text, points of 1/72 inch. Case does not
// matter; text beyond kPaperChoiceMax characters is not read. False when the
// text holds no two numbers.
inline bool custom_size_dots(const char* size_text, CustomSizeDots* out) {
    char text[kPaperChoiceMax + 1];
    size_t n = 0;
    for (; size_text[n] && n < kPaperChoiceMax; ++n)
        text[n] = static_cast<char>(std::tolower(static_cast<unsigned char>(size_text[n])));
    text[n] = '\0';

    float w = 0, h = 0;
    int used = -1;
    if (std::sscanf(text, "%fx%f%n", &w, &h, &used) != 2) return false;
    const char* unit = used >= 0 ? text + used : text + n;
    // Each unit keeps its own order of operations: a size on a rounding edge
    // must give the same dots wherever it is read.
    const double wf = static_cast<double>(w), hf = static_cast<double>(h);
    if (std::strstr(unit, "in")) {
        out->width = custom_size_round(wf * 300);
        out->height = custom_size_round(hf * 300);
    } else if (std::strstr(unit, "cm")) {
        out->width = custom_size_round(wf * 0.3937 * 300);
        out->height = custom_size_round(hf * 0.3937 * 300);
    } else if (std::strstr(unit, "mm")) {
        out->width = custom_size_round(wf * 0.03937 * 300);
        out->height = custom_size_round(hf * 0.03937 * 300);
    } else {  // points of 1/72 inch
        out->width = custom_size_round(wf * 300 / 72);
        out->height = custom_size_round(hf * 300 / 72);
    }
    return true;
}

}  // namespace ovcg::frontend
