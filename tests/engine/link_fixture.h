// Test helpers for the link-table lookups and the print mode: an in-memory
// resource store behind the resource adapter, and the job record the front
// end builds from its default options.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "engine/link_resource.h"
#include "ovcg/ovcg_records.h"
#include "support/res_writer.h"

namespace ovcg_test {

// Serves the type-3000 records of a container to a CLinkRscDLL. Process-wide
// (the fetch functions carry no context); one store is live at a time.
class MemoryLinkStore {
public:
    explicit MemoryLinkStore(const ResWriter& w);
    ~MemoryLinkStore();
    MemoryLinkStore(const MemoryLinkStore&) = delete;
    MemoryLinkStore& operator=(const MemoryLinkStore&) = delete;

    // A link-resource adapter over this store.
    std::unique_ptr<ovcg::CLinkRscDLL> Adapter() const;

    // Fetches so far, and buffers handed out and not yet released.
    int fetches() const;
    int outstanding() const;
    // Identifiers fetched so far, in order.
    const std::vector<uint16_t>& fetched_ids() const;
    bool fetched(uint16_t id) const;

    static RscFetchFunctions Functions();
};

// A link-resource container of hand-written tables, id -> bytes.
ResWriter LinkResources(const std::map<uint16_t, Bytes>& tables);

// Puts (type, value) entries in front of the chain that starts at `start`
// (the old first entry moves to a new identifier), so that the lookup of
// `start` yields them first: a model changed in one place.
void PrependToChain(ResWriter& w, uint16_t start, const std::vector<std::pair<uint16_t, uint16_t>>& pairs);
// Replaces the chain at `start` by one of single-pair entries.
void ReplaceChain(ResWriter& w, uint16_t start, const std::vector<std::pair<uint16_t, uint16_t>>& pairs);

// The job record (with its media options) that the front end builds from
// its defaults with the given media and page choices; owns what it points to.
class FrontEndJob {
public:
    explicit FrontEndJob(const char* media = "Media1_Q1", const char* page = "A4",
                         const char* color_model = nullptr);
    ~FrontEndJob();
    FrontEndJob(const FrontEndJob&) = delete;
    FrontEndJob& operator=(const FrontEndJob&) = delete;

    bool ok() const { return ok_; }
    // The job record as the job interface passes it on: media options
    // upgraded into a current-layout copy.
    tagPRTSTRUCT3_12& job() { return engine_job_; }
    tagHTSTRUCT3_5& halftone() { return ht_; }

private:
    tagPRTSTRUCT3_12 front_job_{};
    tagPRTSTRUCT3_12 engine_job_{};
    tagHTSTRUCT3_5 ht_{};
    tagMEDIAOPT_8 media_{};
    bool ok_ = false;
};

}  // namespace ovcg_test
