// Tetrahedral weights shared by the re-gridding (fractions of 128) and the
// colour adjustment's resampling (fractions of a segment span): the cube of
// a node is cut along its diagonal into six tetrahedra and the one holding
// the point is chosen by the order of the three fractions.
#pragma once

#include <cstddef>
#include <cstdint>

struct HXRTetra {
    uint32_t w[4];    // sum = full
    size_t off[4];    // vertex offsets from the base node, off[0] = 0
};

// With the fractions ordered a >= b >= c: weights full - a, a - b, b - c, c
// on the base node, base + stride(a), + stride(b), + stride(c). Ties take the
// lower axis first, so f0 >= f1 >= f2 walks axes (0, 1, 2), f0 >= f2 > f1
// (0, 2, 1), f2 > f0 >= f1 (2, 0, 1), f1 > f0 >= f2 (1, 0, 2), f1 >= f2 > f0
// (1, 2, 0) and f2 > f1 > f0 (2, 1, 0).
inline HXRTetra HXRTetraWeights(uint32_t full, const uint32_t f[3], const size_t stride[3]) {
    int a, b, c;
    if (f[0] >= f[1]) {
        if (f[1] >= f[2]) a = 0, b = 1, c = 2;
        else if (f[0] >= f[2]) a = 0, b = 2, c = 1;
        else a = 2, b = 0, c = 1;
    } else {
        if (f[0] >= f[2]) a = 1, b = 0, c = 2;
        else if (f[1] >= f[2]) a = 1, b = 2, c = 0;
        else a = 2, b = 1, c = 0;
    }
    HXRTetra t;
    t.w[0] = full - f[a];
    t.w[1] = f[a] - f[b];
    t.w[2] = f[b] - f[c];
    t.w[3] = f[c];
    t.off[0] = 0;
    t.off[1] = stride[a];
    t.off[2] = stride[a] + stride[b];
    t.off[3] = stride[a] + stride[b] + stride[c];
    return t;
}
