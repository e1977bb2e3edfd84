#include "engine/prt_mode.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>

#include "common/byte_cursor.h"
#include "engine/debug_export.h"
#include "engine/engine_error.h"

namespace ovcg {
namespace {

constexpr uint16_t kNotGiven = kLinkNotGiven;

int32_t Sext(uint16_t v) { return static_cast<int16_t>(v); }

// value x resolution / divisor in 64 bits, truncating, saturated to 32 bits.
int32_t ScaleLength(int32_t value, int32_t resolution, int32_t divisor) {
    return Saturate32(static_cast<int64_t>(value) * resolution / divisor);
}

// A key pair high x 256 + low in 16 bits.
uint16_t Combine16(uint16_t high, uint16_t low) { return static_cast<uint16_t>(high * 256u + low); }

uint8_t Low8(uint16_t v) { return static_cast<uint8_t>(v & 0xFF); }

// Plane counts of the printer formats 0..16.
constexpr std::array<int, 17> kPlanesByFormat = {1, 4, 3, 6, 7, 0, 7, 7, 6, 8, 8, 6, 7, 6, 8, 8, 10};

// The flag-word bits the resolution tests.
constexpr uint32_t kFlagAdjustFeed = 0x8;
constexpr uint32_t kFlagAdjustFeedEx = 0x40;
constexpr uint32_t kFlagRemote = 0x800;
constexpr uint32_t kFlagSn04 = 0x1000;
constexpr uint32_t kFlagMonoMask = 0x1C00;
constexpr uint32_t kFlagRemoteOnly = 0x8000;
constexpr uint32_t kFlagBorder = 0x40000000;

// ex_option2 bits beyond the four expanded ones.
constexpr uint32_t kEx2Flag4 = 0x10;
constexpr uint32_t kEx2NoBorder = 0x20;
constexpr uint32_t kEx2TopMarginOffset = 0x40;

bool IsResolutionId(uint16_t id) {
    switch (id) {
        case kRscGeneral: case kRscPaper: case kRscMediaColour: case kRscMediaMono:
        case kRscMediaTnmx: case kRscMediaColourSetting: case kRscCommands: case kRscRemote:
        case kRscRemote1: case kRscRemote2: case kRscRemote3: case kRscSn04:
        case kRscAdjustFeed: case kRscAdjustFeedEx: case kRscSwitches: case kRscGenerator:
        case kRscEncoder: case kRscPage: case kRscDuty:
            return true;
        default:
            return false;
    }
}

// Appends (code, value) to a 16-entry table; false when it is full.
bool AddEntry(PrtInfoCodeValue (&table)[kPrtInfoTableEntries], uint16_t code, uint16_t value) {
    for (PrtInfoCodeValue& e : table)
        if (e.code == 0xFFFF && e.value == 0xFFFF) {
            e = PrtInfoCodeValue{code, value};
            return true;
        }
    return false;
}

}  // namespace

// ---------------------------------------------------------------------------
// SN 04H block

bool WriteSn04Block(const RscLinkResult& pairs, uint8_t* block, int base, uint16_t length) {
    const auto put = [&](int64_t at, uint8_t v) {
        if (at < 0 || at >= kSn04DataSize) return false;
        block[at] = v;
        return true;
    };
    for (int i = 0; i < pairs.Count(); ++i) {
        const uint16_t t = pairs.GetIndexedType(i);
        const uint16_t v = pairs.GetIndexedValue(i);
        if (v == kNotGiven) return false;
        bool ok;
        if (t >= 22000 && t <= 22099) {
            ok = put(int64_t{base} + (t - 22000) + 1, Low8(v));
        } else if (t >= 23001 && t <= 23025) {
            const int64_t at = int64_t{base} + 2 * (t - 23000);
            ok = at >= 0 && at + 1 < kSn04DataSize && put(at, Low8(v)) && put(at + 1, static_cast<uint8_t>(v >> 8));
        } else if (t >= 21000 && t <= 21049) {
            const int64_t at = int64_t{base} + 2 * (t - 21000) + 1;
            ok = at >= 0 && at + 1 < kSn04DataSize && put(at, Low8(v)) && put(at + 1, static_cast<uint8_t>(v >> 8));
        } else {
            ok = false;
        }
        if (!ok) return false;
    }
    if (length > kSn04DataSize) return false;
    if (length >= 2) {
        uint16_t sum = 0;
        for (size_t i = 0; i + 2 < length; ++i) sum = static_cast<uint16_t>(sum + block[i]);
        store_u16le(block + length - 2, sum);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Construction

CPrtMode::CPrtMode(const tagPRTSTRUCT3_12* job, CLinkRscDLL* links) : m_links(links), m_job{} {
    PresetPrtInfo(&m_info);
    if (!job || !links) ThrowMessage(kIllegalParameterException);
    try {
        CopyJob(*job);
    } catch (const std::bad_alloc&) {
        ThrowMessage(kMemoryAllocationException);
    }
    ExpandFlags();
    CheckOptionCombinations();
    Resolve();
}

CPrtMode::~CPrtMode() = default;

void CPrtMode::CopyJob(const tagPRTSTRUCT3_12& job) {
    m_job = job;
    m_media.Init(job.lpMediaOpt);
    m_job.lpMediaOpt = job.lpMediaOpt ? m_media.Record() : nullptr;
    if (job.lpCutCmdData) {
        m_cut = std::make_unique<tagCUTCMD>(*job.lpCutCmdData);
        m_job.lpCutCmdData = m_cut.get();
    }
    if (job.lpTrimInfo) {
        m_trim = std::make_unique<tagTRIMINFO>(*job.lpTrimInfo);
        m_job.lpTrimInfo = m_trim.get();
    }
    if (job.lpJobData) {
        m_jobData = std::make_unique<tagJOBDATA_6>(*job.lpJobData);
        // Each buffer is copied with the size the caller gives and one
        // terminating zero more, so a copied string always ends.
        const auto copy = [&](const auto*& p, uint32_t size) {
            if (!p) return;
            std::vector<char> buf(size_t{size} + 1, 0);
            if (size) std::memcpy(buf.data(), p, size);
            m_jobDataBuffers.push_back(std::move(buf));
            p = reinterpret_cast<std::remove_reference_t<decltype(p)>>(m_jobDataBuffers.back().data());
        };
        tagJOBDATA_6& d = *m_jobData;
        copy(d.lpInkSetData, d.NumInkSetData);
        copy(d.lpszOwnerName, d.OwnerNameSize);
        copy(d.lpszDocName, d.DocNameSize);
        copy(d.lpszHostName, d.HostNameSize);
        copy(d.lpszVenderInfo, d.VenderInfoSize);
        copy(d.lpszOsVerInfo, d.OsVerInfoSize);
        copy(d.lpszMediaInfo, d.MediaInfoSize);
        copy(d.lpHDDOption, d.NumHDDOption);
        m_job.lpJobData = m_jobData.get();
    }
}

void CPrtMode::ExpandFlags() {
    for (int b = 0; b < 19; ++b) m_info.mw_type_flags[b] = (m_job.mw_type >> b) & 1u;
    for (int b = 0; b < 32; ++b) m_info.ex_option_flags[b] = (m_job.ex_option >> b) & 1u;
    for (int b = 0; b < 4; ++b) m_info.ex_option2_flags[b] = (m_job.ex_option2 >> b) & 1u;
    m_info.ex_option2_flag4 = (m_job.ex_option2 & kEx2Flag4) ? 1 : 0;
    m_info.top_margin_offset_on =
        (m_job.ex_option2 & kEx2TopMarginOffset) && !(m_job.ex_option2 & kEx2Flag4) ? 1 : 0;
    m_info.bin279_flag = m_job.bin_ID == 279 && !(m_job.ex_option & OVCG_EXO_OV) ? 1 : 0;
    m_info.color_mode_key = m_job.prt_format == 0 ? 0 : 1 + m_info.mw_type_flags[kMwBwModeValue];
    m_info.bin_id_key = m_job.bin_ID;
    // A vertical source resolution that is a multiple of 150 belongs to the
    // 600 class, any other to the 360 class.
    m_info.resolution_class = m_job.src_resolution.y % 150 == 0 ? 600 : 360;
}

void CPrtMode::CheckOptionCombinations() const {
    const uint32_t mw = m_job.mw_type;
    const uint32_t ex = m_job.ex_option;
    const bool refused =
        ((mw & (OVCG_MW_CLAT | OVCG_MW_CLFL)) && !(mw & OVCG_MW_CL)) ||
        ((mw & OVCG_MW_TNMXHPAT) && !(mw & OVCG_MW_TNMX)) ||
        ((ex & OVCG_EXO_DP) && (ex & OVCG_EXO_AD)) ||
        ((ex & (OVCG_EXO_DP | OVCG_EXO_AD)) && (ex & OVCG_EXO_FD)) ||
        ((ex & OVCG_EXO_FA) && (ex & OVCG_EXO_SI)) ||
        ((ex & OVCG_EXO_BL) && (ex & OVCG_EXO_BR)) ||
        !(ex & OVCG_EXO_DM);
    if (refused) ThrowMessage(kIllegalParameterException);
}

void CPrtMode::Require(uint16_t id) {
    if (!GetLinkResource(id)) ThrowMessage(kLoadResourceException);
}

void CPrtMode::Resolve() {
    Require(kRscGeneral);
    Require(kRscPaper);
    Require(MediaClassId());
    m_info.media_resolved = 1;
    m_info.mw_and_11001_zero = m_info.mw_type_flags[0] && m_info.key11001 == 0 ? 1 : 0;

    // Plane count: the model's when it gives one, else the format's. It
    // sizes per-plane tables of 16 entries.
    if (m_info.key11016 != kNotGiven && m_info.key11031 != -1) {
        if (m_info.key11031 < 1 || m_info.key11031 > kPrtInfoMaxPlanes)
            ThrowMessage(kIllegalParameterException);
        m_info.num_planes = m_info.key11031;
    } else {
        m_info.num_planes = GetNumPlane(m_job.prt_format);
    }
    if (m_info.num_planes == 0) ThrowMessage(kIllegalParameterException);

    Require(kRscCommands);

    const uint32_t flags = m_info.remote_flags3;
    if (flags & (kFlagRemote | kFlagSn04)) {
        Require(kRscRemote);
        if (m_info.media_paper_id[0] == -1 || m_info.media_paper_id[1] == -1)
            ThrowMessage(kLoadResourceException);
        if (flags & kFlagSn04) {
            if (m_info.sn04_kind == -1 || m_info.sn04_count == kNotGiven)
                ThrowMessage(kLoadResourceException);
            if (m_info.key20003 == -1) Require(kRscRemote3);
            Require(kRscRemote1);
            Require(kRscRemote2);
            Require(kRscSn04);
            if (flags & kFlagAdjustFeed)
                Require(kRscAdjustFeed);
            else if (flags & kFlagAdjustFeedEx)
                Require(kRscAdjustFeedEx);
        }
    } else if (flags & kFlagRemoteOnly) {
        Require(kRscRemote);
    }

    BorderStep();

    GetLinkResource(kRscSwitches);
    if (!GetLinkResource(kRscGenerator)) {
        m_info.key28500 = m_info.generator_selector = m_info.key28502 = 0xFFFF;
    }
    if (!GetLinkResource(kRscEncoder)) {
        m_info.encoder_selector = m_info.record_selector = 0xFFFF;
    }
    m_info.page_color_correction = m_info.page_halftone_type = m_info.image_type = 0xFFFF;

    DebugExport(kPrtInfoExportId, static_cast<int32_t>(kPrtInfoSize), &m_info);
}

void CPrtMode::BorderStep() {
    tagPRTINFOSTRUCT& r = m_info;
    const bool rollBefore = r.ex_option_flags[kExRollMedia] != 0;
    const bool noBorder2 = (m_job.ex_option2 & kEx2NoBorder) != 0;
    // The rule without the border control: a bordered page unless roll
    // media or the caller's second option word says otherwise.
    const uint32_t plainBorder = rollBefore ? 0 : (noBorder2 ? 0 : 1);

    if (!(r.remote_flags3 & kFlagBorder)) {
        r.top_margin_offset_on = 0;
        r.ex_option2_flag4 = 0;
        r.border_flag = plainBorder;
        r.page_gap = 0;
        return;
    }
    const bool d = r.top_margin_offset_on != 0;
    r.border_flag = (!(m_job.mw_type & OVCG_MW_TNMX) && !noBorder2 && !d) ? 1 : plainBorder;
    if (!d) {
        r.page_gap = 0;
        return;
    }
    r.page_length_extra = ScaleLength(r.top_margin_offset, m_job.src_resolution.y, 254);
    uint32_t& e0 = r.ex_option_flags[kExRollMedia];
    uint32_t& e11 = r.ex_option_flags[kExCutAfterJob];
    if (r.ex_option_flags[kExAutoCut]) {
        if (e0 && !e11) {
            e11 = 1;
            r.border_length_on = 1;
        }
        r.page_gap = 0;
    } else {
        e0 = 1;
        if (!e11) {
            e11 = 1;
            r.border_length_on = 1;
        }
    }
}

int CPrtMode::GetNumPlane(int format) {
    // Any other format has no planes, which refuses the job when the model
    // gives no count either. The access is checked as well: a slip in the
    // range test throws in every build instead of reading past the table.
    if (format < 0 || static_cast<size_t>(format) >= kPlanesByFormat.size()) return 0;
    return kPlanesByFormat.at(static_cast<size_t>(format));
}

uint16_t CPrtMode::MediaClassId() const {
    if (m_job.prt_format == 0) return kRscMediaMono;
    if (m_job.mw_type & OVCG_MW_TNMX) return kRscMediaTnmx;
    if (m_job.ex_option & OVCG_EXO_CB) return kRscMediaColourSetting;
    return kRscMediaColour;
}

// ---------------------------------------------------------------------------
// One step

int CPrtMode::GetLinkResource(uint16_t id) {
    CLRKeySet keys;
    if (!SetLRKeySetValue(&keys, id)) return 0;
    std::unique_ptr<RscLinkResult> result = m_links->GetRscLinkTable(id, &keys);
    if (!result) return 0;
    return SetRscValue(result.get(), id);
}

int CPrtMode::SetLRKeySetValue(CLRKeySet* keys, uint16_t id) const {
    if (!keys || !IsResolutionId(id)) return 0;
    using S = CLRKeySet;
    const tagPRTSTRUCT3_12& j = m_job;
    const uint32_t mw = j.mw_type, ex = j.ex_option, ex2 = j.ex_option2;
    const auto bit = [](uint32_t word, uint32_t b) -> uint32_t { return (word & b) ? 1 : 0; };
    keys->Init();

    keys->Set(S::kPrtFormat, static_cast<uint32_t>(j.prt_format));
    keys->Set(S::kMediaType, static_cast<uint32_t>(j.media_type));
    keys->Set(S::kPaperId, j.paper_ID > 9999 ? 256u : static_cast<uint32_t>(j.paper_ID));
    keys->Set(S::kSrcResX, static_cast<uint32_t>(j.src_resolution.x));
    keys->Set(S::kSrcResY, static_cast<uint32_t>(j.src_resolution.y));
    keys->Set(S::kPrtResX, static_cast<uint32_t>(j.prt_resolution.x));
    keys->Set(S::kPrtResY, static_cast<uint32_t>(j.prt_resolution.y));
    // The print mode's bin value is the job's bin.
    keys->Set(S::kBinId, static_cast<uint32_t>(m_info.bin_id_key));
    keys->Set(S::kBitPerColor, static_cast<uint32_t>(j.bit_p_color));
    keys->Set(S::kLutFormat, static_cast<uint32_t>(j.lut_format));
    keys->Set(S::kTrimLeftMargin, static_cast<uint32_t>(j.trim_left_margin));

    static constexpr struct {
        S::Slot slot;
        uint32_t mask;
    } kMwKeys[] = {
        {S::kMw01, 0x1}, {S::kMw02, 0x2}, {S::kMw04, 0x4}, {S::kMw08, 0x8}, {S::kMw100, 0x100},
        {S::kMw400, 0x400}, {S::kMw800, 0x800}, {S::kMw1000, 0x1000}, {S::kMw2000, 0x2000},
        {S::kMw4000, 0x4000},
    };
    for (const auto& k : kMwKeys) keys->Set(k.slot, bit(mw, k.mask));
    keys->Set(S::kEx1000000, bit(ex, OVCG_EXO_FA));
    keys->Set(S::kEx200000, bit(ex, OVCG_EXO_SI));
    keys->Set(S::kEx40000, bit(ex, OVCG_EXO_CB));
    keys->Set(S::kEx2_1, bit(ex2, 0x1));
    keys->Set(S::kEx2_2, bit(ex2, 0x2));
    keys->Set(S::kEx2_10, m_info.ex_option2_flag4);
    keys->Set(S::kAlwaysOne, 1);
    keys->Set(S::kTrimOrForce, (ex & (OVCG_EXO_TB | OVCG_EXO_T4)) ? 1 : 0);
    keys->Set(S::kUserSettingKind, !(ex & OVCG_EXO_OV) ? 0 : (ex & OVCG_EXO_T4) ? 2 : 1);
    keys->Set(S::kDuplexKind, (ex & OVCG_EXO_DP) ? 1 : (ex & OVCG_EXO_AD) ? 2 : (ex & OVCG_EXO_FD) ? 3 : 0);

    int32_t cut = 0;
    keys->Set(S::kCutAdjustment, m_media.Get_cutting_adjustment(&cut) ? static_cast<uint32_t>(cut) : 0xFFFFu);
    uint16_t v16 = 0;
    m_media.Get_platen_gap_mode(&v16);
    keys->Set(S::kPlatenGap, v16);
    m_media.Get_feed_roller_type(&v16);
    keys->Set(S::kFeedRoller, v16);
    m_media.Get_page_margin(&v16);
    keys->Set(S::kPageMargin, v16);

    if (const tagJOBDATA_6* d = m_job.lpJobData;
        d && d->lpInkSetData && d->NumInkSetData >= 1 && d->NumInkSetData <= 7) {
        for (uint32_t i = 0; i < d->NumInkSetData; ++i)
            keys->Set(static_cast<S::Slot>(S::kInkSet0 + static_cast<int>(i)), d->lpInkSetData[i]);
    }

    keys->Set(S::kMediaClass, MediaClassId());
    for (int s = S::kKey10000; s <= S::kKey2001; ++s)
        keys->Set(static_cast<S::Slot>(s), m_resolved.Get(static_cast<S::Slot>(s)));
    keys->Set(S::kPage, static_cast<uint32_t>(m_page));
    return 1;
}

void CPrtMode::Remember(uint16_t key, uint16_t value) {
    const CLRKeySet::Slot s = CLRKeySet::SlotOf(key);
    if (value != kNotGiven && s >= CLRKeySet::kKey10000 && s <= CLRKeySet::kKey2001) m_resolved.Set(s, value);
}

int CPrtMode::SetRscValue(const RscLinkResult* result, uint16_t id) {
    if (!result) return 0;
    const RscLinkResult& r = *result;
    switch (id) {
        case kRscGeneral:
            return SetGeneral(r);
        case kRscPaper:
            return SetPaper(r);
        case kRscMediaColour:
        case kRscMediaMono:
        case kRscMediaTnmx:
        case kRscMediaColourSetting:
            return SetMediaClass(r);
        case kRscCommands:
            return SetCommands(r);
        case kRscRemote:
        case kRscRemote1:
        case kRscRemote2:
        case kRscRemote3:
            return SetRemote(r, id);
        case kRscSn04:
            if (!(m_info.remote_flags3 & kFlagSn04)) return 1;
            return SetSN04RscParam(result, m_info.sn04_data, -1);
        case kRscAdjustFeed:
            // Field by field: the record's padding stays 0 for the export.
            m_info.adjust_feed.a = Low8(r.GetKeyedValue(24000));
            m_info.adjust_feed.b = r.GetKeyedValue(24001);
            m_info.adjust_feed.c = r.GetKeyedValue(24002);
            m_info.adjust_feed.d = Low8(r.GetKeyedValue(24003));
            return 1;
        case kRscAdjustFeedEx:
            m_info.adjust_feed_ex.a = Low8(r.GetKeyedValue(24100));
            m_info.adjust_feed_ex.b = Low8(r.GetKeyedValue(24101));
            m_info.adjust_feed_ex.c = r.GetKeyedValue(24102);
            m_info.adjust_feed_ex.d = r.GetKeyedValue(24103);
            m_info.adjust_feed_ex.e = Low8(r.GetKeyedValue(24104));
            m_info.adjust_feed_ex.f = Low8(r.GetKeyedValue(24105));
            return 1;
        case kRscSwitches:
            SetSwitches(r);
            return 1;
        case kRscGenerator:
            m_info.key28500 = r.GetKeyedValue(28500);
            m_info.generator_selector = r.GetKeyedValue(28501);
            m_info.key28502 = r.GetKeyedValue(28502);
            return 1;
        case kRscEncoder:
            m_info.encoder_selector = r.GetKeyedValue(29000);
            m_info.record_selector = r.GetKeyedValue(29001);
            return 1;
        case kRscPage:
            m_info.page_color_correction = r.GetKeyedValue(30000);
            m_info.page_halftone_type = r.GetKeyedValue(30001);
            m_info.image_type = r.GetKeyedValue(30002);
            return 1;
        case kRscDuty: {
            int16_t duties[4];
            for (int i = 0; i < 4; ++i) duties[i] = static_cast<int16_t>(r.GetKeyedValue(static_cast<uint16_t>(31000 + i)));
            m_media.Set_duty_default_multi(duties, 4);
            return 1;
        }
        default:
            return 0;
    }
}

int CPrtMode::SetGeneral(const RscLinkResult& r) {
    const uint16_t k10100 = r.GetKeyedValue(10100);
    m_info.key10100 = Sext(k10100);
    m_info.top_margin_adjust = Sext(r.GetKeyedValue(10101));
    m_info.key10102 = Sext(r.GetKeyedValue(10102));
    m_info.key10103_on = r.GetKeyedValue(10103) == 1 ? 1 : 0;
    m_info.user_setting0_off = r.GetKeyedValue(10104) == 1 ? 1 : 0;
    for (uint16_t k : {10100, 10101, 10102}) Remember(k, r.GetKeyedValue(k));
    return k10100 != kNotGiven ? 1 : 0;
}

int CPrtMode::SetPaper(const RscLinkResult& r) {
    const uint16_t k10000 = r.GetKeyedValue(10000);
    m_info.key10000 = Sext(k10000);
    m_info.key10001 = Sext(r.GetKeyedValue(10001));
    if (k10000 == kNotGiven) return 0;
    m_info.media_paper_id[0] = Sext(r.GetKeyedValue(10002));
    m_info.paper_thickness_default = r.GetKeyedValue(10003);
    m_info.paper_thickness_high = r.GetKeyedValue(10006);
    m_info.key10004 = r.GetKeyedValue(10004);
    m_info.ink_id = r.GetKeyedValue(12102);
    m_info.key10005_on = r.GetKeyedValue(10005) == 1 ? 1 : 0;
    for (uint16_t k : {10000, 10002, 12102}) Remember(k, r.GetKeyedValue(k));
    return 1;
}

int CPrtMode::SetMediaClass(const RscLinkResult& r) {
    tagPRTINFOSTRUCT& m = m_info;
    const auto k = [&](uint16_t key) { return r.GetKeyedValue(key); };
    m.dot_size = k(11000);
    m.key11001 = k(11001);
    m.remote_flags = Combine16(k(11002), k(11003));
    m.remote_flags2 = Combine16(k(11004), k(11005));
    // Each key is a signed 16-bit value; the word wraps in 32 bits.
    m.remote_flags3 = static_cast<uint32_t>(Sext(k(11006))) * 0x1000000u +
                      static_cast<uint32_t>(Sext(k(11007))) * 0x10000u +
                      static_cast<uint32_t>(Sext(k(11008))) * 0x100u + static_cast<uint32_t>(Sext(k(11009)));
    m.key11010 = k(11010);
    m.key11011 = k(11011);
    if (m.key11001 == kNotGiven || m.remote_flags == kNotGiven) return 0;
    m.key11012 = k(11012);
    m.key11013 = k(11013);
    m.key11014 = static_cast<int16_t>(k(11014));
    m.key11015 = k(11015);
    m.key11016 = k(11016);
    const int16_t mono = static_cast<int16_t>(k(11017));
    if (mono >= 0)
        m.mono_mode = mono;
    else if (k(11005) & 1)
        m.mono_mode = 1;
    else if (!(m.remote_flags3 & kFlagMonoMask))
        m.mono_mode = -1;
    else
        m.mono_mode = m_job.prt_format != 0 ? 2 : 1;
    m.key11018_on = k(11018) == 1 ? 1 : 0;
    m.key11019 = k(11019);
    m.key11020 = k(11020);
    m.key11021 = k(11021);
    m.double_hres = k(11022) == 1 ? 1 : 0;
    m.hres_multiplier = static_cast<int16_t>(k(11026));
    if (m.double_hres && m.hres_multiplier > 1) return 0;
    if (k(11023) < kNotGiven) m_media.Set_duty_default(static_cast<int16_t>(k(11023)));
    if (k(11024) < kNotGiven) m_media.Set_feed_offset_adjustment(static_cast<int8_t>(Low8(k(11024))));
    m.head_id_bytes[0] = k(11025);
    m.head_id_bytes[1] = k(11035);
    m.head_id_bytes[2] = k(11036);
    m.head_id_bytes[3] = k(11037);
    m.page_mw_mode = k(11027);
    m.microweave = k(11028);
    m.key11029 = static_cast<int16_t>(k(11029));
    m.key11030 = static_cast<int16_t>(k(11030));
    m.key11031 = static_cast<int16_t>(k(11031));
    m.key11032 = k(11032);
    m.halftone_type_override = static_cast<int16_t>(k(11033));
    m.color_correction_override = static_cast<int16_t>(k(11034));
    m.key11038 = Sext(k(11038));
    for (uint16_t key : {11000, 11018, 11019, 11020, 11021, 11025, 11035, 11036, 11037}) Remember(key, k(key));
    return 1;
}

int CPrtMode::SetCommands(const RscLinkResult& r) {
    m_info.key12000 = r.GetKeyedValue(12000);
    m_info.key12001 = r.GetKeyedValue(12001);
    m_info.key12002_3 = Combine16(r.GetKeyedValue(12002), r.GetKeyedValue(12003));
    if (m_info.key12000 == kNotGiven || m_info.key12001 == kNotGiven || m_info.key12002_3 == kNotGiven) return 0;
    return SetCommandList(r);
}

int CPrtMode::SetCommandList(const RscLinkResult& r) {
    tagPRTINFOSTRUCT& m = m_info;
    const int n = r.Count();
    const bool f16 = m.ex_option_flags[kExForceMode2] != 0;
    const bool f10 = m.ex_option_flags[kExTrimBanner] != 0;
    const int32_t c = m.resolution_class;
    const auto scaled = [&](uint16_t v, bool on, int32_t res) {
        return on && Sext(v) >= 0 ? ScaleLength(Sext(v), res, c) : 0;
    };
    // The value of the pair after i when its type is `type`.
    const auto follower = [&](int i, uint16_t type, uint16_t* v) {
        if (i + 1 >= n || r.GetIndexedType(i + 1) != type) return false;
        *v = r.GetIndexedValue(i + 1);
        return true;
    };

    for (int i = 0; i < n; ++i) {
        const uint16_t t = r.GetIndexedType(i);
        const uint16_t v = r.GetIndexedValue(i);
        uint16_t second = 0;
        switch (t) {
            case 12101: m.head_feed_lines = Sext(v); break;
            case 12103: m.key12103 = Sext(v); break;
            case 12245: m.key12245 = v; break;
            case 12246: m.user_media_number_type = v; break;
            case 12600: m.sn04_kind = Sext(v); break;
            case 12601:
                // The payload (and its checksum) must fit the 100-byte block.
                if (v < 2 || v > kSn04DataSize) return 0;
                m.sn04_count = v;
                break;
            case 12850: m.dot_count_scale = static_cast<int16_t>(v); break;
            case 12102:
                if (Sext(v) < 0) return 0;
                m.ink_id = v;
                Remember(12102, v);
                break;
            case 12004: m.length_12004 = scaled(v, f16, m_job.src_resolution.y); break;
            case 12005: m.length_12005 = scaled(v, f16, m_job.src_resolution.y); break;
            case 12006: m.length_12006 = scaled(v, f16 || f10, m_job.src_resolution.x); break;
            case 12007: m.length_12007 = scaled(v, f16 || f10, m_job.src_resolution.x); break;
            case 12100: m.length_12100 = scaled(v, f16, m_job.prt_resolution.y); break;
            case 12602:
                m.key12602 = (m_job.ex_option & OVCG_EXO_SI) ? 0 : (m_job.ex_option & OVCG_EXO_FA) ? 1 : Sext(v);
                break;
            case 12210:
                if (!follower(i, 12211, &second)) return 0;
                m.trim_banner_value = static_cast<uint32_t>(Sext(v)) * 256u + static_cast<uint32_t>(Sext(second));
                ++i;
                break;
            case 12240:
                if (!follower(i, 12241, &second)) return 0;
                m.paper_path = v;
                m.paper_path_value = second;
                ++i;
                break;
            case 12200:
                if (!follower(i, 12201, &second) || !AddEntry(m.dry_time_table, v, second)) return 0;
                ++i;
                break;
            case 12250:
                if (!follower(i, 12251, &second) || !AddEntry(m.user_setting_table, v, second)) return 0;
                ++i;
                break;
            case 12500:
                if (!follower(i, 12501, &second) || !AddEntry(m.sn_table, v, second)) return 0;
                ++i;
                break;
            case 12300: case 12301: case 12302: case 12303: case 12304: {
                static constexpr uint16_t kCodes[] = {0, 1, 2, 0x80, 0x81};
                if (!AddEntry(m.sn_table, kCodes[t - 12300], v)) return 0;
                break;
            }
            case 12220: {
                const int count = Sext(v);
                if (count > n - 1 - i) return 0;
                m.custom_mode_count = count;
                for (int c2 = 0; c2 < count; ++c2) {
                    ++i;
                    const uint16_t tt = r.GetIndexedType(i);
                    if (tt >= 12221 && tt <= 12228) m.custom_mode_data[tt - 12221] = Low8(r.GetIndexedValue(i));
                }
                break;
            }
            case 12800: {
                const int count = Sext(v);
                // Readers walk plane_sml_index for plane_count entries.
                if (count < 0 || count > kPrtInfoMaxPlanes || count > n - 1 - i) return 0;
                m.plane_count = count;
                for (int c2 = 0; c2 < count; ++c2) {
                    ++i;
                    const uint16_t tt = r.GetIndexedType(i);
                    if (tt >= 12801 && tt <= 12816) m.plane_sml_index[tt - 12801] = Low8(r.GetIndexedValue(i));
                }
                break;
            }
            case 12901: {
                const int planes = m.key11031;
                if (planes <= 0) break;
                if (planes > kPrtInfoMaxPlanes) return 0;
                const int values = 3 * planes;  // this pair's value and 3 x planes - 1 more
                if (values - 1 > n - 1 - i) return 0;
                for (int e = 0; e < values; ++e) m.ink_weights[e / 3][e % 3] = Sext(r.GetIndexedValue(i + e));
                i += values - 1;
                break;
            }
            default:
                if (t >= 12700 && t <= 12708) m.data_proc_setting[t - 12700] = Low8(v);
                else if (t == 13000) {
                    if (m.top_margin_offset_on) {
                        m.top_margin_offset = Sext(v);
                        if (v == 0) m.top_margin_offset_on = 0;
                    } else {
                        m.top_margin_offset = 0;
                    }
                } else if (t == 13002) {
                    m.page_gap = ScaleLength(Sext(v), m_job.src_resolution.y, 254);
                }
                break;
        }
    }
    return 1;
}

int CPrtMode::SetRemote(const RscLinkResult& r, uint16_t id) {
    switch (id) {
        case kRscRemote: {
            const uint16_t k20000 = r.GetKeyedValue(20000);
            m_info.media_paper_id[1] = Sext(k20000);
            m_info.key20003 = Sext(r.GetKeyedValue(20003));
            Remember(20000, k20000);
            Remember(20003, r.GetKeyedValue(20003));
            return (m_info.remote_flags3 & (kFlagRemote | kFlagSn04 | kFlagRemoteOnly)) && k20000 == kNotGiven ? 0 : 1;
        }
        case kRscRemote1:
        case kRscRemote2:
        case kRscRemote3: {
            const uint16_t key = id == kRscRemote1 ? 20001 : id == kRscRemote2 ? 20002 : 20003;
            const uint16_t v = r.GetKeyedValue(key);
            int32_t& field = id == kRscRemote1 ? m_info.key20001 : id == kRscRemote2 ? m_info.key20002 : m_info.key20003;
            field = Sext(v);
            Remember(key, v);
            return v != kNotGiven ? 1 : 0;
        }
        default:
            return 0;
    }
}

void CPrtMode::SetSwitches(const RscLinkResult& r) {
    tagPRTINFOSTRUCT& m = m_info;
    const auto k = [&](int key) { return r.GetKeyedValue(static_cast<uint16_t>(key)); };
    m.paper_thickness_mode = k(28000);
    for (int i = 0; i < 14; ++i) m.jx_items[i] = k(28001 + i);
    for (int i = 0; i < 9; ++i) m.sn_modes[i] = k(28015 + i);
    m.sn06_mode = k(28024);
    m.sn07_mode = k(28025);
    m.sn09_mode = k(28026);
    for (int i = 0; i < 4; ++i) m.dry_time_modes[i] = k(28027 + i);
    m.duplex_mode = k(28031);
    m.user_media_number_on = k(28032);
    m.media_paper_id_on = k(28033);
    m.paper_dimension_mode = k(28034);
    m.paper_dimension_at_end = k(28035);
    m.page_length_on = k(28036);
    m.page_length_reset = k(28037);
}

int CPrtMode::SetSN04RscParam(const RscLinkResult* result, uint8_t* block, int base) {
    if (!result || !block) return 0;
    return WriteSn04Block(*result, block, base, m_info.sn04_count) ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Per page

void CPrtMode::RefreshInitPage(int page) {
    m_page = page;
    if (!GetLinkResource(kRscPage)) {
        m_info.page_color_correction = m_info.page_halftone_type = m_info.image_type = 0xFFFF;
    }
    if (!GetLinkResource(kRscDuty)) m_media.Set_duty_default(kDutyFull);
}

}  // namespace ovcg
