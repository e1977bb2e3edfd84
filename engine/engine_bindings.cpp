// Which engine functions the adapters bind by default. An entry stays null
// until the engine function it names is part of the library; an adapter
// whose table has a null entry refuses to bind (-206 halftone engine, -401
// head-control engine).
#include "engine/hxr_dll.h"
#include "engine/irac_dll.h"
#include "hxr/control/hxr_instance.h"
#include "ovcg/hxr.h"
#include "ovcg/irac.h"

// The engine's bridge entries take its own record types; the adapter passes
// them as opaque pointers.
HxrEngineTable DefaultHxrEngineTable() {
    HxrEngineTable t{};
    t.GetDefaultValue = [](void* option) -> uint32_t {
        return A_OvhtHXR_GetDefaultValue(static_cast<_HXR_OPTION_INFO*>(option));
    };
    t.GetOutputColorOrderRough = &A_OvhtHXR_GetOutputColorOrderRough;
    t.CreateInstance = [](void** handle, const void* image, const void* halftone, const void* option,
                          const HXRServiceTable* services, int flags) -> uint32_t {
        return A_OvhtHXR_CreateInstance(handle, static_cast<const _HXR_IMAGE_INFO*>(image),
                                        static_cast<const _HXR_HALFTONE_INFO*>(halftone),
                                        static_cast<const _HXR_OPTION_INFO*>(option), services, flags);
    };
    t.DeleteInstance = &A_OvhtHXR_DeleteInstance;
    t.SetBRSFunc = &A_OvhtHXR_SetBRSFunc;
    t.StartPage = &A_OvhtHXR_StartPage;
    t.Halftone = &A_OvhtHXR_Halftone;
    t.ConvertColor = &A_OvhtHXR_ConvertColor;
    t.EndPage = &A_OvhtHXR_EndPage;
    t.GetOutputColorOrder = &A_OvhtHXR_GetOutputColorOrder;
    t.GetOutputBufferSize = &A_OvhtHXR_GetOutputBufferSize;
    t.GetDotCount = &A_OvhtHXR_GetDotCount;
    t.GetSlut = &A_OvhtHXR_GetSlut;
    t.ResetSwitchingPos = &A_OvhtHXR_ResetSwitchingPos;
    t.CutRuns = &HXRCutInstanceRuns;
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
