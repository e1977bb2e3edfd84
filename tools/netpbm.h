// Reader of binary netpbm images (P6 colour, P5 gray) for the print tool.
//
// One stream may hold several images, one after the other; each is a page.
// The reader takes them as they come: a header, then the image's rows one at
// a time. It reads the input through a window of its own (kWindowBytes, or
// one image row where that is more) and hands each row on from there: as it
// stands where it already is the page line (8-bit samples, the page's
// channels, at least the page's width), else converted into the caller's
// line. Memory follows the page's width, not the image's area or the input's
// length: standard input and pipes stream like files, and a pipe's reader
// never waits for more bytes than the row in hand needs.
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
#include <unistd.h>

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
// The reader's window on the input: reads of up to this much at a time.
inline constexpr size_t kWindowBytes = size_t{1} << 20;

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

    // Reads from in, which stays the caller's; nothing else may read from it.
    // A stream with a file descriptor is read through it, as much as is there
    // at each call; one without (a memory stream) through stdio.
    explicit NetpbmReader(std::FILE* in) : in_(in), fd_(in ? fileno(in) : -1) {}

    // Reads the next image's header. kEnd when nothing but white space and
    // comments is left after at least one image; kError (error() says why,
    // naming the image) for anything else that is not a whole header,
    // including an input without any image. `count_samples` false: the
    // header alone is wanted, and the samples of an image in a regular file
    // are not counted at it.
    Next next_image(bool count_samples = true) {
        if (failed_ || !settle()) return Next::kError;
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
        // The magic number is two bytes: white space or a comment follows.
        c = get();
        if (c != EOF) unget();
        if (!is_space(c) && c != '#') return failed_ ? Next::kError : fail("malformed header");
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
        const off_t at = fd_ >= 0 ? lseek(fd_, 0, SEEK_CUR) : -1;
        if (count_samples && at >= 0 && fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= at) {
            const uint64_t left = static_cast<uint64_t>(st.st_size - at) + (end_ - pos_);
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
        in_place_ = !convert_ && kept_pixels_ == width;
    }

    // The image's next row as a page line of width x out_channels bytes:
    // where the row already is one, in the reader's window (valid until the
    // next call), else converted into `line`. Null, with error() set, when
    // the input ends or fails first.
    const uint8_t* read_row(uint8_t* line) {
        if (failed_ || rows_read_ >= header_.height || !settle()) return nullptr;
        if (!fill(kept_bytes_)) {
            if (!failed_) fail(truncation(data_read_ + (end_ - pos_)));
            return nullptr;
        }
        const uint8_t* row = window_.data() + pos_;
        pos_ += kept_bytes_;
        data_read_ += kept_bytes_;
        skip_pending_ = dropped_bytes_;  // after the caller is done with the row
        ++rows_read_;
        if (in_place_) return row;
        if (convert_) convert_(row, kept_pixels_, table_.data(), line);
        else std::memcpy(line, row, kept_bytes_);
        const size_t filled = size_t{kept_pixels_} * out_channels_;
        std::memset(line + filled, 0xFF, size_t{line_width_} * out_channels_ - filled);
        return line;
    }

    // Reads past the rows not yet read, a window at a time.
    bool skip_rest() {
        if (failed_ || !settle()) return false;
        const uint64_t row = uint64_t{header_.width} * header_.channels * header_.sample_bytes();
        skip_pending_ = uint64_t{header_.height - rows_read_} * row;
        rows_read_ = header_.height;
        return settle();
    }

private:
    static bool is_space(int c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    }

    // Makes at least n bytes readable at window_[pos_] (fewer only at the end
    // of the input or on a failure, which is then set). Reads what is there
    // through the descriptor, so a pipe is never waited on for more than n.
    bool fill(uint64_t n) {
        if (end_ - pos_ >= n) return true;
        if (window_.size() < std::max<uint64_t>(n, kWindowBytes))
            window_.resize(static_cast<size_t>(std::max<uint64_t>(n, kWindowBytes)));
        if (window_.size() - pos_ < n) {
            std::memmove(window_.data(), window_.data() + pos_, end_ - pos_);
            end_ -= pos_;
            pos_ = 0;
        }
        while (end_ - pos_ < n) {
            size_t got;
            if (fd_ >= 0) {
                const ssize_t r = ::read(fd_, window_.data() + end_, window_.size() - end_);
                if (r < 0 && errno == EINTR) continue;
                if (r < 0) return read_failed(errno);
                got = static_cast<size_t>(r);
            } else {
                got = std::fread(window_.data() + end_, 1, static_cast<size_t>(n - (end_ - pos_)), in_);
                if (got == 0 && std::ferror(in_)) return read_failed(errno);
            }
            if (got == 0) return false;  // the end of the input
            end_ += got;
        }
        return true;
    }

    bool read_failed(int error) {
        fail(std::string("cannot read: ") + std::strerror(error));
        return false;
    }

    // Passes the bytes of the row before, the part of it the page does not keep.
    bool settle() {
        while (skip_pending_ > 0) {
            if (pos_ == end_ && !fill(1)) {
                if (!failed_) fail(truncation(data_read_));
                return false;
            }
            const uint64_t part = std::min<uint64_t>(skip_pending_, end_ - pos_);
            pos_ += part;
            data_read_ += part;
            skip_pending_ -= part;
        }
        return true;
    }

    // One header byte; EOF at the end of the input, on a read error or past
    // the header's allowance (the last two set the failure).
    int get() {
        if (header_bytes_ >= kMaxHeaderBytes) {
            fail("malformed header (no image data within " + std::to_string(kMaxHeaderBytes) + " bytes)");
            return EOF;
        }
        if (pos_ == end_ && !fill(1)) return EOF;
        ++header_bytes_;
        return window_[pos_++];
    }
    void unget() {
        --pos_;
        --header_bytes_;
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

    // A decimal number after white space or comments, of any number of
    // digits: one past 32 bits stands for any larger (it is refused as
    // such). The byte after it is left for the caller.
    bool read_number(uint64_t& v) {
        int c = skip_space();
        if (c < '0' || c > '9') return false;
        v = 0;
        while (c >= '0' && c <= '9') {
            v = std::min(v * 10 + static_cast<uint64_t>(c - '0'), uint64_t{1} << 32);
            c = get();
        }
        if (c != EOF) unget();
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
    int fd_;
    std::vector<uint8_t> window_;
    uint64_t pos_ = 0, end_ = 0;  // the unread bytes of the window

    ImageHeader header_;
    int index_ = 0;    // the image last begun
    int reading_ = 0;  // the image whose bytes are being read (index_ + 1 before its first byte)
    size_t header_bytes_ = 0;
    bool failed_ = false;
    std::string error_;

    uint32_t rows_read_ = 0;
    uint64_t data_read_ = 0;     // sample bytes of the current image passed so far
    uint64_t skip_pending_ = 0;  // sample bytes to pass before the next row
    uint32_t line_width_ = 0, out_channels_ = 0, kept_pixels_ = 0;
    uint64_t kept_bytes_ = 0, dropped_bytes_ = 0;
    bool in_place_ = false;
    RowConverter convert_ = nullptr;
    std::vector<uint8_t> table_;
    uint32_t table_maxval_ = 0;
};

}  // namespace ovcg_tool
