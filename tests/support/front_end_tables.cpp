#include "support/front_end_tables.h"

#include <cstdio>
#include <cstring>

namespace ovcg_test {

namespace {

// Rows of equal settings share a line, as the table lists them.
struct MediaGroup {
    int src_x, src_y, prt_x, prt_y;
    uint32_t mode;
    int bits;
    bool gray;
    std::vector<int> values;
};

const std::vector<MediaGroup>& media_groups() {
    static const std::vector<MediaGroup> groups = {
        {300, 300, 1200, 600, 5, 2, true, {2813, 2753, 2843, 3633, 3643, 3963, 4213}},
        {300, 300, 1200, 1200, 5, 2, true, {2814, 2754, 2844, 3634, 3644, 3964, 4214, 4264}},
        {300, 300, 2400, 1200, 5, 1, true, {2815, 2755, 2845, 3635, 3645, 3965, 4215, 4265}},
        {300, 300, 1200, 1200, 5, 2, false, {3064, 2744, 3185, 3304, 2794, 4224, 14, 2885, 4295, 4285, 4275}},
        {300, 300, 2400, 1200, 7, 2, false, {3065, 2745}},
        {300, 300, 1200, 600, 5, 2, false, {3184, 3303, 2793, 2884, 4294, 4284, 4274}},
        {300, 300, 600, 1200, 4, 2, false, {3302, 2792, 4223, 13}},
        {300, 300, 600, 600, 4, 2, false, {4221, 4222, 12}},
        {300, 300, 300, 600, 4, 2, false, {11, 3321, 4361}},
        {600, 600, 600, 600, 4, 2, false, {3341, 4231, 3322, 3331, 3941, 4251}},
        {600, 600, 600, 1200, 4, 2, false, {3342, 4232, 3323, 3332, 3942, 4252}},
        {1200, 1200, 1200, 1200, 5, 2, false, {3344, 4234, 3324, 3334, 4254}},
        {1200, 1200, 1200, 1200, 5, 1, false, {3944}},
        {600, 600, 600, 600, 5, 2, false, {4362}},
        {600, 600, 600, 1200, 5, 2, false, {4363}},
        {1200, 1200, 1200, 1200, 7, 2, false, {4364}},
    };
    return groups;
}

struct Swap {
    int from, to, media;
};
constexpr Swap kBlack2[] = {
    {12, 3322, 332},   {13, 3323, 332},   {14, 3324, 332},   {3302, 3341, 334}, {3303, 3342, 334},
    {3304, 3344, 334}, {4222, 4231, 423}, {4223, 4232, 423}, {4224, 4234, 423},
};

}  // namespace

const std::vector<FrontEndMedia>& front_end_media() {
    static const std::vector<FrontEndMedia> rows = [] {
        std::vector<FrontEndMedia> r;
        for (const MediaGroup& g : media_groups())
            for (int v : g.values) r.push_back({v, g.src_x, g.src_y, g.prt_x, g.prt_y, g.mode, g.bits, g.gray});
        return r;
    }();
    return rows;
}

const FrontEndMedia* front_end_media(int value) {
    for (const FrontEndMedia& m : front_end_media())
        if (m.value == value) return &m;
    return nullptr;
}

int media_choice_value(const std::string& choice) {
    int media = 0, quality = 0;
    char tail = 0;
    if (std::sscanf(choice.c_str(), "Media%d_Q%d%c", &media, &quality, &tail) != 2) return -1;
    return media * 10 + quality;
}

int black2_media_value(int value) {
    for (const Swap& s : kBlack2)
        if (s.from == value) return s.to;
    return value;
}

int black2_media_number(int value) {
    for (const Swap& s : kBlack2)
        if (s.from == value) return s.media;
    return value / 10;
}

const std::vector<FrontEndPaper>& front_end_papers() {
    static const std::vector<FrontEndPaper> papers = {
        {"A4", 2480, 3508},      {"A3", 3508, 4961},       {"A3Plus", 3886, 5705},  {"A2", 4961, 7016},
        {"A2Plus", 5103, 7205},  {"A1", 7016, 9933},       {"A1Plus", 7200, 10800}, {"A0", 9933, 14043},
        {"A0Plus", 10795, 15260}, {"Letter", 2550, 3300},  {"Legal", 2550, 4200},   {"USB", 3300, 5100},
        {"USC", 5100, 6600},     {"USD", 6600, 10200},     {"USE", 10200, 13200},   {"ARCHA", 2700, 3600},
        {"ARCHB", 3600, 5400},   {"ARCHC", 5400, 7200},    {"ARCHD", 7200, 10800},  {"ARCHE1", 9000, 12600},
        {"ARCHE", 10800, 14400}, {"ISOB4", 2953, 4169},    {"ISOB3", 4169, 5906},   {"ISOB2", 5906, 8350},
        {"ISOB1", 8350, 11811},  {"B5", 2150, 3035},       {"B4", 3035, 4299},      {"B3", 4299, 6083},
        {"B2", 6083, 8598},      {"B1", 8598, 12165},      {"24x30in", 7200, 9000}, {"30x40in", 9000, 12000},
        {"36x44in", 10800, 13200}, {"30x40cm", 3543, 4724}, {"40x60cm", 4724, 7087}, {"50x70cm", 5906, 8268},
        {"60x90cm", 7087, 10630}, {"70x100cm", 8268, 11811},
    };
    return papers;
}

const std::vector<FrontEndVariant>& front_end_variants() {
    static const std::vector<FrontEndVariant> variants = {
        {"Roll", 70, 35, false},      {"Sheet", 271, 35, false},     {"SheetC", 472, 236, false},
        {"RollNMgn", 0, 0, true},     {"SheetNMgn", 271, 35, true},
    };
    return variants;
}

bool page_size_choice(const std::string& choice, FrontEndPaper& paper, FrontEndVariant& variant) {
    const size_t cut = choice.rfind('_');
    if (cut == std::string::npos) return false;
    const std::string p = choice.substr(0, cut), v = choice.substr(cut + 1);
    bool found = false;
    for (const FrontEndPaper& x : front_end_papers())
        if (p == x.name) paper = x, found = true;
    if (!found) return false;
    for (const FrontEndVariant& x : front_end_variants())
        if (v == x.name) {
            variant = x;
            return true;
        }
    return false;
}

}  // namespace ovcg_test
