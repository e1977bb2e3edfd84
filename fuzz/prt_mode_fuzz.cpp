// Resolves the front end's default job against link tables (type 3000) taken
// from the input, then refreshes one page.
//
// Input: repeated records [id u16 LE][length u16 LE][length bytes]; decoding
// stops at the first record that does not fit. The first record of an id is
// the one served. Every fetch hands out a fresh heap copy of exactly the
// record's size, so any read past a table's end is an overrun the sanitizer
// sees. The engine may refuse the tables (it throws its integer codes or
// messages); anything else escaping, an unreleased buffer or a resolved
// record that breaks its own limits is a finding.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

#include "engine/link_resource.h"
#include "engine/media_opt.h"
#include "engine/prt_mode.h"
#include "engine/prtinfo.h"
#include "engine/records.h"
#include "frontend/options.h"

namespace {

struct Span {
    const uint8_t* data;
    uint16_t size;
};

std::map<uint16_t, Span> g_tables;
int g_outstanding = 0;

void* Fetch(int id, int type, uint32_t* size) {
    if (size) *size = 0;
    if (type != ovcg::kLinkResourceType) return nullptr;
    const auto it = g_tables.find(static_cast<uint16_t>(id));
    if (it == g_tables.end()) return nullptr;
    const Span s = it->second;
    void* p = std::malloc(s.size);
    if (!p && s.size == 0) p = std::malloc(1);
    if (!p) std::abort();
    if (s.size) std::memcpy(p, s.data, s.size);
    if (size) *size = s.size;
    ++g_outstanding;
    return p;
}

int Release(void* p) {
    if (p) --g_outstanding;
    std::free(p);
    return 0;
}

// The job record the front end builds from its default options, upgraded as
// the job interface does on entry. Built once: it does not depend on the input.
struct DefaultJob {
    tagPRTSTRUCT3_12 front{};
    tagPRTSTRUCT3_12 job{};
    tagHTSTRUCT3_5 ht{};
    tagMEDIAOPT_8 media{};

    DefaultJob() {
        namespace fe = ovcg::frontend;
        const fe::optionHandlerInterface* h = fe::ww_option_handler("");
        fe::ww_clear_choices_for_tests();
        fe::ovcg_page_info page{};
        h->Init();
        h->InitPrintParam(&front, &ht, &page);
        h->SetOptionChoiceByOrder("MediaType", "Media1_Q1");
        h->SetOptionChoiceByOrder("PageSize", "A4");
        if (h->ConvertPrintParam(&front, &ht, &page) != 0 || ovcg::UpgradeJobRecord(&front, &job) != 0 ||
            ovcg::UpgradeMediaOpt(front.lpMediaOpt, &media) != 0)
            std::abort();
        job.lpMediaOpt = &media;
    }
};

void CheckResolved(const ovcg::tagPRTINFOSTRUCT& info) {
    if (info.num_planes < 1 || info.num_planes > ovcg::kPrtInfoMaxPlanes) std::abort();
    if (info.plane_count < 0 || info.plane_count > ovcg::kPrtInfoMaxPlanes) std::abort();
    if (info.sn04_count > ovcg::kSn04DataSize && info.sn04_count != 0xFFFF) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static DefaultJob defaults;

    g_tables.clear();
    g_outstanding = 0;
    size_t pos = 0;
    while (size - pos >= 4) {
        const uint16_t id = static_cast<uint16_t>(data[pos] | data[pos + 1] << 8);
        const uint16_t len = static_cast<uint16_t>(data[pos + 2] | data[pos + 3] << 8);
        if (size - pos - 4 < len) break;
        g_tables.emplace(id, Span{data + pos + 4, len});
        pos += 4 + size_t{len};
    }

    ovcg::CLinkRscDLL links(nullptr, 0, RscFetchFunctions{&Fetch, &Release});
    std::unique_ptr<ovcg::CPrtMode> mode;
    try {
        mode = std::make_unique<ovcg::CPrtMode>(&defaults.job, &links);
    } catch (int) {
    } catch (const char*) {
    }
    if (g_outstanding != 0) std::abort();
    if (mode) {
        CheckResolved(mode->Info());
        mode->RefreshInitPage(static_cast<int>(size & 0xFF));
        CheckResolved(mode->Info());
        if (g_outstanding != 0) std::abort();
    }
    return 0;
}
