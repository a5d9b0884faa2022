// One libFuzzer target; VESTRA_FUZZ_ENTRY names the decoder entry of FuzzTargets.h.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return vfuzz::VESTRA_FUZZ_ENTRY(data, size);
}
