#include "support/slut_walker.h"

#include "common/byte_cursor.h"
#include "hxr/control/hxr_cfg.h"
#include "hxr/control/hxr_dblgamma.h"
#include "hxr/control/hxr_sml_mgr.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace ovcg_test {

namespace {

using ovcg::ByteCursor;

// Identifier slot of each colour code (codes 0 and 12 share one).
int id_slot(uint32_t code) {
    switch (code) {
        case 1: return 1;
        case 2: return 2;
        case 3: return 3;
        case 0:
        case 12: return 4;
        case 4: return 5;
        case 5: return 6;
        case 7: return 7;
        case 11: return 8;
        case 14: return 9;
        case 15: return 10;
        case 9: return 11;
        case 13: return 12;
        case 21: return 13;
        default: return -1;
    }
}

// Byte of LUT channel k in a lane-layout node.
size_t lane_byte(uint32_t k) {
    static const size_t lane[4] = {0, 2, 1, 3};
    return 4 * (k / 4) + lane[k % 4];
}

uint32_t dither_cell(const HXRTRAQ2DthSingleData* d, uint32_t x, uint32_t y) {
    const uint64_t w = uint32_t(d->view.SizeH);
    const uint64_t i = d->order == 2 ? (uint64_t(y / 2) * w + x) * 2 + (y & 1) : uint64_t(y) * d->rowLength + x;
    return d->narrow ? d->narrow[i] : d->wide[i];
}

class Walker {
public:
    Walker(const uint8_t* data, size_t size, const SlutSource& s) : cur_(data, size), s_(s) {}

    ::testing::AssertionResult run() {
        if (!walk()) return ::testing::AssertionFailure() << where_ << ": " << why_.str();
        return ::testing::AssertionSuccess();
    }

private:
    bool walk() {
        const HXRTRAQ2Data* set = s_.set;
        k_ = HXRGetOutputColorNum(s_.colours);
        for (uint32_t i = 0; i < set->intentNum; ++i)
            if (!lut_record(i)) return false;
        if (!grid_record()) return false;
        for (uint32_t i = 0; i < k_; ++i)
            if (!sml_record(i)) return false;
        if (!dither_records()) return false;
        for (uint32_t i = 0; i < k_; ++i)
            if (!offset_record(i)) return false;
        where_ = "end record";
        ByteCursor end;
        if (!cur_.sub(8, end) || end.u32le() != 0 || end.u32le() != 0) return bad() << "not {0, 0}";
        if (!cur_.at_end()) return bad() << cur_.remaining() << " bytes after the end record";
        return true;
    }

    // A mismatch: streams its text, converts to false.
    struct Msg {
        std::ostringstream* os;
        template <typename T>
        Msg& operator<<(const T& v) {
            *os << v;
            return *this;
        }
        operator bool() const { return false; }
    };
    Msg bad() { return Msg{&why_}; }

    // The next record: its identifier must be `id`, its body a multiple of 4
    // inside the package, beginning with the format number.
    bool open(uint32_t id, uint32_t format, const std::string& name, ByteCursor& body) {
        std::ostringstream w;
        w << name << " (at byte " << cur_.pos() << ")";
        where_ = w.str();
        uint32_t got = 0, size = 0;
        if (!cur_.u32le(got) || !cur_.u32le(size)) return bad() << "header runs past the package";
        if (got != id) return bad() << "identifier " << got << ", expected " << id;
        if (size % 4 != 0) return bad() << "body size " << size << " is not a multiple of 4";
        if (!cur_.sub(size, body)) return bad() << "body of " << size << " bytes runs past the package";
        if (body.u32le() != format) return bad() << "format number is not " << format;
        return true;
    }
    // What is left of a body is at most 3 zero bytes.
    bool close(ByteCursor& body) {
        if (!body.ok()) return bad() << "body shorter than its fields";
        if (body.remaining() > 3) return bad() << body.remaining() << " bytes past the fields";
        while (!body.at_end())
            if (body.u8() != 0) return bad() << "non-zero padding";
        return true;
    }
    bool expect(uint64_t got, uint64_t want, const char* field) {
        if (got == want) return true;
        return bad() << field << " is " << got << ", expected " << want;
    }

    bool lut_record(uint32_t intent) {
        const HXRLutSlc* slice = s_.set->lut[intent];
        ByteCursor b;
        const bool tnmx = s_.lutType == 17;
        const uint32_t id = tnmx ? 32 : s_.lutType == 4 ? 48 : 16 + intent;
        if (!open(id, 1, "LUT record of intent " + std::to_string(intent), b)) return false;
        const uint32_t n = s_.gridNum;
        if (!expect(b.u8(), k_, "K") || !expect(b.u8(), s_.colourFlag & 0xFF, "colour flag") ||
            !expect(b.u16le(), n, "grid count"))
            return false;
        for (int i = 0; i < 8; ++i)
            if (b.u8() != 0) return bad() << "reserved byte " << 8 + i << " is not 0";
        if (tnmx) {
            if (!slice || slice->type != 17) return bad() << "the data set has no monochrome-photo table";
            const auto* t = static_cast<const HXRLutTNMXData*>(slice->table);
            for (uint32_t r = 0; r < n; ++r)
                for (uint32_t k = 0; k < k_; ++k)
                    if (!expect(b.u16le(), t->table[r * t->channels + k] & 0xFFFF, "TNMX entry")) return false;
            return close(b);
        }
        if (!slice || slice->type != s_.lutType) return bad() << "the data set has no table of the type";
        const auto* lut = static_cast<const HXRLutData*>(slice->table);
        const uint64_t nodes = s_.lutType == 4 ? uint64_t(n) * n * n * n : uint64_t(n) * n * n;
        const auto* grid = reinterpret_cast<const uint8_t*>(lut->grid);
        const size_t node = 4 * ((lut->channels + 3) / 4);
        const uint8_t* body = b.take(nodes * k_);
        if (!body) return bad() << "fewer than N^D x K node bytes";
        for (uint64_t i = 0; i < nodes; ++i)
            for (uint32_t k = 0; k < k_; ++k)
                if (body[i * k_ + k] != grid[i * node + lane_byte(k)])
                    return bad() << "node " << i << " channel " << k << " differs";
        return close(b);
    }

    bool grid_record() {
        ByteCursor b;
        if (!open(0x20001, 1, "grid record", b)) return false;
        const uint32_t n = s_.gridNum;
        if (!expect(b.u16le(), n, "N")) return false;
        const uint32_t* levels = s_.lutType == 4 ? Rebuild4DGridPos32 : n == 64 ? Rebuild3DGridPos64 : Rebuild3DGridPos32;
        for (uint32_t i = 0; i < n; ++i)
            if (!expect(b.u8(), s_.lutType == 17 ? i : levels[i], "grid level")) return false;
        return close(b);
    }

    bool sml_record(uint32_t i) {
        const uint32_t code = HXRGetOutputColorCode(s_.colours, i);
        const int slot = id_slot(code);
        if (slot < 0) return bad() << "colour code " << code << " has no identifiers";
        HXRSmlDataMgr* mgr = s_.set->sml[0][0];
        const HXRSmlColorData& e = (s_.lutType == 17 ? mgr->tnmx : mgr->sml)->entry[i];
        ByteCursor b;
        if (!open(0x10000 + uint32_t(slot), 2, "SML record of colour " + std::to_string(i), b)) return false;
        const uint32_t d = e.dotSizeNum, g = e.gradationNum;
        if (!expect(b.u8(), d, "D") || !expect(b.u8(), 2, "byte 5") || !expect(b.u16le(), 0, "bytes 6, 7") ||
            !expect(b.u16le(), 4080, "rate scale") || !expect(b.u16le(), g, "G"))
            return false;
        const uint32_t rates_at = b.u32le(), corr_at = b.u32le(), points_at = b.u32le(), index_at = b.u32le();
        if (!expect(rates_at, 28 + 2 * d, "rate table offset")) return false;
        for (uint32_t k = 0; k < d; ++k)
            if (!expect(b.u16le(), (e.dotValue[k] * 10) & 0xFFFF, "dot weight x 10")) return false;
        for (uint64_t r = 0; r < uint64_t(g) * d; ++r)
            if (!expect(b.u16le(), e.rates[r], "rate")) return false;
        // The correction blocks come with a correction mode of the job.
        const HXRCfgResParser* cfg = HXRGetCfgRateParser(s_.readCtrl, 0);
        const uint8_t* mode = cfg ? HXRSearchCorrectMode(cfg, s_.colourFlag, s_.outBits, HXRGetInkSetStr(s_.readCtrl, 0),
                                                         HXRGetMicroStr(s_.readCtrl, 0), s_.compare)
                                  : nullptr;
        if (!expect(corr_at, mode ? b.pos() : 0, "correction block offset")) return false;
        if (mode) {
            const uint32_t width = HXRGetIdPosSize(cfg);
            std::vector<HXRCorrectOffset> offs;
            uint32_t most = 0;
            for (uint32_t k = 0; k < d; ++k) {
                offs.push_back(HXRGetCorrectOffset(mode, code, k, width, s_.colours));
                most = std::max(most, offs.back().count);
            }
            if (!expect(b.u8(), most, "M") || !expect(b.u8(), width, "position width")) return false;
            for (uint32_t k = 0; k < d; ++k)
                for (uint32_t j = 0; j < most; ++j) {
                    const uint32_t want = j < offs[k].count ? offs[k].values[j] : width == 1 ? 0xFF : 0xFFFF;
                    if (!expect(width == 1 ? b.u8() : b.u16le(), want, "correction position")) return false;
                }
            if (b.pos() % 2 != 0 && b.u8() != 0) return bad() << "odd-end padding is not 0";
            if (!expect(points_at, b.pos(), "rate-point block offset") || !expect(b.u16le(), 1, "rate-point mark"))
                return false;
            for (uint32_t k = 0; k < d; ++k) {
                uint32_t p[4] = {0, 128, 255, 128};
                const HXRRateResParser* rate = HXRGetRateParser(s_.readCtrl, 0);
                if (!rate || HXRGetRateData2Point(rate, p, code, k) != 0) p[0] = 0, p[1] = 128, p[2] = 255, p[3] = 128;
                for (uint32_t v : p)
                    if (!expect(b.u16le(), v & 0xFFFF, "rate point")) return false;
            }
        } else if (!expect(points_at, 0, "rate-point block offset")) {
            return false;
        }
        uint32_t index[256];
        if (HXRGetSDMSmlIndexTable(mgr, index, code) != 0) return bad() << "no index table in the data set";
        bool identity = true;
        for (uint32_t j = 0; j < 256; ++j) identity = identity && index[j] == 256 * j;
        if (!expect(index_at, identity ? 0 : b.pos(), "index table offset")) return false;
        if (!identity) {
            if (!expect(b.u16le(), 256, "index count") || !expect(b.u16le(), 16, "index bits")) return false;
            for (uint32_t j = 0; j < 256; ++j)
                if (!expect(b.u16le(), index[j], "index position")) return false;
        }
        return close(b);
    }

    bool dither_records() {
        const HXRTRAQ2DthDataMgr* m = s_.set->dither[0];
        // The distinct matrices over the areas, in order of first appearance.
        std::vector<const HXRTRAQ2DthSingleData*> list;
        for (uint32_t a = 0; a < m->areaNum; ++a)
            for (uint32_t i = 0; i < 12; ++i) {
                const HXRTRAQ2DthSingleData* d = m->area[a] ? m->area[a]->dither[i] : nullptr;
                if (d && std::find(list.begin(), list.end(), d) == list.end()) list.push_back(d);
            }
        ByteCursor b;
        if (!open(0x40000, 1, "dither header", b) || !expect(b.u8(), list.size(), "matrix count")) return false;
        if (!close(b)) return false;
        for (uint32_t j = 0; j < list.size(); ++j) {
            const HXRTRAQ2DthSingleData* d = list[j];
            if (!open(0x40010 + j, 1, "dither data " + std::to_string(j), b)) return false;
            const uint32_t w = uint32_t(d->view.SizeH), h = uint32_t(d->view.SizeV);
            if (!expect(b.u16le(), w, "width") || !expect(b.u16le(), h, "height") || !expect(b.u8(), 1, "byte 8"))
                return false;
            const uint32_t first = uint32_t(d->view.ShiftH), second = uint32_t(d->view.ShiftV);
            if (first == 0 || second == 0) {
                if (!expect(b.u8(), first == 0 ? 1 : 2, "step form") ||
                    !expect(b.u16le(), (first == 0 ? second : first) & 0xFFFF, "step"))
                    return false;
            }
            if (!expect(b.u32le(), 0, "reserved word")) return false;
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t x = 0; x < w; ++x)
                    if (!expect(b.u16le(), dither_cell(d, x, y), "threshold")) return false;
            if (!close(b)) return false;
        }
        for (uint32_t i = 0; i < k_; ++i) {
            const int slot = id_slot(HXRGetOutputColorCode(s_.colours, i));
            for (uint32_t area = 0; area < 3; ++area) {
                const uint32_t from = area < m->areaNum ? area : 0;
                const auto it = std::find(list.begin(), list.end(), m->area[from]->dither[i]);
                if (!open(0x40100 + 16 * uint32_t(slot) + area, 1, "dither index", b) ||
                    !expect(b.u8(), uint64_t(it - list.begin()), "matrix index") || !close(b))
                    return false;
            }
        }
        return true;
    }

    bool offset_record(uint32_t i) {
        const int slot = id_slot(HXRGetOutputColorCode(s_.colours, i));
        const HXRDthOffset& off = s_.set->dither[0]->offset[0]->ink[i];
        ByteCursor b;
        return open(0x50000 + uint32_t(slot), 1, "dither offsets of colour " + std::to_string(i), b) &&
               expect(b.u16le(), off.OffsetH & 0xFFFF, "first offset") &&
               expect(b.u16le(), off.OffsetV & 0xFFFF, "second offset") && close(b);
    }

    ByteCursor cur_;
    const SlutSource& s_;
    uint32_t k_ = 0;
    std::string where_;
    std::ostringstream why_;
};

}  // namespace

::testing::AssertionResult WalkSlutPackage(const uint8_t* data, size_t size, const SlutSource& source) {
    if (!source.set || !source.colours) return ::testing::AssertionFailure() << "no data set to compare with";
    return Walker(data, size, source).run();
}

}  // namespace ovcg_test
