// Fuzzes the unpacker of packed head-control resources: whatever the stream
// says, it must stay inside its input and its exactly sized destination,
// release its work area, and report success only for a well-formed result.
#include "headcontrol/callbacks.h"
#include "ovcg/irac.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
// Destinations beyond this are not worth the fuzzer's time; the size check
// itself is still exercised with a smaller destination.
constexpr uint32_t kMaxDest = 8u << 20;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0xFFFFFFFFu) return 0;
    const uint32_t n = static_cast<uint32_t>(size);
    const OVF_COMMON ovf = ovcg::irac::defaults::table();

    uint32_t want = 0;
    const uint32_t sc = IRAC_GetResourceDataSize(data, n, &want);
    uint32_t dest_size = sc == 0 ? want : 64;
    // The last input byte, when odd, trims the destination to exercise the size check.
    if (size > 0 && (data[size - 1] & 1u) && dest_size > 0) dest_size -= 1 + data[size - 1] % 16 % dest_size;
    if (dest_size > kMaxDest) dest_size = kMaxDest;

    // An exact heap block, so any write past it is caught.
    uint8_t* dest = static_cast<uint8_t*>(std::malloc(dest_size ? dest_size : 1));
    const uint32_t rc = IRAC_DecompressResource(data, n, dest, dest_size, nullptr, &ovf);
    if (rc == 0) {
        if (sc != 0 || dest_size < want || dest[4] != 0 || dest[9] != 0xAB || dest[10] != 0xB0 ||
            dest[11] != 0xA0 || std::memcmp(dest, data, 4) != 0) {
            std::abort();
        }
    }
    std::free(dest);
    return 0;
}
