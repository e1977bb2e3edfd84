// The print tool's streaming netpbm reader: valid images in every form, the
// sample conversion of every maximum-value class and channel pairing against
// a slow reference, cropping and padding, and each kind of malformed, cut
// short or endless input. Every case is read twice: from a regular file
// (whose sample bytes are counted at the header) and from a stream that
// cannot be measured (they are found missing row by row); both must agree.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "tools/netpbm.h"

namespace {

using ovcg_tool::NetpbmReader;
using Bytes = std::vector<uint8_t>;

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

enum class Source { kFile, kStream };
const Source kSources[] = {Source::kFile, Source::kStream};
const char* name(Source s) { return s == Source::kFile ? "regular file" : "stream"; }

// The bytes as a FILE*: a temporary regular file, or a memory stream that
// has no size to measure.
struct Input {
    Input(const Bytes& bytes, Source source) : copy(bytes) {
        if (copy.empty()) copy.push_back(0);  // a memory stream needs a buffer, even for no bytes
        if (source == Source::kFile) {
            f = std::tmpfile();
            if (f && !bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
            if (f) std::rewind(f);
        } else {
            f = fmemopen(copy.data(), bytes.size(), "rb");
            if (!f) f = std::fopen("/dev/null", "rb");
        }
    }
    ~Input() {
        if (f) std::fclose(f);
    }
    Bytes copy;
    std::FILE* f = nullptr;
};

struct Page {
    uint32_t width, height, channels;
    Bytes data;
    bool operator==(const Page&) const = default;
};

// Reads every image, each as lines of `width` pixels of `channels` samples
// (0: the image's own), every row of the image. The images read whole and
// the reader's error ("" when the input ended cleanly).
std::pair<std::vector<Page>, std::string> read_pages(const Bytes& in, Source source, uint32_t width = 0,
                                                     uint32_t channels = 0) {
    Input input(in, source);
    NetpbmReader reader(input.f);
    std::vector<Page> pages;
    for (;;) {
        const NetpbmReader::Next next = reader.next_image();
        if (next == NetpbmReader::Next::kEnd) return {pages, ""};
        if (next == NetpbmReader::Next::kError) return {pages, reader.error()};
        const ovcg_tool::ImageHeader& h = reader.header();
        Page p{width ? width : h.width, h.height, channels ? channels : h.channels, {}};
        reader.begin_rows(p.width, p.channels);
        Bytes line(size_t{p.width} * p.channels);
        for (uint32_t y = 0; y < h.height; ++y) {
            const uint8_t* row = reader.read_row(line.data());
            if (!row) return {pages, reader.error()};
            p.data.insert(p.data.end(), row, row + line.size());
        }
        if (reader.rows_left() != 0 || !reader.skip_rest()) return {pages, "rows left"};
        pages.push_back(std::move(p));
    }
}

TEST(Netpbm, ColourAndGrayImagesWithComments) {
    const Bytes in = text("P6\n# made by hand\n2 1\n255\n") + Bytes{1, 2, 3, 4, 5, 6} +
                     text("\nP5# straight after the magic number\n3 2 255 ") + Bytes{10, 20, 30, 40, 50, 60} +
                     text("\n# trailing comment\n\n");
    for (Source s : kSources) {
        SCOPED_TRACE(name(s));
        const auto [pages, error] = read_pages(in, s);
        EXPECT_EQ(error, "");
        ASSERT_EQ(pages.size(), 2u);
        EXPECT_EQ(pages[0], (Page{2, 1, 3, {1, 2, 3, 4, 5, 6}}));
        EXPECT_EQ(pages[1], (Page{3, 2, 1, {10, 20, 30, 40, 50, 60}}));
    }
}

// The slow reference: a sample rounded to 8 bits by its own division (one
// above the maximum counts as the maximum), then the channels converted.
uint8_t reference_sample(uint32_t s, uint32_t maxval) {
    if (s > maxval) s = maxval;
    return static_cast<uint8_t>((s * 255 + maxval / 2) / maxval);
}

// Every maximum-value class (plain 255, one-byte tables, two-byte tables)
// with every channel pairing, images wider and narrower than the line, and
// samples above the maximum: the reader's lines equal the reference's.
TEST(Netpbm, EveryMaxvalClassAndChannelPairingMatchesTheReference) {
    const uint32_t maxvals[] = {1, 2, 15, 100, 254, 255, 256, 1000, 4095, 65534, 65535};
    std::mt19937 rng(46);
    for (uint32_t maxval : maxvals) {
        const uint32_t bytes = maxval > 255 ? 2 : 1;
        const uint32_t top = bytes == 2 ? 65535 : 255;  // samples above maxval are in the file too
        for (uint32_t in_ch : {1u, 3u}) {
            for (uint32_t out_ch : {1u, 3u}) {
                for (uint32_t line_width : {5u, 7u, 9u}) {
                    SCOPED_TRACE("maxval " + std::to_string(maxval) + ", " + std::to_string(in_ch) + " -> " +
                                 std::to_string(out_ch) + " channels, line " + std::to_string(line_width));
                    const uint32_t w = 7, h = 3;
                    std::vector<uint32_t> samples(size_t{w} * h * in_ch);
                    for (uint32_t& v : samples) {
                        const uint32_t r = rng();
                        v = r % 8 == 0 ? top - r / 8 % 4 : r / 8 % (maxval + 1);  // now and then beyond maxval
                    }
                    Bytes in = text((in_ch == 3 ? "P6 " : "P5 ") + std::to_string(w) + " " + std::to_string(h) + " " +
                                    std::to_string(maxval) + "\n");
                    for (uint32_t v : samples) {
                        if (bytes == 2) in.push_back(static_cast<uint8_t>(v >> 8));
                        in.push_back(static_cast<uint8_t>(v));
                    }
                    Bytes want;
                    for (uint32_t y = 0; y < h; ++y) {
                        for (uint32_t x = 0; x < line_width; ++x) {
                            if (x >= w) {
                                want.insert(want.end(), out_ch, 0xFF);
                                continue;
                            }
                            const uint32_t* p = &samples[(size_t{y} * w + x) * in_ch];
                            uint8_t c[3];
                            for (uint32_t i = 0; i < in_ch; ++i) c[i] = reference_sample(p[i], maxval);
                            if (in_ch == out_ch) {
                                want.insert(want.end(), c, c + in_ch);
                            } else if (out_ch == 1) {
                                const double l = 0.299 * c[0] + 0.587 * c[1] + 0.114 * c[2];
                                want.push_back(static_cast<uint8_t>(l + 0.5 + 1e-9));
                            } else {
                                want.insert(want.end(), 3, c[0]);
                            }
                        }
                    }
                    for (Source s : kSources) {
                        const auto [pages, error] = read_pages(in, s, line_width, out_ch);
                        ASSERT_EQ(error, "") << name(s);
                        ASSERT_EQ(pages.size(), 1u);
                        EXPECT_EQ(pages[0].data, want) << name(s);
                    }
                }
            }
        }
    }
}

// The tables against the division for every sample of every maximum value
// up to 1023 and a spread of larger ones.
TEST(Netpbm, SampleTablesEqualTheDivisionForEverySample) {
    std::vector<uint8_t> table;
    for (uint32_t maxval = 1; maxval <= 65535; maxval += maxval < 1024 ? 1 : 997) {
        ovcg_tool::build_sample_table(maxval, table);
        ASSERT_EQ(table.size(), maxval > 255 ? 65536u : 256u);
        for (uint32_t s = 0; s < table.size(); ++s)
            ASSERT_EQ(table[s], reference_sample(s, maxval)) << "maxval " << maxval << " sample " << s;
    }
}

TEST(Netpbm, MalformedInput) {
    struct Case {
        Bytes in;
        const char* message;
    };
    const std::string long_comment = "P6 # " + std::string(70000, 'c') + "\n1 1 255 ";
    const Case cases[] = {
        {{}, "no image in the input"},
        {text(" \n\t# only a comment"), "no image in the input"},
        {text("P3 1 1 255 0 0 0"), "image 1: not a binary PPM (P6) or PGM (P5) image"},
        {text("GIF89a"), "image 1: not a binary PPM"},
        {text("P"), "image 1: not a binary PPM"},
        {Bytes(100000, 0), "image 1: not a binary PPM"},  // an endless input of zeros
        {text("P6"), "image 1: malformed header"},
        {text("P6 1"), "image 1: malformed header"},
        {text("P6 1 1"), "image 1: malformed header"},
        {text("P6 1 1 255"), "image 1: malformed header"},
        {text("P6 1 1 255x"), "image 1: malformed header"},
        {text("P6 1x1 255 "), "image 1: malformed header"},
        {text("P6 -1 1 255 "), "image 1: malformed header"},
        {text("P640 30 255 ") + Bytes(3600, 0), "image 1: malformed header"},  // P6, then white space
        {text("P6 0 1 255 "), "image 1: width and height must be at least 1"},
        {text("P6 1 0 255 "), "image 1: width and height must be at least 1"},
        {text("P6 1 1 0 "), "image 1: maximum value must lie in 1..65535"},
        {text("P6 1 1 65536 "), "image 1: maximum value must lie in 1..65535"},
        {text("P6 99999999999 1 255 "), "image 1: image too large (more than 1048576 pixels wide or high)"},
        {text("P6 4294967296 1 255 "), "image 1: image too large"},
        {text("P6 18446744073709551617 1 255 "), "image 1: image too large"},  // 2^64 + 1
        {text("P6 1 1 " + std::string(40, '9') + " "), "image 1: maximum value must lie in 1..65535"},
        {text("P6 4294967295 4294967295 255 "), "image 1: image too large (more than 1048576 pixels wide or high)"},
        {text("P5 1048577 1 255 "), "image 1: image too large"},
        {text("P5 1 1048577 255 "), "image 1: image too large"},
        {text("P5 1048576 1 255 "), "image 1: truncated (0 of 1048576 sample bytes)"},  // the largest side
        {text(std::string(65525, ' ') + "P6 1 1 255 "), "image 1: truncated (0 of 3 sample bytes)"},  // 65536 bytes
        {text(std::string(65526, ' ') + "P6 1 1 255 "), "image 1: malformed header (no image data within 65536"},
        {text("P6") + Bytes(70000, ' '), "image 1: malformed header (no image data within 65536 bytes)"},
        {text(long_comment), "image 1: malformed header (no image data within 65536 bytes)"},
        {text("P6 2 2 255 ") + Bytes(11, 0), "image 1: truncated (11 of 12 sample bytes)"},
        {text("P5 2 1 65535 ") + Bytes(3, 0), "image 1: truncated (3 of 4 sample bytes)"},
        {text("P5 65536 65536 255 "), "image 1: truncated (0 of 4294967296 sample bytes)"},
        {text("P5 1 1 255 ") + Bytes{7} + text(" junk"), "image 2: not a binary PPM"},
        {text("P5 1 1 255 ") + Bytes{7} + text("P5 1 1"), "image 2: malformed header"},
        {text("P5 1 1 255 ") + Bytes{7} + text("P5 3 1 255 ") + Bytes{1}, "image 2: truncated (1 of 3 sample bytes)"},
    };
    for (const Case& c : cases) {
        for (Source s : kSources) {
            const auto [pages, error] = read_pages(c.in, s);
            EXPECT_EQ(error.rfind(c.message, 0), 0u) << name(s) << ": " << error << " (wanted " << c.message << ")";
        }
    }
}

// Cut anywhere, a file of two images gives the first image whole and then an
// error naming the image it stopped in, or (cut between the images) ends
// cleanly after the first; never a short image taken for a whole one.
TEST(Netpbm, EveryTruncationOfTwoImagesIsNamed) {
    const Bytes first = text("P6 2 2 255\n") + Bytes(12, 9);
    const Bytes in = first + text("P5 # c\n 3 1 65535\n") + Bytes{1, 2, 3, 4, 5, 6};
    for (size_t n = 0; n < in.size(); ++n) {
        const Bytes cut(in.begin(), in.begin() + static_cast<long>(n));
        for (Source s : kSources) {
            SCOPED_TRACE(std::to_string(n) + " bytes, " + name(s));
            const auto [pages, error] = read_pages(cut, s);
            if (n < first.size()) {
                EXPECT_TRUE(pages.empty());
                EXPECT_TRUE(error.rfind("image 1: ", 0) == 0 || error == "no image in the input") << error;
            } else {
                ASSERT_EQ(pages.size(), 1u);
                EXPECT_EQ(pages[0].data, Bytes(12, 9));
                if (n > first.size()) EXPECT_EQ(error.rfind("image 2: ", 0), 0u) << error;
                else EXPECT_EQ(error, "");
            }
        }
    }
}

// Rows below the page are read past in pieces, not held: an image far taller
// than anything read is skipped to its end and the next image follows.
TEST(Netpbm, SkippingTheRestOfATallImage) {
    const uint32_t h = 40000;  // 4.8 MB of samples past the first row
    const Bytes in = text("P6 40 " + std::to_string(h) + " 255\n") + Bytes(size_t{40} * 3 * h, 5) + text("P5 1 1 255\n") +
                     Bytes{200};
    for (Source s : kSources) {
        Input input(in, s);
        NetpbmReader reader(input.f);
        ASSERT_EQ(reader.next_image(), NetpbmReader::Next::kImage) << name(s);
        reader.begin_rows(2, 1);
        Bytes line(2);
        const uint8_t* row = reader.read_row(line.data());
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(Bytes(row, row + 2), (Bytes{5, 5}));
        EXPECT_EQ(reader.rows_left(), h - 1);
        ASSERT_TRUE(reader.skip_rest()) << reader.error();
        ASSERT_EQ(reader.next_image(), NetpbmReader::Next::kImage) << reader.error();
        EXPECT_EQ(reader.index(), 2);
        reader.begin_rows(3, 3);
        Bytes rgb(9);
        row = reader.read_row(rgb.data());
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(Bytes(row, row + 9), (Bytes{200, 200, 200, 255, 255, 255, 255, 255, 255}));
        EXPECT_EQ(reader.next_image(), NetpbmReader::Next::kEnd);
    }
}

}  // namespace
