// Writer of .RES resource containers for tests and the synthetic model.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ovcg_test {

using Bytes = std::vector<uint8_t>;

// Little-endian appends, for the writers of resources and records.
inline void put16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void put32(Bytes& b, uint32_t v) {
    put16(b, uint16_t(v));
    put16(b, uint16_t(v >> 16));
}

// One record as it stands in the file. The defaults make a well-formed
// numeric-type, numeric-identifier record; tests change fields to break it.
struct ResRecord {
    uint16_t type = 0;
    uint16_t id = 0;
    Bytes data;
    // Overrides for hostile files.
    bool numeric_type = true;  // false: a string-named type (marker 0 + name text)
    bool numeric_id = true;    // false: a string-named identifier
    int64_t data_size = -1;    // DataSize written in the header; -1: data.size()
    int64_t header_size = -1;  // HeaderSize written in the header; -1: the real header size
    bool pad = true;           // pad HeaderSize + DataSize to a multiple of 4
};

class ResWriter {
public:
    ResWriter& add(uint16_t type, uint16_t id, Bytes data);
    ResWriter& add(ResRecord record);
    // Replaces the data of the first record with this type and identifier.
    bool replace(uint16_t type, uint16_t id, Bytes data);
    // Removes every record with this type and identifier.
    void remove(uint16_t type, uint16_t id);
    const Bytes* find(uint16_t type, uint16_t id) const;
    const std::vector<ResRecord>& records() const { return records_; }

    // The whole file: the 32-byte leading empty entry, then the records.
    Bytes bytes() const;
    bool write_file(const std::string& path) const;

private:
    std::vector<ResRecord> records_;
};

// One record's bytes (header, data, padding), as ResWriter lays it out.
Bytes res_record_bytes(const ResRecord& record);

// Writes bytes to a file; true on success.
bool write_bytes(const std::string& path, const Bytes& bytes);

// A file path under the system temporary directory, unique per call and
// process, removed when the object goes.
class TempFile {
public:
    explicit TempFile(const std::string& stem = "ovcg");
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace ovcg_test
