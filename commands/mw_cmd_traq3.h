// The generators of the two other command-language levels: CMWCmd_TRAQ3 and
// its variant CMWCmd_TRAQ3_1 frame the pages of level-3 records (the band
// data go out as image objects from the encode buffer), CMWCmd_TRAQAGE the
// pages of the page language (GS commands).
//
// Sections go out between the spooler's escape markers, always in pairs:
// 9/10 around the document start, 11/12 around the page-language page start,
// 3/4 around the page end, 1/2 around the document end. The level-3 page
// start sends nothing (the band driver sends the make record).
//
// Failures: a failing spooler throws its message through every operation; a
// level-3 page end whose held lines cannot be sent (the encode buffer's
// flush fails) throws "Spooler Exception" too, so the page is reported as
// failed; a failure of the JPEG encoder leaves as its ERR value.
#pragma once

#include <cstdint>

#include "commands/mw_cmd.h"
#include "commands/traq3_records.h"
#include "engine/engine_interfaces.h"

namespace ovcg {

class CMWCmd_TRAQ3 : public CMWCmd {
public:
    // records and encode are the job's (not owned); throws "Illegal
    // Parameter Exception" without them.
    CMWCmd_TRAQ3(const tagPRTSTRUCT3_12* job, const tagPRTINFOSTRUCT* info, CPlimoSpooler* spooler,
                 CMediaOpt* media, tagCUTCMD* cut, tagTRIMINFO* trim, tagJOBDATA_6* jobData, CTRAQ3V1* records,
                 IEncodeBuffer* encode);

    void SendStartDocCmd(int header) override;
    void SendStartPageCmd(int count) override;
    void SendEndPageCmd() override;
    void SendEndDocCmd() override;

protected:
    // variant: the job-language header and the remote block always, never
    // the 0x11 bytes.
    void StartDocument(bool variant);

    CTRAQ3V1* m_records;
    IEncodeBuffer* m_encode;
};

class CMWCmd_TRAQ3_1 : public CMWCmd_TRAQ3 {
public:
    using CMWCmd_TRAQ3::CMWCmd_TRAQ3;

    void SendStartDoc_RemoteCmd() override;
    void SendJXStartCmd() override;
    void SendStartDocCmd(int header) override;
    void SendEndDocCmd() override;
};

class CMWCmd_TRAQAGE : public CMWCmd {
public:
    static constexpr int kOptions = 7;

    using CMWCmd::CMWCmd;

    void SendStartDocCmd(int header) override;
    // The GS block only when the colour options changed (the first page of
    // a job always counts as changed).
    void SendStartPageCmd(int count) override;
    void SendEndPageCmd() override;
    void SendEndDocCmd() override;
    // Six options of the cam command and a gamma value.
    void SetColorOption(int a, int b, int c, int d, int e, int f, int gamma) override;
    // Back to the state of a new job: the next page counts as changed.
    void ResetColorOption();

    bool Changed() const { return m_changed != 0; }

private:
    void SendPrintArea();

    int32_t m_options[kOptions] = {};
    bool m_known = false;  // options given since the job (or the reset) began
    uint32_t m_changed = 1;
};

}  // namespace ovcg
