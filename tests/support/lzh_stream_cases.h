// One table of hand-built code streams for the packed resources of both
// engines: the shared unpacker runs it directly (tests/common), and each
// engine runs it through its own envelope and maps the outcome to its codes
// (tests/hxr/control, tests/headcontrol).
//
// Every stream is written bit by bit. Up to the first rebuild all 392
// frequencies are equal, so the code is fixed: symbols 0-119 take the 8-bit
// codes 0-119 and symbols 120-391 the 9-bit codes 240-511. The two traced
// streams go past the first rebuild with codes worked out by hand (the
// profiles in lzh_traced_profiles()).
#pragma once

#include "common/lzh_unpack.h"
#include "support/lz_pack.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace ovcg_test {

struct LzhBits : MsbBitWriter {
    // A symbol in the starting code.
    void sym(int s) {
        if (s < 120) put(static_cast<uint32_t>(s), 8);
        else put(static_cast<uint32_t>(240 + (s - 120)), 9);
    }
    void match(int dist_class, int len_class) { sym(257 + dist_class * 9 + len_class); }
    // The three bytes the head-control engine's resources begin with.
    void signature() {
        for (int s : {0xAB, 0xB0, 0xA0}) sym(s);
    }
};

struct LzhStreamCase {
    std::string name;
    Bytes stream;
    uint32_t count;     // bytes the stream must produce
    uint32_t capacity;  // bytes the output holds
    ovcg::lzh::Stop stop;
    Bytes produced;  // all of them, or on a failure those before it
};

// Two rebuilds traced by hand. One symbol outweighs all others together, so
// it takes the 1-bit code 0 and the other 391 fill a balanced subtree: 121
// codes of 9 bits (256 up) and 270 of 10 bits (754 up), given in the order
// the shell sort leaves them. The sort only swaps the few heavier symbols
// forward, one gap at a time; `moved` lists where that leaves each displaced
// symbol. The second profile also needs the leaf to win a tie in the merge
// (the three 2s against the nodes of two 1s) to come out balanced like this.
struct LzhTracedProfile {
    const char* name;
    std::vector<std::pair<int, uint16_t>> freq;  // all others 1
    std::vector<std::pair<int, int>> moved;      // sorted position, symbol
};
inline const std::vector<LzhTracedProfile>& lzh_traced_profiles() {
    static const std::vector<LzhTracedProfile> profiles = {
        // 1096 'A' literals from the start.
        {"one heavy symbol", {{0x41, 1097}}, {{0, 0x41}, {1, 0}, {4, 1}, {16, 4}, {65, 16}}},
        // AB B0 A0, then 1093 more AB.
        {"heavy symbol and three 2s",
         {{0xAB, 1095}, {0xA0, 2}, {0xB0, 2}},
         {{0, 0xAB}, {1, 0xA0}, {2, 0xB0}, {5, 2}, {13, 1}, {24, 0}, {29, 5}, {62, 13}, {73, 24}, {78, 29},
          {160, 62}, {171, 73}, {176, 78}}},
    };
    return profiles;
}

inline std::vector<LzhStreamCase> lzh_stream_cases() {
    using ovcg::lzh::Stop;
    struct Spec {
        const char* name;
        std::function<void(LzhBits&)> bits;
        uint32_t count;
        uint32_t capacity;  // 0: the count
        Stop stop;
        Bytes produced;
    };
    const Bytes sig = {0xAB, 0xB0, 0xA0};
    auto signed_bytes = [&](std::initializer_list<uint8_t> rest) {
        Bytes b = sig;
        b.insert(b.end(), rest);
        return b;
    };
    std::vector<Spec> specs = {
        // 01000001 = literal 0x41.
        {"one literal", [](LzhBits& b) { b.sym(0x41); }, 1, 0, Stop::kDone, {0x41}},
        // 01000001, 011110000 (symbol 120 = 0x78).
        {"8- and 9-bit literals", [](LzhBits& b) { b.sym(0x41); b.sym(0x78); }, 2, 0, Stop::kDone, {0x41, 0x78}},
        {"literals of both code lengths",
         [](LzhBits& b) { b.signature(); for (int s : {int{'H'}, int{'i'}, 0x00, 0xFF}) b.sym(s); }, 7, 0,
         Stop::kDone, signed_bytes({'H', 'i', 0x00, 0xFF})},
        // Symbol 257 (101111001): distance and length reused from their start
        // values (1 and 1) copy 3 bytes from distance 1.
        {"first match repeats the last byte", [](LzhBits& b) { b.sym(0x41); b.match(0, 0); }, 4, 0, Stop::kDone,
         {0x41, 0x41, 0x41, 0x41}},
        {"class 0 keeps the starting distance 1 and base 1", [](LzhBits& b) { b.signature(); b.sym('Q'); b.match(0, 0); },
         7, 0, Stop::kDone, signed_bytes({'Q', 'Q', 'Q', 'Q'})},
        // Symbol 276 (d class 2, l class 1), extra bit 0: distance 2, length 3.
        {"match at distance 2", [](LzhBits& b) { b.sym('A'); b.sym('B'); b.match(2, 1); b.put(0, 1); }, 5, 0,
         Stop::kDone, {'A', 'B', 'A', 'B', 'A'}},
        // The same match, but the count stops it after one byte.
        {"count cuts a match", [](LzhBits& b) { b.sym('A'); b.sym('B'); b.match(2, 1); b.put(0, 1); }, 3, 0,
         Stop::kDone, {'A', 'B', 'A'}},
        // Distance class 1, length class 4: base 8 = 2^3 + 0, length 10.
        {"distance 1 length 10 repeats the last byte",
         [](LzhBits& b) { b.signature(); b.sym('Z'); b.match(1, 4); b.put(0, 3); }, 14, 0, Stop::kDone,
         signed_bytes({'Z', 'Z', 'Z', 'Z', 'Z', 'Z', 'Z', 'Z', 'Z', 'Z', 'Z'})},
        // Distance 2 + 1 extra bit = 3, base 1: length 3.
        {"distance 3 with extra bits copies the signature",
         [](LzhBits& b) { b.signature(); b.match(2, 1); b.put(1, 1); }, 6, 0, Stop::kDone,
         signed_bytes({0xAB, 0xB0, 0xA0})},
        // Distance 2 + 0 = 2, base 2 + 1 = 3: length 5; then class 0 twice does it again.
        {"a repeated class reuses the previous distance and base",
         [](LzhBits& b) { b.signature(); b.sym('x'); b.match(2, 2); b.put(0, 1); b.put(1, 1); b.match(0, 0); }, 14, 0,
         Stop::kDone, signed_bytes({'x', 0xA0, 'x', 0xA0, 'x', 0xA0, 'x', 0xA0, 'x', 0xA0, 'x'})},
        // Base 128 + 127: length 257.
        {"a match longer than the rest is cut to it and ends the stream",
         [](LzhBits& b) { b.signature(); b.sym('k'); b.match(1, 8); b.put(127, 7); }, 9, 0, Stop::kDone,
         signed_bytes({'k', 'k', 'k', 'k', 'k', 'k'})},
        // Distance 64 + 36 = 100, length 3.
        {"a distance before the first byte reads the zeroed window",
         [](LzhBits& b) { b.signature(); b.match(7, 1); b.put(36, 6); }, 6, 0, Stop::kDone, signed_bytes({0, 0, 0})},
        // Distance 8192 + 8191 = 16383, base 3: length 5.
        {"the largest distance class and extra bits",
         [](LzhBits& b) { b.signature(); b.match(14, 2); b.put(8191, 13); b.put(1, 1); }, 8, 0, Stop::kDone,
         signed_bytes({0, 0, 0, 0, 0})},
        {"wrong signature", [](LzhBits& b) { b.sym(0xAB); b.sym(0xB0); b.sym(0xA1); }, 3, 0, Stop::kDone,
         {0xAB, 0xB0, 0xA1}},
        {"no signature at all", [](LzhBits& b) { for (int s : {'a', 'b', 'c', 'd'}) b.sym(s); }, 4, 0, Stop::kDone,
         {'a', 'b', 'c', 'd'}},
        // The end mark (376 = 101111000): a stream never ends by it.
        {"end mark first", [](LzhBits& b) { b.sym(256); }, 1, 0, Stop::kEndMark, {}},
        {"end mark", [](LzhBits& b) { b.sym(0xAB); b.sym(256); }, 3, 0, Stop::kEndMark, {0xAB}},
        // The stream ends before the count.
        {"one literal, five counted", [](LzhBits& b) { b.sym(0x41); }, 5, 0, Stop::kStreamEnded, {0x41}},
        {"stream ends after two bytes", [](LzhBits& b) { b.sym(0xAB); b.sym(0xB0); }, 3, 0, Stop::kStreamEnded,
         {0xAB, 0xB0}},
        {"stream ends inside extra bits", [](LzhBits& b) { b.signature(); b.match(14, 0); b.put(1, 3); }, 9, 0,
         Stop::kStreamEnded, sig},
        {"one byte that holds no whole symbol", [](LzhBits& b) { b.put(0xFF, 8); }, 3, 0, Stop::kStreamEnded, {}},
        {"one literal short of the size", [](LzhBits& b) { b.signature(); }, 4, 0, Stop::kStreamEnded, sig},
        // The count is more than the output holds: a match is refused whole.
        {"match runs out of room", [](LzhBits& b) { b.sym('A'); b.sym('B'); b.match(2, 1); b.put(0, 1); }, 5, 4,
         Stop::kOutputFull, {'A', 'B'}},
        {"literal with no room left", [](LzhBits& b) { b.sym(0x41); b.sym(0x78); }, 2, 1, Stop::kOutputFull, {0x41}},
    };

    // The traced profiles inside streams: the rebuild comes with the 1096th
    // symbol, and the next symbols are read with the new code.
    specs.push_back({"rebuild after 1096 'A'",
                     [](LzhBits& b) {
                         for (int i = 0; i < 1096; ++i) b.put(0x41, 8);
                         const std::pair<uint32_t, int> after[] = {
                             {0, 1},     // 41
                             {256, 9},   // 00, position 1
                             {271, 9},   // 04, position 16
                             {320, 9},   // 10, position 65
                             {376, 9},   // 79, position 121
                             {754, 10},  // 7A, position 122
                             {887, 10},  // FF
                             {889, 10},  // match class 0/0: 3 bytes from distance 1
                             {0, 1},     // 41
                         };
                         for (auto [code, len] : after) b.put(code, len);
                     },
                     0, 0, Stop::kDone, {}});
    Bytes& a = specs.back().produced;
    a.assign(1097, 0x41);
    for (uint8_t x : {0x00, 0x04, 0x10, 0x79, 0x7A, 0xFF, 0xFF, 0xFF, 0xFF, 0x41}) a.push_back(x);
    specs.back().count = static_cast<uint32_t>(a.size());

    specs.push_back({"rebuild after the signature and 1093 AB",
                     [](LzhBits& b) {
                         b.signature();
                         for (int i = 0; i < 1093; ++i) b.sym(0xAB);
                         const std::pair<uint32_t, int> after[] = {
                             {0, 1},     // AB
                             {256, 9},   // A0, position 1
                             {257, 9},   // B0, position 2
                             {279, 9},   // 00, position 24
                             {284, 9},   // 05, position 29
                             {792, 10},  // 3E, position 160
                             {808, 10},  // 4E, position 176
                             {887, 10},  // FF, position 255
                             {889, 10},  // match class 0/0: 3 bytes from distance 1
                             {0, 1},     // AB
                         };
                         for (auto [code, len] : after) b.put(code, len);
                     },
                     0, 0, Stop::kDone, {}});
    Bytes& ab = specs.back().produced;
    ab = sig;
    ab.insert(ab.end(), 1094, 0xAB);
    for (uint8_t x : {0xA0, 0xB0, 0x00, 0x05, 0x3E, 0x4E, 0xFF, 0xFF, 0xFF, 0xFF, 0xAB}) ab.push_back(x);
    specs.back().count = static_cast<uint32_t>(ab.size());

    std::vector<LzhStreamCase> cases;
    for (auto& s : specs) {
        LzhBits b;
        s.bits(b);
        cases.push_back({s.name, b.finish(), s.count, s.capacity ? s.capacity : s.count, s.stop, s.produced});
    }
    return cases;
}

}  // namespace ovcg_test
