// The JPEG encoder's kernels come in two builds of one source: the plain one
// for any x86-64 (four-lane vectors), and a wide one for processors with
// AVX2, BMI1 and BMI2 (eight-lane vectors, three-operand and flag-free
// shifts). Both perform the same single-precision operations in the same
// order on every value (the module is built without contraction, so no
// multiply-add is fused), so they write the same bytes; which one runs is
// decided once per process.
#pragma once

namespace ovcg::jpeg {

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define OVCG_JPEG_WIDE_KERNELS 1
#define OVCG_JPEG_WIDE_TARGET __attribute__((target("avx2,bmi,bmi2,lzcnt,popcnt")))
#else
#define OVCG_JPEG_WIDE_KERNELS 0
#define OVCG_JPEG_WIDE_TARGET
#endif

// True when the wide kernels run: the processor has them and they are not
// switched off.
bool UseWideKernels();

// For tests: false makes every encoder made afterwards use the plain
// kernels; true restores the processor's choice.
void AllowWideKernels(bool allow);

}  // namespace ovcg::jpeg
