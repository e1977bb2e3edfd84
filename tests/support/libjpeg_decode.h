// libjpeg as an independent decoder of the JPEG encoder's 8-bit streams, for
// tests: what it made of a stream, its pixels or its coefficients, with
// every warning it raised.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace ovcg_test {

// What libjpeg made of a stream. `clean()` is the only acceptable outcome for
// our streams: decoded to the end with no warning (corrupt data is reported
// by libjpeg as a warning, not as an error).
struct LibjpegResult {
    bool finished = false;
    int errorCode = 0;  // message code of the fatal error, 0 when none
    std::string error;
    std::vector<std::string> warnings;

    int width = 0, height = 0, components = 0, precision = 0;
    J_COLOR_SPACE colourSpace = JCS_UNKNOWN;
    int sampling[3][2] = {};  // h, v per component
    std::vector<std::array<int, 64>> quant[2];  // luminance, chrominance tables as read (natural order)
    std::vector<uint8_t> pixels;               // interleaved RGB or grey, width * components a line
    std::vector<std::vector<std::array<int, 64>>> coeffs;  // per component, row-major blocks

    bool clean() const { return finished && warnings.empty(); }
    std::string Report() const {
        std::string s = finished ? "finished" : "failed: " + error;
        for (const auto& w : warnings) s += "; warning: " + w;
        return s;
    }
};

enum class LibjpegRead { kPixels, kCoefficients };

// One decompressor per stream.
class LibjpegDecoder {
public:
    LibjpegDecoder();
    ~LibjpegDecoder();
    LibjpegDecoder(const LibjpegDecoder&) = delete;
    LibjpegDecoder& operator=(const LibjpegDecoder&) = delete;

    const LibjpegResult& Decode(const std::vector<uint8_t>& stream, LibjpegRead what);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ovcg_test
