// The default model file's head-control resource as the job side hands it
// to the head-control engine: the print mode resolved from the link tables
// gives the identifier, the job object's fetch unpacks the resource, and the
// model resource reader parses it.
#include <gtest/gtest.h>

#include <string>

#include "engine/irac_dll.h"
#include "engine/plimo_buffer.h"
#include "engine/prt_mode.h"
#include "headcontrol/model_resource.h"
#include "link_fixture.h"
#include "ovcg/ovs_resource.h"
#include "support/model.h"

namespace {

uint32_t StubStart(IRAC_INSTANCE_DEF**, const IRACS_IDENTIFIER*, const IRACS_PRINTDATA_INFO*, const IRACS_OPTION*,
                   IRACS_VALUE*, const OVF_COMMON*) {
    return 1;
}
void StubEnd(IRAC_INSTANCE_DEF*) {}
uint32_t StubPage(IRAC_INSTANCE_DEF*, int32_t, const uint8_t*) { return 1; }
uint32_t StubEndPage(IRAC_INSTANCE_DEF*) { return 1; }
uint32_t StubDraw(IRAC_INSTANCE_DEF*, const IRACS_RASTERDATA*) { return 1; }
uint32_t StubGet(IRAC_INSTANCE_DEF*, int32_t, void*) { return 1; }
uint32_t StubSet(IRAC_INSTANCE_DEF*, int32_t, const void*) { return 1; }

// The library's unpacker behind job functions that are not exercised here.
IracEngineTable UnpackerTable() {
    IracEngineTable t = DefaultIracEngineTable();
    t.StartJob = &StubStart;
    t.EndJob = &StubEnd;
    t.StartPage = &StubPage;
    t.EndPage = &StubEndPage;
    t.DrawData = &StubDraw;
    t.AbortJob = &StubEnd;
    t.GetValue = &StubGet;
    t.SetValue = &StubSet;
    return t;
}

TEST(HeadModelFile, TheJobSideFetchFeedsTheReader) {
    for (bool packed : {true, false}) {
        ovcg_test::ModelDescription model = ovcg_test::default_model();
        model.head_control.packed = packed;
        ovcg_test::TempFile file("head_model");
        ASSERT_TRUE(ovcg_test::build_model(model).write_file(file.path()));
        ASSERT_EQ(ovs_resLoadFile(file.path().c_str()), 0);
        std::string path = file.path();
        char* names[] = {path.data()};

        // The head selectors of the front end's default job, packed as the
        // job engine packs them for the head-control job object.
        ovcg_test::FrontEndJob fe;
        ASSERT_TRUE(fe.ok());
        ovcg::CLinkRscDLL links(names, 1);
        ovcg::CPrtMode mode(&fe.job(), &links);
        uint32_t selectors = 0;
        for (int i = 0; i < 4; ++i) {
            const uint16_t v = mode.Info().head_id_bytes[i];
            if (v != 0xFFFF) selectors |= uint32_t(v & 0xFF) << (8 * i);
        }
        // The default media prints at 300 x 600 dpi, two bits a dot.
        EXPECT_EQ(selectors, ovcg_test::model_driver_head_mode_id({300, 600, 2}));

        for (uint32_t selector : {0u, 1u}) {  // paper source 1, and 3 for selector 1
            CIRACDLL dll("head", UnpackerTable());
            CRscDLL resources(names, 1);
            CPlimoBuffer buffer(4, 2, 0, 1000, tagPOINT{300, 600}, tagPOINT{300, 600}, 0, 0);
            ovcg::tagIRACINITSTRUCT init{};
            init.irac_dll = &dll;
            init.links = &resources;
            init.buffer = &buffer;
            init.identifier = selectors;
            init.paper_source_selector = selector;
            CIRAC irac(&init);
            ovcg::irac::IdentifierPair pair{};
            ASSERT_EQ(ovcg::irac::make_identifier_pair(irac.Identifier(), &pair), 0u);
            EXPECT_EQ(pair.sub_mode, selector == 1 ? 3u : 1u);
            const ovcg::irac::CallbackTable cb = ovcg::irac::relay_callbacks(irac.Callbacks());
            ovcg::irac::RscObject* rsc = nullptr;
            ASSERT_EQ(ovcg::irac::RSC_Constructor(&rsc, pair, irac.Option().flags, &cb), 0u) << packed;
            EXPECT_EQ(rsc->mle->head.nozzleNumOfHead[0], model.head.nozzles_per_row);
            EXPECT_EQ(rsc->mle->nozzleArrayNum, model.head.rows);
            EXPECT_EQ(rsc->icm->bitsPerPixel, fe.job().bit_p_color);
            EXPECT_EQ(rsc->mle->unitNum, 1);
            EXPECT_EQ(rsc->icm->useHead.headNum, 1);
            ovcg::irac::RSC_Destructor(rsc);
        }
        ovs_resUnLoadFile();
    }
}

}  // namespace
