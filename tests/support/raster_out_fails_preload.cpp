// Loaded into a print tool run with LD_PRELOAD, in place of the library's
// ovcgRasterOut: the call numbered OVCG_TEST_RASTER_OUT_FAILS (from 0) and
// every later one fail as a failure inside the library does, with
// OVCG_ERR_ENGINE; the calls before go to the library. So a tool test can
// have the library fail inside a job whose output is open.
#include <dlfcn.h>

#include <cstdlib>

#include "ovcg/ovcg.h"

int32_t ovcgRasterOut(const uint8_t* line, int32_t length, int32_t unused) {
    using Fn = int32_t (*)(const uint8_t*, int32_t, int32_t);
    static long calls = 0;
    static const char* fail_at = std::getenv("OVCG_TEST_RASTER_OUT_FAILS");
    if (fail_at && calls++ >= std::atol(fail_at)) return OVCG_ERR_ENGINE;
    static const Fn library = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "ovcgRasterOut"));
    return library ? library(line, length, unused) : OVCG_ERR_ENGINE;
}
