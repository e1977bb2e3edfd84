#include "support/res_writer.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace ovcg_test {

namespace {

// A string name in a resource header: UTF-16 characters and a terminator.
void put_name(Bytes& b, const char* s) {
    for (; *s; ++s) put16(b, uint8_t(*s));
    put16(b, 0);
}

}  // namespace

Bytes res_record_bytes(const ResRecord& r) {
    Bytes head;
    put32(head, 0);  // DataSize, patched below
    put32(head, 0);  // HeaderSize, patched below
    if (r.numeric_type) {
        put16(head, 0xFFFF);
        put16(head, r.type);
    } else {
        put_name(head, "TYPE");
    }
    if (r.numeric_id) {
        put16(head, 0xFFFF);
        put16(head, r.id);
    } else {
        put_name(head, "NAME");
    }
    while (head.size() % 4) head.push_back(0);
    put32(head, 0);  // DataVersion
    put16(head, 0x30);  // MemoryFlags
    put16(head, 0x0409);  // LanguageId
    put32(head, 0);  // Version
    put32(head, 0);  // Characteristics
    const uint32_t real_header = uint32_t(head.size());
    const uint32_t data_size = r.data_size < 0 ? uint32_t(r.data.size()) : uint32_t(r.data_size);
    const uint32_t header_size = r.header_size < 0 ? real_header : uint32_t(r.header_size);
    for (int i = 0; i < 4; ++i) head[i] = uint8_t(data_size >> (8 * i));
    for (int i = 0; i < 4; ++i) head[4 + i] = uint8_t(header_size >> (8 * i));
    Bytes out = head;
    out.insert(out.end(), r.data.begin(), r.data.end());
    if (r.pad) {
        while ((out.size()) % 4) out.push_back(0);
    }
    return out;
}

ResWriter& ResWriter::add(uint16_t type, uint16_t id, Bytes data) {
    ResRecord r;
    r.type = type;
    r.id = id;
    r.data = std::move(data);
    records_.push_back(std::move(r));
    return *this;
}

ResWriter& ResWriter::add(ResRecord record) {
    records_.push_back(std::move(record));
    return *this;
}

bool ResWriter::replace(uint16_t type, uint16_t id, Bytes data) {
    for (auto& r : records_) {
        if (r.type == type && r.id == id && r.numeric_type && r.numeric_id) {
            r.data = std::move(data);
            return true;
        }
    }
    return false;
}

void ResWriter::remove(uint16_t type, uint16_t id) {
    std::erase_if(records_, [&](const ResRecord& r) { return r.type == type && r.id == id; });
}

const Bytes* ResWriter::find(uint16_t type, uint16_t id) const {
    for (const auto& r : records_) {
        if (r.type == type && r.id == id && r.numeric_type && r.numeric_id) return &r.data;
    }
    return nullptr;
}

Bytes ResWriter::bytes() const {
    // The leading empty entry every .RES file starts with.
    ResRecord empty;
    empty.type = 0;
    empty.id = 0;
    Bytes out = res_record_bytes(empty);
    out[8] = 0xFF; out[9] = 0xFF; out[10] = 0; out[11] = 0;
    for (const auto& r : records_) {
        Bytes b = res_record_bytes(r);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

bool write_bytes(const std::string& path, const Bytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fclose(f) == 0) && ok;
    return ok;
}

bool ResWriter::write_file(const std::string& path) const { return write_bytes(path, bytes()); }

TempFile::TempFile(const std::string& stem) {
    static std::atomic<unsigned> counter{0};
    path_ = (std::filesystem::temp_directory_path() /
             (stem + "_" + std::to_string(::getpid()) + "_" + std::to_string(counter++)))
                .string();
}

TempFile::~TempFile() {
    std::error_code ec;
    std::filesystem::remove(path_, ec);
}

}  // namespace ovcg_test
