#include "support/virtual_printer.h"

#include "support/stream_validator.h"

#include <algorithm>
#include <sstream>

namespace ovcg_test {

namespace {

uint32_t le(const uint8_t* p, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

class Printer {
public:
    Printer(const VpModel& m, const uint8_t* data, size_t size) : m_(m), data_(data), size_(size) {}

    VpResult run() {
        const StreamCheck check = ValidateStream(data_, size_);
        if (!check.ok) return fail(check.error_offset, "stream: " + check.error);
        new_page();
        for (const StreamItem& it : check.items) {
            if (!item(it)) return out_;
        }
        if (awaitingCr_) return fail(size_, "stream ends without the raster command's CR");
        out_.ok = true;
        return out_;
    }

private:
    VpResult fail(size_t at, const std::string& why) {
        if (out_.error.empty()) {
            out_.error = why;
            out_.errorOffset = at;
        }
        out_.ok = false;
        return out_;
    }

    void new_page() {
        out_.pages.emplace_back();
        v_ = m_.start;
        h_ = 0;
        feeds_ = 0;
    }
    VpPage& page() { return out_.pages.back(); }

    bool item(const StreamItem& it) {
        const uint8_t* p = data_ + it.offset;
        if (it.kind == StreamItemKind::kControl) {
            if (it.name == "CR") {
                awaitingCr_ = false;
                h_ = 0;
            } else if (it.name == "FF") {
                if (awaitingCr_) return bad(it.offset, "page ends before the raster command's CR");
                new_page();
            }
            return true;
        }
        if (it.kind == StreamItemKind::kLongEscape) {
            const uint32_t n = le(p + 3, 2);
            if (it.name == "ESC ( v") {
                if (awaitingCr_) return bad(it.offset, "feed before the raster command's CR");
                if (n < 4) return bad(it.offset, "short feed");
                const int32_t feed = int32_t(le(p + 5, 4));
                v_ += feed;
                page().feeds.push_back(feed);
                ++feeds_;
            } else if (it.name == "ESC ( $") {
                h_ = le(p + 5, 4);
            } else if (it.name == "ESC ( c") {
                const int w = n == 8 ? 4 : 2;
                page().pageFormats.push_back({le(p + 5, w), le(p + 5 + w, w)});
            } else if (it.name == "ESC ( U" && n == 5) {
                page().units.push_back({le(p + 8, 2), p[6], p[7]});
            } else if (it.name == "ESC ( D") {
                page().resolutions.push_back({le(p + 5, 2), p[7], p[8]});
            }
            return true;
        }
        if (it.kind == StreamItemKind::kRaster && it.name == "ESC i") return raster(it);
        return true;
    }

    bool bad(size_t at, const std::string& why) {
        fail(at, why);
        return false;
    }

    // One row of run-length code into `row`: false when it runs past the
    // data or past the row.
    static bool unpack_row(const uint8_t*& p, const uint8_t* end, uint8_t* row, size_t n) {
        size_t got = 0;
        while (got < n) {
            if (p >= end) return false;
            const uint8_t c = *p++;
            if (c < 0x80) {
                const size_t k = c + 1u;
                if (size_t(end - p) < k || n - got < k) return false;
                for (size_t i = 0; i < k; ++i) row[got++] = *p++;
            } else if (c > 0x80) {
                const size_t k = 257u - c;
                if (p >= end || n - got < k) return false;
                const uint8_t b = *p++;
                for (size_t i = 0; i < k; ++i) row[got++] = b;
            }
        }
        return true;
    }

    bool raster(const StreamItem& it) {
        const uint8_t* p = data_ + it.offset;
        if (awaitingCr_) return bad(it.offset, "raster command before the previous one's CR");
        VpCommand c{it.offset, p[2], 0, p[3], uint16_t(le(p + 5, 2)), uint16_t(le(p + 7, 2)), v_, h_};
        const bool multi = c.form >= 4;
        const uint8_t* body = p + (multi ? 14 : 9);
        const uint8_t* end = data_ + it.offset + it.length;
        if (multi) c.block = p[9];
        auto found = m_.lines.find({c.colour, c.block});
        if (found == m_.lines.end() && multi) found = m_.lines.find({c.colour, uint8_t(0)});
        if (found == m_.lines.end()) return bad(it.offset, "raster command of an unknown colour " + std::to_string(c.colour));
        const VpLineMap& map = found->second;
        const bool coded = c.form == 1 || c.form == 5;
        std::vector<uint8_t> row(c.bytesPerLine);
        for (uint32_t k = 0; k < c.lines; ++k) {
            if (coded) {
                if (!unpack_row(body, end, row.data(), row.size()))
                    return bad(it.offset, "run-length row " + std::to_string(k) + " runs past its line or the data");
            } else {
                for (uint8_t& b : row) b = *body++;
            }
            place(map, v_ + map.offset + int64_t(k) * map.pitch, row);
        }
        if (body != end) return bad(it.offset, "raster data longer than its lines");
        page().commands.push_back(c);
        page().feedsBeforeCommand.push_back(feeds_);
        feeds_ = 0;
        awaitingCr_ = true;
        return true;
    }

    void place(const VpLineMap& map, int64_t raster, const std::vector<uint8_t>& row) {
        const int b = m_.bits;
        const int perByte = 8 / b;
        VpPlane& plane = page().planes[map.canvas];
        // The line's cells, looked up once (rows grow to the line's last dot).
        std::vector<uint8_t>* cells = nullptr;
        for (size_t i = 0; i < row.size(); ++i) {
            if (!row[i]) continue;
            for (int d = 0; d < perByte; ++d) {
                const uint8_t dot = uint8_t((row[i] >> (8 - b * (d + 1))) & ((1 << b) - 1));
                if (!dot) continue;
                const int64_t x = h_ + m_.step * (int64_t(i) * perByte + d);
                if (!cells && x >= 0 && m_.step > 0) {
                    cells = &plane.rows[raster];
                    const size_t last = size_t(h_ + m_.step * (int64_t(row.size()) * perByte - 1));
                    if (cells->size() <= last) cells->resize(last + 1, 0);
                }
                uint8_t& cell = cells && x >= 0 ? (*cells)[size_t(x)] : plane.at(raster, x);
                if (cell & dot) {
                    if (page().twice++ == 0) {
                        std::ostringstream s;
                        s << "canvas " << map.canvas << " raster " << raster << " dot " << x;
                        page().firstTwice = s.str();
                    }
                }
                cell = uint8_t(cell | dot);
            }
        }
    }

    const VpModel& m_;
    const uint8_t* data_;
    size_t size_;
    VpResult out_;
    int64_t v_ = 0;
    int64_t h_ = 0;
    size_t feeds_ = 0;
    bool awaitingCr_ = false;
};

}  // namespace

uint8_t& VpPlane::at(int64_t raster, int64_t dot) {
    std::vector<uint8_t>& row = rows[raster];
    if (row.size() <= size_t(dot)) row.resize(size_t(dot) + 1 + row.size() / 2, 0);
    return row[size_t(dot)];
}

uint8_t VpPlane::get(int64_t raster, int64_t dot) const {
    auto r = rows.find(raster);
    if (r == rows.end() || dot < 0 || size_t(dot) >= r->second.size()) return 0;
    return r->second[size_t(dot)];
}

void VpPlane::merge(const VpPlane& other) {
    for (const auto& [raster, row] : other.rows)
        for (size_t d = 0; d < row.size(); ++d)
            if (row[d]) at(raster, int64_t(d)) |= row[d];
}

VpPlane plane_of(const std::vector<std::vector<uint8_t>>& lines, int64_t first, int64_t left, int bits) {
    VpPlane p;
    const int perByte = 8 / bits;
    for (size_t r = 0; r < lines.size(); ++r)
        for (size_t i = 0; i < lines[r].size(); ++i) {
            if (!lines[r][i]) continue;
            for (int d = 0; d < perByte; ++d) {
                const uint8_t dot = uint8_t((lines[r][i] >> (8 - bits * (d + 1))) & ((1 << bits) - 1));
                if (dot) p.at(first + int64_t(r), left + int64_t(i) * perByte + d) = dot;
            }
        }
    return p;
}

std::string plane_difference(const VpPlane& printed, const VpPlane& expected) {
    static const std::vector<uint8_t> none;
    auto row_of = [](const VpPlane& p, int64_t r) -> const std::vector<uint8_t>& {
        auto it = p.rows.find(r);
        return it == p.rows.end() ? none : it->second;
    };
    auto compare = [](int64_t r, const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) -> std::string {
        for (size_t d = 0; d < std::max(a.size(), b.size()); ++d) {
            const uint8_t x = d < a.size() ? a[d] : 0, y = d < b.size() ? b[d] : 0;
            if (x == y) continue;
            std::ostringstream s;
            s << "raster " << r << " dot " << d << ": printed " << int(x) << ", page " << int(y);
            return s.str();
        }
        return "";
    };
    for (const auto& [r, row] : printed.rows)
        if (std::string d = compare(r, row, row_of(expected, r)); !d.empty()) return d;
    for (const auto& [r, row] : expected.rows)
        if (!printed.rows.count(r))
            if (std::string d = compare(r, none, row); !d.empty()) return d;
    return "";
}

VpResult RunVirtualPrinter(const VpModel& model, const uint8_t* data, size_t size) {
    return Printer(model, data, size).run();
}

}  // namespace ovcg_test
