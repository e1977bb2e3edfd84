// Coding core of the JPEG encoder: quantisation tables with their divisor
// forms, the DC predictors, the MCU drivers that run blocks through the DCT and
// the Huffman coder, and the output stream.
#pragma once

#include "codecs/jpeg/dct_quant.h"
#include "codecs/jpeg/huffman.h"
#include "codecs/jpeg/output_stream.h"

#include <cstdint>

namespace ovcg::jpeg {

class CJpegCoder {
public:
    CJpegCoder();
    virtual ~CJpegCoder();
    CJpegCoder(const CJpegCoder&) = delete;
    CJpegCoder& operator=(const CJpegCoder&) = delete;

    // Loads the quantisation pair (64 values each, natural order). A new
    // coder holds kYQuantumT and kCQuantumT.
    void SetJpegQuality(const int16_t* luminance, const int16_t* chrominance);
    // Derives the float multipliers, the integer divisors and the DC
    // quantisers from the loaded pair and the precision.
    void ConvTable();

    // Chooses the integer transform: the quick one (truncating quantisation)
    // or the rounding one, which a new coder uses.
    void SetQuickDct(bool quick) { intDct_ = quick ? DctAndQtiz_Chen_Quick : DctAndQtiz_Chen; }

    // Sets the DC and AC precision (16 times when true); picks the code tables.
    void SetPrecision(bool dc16, bool ac16);

    // Codes the coefficient block with the tables of the component's class and
    // the DC predictor of `component` (0, 1 or 2).
    void FirstCodeHuffman(int component);
    // Codes a block whose only non-zero coefficient is `dc`.
    void CodeHuffmanUniColor(int dc, int component);

    // MCU drivers: `yBlocks` luminance blocks, then Cb and Cr (64 samples
    // each, natural order, level-shifted, unit scale); the samples are
    // consumed. The 16-bit driver runs the integer transform, the others the
    // float one (grey blocks always take the float transform).
    void YuvToHuffman_Float(float* mcu, int yBlocks);
    void YuvToHuffman(int16_t* mcu, int yBlocks);
    void Mono_YuvToHuffman(float* block);

    COutputStream& stream() { return stream_; }
    const COutputStream& stream() const { return stream_; }
    int* coefficients() { return coeff_; }
    const FloatDivisors& divisors(int cls) const { return div_[cls]; }
    const IntDivisors& intDivisors(int cls) const { return intDiv_[cls]; }
    bool quickDct() const { return intDct_ == DctAndQtiz_Chen_Quick; }
    int dcQuantiser(int cls) const { return dcQuant_[cls]; }
    const int16_t* quantTable(int cls) const { return quant_[cls]; }
    bool dc16() const { return dc16_; }
    bool ac16() const { return ac16_; }

private:
    const BlockTables& TablesFor(int component) const { return tables_[component == 0 ? 0 : 1]; }

    COutputStream stream_;
    int16_t quant_[2][64] = {};
    FloatDivisors div_[2] = {};
    IntDivisors intDiv_[2] = {};
    IntDct intDct_ = DctAndQtiz_Chen;
    int dcQuant_[2] = {1, 1};
    alignas(16) int coeff_[64] = {};
    int pred_[3] = {0, 0, 0};
    bool dc16_ = false;
    bool ac16_ = false;
    BlockTables tables_[2] = {};  // luminance, chrominance
};

}  // namespace ovcg::jpeg
