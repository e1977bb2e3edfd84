// The print tool's netpbm reader and page-line builder: valid images in
// every form, and each kind of malformed or hostile input.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "tools/netpbm.h"

namespace {

using ovcg_tool::Image;
using ovcg_tool::parse_netpbm;
using Bytes = std::vector<uint8_t>;

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(Netpbm, ColourAndGrayImagesWithComments) {
    Bytes in = text("P6\n# made by hand\n2 1\n255\n") + Bytes{1, 2, 3, 4, 5, 6} +
               text("\nP5 3 2 255 ") + Bytes{10, 20, 30, 40, 50, 60};
    std::vector<Image> images;
    std::string error;
    ASSERT_TRUE(parse_netpbm(in, images, error)) << error;
    ASSERT_EQ(images.size(), 2u);
    auto fields = [](const Image& i) { return std::tuple(i.channels, i.width, i.height, i.data); };
    EXPECT_EQ(fields(images[0]), std::tuple(3u, 2u, 1u, Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(fields(images[1]), std::tuple(1u, 3u, 2u, Bytes{10, 20, 30, 40, 50, 60}));
}

TEST(Netpbm, SamplesAreScaledToEightBits) {
    struct Case {
        Bytes in;
        Bytes samples;
    };
    const Case cases[] = {
        {text("P5 3 1 1\n") + Bytes{0, 1, 1}, {0, 255, 255}},
        {text("P5 3 1 15\n") + Bytes{0, 7, 15}, {0, 119, 255}},
        {text("P5 2 1 65535\n") + Bytes{0xFF, 0xFF, 0x80, 0x00}, {255, 128}},
        {text("P5 2 1 1000\n") + Bytes{0x03, 0xE8, 0x07, 0xD0}, {255, 255}},  // above maxval: clamped
        {text("P5 1 1 100\n") + Bytes{200}, {255}},
    };
    for (const Case& c : cases) {
        std::vector<Image> images;
        std::string error;
        ASSERT_TRUE(parse_netpbm(c.in, images, error)) << error;
        EXPECT_EQ(images[0].data, c.samples);
    }
}

TEST(Netpbm, MalformedInput) {
    struct Case {
        Bytes in;
        const char* message;
    };
    const Case cases[] = {
        {{}, "no image in the input"},
        {text(" \n\t"), "no image in the input"},
        {text("P3 1 1 255 0 0 0"), "image 1: not a binary PPM (P6) or PGM (P5) image"},
        {text("GIF89a"), "image 1: not a binary PPM"},
        {text("P"), "image 1: not a binary PPM"},
        {text("P6"), "image 1: malformed header"},
        {text("P6 1"), "image 1: malformed header"},
        {text("P6 1 1"), "image 1: malformed header"},
        {text("P6 1 1 255"), "image 1: malformed header"},
        {text("P6 1 1 255x"), "image 1: malformed header"},
        {text("P6 -1 1 255 "), "image 1: malformed header"},
        {text("P6 0 1 255 "), "image 1: width and height must be at least 1"},
        {text("P6 1 0 255 "), "image 1: width and height must be at least 1"},
        {text("P6 1 1 0 "), "image 1: maximum value must lie in 1..65535"},
        {text("P6 1 1 65536 "), "image 1: maximum value must lie in 1..65535"},
        {text("P6 99999999999 1 255 "), "image 1: malformed header"},
        {text("P6 4294967295 4294967295 255 "), "image 1: image too large"},
        {text("P5 65536 65536 255 "), "image 1: image too large"},
        {text("P6 2 2 255 ") + Bytes(11, 0), "image 1: truncated (11 of 12 sample bytes)"},
        {text("P5 2 1 65535 ") + Bytes(3, 0), "image 1: truncated (3 of 4 sample bytes)"},
        {text("P5 1 1 255 ") + Bytes{7} + text(" junk"), "image 2: not a binary PPM"},
        {text("P5 1 1 255 ") + Bytes{7} + text("P5 1 1"), "image 2: malformed header"},
    };
    for (const Case& c : cases) {
        std::vector<Image> images;
        std::string error;
        EXPECT_FALSE(parse_netpbm(c.in, images, error)) << c.message;
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << error;
    }
}

TEST(Netpbm, EveryTruncationOfAValidFileIsRefusedOrShorter) {
    Bytes in = text("P6 2 2 255\n") + Bytes(12, 9) + text("P5 # c\n 3 1 255\n") + Bytes{1, 2, 3};
    for (size_t n = 0; n < in.size(); ++n) {
        Bytes cut(in.begin(), in.begin() + static_cast<long>(n));
        std::vector<Image> images;
        std::string error;
        bool ok = parse_netpbm(cut, images, error);
        if (ok) {
            EXPECT_EQ(images.size(), 1u) << n;  // the first image whole, the second absent
        }
    }
}

TEST(PageLine, CropPadAndConvert) {
    Image rgb;
    rgb.width = 2, rgb.height = 1, rgb.channels = 3;
    rgb.data = {10, 20, 30, 255, 0, 0};
    Bytes buffer(12);
    uint8_t* out = buffer.data();
    ovcg_tool::page_line(rgb, 0, 4, 3, out);
    EXPECT_EQ(Bytes(out, out + 12), (Bytes{10, 20, 30, 255, 0, 0, 255, 255, 255, 255, 255, 255}));
    ovcg_tool::page_line(rgb, 0, 1, 3, out);
    EXPECT_EQ(Bytes(out, out + 3), (Bytes{10, 20, 30}));
    ovcg_tool::page_line(rgb, 1, 2, 3, out);  // past the last row: white
    EXPECT_EQ(Bytes(out, out + 6), Bytes(6, 255));
    ovcg_tool::page_line(rgb, 0, 3, 1, out);  // to gray
    EXPECT_EQ(Bytes(out, out + 3), (Bytes{18, 76, 255}));
    Image gray;
    gray.width = 1, gray.height = 1, gray.channels = 1;
    gray.data = {77};
    ovcg_tool::page_line(gray, 0, 2, 3, out);  // to RGB
    EXPECT_EQ(Bytes(out, out + 6), (Bytes{77, 77, 77, 255, 255, 255}));
}

}  // namespace
