// The framework's LZ format, used inside archives and for packed data outside them: a 9-byte
// head {u32 decoded size, u32 encoded size including the head, u8 escape byte}, then literal
// bytes and escape-coded matches.
#pragma once

#include <cstdint>

constexpr uint32_t kLzHeadBytes = 9;
// No packed byte gives more than this many bytes: the longest match, 8,195 bytes, takes four.
constexpr uint64_t kLzLargestExpansion = 2049;

// Expands packed (packedBytes readable) into out (outBytes writable) and returns the decoded
// size. With a null out only the head's decoded size is returned. -1 when the data is damaged:
// a head that does not fit, an encoded size beyond packedBytes, a decoded size beyond outBytes
// (or beyond INT32_MAX, or beyond what the encoded bytes can give), a code with both low bits set,
// a match that reaches before the start of the output or past its end, or a stream that ends before
// or after the decoded size.
int32_t ExpandArchiveData(const void* packed, uint32_t packedBytes, void* out, uint32_t outBytes);
