// Writers of the print-mode link tables (type 3000): chain entries, leaf
// tables, multi-key tables, and the model's whole set of them.
#pragma once

#include "support/model.h"
#include "support/res_writer.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace ovcg_test {

// A key value that matches anything in a multi-key row, and the value that
// means "not given" (also the end of a chain).
inline constexpr uint16_t kLinkAny = 0xFFFF;
inline constexpr uint16_t kLinkEnd = 0xFFFF;

// 16-bit little-endian words.
Bytes link_words(const std::vector<uint16_t>& words);

// One chain entry: type (0: value names a multi-key table), value, next.
Bytes link_chain_entry(uint16_t type, uint16_t value, uint16_t next);

struct LeafAxis {
    uint16_t key_id;
    std::vector<uint16_t> keys;
};
// A leaf table: default, axis count, the axes, then the values (axis 0
// varying fastest).
Bytes link_leaf(uint16_t def, const std::vector<LeafAxis>& axes, const std::vector<uint16_t>& values);

// A multi-key table: two unread words, rows, key count, value count, key
// ids, value types, then the rows (keys then values).
Bytes link_multikey(const std::vector<uint16_t>& key_ids, const std::vector<uint16_t>& types,
                    const std::vector<std::vector<uint16_t>>& rows);

// Writes link tables into a container, giving the tables that chains and
// values link to identifiers of their own (counting up from first_id, which
// must lie in the link range 20001..65534).
class LinkTableWriter {
public:
    struct Entry {
        uint16_t type;   // 0: value is a multi-key table's identifier
        uint16_t value;
    };

    explicit LinkTableWriter(ResWriter& w, uint16_t first_id = 40000) : w_(w), next_(first_id) {}

    // A chain from `id`; the entries after the first get fresh identifiers.
    void chain(uint16_t id, const std::vector<Entry>& entries);
    uint16_t leaf(uint16_t def, const std::vector<LeafAxis>& axes, const std::vector<uint16_t>& values);
    uint16_t multikey(const std::vector<uint16_t>& key_ids, const std::vector<uint16_t>& types,
                      const std::vector<std::vector<uint16_t>>& rows);
    uint16_t fresh_id() { return next_++; }

private:
    ResWriter& w_;
    uint16_t next_;
};

// What the model's tables give a media (a media the model does not list
// takes the fallback row: the older remote set, no flag bits).
struct ModelMediaModes {
    bool newer_set;            // remote-mode command set (remote_flags bit 15)
    uint32_t flag_word;        // keys 11006..11009
    uint16_t calibration_id;   // key 10000
    uint16_t paper_id;         // key 10002
    uint16_t remote_paper_id;  // key 20000
    uint16_t key20003;         // 0xFFFF: not given by 25000 (25060 gives it)
    uint16_t thickness;        // key 10003
    int8_t feed_adjustment;    // key 11024
    uint16_t halftone_type;    // key 11033 (0xFFFF: not given)
};
ModelMediaModes model_media_modes(const ModelDescription& model, uint16_t media);

// What the model's level-3 tables give a media: the generator (keys 28501;
// kLinkAny: the first level-3 generator, 1 its variant), the encoder (29000:
// 0 JPEG with identification data, 1 RHV2, 2 JPEG) and the record version
// selector (29001: 0 and 1 version 1, 2 version 2).
struct ModelLevel3Modes {
    uint16_t generator;
    uint16_t encoder;
    uint16_t records;
};
ModelLevel3Modes model_level3_modes(uint16_t media);

// Values of the model's other tables, for tests.
inline constexpr uint16_t kModelRemote1 = 0x51;   // key 20001
inline constexpr uint16_t kModelRemote2 = 0x52;   // key 20002
inline constexpr uint16_t kModelRemote3 = 0x53;   // key 20003 from 25060
inline constexpr uint16_t kModelSn04Kind = 4;
inline constexpr uint16_t kModelSnCut = 0x84;     // the SN table's cut entry (value 0 in the table)
inline constexpr uint16_t kModelHeadId0 = 0x31;   // key 11025
// The SN 04H pairs of resource 26000, in list order.
std::vector<std::pair<uint16_t, uint16_t>> model_sn04_pairs(const ModelDescription& model);
// Plane count the model's tables give a printer format (0: none).
int model_planes(const ModelDescription& model, int32_t prt_format);

// Every link table of the model.
void add_model_links(ResWriter& w, const ModelDescription& model);

}  // namespace ovcg_test
