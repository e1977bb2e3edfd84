#include "codecs/jpeg/jpeg_coder.h"

#include <cstring>

namespace ovcg::jpeg {

// Open loads the pair of the chosen quality; until then the coder holds the
// standard's example pair.
CJpegCoder::CJpegCoder() {
    SetJpegQuality(kYQuantumT, kCQuantumT);
    SetPrecision(false, false);
}

CJpegCoder::~CJpegCoder() = default;

void CJpegCoder::SetJpegQuality(const int16_t* luminance, const int16_t* chrominance) {
    std::memcpy(quant_[0], luminance, sizeof quant_[0]);
    std::memcpy(quant_[1], chrominance, sizeof quant_[1]);
}

void CJpegCoder::ConvTable() {
    for (int c = 0; c < 2; ++c) {
        dcQuant_[c] = quant_[c][0];
        ConvTableFloat(quant_[c], dc16_, ac16_, &div_[c]);
        ConvTableInt(quant_[c], dc16_, ac16_, &intDiv_[c]);
    }
}

void CJpegCoder::SetPrecision(bool dc16, bool ac16) {
    dc16_ = dc16;
    ac16_ = ac16;
    tables_[0] = {dc16 ? &kYDcHuffmanT16 : &kYDcHuffmanT, ac16 ? &kYAcHuffmanT16 : &kYAcHuffmanT,
                  ac16 ? kAcWords16[0] : kAcWords8[0]};
    tables_[1] = {dc16 ? &kCDcHuffmanT16 : &kCDcHuffmanT, ac16 ? &kCAcHuffmanT16 : &kCAcHuffmanT,
                  ac16 ? kAcWords16[1] : kAcWords8[1]};
}

void CJpegCoder::FirstCodeHuffman(int component) {
    const BlockTables& t = TablesFor(component);
    const int diff = coeff_[0] - pred_[component];
    pred_[component] = coeff_[0];
    EmitBlock(stream_, diff, coeff_, t);
}

void CJpegCoder::CodeHuffmanUniColor(int dc, int component) {
    const BlockTables& t = TablesFor(component);
    const int diff = dc - pred_[component];
    pred_[component] = dc;
    EmitDc(stream_, diff, *t.dc);
    stream_.PutBits(t.ac->code[0x00], t.ac->length[0x00]);
}

void CJpegCoder::YuvToHuffman_Float(float* mcu, int yBlocks) {
    for (int b = 0; b < yBlocks; ++b) {
        DctAndQtiz_Chen_Float(coeff_, mcu + 64 * b, div_[0].mul, div_[0].half);
        FirstCodeHuffman(0);
    }
    for (int c = 1; c <= 2; ++c) {
        DctAndQtiz_Chen_Float(coeff_, mcu + 64 * (yBlocks + c - 1), div_[1].mul, div_[1].half);
        FirstCodeHuffman(c);
    }
}

void CJpegCoder::YuvToHuffman(int16_t* mcu, int yBlocks) {
    for (int b = 0; b < yBlocks; ++b) {
        intDct_(coeff_, mcu + 64 * b, intDiv_[0]);
        FirstCodeHuffman(0);
    }
    for (int c = 1; c <= 2; ++c) {
        intDct_(coeff_, mcu + 64 * (yBlocks + c - 1), intDiv_[1]);
        FirstCodeHuffman(c);
    }
}

void CJpegCoder::Mono_YuvToHuffman(float* block) {
    DctAndQtiz_Chen_Float(coeff_, block, div_[0].mul, div_[0].half);
    FirstCodeHuffman(0);
}

}  // namespace ovcg::jpeg
