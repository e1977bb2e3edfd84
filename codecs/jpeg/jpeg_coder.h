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

    // Stand-alone JFIF front end, for a plain colour JPEG file; the printer
    // encoder (CJpegAPI) writes its own header and never calls these.
    // Calling order: Open; ConvTable has then been run, so the caller codes
    // the image MCU by MCU, left to right and top to bottom, with
    // YuvToHuffman_Float(mcu, 4): 16 x 16 pixels a MCU (four luminance
    // blocks, then Cb and Cr sampled once per 2 x 2 pixels), with the
    // coder's quantisation pair, attaching buffers for the coded bytes with
    // stream().InitStream as they fill; then Close.
    //
    // Open writes the header (WriteHeader) for a width x height image into
    // `out`, which must hold kJfifHeaderLimit bytes (the header takes 645 of
    // them; later coded bytes go there too while it has room); the header's
    // byte count goes to *written. Returns 1; throws ERR_ARGUMENT for a null
    // pointer or a width or height outside 1..65535.
    static constexpr int kJfifHeaderLimit = 1024;
    static constexpr int kJfifCloseLimit = 4096;
    int Open(unsigned char* out, int* written, int width, int height);
    // Start of image, the JFIF segment, the comment, the quantisation
    // segments of the loaded pair, the four Huffman segments, the frame
    // (3 components, 2 x 2 luminance sampling) and the scan header, through
    // the attached stream.
    void WriteHeader();
    // Writes the rest of the coded bytes (those held in the carry area
    // first), the last bits padded with one-bits and the end-of-image
    // marker into `out`, which must hold kJfifCloseLimit bytes; the count
    // goes to *written. Returns 0. Throws ERR_ARGUMENT for a null pointer,
    // and when the bytes do not fit (the caller attached too small buffers
    // while coding): they would be lost otherwise.
    int Close(unsigned char* out, int* written);
    int mcusAcross() const { return mcusAcross_; }
    int mcuRows() const { return mcuRows_; }

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

    // The stand-alone front end's frame and file values.
    int width_ = 0;
    int height_ = 0;
    int components_ = 3;
    int precision_ = 8;
    const char* comment_ = nullptr;
    uint8_t units_ = 0;
    uint16_t xDensity_ = 0;
    uint16_t yDensity_ = 0;
    int mcusAcross_ = 0;
    int mcuRows_ = 0;
};

}  // namespace ovcg::jpeg
