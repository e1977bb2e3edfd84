#include "support/libjpeg_decode.h"

#include <algorithm>
#include <csetjmp>

// jpeglib.h must come first: it defines the types jerror.h uses.
#include <jerror.h>

namespace ovcg_test {
namespace {

// An error manager that counts warnings instead of printing the first one,
// and leaves by longjmp on a fatal error (libjpeg's error exit must not return).
struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    LibjpegResult* result;
};

std::string MessageOf(j_common_ptr cinfo) {
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    return text;
}

void OnErrorExit(j_common_ptr cinfo) {
    auto* mgr = reinterpret_cast<ErrorManager*>(cinfo->err);
    mgr->result->errorCode = mgr->pub.msg_code;
    mgr->result->error = MessageOf(cinfo);
    std::longjmp(mgr->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;  // trace output
    auto* mgr = reinterpret_cast<ErrorManager*>(cinfo->err);
    ++mgr->pub.num_warnings;
    mgr->result->warnings.push_back(MessageOf(cinfo));
}

}  // namespace

// Owns the decompressor so that nothing the longjmp skips needs destroying.
struct LibjpegDecoder::Impl {
    Impl() {
        cinfo_.err = jpeg_std_error(&err_.pub);
        err_.pub.error_exit = OnErrorExit;
        err_.pub.emit_message = OnMessage;
        err_.result = &result_;
        jpeg_create_decompress(&cinfo_);
    }
    ~Impl() { jpeg_destroy_decompress(&cinfo_); }

    const LibjpegResult& Decode(const std::vector<uint8_t>& stream, LibjpegRead what) {
        if (setjmp(err_.jump) == 0) Run(stream, what);
        return result_;
    }

    void Run(const std::vector<uint8_t>& stream, LibjpegRead what) {
        jpeg_mem_src(&cinfo_, stream.data(), static_cast<unsigned long>(stream.size()));
        jpeg_read_header(&cinfo_, TRUE);
        LibjpegResult& r = result_;
        r.width = static_cast<int>(cinfo_.image_width);
        r.height = static_cast<int>(cinfo_.image_height);
        r.components = cinfo_.num_components;
        r.precision = cinfo_.data_precision;
        r.colourSpace = cinfo_.jpeg_color_space;
        for (int c = 0; c < std::min(r.components, 3); ++c) {
            r.sampling[c][0] = cinfo_.comp_info[c].h_samp_factor;
            r.sampling[c][1] = cinfo_.comp_info[c].v_samp_factor;
        }
        for (int t = 0; t < 2; ++t) {
            if (const JQUANT_TBL* q = cinfo_.quant_tbl_ptrs[t]) {
                std::array<int, 64> natural{};
                for (size_t k = 0; k < 64; ++k) natural[k] = q->quantval[k];
                r.quant[t].push_back(natural);
            }
        }
        if (what == LibjpegRead::kCoefficients) {
            ReadCoefficients();
        } else {
            ReadPixels();
        }
        jpeg_finish_decompress(&cinfo_);
        r.finished = true;
    }

    void ReadPixels() {
        cinfo_.out_color_space = cinfo_.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
        cinfo_.dct_method = JDCT_ISLOW;
        cinfo_.do_fancy_upsampling = FALSE;  // subsampled chroma is repeated, as the encoder sampled it
        jpeg_start_decompress(&cinfo_);
        const size_t line = static_cast<size_t>(cinfo_.output_width) * static_cast<size_t>(cinfo_.output_components);
        result_.pixels.assign(line * cinfo_.output_height, 0);
        while (cinfo_.output_scanline < cinfo_.output_height) {
            JSAMPROW row = result_.pixels.data() + line * cinfo_.output_scanline;
            jpeg_read_scanlines(&cinfo_, &row, 1);
        }
    }

    void ReadCoefficients() {
        jvirt_barray_ptr* arrays = jpeg_read_coefficients(&cinfo_);
        auto access = cinfo_.mem->access_virt_barray;
        result_.coeffs.resize(static_cast<size_t>(cinfo_.num_components));
        for (int c = 0; c < cinfo_.num_components; ++c) {
            const jpeg_component_info& comp = cinfo_.comp_info[c];
            auto& blocks = result_.coeffs[static_cast<size_t>(c)];
            for (JDIMENSION by = 0; by < comp.height_in_blocks; ++by) {
                JBLOCKARRAY row = access(reinterpret_cast<j_common_ptr>(&cinfo_), arrays[c], by, 1, FALSE);
                for (JDIMENSION bx = 0; bx < comp.width_in_blocks; ++bx) {
                    std::array<int, 64> b{};
                    for (size_t k = 0; k < 64; ++k) b[k] = row[0][bx][k];
                    blocks.push_back(b);
                }
            }
        }
    }

    jpeg_decompress_struct cinfo_{};
    ErrorManager err_{};
    LibjpegResult result_;
};

LibjpegDecoder::LibjpegDecoder() : impl_(std::make_unique<Impl>()) {}
LibjpegDecoder::~LibjpegDecoder() = default;

const LibjpegResult& LibjpegDecoder::Decode(const std::vector<uint8_t>& stream, LibjpegRead what) {
    return impl_->Decode(stream, what);
}

}  // namespace ovcg_test
