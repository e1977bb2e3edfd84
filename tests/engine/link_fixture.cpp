#include "link_fixture.h"

#include <cstdlib>
#include <cstring>

#include "engine/media_opt.h"
#include "engine/records.h"
#include "frontend/options.h"
#include "support/model.h"
#include "support/model_links.h"

namespace ovcg_test {
namespace {

std::map<uint16_t, Bytes>* g_tables = nullptr;
int g_fetches = 0;
int g_outstanding = 0;
std::vector<uint16_t> g_fetched;
uint16_t g_next_moved = 60000;

void* Get(int id, int type, uint32_t* size) {
    if (size) *size = 0;
    ++g_fetches;
    g_fetched.push_back(static_cast<uint16_t>(id));
    if (!g_tables || static_cast<uint16_t>(type) != kResTypeLink) return nullptr;
    auto it = g_tables->find(static_cast<uint16_t>(id));
    if (it == g_tables->end()) return nullptr;
    void* p = std::malloc(it->second.empty() ? 1 : it->second.size());
    if (!p) return nullptr;
    if (!it->second.empty()) std::memcpy(p, it->second.data(), it->second.size());
    if (size) *size = static_cast<uint32_t>(it->second.size());
    ++g_outstanding;
    return p;
}

int Release(void* p) {
    if (p) --g_outstanding;
    std::free(p);
    return 0;
}

}  // namespace

MemoryLinkStore::MemoryLinkStore(const ResWriter& w) {
    g_tables = new std::map<uint16_t, Bytes>();
    for (const ResRecord& r : w.records())
        if (r.type == kResTypeLink) (*g_tables)[r.id] = r.data;
    g_fetches = 0;
    g_outstanding = 0;
    g_fetched.clear();
}

MemoryLinkStore::~MemoryLinkStore() {
    delete g_tables;
    g_tables = nullptr;
}

std::unique_ptr<ovcg::CLinkRscDLL> MemoryLinkStore::Adapter() const {
    return std::make_unique<ovcg::CLinkRscDLL>(nullptr, 0, Functions());
}

int MemoryLinkStore::fetches() const { return g_fetches; }
int MemoryLinkStore::outstanding() const { return g_outstanding; }
const std::vector<uint16_t>& MemoryLinkStore::fetched_ids() const { return g_fetched; }
bool MemoryLinkStore::fetched(uint16_t id) const {
    for (uint16_t f : g_fetched)
        if (f == id) return true;
    return false;
}

RscFetchFunctions MemoryLinkStore::Functions() { return RscFetchFunctions{&Get, &Release}; }

ResWriter LinkResources(const std::map<uint16_t, Bytes>& tables) {
    ResWriter w;
    for (const auto& [id, bytes] : tables) w.add(kResTypeLink, id, bytes);
    return w;
}

void PrependToChain(ResWriter& w, uint16_t start, const std::vector<std::pair<uint16_t, uint16_t>>& pairs) {
    const Bytes* old = w.find(kResTypeLink, start);
    uint16_t next = kLinkEnd;
    if (old) {
        next = g_next_moved++;
        w.add(kResTypeLink, next, *old);
        w.remove(kResTypeLink, start);
    }
    uint16_t id = start;
    for (size_t i = 0; i < pairs.size(); ++i) {
        const uint16_t after = i + 1 < pairs.size() ? g_next_moved++ : next;
        w.add(kResTypeLink, id, link_chain_entry(pairs[i].first, pairs[i].second, after));
        id = after;
    }
}

void ReplaceChain(ResWriter& w, uint16_t start, const std::vector<std::pair<uint16_t, uint16_t>>& pairs) {
    w.remove(kResTypeLink, start);
    PrependToChain(w, start, pairs);
}

FrontEndJob::FrontEndJob(const char* media, const char* page, const char* color_model) {
    namespace fe = ovcg::frontend;
    const fe::optionHandlerInterface* h = fe::ww_option_handler("");
    fe::ww_clear_choices_for_tests();
    fe::ovcg_page_info info{};
    h->Init();
    h->InitPrintParam(&front_job_, &ht_, &info);
    h->SetOptionChoiceByOrder("MediaType", media);
    h->SetOptionChoiceByOrder("PageSize", page);
    if (color_model) h->SetOptionChoiceByOrder("ColorModel", color_model);
    ok_ = h->ConvertPrintParam(&front_job_, &ht_, &info) == 0;
    // What the job interface does on entry.
    ok_ = ok_ && ovcg::UpgradeJobRecord(&front_job_, &engine_job_) == 0 &&
          ovcg::UpgradeMediaOpt(front_job_.lpMediaOpt, &media_) == 0;
    engine_job_.lpMediaOpt = &media_;
    fe::ww_clear_choices_for_tests();
}

FrontEndJob::~FrontEndJob() {
    ovcg::frontend::ww_option_handler("")->FreePrintParam(&front_job_, &ht_, nullptr);
}

}  // namespace ovcg_test
