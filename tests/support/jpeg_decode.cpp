#include "support/jpeg_decode.h"

#include <algorithm>
#include <cmath>

#include "common/byte_cursor.h"

namespace ovcg::test {
namespace {

constexpr uint8_t kZigzag[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

int Extend(int v, int t) { return t == 0 ? 0 : (v < (1 << (t - 1)) ? v - (1 << t) + 1 : v); }

bool Fail(DecodedJpeg& out, const std::string& why) {
    out.error = why;
    return false;
}

}  // namespace

bool BuildHuffTable(const uint8_t bits[16], const uint8_t* vals, JpegHuffTable& t) {
    t = JpegHuffTable{};
    int code = 0, k = 0;
    for (int l = 1; l <= 16; ++l) {
        t.valptr[l] = k;
        t.mincode[l] = code;
        code += bits[l - 1];
        k += bits[l - 1];
        if (code > (1 << l)) return false;
        t.maxcode[l] = bits[l - 1] ? code - 1 : -1;
        code <<= 1;
    }
    t.maxcode[17] = 0x7FFFFFFF;
    if (k > 256) return false;
    for (int i = 0; i < k; ++i) t.vals[i] = vals[i];
    t.present = true;
    return true;
}

int JpegBitReader::Bit() {
    if (bitsLeft_ == 0) {
        if (pos_ >= size_) {
            failed_ = true;
            return 0;
        }
        const uint8_t b = data_[pos_];
        if (b == 0xFF) {
            if (pos_ + 1 >= size_ || data_[pos_ + 1] != 0x00) {
                failed_ = true;  // a marker inside the coded data
                return 0;
            }
            pos_ += 2;
        } else {
            pos_ += 1;
        }
        cur_ = b;
        bitsLeft_ = 8;
    }
    --bitsLeft_;
    return (cur_ >> bitsLeft_) & 1;
}

int JpegBitReader::Bits(int n) {
    int v = 0;
    for (int i = 0; i < n; ++i) v = (v << 1) | Bit();
    return v;
}

int JpegBitReader::Decode(const JpegHuffTable& t) {
    if (!t.present) return -1;
    int code = Bit();
    int l = 1;
    while (l <= 16 && (t.maxcode[l] < 0 || code > t.maxcode[l])) {
        code = (code << 1) | Bit();
        ++l;
    }
    if (l > 16 || failed_) return -1;
    return t.vals[t.valptr[l] + code - t.mincode[l]];
}

bool DecodeJpegBlock(JpegBitReader& br, const JpegHuffTable& dc, const JpegHuffTable& ac, int& pred,
                     int coeff[64], bool* hadEob) {
    std::fill(coeff, coeff + 64, 0);
    if (hadEob) *hadEob = false;
    const int t = br.Decode(dc);
    if (t < 0 || t > 16) return false;
    pred += Extend(br.Bits(t), t);
    coeff[0] = pred;
    for (int k = 1; k < 64;) {
        const int rs = br.Decode(ac);
        if (rs < 0) return false;
        const int r = rs >> 4, s = rs & 15;
        if (s == 0) {
            if (r == 15) {
                k += 16;
                continue;
            }
            if (r != 0) return false;
            if (hadEob) *hadEob = true;
            break;
        }
        k += r;
        if (k > 63) return false;
        coeff[kZigzag[k]] = Extend(br.Bits(s), s);
        ++k;
    }
    return !br.failed();
}

bool DecodeJpeg(const uint8_t* data, size_t size, DecodedJpeg& out) {
    out = DecodedJpeg{};
    ByteCursor cur(data, size);
    if (cur.u8() != 0xFF || cur.u8() != 0xD8 || !cur.ok()) return Fail(out, "no start of image");
    bool haveFrame = false;
    while (true) {
        const size_t at = cur.pos();
        const uint8_t ff = cur.u8(), m = cur.u8();
        if (!cur.ok()) return Fail(out, "stream ends before the scan");
        if (ff != 0xFF) return Fail(out, "marker expected at " + std::to_string(at));
        const uint16_t len = cur.u16be();
        if (!cur.ok() || len < 2) return Fail(out, "bad segment length");
        ByteCursor seg;
        if (!cur.sub(len - 2u, seg)) return Fail(out, "segment runs past the end");
        if (m == 0xDB) {
            while (!seg.at_end()) {
                const uint8_t pt = seg.u8();
                const int pq = pt >> 4, tq = pt & 15;
                if (tq > 3 || pq > 1) return Fail(out, "bad quantisation table id");
                for (int k = 0; k < 64; ++k)
                    out.quant[static_cast<size_t>(tq)][kZigzag[k]] = pq ? seg.u16be() : seg.u8();
                if (!seg.ok()) return Fail(out, "short quantisation segment");
            }
        } else if (m == 0xC4) {
            while (!seg.at_end()) {
                const uint8_t tc = seg.u8();
                uint8_t bits[16];
                int n = 0;
                for (auto& b : bits) n += (b = seg.u8());
                const uint8_t* vals = seg.take(static_cast<size_t>(n));
                if (!seg.ok() || !vals || (tc >> 4) > 1 || (tc & 15) > 3) return Fail(out, "bad Huffman segment");
                JpegHuffTable& t = (tc >> 4) ? out.ac[tc & 15] : out.dc[tc & 15];
                if (!BuildHuffTable(bits, vals, t)) return Fail(out, "Huffman counts overflow");
            }
        } else if (m == 0xC0 || m == 0xC1) {
            out.sofMarker = m;
            out.precision = seg.u8();
            out.height = seg.u16be();
            out.width = seg.u16be();
            const int n = seg.u8();
            if (!seg.ok() || (n != 1 && n != 3)) return Fail(out, "bad frame header");
            for (int i = 0; i < n; ++i) {
                JpegComponentInfo c;
                c.id = seg.u8();
                const uint8_t hv = seg.u8();
                c.h = hv >> 4;
                c.v = hv & 15;
                c.tq = seg.u8();
                if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || c.tq > 3) return Fail(out, "bad component");
                out.comps.push_back(c);
            }
            if (!seg.ok() || !seg.at_end()) return Fail(out, "frame header length mismatch");
            if (out.width < 1 || out.height < 1) return Fail(out, "empty frame");
            haveFrame = true;
        } else if (m == 0xDA) {
            if (!haveFrame) return Fail(out, "scan before frame");
            const int n = seg.u8();
            if (n != static_cast<int>(out.comps.size())) return Fail(out, "scan must hold every component");
            for (int i = 0; i < n; ++i) {
                const int id = seg.u8(), tables = seg.u8();
                if (out.comps[static_cast<size_t>(i)].id != id) return Fail(out, "scan component order");
                out.comps[static_cast<size_t>(i)].td = tables >> 4;
                out.comps[static_cast<size_t>(i)].ta = tables & 15;
            }
            const int ss = seg.u8(), se = seg.u8(), a = seg.u8();
            if (!seg.ok() || !seg.at_end() || ss != 0 || se != 63 || a != 0) return Fail(out, "bad scan header");
            out.scanDataOffset = cur.pos();
            break;
        } else if ((m >= 0xE0 && m <= 0xEF) || m == 0xFE) {
            // application and comment segments: skipped
        } else {
            return Fail(out, "unexpected marker " + std::to_string(m));
        }
    }

    int hmax = 1, vmax = 1;
    for (const auto& c : out.comps) {
        hmax = std::max(hmax, c.h);
        vmax = std::max(vmax, c.v);
    }
    const int mcusX = (out.width + 8 * hmax - 1) / (8 * hmax);
    const int mcusY = (out.height + 8 * vmax - 1) / (8 * vmax);
    for (auto& c : out.comps) {
        c.blocksAcross = mcusX * c.h;
        c.blocksDown = mcusY * c.v;
        c.coeffs.assign(static_cast<size_t>(c.blocksAcross) * static_cast<size_t>(c.blocksDown), {});
        if (!out.dc[c.td].present || !out.ac[c.ta].present) return Fail(out, "missing Huffman table");
    }
    JpegBitReader br(data, size, out.scanDataOffset);
    std::vector<int> pred(out.comps.size(), 0);
    for (int my = 0; my < mcusY; ++my) {
        for (int mx = 0; mx < mcusX; ++mx) {
            for (size_t ci = 0; ci < out.comps.size(); ++ci) {
                auto& c = out.comps[ci];
                for (int by = 0; by < c.v; ++by) {
                    for (int bx = 0; bx < c.h; ++bx) {
                        const size_t idx = static_cast<size_t>((my * c.v + by) * c.blocksAcross + mx * c.h + bx);
                        if (!DecodeJpegBlock(br, out.dc[c.td], out.ac[c.ta], pred[ci], c.coeffs[idx].data()))
                            return Fail(out, "bad entropy-coded data in MCU " + std::to_string(my) + "," +
                                                 std::to_string(mx));
                    }
                }
            }
        }
    }
    if (br.pendingBits() > 0 && br.pendingValue() != (1 << br.pendingBits()) - 1)
        return Fail(out, "final byte not padded with one-bits");
    size_t p = br.pos();
    if (p + 2 > size || data[p] != 0xFF || data[p + 1] != 0xD9) return Fail(out, "no end of image after the scan");
    out.trailing.assign(data + p + 2, data + size);
    return true;
}

bool DecodeJpegPixels(const DecodedJpeg& d, std::vector<uint8_t>& pixels, int width) {
    const size_t n = d.comps.size();
    if (n != 1 && n != 3) return false;
    for (const auto& c : d.comps)
        if (c.h != 1 || c.v != 1) return false;
    // cos((2x + 1) u pi / 16) with the transform's scale C(u) / 2.
    double basis[8][8];
    for (int x = 0; x < 8; ++x)
        for (int u = 0; u < 8; ++u)
            basis[x][u] = (u == 0 ? std::sqrt(0.5) : 1.0) / 2.0 * std::cos((2 * x + 1) * u * M_PI / 16.0);
    const double shift = d.precision == 12 ? 2048.0 : 128.0;
    const double scale = d.precision == 12 ? 16.0 : 1.0;
    const size_t w = static_cast<size_t>(width < 0 ? d.width : std::min(width, d.width));
    const size_t h = static_cast<size_t>(d.height);
    std::vector<std::vector<double>> planes(n, std::vector<double>(w * h));
    for (size_t ci = 0; ci < n; ++ci) {
        const JpegComponentInfo& c = d.comps[ci];
        const auto& q = d.quant[static_cast<size_t>(c.tq)];
        for (int by = 0; by < c.blocksDown; ++by)
            for (int bx = 0; bx < c.blocksAcross && static_cast<size_t>(bx) * 8 < w; ++bx) {
                const auto& f = c.coeffs[static_cast<size_t>(by * c.blocksAcross + bx)];
                // Separable inverse: down the columns, then along the rows.
                double t[8][8];
                for (int y = 0; y < 8; ++y)
                    for (int u = 0; u < 8; ++u) {
                        double v = 0;
                        for (int k = 0; k < 8; ++k)
                            v += basis[y][k] * f[static_cast<size_t>(k * 8 + u)] * q[static_cast<size_t>(k * 8 + u)];
                        t[y][u] = v;
                    }
                for (int y = 0; y < 8; ++y)
                    for (int x = 0; x < 8; ++x) {
                        const size_t px = static_cast<size_t>(bx * 8 + x), py = static_cast<size_t>(by * 8 + y);
                        if (px >= w || py >= h) continue;
                        double v = 0;
                        for (int u = 0; u < 8; ++u) v += basis[x][u] * t[y][u];
                        planes[ci][py * w + px] = v + (ci == 0 ? shift : 0.0);
                    }
            }
    }
    pixels.assign(w * h * n, 0);
    const auto put = [&](size_t at, double v) {
        pixels[at] = static_cast<uint8_t>(std::clamp(std::lround(v / scale), 0L, 255L));
    };
    for (size_t i = 0; i < w * h; ++i) {
        if (n == 1) {
            put(i, planes[0][i]);
            continue;
        }
        const double y = planes[0][i], cb = planes[1][i], cr = planes[2][i];
        put(i * 3, y + 1.402 * cr);
        put(i * 3 + 1, y - 0.344136 * cb - 0.714136 * cr);
        put(i * 3 + 2, y + 1.772 * cb);
    }
    return true;
}

}  // namespace ovcg::test
