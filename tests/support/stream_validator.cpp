#include "support/stream_validator.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <set>
#include <stdexcept>

#include "common/byte_cursor.h"

namespace ovcg_test {

namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kGs = 0x1D;
constexpr size_t kMaxTextLine = 256;
constexpr size_t kAnyCount = static_cast<size_t>(-1);

std::string hex2(uint8_t b) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X", b);
    return buf;
}

bool is_upper(uint8_t c) { return c >= 'A' && c <= 'Z'; }
bool is_lower(uint8_t c) { return c >= 'a' && c <= 'z'; }
bool is_digit(uint8_t c) { return c >= '0' && c <= '9'; }

// Parameter counts a long escape command ESC ( letter may carry.
struct LongEscapeRule {
    uint8_t letter;
    std::initializer_list<size_t> counts;  // kAnyCount: any
};

const LongEscapeRule kLongEscapes[] = {
    {'U', {1, 5}}, {'D', {4}},    {'A', {9}},       {'i', {1, 3}}, {'e', {2}}, {'K', {2}},
    {'C', {2, 4}}, {'c', {4, 8}}, {'S', {8}},       {'\\', {4}},   {'V', {2}}, {'v', {2, 4, 5}},
    {'r', {2}},    {'G', {1}},    {'s', {1}},       {'j', {1}},    {'E', {2}}, {'d', {kAnyCount}},
    {'m', {1, 4}}, {'f', {kAnyCount}}, {'$', {4}},
};

// Remote-mode commands with fixed counts; commands not listed take any count
// (the caller's own remote bytes may carry any command).
struct RemoteRule {
    const char* name;
    std::initializer_list<size_t> counts;  // empty: at least `min`
    size_t min;
};

const RemoteRule kRemoteRules[] = {
    {"LD", {0}, 0},    {"AF", {6, 7}, 0}, {"PM", {2}, 0}, {"CB", {2}, 0}, {"PI", {2}, 0}, {"NS", {2}, 0},
    {"TO", {2}, 0},    {"PC", {2}, 0},    {"IR", {2}, 0}, {"PN", {2}, 0}, {"DP", {2}, 0}, {"NC", {2}, 0},
    {"FM", {2}, 0},    {"IK", {2}, 0},    {"AC", {2}, 0}, {"PH", {2, 3}, 0}, {"FP", {3}, 0}, {"PP", {3}, 0},
    {"US", {3}, 0},    {"MT", {3}, 0},    {"CG", {3}, 0}, {"CS", {2}, 0}, {"CE", {1}, 0}, {"MS", {8}, 0},
    {"MI", {4}, 0},    {"DR", {4}, 0},    {"DN", {5}, 0}, {"CO", {8}, 0}, {"TI", {8}, 0}, {"JE", {1}, 0},
    {"SN", {}, 1},     {"JS", {}, 2},     {"JU", {}, 1},  {"JH", {}, 6},  {"HD", {}, 2},  {"JX", {}, 2},
    {"EX", {}, 6},
};

class Walker {
public:
    Walker(const uint8_t* data, size_t size) : cur_(data, size), data_(data), size_(size) {}

    StreamCheck run() {
        while (!cur_.at_end()) {
            const size_t at = cur_.pos();
            const bool good = remote_ ? remote_item() : top_item();
            if (!good) {
                if (out_.error.empty()) fail(at, "malformed command");
                return out_;
            }
        }
        if (remote_) {
            fail(size_, "stream ends in remote mode");
            return out_;
        }
        out_.ok = true;
        return out_;
    }

private:
    bool fail(size_t at, const std::string& why) {
        if (out_.error.empty()) {
            out_.error = why + " at " + std::to_string(at);
            out_.error_offset = at;
        }
        return false;
    }
    void add(StreamItemKind kind, size_t at, std::string name) {
        out_.items.push_back({kind, at, cur_.pos() - at, std::move(name)});
    }
    bool need(size_t at, size_t n, const char* what) {
        if (cur_.remaining() < n) return fail(at, std::string("truncated ") + what);
        return true;
    }

    bool top_item() {
        const size_t at = cur_.pos();
        const uint8_t b = data_[at];
        switch (b) {
            case 0x00: cur_.skip(1); add(StreamItemKind::kControl, at, "NUL"); return true;
            case 0x0A: cur_.skip(1); add(StreamItemKind::kControl, at, "LF"); return true;
            case 0x0C: cur_.skip(1); add(StreamItemKind::kControl, at, "FF"); return true;
            case 0x0D: cur_.skip(1); add(StreamItemKind::kControl, at, "CR"); return true;
            case 0x11: cur_.skip(1); add(StreamItemKind::kControl, at, "DC1"); return true;
            case '@': return text_line(at);
            case kEsc: return escape(at);
            case kGs: return page_language(at);
            default: return fail(at, "stray byte " + hex2(b));
        }
    }

    bool text_line(size_t at) {
        const size_t limit = std::min(size_ - at, kMaxTextLine);
        for (size_t i = 1; i < limit; ++i) {
            const uint8_t c = data_[at + i];
            if (c == 0x0A) {
                cur_.skip(i + 1);
                add(StreamItemKind::kTextLine, at, std::string(reinterpret_cast<const char*>(data_ + at), i));
                return true;
            }
            if (c < 0x20 || c > 0x7E) return fail(at + i, "bad byte in text line");
        }
        return fail(at, limit == size_ - at ? "truncated text line" : "text line too long");
    }

    bool escape(size_t at) {
        if (!need(at, 2, "escape command")) return false;
        const uint8_t c = data_[at + 1];
        switch (c) {
            case 0x40: case 0x06: case 0x01:
                cur_.skip(2);
                add(StreamItemKind::kEscape, at, c == 0x40 ? "ESC @" : c == 0x06 ? "ESC 06" : "ESC 01");
                return true;
            case 0x55: case 0x19: case 0x72: case 0x2B:
                if (!need(at, 3, "escape command")) return false;
                cur_.skip(3);
                add(StreamItemKind::kEscape, at, std::string("ESC ") + (c == 0x19 ? std::string("EM") : std::string(1, static_cast<char>(c))));
                return true;
            case 0x24: case 0x5C:
                if (!need(at, 4, "escape command")) return false;
                cur_.skip(4);
                add(StreamItemKind::kEscape, at, std::string("ESC ") + static_cast<char>(c));
                return true;
            case 0x28: return long_escape(at);
            case 0x69: return raster_i(at);
            case 0x2E: return raster_dot(at);
            case 'm': case 'p': case 'o': case 'd': return level3(at);
            case 0x00:
                return fail(at, "remote exit outside remote mode");
            default:
                return fail(at, "unknown escape command " + hex2(c));
        }
    }

    bool long_escape(size_t at) {
        if (!need(at, 5, "long escape command")) return false;
        const uint8_t letter = data_[at + 2];
        uint16_t n = 0;
        cur_.peek_u16le(at + 3, n);
        if (!need(at, 5u + n, "long escape command")) return false;
        if (letter == 'R') return mode_switch(at, n);
        const LongEscapeRule* rule = nullptr;
        for (const auto& r : kLongEscapes)
            if (r.letter == letter) rule = &r;
        if (!rule) return fail(at, "unknown long escape command ESC ( " + std::string(1, static_cast<char>(letter)));
        const bool any = *rule->counts.begin() == kAnyCount;
        if (!any && std::find(rule->counts.begin(), rule->counts.end(), n) == rule->counts.end())
            return fail(at, "bad count " + std::to_string(n) + " for ESC ( " + std::string(1, static_cast<char>(letter)));
        cur_.skip(5u + n);
        add(StreamItemKind::kLongEscape, at, std::string("ESC ( ") + static_cast<char>(letter));
        return true;
    }

    bool mode_switch(size_t at, uint16_t n) {
        const uint8_t* p = data_ + at + 5;
        auto is = [&](const char* text, size_t len) {
            return n == len + 1 && p[0] == 0 && std::equal(text, text + len, p + 1);
        };
        if (is("REMOTE1", 7)) {
            cur_.skip(5u + n);
            add(StreamItemKind::kRemoteEnter, at, "REMOTE1");
            remote_ = true;
            return true;
        }
        if (is("P3", 2) || is("PAGE", 4)) {
            cur_.skip(5u + n);
            add(StreamItemKind::kModeSwitch, at, n == 3 ? "P3" : "PAGE");
            return true;
        }
        return fail(at, "unknown mode switch ESC ( R");
    }

    // Decodes run-length coded data until `expected` bytes are produced; the
    // count of coded bytes in *used. False when the code runs past the end or
    // produces more than expected.
    bool packbits(size_t from, size_t expected, size_t* used) {
        size_t pos = from;
        size_t produced = 0;
        while (produced < expected) {
            if (pos >= size_) return false;
            const uint8_t c = data_[pos++];
            if (c < 0x80) {
                const size_t n = c + 1u;
                if (size_ - pos < n) return false;
                pos += n;
                produced += n;
            } else if (c == 0x80) {
                continue;  // no-op count
            } else {
                if (pos >= size_) return false;
                ++pos;
                produced += 257u - c;
            }
        }
        if (produced != expected) return false;
        *used = pos - from;
        return true;
    }

    bool raster_i(size_t at) {
        if (!need(at, 9, "raster header")) return false;
        const uint8_t form = data_[at + 3];
        uint16_t bpl = 0, lines = 0;
        cur_.peek_u16le(at + 5, bpl);
        cur_.peek_u16le(at + 7, lines);
        const size_t plain = size_t{bpl} * lines;
        size_t header = 9, body = 0;
        if (form == 0) {
            body = plain;
        } else if (form == 1) {
            if (!packbits(at + 9, plain, &body)) return fail(at, "bad or truncated run-length raster data");
        } else if (form == 4 || form == 5) {
            header = 14;
            if (!need(at, header, "raster header")) return false;
            uint32_t len = 0;
            cur_.peek_u32le(at + 10, len);
            body = len;
            if (form == 4 && body != plain) return fail(at, "raster data length does not match its geometry");
        } else {
            return fail(at, "unknown raster form " + hex2(form));
        }
        if (!need(at, header + body, "raster data")) return false;
        cur_.skip(header + body);
        add(StreamItemKind::kRaster, at, "ESC i");
        return true;
    }

    bool raster_dot(size_t at) {
        if (!need(at, 8, "raster header")) return false;
        const uint8_t form = data_[at + 2];
        const uint8_t rows = data_[at + 5];
        uint16_t dots = 0;
        cur_.peek_u16le(at + 6, dots);
        const size_t plain = size_t{rows} * ((dots + 7u) / 8u);
        size_t body = 0;
        if (form == 0) {
            body = plain;
        } else if (form == 1) {
            if (!packbits(at + 8, plain, &body)) return fail(at, "bad or truncated run-length raster data");
        } else {
            return fail(at, "unknown raster form " + hex2(form));
        }
        if (!need(at, 8 + body, "raster data")) return false;
        cur_.skip(8 + body);
        add(StreamItemKind::kRaster, at, "ESC .");
        return true;
    }

    // A key letter and ':' in front of a value at `value_at` of the record.
    bool key_at(size_t record, size_t value_at, uint8_t key) const {
        return data_[record + value_at - 2] == key && data_[record + value_at - 1] == ':';
    }

    bool level3(size_t at) {
        if (!need(at, 8, "level-3 record")) return false;
        const uint8_t cls = data_[at + 1];
        uint16_t len = 0;
        cur_.peek_u16be(at + 2, len);
        const std::string name(reinterpret_cast<const char*>(data_ + at + 4), 4);
        for (char ch : name)
            if (!is_lower(static_cast<uint8_t>(ch))) return fail(at, "bad level-3 record name");
        if (!need(at, 8u + len, "level-3 record")) return false;
        struct Rule {
            const char* name;
            uint8_t cls;
            std::initializer_list<uint16_t> lengths;
            size_t data_length_at;  // 0: no data follow
        };
        static const Rule rules[] = {
            {"qlty", 'm', {}, 0},      {"slut", 'm', {0x0A}, 14}, {"make", 'p', {0x2B}, 0},
            {"proc", 'p', {0}, 0},     {"endp", 'p', {3}, 0},     {"term", 'p', {3}, 0},
            {"mkim", 'o', {0x26, 0x29}, 0}, {"dsnd", 'd', {0x0E}, 18},
        };
        const Rule* rule = nullptr;
        for (const auto& r : rules)
            if (name == r.name) rule = &r;
        if (!rule) return fail(at, "unknown level-3 record " + name);
        if (cls != rule->cls) return fail(at, "wrong class for level-3 record " + name);
        if (name == "qlty") {
            // Version 1: 0x29; version 2: 61 + 2 x photo count (0 to 16).
            const bool v1 = len == 0x29;
            const bool v2 = len >= 61 && len <= 93 && (len - 61) % 2 == 0;
            if (!v1 && !v2) return fail(at, "bad qlty length " + std::to_string(len));
        } else if (std::find(rule->lengths.begin(), rule->lengths.end(), len) == rule->lengths.end()) {
            return fail(at, "bad length " + std::to_string(len) + " for level-3 record " + name);
        }
        size_t extra = 0;
        if (rule->data_length_at) {
            if (!key_at(at, rule->data_length_at, '+')) return fail(at, "missing data length in " + name);
            uint32_t n = 0;
            cur_.peek_u32be(at + rule->data_length_at, n);
            extra = n;
        }
        if (!need(at, 8u + len + extra, "level-3 record data")) return false;
        cur_.skip(8u + len + extra);
        add(StreamItemKind::kLevel3Record, at, name);
        return true;
    }

    bool page_language(size_t at) {
        size_t i = at + 1;
        const size_t params_from = i;
        while (i < size_ && (is_digit(data_[i]) || data_[i] == ';' || data_[i] == '.' || data_[i] == '-')) ++i;
        const size_t params_to = i;
        while (i < size_ && is_lower(data_[i])) ++i;
        if (i == params_to) return fail(at, i >= size_ ? "truncated page-language command" : "page-language command without a name");
        const std::string name(reinterpret_cast<const char*>(data_ + params_to), i - params_to);
        if (i >= size_) return fail(at, "truncated page-language command");
        if (data_[i] == '{') {
            if (i + 1 >= size_) return fail(at, "truncated page-language command");
            if (data_[i + 1] != 'E') return fail(at, "bad binary page-language command");
            // The first parameter counts the binary bytes; further
            // parameters follow it after ';'.
            size_t n = 0, digits = 0, k = params_from;
            for (; k < params_to && is_digit(data_[k]); ++k, ++digits) n = n * 10 + (data_[k] - '0');
            if (digits == 0 || digits > 6) return fail(at, "bad binary count");
            for (; k < params_to; ++k)
                if (!is_digit(data_[k]) && data_[k] != ';') return fail(at, "bad binary parameters");
            const size_t total = i + 2 - at + n;
            if (!need(at, total, "page-language data")) return false;
            cur_.skip(total);
        } else if (data_[i] == 'E' || data_[i] == 'O' || data_[i] == 'I') {
            cur_.skip(i + 1 - at);
        } else {
            return fail(at, "bad page-language terminator");
        }
        add(StreamItemKind::kPageLanguage, at, "GS " + name);
        return true;
    }

    bool remote_item() {
        const size_t at = cur_.pos();
        if (data_[at] == kEsc) {
            if (!need(at, 4, "remote exit")) return false;
            if (data_[at + 1] != 0 || data_[at + 2] != 0 || data_[at + 3] != 0)
                return fail(at, "escape command inside remote mode");
            cur_.skip(4);
            add(StreamItemKind::kRemoteExit, at, "REMOTE EXIT");
            remote_ = false;
            return true;
        }
        if (!need(at, 4, "remote command")) return false;
        if (!is_upper(data_[at]) || !is_upper(data_[at + 1])) return fail(at, "bad remote command name");
        std::string name(reinterpret_cast<const char*>(data_ + at), 2);
        uint16_t n = 0;
        cur_.peek_u16le(at + 2, n);
        if (!need(at, 4u + n, "remote command")) return false;
        const uint8_t* p = data_ + at + 4;
        for (const auto& r : kRemoteRules) {
            if (name != r.name) continue;
            if (r.counts.size() ? std::find(r.counts.begin(), r.counts.end(), n) == r.counts.end() : n < r.min)
                return fail(at, "bad count " + std::to_string(n) + " for remote command " + name);
            if (n > 0 && p[0] != 0) return fail(at, "remote command " + name + " without its leading 00");
        }
        if (name == "JS" && p[n - 1] != 0) return fail(at, "JS data not terminated");
        if (name == "JX" && !jx_items(at, p, n)) return false;
        if (name == "EX") {
            if (!ex_command(at, p, n, &name)) return false;
        }
        cur_.skip(4u + n);
        add(StreamItemKind::kRemoteCommand, at, name);
        return true;
    }

    // JX: 00 00, then items [type][length][data] that fill the rest exactly.
    bool jx_items(size_t at, const uint8_t* p, uint16_t n) {
        if (p[1] != 0) return fail(at, "JX without its leading 00 00");
        size_t i = 2;
        while (i < n) {
            if (n - i < 2) return fail(at, "truncated JX item");
            const size_t len = p[i + 1];
            if (n - i - 2 < len) return fail(at, "JX item overruns the command");
            i += 2 + len;
        }
        return true;
    }

    // EX: 00 00 00 00, the sub-code, then parameters whose count the
    // sub-code fixes; the head-control resource form (sub-code 37) has a 00
    // and then its resource bytes.
    bool ex_command(size_t at, const uint8_t* p, uint16_t n, std::string* name) {
        for (int k = 0; k < 4; ++k)
            if (p[k] != 0) return fail(at, "EX without its leading 00 bytes");
        const uint8_t sub = p[4];
        size_t want = 0;
        switch (sub) {
            case 0x05: case 0x14: case 0x17: want = 6; break;
            case 0x1C: case 0x4D: want = 7; break;
            case 0x1A: want = 0x0D; break;
            case 0x37:
                if (p[5] != 0) return fail(at, "bad EX 37 header");
                want = n;
                break;
            default: return fail(at, "unknown EX sub-code " + hex2(sub));
        }
        if (n != want) return fail(at, "bad count " + std::to_string(n) + " for EX " + hex2(sub));
        *name = "EX " + hex2(sub);
        return true;
    }

    ovcg::ByteCursor cur_;
    const uint8_t* data_;
    size_t size_;
    bool remote_ = false;
    StreamCheck out_;
};

}  // namespace

std::vector<std::string> StreamCheck::names(StreamItemKind kind) const {
    std::vector<std::string> out;
    for (const auto& it : items)
        if (it.kind == kind) out.push_back(it.name);
    return out;
}

size_t StreamCheck::count(const std::string& name) const {
    return static_cast<size_t>(std::count_if(items.begin(), items.end(), [&](const StreamItem& it) { return it.name == name; }));
}

StreamCheck ValidateStream(const uint8_t* data, size_t size) {
    if (!data && size) {
        StreamCheck c;
        c.error = "null stream";
        return c;
    }
    return Walker(data, size).run();
}

std::vector<uint8_t> SpoolCheck::section(uint16_t code, size_t n) const {
    size_t seen = 0;
    for (size_t i = 0; i < spool.escapes.size(); ++i) {
        if (spool.escapes[i].code != code) continue;
        if (seen++ != n) continue;
        const size_t from = spool.escapes[i].offset;
        size_t to = spool.data.size();
        for (size_t j = i + 1; j < spool.escapes.size(); ++j) {
            if (spool.escapes[j].code == code + 1) {
                to = spool.escapes[j].offset;
                break;
            }
        }
        return std::vector<uint8_t>(spool.data.begin() + static_cast<long>(from), spool.data.begin() + static_cast<long>(to));
    }
    return {};
}

std::vector<uint16_t> SpoolCheck::codes() const {
    std::vector<uint16_t> out;
    for (const auto& e : spool.escapes) out.push_back(e.code);
    return out;
}

SpoolCheck ValidateSpool(const uint8_t* stream, size_t size, bool paired) {
    SpoolCheck out;
    out.spool = DeframeSpool(stream, size);
    if (!out.spool.ok) {
        out.error = "spool framing: " + out.spool.error;
        return out;
    }
    out.stream = ValidateStream(out.spool.data);
    if (!out.stream.ok) {
        out.error = out.stream.error;
        return out;
    }
    std::set<size_t> boundaries{0, out.spool.data.size()};
    for (const auto& it : out.stream.items) boundaries.insert(it.offset);
    // Remote mode must not span a marker either: the sections stand alone.
    std::vector<std::pair<size_t, size_t>> remote;  // [enter, exit end)
    for (size_t i = 0; i < out.stream.items.size(); ++i) {
        const auto& it = out.stream.items[i];
        if (it.kind == StreamItemKind::kRemoteEnter) remote.push_back({it.offset, out.spool.data.size()});
        if (it.kind == StreamItemKind::kRemoteExit && !remote.empty()) remote.back().second = it.offset + it.length;
    }
    int open = 0;
    for (const auto& e : out.spool.escapes) {
        if (!boundaries.count(e.offset)) {
            out.error = "escape marker " + std::to_string(e.code) + " inside a command at " + std::to_string(e.offset);
            return out;
        }
        for (const auto& r : remote) {
            if (e.offset > r.first && e.offset < r.second) {
                out.error = "escape marker " + std::to_string(e.code) + " inside remote mode at " + std::to_string(e.offset);
                return out;
            }
        }
        if (!paired) continue;
        if (e.code % 2 == 1) {
            if (open) {
                out.error = "escape marker " + std::to_string(e.code) + " opens inside section " + std::to_string(open);
                return out;
            }
            open = e.code;
        } else {
            if (e.code == 0 || open + 1 != e.code) {
                out.error = "escape marker " + std::to_string(e.code) + " does not close an open section";
                return out;
            }
            open = 0;
        }
    }
    if (paired && open) {
        out.error = "section " + std::to_string(open) + " is not closed";
        return out;
    }
    out.ok = true;
    return out;
}

std::vector<uint8_t> bytes_of(const std::string& recipe) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < recipe.size();) {
        if (recipe[i] == ' ') {
            ++i;
        } else if (recipe[i] == '\'') {
            const size_t end = recipe.find('\'', i + 1);
            if (end == std::string::npos) throw std::invalid_argument("unterminated text: " + recipe);
            out.insert(out.end(), recipe.begin() + static_cast<long>(i) + 1, recipe.begin() + static_cast<long>(end));
            i = end + 1;
        } else {
            if (i + 1 >= recipe.size()) throw std::invalid_argument("odd hex: " + recipe);
            out.push_back(static_cast<uint8_t>(std::stoul(recipe.substr(i, 2), nullptr, 16)));
            i += 2;
        }
    }
    return out;
}

std::string hex_of(const uint8_t* p, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        if (i) s += ' ';
        s += hex2(p[i]);
    }
    return s;
}

}  // namespace ovcg_test
