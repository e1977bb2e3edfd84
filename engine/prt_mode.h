// Print-mode resolution: turns one job record and the model's link tables
// into the print-mode information record of the job.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/link_resource.h"
#include "engine/media_opt.h"
#include "engine/prtinfo.h"
#include "ovcg/ovcg_records.h"

namespace ovcg {

// Resource identifiers of the resolution, in the order they are resolved.
enum PrtModeResource : uint16_t {
    kRscGeneral = 20050,
    kRscPaper = 20000,
    kRscMediaColour = 20500,
    kRscMediaMono = 20520,
    kRscMediaTnmx = 20540,
    kRscMediaColourSetting = 20560,
    kRscCommands = 21000,
    kRscRemote = 25000,
    kRscRemote1 = 25020,
    kRscRemote2 = 25040,
    kRscRemote3 = 25060,
    kRscSn04 = 26000,
    kRscAdjustFeed = 27000,
    kRscAdjustFeedEx = 27500,
    kRscSwitches = 28000,
    kRscGenerator = 28500,
    kRscEncoder = 29000,
    kRscPage = 29500,
    kRscDuty = 30000,
};

// Writes the typed pairs of a SN 04H parameter list into block (100 bytes)
// at positions relative to base, then the checksum of the payload of
// `length` bytes: the 16-bit sum of bytes 0..length-3, little-endian at
// length-2 and length-1 (nothing for a length below 2). False for a pair
// whose value is 65535, whose type lies outside 22000..22099, 21000..21049
// and 23001..23025, or that would write outside the block, and for a length
// above 100; pairs before the failing one stay written.
bool WriteSn04Block(const RscLinkResult& pairs, uint8_t* block, int base, uint16_t length);

class CPrtMode {
public:
    // Copies the job record (deep copies of its cut command, trim
    // information and job data), initialises the media options from the
    // record's lpMediaOpt (already upgraded) and resolves the print mode.
    // Throws "Illegal Parameter Exception" for a refused option combination
    // or plane count, "Load Resource Exception" when a required resource does
    // not resolve, "Memory Allocation Exception" when memory runs out.
    CPrtMode(const tagPRTSTRUCT3_12* job, CLinkRscDLL* links);
    virtual ~CPrtMode();
    CPrtMode(const CPrtMode&) = delete;
    CPrtMode& operator=(const CPrtMode&) = delete;

    // One resolution step: key set, lookup, values. 1 on success, else 0.
    int GetLinkResource(uint16_t id);
    // Fills every key slot from the job, its flags and media options and the
    // values resolved so far; 0 for an id outside the resolution list.
    int SetLRKeySetValue(CLRKeySet* keys, uint16_t id) const;
    // Stores the values of resource id; 0 when its own checks fail.
    int SetRscValue(const RscLinkResult* result, uint16_t id);
    // The SN 04H block with the payload length of the record (see
    // WriteSn04Block); 1 on success, else 0.
    int SetSN04RscParam(const RscLinkResult* result, uint8_t* block, int base);

    static int GetNumPlane(int format);

    // Per page: stores `page` as the page key of the lookups (the engine
    // passes the page's colour correction), re-reads the per-page values
    // (all 0xFFFF when they do not resolve) and the duty defaults of planes
    // 0 to 3 (all 16 back to 1024 when they do not resolve).
    void RefreshInitPage(int page);

    const tagPRTINFOSTRUCT& Info() const { return m_info; }
    const tagPRTSTRUCT3_12& Job() const { return m_job; }
    CMediaOpt& MediaOpt() { return m_media; }
    const CMediaOpt& MediaOpt() const { return m_media; }
    int32_t PageNumber() const { return m_page; }
    // The media-class resource of the job.
    uint16_t MediaClassId() const;

private:
    void CopyJob(const tagPRTSTRUCT3_12& job);
    void ExpandFlags();
    void CheckOptionCombinations() const;
    void Resolve();
    void Require(uint16_t id);
    void BorderStep();
    void Remember(uint16_t key, uint16_t value);

    int SetGeneral(const RscLinkResult& r);
    int SetPaper(const RscLinkResult& r);
    int SetMediaClass(const RscLinkResult& r);
    int SetCommands(const RscLinkResult& r);
    int SetCommandList(const RscLinkResult& r);
    int SetRemote(const RscLinkResult& r, uint16_t id);
    void SetSwitches(const RscLinkResult& r);

    CLinkRscDLL* m_links;
    tagPRTSTRUCT3_12 m_job;
    tagPRTINFOSTRUCT m_info;
    CMediaOpt m_media;
    int32_t m_page = -1;
    // Raw values of the keys that later lookups read, by key slot.
    CLRKeySet m_resolved;

    // Owned deep copies the job record points to.
    std::unique_ptr<tagCUTCMD> m_cut;
    std::unique_ptr<tagTRIMINFO> m_trim;
    std::unique_ptr<tagJOBDATA_6> m_jobData;
    std::vector<std::vector<char>> m_jobDataBuffers;
};

}  // namespace ovcg
