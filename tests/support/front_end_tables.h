// The front end's option tables as the option translation describes them,
// written out here independently of the library, so that tests can check
// what a choice should give against what the stream carries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ovcg_test {

// One media value (media number x 10 + quality digit) of the media
// resolution table.
struct FrontEndMedia {
    int value;
    int src_x, src_y;  // source resolution, dpi
    int prt_x, prt_y;  // printer resolution, dpi
    uint32_t mode;     // mode-word bits
    int bits;          // bits per colour
    bool gray;         // gray pages print with the colour inks
};
const std::vector<FrontEndMedia>& front_end_media();
// The row of a media value; null when the table has none.
const FrontEndMedia* front_end_media(int value);
// The media value a "Media<n>_Q<d>" choice names (n x 10 + d); -1 otherwise.
int media_choice_value(const std::string& choice);
// The media value Black2 prints a media value with (the gray modes of a
// sister media for a few of them), and the media number that goes with it.
int black2_media_value(int value);
int black2_media_number(int value);

// A paper of the paper-size table: its choice name (without the variant)
// and its size in dots at 300 dpi.
struct FrontEndPaper {
    const char* name;
    int width, height;
};
const std::vector<FrontEndPaper>& front_end_papers();

// The variant of a "<paper>_<variant>" choice and what it does to a page of
// W x H dots at 300 dpi: the printable height is H - height_cut, and the
// margin above the print area is margin_y.
struct FrontEndVariant {
    const char* name;
    int height_cut;
    int margin_y;
    bool borderless;
};
const std::vector<FrontEndVariant>& front_end_variants();

// A PageSize choice split into its paper and variant; false when either is
// unknown.
bool page_size_choice(const std::string& choice, FrontEndPaper& paper, FrontEndVariant& variant);

}  // namespace ovcg_test
