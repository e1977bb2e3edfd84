// Decompressor of the halftone engine's packed resources: LZ77 over a
// 16384-byte ring, coded with an adaptive canonical Huffman code of 392
// symbols (256 literals, an end mark, 135 match classes) whose code lengths
// are limited to 12 bits so that one 12-bit peek decodes any symbol. The
// code stream is the one both engines share (common/lzh_unpack.h); this
// engine's envelope and its 4-byte count in front of the stream are read
// here.
#pragma once

#include "hxr/control/hxr_memory.h"

#include <cstddef>
#include <cstdint>

// Result codes.
inline constexpr int32_t kHxrDeCompBadStream = -200;
inline constexpr int32_t kHxrDeCompBadLut = -300;
inline constexpr int32_t kHxrDeCompNoMemory = 3201;
inline constexpr int32_t kHxrDeCompBadArgument = 3202;

// The envelope: 8 magic bytes, packed length, unpacked length, code stream.
inline constexpr size_t kHxrEnvelopeHeader = 16;
inline constexpr uint8_t kHxrMagicPacked[8] = {0x7A, 0xCF, 0x86, 0x5C, 0x7D, 0x90, 0x3C, 0xB9};
inline constexpr uint8_t kHxrMagicPackedLutLast = 0xBA;
// Zero bytes kept after every unpacked or copied resource.
inline constexpr uint32_t kHxrResourceSlack = 24;

struct HXRDeCompState;

// 0; 3202 for a null argument; 3201 out of memory.
int32_t HXRDeCompNew(HXRDeCompState** state, HXRMemMgr* manager);
// 3202 for a null argument, else the free result.
int32_t HXRDeCompDelete(HXRDeCompState* state, HXRMemMgr* manager);

// Unpacks a resource of `inputSize` bytes. A resource that does not begin with
// a packed magic is used as stored: *output = input, *outputSize = inputSize.
// A packed one is unpacked into a new block of the manager (unpacked length
// plus 24 zero bytes); a packed colour look-up table is rewritten from planar
// to interleaved. 0; -200 bad argument or stream; -300 bad packed table;
// 3201 out of memory.
int32_t HXRDeComp(HXRDeCompState* state, const void* input, uint32_t inputSize, void** output,
                  uint32_t* outputSize, HXRMemMgr* manager);

// Decodes a code stream whose first 4 bytes (little-endian) count the bytes to
// produce. Returns the bytes produced, 0 on failure; a count of 0 returns
// sourceLength at once. A stream that needs bits beyond its end fails.
uint32_t HXRDecompress(const uint8_t* source, uint32_t sourceLength, uint8_t* destination,
                       uint32_t destinationLength, HXRDeCompState* state);
