// Byte lists for the command tests: hexadecimal pairs separated by blanks,
// with 'text' in single quotes standing for its ASCII bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace ovcg::test {

inline std::vector<uint8_t> bytes_of(const std::string& spec) {
    std::vector<uint8_t> out;
    size_t i = 0;
    while (i < spec.size()) {
        char ch = spec[i];
        if (ch == ' ') {
            ++i;
        } else if (ch == '\'') {
            size_t end = spec.find('\'', i + 1);
            if (end == std::string::npos) throw std::invalid_argument("unterminated text: " + spec);
            out.insert(out.end(), spec.begin() + static_cast<long>(i) + 1, spec.begin() + static_cast<long>(end));
            i = end + 1;
        } else {
            if (i + 1 >= spec.size()) throw std::invalid_argument("odd hex: " + spec);
            out.push_back(static_cast<uint8_t>(std::stoul(spec.substr(i, 2), nullptr, 16)));
            i += 2;
        }
    }
    return out;
}

inline std::string hex_of(const uint8_t* p, size_t n) {
    std::string s;
    char buf[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", p[i]);
        s += buf;
    }
    return s;
}
inline std::string hex_of(const std::vector<uint8_t>& v) { return hex_of(v.data(), v.size()); }

}  // namespace ovcg::test
