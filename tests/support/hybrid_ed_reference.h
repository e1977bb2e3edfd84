// A slow, literal model of the HybridED kernels, for tests and benchmarks.
// It keeps the error of the current line and the next line in two arrays,
// applies every share one by one from share tables written as text (the
// form "+1: q2; +2: q5+q4 | -2: q3; -1: q3+q4; 0: q2", same line before the
// bar, next line after it), takes each pixel's dither cell from the unpadded
// matrix, and writes the error line back by the after-run rule:
//   cells x0 - 3 .. end - 1      = the next-line shares sent to them;
//   cells below x0 - 3           = content (0 with the margin mend) + the
//                                  next-line shares sent to them;
//   cells from end               = content (0 with the margin mend) + the
//                                  same-line shares of offset 3 or more.
// Arithmetic modulo 2^32, shifts of the signed residual, as the kernels.
#pragma once

#include "hxr/control/hxr_ht_data.h"
#include "support/dither_record.h"

#include <cstdint>
#include <vector>

namespace ovcg_test {

enum class EdFamily { k1x1, k2x1, k4x1, k1x2, kAllEDOnly1x1 };

struct EdKernelSpec {
    EdFamily family;
    int bits;    // 1 or 2
    uint32_t k;  // 2 bits: smallest dot size in use (0 small, 1 medium, 2 large)
};

struct EdRun {
    const uint8_t* ink = nullptr;       // pixel x at ink[x]
    const uint32_t* rates = nullptr;    // 1 (1 bit) or 3 (2 bits) values per ink value
    const DitherRecord* dither = nullptr;
    HXRDthOffset offset{};
    uint32_t nozzle = 0;
    const int32_t* thresholds = nullptr;  // A[0..255], B[0..255]
    int32_t x0 = 0, n = 0;
    bool mend_margins = true;
};

// `line` holds cells -30 .. P + 29 at line[x + 30]; `plane` pixel x at its
// MSB-first position; counts as the kernels keep them.
void reference_hybrid_ed(const EdKernelSpec& recipe, const EdRun& run, std::vector<uint8_t>& plane,
                         uint32_t* counts, std::vector<int32_t>& line);

// The share text of a family's case ("Z", "G", "N", "M1", "M2", "M3"; the
// 1x1 family's "D" serves as G and N).
const char* reference_shares(EdFamily family, const char* name);

// The share a case gives to offset k of the next line (`next`) or of this
// line, for residual r; 0 where the case lists none.
int64_t reference_share(EdFamily family, const char* name, bool next, int k, int32_t r);

}  // namespace ovcg_test
