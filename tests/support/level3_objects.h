// The image objects of a level-3 job stream, for tests: the stream is
// validated, its records read into pages of objects (where each lies, its
// dsnd chunks), each object decoded (12-bit JPEG by the test decoder,
// baseline JPEG by libjpeg with no warning, RHV2 by the library's decoder)
// and painted onto a page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ovcg_test {

struct Level3Object {
    uint16_t number = 0, denominator = 0;
    uint32_t x = 0, y = 0, width = 0, height = 0, jpeg_y = 0;
    int format = -1;  // the version-2 F field; -1 in version 1
    std::vector<uint16_t> statuses;
    std::vector<std::vector<uint8_t>> chunks;  // the data of each dsnd
};

struct Level3Page {
    std::vector<Level3Object> objects;
    std::string end;  // "endp", "term", or "" while the page is open
    int eject = -1;
};

struct Level3Job {
    bool ok = false;
    std::string error;
    size_t qlty = 0, slut = 0, proc = 0;
    std::vector<uint8_t> slut_data;  // what followed the (last) slut record
    std::vector<Level3Page> pages;
};

// Validates the plain printer stream and reads its level-3 records. Every
// object must come with its proc record and end with a dsnd of status 1.
Level3Job ParseLevel3Job(const uint8_t* data, size_t size);
inline Level3Job ParseLevel3Job(const std::vector<uint8_t>& data) { return ParseLevel3Job(data.data(), data.size()); }

struct DecodedObject {
    std::string codec;  // "jpeg12", "jpeg8", "rhv2"
    int channels = 0;   // JPEG: 3 (RGB); RHV2: 1, 4 or 3
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> pixels;  // width x height x channels
};

// Decodes an object; false with *error set when its data do not decode to
// exactly its width and height.
bool DecodeLevel3Object(const Level3Object& object, DecodedObject& out, std::string* error);

// A page of pixels onto which decoded objects are painted at their places.
struct Level3Canvas {
    uint32_t width = 0, height = 0;
    int channels = 0;
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> painted;  // 1 where an object was painted

    Level3Canvas(uint32_t w, uint32_t h, int c, uint8_t white)
        : width(w), height(h), channels(c), pixels(size_t{w} * h * size_t(c), white), painted(size_t{w} * h, 0) {}
    // False when the object lies outside the page or has other channels.
    bool Paint(const Level3Object& object, const DecodedObject& decoded);
    const uint8_t* at(uint32_t x, uint32_t y) const { return &pixels[(size_t{y} * width + x) * size_t(channels)]; }
};

}  // namespace ovcg_test
