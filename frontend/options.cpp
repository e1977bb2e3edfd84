#include "frontend/options.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frontend/heap.h"
#include "frontend/media_options.h"
#include "ovcg/ovcg.h"

namespace ovcg::frontend {
namespace {

// ---- Tables -------------------------------------------------------------

// Media choices: media number times 10 plus a quality digit.
const ww_choice kMediaType[] = {
    {"Media1_Q1", 11},
    {"Media1_Q2", 12},
    {"Media1_Q3", 13},
    {"Media1_Q4", 14},
    {"Media332_Q1", 3321},
    {"Media332_Q2", 3322},
    {"Media332_Q3", 3323},
    {"Media332_Q4", 3324},
    {"Media330_Q2", 3302},
    {"Media330_Q3", 3303},
    {"Media330_Q4", 3304},
    {"Media334_Q1", 3341},
    {"Media334_Q2", 3342},
    {"Media334_Q4", 3344},
    {"Media279_Q2", 2792},
    {"Media279_Q3", 2793},
    {"Media279_Q4", 2794},
    {"Media306_Q4", 3064},
    {"Media306_Q5", 3065},
    {"Media274_Q4", 2744},
    {"Media274_Q5", 2745},
    {"Media318_Q4", 3184},
    {"Media318_Q5", 3185},
    {"Media422_Q1", 4221},
    {"Media422_Q2", 4222},
    {"Media422_Q3", 4223},
    {"Media422_Q4", 4224},
    {"Media423_Q1", 4231},
    {"Media423_Q2", 4232},
    {"Media423_Q4", 4234},
    {"Media363_Q3", 3633},
    {"Media363_Q4", 3634},
    {"Media363_Q5", 3635},
    {"Media364_Q3", 3643},
    {"Media364_Q4", 3644},
    {"Media364_Q5", 3645},
    {"Media281_Q3", 2813},
    {"Media281_Q4", 2814},
    {"Media281_Q5", 2815},
    {"Media275_Q3", 2753},
    {"Media275_Q4", 2754},
    {"Media275_Q5", 2755},
    {"Media284_Q3", 2843},
    {"Media284_Q4", 2844},
    {"Media284_Q5", 2845},
    {"Media396_Q3", 3963},
    {"Media396_Q4", 3964},
    {"Media396_Q5", 3965},
    {"Media421_Q3", 4213},
    {"Media421_Q4", 4214},
    {"Media421_Q5", 4215},
    {"Media333_Q1", 3331},
    {"Media333_Q2", 3332},
    {"Media333_Q4", 3334},
    {"Media394_Q1", 3941},
    {"Media394_Q2", 3942},
    {"Media394_Q4", 3944},
    {"Media425_Q1", 4251},
    {"Media425_Q2", 4252},
    {"Media425_Q4", 4254},
    {"Media429_Q4", 4294},
    {"Media429_Q5", 4295},
    {"Media428_Q4", 4284},
    {"Media428_Q5", 4285},
    {"Media427_Q4", 4274},
    {"Media427_Q5", 4275},
    {"Media288_Q4", 2884},
    {"Media288_Q5", 2885},
    {"Media426_Q4", 4264},
    {"Media426_Q5", 4265},
    {"Media436_Q1", 4361},
    {"Media436_Q2", 4362},
    {"Media436_Q3", 4363},
    {"Media436_Q4", 4364},
};

const ww_resource_parameter kResourceParameter[] = {
    {2813, 300, 300, 1200, 600, 5, 2, 1},
    {2753, 300, 300, 1200, 600, 5, 2, 1},
    {2843, 300, 300, 1200, 600, 5, 2, 1},
    {3633, 300, 300, 1200, 600, 5, 2, 1},
    {3643, 300, 300, 1200, 600, 5, 2, 1},
    {3963, 300, 300, 1200, 600, 5, 2, 1},
    {4213, 300, 300, 1200, 600, 5, 2, 1},
    {2814, 300, 300, 1200, 1200, 5, 2, 1},
    {2754, 300, 300, 1200, 1200, 5, 2, 1},
    {2844, 300, 300, 1200, 1200, 5, 2, 1},
    {3634, 300, 300, 1200, 1200, 5, 2, 1},
    {3644, 300, 300, 1200, 1200, 5, 2, 1},
    {3964, 300, 300, 1200, 1200, 5, 2, 1},
    {4214, 300, 300, 1200, 1200, 5, 2, 1},
    {4264, 300, 300, 1200, 1200, 5, 2, 1},
    {2815, 300, 300, 2400, 1200, 5, 1, 1},
    {2755, 300, 300, 2400, 1200, 5, 1, 1},
    {2845, 300, 300, 2400, 1200, 5, 1, 1},
    {3635, 300, 300, 2400, 1200, 5, 1, 1},
    {3645, 300, 300, 2400, 1200, 5, 1, 1},
    {3965, 300, 300, 2400, 1200, 5, 1, 1},
    {4215, 300, 300, 2400, 1200, 5, 1, 1},
    {4265, 300, 300, 2400, 1200, 5, 1, 1},
    {3064, 300, 300, 1200, 1200, 5, 2, 0},
    {2744, 300, 300, 1200, 1200, 5, 2, 0},
    {3185, 300, 300, 1200, 1200, 5, 2, 0},
    {3304, 300, 300, 1200, 1200, 5, 2, 0},
    {2794, 300, 300, 1200, 1200, 5, 2, 0},
    {4224, 300, 300, 1200, 1200, 5, 2, 0},
    {14, 300, 300, 1200, 1200, 5, 2, 0},
    {2885, 300, 300, 1200, 1200, 5, 2, 0},
    {4295, 300, 300, 1200, 1200, 5, 2, 0},
    {4285, 300, 300, 1200, 1200, 5, 2, 0},
    {4275, 300, 300, 1200, 1200, 5, 2, 0},
    {3065, 300, 300, 2400, 1200, 7, 2, 0},
    {2745, 300, 300, 2400, 1200, 7, 2, 0},
    {3184, 300, 300, 1200, 600, 5, 2, 0},
    {3303, 300, 300, 1200, 600, 5, 2, 0},
    {2793, 300, 300, 1200, 600, 5, 2, 0},
    {2884, 300, 300, 1200, 600, 5, 2, 0},
    {4294, 300, 300, 1200, 600, 5, 2, 0},
    {4284, 300, 300, 1200, 600, 5, 2, 0},
    {4274, 300, 300, 1200, 600, 5, 2, 0},
    {3302, 300, 300, 600, 1200, 4, 2, 0},
    {2792, 300, 300, 600, 1200, 4, 2, 0},
    {4223, 300, 300, 600, 1200, 4, 2, 0},
    {13, 300, 300, 600, 1200, 4, 2, 0},
    {4221, 300, 300, 600, 600, 4, 2, 0},
    {4222, 300, 300, 600, 600, 4, 2, 0},
    {12, 300, 300, 600, 600, 4, 2, 0},
    {11, 300, 300, 300, 600, 4, 2, 0},
    {3321, 300, 300, 300, 600, 4, 2, 0},
    {4361, 300, 300, 300, 600, 4, 2, 0},
    {3341, 600, 600, 600, 600, 4, 2, 0},
    {4231, 600, 600, 600, 600, 4, 2, 0},
    {3322, 600, 600, 600, 600, 4, 2, 0},
    {3331, 600, 600, 600, 600, 4, 2, 0},
    {3941, 600, 600, 600, 600, 4, 2, 0},
    {4251, 600, 600, 600, 600, 4, 2, 0},
    {3342, 600, 600, 600, 1200, 4, 2, 0},
    {4232, 600, 600, 600, 1200, 4, 2, 0},
    {3323, 600, 600, 600, 1200, 4, 2, 0},
    {3332, 600, 600, 600, 1200, 4, 2, 0},
    {3942, 600, 600, 600, 1200, 4, 2, 0},
    {4252, 600, 600, 600, 1200, 4, 2, 0},
    {3344, 1200, 1200, 1200, 1200, 5, 2, 0},
    {4234, 1200, 1200, 1200, 1200, 5, 2, 0},
    {3324, 1200, 1200, 1200, 1200, 5, 2, 0},
    {3334, 1200, 1200, 1200, 1200, 5, 2, 0},
    {4254, 1200, 1200, 1200, 1200, 5, 2, 0},
    {3944, 1200, 1200, 1200, 1200, 5, 1, 0},
    {4362, 600, 600, 600, 600, 5, 2, 0},
    {4363, 600, 600, 600, 1200, 5, 2, 0},
    {4364, 1200, 1200, 1200, 1200, 7, 2, 0},
};

const ww_paper_size kPaperSize[] = {
    {9, 3, 2480, 3508},  // A4
    {8, 3, 3508, 4961},  // A3
    {258, 3, 3886, 5705},  // A3Plus
    {257, 3, 4961, 7016},  // A2
    {666, 3, 5103, 7205},  // A2Plus
    {606, 3, 7016, 9933},  // A1
    {612, 3, 7200, 10800},  // A1Plus
    {605, 3, 9933, 14043},  // A0
    {604, 3, 10795, 15260},  // A0Plus
    {1, 3, 2550, 3300},  // Letter
    {5, 3, 2550, 4200},  // Legal
    {262, 3, 3300, 5100},  // USB
    {261, 3, 5100, 6600},  // USC
    {611, 3, 6600, 10200},  // USD
    {610, 3, 10200, 13200},  // USE
    {624, 3, 2700, 3600},  // ARCHA
    {625, 3, 3600, 5400},  // ARCHB
    {626, 3, 5400, 7200},  // ARCHC
    {627, 3, 7200, 10800},  // ARCHD
    {660, 3, 9000, 12600},  // ARCHE1
    {628, 3, 10800, 14400},  // ARCHE
    {42, 3, 2953, 4169},  // ISOB4
    {669, 3, 4169, 5906},  // ISOB3
    {663, 3, 5906, 8350},  // ISOB2
    {662, 3, 8350, 11811},  // ISOB1
    {661, 3, 11811, 17197},
    {13, 3, 2150, 3035},  // B5
    {12, 3, 3035, 4299},  // B4
    {259, 3, 4299, 6083},  // B3
    {603, 3, 6083, 8598},  // B2
    {602, 3, 8598, 12165},  // B1
    {652, 3, 12165, 8598},
    {601, 3, 12165, 17197},
    {600, 3, 13205, 18661},
    {653, 3, 7200, 9000},  // 24x30in
    {654, 3, 9000, 12000},  // 30x40in
    {655, 3, 10800, 13200},  // 36x44in
    {620, 3, 3543, 4724},  // 30x40cm
    {617, 3, 4724, 7087},  // 40x60cm
    {667, 3, 5906, 8268},  // 50x70cm
    {616, 3, 7087, 10630},  // 60x90cm
    {668, 3, 8268, 11811},  // 70x100cm
    {256, 3, -1, -1},  // custom
};

// Paper choices: paper number times 10 plus the variant digit (Roll 0,
// Sheet 3, SheetC 5, RollNMgn 6, SheetNMgn 9).
const ww_choice kPageSize[] = {
    {"A4_Roll", 90},
    {"A4_Sheet", 93},
    {"A4_SheetC", 95},
    {"A3_Roll", 80},
    {"A3_Sheet", 83},
    {"A3_SheetC", 85},
    {"A3Plus_Roll", 2580},
    {"A3Plus_Sheet", 2583},
    {"A3Plus_SheetC", 2585},
    {"A3Plus_RollNMgn", 2586},
    {"A3Plus_SheetNMgn", 2589},
    {"A2_Roll", 2570},
    {"A2_Sheet", 2573},
    {"A2_SheetC", 2575},
    {"A2Plus_Roll", 6660},
    {"A2Plus_Sheet", 6663},
    {"A2Plus_SheetC", 6665},
    {"A2Plus_RollNMgn", 6666},
    {"A2Plus_SheetNMgn", 6669},
    {"A1_Roll", 6060},
    {"A1_Sheet", 6063},
    {"A1_SheetC", 6065},
    {"A1_RollNMgn", 6066},
    {"A1_SheetNMgn", 6069},
    {"A1Plus_Roll", 6120},
    {"A1Plus_Sheet", 6123},
    {"A1Plus_SheetC", 6125},
    {"A1Plus_RollNMgn", 6126},
    {"A1Plus_SheetNMgn", 6129},
    {"A0_Roll", 6050},
    {"A0_Sheet", 6053},
    {"A0_SheetC", 6055},
    {"A0_RollNMgn", 6056},
    {"A0_SheetNMgn", 6059},
    {"A0Plus_Roll", 6040},
    {"A0Plus_Sheet", 6043},
    {"A0Plus_SheetC", 6045},
    {"A0Plus_RollNMgn", 6046},
    {"A0Plus_SheetNMgn", 6049},
    {"Letter_Roll", 10},
    {"Letter_Sheet", 13},
    {"Letter_SheetC", 15},
    {"Legal_Roll", 50},
    {"Legal_Sheet", 53},
    {"Legal_SheetC", 55},
    {"USB_Roll", 2620},
    {"USB_Sheet", 2623},
    {"USB_SheetC", 2625},
    {"USC_Roll", 2610},
    {"USC_Sheet", 2613},
    {"USC_SheetC", 2615},
    {"USC_RollNMgn", 2616},
    {"USC_SheetNMgn", 2619},
    {"USD_Roll", 6110},
    {"USD_Sheet", 6113},
    {"USD_SheetC", 6115},
    {"USE_Roll", 6100},
    {"USE_Sheet", 6103},
    {"USE_SheetC", 6105},
    {"ARCHA_Roll", 6240},
    {"ARCHA_Sheet", 6243},
    {"ARCHA_SheetC", 6245},
    {"ARCHB_Roll", 6250},
    {"ARCHB_Sheet", 6253},
    {"ARCHB_SheetC", 6255},
    {"ARCHC_Roll", 6260},
    {"ARCHC_Sheet", 6263},
    {"ARCHC_SheetC", 6265},
    {"ARCHD_Roll", 6270},
    {"ARCHD_Sheet", 6273},
    {"ARCHD_SheetC", 6275},
    {"ARCHD_RollNMgn", 6276},
    {"ARCHD_SheetNMgn", 6279},
    {"ARCHE1_Roll", 6600},
    {"ARCHE1_Sheet", 6603},
    {"ARCHE1_SheetC", 6605},
    {"ARCHE_Roll", 6280},
    {"ARCHE_Sheet", 6283},
    {"ARCHE_SheetC", 6285},
    {"ARCHE_RollNMgn", 6286},
    {"ARCHE_SheetNMgn", 6289},
    {"ISOB4_Roll", 420},
    {"ISOB4_Sheet", 423},
    {"ISOB4_SheetC", 425},
    {"ISOB3_Roll", 6690},
    {"ISOB3_Sheet", 6693},
    {"ISOB3_SheetC", 6695},
    {"ISOB2_Roll", 6630},
    {"ISOB2_Sheet", 6633},
    {"ISOB2_SheetC", 6635},
    {"ISOB2_RollNMgn", 6636},
    {"ISOB2_SheetNMgn", 6639},
    {"ISOB1_Roll", 6620},
    {"ISOB1_Sheet", 6623},
    {"ISOB1_SheetC", 6625},
    {"B5_Roll", 130},
    {"B5_Sheet", 133},
    {"B5_SheetC", 135},
    {"B4_Roll", 120},
    {"B4_Sheet", 123},
    {"B4_SheetC", 125},
    {"B3_Roll", 2590},
    {"B3_Sheet", 2593},
    {"B3_SheetC", 2595},
    {"B2_Roll", 6030},
    {"B2_Sheet", 6033},
    {"B2_SheetC", 6035},
    {"B2_RollNMgn", 6036},
    {"B2_SheetNMgn", 6039},
    {"B1_Roll", 6020},
    {"B1_Sheet", 6023},
    {"B1_SheetC", 6025},
    {"B1_RollNMgn", 6026},
    {"B1_SheetNMgn", 6029},
    {"24x30in_Roll", 6530},
    {"24x30in_Sheet", 6533},
    {"24x30in_SheetC", 6535},
    {"24x30in_RollNMgn", 6536},
    {"24x30in_SheetNMgn", 6539},
    {"30x40in_Roll", 6540},
    {"30x40in_Sheet", 6543},
    {"30x40in_SheetC", 6545},
    {"36x44in_Roll", 6550},
    {"36x44in_Sheet", 6553},
    {"36x44in_SheetC", 6555},
    {"36x44in_RollNMgn", 6556},
    {"36x44in_SheetNMgn", 6559},
    {"30x40cm_Roll", 6200},
    {"30x40cm_Sheet", 6203},
    {"30x40cm_SheetC", 6205},
    {"30x40cm_RollNMgn", 6206},
    {"30x40cm_SheetNMgn", 6209},
    {"40x60cm_Roll", 6170},
    {"40x60cm_Sheet", 6173},
    {"40x60cm_SheetC", 6175},
    {"50x70cm_Roll", 6670},
    {"50x70cm_Sheet", 6673},
    {"50x70cm_SheetC", 6675},
    {"50x70cm_RollNMgn", 6676},
    {"50x70cm_SheetNMgn", 6679},
    {"60x90cm_Roll", 6160},
    {"60x90cm_Sheet", 6163},
    {"60x90cm_SheetC", 6165},
    {"70x100cm_Roll", 6680},
    {"70x100cm_Sheet", 6683},
    {"70x100cm_SheetC", 6685},
    {"70x100cm_RollNMgn", 6686},
    {"70x100cm_SheetNMgn", 6689},
};

const ww_choice kColorModel[] = {{"RGB", 1}, {"Gray", 2}, {"Black2", 3}, {"YellowBack", 4}};
const ww_choice kHighSpeed[] = {{"Off", 1}, {"On", 2}};
const ww_choice kMode[] = {{"Standard", 1}, {"c-BIZ", 2}, {"CAD", 3}, {"GIS", 4}, {"NoCMM", 0}};
const ww_choice kAutoCut[] = {{"Off", 1}, {"SingleCut", 2}, {"DoubleCut", 3}, {"NormalCut", 4}};
const ww_choice kDensity[] = {{"50", 50},   {"55", 55},   {"60", 60},   {"65", 65},   {"70", 70},
                              {"75", 75},   {"80", 80},   {"85", 85},   {"90", 90},   {"95", 95},
                              {"100", 100}, {"105", 105}, {"110", 110}, {"115", 115}, {"120", 120},
                              {"125", 125}, {"130", 130}, {"135", 135}, {"140", 140}, {"145", 145},
                              {"150", 150}};

static_assert(std::size(kMediaType) == 74);
static_assert(std::size(kResourceParameter) == 74);
static_assert(std::size(kPaperSize) == 43);
static_assert(std::size(kPageSize) == 148);
static_assert(std::size(kDensity) == 21);

// The keyword table: option name, choice table and, where a choice is more
// than a row of its table, the value getter.
struct ww_keyword {
    const char* name;
    std::span<const ww_choice> choices;
    int32_t (*getter)(const char* choice);

    int32_t value_of(const char* choice) const {
        return getter ? getter(choice) : ww_get_choice_value(choices, choice);
    }
};

const ww_keyword ww_KeywordHandlers[] = {
    {"MediaType", kMediaType, nullptr},
    {"ColorModel", kColorModel, nullptr},
    {"HighSpeed", kHighSpeed, nullptr},
    {"Mode", kMode, nullptr},
    {"PageSize", kPageSize, ww_get_PageSize},
    {"AutoCut", kAutoCut, nullptr},
    {"BlackDensity", kDensity, nullptr},
    {"ColorDensity", kDensity, nullptr},
    {"media", kPageSize, ww_get_PageSize},  // second name of PageSize
};
constexpr uint32_t kOptionCount = 8;

// The application order with the stored values, and the handlers.
enum Option { kMediaTypeOpt, kColorModelOpt, kHighSpeedOpt, kModeOpt, kPageSizeOpt, kAutoCutOpt,
              kBlackDensityOpt, kColorDensityOpt, kOptionEnd };

struct ww_dep_order {
    const char* name;
    int32_t value;
};
ww_dep_order ww_ParamDepOrders[kOptionEnd] = {
    {"MediaType", kUnset}, {"ColorModel", kUnset},   {"HighSpeed", kUnset},
    {"Mode", kUnset},      {"PageSize", kUnset},     {"AutoCut", kUnset},
    {"BlackDensity", kUnset}, {"ColorDensity", kUnset},
};

struct ww_param_handler_row {
    const char* name;
    ww_param_handler handler;
};
const ww_param_handler_row ww_ParamHandlers[kOptionEnd] = {
    {"MediaType", ww_check_and_set_MediaType},
    {"ColorModel", ww_check_and_set_ColorModel},
    {"HighSpeed", ww_check_and_set_HighSpeed},
    {"Mode", ww_check_and_set_Mode},
    {"PageSize", ww_check_and_set_PageSize},
    {"AutoCut", ww_check_and_set_AutoCut},
    {"BlackDensity", ww_check_and_set_BlackDensity},
    {"ColorDensity", ww_check_and_set_ColorDensity},
};

uint32_t ww_CustomPageSizeWidth = 0;
uint32_t ww_CustomPageSizeHeight = 0;

const ww_keyword* find_keyword(const char* option) {
    for (const ww_keyword& k : ww_KeywordHandlers)
        if (strcasecmp(k.name, option) == 0) return &k;
    return nullptr;
}

int find_order(const char* option) {
    for (int i = 0; i < kOptionEnd; ++i)
        if (strcasecmp(ww_ParamDepOrders[i].name, option) == 0) return i;
    return -1;
}

int32_t stored(Option o) { return ww_ParamDepOrders[o].value; }

// The colour model the handlers work with: an unset one counts as RGB, the
// default of the job record.
int32_t effective_color_model() {
    int32_t cm = stored(kColorModelOpt);
    return (cm >= 1 && cm <= 4) ? cm : 1;
}

void log_handler(const char* option, int32_t value) {
    std::fprintf(stderr, "DEBUG: filter, WW_DEFINE_PARAM_HANDLER(%s=%d)\n", option, value);
}

// "<w>x<h><unit>" (custom_size.h): stores the size and gives kCustomPaper,
// or kUnset for a text that is no size or a size outside the limits.
int32_t parse_custom_size(const char* size_text) {
    CustomSizeDots size;
    if (!custom_size_dots(size_text, &size) || !size.fits()) return kUnset;
    ww_CustomPageSizeWidth = static_cast<uint32_t>(size.width);
    ww_CustomPageSizeHeight = static_cast<uint32_t>(size.height);
    return kCustomPaper;
}

// Scales a 300-dpi length to the source resolution, truncating.
int32_t scale(int32_t v, double s) { return static_cast<int32_t>(static_cast<double>(v) * s); }
int32_t scale_round(int32_t v, double s, bool exact) {
    return static_cast<int32_t>(static_cast<double>(v) * s + (exact ? 0.0 : 0.5));
}

// Sets planes first..last to one duty.
void set_duties(tagMEDIAOPT_8* m, int first, int last, int32_t duty) {
    for (int i = first; i <= last; ++i) media_options_set_duty(m, i, duty);
}

// Duty for a density in per cent (1024 = 100); an unset density is 100 per cent.
int32_t duty_of(int32_t percent) {
    if (percent == kUnset) return kDutyFull;
    return static_cast<int32_t>(static_cast<int64_t>(percent) * kDutyFull / 100);
}

// ---- Handler interface -----------------------------------------------------

int32_t handler_init() { return 0; }

int32_t free_print_param(tagPRTSTRUCT3_12* job, tagHTSTRUCT3_5*, ovcg_page_info*) {
    if (!job) return 0;
    media_options_free(job->lpMediaOpt);
    job->lpMediaOpt = nullptr;
    ovcg_free(job->lpTrimInfo);
    job->lpTrimInfo = nullptr;
    ovcg_free(job->lpCutCmdData);
    job->lpCutCmdData = nullptr;
    return 0;
}

int32_t init_print_param(tagPRTSTRUCT3_12* job, tagHTSTRUCT3_5* ht, ovcg_page_info* page) {
    if (job) {
        free_print_param(job, ht, page);
        *job = tagPRTSTRUCT3_12{};
        job->version = 9;
        job->src_format = 1;
        job->prt_format = 101;
        job->lut_format = 101;
        job->head_ID = 0xFFFF;
        job->lpMediaOpt = media_options_create();  // stays null when out of memory
    }
    if (ht) {
        *ht = tagHTSTRUCT3_5{};
        ht->version = 3;
        ht->gamma = 220;
    }
    if (page) {
        page->word[kPagePrintWidth] = 0;
        page->word[kPagePrintHeight] = 0;
        page->word[kPageFlag0] = 0;
        page->word[kPageFlag1] = 0;
    }
    return 0;
}

int32_t convert_print_param(tagPRTSTRUCT3_12* job, tagHTSTRUCT3_5* ht, ovcg_page_info* page) {
    if (!job || !ht || !page) return kConvertFailed;
    // The record's allocation may have failed at start-up: try again now
    // rather than print without it.
    if (!job->lpMediaOpt) {
        job->lpMediaOpt = media_options_create();
        if (!job->lpMediaOpt) return kConvertNoMemory;
    }
    for (int i = 0; i < kOptionEnd; ++i) {
        int32_t r = ww_ParamHandlers[i].handler(ww_ParamDepOrders[i].value, job, ht, page);
        if (r != 0) return r == kConvertNoMemory ? kConvertNoMemory : kConvertFailed;
    }
    return 0;
}

int32_t get_option_list(uint32_t* count, const char** names) {
    if (!count) return OVCG_ERR_ARGUMENT;
    if (!names) {
        *count = kOptionCount;
        return 0;
    }
    if (*count < kOptionCount) return OVCG_ERR_ARGUMENT;
    for (uint32_t i = 0; i < kOptionCount; ++i) names[i] = ww_KeywordHandlers[i].name;
    *count = kOptionCount;
    return 0;
}

int32_t get_choice_list(const char* option, uint32_t* count, const char** names) {
    if (!option || !count) return OVCG_ERR_ARGUMENT;
    const ww_keyword* k = find_keyword(option);
    if (!k) return OVCG_ERR_ARGUMENT;
    uint32_t n = static_cast<uint32_t>(k->choices.size());
    if (!names) {
        *count = n;
        return 0;
    }
    if (*count < n) return OVCG_ERR_ARGUMENT;
    for (uint32_t i = 0; i < n; ++i) names[i] = k->choices[i].name;
    *count = n;
    return 0;
}

int32_t set_option_choice_by_order(const char* option, const char* choice) {
    if (!option) return 0;
    int i = find_order(option);
    if (i < 0) return 0;  // unknown options (and the second name "media") are ignored
    const ww_keyword* k = find_keyword(ww_ParamDepOrders[i].name);
    ww_ParamDepOrders[i].value = choice ? k->value_of(choice) : kUnset;
    return 0;
}

const optionHandlerInterface kHandler = {
    handler_init,        init_print_param, free_print_param,          convert_print_param,
    get_option_list,     get_choice_list,  set_option_choice_by_order,
};

}  // namespace

// ---- Tables and getters ---------------------------------------------------

std::span<const ww_choice> ww_MediaType() { return kMediaType; }
std::span<const ww_choice> ww_ColorModel() { return kColorModel; }
std::span<const ww_choice> ww_HighSpeed() { return kHighSpeed; }
std::span<const ww_choice> ww_Mode() { return kMode; }
std::span<const ww_choice> ww_PageSize() { return kPageSize; }
std::span<const ww_choice> ww_AutoCut() { return kAutoCut; }
std::span<const ww_choice> ww_Density() { return kDensity; }
std::span<const ww_paper_size> TablePaperSize() { return kPaperSize; }
std::span<const ww_resource_parameter> TableResourceParameter() { return kResourceParameter; }

int32_t ww_get_choice_value(std::span<const ww_choice> table, const char* choice) {
    if (!choice) return kUnset;
    for (const ww_choice& c : table)
        if (strcasecmp(c.name, choice) == 0) return c.value;
    return kUnset;
}

int32_t ww_get_PageSize(const char* choice) {
    if (!choice) return kUnset;
    size_t len = strnlen(choice, kPaperChoiceMax + 1);
    if (len > kPaperChoiceMax) return kUnset;  // does not fit: refused, not cut short
    char name[kPaperChoiceMax + sizeof "_Roll"];
    std::memcpy(name, choice, len);
    name[len] = '\0';
    if (!std::memchr(name, '_', len)) std::memcpy(name + len, "_Roll", sizeof "_Roll");
    int32_t v = ww_get_choice_value(kPageSize, name);
    if (v != kUnset) return v;
    if (strncasecmp(choice, "custom.", 7) != 0) return kUnset;
    return parse_custom_size(choice + 7);
}

const ww_paper_size* ww_find_paper(int32_t paper) {
    for (const ww_paper_size& p : kPaperSize)
        if (p.paper == paper) return &p;
    return nullptr;
}

const ww_resource_parameter* ww_find_resource_parameter(int32_t key) {
    for (const ww_resource_parameter& r : kResourceParameter)
        if (r.key == key) return &r;
    return nullptr;
}

uint32_t ww_custom_width() { return ww_CustomPageSizeWidth; }
uint32_t ww_custom_height() { return ww_CustomPageSizeHeight; }

const optionHandlerInterface* ww_option_handler(const char*) { return &kHandler; }

int32_t ww_stored_value(const char* option) {
    if (!option) return kUnset;
    int i = find_order(option);
    return i < 0 ? kUnset : ww_ParamDepOrders[i].value;
}

void ww_clear_choices_for_tests() {
    for (ww_dep_order& o : ww_ParamDepOrders) o.value = kUnset;
    ww_CustomPageSizeWidth = 0;
    ww_CustomPageSizeHeight = 0;
}

// ---- Conversion handlers --------------------------------------------------

int32_t ww_check_and_set_MediaType(int32_t v, tagPRTSTRUCT3_12* job, tagHTSTRUCT3_5* ht,
                                   ovcg_page_info*) {
    log_handler("MediaType", v);
    job->ex_option |= OVCG_EXO_DM;
    int32_t cm = stored(kColorModelOpt);
    int32_t media = v / 10;
    if (cm == 3) {
        // Black2 prints these media in the gray modes of sister media.
        struct Swap { int32_t from, to, media; };
        static const Swap kSwaps[] = {
            {12, 3322, 332},   {13, 3323, 332},   {14, 3324, 332},
            {3302, 3341, 334}, {3303, 3342, 334}, {3304, 3344, 334},
            {4222, 4231, 423}, {4223, 4232, 423}, {4224, 4234, 423},
        };
        for (const Swap& s : kSwaps)
            if (s.from == v) {
                v = s.to;
                media = s.media;
                break;
            }
    }
    job->media_type = media;
    const ww_resource_parameter* row = ww_find_resource_parameter(v);
    if (!row) return -1;
    job->src_resolution = {row->src_x, row->src_y};
    job->prt_resolution = {row->prt_x, row->prt_y};
    // The media's mode bits replace those of an earlier job.
    job->mw_type = (job->mw_type & ~kMediaModeBits) | row->mode;
    job->bit_p_color = row->bits_per_color;
    ht->halftone_type = 16;
    job->ex_option &= ~OVCG_EXO_CB;
    job->ex_option |= OVCG_EXO_BS;
    if ((cm == 2 || cm == 3) && row->gray == 1) job->ex_option |= OVCG_EXO_CB;
    return 0;
}

int32_t ww_check_and_set_ColorModel(int32_t v, tagPRTSTRUCT3_12* job, tagHTSTRUCT3_5*,
                                    ovcg_page_info*) {
    log_handler("ColorModel", v);
    if (v == 2 || v == 3) {
        job->src_format = 0;
        int32_t f = (job->ex_option & OVCG_EXO_CB) ? 101 : 0;
        job->prt_format = f;
        job->lut_format = f;
    } else {
        // RGB, YellowBack, and an unset model (the default, RGB).
        job->src_format = 1;
        job->prt_format = 101;
        job->lut_format = 101;
    }
    return 0;
}

int32_t ww_check_and_set_HighSpeed(int32_t v, tagPRTSTRUCT3_12* job, tagHTSTRUCT3_5*,
                                   ovcg_page_info*) {
    log_handler("HighSpeed", v);
    if (v != 2) job->mw_type &= ~OVCG_MW_HS;
    return 0;
}

int32_t ww_check_and_set_Mode(int32_t v, tagPRTSTRUCT3_12*, tagHTSTRUCT3_5* ht,
                              ovcg_page_info*) {
    log_handler("Mode", v);
    int32_t cm = effective_color_model();
    if (cm == 2 || cm == 3) {
        ht->color_correction = 13;
        return 0;
    }
    switch (v) {
        case 0: ht->color_correction = 4; break;
        case 2: ht->color_correction = 12; break;
        case 3: ht->color_correction = 14; break;
        case 4: ht->color_correction = 90; break;
        default: ht->color_correction = 0; break;  // Standard, and an unset mode
    }
    return 0;
}

int32_t ww_check_and_set_PageSize(int32_t v, tagPRTSTRUCT3_12* job, tagHTSTRUCT3_5*,
                                  ovcg_page_info* page) {
    log_handler("PageSize", v);
    int32_t paper, variant;
    if (v == kCustomPaper) {
        paper = kCustomPaper;
        variant = 0;
        job->bin_ID = 530;
    } else {
        paper = v / 10;
        variant = v % 10;
        switch (variant) {
            case 3:
            case 5: job->bin_ID = 4; break;
            case 6: job->bin_ID = 531; break;
            case 9: job->bin_ID = 264; break;
            default: job->bin_ID = 530; break;
        }
    }
    const ww_paper_size* row = ww_find_paper(paper);
    if (!row) return -1;
    job->paper_ID = paper;
    job->src_margin = {35, 0};
    page->custom_size = paper == kCustomPaper ? 1 : 0;

    int32_t w = row->width, h = row->height;
    if (paper == kCustomPaper) {
        w = static_cast<int32_t>(ww_CustomPageSizeWidth);
        h = static_cast<int32_t>(ww_CustomPageSizeHeight);
        if (w <= 0 || h <= 0) return -1;  // no custom size stored
    }
    page->word[kPagePrintWidth] = static_cast<uint32_t>(w);
    page->word[kPagePrintHeight] = static_cast<uint32_t>(h);
    job->src_paper_size = {w, h};
    job->src_print_area = {w, h};

    // Borderless belongs to this page size only.
    job->ex_option &= ~OVCG_EXO_TB;
    int32_t page_h;
    switch (variant) {
        case 5:  // SheetC
            job->src_print_area = {w - 70, h - 472};
            job->src_margin.y = 236;
            page_h = h - 472;
            break;
        case 3:  // Sheet
            job->src_print_area = {w - 70, h - 271};
            job->src_margin.y = 35;
            page_h = h - 271;
            break;
        case 6:  // RollNMgn
            job->src_print_area = {w + 70, h};
            job->src_margin.y = 0;
            page_h = h;
            job->ex_option |= OVCG_EXO_TB;
            break;
        case 9:  // SheetNMgn
            job->src_print_area = {w + 70, h - 271};
            job->src_margin.y = 35;
            page_h = h - 271;
            job->ex_option |= OVCG_EXO_TB;
            break;
        default:
            job->src_print_area = {w - 70, h - 70};
            job->src_margin.y = 35;
            page_h = h - 70;
            break;
    }
    page->word[kPagePrintHeight] = static_cast<uint32_t>(page_h);
    job->src_print_area_ex = job->src_print_area;

    // From 300 dpi to the source resolution.
    const double sx = static_cast<double>(static_cast<float>(job->src_resolution.x) / 300.0f);
    const double sy = static_cast<double>(static_cast<float>(job->src_resolution.y) / 300.0f);
    const bool exact = (job->ex_option & OVCG_EXO_OV) != 0;
    page->word[kPagePrintWidth] = static_cast<uint32_t>(scale(job->src_print_area_ex.x, sx));
    job->src_paper_size.x = scale(job->src_paper_size.x, sx);
    job->src_margin.x = 0;
    job->src_print_area.x = scale_round(job->src_print_area.x, sx, exact);
    job->src_print_area_ex.x = scale_round(job->src_print_area_ex.x, sx, exact);
    page->word[kPagePrintHeight] = static_cast<uint32_t>(scale(page_h, sy));
    job->src_paper_size.y = scale(job->src_paper_size.y, sy);
    job->src_margin.y = scale(job->src_margin.y, sy);
    job->src_print_area.y = scale_round(job->src_print_area.y, sy, exact);
    job->src_print_area_ex.y = scale_round(job->src_print_area_ex.y, sy, exact);

    if (tagTRIMINFO* t = job->lpTrimInfo) {
        t->src_t4base_parea.x = scale(t->src_t4base_parea.x, sx);
        t->src_t4base_parea.y = scale(t->src_t4base_parea.y, sy);
        t->src_t4base_parea_ex.x = scale(t->src_t4base_parea_ex.x, sx);
        t->src_t4base_parea_ex.y = scale(t->src_t4base_parea_ex.y, sy);
        page->word[kPagePrintWidth] = static_cast<uint32_t>(t->src_t4base_parea_ex.x);
        page->word[kPagePrintHeight] = static_cast<uint32_t>(t->src_t4base_parea_ex.y);
    }
    page->word[kPageWidth] = page->word[kPagePrintWidth];
    page->word[kPageHeight] = page->word[kPagePrintHeight];
    return 0;
}

int32_t ww_check_and_set_AutoCut(int32_t v, tagPRTSTRUCT3_12* job, tagHTSTRUCT3_5*,
                                 ovcg_page_info*) {
    log_handler("AutoCut", v);
    // The cut record belongs to this option: one left by an earlier job goes.
    ovcg_free(job->lpCutCmdData);
    job->lpCutCmdData = nullptr;
    if (v == 2 || v == 3) {
        job->ex_option |= OVCG_EXO_AC;
        auto* cut = static_cast<tagCUTCMD*>(ovcg_malloc(sizeof(tagCUTCMD)));
        if (!cut) return kConvertNoMemory;
        cut->version = 1;
        cut->cut_option = static_cast<uint16_t>(v == 2 ? OVCG_CUT_ONECUT : OVCG_CUT_TWOCUT);
        cut->top = 0;
        cut->bottom = 0;
        job->lpCutCmdData = cut;
    } else if (v == 4) {
        job->ex_option |= OVCG_EXO_AC;
    } else {
        job->ex_option &= ~OVCG_EXO_AC;
    }
    return 0;
}

int32_t ww_check_and_set_BlackDensity(int32_t v, tagPRTSTRUCT3_12* job, tagHTSTRUCT3_5*,
                                      ovcg_page_info*) {
    log_handler("BlackDensity", v);
    tagMEDIAOPT_8* m = job->lpMediaOpt;
    if (!m) return kConvertNoMemory;
    int32_t d = duty_of(v);
    if (job->prt_format == 0) {
        media_options_set_duty(m, 0, d);
        set_duties(m, 1, 3, kDutyFull);
    } else if (job->prt_format == 101) {
        media_options_set_duty(m, 3, d);
    }
    return 0;
}

int32_t ww_check_and_set_ColorDensity(int32_t v, tagPRTSTRUCT3_12* job, tagHTSTRUCT3_5*,
                                      ovcg_page_info*) {
    log_handler("ColorDensity", v);
    tagMEDIAOPT_8* m = job->lpMediaOpt;
    if (!m) return kConvertNoMemory;
    if (job->prt_format == 0) {
        set_duties(m, 1, 3, kDutyFull);
    } else if (job->prt_format == 101) {
        set_duties(m, 0, 2, duty_of(v));
        if (stored(kColorModelOpt) == 4) media_options_set_duty(m, 2, 0);
    }
    return 0;
}

}  // namespace ovcg::frontend
