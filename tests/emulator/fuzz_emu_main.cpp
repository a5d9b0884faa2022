// libFuzzer program over the emulator's current-protocol decoders.
#include "tests/emulator/EmuFuzzModern.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return emufuzz::FuzzModernServer(data, size);
}
