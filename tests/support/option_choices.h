// The choices the front end lists for an option, by name, in its order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ovcg/ovcg.h"

namespace ovcg_test {

// Empty when the option is unknown.
inline std::vector<std::string> option_choices(const char* option) {
    uint32_t n = 0;
    if (ovcgGetChoiceList(option, &n, nullptr) != OVCG_OK) return {};
    std::vector<const char*> names(n);
    if (ovcgGetChoiceList(option, &n, names.data()) != OVCG_OK) return {};
    return std::vector<std::string>(names.begin(), names.begin() + n);
}

}  // namespace ovcg_test
