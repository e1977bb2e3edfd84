#include "hxr/control/hxr_index.h"
#include "support/hxr_fixture.h"
#include "support/model_index.h"
#include "support/resource_cuts.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace ovcg_test;
constexpr uint32_t kNo = 0xFFFFFFFFu;

class IndexText : public HxrTest {
protected:
    HXRIndexParser* parse(const std::string& text) {
        const GuardedCopy g(text_bytes(text));
        const HXRServiceTable* t = svc.table();
        return HXRCreateIndexResParser(g.data(), g.size(), mm, t->StrCmp, t->StrCpy, t->AtoI, t->StrLen);
    }
};

std::map<std::string, std::string> row_a() {
    return {{"CMM-ID", "10"},     {"INK-ID", "60"},     {"cSMB-ID", "41"},    {"mSMB-ID", "51"},   {"SMB-ID", "0"},
            {"bSMB-ID", "-"},     {"ubec_dither", "500"}, {"ubec_vinfo", "520"}, {"ink_set", "0"},   {"Micro", "MW1"},
            {"Halftone", "DITHER"}, {"media", "Coated"}, {"H-RES", "300"},    {"V-RES", "600"},    {"DocType", "NORMAL"},
            {"subType", "0"},     {"OUT_BIT", "2"},     {"cDbG0", "120"},     {"cDbG255", "100"},  {"mDbg0", "110"},
            {"mDbg255", "90"}};
}

IndexTextSpec small_spec() {
    IndexTextSpec s;
    s.rows = {row_a(), row_a()};
    s.rows[1]["media"] = "Film";
    s.rows[1]["DocType"] = "PHOTO";
    s.rows[1]["SMB-ID"] = "44";
    s.rows[1]["bSMB-ID"] = "45";
    s.rows[1]["ink_set"] = "12";
    s.halftones = {"HT0", "HT1", "HT2", "DITHER", "HT4", "HED", "HED_P"};
    s.media = {"Plain", "Coated", "Film"};
    s.doc_a = {"NORMAL", "DOC1", "PHOTO"};
    s.doc_b = {"NORMAL", "PHOTO"};
    return s;
}

// The first row as the small recipe writes it.
void expect_row_a(const HXRIndexRow& r) {
    const uint32_t numbers[] = {r.cmmId, r.inkId, r.cSmbId, r.mSmbId, r.smbId, r.bSmbId, r.ubecDither, r.ubecVinfo,
                                r.halftone, r.media, r.hRes, r.vRes, r.docTypeA, r.docTypeB, r.subType, r.outBit,
                                r.cDbG0, r.cDbG255, r.mDbg0, r.mDbg255};
    const uint32_t want[] = {10, 60, 41, 51, 0, kNo, 500, 520, 3, 1, 300, 600, 0, 0, 0, 2, 120, 100, 110, 90};
    for (size_t i = 0; i < std::size(want); ++i) EXPECT_EQ(numbers[i], want[i]) << "field " << i;
    EXPECT_STREQ(r.inkSet, "0");
    EXPECT_STREQ(r.micro, "MW1");
}

std::vector<std::string> names(const char* stem, size_t n) {
    std::vector<std::string> v;
    char name[32];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(name, sizeof name, "%s%zu", stem, i);
        v.emplace_back(name);
    }
    return v;
}

// A recipe changed by f.
IndexTextSpec with(std::function<void(IndexTextSpec&)> f) {
    IndexTextSpec s = small_spec();
    f(s);
    return s;
}

std::string replaced(std::string t, const std::string& from, const std::string& to) {
    const size_t at = t.find(from);
    if (at != std::string::npos) t.replace(at, from.size(), to);
    return t;
}

// The text with every CR LF replaced.
std::string line_ends(std::string t, const std::string& eol) {
    for (size_t at = t.find("\r\n"); at != std::string::npos; at = t.find("\r\n", at + eol.size()))
        t.replace(at, 2, eol);
    return t;
}

// Lines the small recipe writes, for padding a text up to the line limits.
size_t line_count(const IndexTextSpec& s) {
    const std::string t = write_index_text(s);
    return size_t(std::count(t.begin(), t.end(), '\n'));
}

using Check = std::function<void(const HXRIndexParser&)>;
struct TextCase {
    const char* name;
    std::string text;
    uint32_t code;  // 0 with no check: refused with nothing recorded
    Check check;    // set: the parse succeeds and this holds
};

Check media_at(std::vector<uint32_t> want) {
    return [want](const HXRIndexParser& p) {
        ASSERT_EQ(size_t(p.count), want.size());
        for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(p.rows[i].media, want[i]) << i;
    };
}

IndexTextSpec media_spec(const std::string& base, std::vector<std::string> media, size_t per_line, bool blank) {
    IndexTextSpec s = small_spec();
    s.media_base = base;
    s.media = media;
    s.media_per_line = per_line;
    s.blank_before_at = blank;
    s.rows = {row_a(), row_a()};
    s.rows[0]["media"] = "A";
    s.rows[1]["media"] = "B";
    return s;
}

TEST_F(IndexText, TextsAndTheirRows) {
    const IndexTextSpec base = small_spec();
    const std::string text = write_index_text(base);
    const size_t lines = line_count(base);
    const std::string long_name(31, 'n');
    IndexTextSpec many_lines = base, too_many_lines = base, endless = base;
    many_lines.preamble.assign(2048 - lines, "skipped");
    too_many_lines.preamble.assign(2049 - lines, "skipped");
    // Rows from line 2046 on, and the text ends after line 2047 (2048 line ends).
    endless.preamble.assign(2043, "skipped");
    std::string endless_text = write_index_text(endless);
    size_t cut = 0;
    for (int n = 0; n < 2048; ++n) cut = endless_text.find("\r\n", cut) + 2;
    endless_text.resize(cut);

    const TextCase cases[] = {
        {"small", text, 0, [](const HXRIndexParser& p) {
             ASSERT_EQ(p.count, 2);
             expect_row_a(p.rows[0]);
             EXPECT_EQ(p.rows[1].media, 2u);
             EXPECT_EQ(p.rows[1].docTypeA, 2u);
             EXPECT_EQ(p.rows[1].docTypeB, 1u);
         }},
        {"LF only", line_ends(text, "\n"), 0, nullptr},
        {"CR only", line_ends(text, "\r"), 0, nullptr},
        {"a lone LF", replaced(text, "MW1", "MW\n1"), 0, nullptr},
        {"a lone CR", replaced(text, "MW1", "MW\r1"), 0, nullptr},
        {"text ends in CR", text + "\r", 0, nullptr},
        {"15 header digits", replaced(text, "//1\r", "//123456789012345 x\r"), 0,
         [](const HXRIndexParser& p) { EXPECT_EQ(p.count, 2); }},
        {"16 header digits", replaced(text, "//1\r", "//1234567890123456\r"), 0, nullptr},
        {"no header digits", replaced(text, "//1\r", "//\r"), 0, [](const HXRIndexParser& p) { EXPECT_EQ(p.count, 2); }},
        {"no header", replaced(replaced(text, "//1\r", "/1\r"), "\n//\r", "\n/\r"), 0, nullptr},
        {"2048 line ends", write_index_text(many_lines), 0, [](const HXRIndexParser& p) { EXPECT_EQ(p.count, 2); }},
        {"2049 line ends", write_index_text(too_many_lines), kHxrIndexTooManyLines, nullptr},
        {"rows reach line 2047", endless_text, 0, nullptr},
        {"the last list unterminated", text.substr(0, text.size() - 2), 0, nullptr},
        {"media base 3", write_index_text(media_spec("3", {"A", "B"}, 0, false)), 0, media_at({3, 4})},
        {"media base 0", write_index_text(media_spec("0", {"A", "B"}, 0, false)), 0, media_at({1, 2})},
        {"media without base", write_index_text(media_spec("", {"A", "B"}, 0, false)), 0, media_at({0, 1})},
        {"media base not a number", write_index_text(media_spec("3x", {"A", "B"}, 0, false)), 0, media_at({1, 2})},
        {"media over two lines", write_index_text(media_spec("", {"A", "B"}, 1, false)), 0, media_at({0, 1})},
        {"media over three lines with base", write_index_text(media_spec("5", {"A", "B"}, 1, false)), 0,
         media_at({5, 6})},
        {"blank before the @", write_index_text(media_spec("", {"A", "B"}, 1, true)), 0, media_at({0, 2})},
        {"empty line after an @", replaced(write_index_text(media_spec("", {"A", "B"}, 1, false)), "A@\r\nB", "A@\r\n\r\nB"),
         0, nullptr},
        {"63 column names", write_index_text(with([](IndexTextSpec& s) {
             for (const auto& n : names("x", 42)) s.columns.push_back(n);
         })), 0, [](const HXRIndexParser& p) { expect_row_a(p.rows[0]); }},
        {"64 column names", write_index_text(with([](IndexTextSpec& s) {
             for (const auto& n : names("x", 43)) s.columns.push_back(n);
         })), kHxrIndexTooManyNames, nullptr},
        {"64 Halftone names", write_index_text(with([](IndexTextSpec& s) { s.halftones = names("h", 64); })),
         kHxrIndexTooManyNames, nullptr},
        {"63 Halftone names", write_index_text(with([](IndexTextSpec& s) {
             s.halftones = names("h", 63);
             s.halftones[62] = "DITHER";
         })), 0, [](const HXRIndexParser& p) { EXPECT_EQ(p.rows[0].halftone, 62u); }},
        {"255 media", write_index_text(with([](IndexTextSpec& s) {
             s.media = names("m", 255);
             s.media[254] = "Coated";
             s.media_per_line = 40;
         })), 0, [](const HXRIndexParser& p) { EXPECT_EQ(p.rows[0].media, 254u); }},
        {"256 media", write_index_text(with([](IndexTextSpec& s) {
             s.media = names("m", 256);
             s.media_per_line = 40;
         })), kHxrIndexTooManyMedia, nullptr},
        {"35 DocTypes", write_index_text(with([](IndexTextSpec& s) { s.doc_b = names("d", 35); })), 0,
         [](const HXRIndexParser& p) { EXPECT_EQ(p.rows[0].docTypeB, kNo); }},
        {"36 DocTypes in list A", write_index_text(with([](IndexTextSpec& s) { s.doc_a = names("d", 36); })),
         kHxrIndexTooManyDocTypes, nullptr},
        {"36 DocTypes in list B", write_index_text(with([](IndexTextSpec& s) { s.doc_b = names("d", 36); })),
         kHxrIndexTooManyDocTypes, nullptr},
        {"64 names in a row", replaced(write_index_text(with([](IndexTextSpec& s) {
             for (const auto& n : names("x", 42)) s.columns.push_back(n);
         })), " -\r", " - extra\r"), kHxrIndexTooManyNames, nullptr},
        {"a last name with @", replaced(text, "90\r", "90@\r"), 0,
         [](const HXRIndexParser& p) { EXPECT_EQ(p.rows[0].mDbg255, 90u); }},
        {"an empty row", replaced(text, "\r\n10 ", "\r\n\r\n10 "), 0, [](const HXRIndexParser& p) {
             ASSERT_EQ(p.count, 3);
             const HXRIndexRow& r = p.rows[0];
             for (uint32_t v : {r.cmmId, r.halftone, r.media, r.docTypeA, r.docTypeB, r.outBit, r.mDbg255})
                 EXPECT_EQ(v, kNo);
             EXPECT_STREQ(r.inkSet, "");
         }},
        {"blanks and tabs fold", replaced(replaced(text, "\r\n10 60 ", "\r\n \t 10\t\t60  "), "90\r", "90 \t\r"), 0,
         [](const HXRIndexParser& p) { expect_row_a(p.rows[0]); }},
        {"shuffled columns", write_index_text(with([](IndexTextSpec& s) {
             std::reverse(s.columns.begin(), s.columns.end());
             std::rotate(s.columns.begin(), s.columns.begin() + 5, s.columns.end());
         })), 0, [](const HXRIndexParser& p) { expect_row_a(p.rows[0]); }},
        {"a column missing", write_index_text(with([](IndexTextSpec& s) { s.columns.erase(s.columns.begin()); })), 0,
         [](const HXRIndexParser& p) { EXPECT_EQ(p.rows[0].cmmId, kNo); }},
        {"numbers", write_index_text(with([](IndexTextSpec& s) {
             s.rows[0]["CMM-ID"] = "007";
             s.rows[0]["INK-ID"] = "12a";
             s.rows[0]["cSMB-ID"] = "-5";
             s.rows[0]["media"] = "Nowhere";
         })), 0, [](const HXRIndexParser& p) {
             EXPECT_EQ(p.rows[0].cmmId, 7u);
             EXPECT_EQ(p.rows[0].inkId, kNo);
             EXPECT_EQ(p.rows[0].cSmbId, kNo);
             EXPECT_EQ(p.rows[0].media, kNo);
         }},
        {"texts of 31 and 32 characters", write_index_text(with([&](IndexTextSpec& s) {
             s.rows[0]["ink_set"] = long_name;
             s.rows[0]["Micro"] = long_name + "n";
         })), 0, [&](const HXRIndexParser& p) {
             EXPECT_EQ(std::string(p.rows[0].inkSet), long_name);
             EXPECT_STREQ(p.rows[0].micro, "");
         }},
        {"no rows", write_index_text(with([](IndexTextSpec& s) { s.rows.clear(); })), 0,
         [](const HXRIndexParser& p) { EXPECT_EQ(p.count, 0); }},
    };
    for (const auto& c : cases) {
        HXRSetErrorInfo(0);
        HXRIndexParser* p = parse(c.text);
        EXPECT_EQ(p != nullptr, bool(c.check)) << c.name;
        EXPECT_EQ(error(), c.code) << c.name;
        if (p && c.check) {
            SCOPED_TRACE(c.name);
            c.check(*p);
        }
        if (p) {
            EXPECT_EQ(HXRDeleteIndexResParser(p, mm), 0u);
        }
    }
    HXRSetErrorInfo(0);
}

TEST_F(IndexText, LinesOfAtMost1022Characters) {
    // A row whose folded text is exactly n characters: the small row and a
    // further cell of x's (the trailing blank of a row is dropped first).
    const std::string text = write_index_text(small_spec());
    const size_t row_at = text.find("\r\n10 ") + 2;
    const std::string row = text.substr(row_at, text.find('\r', row_at) - row_at);
    for (size_t n : {size_t(1022), size_t(1023)}) {
        const std::string longer = row + " " + std::string(n - row.size() - 1, 'x');
        for (const std::string& line : {longer, longer + " ", longer + "\t\t"}) {
            HXRIndexParser* p = parse(replaced(text, row + "\r", line + "\r"));
            EXPECT_EQ(p != nullptr, n == 1022) << n << " " << line.size();
            if (p) HXRDeleteIndexResParser(p, mm);
        }
    }
    EXPECT_EQ(error(), 0u);
}

TEST_F(IndexText, TruncatedTextsNeverOverrun) {
    // The model's index with its first rows (every line kind it has).
    IndexTextSpec s = model_index(default_model());
    s.rows.resize(12);
    const Bytes b = text_bytes(write_index_text(s));
    const HXRServiceTable* t = svc.table();
    for_each_prefix(b, [&](const uint8_t* data, uint32_t n) {
        HXRIndexParser* p = HXRCreateIndexResParser(data, n, mm, t->StrCmp, t->StrCpy, t->AtoI, t->StrLen);
        // The last list must end in its CR LF.
        EXPECT_EQ(p, nullptr) << n;
        if (p) HXRDeleteIndexResParser(p, mm);
    });
    HXRSetErrorInfo(0);
}

TEST_F(IndexText, QueriesMatchExactlyTheirRows) {
    IndexTextSpec s = small_spec();
    s.rows.push_back(s.rows[0]);
    s.rows[2]["Micro"] = "MW9";  // differs only in Micro: both rows match
    s.rows[2]["OUT_BIT"] = "1";
    s.rows.push_back(s.rows[2]);
    s.rows[3]["ink_set"] = "7";
    HXRIndexParser* p = parse(write_index_text(s));
    ASSERT_NE(p, nullptr);
    // ink set, media, doc, sub, halftone, h, v, bits
    const struct {
        uint32_t q[8];
        uint32_t count;
        int first;  // row of the first match
    } cases[] = {
        {{1, 1, 0, 0, 3, 300, 600, 2}, 1, 0},  {{5, 1, 0, 0, 3, 300, 600, 2}, 1, 0},  // ink set not compared
        {{0, 1, 0, 0, 3, 300, 600, 2}, 1, 0},                                        // list B: NORMAL is 0 too
        {{1, 2, 2, 0, 3, 300, 600, 2}, 1, 1},  {{0, 2, 2, 0, 3, 300, 600, 2}, 0, -1},  // PHOTO is 1 in list B
        {{0, 2, 1, 0, 3, 300, 600, 2}, 1, 1},  {{1, 1, 0, 0, 3, 300, 600, 1}, 2, 2},
        {{1, 1, 0, 1, 3, 300, 600, 2}, 0, -1}, {{1, 1, 0, 0, 5, 300, 600, 2}, 0, -1},
        {{1, 1, 0, 0, 3, 600, 600, 2}, 0, -1}, {{1, 1, 0, 0, 3, 300, 300, 2}, 0, -1},
    };
    for (const auto& c : cases) {
        const uint32_t* q = c.q;
        EXPECT_EQ(HXRCountMatchedMode(p, q[0], q[1], q[2], q[3], q[4], q[5], q[6], q[7]), c.count);
        const _HXR_HALFTONE_INFO info = {q[0], q[1], q[2], q[3], q[4], q[5], q[6], q[7], 0, 0, 1};
        EXPECT_EQ(HXRGetMatchedPrintMode(p, &info), c.count);
        const HXRIndexMatch m = HXRSearchPrintMode(p, q[0], q[1], q[2], q[3], q[4], q[5], q[6], q[7], 1);
        EXPECT_EQ(m.row, c.first < 0 ? nullptr : &p->rows[c.first]);
        EXPECT_EQ(m.inkSet, q[0]);
    }
    const HXRIndexMatch second = HXRSearchPrintMode(p, 1, 1, 0, 0, 3, 300, 600, 1, 2);
    EXPECT_EQ(second.row, &p->rows[3]);
    EXPECT_EQ(HXRSearchPrintMode(p, 1, 1, 0, 0, 3, 300, 600, 1, 3).row, nullptr);
    EXPECT_EQ(HXRSearchPrintMode(p, 1, 1, 0, 0, 3, 300, 600, 1, 0).row, nullptr);
    EXPECT_EQ(HXRCountMatchedMode(nullptr, 1, 1, 0, 0, 3, 300, 600, 1), 0u);
    EXPECT_EQ(HXRGetMatchedPrintMode(p, nullptr), 0u);

    // The info: SMB-ID 0 falls back by ink set, a given one wins; bSMB-ID
    // likewise; the double gammas by ink set.
    const HXRServiceTable* t = svc.table();
    const struct {
        uint32_t ink_set, media, doc;
        uint32_t sml, sml2, dbg0, dbg255, black;
    } infos[] = {{1, 1, 0, 41, kNo, 120, 100, 0}, {0, 1, 0, 51, kNo, 110, 90, 0}, {3, 2, 2, 44, 45, 120, 100, 12}};
    for (const auto& w : infos) {
        const _HXR_HALFTONE_INFO q = {w.ink_set, w.media, w.doc, 0, 3, 300, 600, 2, 0, 0, 1};
        HXRIndexInfo* info = HXRCreateIndexInfo(p, &q, 1, mm, t->StrCpy, t->AtoI);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->lutId, 10u);
        EXPECT_EQ(info->rateId, 60u);
        EXPECT_EQ(info->smlId, w.sml);
        EXPECT_EQ(info->sml2Id, w.sml2);
        EXPECT_EQ(info->ditherId, 500u);
        EXPECT_EQ(info->ditherOffsetId, 520u);
        EXPECT_EQ(info->dblGamma0, w.dbg0);
        EXPECT_EQ(info->dblGamma255, w.dbg255);
        EXPECT_EQ(info->blackInkCode, w.black);
        EXPECT_STREQ(info->micro, "MW1");
        EXPECT_EQ(HXRDeleteIndexInfo(info, mm), 0u);
    }
    const _HXR_HALFTONE_INFO none = {1, 9, 0, 0, 3, 300, 600, 2, 0, 0, 1};
    EXPECT_EQ(HXRCreateIndexInfo(p, &none, 1, mm, t->StrCpy, t->AtoI), nullptr);
    const HXRIndexMatch m = {&p->rows[0], 1};
    EXPECT_EQ(HXRGetIndexData(m, t->AtoI, kHxrIndexItemInkSet), kNo);
    EXPECT_EQ(HXRGetIndexData(m, t->AtoI, 12), kNo);
    EXPECT_EQ(HXRGetIndexData({nullptr, 1}, t->AtoI, kHxrIndexItemLut), kNo);
    char text[kHxrIndexTextSize] = "junk";
    HXRGetIndexString(&p->rows[0], kHxrIndexItemLut, text, t->StrCpy);
    EXPECT_STREQ(text, "");
    HXRGetIndexString(&p->rows[0], kHxrIndexItemMicro, text, t->StrCpy);
    EXPECT_STREQ(text, "MW1");
    EXPECT_EQ(HXRDeleteIndexResParser(p, mm), 0u);
    EXPECT_EQ(HXRDeleteIndexResParser(nullptr, mm), kHxrIndexParserNone);
    expect_error(kHxrIndexParserNone);
    EXPECT_EQ(HXRDeleteIndexInfo(nullptr, mm), kHxrIndexInfoNone);
    expect_error(kHxrIndexInfoNone);
}

TEST(IndexSwitch, OnlyLutAndSmlSwitch) {
    const uint32_t want[] = {0, 1, 1, 0, 0, 0, 0, 0};
    for (uint32_t kind = 0; kind < 8; ++kind) EXPECT_EQ(HXRCheckSwitchResource(kind), want[kind]) << kind;
    EXPECT_EQ(HXRCheckSwitchResource(8), kNo);
    EXPECT_EQ(HXRCheckSwitchResource(kNo), kNo);
    EXPECT_EQ(SwitchResouceInfo[8].kind, kNo);
}

TEST_F(IndexText, ModelIndexHoldsEveryPrintModeOnce) {
    const ModelDescription model = default_model();
    HXRIndexParser* p = parse(write_index_text(model_index(model)));
    ASSERT_NE(p, nullptr);
    std::vector<ModelPrintMode> modes = model_print_modes(model);
    for (const ModelPrintMode& m : model_driver_print_modes(model)) modes.push_back(m);
    EXPECT_EQ(size_t(p->count), modes.size());
    for (const ModelPrintMode& m : modes)
        for (uint32_t ink_set : {0u, 1u}) {
            const uint32_t n = HXRCountMatchedMode(p, ink_set, m.media, m.doc_type, m.sub_type, m.ht_type, m.h_res,
                                                   m.v_res, m.out_bits);
            // Ink set 0 has no monochrome-photo rows (list B lacks the type).
            EXPECT_EQ(n, ink_set == 0 && m.doc_type == kModelTnmxDocType ? 0u : 1u);
        }
    EXPECT_EQ(HXRDeleteIndexResParser(p, mm), 0u);
}

}  // namespace
