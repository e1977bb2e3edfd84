// The model file as the build writes it: every resource the builder makes
// comes back from the file byte for byte with its size, and head-control
// resources stored packed unpack to what was packed.
#include "ovcg/irac.h"
#include "ovcg/ovs_resource.h"
#include "support/fake_ovf.h"
#include "support/irac_packer.h"
#include "support/model.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

namespace ovcg_test {
namespace {

struct Fetched {
    Bytes bytes;
    bool found = false;
};

Fetched fetch(uint16_t type, uint16_t id) {
    uint32_t size = 0;
    void* p = ovs_GetResource(id, type, &size);
    Fetched f;
    if (p) {
        f.found = true;
        f.bytes.assign(static_cast<uint8_t*>(p), static_cast<uint8_t*>(p) + size);
    }
    ovs_FreeResource(p);
    return f;
}

TEST(ModelFile, EveryResourceReadsBackWithItsSize) {
    ResWriter w = build_model(default_model());
    // Head-control data of the model's head: one plain and one packed copy
    // of the same table, with repeats so that the packer finds matches.
    const ModelHead head = default_model().head;
    // A packed body starts with the signature the unpacker checks.
    Bytes table = {0xAB, 0xB0, 0xA0};
    for (int32_t row = 0; row < head.rows; ++row)
        for (int32_t n = 0; n < head.nozzles_per_row; ++n) put16(table, uint16_t(row * 1000 + n % 16));
    add_head_control_resource(w, 1, {0x4D, 0x48, 0x01, 0x00}, table, false);
    add_head_control_resource(w, 2, {0x4D, 0x48, 0x01, 0x00}, table, true);
    ASSERT_GT(w.records().size(), 3u);

    TempFile file("model_file");
    ASSERT_TRUE(w.write_file(file.path()));
    ASSERT_EQ(ovs_resLoadFile(file.path().c_str()), 0);
    for (const ResRecord& r : w.records()) {
        if (w.find(r.type, r.id) != &r.data) continue;  // a later duplicate is never fetched
        const Fetched f = fetch(r.type, r.id);
        ASSERT_TRUE(f.found) << r.type << "/" << r.id;
        EXPECT_EQ(f.bytes, r.data) << r.type << "/" << r.id;
    }

    const Fetched plain = fetch(4000, 1), packed = fetch(4000, 2);
    ASSERT_TRUE(plain.found && packed.found);
    EXPECT_LT(packed.bytes.size(), plain.bytes.size());
    uint32_t size = 0;
    ASSERT_EQ(IRAC_GetResourceDataSize(packed.bytes.data(), uint32_t(packed.bytes.size()), &size), 0u);
    Bytes out(size, 0xEE);
    FakeOvf ovf;
    ASSERT_EQ(IRAC_DecompressResource(packed.bytes.data(), uint32_t(packed.bytes.size()), out.data(), size,
                                      nullptr, &ovf.table()),
              0u);
    // The unpacked resource is the plain one with its packed flag cleared.
    ASSERT_EQ(out.size(), plain.bytes.size());
    EXPECT_TRUE(std::equal(out.begin() + 9, out.end(), plain.bytes.begin() + 9));
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 4, plain.bytes.begin()));
    EXPECT_EQ(ovf.live_blocks(), 0u);
    ovs_resUnLoadFile();
}

}  // namespace
}  // namespace ovcg_test
