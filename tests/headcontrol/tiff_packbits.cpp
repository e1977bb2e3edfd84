#include "tiff_packbits.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>

namespace ovcg_test {
namespace {

// A growable file in memory for TIFFClientOpen.
struct MemFile {
    std::vector<uint8_t> bytes;
    toff_t pos = 0;
};

tsize_t mem_read(thandle_t h, tdata_t buf, tsize_t size) {
    auto* f = static_cast<MemFile*>(h);
    const toff_t n = std::min<toff_t>(toff_t(size), f->pos < f->bytes.size() ? f->bytes.size() - f->pos : 0);
    if (n) std::memcpy(buf, f->bytes.data() + f->pos, n);
    f->pos += n;
    return tsize_t(n);
}
tsize_t mem_write(thandle_t h, tdata_t buf, tsize_t size) {
    auto* f = static_cast<MemFile*>(h);
    if (f->pos + size_t(size) > f->bytes.size()) f->bytes.resize(f->pos + size_t(size));
    std::memcpy(f->bytes.data() + f->pos, buf, size_t(size));
    f->pos += toff_t(size);
    return size;
}
toff_t mem_seek(thandle_t h, toff_t off, int whence) {
    auto* f = static_cast<MemFile*>(h);
    const toff_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f->pos : f->bytes.size();
    f->pos = base + off;
    return f->pos;
}
int mem_close(thandle_t) { return 0; }
toff_t mem_size(thandle_t h) { return static_cast<MemFile*>(h)->bytes.size(); }
int mem_map(thandle_t, tdata_t*, toff_t*) { return 0; }
void mem_unmap(thandle_t, tdata_t, toff_t) {}

std::string g_trouble;
void on_message(const char* module, const char* fmt, va_list ap) {
    char text[512];
    std::vsnprintf(text, sizeof text, fmt, ap);
    g_trouble += std::string(module ? module : "libtiff") + ": " + text + "; ";
}

TIFF* open(MemFile& f, const char* mode) {
    return TIFFClientOpen("rows", mode, &f, mem_read, mem_write, mem_seek, mem_close, mem_size, mem_map, mem_unmap);
}

std::string check_width(size_t width, const std::vector<const CodedRow*>& rows) {
    MemFile file;
    TIFF* w = open(file, "w");
    if (!w) return "cannot open a TIFF for writing; ";
    TIFFSetField(w, TIFFTAG_IMAGEWIDTH, uint32_t(width * 8));
    TIFFSetField(w, TIFFTAG_IMAGELENGTH, uint32_t(rows.size()));
    TIFFSetField(w, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(w, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(w, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS);
    TIFFSetField(w, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(w, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(w, TIFFTAG_ROWSPERSTRIP, 1);
    for (size_t s = 0; s < rows.size(); ++s) {
        std::vector<uint8_t> code = rows[s]->coded;
        if (TIFFWriteRawStrip(w, uint32_t(s), code.data(), tmsize_t(code.size())) < 0) {
            TIFFClose(w);
            return "raw strip not written; ";
        }
    }
    TIFFClose(w);
    file.pos = 0;
    TIFF* r = open(file, "r");
    if (!r) return "cannot reopen the TIFF; ";
    std::string trouble;
    std::vector<uint8_t> out(width + 16);
    for (size_t s = 0; s < rows.size() && trouble.empty(); ++s) {
        std::fill(out.begin(), out.end(), 0xEE);
        const tmsize_t n = TIFFReadEncodedStrip(r, uint32_t(s), out.data(), tmsize_t(width));
        if (n != tmsize_t(width) || !std::equal(out.begin(), out.begin() + long(width), rows[s]->plain.begin()))
            trouble = "row of width " + std::to_string(width) + " decodes differently; ";
    }
    TIFFClose(r);
    return trouble;
}

}  // namespace

std::string tiff_packbits_mismatch(const std::vector<CodedRow>& rows) {
    g_trouble.clear();
    const TIFFErrorHandler oldWarning = TIFFSetWarningHandler(on_message);
    const TIFFErrorHandler oldError = TIFFSetErrorHandler(on_message);
    std::map<size_t, std::vector<const CodedRow*>> byWidth;
    for (const CodedRow& r : rows)
        if (!r.plain.empty()) byWidth[r.plain.size()].push_back(&r);
    std::string trouble;
    for (const auto& [width, group] : byWidth) trouble += check_width(width, group);
    TIFFSetWarningHandler(oldWarning);
    TIFFSetErrorHandler(oldError);
    return trouble + g_trouble;
}

}  // namespace ovcg_test
