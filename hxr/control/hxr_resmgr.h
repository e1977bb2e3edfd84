// Resource manager of the halftone engine: fetches resources through the
// host's service table, unpacks them and caches them by identifier for the
// life of the manager. Every resource is handed out with its size.
#pragma once

#include "hxr/control/hxr_decomp.h"
#include "hxr/control/hxr_memory.h"

#include <cstdint>

inline constexpr uint32_t kHxrResMgrNone = 3203;

struct HXRResMgr;

// Null unless getResource, freeResource, copy and the memory manager are
// given, or when the decompressor state cannot be made.
HXRResMgr* HXRCreateResMgr(HXRGetResourceFn getResource, HXRFreeResourceFn freeResource, void* context,
                           HXRMemCpyFn copy, HXRMemMgr* memoryManager);
// The unpacked resource (followed by 24 zero bytes), its size in *size; null
// when it is missing or cannot be unpacked. The kind is passed to the host but
// the cache is keyed by the identifier alone.
const uint8_t* HXRGetResource(HXRResMgr* manager, uint32_t identifier, uint32_t kind, uint32_t* size);
// 3203 for null; frees the decompressor state, every cached resource and
// entry, and the record.
uint32_t HXRDeleteResMgr(HXRResMgr* manager);
