/* A program built against an installed ovcg, through pkg-config or
 * find_package(ovcg): it starts the library, lists the print options and
 * stops it, printing "ovcg VERSION: N options, first OPTION". Exit 0, or 1
 * when a call fails. Every installed header is included: each must compile
 * as C. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "ovcg/calib_services.h"
#include "ovcg/hxr.h"
#include "ovcg/irac.h"
#include "ovcg/ovcg.h"
#include "ovcg/ovcg_export.h"
#include "ovcg/ovcg_jobif.h"
#include "ovcg/ovcg_records.h"
#include "ovcg/ovs_resource.h"

static void* allocate(size_t size) { return malloc(size); }
static void release(void* block) { free(block); }
static void unused(void) {}

int main(void) {
    ovcg_callbacks cb = {0};
    cb.allocate = allocate;
    cb.release = release;
    for (int i = 0; i < 5; ++i) cb.reserved[i] = (void*)(uintptr_t)unused;
    if (ovcgInitialize("", &cb) != OVCG_OK) return 1;
    uint32_t major = 0, minor = 0, count = 0;
    ovcgGetVersion(&major, &minor);
    const char* names[64];
    int ok = ovcgGetOptionList(&count, NULL) == OVCG_OK && count > 0 && count <= 64 &&
             ovcgGetOptionList(&count, names) == OVCG_OK;
    if (ok) printf("ovcg %u.%u: %u options, first %s\n", major, minor, count, names[0]);
    return ovcgRelease() == OVCG_OK && ok ? 0 : 1;
}
