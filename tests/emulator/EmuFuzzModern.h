// Fuzz entry for the emulator's current-protocol decoders (see EmuFuzzModern.cpp).
#pragma once
#include <cstddef>
#include <cstdint>

namespace emufuzz {

int FuzzModernServer(const uint8_t* data, size_t size);

} // namespace emufuzz
