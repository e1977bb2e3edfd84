#include "engine/out_module.h"

#include "engine/engine_error.h"

namespace ovcg {

HeadControl::HeadControl(const tagIRACINITSTRUCT* init, const char* enginePath, const IracEngineTable& table) {
    if (!init) ThrowMessage(kIllegalParameterException);
    tagIRACINITSTRUCT record = *init;
    if (record.irac_dll) {
        m_dll = static_cast<CIRACDLL*>(record.irac_dll);
    } else {
        m_ownDll = std::make_unique<CIRACDLL>(enginePath, table);
        m_dll = m_ownDll.get();
        record.irac_dll = m_dll;
    }
    m_output = std::make_unique<CMWOutput>(&record);
}

// The output module ends the engine's job through the adapter, so it goes
// first.
HeadControl::~HeadControl() { m_output.reset(); }

int HeadControl::GetUseHead(int* count, const uint8_t** heads) {
    IRACS_USE_HEAD* record = nullptr;
    const int r = m_output->Irac()->GetUseHead(&record);
    if (r != 0) return r;
    if (!record) return ConvertIracError(93);
    if (count) *count = record->headNum;
    if (heads) *heads = record->heads;
    return 0;
}

std::unique_ptr<IHeadControl> MakeHeadControl(const tagIRACINITSTRUCT* init, const char* enginePath) {
    return std::make_unique<HeadControl>(init, enginePath);
}

}  // namespace ovcg
