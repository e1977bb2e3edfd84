#include "headcontrol/decompress.h"

#include "common/byte_cursor.h"
#include "ovcg/irac.h"

#include <new>

namespace ovcg::irac {

void RDM_MakecodeReverse(RdmWork& work) { lzh::make_code(work.code, work.decode); }

uint32_t rdm_unpacked_size(const uint8_t header[rdm::kHeaderSize]) {
    // The four size bytes are stored in the order bits 16-23, 0-7, 24-31, 8-15.
    return (static_cast<uint32_t>(header[5]) << 16) | static_cast<uint32_t>(header[6]) |
           (static_cast<uint32_t>(header[7]) << 24) | (static_cast<uint32_t>(header[8]) << 8);
}

namespace {

struct WorkGuard {
    const OVF_COMMON* ovf;
    void* block;
    ~WorkGuard() {
        if (block) ovf->free(block);
    }
};

}  // namespace
}  // namespace ovcg::irac

using namespace ovcg;
using namespace ovcg::irac;

extern "C" uint32_t IRAC_GetResourceDataSize(const void* packed, uint32_t packed_size, uint32_t* size) {
    if (!packed || !size) return IRAC_RDM_SIZE_NULL;
    if (packed_size <= rdm::kHeaderSize) return IRAC_RDM_PACKED_TOO_SHORT;
    const uint8_t* p = static_cast<const uint8_t*>(packed);
    if (p[4] != 1) return IRAC_RDM_SIZE_NOT_PACKED;
    const uint32_t unpacked = rdm_unpacked_size(p);
    // The sum is taken only below the cap, so it cannot wrap.
    if (unpacked > IRAC_RDM_MAX_UNPACKED) return IRAC_RDM_DEST_TOO_SMALL;
    *size = unpacked + rdm::kHeaderSize;
    return 0;
}

extern "C" uint32_t IRAC_DecompressResource(const void* packed, uint32_t packed_size, void* dest,
                                            uint32_t dest_size, void* reserved,
                                            const OVF_COMMON* ovf) {
    if (reserved) return IRAC_RDM_RESERVED;
    if (!dest || !ovf || !packed) return IRAC_RDM_NULL_ARGUMENT;
    // The four words this call uses must be there too.
    if (!ovf->alloc || !ovf->free || !ovf->copy || !ovf->fill) return IRAC_RDM_NULL_ARGUMENT;
    if (packed_size <= rdm::kHeaderSize) return IRAC_RDM_PACKED_TOO_SHORT;

    ByteCursor in(packed, packed_size);
    const uint8_t* header = in.take(rdm::kHeaderSize);
    const uint32_t unpacked = rdm_unpacked_size(header);
    if (unpacked < 3) return IRAC_RDM_SIZE_TOO_SMALL;
    // In 64 bits: a size near 2^32 must not wrap past a small destination.
    if (unpacked > IRAC_RDM_MAX_UNPACKED ||
        uint64_t{unpacked} + rdm::kHeaderSize > uint64_t{dest_size}) {
        return IRAC_RDM_DEST_TOO_SMALL;
    }
    if (header[4] != 1) return IRAC_RDM_NOT_PACKED;

    uint8_t* out_bytes = static_cast<uint8_t*>(dest);
    ovf->copy(out_bytes, header, rdm::kHeaderSize);

    void* block = ovf->alloc(static_cast<uint32_t>(sizeof(RdmWork)));
    if (!block) return IRAC_RDM_NO_MEMORY;
    WorkGuard guard{ovf, block};
    // Cleared through the table like every block of this engine; the
    // unpacking starts its window and code afresh in any case.
    ovf->fill(block, 0, static_cast<uint32_t>(sizeof(RdmWork)));
    RdmWork& work = *new (block) RdmWork;
    ByteCursor stream;
    in.tail_at(rdm::kHeaderSize, stream);
    const lzh::Result r = lzh::unpack(work, stream, out_bytes + rdm::kHeaderSize, unpacked, unpacked);
    if (r.stop == lzh::Stop::kEndMark) return IRAC_RDM_END_MARK;
    // The output holds exactly the unpacked size, so the stream cannot
    // overrun it; the code stays for a decoder that could.
    if (r.stop == lzh::Stop::kOutputFull) return IRAC_RDM_OVERRUN;

    const size_t written = r.written;
    if (written == 0) return IRAC_RDM_NOTHING_WRITTEN;
    if (written != unpacked) return IRAC_RDM_SHORT_OUTPUT;
    const uint8_t* body = out_bytes + rdm::kHeaderSize;
    if (body[0] != rdm::kSignature[0] || body[1] != rdm::kSignature[1] ||
        body[2] != rdm::kSignature[2]) {
        return IRAC_RDM_BAD_SIGNATURE;
    }
    out_bytes[4] = 0;
    return 0;
}
