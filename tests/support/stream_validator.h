// Structural check of a printer job stream, for tests.
//
// ValidateStream walks a plain printer byte stream command by command and
// refuses anything malformed or truncated:
//   - single control bytes (NUL, LF, FF, CR, DC1) and job-language text lines
//     ("@..." up to LF);
//   - short escape commands with their fixed parameter bytes, long escape
//     commands (ESC ( letter, u16 count, parameters) with the counts each
//     letter allows, and the raster commands (ESC i, ESC .) with their data,
//     run-length coded data decoded to the size the header announces;
//   - remote mode from ESC ( R ... "REMOTE1" to 1B 00 00 00: commands of two
//     upper-case letters with a u16 count, the counts of the fixed commands
//     checked, and the item list of JX checked to tile its data exactly;
//   - level-3 records (ESC m/p/o/d, u16 big-endian length, four-letter name),
//     with the data that follow slut and dsnd;
//   - page-language commands (GS, binary "N[;params] name{E" with N bytes
//     behind it, or text "params name" with a final E, O or I).
// ValidateSpool first takes a header-mode spooler stream apart, validates
// the data, and checks that every escape marker falls between two commands
// and that the markers pair up (odd code opens, code + 1 closes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/spool_deframer.h"

namespace ovcg_test {

enum class StreamItemKind {
    kControl,       // one control byte: "NUL", "LF", "FF", "CR", "DC1"
    kTextLine,      // job-language line "@...\n"
    kEscape,        // short escape: "ESC @", "ESC U", ...
    kLongEscape,    // "ESC ( U", ...
    kRaster,        // "ESC i" or "ESC ." with its data
    kRemoteEnter,   // "REMOTE1"
    kRemoteCommand, // "JX", "SN", "EX 05", ...
    kRemoteExit,    // "REMOTE EXIT"
    kModeSwitch,    // "P3", "PAGE"
    kLevel3Record,  // "qlty", "dsnd", ...
    kPageLanguage,  // "GS mw", ...
};

struct StreamItem {
    StreamItemKind kind;
    size_t offset = 0;  // first byte in the stream
    size_t length = 0;  // bytes, data that belong to the command included
    std::string name;
};

struct StreamCheck {
    bool ok = false;
    std::string error;       // why the stream was refused, with the offset
    size_t error_offset = 0;
    std::vector<StreamItem> items;

    // Names of the items of one kind, in stream order.
    std::vector<std::string> names(StreamItemKind kind) const;
    // Number of items with this name.
    size_t count(const std::string& name) const;
};

StreamCheck ValidateStream(const uint8_t* data, size_t size);
inline StreamCheck ValidateStream(const std::vector<uint8_t>& data) {
    return ValidateStream(data.data(), data.size());
}

struct SpoolCheck {
    bool ok = false;
    std::string error;
    DeframedSpool spool;  // data, chunks and escape markers
    StreamCheck stream;   // the check of spool.data

    // The data bytes of the n-th section opened by `code` (up to its closing
    // marker); empty when there is no such section.
    std::vector<uint8_t> section(uint16_t code, size_t n = 0) const;
    // The escape codes in order.
    std::vector<uint16_t> codes() const;
};

// A header-mode spooler stream. With `paired` false, markers need not pair.
SpoolCheck ValidateSpool(const uint8_t* stream, size_t size, bool paired = true);
inline SpoolCheck ValidateSpool(const std::vector<uint8_t>& stream, bool paired = true) {
    return ValidateSpool(stream.data(), stream.size(), paired);
}

// Byte lists of the stream tests: hexadecimal pairs separated by blanks, with
// 'text' in single quotes standing for its ASCII bytes. Throws
// std::invalid_argument on a malformed list.
std::vector<uint8_t> bytes_of(const std::string& recipe);
// Bytes as "1B 40 ..." (upper-case pairs, one blank between).
std::string hex_of(const uint8_t* p, size_t n);
inline std::string hex_of(const std::vector<uint8_t>& v) { return hex_of(v.data(), v.size()); }

}  // namespace ovcg_test
