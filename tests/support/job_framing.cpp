#include "support/job_framing.h"

#include <string>

namespace ovcg_test {

std::vector<uint8_t> expected_job_start(uint32_t id) {
    std::vector<uint8_t> v = {0x00, 0x00, 0x00, 0x1B, 0x01};
    for (char ch : std::string("@KRQ 1284.4\n@KRQ     \n")) v.push_back(static_cast<uint8_t>(ch));
    for (int i = 0; i < 2; ++i) v.insert(v.end(), {0x1B, 0x40});
    v.insert(v.end(), {0x1B, 0x28, 0x52, 0x08, 0x00, 0x00, 'R', 'E', 'M', 'O', 'T', 'E', '1'});
    v.insert(v.end(), {'J', 'X', 0x39, 0x00, 0x00, 0x00, 0x01, 0x01, 0x01});
    v.insert(v.end(), {0x08, 0x04, 'T', 'R', 'A', 'Q'});
    v.insert(v.end(), {0x20, 0x0B, 0x01, uint8_t(id), uint8_t(id >> 8), uint8_t(id >> 16),
                       uint8_t(id >> 24), 0, 0, 0, 0, 0, 0});
    v.insert(v.end(), {0x0C, 0x05, 0, 0, 0, 0, 0});
    v.insert(v.end(), {0x0D, 0x05, 0, 0, 0, 0, 0});
    v.insert(v.end(), {0x18, 0x0A});
    for (char ch : std::string("TRAQdriver")) v.push_back(static_cast<uint8_t>(ch));
    v.insert(v.end(), {0x17, 0x05, 'L', 'i', 'n', 'u', 'x'});
    v.insert(v.end(), {0x1B, 0x00, 0x00, 0x00});
    for (int i = 0; i < 2; ++i) {
        v.insert(v.end(), {0x1B, 0x28, 0x64, 0xFF, 0x7F});
        v.insert(v.end(), 32767, 0x00);
    }
    return v;
}

std::vector<uint8_t> expected_job_end() {
    return {0x1B, 0x40, 0x1B, 0x28, 0x52, 0x08, 0x00, 0x00, 'R', 'E', 'M', 'O', 'T', 'E', '1',
            'L',  'D',  0x00, 0x00, 'J',  'X',  0x05, 0x00, 0x00, 0x00, 0x01, 0x01, 0x02,
            0x1B, 0x00, 0x00, 0x00};
}

}  // namespace ovcg_test
