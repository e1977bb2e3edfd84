// Which engine functions the adapters bind by default. An entry stays null
// until the engine function it names is part of the library; an adapter
// whose table has a null entry refuses to bind (-206 halftone engine, -401
// head-control engine).
#include "engine/hxr_dll.h"
#include "engine/irac_dll.h"
#include "ovcg/irac.h"

HxrEngineTable DefaultHxrEngineTable() {
    HxrEngineTable t{};
    return t;
}

IracEngineTable DefaultIracEngineTable() {
    IracEngineTable t{};
    t.StartJob = &IRAC_StartJob;
    t.EndJob = &IRAC_EndJob;
    t.StartPage = &IRAC_StartPage;
    t.EndPage = &IRAC_EndPage;
    t.DrawData = &IRAC_DrawData;
    t.AbortJob = &IRAC_AbortJob;
    t.GetValue = &IRAC_GetValue;
    t.SetValue = &IRAC_SetValue;
    t.DecompressResource = &IRAC_DecompressResource;
    t.GetResourceDataSize = &IRAC_GetResourceDataSize;
    return t;
}
