// Every choice of every front-end option, printed through the exported entry
// points beside a base job that differs from it in that option only: both
// streams are read back (the stream validator names every command, the
// virtual printer places every dot) and must differ exactly where the
// option's translation says the choice acts, in the commands it changes and
// the ink planes it changes, and nowhere else. Where a choice sets a value,
// the command carries it.
//
// What each option reaches, by the option translation, the print-mode
// resolution and the generators:
//   ColorModel   the source and printer formats: Gray and Black2 print the
//                black plane alone (or, on media whose gray modes use the
//                colour inks, gray through the colour inks); the mono-mode
//                command follows the printer format; Black2 moves some media
//                to a sister media; YellowBack prints no yellow.
//   HighSpeed    the mode word's high-speed bit: bidirectional printing
//                (ESC U 0) and, in the model, the high-speed head mode of the
//                setting (its dot-size command).
//   Mode         the colour correction, hence the document type and the
//                colour tables: every ink plane, no command; none on gray
//                pages, whose correction is always the gray one.
//   AutoCut      the cutting flag (AC 1) and, for single and double cuts,
//                the cut record (SN 84 with 1 or 2).
//   BlackDensity the black plane's duty; ColorDensity the colour planes'
//                (nothing on a page of the black ink alone).
//   PageSize     the page's geometry: page length (ESC ( C), paper size
//                (ESC ( S) and page format (ESC ( c), and where the lines
//                fall.
//   MediaType    the print mode: the media's paper identifiers (MI), the
//                printer resolution (ESC ( U, ESC ( D), the dot size, the
//                geometry in printer units, the media class's commands and
//                the planes.
#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "e2e_fixture.h"
#include "support/front_end_tables.h"
#include "support/model.h"
#include "support/model_head_control.h"
#include "support/model_links.h"
#include "support/option_choices.h"
#include "support/res_writer.h"
#include "support/sanitized.h"
#include "support/stream_validator.h"
#include "support/virtual_printer.h"

namespace ovcg_e2e {
namespace {

using ovcg_test::StreamItem;
using ovcg_test::StreamItemKind;

// Command colour codes of the model's inks.
constexpr int kK = 0x10, kC = 0x11, kM = 0x12, kY = 0x13;
const std::set<int> kCmyk = {kK, kC, kM, kY};

// ---- Reading a stream back ------------------------------------------------

// A stream read back: its commands by key (raster data, feeds, horizontal
// positions and carriage returns are the planes' business) and the dots of
// each colour over all pages.
struct View {
    std::string error;
    std::map<std::string, std::vector<Bytes>> commands;
    std::map<int, ovcg_test::VpPlane> planes;

    // The n-th command of a key; empty when there is none.
    Bytes command(const std::string& key, size_t n = 0) const {
        const auto it = commands.find(key);
        return it == commands.end() || it->second.size() <= n ? Bytes{} : it->second[n];
    }
};

// A command's key: its name, and for the remote commands that come as a
// table (SN, US, DR) also their code byte.
std::string key_of(const StreamItem& it, const Bytes& s) {
    if (it.kind == StreamItemKind::kRemoteCommand && (it.name == "SN" || it.name == "US" || it.name == "DR") &&
        it.length > 5) {
        char code[8];
        std::snprintf(code, sizeof code, " %02X", s[it.offset + 5]);
        return it.name + code;
    }
    return it.name;
}

View view_of(const Bytes& s) {
    View v;
    const ovcg_test::StreamCheck check = ovcg_test::ValidateStream(s);
    if (!check.ok) {
        v.error = check.error;
        return v;
    }
    int bits = 2;
    for (const StreamItem& it : check.items) {
        if (it.kind == StreamItemKind::kRaster) {
            bits = s[it.offset + 4];
            continue;
        }
        if (it.name == "ESC ( v" || it.name == "ESC ( $" || it.name == "CR") continue;
        v.commands[key_of(it, s)].emplace_back(s.begin() + long(it.offset), s.begin() + long(it.offset + it.length));
    }
    // Each ink colour its own canvas.
    ovcg_test::VpModel printer;
    printer.bits = bits;
    for (uint8_t c = 0x10; c <= 0x17; ++c) printer.add(c, ovcg_test::VpLineMap{c, 0, 1});
    const ovcg_test::VpResult read = ovcg_test::RunVirtualPrinter(printer, s);
    if (!read.ok) {
        v.error = read.error;
        return v;
    }
    for (const ovcg_test::VpPage& p : read.pages)
        for (const auto& [c, plane] : p.planes) v.planes[c].merge(plane);
    return v;
}

// Where two streams differ.
struct Effect {
    std::set<std::string> commands;
    std::set<int> planes;
    bool operator==(const Effect&) const = default;
};

Effect difference(const View& a, const View& b) {
    Effect e;
    std::set<std::string> keys;
    for (const auto& [k, v] : a.commands) keys.insert(k);
    for (const auto& [k, v] : b.commands) keys.insert(k);
    for (const std::string& k : keys)
        if (a.commands.count(k) == 0 || b.commands.count(k) == 0 || a.commands.at(k) != b.commands.at(k))
            e.commands.insert(k);
    std::set<int> colours;
    for (const auto& [c, p] : a.planes) colours.insert(c);
    for (const auto& [c, p] : b.planes) colours.insert(c);
    const ovcg_test::VpPlane none;
    for (int c : colours) {
        const auto x = a.planes.find(c), y = b.planes.find(c);
        if (!ovcg_test::plane_difference(x == a.planes.end() ? none : x->second, y == b.planes.end() ? none : y->second)
                 .empty())
            e.planes.insert(c);
    }
    return e;
}

std::string describe(const Effect& e) {
    std::string s = "commands {";
    for (const std::string& c : e.commands) s += " '" + c + "'";
    s += " } planes {";
    for (int c : e.planes) {
        char b[8];
        std::snprintf(b, sizeof b, " %02X", c);
        s += b;
    }
    return s + " }";
}

// A command's bytes: a head from a byte list, then u32 values little-endian.
Bytes command_bytes(const std::string& head, std::initializer_list<uint32_t> values) {
    Bytes b = ovcg_test::bytes_of(head);
    for (uint32_t v : values)
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
    return b;
}

// The paper identifiers of a media: the paper table's, and the remote
// tables' where the media's class reads them (flag word 0x800, 0x1000 or
// 0x8000), else not given.
Bytes expected_mi(const ovcg_test::ModelMediaModes& m) {
    const bool remote = (m.flag_word & 0x9800) != 0;
    return {'M', 'I', 4, 0, 0, 1, uint8_t(m.paper_id), remote ? uint8_t(m.remote_paper_id) : uint8_t(0xFF)};
}

// The commands of the media class: they differ between media of another
// class (roll or cut sheet, remote flag word).
bool media_class_differs(const ovcg_test::ModelDescription& model, uint16_t a, uint16_t b) {
    const auto roll = [&](uint16_t n) {
        for (const ovcg_test::ModelMedia& m : model.media)
            if (m.number == n) return m.roll;
        return false;
    };
    return roll(a) != roll(b) ||
           ovcg_test::model_media_modes(model, a).flag_word != ovcg_test::model_media_modes(model, b).flag_word;
}
const std::set<std::string> kMediaClassCommands = {"ESC ( K", "EX 4D", "PH", "PP"};

void PrintTo(const Effect& e, std::ostream* os) { *os << describe(e); }

uint32_t le(const Bytes& b, size_t at, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | b.at(at + size_t(i));
    return v;
}

// ---- The jobs ----------------------------------------------------------------

std::vector<std::string> choices(const char* option) { return ovcg_test::option_choices(option); }

Options with(Options o, const std::string& option, const std::string& choice) {
    for (auto& [n, v] : o)
        if (n == option) {
            v = choice;
            return o;
        }
    o.push_back({option, choice});
    return o;
}

class OptionEffects : public E2eTest {
protected:
    // The job with these options (the others as run_job sets them: RGB,
    // Standard, HighSpeed and AutoCut off, densities 100) and 24 lines of its
    // page, read back.
    static View print(const Options& options) {
        JobSpec j;
        j.options = options;
        j.model = default_model_path();
        j.lines = 24;
        Sink::reset();
        const JobResult r = run_job(j);
        View v;
        if (!r.ok()) {
            v.error = r.describe();
            return v;
        }
        v = view_of(r.stream);
        if (v.error.empty() && v.planes.empty()) v.error = "no dot printed";
        return v;
    }

    // Prints base and base with the option's choice; their difference, or
    // nothing with a failure recorded.
    static bool effect(const Options& base, const View& b, const std::string& option, const std::string& choice,
                       Effect& out, View* variant = nullptr) {
        const View x = print(with(base, option, choice));
        EXPECT_EQ(x.error, "");
        if (!x.error.empty()) return false;
        out = difference(b, x);
        if (variant) *variant = x;
        return true;
    }

    // Every k-th entry in sanitizer builds, where a job costs five times more.
    static size_t stride(size_t n) { return ovcg_test::kSanitized && n > 20 ? 7 : 1; }
};

// ---- ColorModel, HighSpeed, Mode, AutoCut and the densities -----------------

// The effect the option translation gives a choice against a base job.
struct Base {
    std::string media;
    std::string colour_model;  // of the base job
};

Effect expected_effect(const Base& base, const std::string& option, const std::string& choice) {
    const int value = ovcg_test::media_choice_value(base.media);
    const ovcg_test::FrontEndMedia* row = ovcg_test::front_end_media(value);
    const bool gray_job = base.colour_model == "Gray" || base.colour_model == "Black2";
    // A gray page of a media whose gray modes use the colour inks keeps the
    // colour printer format.
    const bool black_only = gray_job && !row->gray;
    const bool yellow_back = base.colour_model == "YellowBack";
    Effect e;
    if (option == "HighSpeed") {
        if (choice == "On") e.commands = {"ESC U", "ESC ( e"};
    } else if (option == "Mode") {
        if (choice != "Standard" && !gray_job) e.planes = yellow_back ? std::set<int>{kK, kC, kM} : kCmyk;
    } else if (option == "AutoCut") {
        if (choice == "SingleCut" || choice == "DoubleCut") e.commands = {"AC", "SN 84"};
        if (choice == "NormalCut") e.commands = {"AC"};
    } else if (option == "BlackDensity") {
        if (choice != "100") e.planes = {kK};
    } else if (option == "ColorDensity") {
        if (choice != "100" && !black_only) e.planes = yellow_back ? std::set<int>{kC, kM} : std::set<int>{kC, kM, kY};
    }
    return e;
}

TEST_F(OptionEffects, EachChoiceActsWhereItsOptionSays) {
    // A roll media of the newer remote set, a cut-sheet media of the older
    // one, a media whose gray pages use the colour inks; colour, gray and
    // yellow-back pages.
    const Base bases[] = {{"Media1_Q1", "RGB"},   {"Media334_Q1", "RGB"}, {"Media281_Q3", "RGB"},
                          {"Media1_Q1", "Gray"},  {"Media281_Q3", "Gray"}, {"Media1_Q1", "YellowBack"}};
    size_t checked = 0;
    for (const Base& base : bases) {
        const Options options = {{"MediaType", base.media}, {"PageSize", "A4_Roll"}, {"ColorModel", base.colour_model}};
        const View b = print(options);
        ASSERT_EQ(b.error, "") << base.media << " " << base.colour_model;
        for (const char* option : {"HighSpeed", "Mode", "AutoCut", "BlackDensity", "ColorDensity"}) {
            std::vector<std::string> all = choices(option);
            ASSERT_FALSE(all.empty()) << option;
            // Every density on the first base; the ends, a neighbour of 100
            // and 100 itself on the others.
            if (&base != &bases[0] && std::string(option).find("Density") != std::string::npos)
                all = {"50", "95", "100", "150"};
            for (size_t i = 0; i < all.size(); i += stride(all.size())) {
                const std::string& c = all[i];
                SCOPED_TRACE(base.media + " " + base.colour_model + ": " + option + "=" + c);
                Effect got;
                View x;
                if (!effect(options, b, option, c, got, &x)) continue;
                const Effect want = expected_effect(base, option, c);
                EXPECT_EQ(got, want) << describe(got) << ", want " << describe(want);
                ++checked;
                // The values the choice sets.
                const std::string opt = option;
                if (opt == "AutoCut" && c != "Off") {
                    EXPECT_EQ(x.command("AC"), ovcg_test::bytes_of("'AC' 02 00 00 01"));
                    const int cut = c == "SingleCut" ? 1 : c == "DoubleCut" ? 2 : 0;
                    EXPECT_EQ(x.command("SN 84"), Bytes({'S', 'N', 3, 0, 0, ovcg_test::kModelSnCut, uint8_t(cut)}));
                }
                if (opt == "HighSpeed" && c == "On") {
                    EXPECT_EQ(x.command("ESC U"), Bytes({0x1B, 0x55, 0x00}));  // both directions
                    const ovcg_test::FrontEndMedia* row = ovcg_test::front_end_media(
                        base.colour_model == "Black2" ? ovcg_test::black2_media_value(ovcg_test::media_choice_value(base.media))
                                                      : ovcg_test::media_choice_value(base.media));
                    const ovcg_test::ModelDriverPrint setting{row->prt_x, row->prt_y, uint16_t(row->bits)};
                    EXPECT_EQ(x.command("ESC ( e"),
                              Bytes({0x1B, 0x28, 0x65, 0x02, 0x00, 0x00, ovcg_test::model_driver_dot_size(setting, true)}));
                    EXPECT_EQ(b.command("ESC ( e"),
                              Bytes({0x1B, 0x28, 0x65, 0x02, 0x00, 0x00, ovcg_test::model_driver_dot_size(setting)}));
                }
            }
        }
        // The five colour modes print five different colour pages.
        if (base.colour_model == "RGB") {
            std::vector<View> modes;
            for (const std::string& c : choices("Mode")) modes.push_back(print(with(options, "Mode", c)));
            for (size_t i = 0; i < modes.size(); ++i)
                for (size_t j = i + 1; j < modes.size(); ++j)
                    EXPECT_FALSE(difference(modes[i], modes[j]).planes.empty()) << base.media << " modes " << i << ", " << j;
        }
    }
    EXPECT_GT(checked, 0u);
}

TEST_F(OptionEffects, ColorModelSetsTheFormatsAndBlack2ItsSisterMedia) {
    // On an RGB base: YellowBack drops yellow and nothing else; Gray and
    // Black2 print the black plane alone (the colour planes as well on media
    // whose gray modes use the colour inks), with the mono-mode command of
    // the black format when the printer format changes; Black2 equals Gray
    // except on the media it moves, where the sister media's identifiers
    // come.
    const ovcg_test::ModelDescription model = ovcg_test::default_model();
    const std::vector<std::string> media = {"Media1_Q1", "Media1_Q2", "Media1_Q3", "Media330_Q2", "Media422_Q2",
                                            "Media281_Q3", "Media334_Q1", "Media436_Q1"};
    for (const std::string& m : media) {
        SCOPED_TRACE(m);
        const Options options = {{"MediaType", m}, {"PageSize", "A4_Roll"}, {"ColorModel", "RGB"}};
        const View rgb = print(options);
        ASSERT_EQ(rgb.error, "");
        const int value = ovcg_test::media_choice_value(m);
        const ovcg_test::FrontEndMedia* row = ovcg_test::front_end_media(value);
        ASSERT_NE(row, nullptr);

        Effect e;
        ASSERT_TRUE(effect(options, rgb, "ColorModel", "RGB", e));
        EXPECT_EQ(e, Effect{}) << describe(e);
        ASSERT_TRUE(effect(options, rgb, "ColorModel", "YellowBack", e));
        EXPECT_EQ(e, (Effect{{}, {kY}})) << describe(e);

        View gray, black2;
        ASSERT_TRUE(effect(options, rgb, "ColorModel", "Gray", e, &gray));
        EXPECT_TRUE(e.planes.count(kK)) << describe(e);
        if (!row->gray) {
            EXPECT_EQ(e, (Effect{{"ESC ( K"}, kCmyk})) << describe(e);
            EXPECT_EQ(gray.planes.size(), 1u);  // the black plane alone
            EXPECT_EQ(gray.planes.count(kK), 1u);
        } else {
            EXPECT_EQ(e.commands, std::set<std::string>{}) << describe(e);
        }
        ASSERT_TRUE(effect(options, rgb, "ColorModel", "Black2", e, &black2));
        const Effect moved = difference(gray, black2);
        const int sister = ovcg_test::black2_media_value(value);
        if (sister == value) {
            EXPECT_EQ(moved, Effect{}) << describe(moved);
        } else {
            // The sister media's paper identifiers, print mode and media
            // class; its print mode may draw other dots.
            EXPECT_TRUE(moved.commands.count("MI")) << describe(moved);
            const uint16_t number = uint16_t(value / 10), moved_to = uint16_t(ovcg_test::black2_media_number(value));
            const ovcg_test::FrontEndMedia* to = ovcg_test::front_end_media(sister);
            ASSERT_NE(to, nullptr);
            std::set<std::string> allowed = {"MI", "ESC ( C", "ESC ( S", "ESC ( c"};
            if (to->prt_x != row->prt_x || to->prt_y != row->prt_y) allowed.insert({"ESC ( U", "ESC ( D"});
            if (to->bits != row->bits) allowed.insert("ESC ( e");
            if (media_class_differs(model, number, moved_to)) allowed.insert(kMediaClassCommands.begin(), kMediaClassCommands.end());
            for (const std::string& k : moved.commands) EXPECT_TRUE(allowed.count(k)) << k;
            EXPECT_EQ(black2.command("MI"), expected_mi(ovcg_test::model_media_modes(model, moved_to)));
        }
    }
}

// ---- PageSize ---------------------------------------------------------------

TEST_F(OptionEffects, PageSizeSetsThePageGeometry) {
    // On the base media (300 dpi source, 600 dpi vertically) a source pixel
    // is two printer units: the paper size command carries 2W x 2H, the page
    // length 2H, and the page format's top and bottom follow the variant's
    // margin and print area (its top the larger of 2M and the 35-dot
    // minimum, its bottom 2(M + A)), less and plus two margin values of the
    // print mode, which the base job shows.
    const Options options = {{"MediaType", "Media1_Q2"}, {"PageSize", "A4_Roll"}};
    const View b = print(options);
    ASSERT_EQ(b.error, "");
    const Bytes base_format = b.command("ESC ( c");
    ASSERT_EQ(base_format.size(), 13u);
    const int64_t m1 = 70 - int64_t(le(base_format, 5, 4));
    const int64_t m2 = int64_t(le(base_format, 9, 4)) - 2 * (3508 - 35);

    const std::vector<std::string> all = choices("PageSize");
    ASSERT_EQ(all.size(), 148u);
    for (size_t i = 0; i < all.size(); i += stride(all.size())) {
        const std::string& c = all[i];
        SCOPED_TRACE(c);
        ovcg_test::FrontEndPaper paper{};
        ovcg_test::FrontEndVariant variant{};
        ASSERT_TRUE(ovcg_test::page_size_choice(c, paper, variant));
        Effect e;
        View x;
        if (!effect(options, b, "PageSize", c, e, &x)) continue;
        for (const std::string& k : e.commands)
            EXPECT_TRUE(k == "ESC ( C" || k == "ESC ( S" || k == "ESC ( c") << k << ": " << describe(e);
        const uint32_t w = uint32_t(paper.width), h = uint32_t(paper.height);
        EXPECT_EQ(x.command("ESC ( S"), command_bytes("1B 28 53 08 00", {2 * w, 2 * h}));
        EXPECT_EQ(x.command("ESC ( C"), command_bytes("1B 28 43 04 00", {2 * h}));
        const int64_t top = std::max<int64_t>(2 * variant.margin_y, 70) - m1;
        const int64_t bottom = 2 * (int64_t(variant.margin_y) + h - variant.height_cut) + m2;
        EXPECT_EQ(x.command("ESC ( c"),
                  command_bytes("1B 28 63 08 00", {uint32_t(top), uint32_t(bottom)}));
        // The same paper and variant as the base: the same stream.
        if (c == "A4_Roll") {
            EXPECT_EQ(e, Effect{}) << describe(e);
        }
        // Only the printable height differs from the base: its lines fall
        // where they fell.
        if (w == 2480) {
            EXPECT_EQ(e.planes, std::set<int>{}) << describe(e);
        }
    }
}

// ---- MediaType ----------------------------------------------------------------

TEST_F(OptionEffects, MediaTypeSetsThePrintMode) {
    // Against Media1_Q1 (300 x 600 dpi, two bits, roll): the paper
    // identifiers change with the media number, the unit and resolution
    // commands with the printer resolution (and decode to it), the dot-size
    // command with the bits per dot, the page geometry in printer units with
    // the vertical printer or the source resolution, the media class's
    // commands (mono mode, image type, paper thickness and path) with the
    // model's media class; nothing else.
    const ovcg_test::ModelDescription model = ovcg_test::default_model();
    const Options options = {{"MediaType", "Media1_Q1"}, {"PageSize", "A4_Roll"}};
    const View b = print(options);
    ASSERT_EQ(b.error, "");
    const ovcg_test::FrontEndMedia& base = *ovcg_test::front_end_media(11);
    const auto media_of = [&](uint16_t number) -> const ovcg_test::ModelMedia* {
        for (const ovcg_test::ModelMedia& m : model.media)
            if (m.number == number) return &m;
        return nullptr;
    };

    const std::vector<std::string> all = choices("MediaType");
    ASSERT_EQ(all.size(), 74u);
    for (size_t i = 0; i < all.size(); i += stride(all.size())) {
        const std::string& c = all[i];
        SCOPED_TRACE(c);
        const int value = ovcg_test::media_choice_value(c);
        const ovcg_test::FrontEndMedia* row = ovcg_test::front_end_media(value);
        ASSERT_NE(row, nullptr);
        const uint16_t number = uint16_t(value / 10);
        const ovcg_test::ModelMedia* media = media_of(number);
        ASSERT_NE(media, nullptr);
        const ovcg_test::ModelMediaModes modes = ovcg_test::model_media_modes(model, number);
        Effect e;
        View x;
        if (!effect(options, b, "MediaType", c, e, &x)) continue;

        std::set<std::string> required, allowed;
        if (number != 1) required.insert("MI");
        if (row->prt_x != base.prt_x || row->prt_y != base.prt_y) required.insert({"ESC ( U", "ESC ( D"});
        if (row->bits != base.bits) required.insert("ESC ( e");
        if (row->prt_y != base.prt_y) required.insert({"ESC ( C", "ESC ( S", "ESC ( c"});
        allowed = required;
        if (row->src_y != base.src_y || row->src_x != base.src_x) allowed.insert({"ESC ( C", "ESC ( S", "ESC ( c"});
        if (media_class_differs(model, number, 1)) allowed.insert(kMediaClassCommands.begin(), kMediaClassCommands.end());
        for (const std::string& k : required) EXPECT_TRUE(e.commands.count(k)) << k << ": " << describe(e);
        for (const std::string& k : e.commands) EXPECT_TRUE(allowed.count(k)) << k << ": " << describe(e);

        // The values the print mode carries.
        EXPECT_EQ(x.command("MI"), expected_mi(modes));
        const ovcg_test::ModelDriverPrint setting{row->prt_x, row->prt_y, uint16_t(row->bits)};
        EXPECT_EQ(x.command("ESC ( e"), Bytes({0x1B, 0x28, 0x65, 0x02, 0x00, 0x00, ovcg_test::model_driver_dot_size(setting)}));
        const Bytes unit = x.command("ESC ( U"), resolution = x.command("ESC ( D");
        ASSERT_EQ(unit.size(), 10u);
        ASSERT_EQ(resolution.size(), 9u);
        ASSERT_TRUE(unit[6] && unit[7] && resolution[7] && resolution[8]);
        EXPECT_EQ(le(unit, 8, 2) / unit[6], uint32_t(row->prt_y));
        EXPECT_EQ(le(unit, 8, 2) / unit[7], uint32_t(row->prt_x));
        EXPECT_EQ(le(resolution, 5, 2) / resolution[7], uint32_t(row->prt_y));
        EXPECT_EQ(le(resolution, 5, 2) / resolution[8], uint32_t(row->prt_x));
    }
}

// ---- The resolution the model gives the head --------------------------------

TEST_F(OptionEffects, AResolutionTheUnitCommandCannotCarryIsRefusedAtJobStart) {
    // The setting of the default media (300 x 600 dpi, base 2400) with a
    // vertical resolution that leaves more than 255 steps (the step stored
    // where the resolution belongs), that does not divide the base, or none:
    // the job fails at its start and no raster command is written.
    const struct {
        const char* name;
        uint16_t vertical;
    } cases[] = {{"steps stored", 4}, {"not dividing", 700}, {"none", 0}, {"the resolution", 600}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ovcg_test::ModelDescription model = ovcg_test::default_model();
        const uint32_t id = ovcg_test::model_driver_head_mode_id({300, 600, 2});
        for (ovcg_test::HcEncoder& e : model.head_control.encoders)
            if (e.id == id) e.v_resolution = c.vertical;
        ovcg_test::TempFile file("ovcg_e2e_model");
        ASSERT_TRUE(ovcg_test::build_model(model).write_file(file.path()));
        JobSpec j;
        j.options = {{"MediaType", "Media1_Q1"}, {"PageSize", "A4_Roll"}};
        j.model = file.path();
        j.lines = 8;
        Sink::reset();
        const JobResult r = run_job(j);
        const bool fits = c.vertical == 600;
        EXPECT_EQ(r.start_job, fits ? OVCG_OK : OVCG_ERR_ENGINE) << r.describe();
        const ovcg_test::StreamCheck check = ovcg_test::ValidateStream(r.stream);
        ASSERT_TRUE(check.ok) << check.error;
        EXPECT_EQ(check.count("ESC ( D") > 0, fits);
        EXPECT_EQ(check.count("ESC i") > 0, fits);
    }
}

}  // namespace
}  // namespace ovcg_e2e
