// Reader of binary netpbm images (P6 colour, P5 gray) for the print tool.
// One file may hold several images, one after the other; each is a page.
// Every size in a header is checked before it is trusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ovcg_tool {

struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t channels = 0;      // 3 for P6, 1 for P5
    std::vector<uint8_t> data;  // 8-bit samples, rows top to bottom, interleaved
};

// Largest image the tool takes (samples).
inline constexpr uint64_t kMaxSamples = uint64_t{1} << 31;

// Parses every image in bytes. On failure returns false with a message
// naming the image (1-based) and the fault.
inline bool parse_netpbm(const std::vector<uint8_t>& bytes, std::vector<Image>& images,
                         std::string& error) {
    images.clear();
    size_t pos = 0;
    const size_t n = bytes.size();
    auto is_space = [](uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; };
    // Skips white space and comments; true when something follows.
    auto skip_space = [&]() {
        while (pos < n) {
            if (is_space(bytes[pos])) {
                ++pos;
            } else if (bytes[pos] == '#') {
                while (pos < n && bytes[pos] != '\n' && bytes[pos] != '\r') ++pos;
            } else {
                return true;
            }
        }
        return false;
    };
    auto read_number = [&](uint64_t& v) {
        if (!skip_space()) return false;
        if (bytes[pos] < '0' || bytes[pos] > '9') return false;
        v = 0;
        while (pos < n && bytes[pos] >= '0' && bytes[pos] <= '9') {
            v = v * 10 + (bytes[pos] - '0');
            if (v > 0xFFFFFFFFu) return false;
            ++pos;
        }
        return true;
    };
    for (int index = 1;; ++index) {
        if (!skip_space()) break;  // nothing but white space left: done
        const std::string where = "image " + std::to_string(index) + ": ";
        if (n - pos < 2 || bytes[pos] != 'P' || (bytes[pos + 1] != '6' && bytes[pos + 1] != '5')) {
            error = where + "not a binary PPM (P6) or PGM (P5) image";
            return false;
        }
        Image img;
        img.channels = bytes[pos + 1] == '6' ? 3 : 1;
        pos += 2;
        uint64_t w = 0, h = 0, maxval = 0;
        if (!read_number(w) || !read_number(h) || !read_number(maxval)) {
            error = where + "malformed header";
            return false;
        }
        if (w == 0 || h == 0) {
            error = where + "width and height must be at least 1";
            return false;
        }
        if (maxval == 0 || maxval > 65535) {
            error = where + "maximum value must lie in 1..65535";
            return false;
        }
        if (pos >= n || !is_space(bytes[pos])) {
            error = where + "malformed header";
            return false;
        }
        ++pos;  // the single white-space character before the samples
        if (w > kMaxSamples || h > kMaxSamples || w * h > kMaxSamples / img.channels) {
            error = where + "image too large";
            return false;
        }
        const uint64_t samples = w * h * img.channels;
        const uint64_t bytes_per_sample = maxval > 255 ? 2 : 1;
        const uint64_t need = samples * bytes_per_sample;
        if (need > n - pos) {
            error = where + "truncated (" + std::to_string(n - pos) + " of " + std::to_string(need) +
                    " sample bytes)";
            return false;
        }
        img.width = static_cast<uint32_t>(w);
        img.height = static_cast<uint32_t>(h);
        img.data.resize(static_cast<size_t>(samples));
        for (size_t i = 0; i < img.data.size(); ++i) {
            uint32_t s = bytes_per_sample == 2 ? (uint32_t{bytes[pos]} << 8) | bytes[pos + 1] : bytes[pos];
            pos += static_cast<size_t>(bytes_per_sample);
            if (s > maxval) s = static_cast<uint32_t>(maxval);
            img.data[i] = static_cast<uint8_t>((s * 255 + maxval / 2) / maxval);
        }
        images.push_back(std::move(img));
    }
    if (images.empty()) {
        error = "no image in the input";
        return false;
    }
    return true;
}

// One line of a page: the image's row y (or white past its last row),
// cropped or padded with white to width pixels of out_channels samples
// (3: RGB, 1: gray; colour becomes gray by its luma, gray becomes RGB by copying).
inline void page_line(const Image& img, uint32_t y, uint32_t width, uint32_t out_channels,
                      uint8_t* out) {
    const size_t total = size_t{width} * out_channels;
    for (size_t i = 0; i < total; ++i) out[i] = 0xFF;
    if (y >= img.height) return;
    const uint8_t* row = img.data.data() + size_t{y} * img.width * img.channels;
    const uint32_t w = img.width < width ? img.width : width;
    for (uint32_t x = 0; x < w; ++x) {
        const uint8_t* p = row + size_t{x} * img.channels;
        uint8_t* q = out + size_t{x} * out_channels;
        if (img.channels == out_channels) {
            for (uint32_t c = 0; c < out_channels; ++c) q[c] = p[c];
        } else if (out_channels == 1) {
            q[0] = static_cast<uint8_t>((299u * p[0] + 587u * p[1] + 114u * p[2] + 500u) / 1000u);
        } else {
            q[0] = q[1] = q[2] = p[0];
        }
    }
}

}  // namespace ovcg_tool
