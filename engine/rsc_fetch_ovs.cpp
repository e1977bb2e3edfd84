// Binding of the resource adapter to the resource-file reader, kept in its
// own object so that code using only injected fetch functions does not pull
// the reader in.
#include "engine/platform.h"
#include "ovcg/ovs_resource.h"

RscFetchFunctions OvsRscFetchFunctions() { return RscFetchFunctions{&ovs_GetResource, &ovs_FreeResource}; }

CRscDLL::CRscDLL(char** names, int count) : CRscDLL(names, count, OvsRscFetchFunctions()) {}
