#include "support/stream_validator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using ovcg_test::SpoolCheck;
using ovcg_test::StreamCheck;
using ovcg_test::StreamItemKind;
using ovcg_test::ValidateSpool;
using ovcg_test::ValidateStream;

const auto& B = ovcg_test::bytes_of;

std::vector<std::string> Names(const StreamCheck& c) {
    std::vector<std::string> n;
    for (const auto& it : c.items) n.push_back(it.name);
    return n;
}

const std::string kEnter = "1B 28 52 08 00 00 'REMOTE1'";
const std::string kExit = "1B 00 00 00";

TEST(StreamValidator, AcceptsEveryKindOfCommand) {
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> items;
    } cases[] = {
        {"empty", "", {}},
        {"control bytes", "00 0A 0C 0D 11", {"NUL", "LF", "FF", "CR", "DC1"}},
        {"job-language header", "00 00 00 1B 01 '@KRQ 1284.4' 0A '@KRQ     ' 0A",
         {"NUL", "NUL", "NUL", "ESC 01", "@KRQ 1284.4", "@KRQ     "}},
        {"short escapes", "1B 40 1B 06 1B 55 01 1B 19 43 1B 72 02 1B 2B FF 1B 24 10 00 1B 5C FF FF",
         {"ESC @", "ESC 06", "ESC U", "ESC EM", "ESC r", "ESC +", "ESC $", "ESC \\"}},
        {"long escapes", "1B 28 55 05 00 02 02 02 A0 05 1B 28 55 01 00 0A 1B 28 63 08 00 01 00 00 00 02 00 00 00"
                         " 1B 28 76 05 00 01 00 00 00 01 1B 28 64 02 00 00 00 1B 28 66 03 00 01 AA BB",
         {"ESC ( U", "ESC ( U", "ESC ( c", "ESC ( v", "ESC ( d", "ESC ( f"}},
        {"plain raster", "1B 69 00 00 01 02 00 02 00 11 22 33 44 0D", {"ESC i", "CR"}},
        {"coded raster", "1B 69 00 01 01 03 00 02 00 FE 00 02 AA BB CC", {"ESC i"}},
        {"block raster", "1B 69 00 05 01 10 00 10 00 00 03 00 00 00 FE 00 00", {"ESC i"}},
        {"dot raster", "1B 2E 00 0A 0A 02 09 00 01 02 03 04", {"ESC ."}},
        {"remote mode", kEnter + " 'LD' 00 00 'SN' 01 00 00 'SN' 03 00 00 05 06 'JS' 04 00 00 00 00 00"
                                 " 'JX' 08 00 00 00 01 01 01 08 01 'D' 'EX' 06 00 00 00 00 00 05 01"
                                 " 'EX' 08 00 00 00 00 00 37 00 AA BB 'ZZ' 01 00 07 " + kExit,
         {"REMOTE1", "LD", "SN", "SN", "JS", "JX", "EX 05", "EX 37", "ZZ", "REMOTE EXIT"}},
        {"mode switches", "1B 28 52 03 00 00 'P3' 1B 28 52 05 00 00 'PAGE'", {"P3", "PAGE"}},
        {"level-3 records", "1B 70 00 00 'proc' 1B 70 00 03 'endp' 'E:' 01"
                            " 1B 64 00 0E 'dsnd' '#:' 00 01 'S:' 00 01 '+:' 00 00 00 03 AA BB CC 1B 40",
         {"proc", "endp", "dsnd", "ESC @"}},
        {"page language", "1D '2mw{E' 01 02 1D '10pmE' 1D '0;.20muE' 1D '-1;100;200psE' 1D '2pcsO' 1D '0lbdI'",
         {"GS mw", "GS pm", "GS mu", "GS ps", "GS pcs", "GS lbd"}},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> s = B(c.bytes);
        const StreamCheck r = ValidateStream(s);
        EXPECT_TRUE(r.ok) << c.name << ": " << r.error;
        EXPECT_EQ(Names(r), c.items) << c.name;
        // The items tile the stream.
        size_t at = 0;
        for (const auto& it : r.items) {
            EXPECT_EQ(it.offset, at) << c.name << " " << it.name;
            at += it.length;
        }
        EXPECT_EQ(at, s.size()) << c.name;
    }
    const StreamCheck r = ValidateStream(B("1B 40 " + kEnter + " 'LD' 00 00 " + kExit + " 1B 40"));
    EXPECT_EQ(r.names(StreamItemKind::kRemoteCommand), (std::vector<std::string>{"LD"}));
    EXPECT_EQ(r.count("ESC @"), 2u);
}

TEST(StreamValidator, RefusesMalformedCommands) {
    struct Case {
        const char* name;
        std::string bytes;
        const char* error;
    } cases[] = {
        {"stray byte", "41", "stray byte 41"},
        {"unknown escape", "1B 7A", "unknown escape command 7A"},
        {"remote exit outside remote mode", kExit, "remote exit outside remote mode"},
        {"unknown long escape", "1B 28 7A 00 00", "unknown long escape"},
        {"bad long-escape count", "1B 28 55 02 00 01 02", "bad count 2 for ESC ( U"},
        {"unknown mode switch", "1B 28 52 03 00 00 'XY'", "unknown mode switch"},
        {"unterminated remote mode", kEnter + " 'LD' 00 00", "stream ends in remote mode"},
        {"escape in remote mode", kEnter + " 1B 40 00 00", "escape command inside remote mode"},
        {"remote exit cut", kEnter + " 1B 00", "truncated remote exit"},
        {"lower-case remote command", kEnter + " 'ld' 00 00 " + kExit, "bad remote command name"},
        {"fixed remote command with a wrong count", kEnter + " 'AC' 03 00 00 01 02 " + kExit, "bad count 3 for remote command AC"},
        {"remote command without its 00", kEnter + " 'IR' 02 00 01 01 " + kExit, "without its leading 00"},
        {"JX item overrunning", kEnter + " 'JX' 05 00 00 00 08 05 01 " + kExit, "JX item overruns"},
        {"JX item cut", kEnter + " 'JX' 03 00 00 00 08 " + kExit, "truncated JX item"},
        {"JS below its fixed bytes", kEnter + " 'JS' 01 00 00 " + kExit, "bad count 1 for remote command JS"},
        {"JS data not terminated", kEnter + " 'JS' 04 00 00 'A' 'B' 'C' " + kExit, "JS data not terminated"},
        {"unknown EX sub-code", kEnter + " 'EX' 06 00 00 00 00 00 99 01 " + kExit, "unknown EX sub-code 99"},
        {"EX with a wrong count", kEnter + " 'EX' 07 00 00 00 00 00 05 01 02 " + kExit, "bad count 7 for EX 05"},
        {"remote command beyond the stream", kEnter + " 'LD' 05 00 00", "truncated remote command"},
        {"raster form", "1B 69 00 07 01 01 00 01 00 00", "unknown raster form 07"},
        {"plain raster short", "1B 69 00 00 01 02 00 02 00 11 22 33", "truncated raster data"},
        {"coded raster overshooting", "1B 69 00 01 01 02 00 01 00 FD 00", "bad or truncated run-length"},
        {"coded raster cut", "1B 69 00 01 01 04 00 01 00 03 01 02", "bad or truncated run-length"},
        {"block raster length mismatch", "1B 69 00 04 01 02 00 01 00 00 03 00 00 00 01 02 03", "does not match"},
        {"level-3 name", "1B 70 00 00 'PROC'", "bad level-3 record name"},
        {"unknown level-3 record", "1B 70 00 00 'zzzz'", "unknown level-3 record zzzz"},
        {"level-3 class", "1B 6D 00 00 'proc'", "wrong class"},
        {"level-3 length", "1B 70 00 01 'proc' 00", "bad length 1"},
        {"level-3 record cut", "1B 6D 00 39 'qlty' 00 00", "truncated level-3 record"},
        {"dsnd data missing", "1B 64 00 0E 'dsnd' '#:' 00 01 'S:' 00 01 '+:' 00 00 00 03 AA", "truncated level-3 record data"},
        {"dsnd without its length key", "1B 64 00 0E 'dsnd' '#:' 00 01 'S:' 00 01 'X:' 00 00 00 03", "missing data length"},
        {"page-language name missing", "1D '12{E'", "without a name"},
        {"page-language terminator", "1D '1abX'", "bad page-language terminator"},
        {"page-language binary count", "1D 'mw{E'", "bad binary count"},
        {"page-language data missing", "1D '3mw{E' 01", "truncated page-language data"},
        {"text line unterminated", "'@KRQ'", "truncated text line"},
        {"text line with a control byte", "'@K' 01 0A", "bad byte in text line"},
        {"escape at the very end", "1B", "truncated escape command"},
    };
    for (const Case& c : cases) {
        const StreamCheck r = ValidateStream(B(c.bytes));
        EXPECT_FALSE(r.ok) << c.name;
        EXPECT_NE(r.error.find(c.error), std::string::npos) << c.name << ": " << r.error;
    }
}

TEST(StreamValidator, QltyLengthsOfBothVersions) {
    for (uint16_t len : {uint16_t{0x29}, uint16_t{61}, uint16_t{63}, uint16_t{93}, uint16_t{62}, uint16_t{95}}) {
        std::vector<uint8_t> s = B("1B 6D 00 00 'qlty'");
        s[3] = static_cast<uint8_t>(len);
        s.resize(8 + len, 0);
        const bool want = len == 0x29 || (len >= 61 && len <= 93 && len % 2 == 1);
        EXPECT_EQ(ValidateStream(s).ok, want) << len;
    }
}

// Cutting a valid stream anywhere but between two commands outside remote
// mode must be refused.
TEST(StreamValidator, EveryTruncationInsideACommandIsRefused) {
    const std::vector<uint8_t> s =
        B("00 00 00 1B 01 '@KRQ 1' 0A 1B 40 " + kEnter + " 'TI' 08 00 00 07 E8 03 05 06 07 08 'JX' 05 00 00 00 01 01 01 "
          "'EX' 07 00 00 00 00 00 1C 05 02 " + kExit + " 1B 28 55 05 00 02 02 02 A0 05 1B 69 00 01 01 03 00 02 00 FE 00 02 AA BB CC "
          "0D 1B 64 00 0E 'dsnd' '#:' 00 01 'S:' 00 01 '+:' 00 00 00 02 AA BB 1D '2mw{E' 01 02 0C");
    const StreamCheck whole = ValidateStream(s);
    ASSERT_TRUE(whole.ok) << whole.error;
    std::set<size_t> good;
    bool remote = false;
    for (const auto& it : whole.items) {
        if (!remote) good.insert(it.offset);
        if (it.kind == StreamItemKind::kRemoteEnter) remote = true;
        if (it.kind == StreamItemKind::kRemoteExit) remote = false;
    }
    good.insert(s.size());
    for (size_t n = 0; n <= s.size(); ++n) {
        const StreamCheck r = ValidateStream(s.data(), n);
        EXPECT_EQ(r.ok, good.count(n) == 1) << "cut at " << n << ": " << r.error;
    }
}

TEST(StreamValidator, SurvivesMutatedStreams) {
    const std::vector<uint8_t> base =
        B(kEnter + " 'JX' 08 00 00 00 01 01 01 08 01 'D' " + kExit + " 1B 69 00 01 01 03 00 02 00 FE 00 02 AA BB CC "
          "1B 64 00 0E 'dsnd' '#:' 00 01 'S:' 00 01 '+:' 00 00 00 02 AA BB 1D '2mw{E' 01 02");
    std::mt19937 rng(3);
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> s = base;
        const int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits; ++e) s[rng() % s.size()] = static_cast<uint8_t>(rng());
        s.resize(rng() % (s.size() + 1));
        const StreamCheck r = ValidateStream(s);  // must not read out of bounds or hang
        if (r.ok) {
            size_t total = 0;
            for (const auto& it : r.items) total += it.length;
            EXPECT_EQ(total, s.size());
        } else {
            EXPECT_LE(r.error_offset, s.size());
        }
    }
    EXPECT_FALSE(ValidateStream(nullptr, 4).ok);
    EXPECT_TRUE(ValidateStream(nullptr, 0).ok);
}

// ---------------------------------------------------------------------------
// Spooler streams.

// A header-mode stream: data blocks as flushed chunks, escape markers between.
struct SpoolBuilder {
    std::vector<uint8_t> out;
    SpoolBuilder& data(const std::string& text) {
        const std::vector<uint8_t> d = B(text);
        out.push_back(static_cast<uint8_t>(d.size()));
        out.push_back(static_cast<uint8_t>(0x80 | (d.size() >> 8)));
        out.insert(out.end(), d.begin(), d.end());
        return *this;
    }
    SpoolBuilder& esc(uint16_t code) {
        out.insert(out.end(), {0, 0, static_cast<uint8_t>(code), static_cast<uint8_t>(code >> 8)});
        return *this;
    }
};

TEST(SpoolValidator, SectionsAndCodes) {
    SpoolBuilder b;
    b.esc(9).data("1B 40 " + kEnter).data("'LD' 00 00 " + kExit).esc(10).esc(3).data("0C").esc(4).esc(1).esc(2);
    const SpoolCheck c = ValidateSpool(b.out);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_EQ(c.codes(), (std::vector<uint16_t>{9, 10, 3, 4, 1, 2}));
    EXPECT_EQ(c.section(9), B("1B 40 " + kEnter + " 'LD' 00 00 " + kExit));
    EXPECT_EQ(c.section(3), B("0C"));
    EXPECT_TRUE(c.section(1).empty());
    EXPECT_TRUE(c.section(13).empty());
    EXPECT_TRUE(c.section(3, 1).empty());
}

TEST(SpoolValidator, RefusesBadMarkersAndFraming) {
    struct Case {
        const char* name;
        std::vector<uint8_t> stream;
        bool paired;
        const char* error;
    } cases[] = {
        {"marker inside a command", SpoolBuilder().esc(9).data("1B").esc(10).data("40").out, false, "inside a command"},
        {"marker inside remote mode", SpoolBuilder().data(kEnter).esc(3).data(kExit).out, false, "inside remote mode"},
        {"unclosed section", SpoolBuilder().esc(9).data("0C").out, true, "not closed"},
        {"close without open", SpoolBuilder().esc(4).out, true, "does not close"},
        {"wrong close", SpoolBuilder().esc(3).esc(10).out, true, "does not close"},
        {"nested open", SpoolBuilder().esc(9).esc(3).out, true, "opens inside section"},
        {"bad data", SpoolBuilder().data("41").out, true, "stray byte"},
        {"truncated framing", std::vector<uint8_t>{0x05, 0x80, 0x0C}, true, "spool framing"},
    };
    for (const Case& c : cases) {
        const SpoolCheck r = ValidateSpool(c.stream, c.paired);
        EXPECT_FALSE(r.ok) << c.name;
        EXPECT_NE(r.error.find(c.error), std::string::npos) << c.name << ": " << r.error;
    }
    // Unpaired markers pass when pairing is not asked for.
    EXPECT_TRUE(ValidateSpool(SpoolBuilder().esc(3).data("0C").esc(9).out, false).ok);
}

}  // namespace
