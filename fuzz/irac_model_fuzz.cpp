// Fuzzes the model resource reader: the input is served as resource 256.
// Whatever it holds, the reader must stay inside it, free what it built on
// failure and release the resource once. On success every block is lent,
// every head table handed over and every array walked (so a count that
// disagrees with its array is an overrun the sanitizer sees), then all of it
// is freed; a block left over is a finding.
#include "headcontrol/model_resource.h"
#include "irac_fuzz_platform.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

using namespace ovcg::irac;

volatile uint32_t g_sink;

template <class T>
void walk(const T* p, int64_t n) {
    uint32_t s = 0;
    for (int64_t i = 0; i < n; ++i) s += static_cast<uint32_t>(p[i]);
    g_sink = g_sink + s;
}

void walk_logic(const MicroweaveLogicRecord& u) {
    for (uint32_t i = 0; i < u.layerCount; ++i) {
        const MicroweaveLayerRecord& l = u.layers[i];
        walk(l.feed, l.cycleLength);
        for (int32_t k = 0; k < l.cycleLength; ++k) g_sink = g_sink + l.range[k].first + l.range[k].end;
        walk(l.selector, l.selectorCount);
        walk(l.group, l.groupCount);
        if (l.hasStepValues) walk(l.stepValue, l.cycleLength);
    }
    walk(u.headUnits, u.headUnitCount);
    walk(u.nullPassCode, u.nullPassCount);
    walk(u.nullPassNo, u.nullPassCount);
    for (const MovingRangeTable* t : {&u.normal, &u.fTrans}) {
        walk(t->width, t->count);
        walk(t->addRemainder, t->count);
        walk(t->value, t->count);
        walk(t->phase, t->count);
    }
    walk(u.mwsw.width, u.mwsw.count);
    walk(u.mwsw.feed, u.mwsw.count);
    walk(u.mwsw.phase, u.mwsw.count);
}

void walk_blocks(RscObject* rsc) {
    ICMResourceData* icm = nullptr;
    MLEResourceData* mle = nullptr;
    ESCResourceData* esc = nullptr;
    RBMResourceData* rbm = nullptr;
    if (RSC_GetICMResourceData(rsc, &icm) || RSC_GetMLEResourceData(rsc, &mle) || RSC_GetESCResourceData(rsc, &esc) ||
        RSC_GetRBMResourceData(rsc, &rbm))
        std::abort();
    const HeadRecord& h = mle->head;
    walk(h.nozzleNumOfHead, h.headNum);
    walk(h.headOverlapNum, h.headNum - 1);
    walk(h.lineValues, h.nozzleLineNum);
    walk(mle->colorOrder, mle->nozzleArrayNum);
    walk(mle->nozzleArrayValues, mle->nozzleArrayNum);
    for (int16_t slot : mle->unitIndexOfSlot)
        if (slot >= mle->unitNum) std::abort();
    for (int32_t i = 0; i < mle->unitNum; ++i) walk_logic(mle->units[i]);
    for (int32_t i = 0; i < icm->layerKindCount; ++i)
        if (icm->layerKinds[i].values) walk(icm->layerKinds[i].values, icm->layerKinds[i].n);
    walk(icm->polBaseWordsA.items, icm->polBaseWordsA.count);
    walk(icm->polOrderTable.items, icm->polOrderTable.count);
    for (int32_t i = 0; i < icm->polThresholdMatrices.count; ++i) {
        const MatrixRecord& m = icm->polThresholdMatrices.items[i];
        walk(m.data, int64_t{m.rows} * m.columns);
    }
    for (int32_t i = 0; i < icm->polStoredPatterns.count; ++i) {
        const TaggedBytesRecord& t = icm->polStoredPatterns.items[i];
        walk(t.data, int64_t{t.rows} * t.columns);
        if (t.tags & 1u) walk(t.extra, t.columns);
    }
    walk(icm->modeBytes, icm->modeByteCount);
    walk(icm->blockB.list, icm->blockB.n);
    walk(icm->blockB.perColor, int64_t{icm->blockB.n} * (icm->blockB.perColor ? icm->colorNum : 0));
    walk(icm->blockC.bytes, icm->blockC.n);
    walk(icm->blockD.list, icm->blockD.n);
    walk(icm->splitColorOrder.codes,
         icm->splitColorOrder.codes ? int64_t{h.headNum} * icm->nozzleArrayNum * icm->splitColorOrder.n : 0);
    walk(icm->colorOrderOfHeads, icm->colorOrderOfHeadsNum);
    walk(icm->inkCodes, icm->colorTableNum);
    walk(icm->colorCodes, icm->colorTableNum);
    if (icm->blockE) {
        walk(icm->blockE->commandColors, icm->blockE->n);
        walk(icm->blockE->rowShifts, icm->blockE->n);
    }
    walk(icm->useHead.heads, icm->useHead.headNum);
    if (const PmcResource* p = icm->lossNozzleModelData->pmc) {
        for (uint32_t s = 0; s < p->setCount; ++s) {
            const PmcTableSet& set = p->sets[s];
            for (uint32_t t = 0; t < set.count1; ++t) walk(set.tables1[t], int64_t{set.rows1} * set.columns1);
            for (uint32_t t = 0; t < set.count2; ++t) walk(set.tables2[t], int64_t{set.rows2} * set.columns2);
        }
        walk(p->maskTable, p->maskTable ? int64_t{p->maskWidth} * p->maskHeight : 0);
        walk(p->unitData, p->unitLength);
    }
    if (const CmsUnitResource* c = icm->lossNozzleModelData->cms) walk(c->types, c->n);
    walk(esc->colorCodes, esc->colorCodeNum);
    walk(esc->remapTo, esc->colorRemapNum);
    g_sink = g_sink + rbm->encoderWord3;
}

void run(IdentifierPair id, const CallbackTable& cb) {
    RscObject* rsc = nullptr;
    const uint32_t code = RSC_Constructor(&rsc, id, 0x10, &cb);
    if (irac_fuzz::g_platform.resources != 0) std::abort();
    if (code != 0) {
        if (rsc || irac_fuzz::g_platform.blocks != 0) std::abort();
        return;
    }
    walk_blocks(rsc);
    LhtTable* lht = nullptr;
    SssTable* sss = nullptr;
    YdsTable* yds = nullptr;
    NlmTable* nlm = nullptr;
    RlsTable* rls = nullptr;
    if (RSC_TransferLht(&lht, rsc) || RSC_TransferSss(&sss, rsc) || RSC_TransferYds(&yds, rsc) ||
        RSC_TransferNlm(&nlm, rsc) || RSC_TransferRls(&rls, rsc))
        std::abort();
    const MLEResourceData* mle = rsc->mle;
    LHT_CreateLayerArrayOfVirtualNozzleArray(static_cast<int16_t>(mle->head.nozzleNumOfHead[0] & 0x3FF), lht);
    for (int32_t a = 0; a < mle->nozzleArrayNum; ++a) {
        const uint8_t code8 = mle->colorOrder[a];
        g_sink = g_sink + uint32_t(NLM_GetHeadTopShiftAmount(code8, nlm)) + uint32_t(YDS_GetShiftAmount(code8, 0, yds)) +
                 RLS_JudgedDisableNozzleArea(code8, 1, rls) + SSS_GetShift(a, sss);
    }
    RSC_Destructor(rsc);
    LHT_Free(&lht, &cb);
    SSS_Free(&sss, &cb);
    YDS_Free(&yds, &cb);
    NLM_Free(&nlm, &cb);
    RLS_Free(&rls, &cb);
    if (irac_fuzz::g_platform.blocks != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    // The default callbacks, with counted memory and the input as the resource.
    const CallbackTable cb = irac_fuzz::callbacks(data, size);
    // The default model's print mode (long mode number) with both sub-modes,
    // and its short number, which the formats below 1.2 carry.
    run({0x03020131u, 1}, cb);
    run({0x03020131u, 3}, cb);
    run({0x31u, 1}, cb);
    return 0;
}
