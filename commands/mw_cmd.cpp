#include "commands/mw_cmd.h"

#include <algorithm>
#include <cstring>

#include "common/byte_cursor.h"
#include "common/byte_writer.h"
#include "engine/engine_error.h"
#include "engine/platform.h"

namespace ovcg {

namespace {

using C = CPCommandConv;

// Indices into jx_items, whose entries enable the items in this order:
// 1, 2, 15, 8, 0x20, 12, 13, 24, 23, 25, 0x10, 0x21, 0x29, 0x2B.
enum JxEnable : int {
    kEnStart, kEnHdd, kEnCopies, kEnDocName, kEnHostId, kEnOwnerName, kEnHostName,
    kEnVendor, kEnOsVersion, kEnMedia, kEnPageCount, kEnDotCounts, kEnPrintedLength, kEnErrorCheck,
};

// Indices into sn_modes: the send rules of SN codes 1, 8, 4, 5, 0x82, 0x84,
// 0x85, 0x89, 0x8F.
enum SnRule : int { kSn1, kSn8, kSn4, kSn5, kSn82, kSn84, kSn85, kSn89, kSn8F };

constexpr size_t kMaxDocName = 96;
constexpr size_t kMaxHostIdName = 32;
constexpr size_t kMaxOwnerName = 48;
constexpr size_t kMaxHostName = 48;
constexpr size_t kMaxVendor = 40;
constexpr size_t kMaxOsVersion = 10;
constexpr size_t kMaxMedia = 10;
constexpr size_t kMaxHdd = 8;

// Largest data block of each variable-length job command that still fits the
// command buffer (fixed bytes: JS 6 + 2 leading zeros, JU 5 + 2, JH 10).
constexpr size_t kMaxJsName = CMWCmd::kCmdBufferSize - 6 - 2;
constexpr size_t kMaxJuName = CMWCmd::kCmdBufferSize - 5 - 2;
constexpr size_t kMaxJhName = CMWCmd::kCmdBufferSize - 10;

constexpr uint32_t kF3JobRecords = 0x4;
constexpr uint32_t kF3AdjustFeed = 0x8;
constexpr uint32_t kF3PaperCheck = 0x20;
constexpr uint32_t kF3AdjustFeedEx = 0x40;
constexpr uint32_t kF3Us2On = 0x80;
constexpr uint32_t kF3Us2Off = 0x100;
constexpr uint32_t kF3MediaSeq = 0x1800;
constexpr uint32_t kF3Sn04 = 0x1000;
constexpr uint32_t kF3JobHost = 0x2000;
constexpr uint32_t kF3MediaPaperId = 0x8000;
constexpr uint32_t kF3PaperPathFirst = 0x11000;
constexpr uint32_t kF3Hd = 0x40000;
constexpr uint32_t kF3Thickness = 1u << 23;
constexpr uint32_t kF3InkInJob = 1u << 24;
constexpr uint32_t kF3NozzleCheck = 1u << 25;
constexpr uint32_t kF3Jx = 1u << 27;
constexpr uint32_t kF3BlackPrint = 0x80000;
constexpr uint32_t kF3DriverColor = 1u << 28;

// Bytes of the dummy data command.
constexpr uint8_t kDummyHeader[5] = {0x1B, 0x28, 0x64, 0xFF, 0x7F};
constexpr unsigned int kDummyZeros = 32767;
const char kZeros[kDummyZeros] = {};

void DefaultLocalTime(OVS_SYSTEMTIME* t) { GetLocalTime(t); }

// A send rule of the model: 1 sends always, 2 only for a given option.
bool RuleSends(uint16_t rule, bool given) { return rule == 1 || (rule == 2 && given); }

void Item1(ByteWriter& w, uint8_t type, uint8_t value) { CMWCmd::JxItem(w, type, &value, 1); }

}  // namespace

CMWCmd::CMWCmd(const tagPRTSTRUCT3_12* job, const tagPRTINFOSTRUCT* info, CPlimoSpooler* spooler,
               CMediaOpt* media, tagCUTCMD* cut, tagTRIMINFO* trim, tagJOBDATA_6* jobData)
    : m_media(media), m_cut(cut), m_trim(trim), m_jobData(jobData), m_spooler(spooler),
      m_localTime(DefaultLocalTime) {
    if (!job || !info || !spooler) ThrowMessage(kIllegalParameterException);
    m_job = *job;
    m_info = *info;
}

CMWCmd::~CMWCmd() { Mem_Free(m_dotCount); }

void CMWCmd::SendStartDocCmd(int) {}
void CMWCmd::SendStartPageCmd(int) {}
void CMWCmd::SendEndPageCmd() {}
void CMWCmd::SendEndDocCmd() {}
void CMWCmd::SetColorOption(int, int, int, int, int, int, int) {}

void CMWCmd::SendCom(unsigned short n) {
    SendRaw(m_cmd, std::min<size_t>(n, sizeof m_cmd));
}

void CMWCmd::SendRaw(const void* data, size_t n) {
    if (n == 0) return;
    m_spooler->SendData(static_cast<const char*>(data), static_cast<unsigned int>(n));
}

void CMWCmd::Escape(unsigned short code) { m_spooler->SendEscape(code); }

void CMWCmd::GetUSFact(tagPOINT* out) {
    if (!out) return;
    const int32_t vres = m_job.prt_resolution.y;
    auto axis = [vres](int32_t src) -> int32_t {
        if (src <= 0) return 0;
        if (vres == 540) return (src + 57599) / src;
        return static_cast<int32_t>(static_cast<int64_t>(vres) * 10 / src);
    };
    out->x = axis(m_job.src_resolution.x);
    out->y = axis(m_job.src_resolution.y);
}

void CMWCmd::SendVPosCmd(unsigned int feed) { Put(C::SetRelVPosV3, feed); }

CMWCmd::Text CMWCmd::Clamp(const char* s, uint32_t size, size_t limit) {
    Text t;
    if (!s || size == 0) return t;
    t.data = reinterpret_cast<const uint8_t*>(s);
    t.size = strnlen(s, std::min<size_t>(size, limit));
    return t;
}

// ---------------------------------------------------------------------------
// Remote-mode block.

void CMWCmd::SendTimeStamp() {
    OVS_SYSTEMTIME t{};
    if (m_localTime) m_localTime(&t);
    Put(C::SetTimeStamp, t.wYear, static_cast<uint8_t>(t.wMonth), static_cast<uint8_t>(t.wDay),
        static_cast<uint8_t>(t.wHour), static_cast<uint8_t>(t.wMinute), static_cast<uint8_t>(t.wSecond));
}

uint8_t CMWCmd::PaperIdByte() const {
    int32_t number = 0;
    if (m_media) m_media->Get_user_media_number(&number);
    return number != 0 ? 0xFC : static_cast<uint8_t>(m_info.media_paper_id[0]);
}

void CMWCmd::SendMediaPaperId() {
    Put(C::SetMediaPaperID, PaperIdByte(), static_cast<uint8_t>(m_info.media_paper_id[1]));
}

void CMWCmd::SendUserMediaNumber() {
    int32_t number = 0;
    if (m_media) m_media->Get_user_media_number(&number);
    if (number != 0 && m_info.user_media_number_on == 1)
        Put(C::SetUserMediaNumber, static_cast<uint8_t>(number), static_cast<uint8_t>(m_info.user_media_number_type));
}

void CMWCmd::SendUserSetting0() {
    uint8_t v = 0;
    if (Ex(kExForceMode2))
        v = 2;
    else if (Ex(kExUserSetting0On) && !m_info.user_setting0_off)
        v = 1;
    Put(C::SetUserSetting, uint8_t{0}, v);
}

void CMWCmd::SendSnTable() {
    for (int i = 0; i < kPrtInfoTableEntries; ++i) {
        const uint16_t code = m_info.sn_table[i].code;
        if (code == 0xFFFF) break;
        int value = m_info.sn_table[i].value;
        bool given = false;
        int rule = -1;  // -1: sent unchanged
        switch (code) {
            case 1: {
                uint16_t gap = 0;
                if (m_media && m_media->Get_platen_gap_mode(&gap) && gap < 7) {
                    value = gap;
                    given = true;
                }
                rule = kSn1;
                break;
            }
            case 8: {
                if (m_info.top_margin_adjust == 1) {
                    uint16_t top = 0;
                    int t = value;
                    if (m_media && m_media->Get_top_margin(&top)) {
                        t = top <= 14 ? 0 : (top > 255 ? 255 : top);
                        value = t;
                        given = true;
                    }
                    if (m_info.top_margin_offset_on) {
                        const int q = m_info.top_margin_offset / 10;
                        value = t > q + 1 ? t - q : 1;
                        given = true;
                    }
                }
                rule = kSn8;
                break;
            }
            case 4:
                if (m_info.sn_modes[kSn4] != 1) continue;
                break;
            case 5: {
                uint16_t v = 0;
                if (m_media && m_media->Get_vacuum_intensity(&v)) {
                    const int vac = std::min<int>(v, 168);
                    value = ((vac * (value - 1) * 2) / 100 + 2) / 2;
                    given = true;
                }
                rule = kSn5;
                break;
            }
            case 6: case 7: case 9:
                continue;
            case 0x82: {
                int16_t offset = 0;
                if (m_media && m_media->Get_feeding_offset(&offset)) {
                    value = std::clamp(offset + value + 71, 1, 141);
                    given = true;
                }
                rule = kSn82;
                break;
            }
            case 0x84:
                value = 0;
                if (Ex(kExAutoCut) && CutEnabled()) {
                    value = m_cut->cut_option == OVCG_CUT_ONECUT ? 1 : m_cut->cut_option == OVCG_CUT_TWOCUT ? 2 : 0;
                    given = true;
                }
                rule = kSn84;
                break;
            case 0x85: {
                uint16_t eject = 0, roller = 0;
                if (m_media && m_media->Get_eject_roller(&eject)) {
                    if (eject < 4) {
                        value = eject;
                        given = true;
                    }
                } else if (m_media && m_media->Get_feed_roller_type(&roller) && roller < 4) {
                    value = roller;  // sets the value, but the entry counts as not given
                }
                rule = kSn85;
                break;
            }
            case 0x89: {
                uint16_t v = 0;
                if (m_media && m_media->Get_roll_tension_mode(&v) && v < 4) {
                    value = v;
                    given = true;
                }
                rule = kSn89;
                break;
            }
            case 0x8F: {
                uint16_t v = 0;
                if (m_media && m_media->Get_page_margin(&v) && v < 3) {
                    value = v;
                    given = true;
                }
                rule = kSn8F;
                break;
            }
            default:
                break;
        }
        if (rule >= 0 && !RuleSends(m_info.sn_modes[rule], given)) continue;
        Put(C::SelectMechSeq, static_cast<uint8_t>(code), static_cast<uint8_t>(value));
    }
}

void CMWCmd::SendDryTimeTable() {
    const bool newer = Newer();
    for (int i = 0; i < kPrtInfoTableEntries; ++i) {
        const uint16_t code = m_info.dry_time_table[i].code;
        if (code == 0xFFFF) break;
        uint16_t value = m_info.dry_time_table[i].value;
        if ((code == 0 && !newer) || (code == 0x40 && newer) || code == 1) {
            int16_t delay = 0;
            bool given = false;
            if (code == 1) {
                given = m_media && m_media->Get_page_delay_time(&delay);
                if (given) value = static_cast<uint16_t>(value + delay);
            } else {
                given = m_media && m_media->Get_path_delay_time(&delay);
                if (given) value = static_cast<uint16_t>(value + 100 * delay);
            }
            const uint16_t rule = m_info.dry_time_modes[code == 0 ? 0 : code == 1 ? 1 : 2];
            if (!RuleSends(rule, given)) continue;
        } else if (code == 0x41) {
            if (m_info.dry_time_modes[3] != 1) continue;
        } else if (code == 0x42) {
            int16_t delay = 0;
            if (m_media && m_media->Get_auto_dp_delay_time(&delay)) value = static_cast<uint16_t>(value + delay);
        }
        Put(C::SetDryTime, static_cast<uint8_t>(code), value);
    }
}

void CMWCmd::SendPaperThickness() {
    uint16_t t = 0;
    const bool given = m_media && m_media->Get_paper_thickness(&t);
    const uint16_t def = m_info.paper_thickness_default;
    const uint16_t high = m_info.paper_thickness_high;
    if (m_info.paper_thickness_mode == 1) {
        if (given) {
            Put(C::SetPaperThick, static_cast<uint8_t>(t > 150 ? 15 : t / 10));
        } else if (Valid16(def)) {
            if (Valid16(high))
                Put(C::SetPaperThick, static_cast<uint8_t>((((high & 0xFF) << 8) | (def & 0xFF)) / 10));
            else
                Put(C::SetPaperThick, static_cast<uint8_t>(def));
        }
    } else if (m_info.paper_thickness_mode == 2) {
        if (given) {
            Put(C::SetPaperThick2, static_cast<uint8_t>(std::min<uint16_t>(t, 250)), uint8_t{0});
        } else if (Valid16(def)) {
            if (Valid16(high)) {
                Put(C::SetPaperThick2, static_cast<uint8_t>(def), static_cast<uint8_t>(high));
            } else {
                const uint16_t tenfold = static_cast<uint16_t>(def * 10);
                Put(C::SetPaperThick2, static_cast<uint8_t>(tenfold), static_cast<uint8_t>(tenfold >> 8));
            }
        }
    }
}

void CMWCmd::SendCutPositions(const tagPOINT& fact) {
    if (!(Ex(kExRollMedia) && Ex(kExAutoCut) && m_cut)) return;
    uint8_t code = 0;
    switch (m_job.prt_resolution.y) {
        case 360: code = 0; break;
        case 720: code = 1; break;
        case 1440: code = 2; break;
        case 2880: code = 3; break;
        default: return;
    }
    int32_t p1 = 0, p2 = 0;
    if (CutEnabled()) {
        p1 = static_cast<int32_t>(static_cast<int64_t>(m_cut->top) * fact.y / 10);
        p2 = static_cast<int32_t>(static_cast<int64_t>(m_cut->bottom) * fact.y / 10);
    }
    uint8_t b1 = 0, b2 = 0;
    switch (m_cut->cut_option) {
        case OVCG_CUT_TWOCUT: b1 = 0; b2 = 0; break;
        case OVCG_CUT_PANORAMA: b1 = 1; b2 = 2; break;
        case OVCG_CUT_ONECUT: b1 = 1; b2 = 0; break;
        default: return;
    }
    Put(C::SetCutPos, uint8_t{0}, b1, code, static_cast<uint32_t>(p1));
    Put(C::SetCutPos, uint8_t{0}, b2, code, static_cast<uint32_t>(p2));
}

void CMWCmd::SendRemoteCmdBytes() {
    // The caller's own remote commands go to the spooler as they are, never
    // through the command buffer, whatever their size.
    const auto* block = static_cast<const tagREMOTECMD*>(m_job.lpRemoteCmd);
    if (block && block->lpData) SendRaw(block->lpData, block->dwSize);
}

void CMWCmd::SendPaperPath() {
    Put(C::SetPaperPathMode, static_cast<uint8_t>(m_info.paper_path), static_cast<uint8_t>(m_info.paper_path_value));
}

void CMWCmd::SendAutoCutPair() {
    Put(C::SetAutCutMode, static_cast<uint8_t>(Ex(kExAutoCut) ? 1 : Ex(kExCutLine) ? 2 : 0));
    Put(C::SetAutCutMode, static_cast<uint8_t>(Ex(kExCutAfterJob) ? 65 : 64));
}

void CMWCmd::SendStartDoc_RemoteCmd() {
    const uint32_t f1 = F1(), f2 = F2(), f3 = F3();
    const bool newer = Newer();
    tagPOINT fact{};
    GetUSFact(&fact);

    Put(C::StartRemote);
    if (f1 & 0x4) SendTimeStamp();
    if (f3 & kF3Jx)
        SendJXStartCmd();
    else
        SendJS_JU_JH_HD_StartCmd();
    if ((f3 & 0x9800) == kF3MediaPaperId && m_info.media_paper_id_on == 1) SendMediaPaperId();
    SendUserMediaNumber();
    if (!newer) Put(C::SelectTRAQ2);

    if (f2 & 0x400) {
        if (m_info.duplex_mode == 1) {
            if (Ex(kExDuplex))
                Put(C::SetDuplex, uint8_t{1});
            else if (Ex(kExDuplexAlt))
                Put(C::SetDuplex, uint8_t{2});
            else if (f3 & kF3MediaSeq)
                Put(C::SetDuplex, uint8_t{0});
        } else if (m_info.duplex_mode == 2) {
            if (Ex(kExDuplex) && Ex(kExDuplexThird)) Put(C::SetDuplex, uint8_t{1});
        }
    }
    if (f2 & 0x8) Put(C::SetInkRest, static_cast<uint8_t>(Ex(kExRollMedia) ? 1 : 3));

    if (f1 & 0x1) {
        if (f3 & kF3MediaSeq) {
            if ((f3 & kF3PaperPathFirst) == kF3PaperPathFirst && Valid16(m_info.paper_path)) SendPaperPath();
            Put(C::SelectMechSeq_04HVer3);
            if (f3 & kF3Sn04) {
                // A payload the record cannot hold (not given, or longer than
                // its 100 bytes) is left out rather than sent short.
                const uint16_t n = m_info.sn04_count;
                if (n <= kMaxSn04Count)
                    Put(C::SelectMechSeq_04H, static_cast<uint8_t>(m_info.sn04_kind), n, m_info.sn04_data);
                const auto& af = m_info.adjust_feed;
                const auto& ax = m_info.adjust_feed_ex;
                if (f3 & kF3AdjustFeed)
                    Put(C::SetAdjustFeed, af.a, af.b, af.c, af.d);
                else if (f3 & kF3AdjustFeedEx)
                    Put(C::SetAdjustFeedEx, ax.a, ax.b, ax.c, ax.d, ax.e, ax.f);
            }
            if (m_info.media_paper_id_on == 1) SendMediaPaperId();
            SendUserMediaNumber();
            SendUserSetting0();
            uint16_t gap = 0;
            const bool gapGiven = m_media && m_media->Get_platen_gap_mode(&gap);
            Put(C::SetUserSetting, uint8_t{1}, static_cast<uint8_t>(gapGiven ? gap : 0));
            uint8_t us2 = 0;
            if (f3 & kF3Us2On)
                us2 = 1;
            else if (f3 & kF3Us2Off)
                us2 = 0;
            else
                us2 = Ex(kExUserSetting2On) ? 1 : 0;
            Put(C::SetUserSetting, uint8_t{2}, us2);
        }
        SendSnTable();
        if ((f3 & kF3MediaSeq) == 0) {
            if ((f2 & 0x800) && (m_info.sn06_mode == 1 || m_info.sn06_mode == 2))
                Put(C::SelectMechSeq, uint8_t{6}, static_cast<uint8_t>(m_job.prt_resolution.x > 720 ? 1 : 0));
            if ((f2 & 0x400) && (m_info.sn07_mode == 1 || m_info.sn07_mode == 2)) {
                if (Ex(kExDuplex))
                    Put(C::SelectMechSeq, uint8_t{7}, static_cast<uint8_t>(Ex(kExDuplexSecond) ? 2 : 1));
                else if (m_info.sn07_mode == 1)
                    Put(C::SelectMechSeq, uint8_t{7}, uint8_t{0});
            }
            if (f2 & 0x1000) {
                if (newer) {
                    SendUserSetting0();
                } else if (m_info.sn09_mode == 1 || (m_info.sn09_mode == 2 && Ex(kExForceMode2))) {
                    Put(C::SelectMechSeq, uint8_t{9}, static_cast<uint8_t>(Ex(kExForceMode2) ? 1 : 0));
                }
            }
        }
    }

    for (int i = 0; i < kPrtInfoTableEntries; ++i) {
        const auto& e = m_info.user_setting_table[i];
        if (e.code == 0xFFFF) break;
        Put(C::SetUserSetting, static_cast<uint8_t>(e.code), static_cast<uint8_t>(e.value));
    }
    if (f1 & 0x20)
        Put(C::SetBannerMode, static_cast<uint8_t>(Ex(kExRollMedia) ? 1 : Ex(kExBannerAlt) ? 2 : 0));
    if (((f1 & 0x20) && ((f2 & 0x1000) || (f1 & 0x4000))) || (!(f1 & 0x20) && (f2 & 0x1000))) {
        const uint32_t v = m_info.trim_banner_value;
        uint8_t a = static_cast<uint8_t>(v >> 8), b = static_cast<uint8_t>(v);
        if (v == 0xFFFFFFFFu) {
            const bool on = Ex(kExTrimBanner) || Ex(kExForceMode2);
            a = on ? 0xB0 : 0x00;
            b = on ? 0xFF : 0x00;
        }
        Put(C::SetTrimBannerMode, a, b);
    }
    if (m_info.custom_mode_count >= 1 && m_info.custom_mode_count <= 8)
        Put(C::SetPrintingModeCustom, static_cast<int>(m_info.custom_mode_count), m_info.custom_mode_data);
    if (f2 & 0x100) SendDryTimeTable();
    if (!(f3 & kF3InkInJob) && Valid16(m_info.ink_id)) Put(C::SetInk, static_cast<uint8_t>(m_info.ink_id));

    if (newer && (f3 & kF3MediaSeq)) {
        Put(C::SetCutLineMode,
            static_cast<uint8_t>(Ex(kExCutLine) && !Ex(kExTrimBanner) && !Ex(kExForceMode2) ? 1 : 0));
        SendAutoCutPair();
    }
    if (newer || (f3 & kF3Thickness)) SendPaperThickness();
    if (f3 & kF3PaperCheck) Put(C::SetPaperChkMode, static_cast<uint8_t>(Ex(kExPaperCheck) ? 1 : 0));
    if ((newer || (f3 & 0x220)) && Valid16(m_info.paper_path)) SendPaperPath();
    if (!newer) SendCutPositions(fact);
    SendRemoteCmdBytes();
    Put(C::EndRemote);
}

// ---------------------------------------------------------------------------
// Job records.

void CMWCmd::SendJS_JU_JH_HD_StartCmd() {
    const uint32_t f3 = F3();
    const bool newer = Newer();
    uint8_t buf[kCmdBufferSize];

    // A job command whose data are two zero bytes and then a name.
    auto named = [&](auto writer, Text name) {
        buf[0] = 0;
        buf[1] = 0;
        if (name.present()) std::memcpy(buf + 2, name.data, name.size);
        Put(writer, static_cast<const uint8_t*>(buf), static_cast<uint16_t>(2 + name.size));
    };
    // HD data padded with blanks to the field's width; only for 1 to width bytes.
    auto hd = [&](const char* s, uint32_t size, size_t width, uint8_t kind) {
        if (!s || size < 1 || size > width) return;
        const Text t = Clamp(s, size, width);
        if (!t.present()) return;
        std::memset(buf, 0x20, width);
        if (t.size) std::memcpy(buf, t.data, t.size);
        Put(C::SetHDdata, static_cast<const uint8_t*>(buf), static_cast<uint16_t>(width), kind);
    };

    if ((f3 & kF3JobRecords) && !Ex(kExJobInfoMode)) {
        if ((f3 & kF3InkInJob) && Valid16(m_info.ink_id)) Put(C::SetInk, static_cast<uint8_t>(m_info.ink_id));
        if (f3 & kF3NozzleCheck) Put(C::SetNozzleCheck, static_cast<uint8_t>(Ex(kExNozzleCheck) ? 1 : 0));
        if (!m_jobData) {
            named(C::JobStart, Text{});
            if (newer) named(C::JobUserName, Text{});
        } else if (m_jobData->version != 0) {
            const tagJOBDATA_6& jd = *m_jobData;
            named(C::JobStart, Clamp(jd.lpszDocName, jd.DocNameSize, kMaxJsName));
            if ((f3 & kF3JobHost) && jd.HostNameType >= 0) {
                const Text host = Clamp(jd.lpszHostName, jd.HostNameSize, kMaxJhName);
                if (host.present())
                    Put(C::JobHostName, host.data, static_cast<uint16_t>(host.size), static_cast<uint8_t>(jd.HostNameType),
                        jd.dwJobID);
            }
            if (newer) named(C::JobUserName, Clamp(jd.lpszOwnerName, jd.OwnerNameSize, kMaxJuName));
            if (f3 & kF3Hd) {
                hd(jd.lpszVenderInfo, jd.VenderInfoSize, kMaxVendor, 1);
                hd(jd.lpszOsVerInfo, jd.OsVerInfoSize, kMaxOsVersion, 2);
            }
        }
    }
    if ((f3 & kF3Hd) && m_jobData && m_jobData->version >= 4)
        hd(m_jobData->lpszMediaInfo, m_jobData->MediaInfoSize, kMaxMedia, 4);
}

void CMWCmd::JxItem(ByteWriter& w, uint8_t type, const void* data, size_t n) {
    n = std::min<size_t>(n, 255);
    w.u8(type);
    w.u8(static_cast<uint8_t>(n));
    w.bytes(data, n);
}

void CMWCmd::JxHostIdItem(ByteWriter& w, const tagJOBDATA_6& jd, Text name) {
    uint8_t b[255];  // one item at most
    name.size = std::min<size_t>(name.size, sizeof b - 5);
    b[0] = static_cast<uint8_t>(jd.HostNameType);
    store_u32le(b + 1, jd.dwJobID);
    if (name.size) std::memcpy(b + 5, name.data, name.size);
    JxItem(w, kJxHostId, b, 5 + name.size);
}

void CMWCmd::JxErrorCheckItem(ByteWriter& w, const tagJOBDATA_6* jd) {
    if (jd && jd->DisablePrinterErrorCheck == 1) Item1(w, kJxErrorCheck, 1);
}

void CMWCmd::SendJX(const uint8_t* items, size_t n) {
    if (n == 0) return;
    Put(C::SetJXCommand, static_cast<uint16_t>(n), items);
}

void CMWCmd::SendJXStartCmd() {
    uint8_t items[kCmdBufferSize];
    ByteWriter w(items, sizeof items);
    const tagJOBDATA_6* jd = HasJobData() ? m_jobData : nullptr;

    if (Ex(kExJobInfoMode)) {
        if (jd) {
            const Text media = Clamp(jd->lpszMediaInfo, jd->MediaInfoSize, kMaxMedia);
            if (JxOn(kEnMedia) && media.present()) JxItem(w, kJxMedia, media.data, media.size);
            if (JxOn(kEnErrorCheck)) JxErrorCheckItem(w, jd);
        }
        SendJX(items, w.size());
        return;
    }
    if (JxOn(kEnStart)) Item1(w, kJxStart, 1);
    if (JxOn(kEnHdd)) {
        uint8_t hdd[kMaxHdd] = {1, 1, 0, 0, 0, 0, 0, 0};
        if (jd && jd->lpHDDOption && jd->NumHDDOption >= 1 && jd->NumHDDOption <= kMaxHdd) {
            std::memset(hdd, 0, sizeof hdd);
            std::memcpy(hdd, jd->lpHDDOption, jd->NumHDDOption);
        }
        JxItem(w, kJxHdd, hdd, sizeof hdd);
    }
    if (jd) {
        const Text doc = Clamp(jd->lpszDocName, jd->DocNameSize, kMaxDocName);
        if (JxOn(kEnDocName) && doc.present()) JxItem(w, kJxDocName, doc.data, doc.size);
        const Text hostId = Clamp(jd->lpszHostName, jd->HostNameSize, kMaxHostIdName);
        if (JxOn(kEnHostId) && hostId.present() && jd->HostNameType >= 0) JxHostIdItem(w, *jd, hostId);
        const Text owner = Clamp(jd->lpszOwnerName, jd->OwnerNameSize, kMaxOwnerName);
        if (JxOn(kEnOwnerName) && owner.present()) JxItem(w, kJxOwnerName, owner.data, owner.size);
        const Text host = Clamp(jd->lpszHostName, jd->HostNameSize, kMaxHostName);
        if (JxOn(kEnHostName) && host.present()) JxItem(w, kJxHostName, host.data, host.size);
    }
    if (JxOn(kEnCopies)) {
        uint8_t copies[2] = {1, 0};
        if (Ex(kExJxSendCopies)) store_u16le(copies, static_cast<uint16_t>(m_job.num_copy));
        JxItem(w, kJxCopies, copies, 2);
    }
    if (jd) {
        const Text vendor = Clamp(jd->lpszVenderInfo, jd->VenderInfoSize, kMaxVendor);
        if (JxOn(kEnVendor) && vendor.present()) JxItem(w, kJxVendor, vendor.data, vendor.size);
        const Text os = Clamp(jd->lpszOsVerInfo, jd->OsVerInfoSize, kMaxOsVersion);
        if (JxOn(kEnOsVersion) && os.present()) JxItem(w, kJxOsVersion, os.data, os.size);
        const Text media = Clamp(jd->lpszMediaInfo, jd->MediaInfoSize, kMaxMedia);
        if (JxOn(kEnMedia) && media.present()) JxItem(w, kJxMedia, media.data, media.size);
        if (JxOn(kEnErrorCheck)) JxErrorCheckItem(w, jd);
    }
    SendJX(items, w.size());
}

void CMWCmd::SendJXPredictionInfoCmd() {
    uint8_t items[kCmdBufferSize];
    ByteWriter w(items, sizeof items);
    if (JxOn(kEnPageCount)) {
        uint32_t pages = 1;
        if (!Ex(kExRollMedia)) pages = m_pageNumber > m_pagesReported ? m_pageNumber - m_pagesReported : 0;
        m_pagesReported = 0;
        uint8_t b[2];
        store_u16le(b, static_cast<uint16_t>(pages));
        JxItem(w, kJxPageCount, b, 2);
    }
    if (JxOn(kEnDotCounts) && m_dotCount && m_dotCountSize >= 1) {
        JxItem(w, kJxDotCounts, m_dotCount, static_cast<size_t>(m_dotCountSize));
        Mem_Free(m_dotCount);
        m_dotCount = nullptr;
        m_dotCountSize = 0;
    }
    if (JxOn(kEnPrintedLength)) {
        uint8_t b[2];
        store_u16le(b, static_cast<uint16_t>(m_printedLength));
        JxItem(w, kJxPrintedLength, b, 2);
    }
    SendJX(items, w.size());
}

void CMWCmd::SendJXEndCmd() {
    if (!Valid16(m_info.jx_items[kEnStart])) return;
    static constexpr uint8_t kEnd[3] = {kJxStart, 1, 2};
    SendJX(kEnd, sizeof kEnd);
}

// ---------------------------------------------------------------------------
// Line advance, colour mode, dot counts, dummy data.

void CMWCmd::SendLFOfOneHead() {
    const int32_t n = m_info.head_feed_lines;
    if (n < 0) return;  // the model gives no head height
    auto advance = [this](uint8_t amount) { Put(C::SetLineAdvanceAmount, amount); };
    auto feeds = [this](uint32_t count) {
        // Line feeds go out in blocks of the command buffer.
        std::memset(m_cmd, 0x0A, sizeof m_cmd);
        while (count > 0) {
            const uint32_t k = std::min<uint32_t>(count, sizeof m_cmd);
            SendCom(static_cast<unsigned short>(k));
            count -= k;
        }
    };
    if (n <= 255) {
        advance(static_cast<uint8_t>(n));
        feeds(1);
    } else {
        advance(255);
        feeds(static_cast<uint32_t>(n) / 255);
        if (n % 255) {
            advance(static_cast<uint8_t>(n % 255));
            feeds(1);
        }
    }
    advance(60);
}

void CMWCmd::SendESCKCom() {
    const int16_t mono = m_info.mono_mode;
    if (mono >= 0)
        Put(C::SelectMonoMode, static_cast<uint16_t>(mono));
    else if (m_job.prt_format == 0)
        Put(C::SelectColor, C::PlaneToColor(3));
    if (F3() & kF3BlackPrint)
        Put(C::SelectBlackPrintMode, static_cast<uint8_t>(m_info.mw_type_flags[kMwBlackPrint] ? 1 : 0));
    if ((F3() & kF3DriverColor) && mono >= 0)
        Put(C::SelectDriverColorSetting, static_cast<uint8_t>(Ex(kExColorSettingOverride) ? 1 : mono));
}

void CMWCmd::SetMarginValue(unsigned short first, unsigned short second) {
    m_margin[0] = first;
    m_margin[1] = second;
}

void CMWCmd::SetDotCount(const tagSMLDATA* table, int size, int) {
    if (!table || size <= 0) return;
    Mem_Free(m_dotCount);
    m_dotCount = nullptr;
    m_dotCountSize = 0;
    // The table has size / 12 entries; the array is cut to what the
    // prediction record's one-byte length can carry.
    const int entries = size / kSmlDataSize;
    const int bytes = std::min(size, kMaxDotCountBytes);
    auto* array = static_cast<uint8_t*>(Mem_Alloc(bytes));
    if (!array) return;
    m_dotCount = array;
    m_dotCountSize = bytes;
    const uint32_t scale = static_cast<uint32_t>(static_cast<int32_t>(m_info.dot_count_scale) * m_info.dot_count_scale);
    const int planes = std::min({std::max(m_info.plane_count, 0), kPrtInfoMaxPlanes, bytes / kSmlDataSize});
    for (int p = 0; p < planes; ++p) {
        const int k = m_info.plane_sml_index[p];
        if (k == 0 || k > entries) continue;  // no entry, or one beyond the table: zeros
        for (int j = 0; j < 3; ++j)
            store_u32le(array + p * kSmlDataSize + j * 4, table[k - 1].count[j] * scale);
    }
}

void CMWCmd::SendDummyCom() {
    SendRaw(kDummyHeader, sizeof kDummyHeader);
    SendRaw(kZeros, sizeof kZeros);
}

// ---------------------------------------------------------------------------
// Pieces of the newer variants and the document ends.

void CMWCmd::SendVariantJXStartCmd() {
    uint8_t items[kCmdBufferSize];
    ByteWriter w(items, sizeof items);
    const tagJOBDATA_6* jd = HasJobData() ? m_jobData : nullptr;
    auto text = [&](uint8_t type, const char* s, uint32_t size, size_t limit) {
        const Text t = Clamp(s, size, limit);
        if (t.present()) JxItem(w, type, t.data, t.size);
    };
    if (Ex(kExJobInfoMode)) {
        if (jd) text(kJxMedia, jd->lpszMediaInfo, jd->MediaInfoSize, 10);
        JxErrorCheckItem(w, jd);
    } else {
        const uint8_t one = 1;
        JxItem(w, kJxStart, &one, 1);
        if (jd) {
            text(kJxDocName, jd->lpszDocName, jd->DocNameSize, 96);
            const Text host = Clamp(jd->lpszHostName, jd->HostNameSize, 48);
            if (host.present()) {
                if (jd->HostNameType >= 0) JxHostIdItem(w, *jd, Clamp(jd->lpszHostName, jd->HostNameSize, 32));
                text(kJxOwnerName, jd->lpszOwnerName, jd->OwnerNameSize, 48);
                JxItem(w, kJxHostName, host.data, host.size);
            } else {
                text(kJxOwnerName, jd->lpszOwnerName, jd->OwnerNameSize, 48);
            }
            text(kJxVendor, jd->lpszVenderInfo, jd->VenderInfoSize, 40);
            text(kJxOsVersion, jd->lpszOsVerInfo, jd->OsVerInfoSize, 10);
            text(kJxMedia, jd->lpszMediaInfo, jd->MediaInfoSize, 10);
            JxErrorCheckItem(w, jd);
        }
    }
    SendJX(items, w.size());
}

void CMWCmd::SendDuplexEndAndLoad(bool altCounts) {
    const bool duplex = Ex(kExDuplex), alt = Ex(kExDuplexAlt);
    bool keepLoad = false;  // the duplex rule that also holds back LD
    if ((F2() & 0x400) && (duplex || alt)) {
        if (Ex(kExDuplexEnd)) {
            if (m_info.duplex_mode == 1 || (m_info.duplex_mode == 2 && duplex)) Put(C::SetDuplex, uint8_t{0});
        } else {
            keepLoad = m_pageAbort == 0 && !(altCounts && alt);
            if (m_info.duplex_mode == 1 && !keepLoad) Put(C::SetDuplex, uint8_t{0});
        }
    }
    if (!Ex(kExNoLoadDefault) && !keepLoad) Put(C::LoadDefault);
}

void CMWCmd::SendDocumentEnd(const DocumentEnd& form) {
    const uint32_t f2 = F2(), f3 = F3();
    Escape(CPlimoSpooler::kEscDocumentEndBegin);
    Put(form.leaveMode);
    Put(C::StartRemote);
    if (form.inkRest && (f2 & 0x8)) Put(C::SetInkRest, static_cast<uint8_t>(Ex(kExRollMedia) ? 0 : 2));
    if (f3 & kF3Jx) SendJXPredictionInfoCmd();
    SendDuplexEndAndLoad(form.altCounts);
    if (!Ex(kExJobInfoMode)) {
        if (f3 & kF3Jx)
            SendJXEndCmd();
        else if (f2 & 0x20)
            Put(C::JobEnd);
    }
    Put(C::EndRemote);
    if (form.blankTail && (f2 & 0x2000)) Put(C::SendBlank, 3);
    Escape(CPlimoSpooler::kEscDocumentEndEnd);
    m_spooler->Flush();
}

void CMWCmd::SendDc1Preamble() {
    static constexpr int kDc1Count = 16384;
    static constexpr uint8_t kDc1 = 0x11;
    if (Newer() && (F3() & 0x2) && !Ex(kExJobInfoMode))
        for (int i = 0; i < kDc1Count; ++i) SendRaw(&kDc1, 1);
}

void CMWCmd::SendVariantDocumentEnd() {
    Escape(CPlimoSpooler::kEscDocumentEndBegin);
    Put(C::ResetPrinter);
    Put(C::StartRemote);
    if (!(Ex(kExDuplex) && !Ex(kExDuplexEnd) && m_pageAbort == 0)) Put(C::LoadDefault);
    if (!Ex(kExJobInfoMode)) SendJXEndCmd();
    Put(C::EndRemote);
    Escape(CPlimoSpooler::kEscDocumentEndEnd);
    m_spooler->Flush();
}

void CMWCmd::SendVariantRemoteBlock(unsigned parts) {
    const bool level2 = (parts & kVariantLevel2) != 0;
    Put(C::StartRemote);
    SendJXStartCmd();
    if (parts & kVariantDuplex)
        Put(C::SetDuplex, static_cast<uint8_t>(Ex(kExDuplex) && Ex(kExDuplexThird) ? 1 : 0));
    SendMediaPaperId();
    if (level2 && (F1() & 0x1)) SendSnTable();
    Put(C::SetBannerMode, static_cast<uint8_t>(Ex(kExRollMedia) ? 1 : 0));
    const uint32_t v = m_info.trim_banner_value;
    Put(C::SetTrimBannerMode, static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v));
    if (level2 && (F2() & 0x100)) SendDryTimeTable();
    if (level2 && (Newer() || (F3() & kF3Thickness))) SendPaperThickness();
    Put(C::SetCutLineMode, static_cast<uint8_t>(Ex(kExCutLine) && !Ex(kExTrimBanner) ? 1 : 0));
    SendAutoCutPair();
    SendPaperPath();
    if (level2)
        Put(C::SetImageType, static_cast<uint8_t>(Valid16(m_info.image_type) ? m_info.image_type : 0),
            uint8_t{255});
    SendRemoteCmdBytes();
    Put(C::EndRemote);
}

}  // namespace ovcg
