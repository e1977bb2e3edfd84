// Reader of binary netpbm images (P6 colour, P5 gray) for the print tool.
//
// One stream may hold several images, one after the other; each is a page.
// The reader takes them as they come: a header, then the image's rows one at
// a time, each converted straight into the page line the library takes. It
// holds at most one row of the image (the part the page keeps) and a table of
// sample values, so memory follows the page's width, not the image's area or
// the input's length: standard input and pipes stream like files.
//
// Nothing in a header is trusted: sides and the maximum value are checked, a
// header (with the white space and comments before it) may take at most
// kMaxHeaderBytes, and the sample bytes an image announces must arrive (for a
// regular file they are counted before the first row is read).
//
// Samples become 8 bits at memory speed: at maximum value 255 a row is read
// into the line as it stands; any other maximum value goes through a table of
// every possible sample built once per image (256 entries for one-byte
// samples, 65536 for two-byte ones), so no sample is divided.
#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace ovcg_tool {

struct ImageHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t channels = 0;  // 3 for P6, 1 for P5
    uint32_t maxval = 0;    // 1..65535; above 255 a sample takes two bytes

    uint32_t sample_bytes() const { return maxval > 255 ? 2 : 1; }
    uint64_t data_bytes() const { return uint64_t{width} * height * channels * sample_bytes(); }
};

// Widest and highest image taken (a roll page at the highest resolution is
// well inside it).
inline constexpr uint32_t kMaxSide = uint32_t{1} << 20;
// Bytes one header may take, with the white space and comments before it: an
// endless input that never reaches image data is refused within this much.
inline constexpr size_t kMaxHeaderBytes = 65536;

// ---- Sample conversion ----------------------------------------------------------

// How a sample becomes 8 bits: as it stands (maximum value 255), or through
// a table indexed by the one- or two-byte sample.
enum class SampleDepth { kPlain, kTable8, kTable16 };

inline SampleDepth depth_of(uint32_t maxval) {
    return maxval == 255 ? SampleDepth::kPlain : maxval < 255 ? SampleDepth::kTable8 : SampleDepth::kTable16;
}

// The 8-bit value of every sample a maximum value allows, rounded to nearest;
// a sample above the maximum counts as the maximum. Entries: 256 for
// one-byte samples, 65536 for two-byte ones.
inline void build_sample_table(uint32_t maxval, std::vector<uint8_t>& table) {
    table.resize(maxval > 255 ? 65536 : 256);
    for (uint32_t s = 0; s < table.size(); ++s) {
        const uint32_t v = s > maxval ? maxval : s;
        table[s] = static_cast<uint8_t>((v * 255 + maxval / 2) / maxval);
    }
}

// Gray from colour by luma weights (per mille), rounded.
inline uint8_t luma(uint32_t r, uint32_t g, uint32_t b) {
    return static_cast<uint8_t>((299 * r + 587 * g + 114 * b + 500) / 1000);
}

// Converts `pixels` pixels of raw samples (InCh a pixel) into 8-bit pixels of
// OutCh samples: colour becomes gray by luma, gray becomes colour by copying.
using RowConverter = void (*)(const uint8_t* raw, uint32_t pixels, const uint8_t* table, uint8_t* out);

template <SampleDepth D>
inline uint32_t sample_at(const uint8_t* p, const uint8_t* table) {
    if constexpr (D == SampleDepth::kPlain) {
        return p[0];
    } else if constexpr (D == SampleDepth::kTable8) {
        return table[p[0]];
    } else {
        return table[(uint32_t{p[0]} << 8) | p[1]];
    }
}

template <SampleDepth D, uint32_t InCh, uint32_t OutCh>
void convert_row(const uint8_t* raw, uint32_t pixels, const uint8_t* table, uint8_t* out) {
    constexpr uint32_t kBytes = D == SampleDepth::kTable16 ? 2 : 1;
    for (uint32_t x = 0; x < pixels; ++x) {
        const uint8_t* p = raw + size_t{x} * InCh * kBytes;
        uint8_t* q = out + size_t{x} * OutCh;
        if constexpr (InCh == OutCh) {
            for (uint32_t c = 0; c < InCh; ++c) q[c] = static_cast<uint8_t>(sample_at<D>(p + c * kBytes, table));
        } else if constexpr (OutCh == 1) {
            q[0] = luma(sample_at<D>(p, table), sample_at<D>(p + kBytes, table), sample_at<D>(p + 2 * kBytes, table));
        } else {
            q[0] = q[1] = q[2] = static_cast<uint8_t>(sample_at<D>(p, table));
        }
    }
}

// The converter for a depth and channel counts (1 or 3); null where the raw
// row already is the line (plain samples, same channels).
inline RowConverter row_converter(SampleDepth d, uint32_t in_channels, uint32_t out_channels) {
    const bool in3 = in_channels == 3, out3 = out_channels == 3;
    switch (d) {
        case SampleDepth::kPlain:
            if (in3 == out3) return nullptr;
            return in3 ? convert_row<SampleDepth::kPlain, 3, 1> : convert_row<SampleDepth::kPlain, 1, 3>;
        case SampleDepth::kTable8:
            if (in3) return out3 ? convert_row<SampleDepth::kTable8, 3, 3> : convert_row<SampleDepth::kTable8, 3, 1>;
            return out3 ? convert_row<SampleDepth::kTable8, 1, 3> : convert_row<SampleDepth::kTable8, 1, 1>;
        case SampleDepth::kTable16:
            if (in3) return out3 ? convert_row<SampleDepth::kTable16, 3, 3> : convert_row<SampleDepth::kTable16, 3, 1>;
            return out3 ? convert_row<SampleDepth::kTable16, 1, 3> : convert_row<SampleDepth::kTable16, 1, 1>;
    }
    return nullptr;
}

// ---- The reader -----------------------------------------------------------------

class NetpbmReader {
public:
    enum class Next { kImage, kEnd, kError };

    // Reads from in, which stays the caller's.
    explicit NetpbmReader(std::FILE* in) : in_(in) {}

    // Reads the next image's header. kEnd when nothing but white space and
    // comments is left after at least one image; kError (error() says why,
    // naming the image) for anything else that is not a whole header,
    // including an input without any image.
    Next next_image() {
        if (failed_) return Next::kError;
        header_bytes_ = 0;
        reading_ = index_ + 1;
        int c = skip_space();
        if (c == EOF) {
            if (failed_) return Next::kError;
            if (index_ == 0) return fail_plain("no image in the input");
            return Next::kEnd;
        }
        index_ = reading_;
        header_ = ImageHeader{};
        rows_read_ = 0;
        data_read_ = 0;
        const int kind = c == 'P' ? get() : EOF;
        if (kind != '5' && kind != '6') {
            if (failed_) return Next::kError;
            return fail("not a binary PPM (P6) or PGM (P5) image");
        }
        header_.channels = kind == '6' ? 3 : 1;
        uint64_t w = 0, h = 0, maxval = 0;
        if (!read_number(w) || !read_number(h) || !read_number(maxval))
            return failed_ ? Next::kError : fail("malformed header");
        if (w == 0 || h == 0) return fail("width and height must be at least 1");
        if (maxval == 0 || maxval > 65535) return fail("maximum value must lie in 1..65535");
        c = get();  // the single white-space character before the samples
        if (!is_space(c)) return failed_ ? Next::kError : fail("malformed header");
        if (w > kMaxSide || h > kMaxSide)
            return fail("image too large (more than " + std::to_string(kMaxSide) + " pixels wide or high)");
        header_.width = static_cast<uint32_t>(w);
        header_.height = static_cast<uint32_t>(h);
        header_.maxval = static_cast<uint32_t>(maxval);
        // In a regular file the samples can be counted before any row is
        // used: a short image is refused before its page starts.
        struct stat st {};
        const off_t at = ftello(in_);
        if (at >= 0 && fstat(fileno(in_), &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= at) {
            const uint64_t left = static_cast<uint64_t>(st.st_size - at);
            if (left < header_.data_bytes()) return fail(truncation(left));
        }
        return Next::kImage;
    }

    const ImageHeader& header() const { return header_; }
    // The number of the image last begun, from 1.
    int index() const { return index_; }
    uint32_t rows_left() const { return header_.height - rows_read_; }
    const std::string& error() const { return error_; }

    // Sets up the rows of the current image for lines of `width` pixels of
    // out_channels (1 or 3) samples: the image is cropped to the width, or
    // padded with white.
    void begin_rows(uint32_t width, uint32_t out_channels) {
        line_width_ = width;
        out_channels_ = out_channels;
        const SampleDepth depth = depth_of(header_.maxval);
        convert_ = row_converter(depth, header_.channels, out_channels);
        if (depth != SampleDepth::kPlain && table_maxval_ != header_.maxval) {
            build_sample_table(header_.maxval, table_);
            table_maxval_ = header_.maxval;
        }
        kept_pixels_ = std::min(header_.width, width);
        const uint64_t pixel_bytes = uint64_t{header_.channels} * header_.sample_bytes();
        kept_bytes_ = kept_pixels_ * pixel_bytes;
        dropped_bytes_ = (header_.width - kept_pixels_) * pixel_bytes;
        if (convert_) raw_.resize(static_cast<size_t>(kept_bytes_));
    }

    // Reads the image's next row into line (width x out_channels bytes).
    // False, with error() set, when the input ends or fails first.
    bool read_row(uint8_t* line) {
        if (failed_ || rows_read_ >= header_.height) return false;
        uint8_t* target = convert_ ? raw_.data() : line;
        if (!read_exact(target, kept_bytes_)) return false;
        if (convert_) convert_(raw_.data(), kept_pixels_, table_.data(), line);
        const size_t filled = size_t{kept_pixels_} * out_channels_;
        std::memset(line + filled, 0xFF, size_t{line_width_} * out_channels_ - filled);
        if (!skip(dropped_bytes_)) return false;
        ++rows_read_;
        return true;
    }

    // Reads past the rows not yet read, a bounded piece at a time.
    bool skip_rest() {
        if (failed_) return false;
        const uint64_t row = uint64_t{header_.width} * header_.channels * header_.sample_bytes();
        while (rows_read_ < header_.height) {
            if (!skip(row)) return false;
            ++rows_read_;
        }
        return true;
    }

private:
    static bool is_space(int c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    }

    // One header byte; EOF at the end of the input, on a read error or past
    // the header's allowance (the last two set the failure).
    int get() {
        if (header_bytes_ >= kMaxHeaderBytes) {
            fail("malformed header (no image data within " + std::to_string(kMaxHeaderBytes) + " bytes)");
            return EOF;
        }
        const int c = std::getc(in_);
        if (c == EOF) {
            if (std::ferror(in_)) fail(std::string("cannot read: ") + std::strerror(errno));
            return EOF;
        }
        ++header_bytes_;
        return c;
    }

    // Skips white space and comments; the first other byte, or EOF.
    int skip_space() {
        for (;;) {
            int c = get();
            if (c == '#') {
                do c = get();
                while (c != EOF && c != '\n' && c != '\r');
                if (c == EOF) return EOF;
            } else if (!is_space(c)) {
                return c;
            }
        }
    }

    // A decimal number of at most 32 bits after white space or comments; the
    // byte after it is left for the caller.
    bool read_number(uint64_t& v) {
        int c = skip_space();
        if (c < '0' || c > '9') return false;
        v = 0;
        while (c >= '0' && c <= '9') {
            v = v * 10 + static_cast<uint64_t>(c - '0');
            if (v > 0xFFFFFFFFu) return false;
            c = get();
        }
        if (c != EOF) {
            std::ungetc(c, in_);
            --header_bytes_;
        }
        return true;
    }

    bool read_exact(uint8_t* to, uint64_t n) {
        while (n > 0) {
            const size_t want = static_cast<size_t>(std::min<uint64_t>(n, size_t{1} << 30));
            const size_t got = std::fread(to, 1, want, in_);
            data_read_ += got;
            to += got;
            n -= got;
            if (got < want) {
                if (std::ferror(in_)) fail(std::string("cannot read: ") + std::strerror(errno));
                else fail(truncation(data_read_));
                return false;
            }
        }
        return true;
    }

    bool skip(uint64_t n) {
        if (n == 0) return true;
        if (scratch_.empty()) scratch_.resize(65536);
        while (n > 0) {
            const uint64_t part = std::min<uint64_t>(n, scratch_.size());
            if (!read_exact(scratch_.data(), part)) return false;
            n -= part;
        }
        return true;
    }

    std::string truncation(uint64_t got) const {
        return "truncated (" + std::to_string(got) + " of " + std::to_string(header_.data_bytes()) +
               " sample bytes)";
    }

    Next fail_plain(const std::string& what) {
        if (!failed_) error_ = what;
        failed_ = true;
        return Next::kError;
    }
    Next fail(const std::string& what) { return fail_plain("image " + std::to_string(reading_) + ": " + what); }

    std::FILE* in_;
    ImageHeader header_;
    int index_ = 0;    // the image last begun
    int reading_ = 0;  // the image whose bytes are being read (index_ + 1 before its first byte)
    size_t header_bytes_ = 0;
    bool failed_ = false;
    std::string error_;

    uint32_t rows_read_ = 0;
    uint64_t data_read_ = 0;  // sample bytes of the current image read so far
    uint32_t line_width_ = 0, out_channels_ = 0, kept_pixels_ = 0;
    uint64_t kept_bytes_ = 0, dropped_bytes_ = 0;
    RowConverter convert_ = nullptr;
    std::vector<uint8_t> raw_, scratch_, table_;
    uint32_t table_maxval_ = 0;
};

}  // namespace ovcg_tool
