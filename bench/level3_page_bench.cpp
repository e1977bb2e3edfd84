// A photo page through the level-3 band driver and each encode buffer, in
// bands as the front end gives them (2 lines) and in tall bands, the bytes
// going to a spooler that only counts them; beside it each codec alone on
// the same page (the JPEG encoder on the whole image, RHV2 on its 8-line
// slices of 3-byte pixels), so the cost of the driver and the buffers shows
// as the ratio of the two.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "codecs/rhv2/rhv2.h"
#include "commands/encode_buffer.h"
#include "engine/hxr_dll.h"
#include "engine/plimo_buffer.h"
#include "engine/spooler.h"
#include "halftoning/intent_x_traq3.h"
#include "photo_image.h"
#include "support/recording_hxr_engine.h"

namespace {

using ovcg_bench::kPhotoHeight;
using ovcg_bench::kPhotoWidth;

int Count(void* context, char*, unsigned int length) {
    *static_cast<uint64_t*>(context) += length;
    return static_cast<int>(length);
}

void Report(benchmark::State& state, uint64_t bytes) {
    state.counters["MPixel/s"] = benchmark::Counter(
        double(kPhotoWidth) * kPhotoHeight / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["bytes"] = double(bytes) / double(state.iterations());
}

// selector: 0 JPEG with identification data, 1 RHV2, 2 JPEG; range(1): band rows.
void BM_Level3Page(benchmark::State& state) {
    const auto selector = static_cast<uint16_t>(state.range(0));
    const auto rows = static_cast<uint32_t>(state.range(1));
    const std::vector<uint8_t>& photo = ovcg_bench::PhotoImage();
    ovcg_test::RecordingHxrEngine hxr;
    CHXRDLL dll("ht", hxr.Table());
    CPlimoBuffer buffer(4, 1, 0, kPhotoWidth, {300, 300}, {300, 300}, 2, 1);
    uint64_t bytes = 0;
    CPlimoSpooler spooler(0, &Count, &bytes);
    ovcg::CTRAQ3V1_1 records({300, 300}, {300, 300}, {kPhotoWidth, kPhotoHeight}, {kPhotoWidth, kPhotoHeight},
                             {0, 0});
    std::unique_ptr<ovcg::IEncodeBuffer> encode;
    if (selector == 1)
        encode = std::make_unique<ovcg::CEncodeRhv2Buffer>(&spooler, &records, kPhotoHeight);
    else if (selector == 2)
        encode = std::make_unique<ovcg::CEncodeJpegBuffer>(&spooler, &records, kPhotoHeight);
    else
        encode = std::make_unique<ovcg::CEncodeJpegPlusBuffer>(&spooler, &records, kPhotoHeight);
    tagHTSTRUCT3_5 ht{};
    ht.version = OVCG_HTSTRUCT3_VERSION;
    ht.halftone_type = 3;
    ht.color_correction = 2;
    ovcg::tagHTINITSTRUCT init{};
    init.src_format = 7;
    init.ink_set_id = 1;
    init.color_type = 7;
    init.src_width = kPhotoWidth;
    init.page_length = kPhotoHeight;
    init.sub_type = init.out_bits = init.ht_sub_type = -1;
    init.band_buffer = &buffer;
    init.ht_struct = &ht;
    init.hxr_dll = &dll;
    init.band_lines = init.band_rows = 2;
    init.reduce_step = 1;
    init.src_resolution = init.prt_resolution = {300, 300};
    init.spooler = &spooler;
    init.level3_records = &records;
    init.encode_buffer = encode.get();
    ovcg::CIntentX_TRAQ3 driver(&init, 0, 0);
    const uint32_t stride = kPhotoWidth * 4;
    uint64_t sent = 0;
    for (auto _ : state) {
        bytes = 0;
        driver.StartPage();
        for (uint32_t top = 0; top < uint32_t(kPhotoHeight); top += rows) {
            const uint32_t n = std::min(rows, uint32_t(kPhotoHeight) - top);
            tagBANDBMP bmp{stride, const_cast<uint8_t*>(photo.data()) + size_t{top} * stride};
            const tagRECT band{0, top, uint32_t(kPhotoWidth), top + n}, clip{0, 0, uint32_t(kPhotoWidth), n};
            if (driver.BandOut(&clip, &bmp, nullptr, &band, nullptr) != 0) state.SkipWithError("band refused");
        }
        encode->bFlushENCODEBuff();
        spooler.Flush();
        driver.EndPage();
        sent += bytes;
    }
    Report(state, sent);
}

// RHV2 alone on the page's 8-line slices, packed to 3 bytes as the buffer does.
void BM_Level3Rhv2CodecAlone(benchmark::State& state) {
    const std::vector<uint8_t>& photo = ovcg_bench::PhotoImage();
    std::vector<uint8_t> packed(size_t{kPhotoWidth} * kPhotoHeight * 3);
    for (size_t i = 0; i < size_t{kPhotoWidth} * kPhotoHeight; ++i)
        for (int c = 0; c < 3; ++c) packed[i * 3 + size_t(c)] = photo[i * 4 + size_t(c)];
    const uint32_t stride = kPhotoWidth * 3;
    std::vector<uint8_t> out(ovcg::Rhv2GetRhv2BufSize(0, ovcg::kRhv2Three, kPhotoWidth, 8, stride));
    std::vector<uint8_t> work(ovcg::Rhv2GetWorkBufSize(ovcg::kRhv2Three, kPhotoWidth, 8));
    uint64_t sent = 0;
    for (auto _ : state) {
        for (uint32_t top = 0; top < uint32_t(kPhotoHeight); top += 8) {
            uint32_t size = 0;
            ovcg::Rhv2CompDecomp(0, ovcg::kRhv2Three, kPhotoWidth, 8, stride, &packed[size_t{top} * stride],
                                 size_t{stride} * 8, out.data(), out.size(), work.data(), work.size(), &size);
            sent += size;
        }
    }
    Report(state, sent);
}

BENCHMARK(BM_Level3Page)
    ->ArgNames({"selector", "rows"})
    ->Args({0, 2})
    ->Args({0, 64})
    ->Args({2, 2})
    ->Args({2, 64})
    ->Args({1, 2})
    ->Args({1, 64})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Level3Rhv2CodecAlone)->Unit(benchmark::kMillisecond);

}  // namespace
