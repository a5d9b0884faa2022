// The project reader driven by arbitrary bytes: the libFuzzer target calls it, and the corpus replay test
// runs every stored input through it in the ordinary build.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vfuzz {

// Reads the bytes as a list project and, when that succeeds, lays out its pages and footer texts.
int FuzzL9ProjectReader(const uint8_t* data, size_t size);

} // namespace vfuzz
