#include "support/level3_objects.h"

#include <algorithm>

#include "codecs/rhv2/rhv2.h"
#include "support/jpeg_decode.h"
#include "support/libjpeg_decode.h"
#include "support/stream_validator.h"

namespace ovcg_test {
namespace {

uint32_t Be(const uint8_t* p, size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) v = v << 8 | p[i];
    return v;
}

bool Fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

std::vector<uint8_t> Joined(const Level3Object& o) {
    std::vector<uint8_t> all;
    for (const auto& c : o.chunks) all.insert(all.end(), c.begin(), c.end());
    return all;
}

bool DecodeJpegObject(const Level3Object& o, DecodedObject& out, std::string* error) {
    const std::vector<uint8_t> stream = Joined(o);
    ovcg::test::DecodedJpeg d;
    if (!ovcg::test::DecodeJpeg(stream.data(), stream.size(), d)) return Fail(error, "JPEG: " + d.error);
    if (d.height != static_cast<int>(o.height) || d.width < static_cast<int>(o.width) || d.comps.size() != 3)
        return Fail(error, "JPEG frame " + std::to_string(d.width) + "x" + std::to_string(d.height));
    out.channels = 3;
    out.width = o.width;
    out.height = o.height;
    std::vector<uint8_t> frame;
    size_t frameWidth = o.width;
    if (d.precision == 12) {
        out.codec = "jpeg12";
        if (!ovcg::test::DecodeJpegPixels(d, frame, static_cast<int>(o.width)))
            return Fail(error, "JPEG sampling");
    } else {
        out.codec = "jpeg8";
        LibjpegDecoder dec;
        const LibjpegResult& r = dec.Decode(stream, LibjpegRead::kPixels);
        if (!r.clean() || r.components != 3) return Fail(error, "libjpeg: " + r.Report());
        frame = r.pixels;
        frameWidth = static_cast<size_t>(r.width);
    }
    out.pixels.resize(size_t{o.width} * o.height * 3);
    for (uint32_t y = 0; y < o.height; ++y)
        std::copy_n(&frame[y * frameWidth * 3], size_t{o.width} * 3, &out.pixels[size_t{y} * o.width * 3]);
    return true;
}

bool DecodeRhv2Object(const Level3Object& o, DecodedObject& out, std::string* error) {
    out.codec = "rhv2";
    out.width = o.width;
    out.height = o.height;
    uint32_t lines = 0;
    for (size_t i = 0; i + 1 < o.chunks.size(); ++i) {
        const std::vector<uint8_t>& c = o.chunks[i];
        if (c.size() < 8 || c[0] != 0xFF || c[1] != 0x00) return Fail(error, "RHV2 header");
        const uint32_t cs = c[2], type = cs == 1 ? 0u : cs == 4 ? 1u : 2u, n = Be(&c[4], 4);
        if ((cs != 1 && cs != 3 && cs != 4) || (cs == 3) != (c[3] == 1)) return Fail(error, "RHV2 colour size");
        if (out.channels != 0 && out.channels != static_cast<int>(cs)) return Fail(error, "RHV2 slices differ");
        out.channels = static_cast<int>(cs);
        const uint32_t stride = o.width * cs;
        std::vector<uint8_t> work(ovcg::Rhv2GetWorkBufSize(type, o.width, n) + 16);
        std::vector<uint8_t> slice(size_t{n} * stride);
        uint32_t len = 0;
        if (ovcg::Rhv2CompDecomp(ovcg::kRhv2Decompress, type, o.width, n, stride, c.data(), c.size(), slice.data(),
                                 slice.size(), work.data(), work.size(), &len) != 0)
            return Fail(error, "RHV2 slice " + std::to_string(i) + " does not decode");
        out.pixels.insert(out.pixels.end(), slice.begin(), slice.end());
        lines += n;
    }
    if (lines != o.height) return Fail(error, "RHV2 slices hold " + std::to_string(lines) + " lines");
    if (o.chunks.empty() || !o.chunks.back().empty()) return Fail(error, "RHV2 object without its empty last dsnd");
    return true;
}

}  // namespace

Level3Job ParseLevel3Job(const uint8_t* data, size_t size) {
    Level3Job job;
    const StreamCheck check = ValidateStream(data, size);
    if (!check.ok) {
        job.error = check.error;
        return job;
    }
    Level3Page* page = nullptr;
    Level3Object* object = nullptr;
    bool proc = false;
    const auto fail = [&](const std::string& why, size_t at) {
        job.error = why + " at " + std::to_string(at);
        return job;
    };
    for (const StreamItem& it : check.items) {
        if (it.kind != StreamItemKind::kLevel3Record) continue;
        const uint8_t* r = data + it.offset;
        const std::string& n = it.name;
        if (n == "qlty") {
            ++job.qlty;
        } else if (n == "slut") {
            ++job.slut;
            job.slut_data.assign(r + 18, r + it.length);
        } else if (n == "make") {
            job.pages.emplace_back();
            page = &job.pages.back();
            object = nullptr;
        } else if (n == "endp" || n == "term") {
            if (!page) return fail(n + " outside a page", it.offset);
            if (object && object->statuses.back() != 1) return fail("page ends inside an object", it.offset);
            page->end = n;
            page->eject = r[10];
            page = nullptr;
            object = nullptr;
        } else if (n == "mkim") {
            if (!page) return fail("object outside a page", it.offset);
            if (object && (object->statuses.empty() || object->statuses.back() != 1))
                return fail("object before the last one ended", it.offset);
            Level3Object o;
            o.number = static_cast<uint16_t>(Be(r + 10, 2));
            o.denominator = static_cast<uint16_t>(Be(r + 14, 2));
            o.x = Be(r + 18, 4);
            o.y = Be(r + 24, 4);
            o.width = Be(r + 30, 4);
            o.height = Be(r + 36, 4);
            o.jpeg_y = Be(r + 42, 4);
            if (it.length >= 49) o.format = r[48];
            page->objects.push_back(o);
            object = &page->objects.back();
            proc = false;
        } else if (n == "proc") {
            ++job.proc;
            if (!object || !object->chunks.empty()) return fail("proc without its object", it.offset);
            proc = true;
        } else if (n == "dsnd") {
            if (!object || !proc || (!object->statuses.empty() && object->statuses.back() == 1))
                return fail("dsnd outside an object", it.offset);
            const uint32_t len = Be(r + 18, 4);
            if (22 + size_t{len} != it.length) return fail("dsnd length", it.offset);
            object->statuses.push_back(static_cast<uint16_t>(Be(r + 14, 2)));
            object->chunks.emplace_back(r + 22, r + 22 + len);
        }
    }
    if (object && (object->statuses.empty() || object->statuses.back() != 1))
        return fail("stream ends inside an object", size);
    job.ok = true;
    return job;
}

bool DecodeLevel3Object(const Level3Object& o, DecodedObject& out, std::string* error) {
    out = DecodedObject{};
    if (o.chunks.empty() || o.chunks.front().size() < 2) return Fail(error, "object without data");
    const uint8_t* p = o.chunks.front().data();
    if (p[0] == 0xFF && p[1] == 0xD8) return DecodeJpegObject(o, out, error);
    if (p[0] == 0xFF && p[1] == 0x00) return DecodeRhv2Object(o, out, error);
    return Fail(error, "unknown object data");
}

bool Level3Canvas::Paint(const Level3Object& o, const DecodedObject& d) {
    if (d.channels != channels || uint64_t{o.x} + d.width > width || uint64_t{o.y} + d.height > height) return false;
    const size_t c = static_cast<size_t>(channels);
    for (uint32_t y = 0; y < d.height; ++y) {
        std::copy_n(&d.pixels[size_t{y} * d.width * c], size_t{d.width} * c,
                    &pixels[((size_t{o.y} + y) * width + o.x) * c]);
        std::fill_n(&painted[(size_t{o.y} + y) * width + o.x], d.width, 1);
    }
    return true;
}

}  // namespace ovcg_test
