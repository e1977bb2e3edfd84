#include "headcontrol/str_band_resource.h"

#include "headcontrol/codes.h"
#include "headcontrol/resource_stream.h"

namespace ovcg::irac {

namespace {

void free_record(const CallbackTable& cb, StrRecord*& r) {
    if (!r) return;
    release_ptr(cb, r->inkCodes);
    release_ptr(cb, r->colorCodes);
    release_ptr(cb, r);
}

// The record from the resource's bytes; every count checked against the
// bytes left before anything is allocated for it.
uint32_t read_record(ByteCursor& c, const CallbackTable& cb, StrRecord*& out) {
    uint16_t version = 0, n = 0;
    uint8_t kept[3] = {};
    uint32_t lines = 0;
    int8_t rle = 0;
    if (!c.u16le(version) || !c.read_bytes(kept, 3) || !c.u32le(lines) || !c.i8(rle) || !c.u16le(n))
        return kStrBadResource;
    if (version != 1 || lines == 0 || n > INT16_MAX || !has_room(c, n, 2)) return kStrBadResource;
    if (alloc_record(cb, kStrNoRecord, out)) return kStrNoRecord;
    StrRecord& r = *out;
    r.version = version;
    for (int i = 0; i < 3; ++i) r.kept[i] = kept[i];
    r.lineNum = lines;
    r.runLength = rle;
    if (read_array(c, cb, n, kStrNoRecord, r.inkCodes) || read_array(c, cb, n, kStrNoRecord, r.colorCodes))
        return kStrNoRecord;
    r.inkNum = static_cast<int16_t>(n);
    return 0;
}

}  // namespace

uint32_t STR_Parse(StrObject** out, ByteCursor c, const CallbackTable* cb) {
    if (!out) return kStrNoRecord;
    *out = nullptr;
    StrObject* o = nullptr;
    if (allocate_owned(&o, cb, kStrNoRecord)) return kStrNoRecord;
    if (uint32_t rc = read_record(c, *cb, o->record)) {
        STR_Destructor(o, cb);
        return rc;
    }
    *out = o;
    return 0;
}

uint32_t STR_Constructor(StrObject** out, const CallbackTable* cb) {
    if (!out) return kStrNoRecord;
    *out = nullptr;
    if (!cb) return kStrNoRecord;
    FetchedResource res = fetch_resource2(*cb, kBandResourceKind);
    if (!res) return kStrNoResource;
    const uint32_t rc = STR_Parse(out, ByteCursor(res.data, res.size), cb);
    release_resource(*cb, res);
    return rc;
}

void STR_Destructor(StrObject* o, const CallbackTable* cb) {
    if (!o || !cb) return;
    free_record(*cb, o->record);
    release(*cb, o);
}

uint32_t STR_GetLineNum(const StrObject* o) { return o && o->record ? o->record->lineNum : 0; }

int8_t STR_GetRle(const StrObject* o) { return o && o->record ? o->record->runLength : 0; }

void STR_GetHXRInkInfo(const StrObject* o, int16_t* count, const uint8_t** inkCodes, const uint8_t** colorCodes) {
    const StrRecord* r = o ? o->record : nullptr;
    if (count) *count = r ? r->inkNum : 0;
    if (inkCodes) *inkCodes = r ? r->inkCodes : nullptr;
    if (colorCodes) *colorCodes = r ? r->colorCodes : nullptr;
}

uint32_t STR_CheckHXRInkCodeExist(const StrObject* o, uint8_t code) {
    const StrRecord* r = o ? o->record : nullptr;
    if (!r || r->inkNum < 1) return kStrUnknownInk;
    for (int32_t i = 0; i < r->inkNum; ++i)
        if (r->inkCodes[i] == code) return 0;
    return kStrUnknownInk;
}

}  // namespace ovcg::irac
