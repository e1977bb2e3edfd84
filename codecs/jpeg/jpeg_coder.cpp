#include "codecs/jpeg/jpeg_coder.h"

#include "codecs/jpeg/markers.h"

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

int CJpegCoder::Open(unsigned char* out, int* written, int width, int height) {
    if (!out || !written || width < 1 || width > 65535 || height < 1 || height > 65535) throw ERR_ARGUMENT;
    width_ = width;
    height_ = height;
    comment_ = "this is test data";
    components_ = 3;
    precision_ = 8;
    units_ = 1;
    xDensity_ = 72;
    yDensity_ = 72;
    stream_.InitStream(out, kJfifHeaderLimit);
    WriteHeader();
    mcusAcross_ = (width + 15) >> 4;
    mcuRows_ = (height + 15) >> 4;
    *written = stream_.count();
    // The segments carry the pair as loaded; the coding needs its divisors.
    ConvTable();
    return 1;
}

void CJpegCoder::WriteHeader() {
    COutputStream& out = stream_;
    out.PutByte(0xFF);
    out.PutByte(0xD8);
    WriteJfifSegment(out, units_, xDensity_, yDensity_);
    if (comment_) WriteCommentSegment(out, comment_);
    WriteQuantSegment(out, 0, quant_[0], 1);
    WriteQuantSegment(out, 1, quant_[1], 1);
    WriteHuffmanSegment(out, dc16_ ? kYDcSegment16 : kYDcSegment);
    WriteHuffmanSegment(out, dc16_ ? kCDcSegment16 : kCDcSegment);
    WriteHuffmanSegment(out, ac16_ ? kYAcSegment16 : kYAcSegment);
    WriteHuffmanSegment(out, ac16_ ? kCAcSegment16 : kCAcSegment);
    // A baseline frame: components 0 (2 x 2 sampling), 1 and 2 (1 x 1).
    out.PutByte(0xFF);
    out.PutByte(0xC0);
    out.PutU16BE(static_cast<uint32_t>(8 + 3 * components_));
    out.PutByte(static_cast<uint8_t>(precision_));
    out.PutU16BE(static_cast<uint32_t>(height_));
    out.PutU16BE(static_cast<uint32_t>(width_));
    out.PutByte(static_cast<uint8_t>(components_));
    for (int c = 0; c < components_; ++c) {
        out.PutByte(static_cast<uint8_t>(c));
        out.PutByte(c == 0 ? 0x22 : 0x11);
        out.PutByte(c == 0 ? 0 : 1);
    }
    WriteScanHeader(out, components_);
}

int CJpegCoder::Close(unsigned char* out, int* written) {
    if (!out || !written) throw ERR_ARGUMENT;
    stream_.InitStream(out, kJfifCloseLimit);
    stream_.SetDataAll();
    if (stream_.carryCount() > 0) throw ERR_ARGUMENT;
    *written = stream_.count();
    return 0;
}

}  // namespace ovcg::jpeg
