// Encoding throughput of the level-3 band JPEG encoder on a large photo-like
// image, in the two configurations the encode buffers use, beside libjpeg's
// own float-DCT baseline encoder on the same image with the same tables; and
// the integer configurations (16-bit converters with the integer matrix,
// integer transform, rounding or quick) beside libjpeg's integer encoder.
#include "codecs/jpeg/dct_quant.h"
#include "codecs/jpeg/jpeg_api.h"

#include <benchmark/benchmark.h>

#include "photo_image.h"

#include <cstdint>
#include <vector>

#include <jpeglib.h>

namespace {

using ovcg::jpeg::CJpegAPI;
using ovcg::jpeg::SDataPattern;

using ovcg_bench::kPhotoHeight;
using ovcg_bench::kPhotoWidth;
constexpr int kWidth = kPhotoWidth;
constexpr int kHeight = kPhotoHeight;

const std::vector<uint8_t>& PhotoImage() { return ovcg_bench::PhotoImage(); }

void ReportThroughput(benchmark::State& state, size_t bytes) {
    state.counters["MPixel/s"] = benchmark::Counter(static_cast<double>(kWidth) * kHeight / 1e6 * static_cast<double>(state.iterations()),
                                                     benchmark::Counter::kIsRate);
    state.counters["bytes"] = static_cast<double>(bytes);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight);
}

// speed: -1 as Open forces it (2), else the speed the encoder is made to use.
void EncodeImage(benchmark::State& state, SDataPattern pattern, int speed = -1) {
    const std::vector<uint8_t>& im = PhotoImage();
    std::vector<uint8_t> out(32768);
    size_t bytes = 0;
    for (auto _ : state) {
        CJpegAPI enc;
        if (speed >= 0) enc.OverrideSpeed(static_cast<uint32_t>(speed));
        SDataPattern p = pattern;
        int written = 0;
        enc.Open(out.data(), &written, 32768, kWidth, kHeight, &p, kWidth * 4, nullptr, 0);
        bytes = static_cast<size_t>(written);
        for (int y = 0; y < kHeight; y += enc.mcuHeight()) {
            enc.SetData(im.data() + static_cast<size_t>(y) * kWidth * 4, 32768);
            while (enc.Compress(out.data(), &written) != CJpegAPI::kNeedInput) bytes += static_cast<size_t>(written);
        }
        enc.Close(out.data(), &written, 32768);
        bytes += static_cast<size_t>(written);
        benchmark::DoNotOptimize(bytes);
    }
    ReportThroughput(state, bytes);
}

void BM_JpegEncodePhoto8(benchmark::State& state) { EncodeImage(state, {0, 2, 0, 1, 2, 1, 0, 1, 0, 1}); }
void BM_JpegEncodePhoto12(benchmark::State& state) { EncodeImage(state, {0, 2, 0, 1, 2, 1, 1, 1, 0, 16}); }
void BM_JpegEncodePhoto8Int(benchmark::State& state) { EncodeImage(state, {0, 2, 0, 1, 2, 1, 0, 0, 0, 1}, 1); }
void BM_JpegEncodePhoto8IntQuick(benchmark::State& state) { EncodeImage(state, {0, 2, 0, 1, 2, 1, 0, 0, 0, 1}, 0); }

// libjpeg's destination: one 32 KB buffer sent (counted) whenever it fills,
// as the encode buffers send our encoder's chunks.
struct ChunkDestination {
    jpeg_destination_mgr pub;
    std::vector<JOCTET> buffer = std::vector<JOCTET>(32768);
    size_t sent = 0;
};

void ChunkInit(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<ChunkDestination*>(cinfo->dest);
    d->pub.next_output_byte = d->buffer.data();
    d->pub.free_in_buffer = d->buffer.size();
}
boolean ChunkFull(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<ChunkDestination*>(cinfo->dest);
    d->sent += d->buffer.size();
    benchmark::DoNotOptimize(d->buffer.data());
    ChunkInit(cinfo);
    return TRUE;
}
void ChunkTerm(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<ChunkDestination*>(cinfo->dest);
    d->sent += d->buffer.size() - d->pub.free_in_buffer;
}

// libjpeg with the tables of our 8-bit configuration (quality 1), 4:4:4 as our
// 8x8 MCUs, the given DCT and the standard Huffman tables; errors end the run.
void LibjpegEncode(benchmark::State& state, J_DCT_METHOD method) {
    const std::vector<uint8_t>& im = PhotoImage();
    unsigned int luminance[64], chrominance[64];
    for (int k = 0; k < 64; ++k) {
        luminance[k] = static_cast<unsigned>(ovcg::jpeg::kYQuantumT10[k]);
        chrominance[k] = static_cast<unsigned>(ovcg::jpeg::kCQuantumT10[k]);
    }
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    ChunkDestination dest;
    dest.pub.init_destination = ChunkInit;
    dest.pub.empty_output_buffer = ChunkFull;
    dest.pub.term_destination = ChunkTerm;
    cinfo.dest = &dest.pub;
#ifndef JCS_EXTENSIONS
    std::vector<JSAMPLE> line(static_cast<size_t>(kWidth) * 3);
#endif
    for (auto _ : state) {
        dest.sent = 0;
        cinfo.image_width = kWidth;
        cinfo.image_height = kHeight;
#ifdef JCS_EXTENSIONS
        cinfo.input_components = 4;  // reads our 4-byte pixels in place
        cinfo.in_color_space = JCS_EXT_RGBX;
#else
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
#endif
        jpeg_set_defaults(&cinfo);
        jpeg_add_quant_table(&cinfo, 0, luminance, 100, TRUE);
        jpeg_add_quant_table(&cinfo, 1, chrominance, 100, TRUE);
        for (int c = 0; c < 3; ++c) cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
        cinfo.dct_method = method;
        cinfo.optimize_coding = FALSE;
        jpeg_start_compress(&cinfo, TRUE);
        while (cinfo.next_scanline < cinfo.image_height) {
            const uint8_t* src = im.data() + static_cast<size_t>(cinfo.next_scanline) * kWidth * 4;
#ifdef JCS_EXTENSIONS
            JSAMPROW row = const_cast<JSAMPLE*>(src);
#else
            for (size_t x = 0; x < static_cast<size_t>(kWidth); ++x)
                for (size_t c = 0; c < 3; ++c) line[x * 3 + c] = src[x * 4 + c];
            JSAMPROW row = line.data();
#endif
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_compress(&cinfo);
        benchmark::DoNotOptimize(dest.sent);
    }
    jpeg_destroy_compress(&cinfo);
    ReportThroughput(state, dest.sent);
}

void BM_LibjpegFloatEncodePhoto8(benchmark::State& state) { LibjpegEncode(state, JDCT_FLOAT); }
// The integer transform of the same flow graph as ours, with scaled divisors,
// and libjpeg's default (more accurate) integer transform.
void BM_LibjpegIntEncodePhoto8(benchmark::State& state) { LibjpegEncode(state, JDCT_IFAST); }
void BM_LibjpegIntSlowEncodePhoto8(benchmark::State& state) { LibjpegEncode(state, JDCT_ISLOW); }

BENCHMARK(BM_JpegEncodePhoto8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegEncodePhoto12)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibjpegFloatEncodePhoto8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegEncodePhoto8Int)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegEncodePhoto8IntQuick)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibjpegIntEncodePhoto8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibjpegIntSlowEncodePhoto8)->Unit(benchmark::kMillisecond);

}  // namespace
