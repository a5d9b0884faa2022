// Values at unaligned addresses (record buffers, bind and row buffers, packet bytes): Load and Store copy
// them byte for byte in the machine's order, never through a type-punned pointer; LoadBe and StoreBe read
// and write them most significant byte first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

template <class T> inline T Load(const void* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class T> inline void Store(void* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

// The n-byte big-endian unsigned value at p (n at most 8).
inline uint64_t LoadBe(const uint8_t* p, size_t n) {
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i)
        v = (v << 8) | p[i];
    return v;
}

// v as n big-endian bytes at p (n at most 8).
inline void StoreBe(uint64_t v, uint8_t* p, size_t n) {
    for (size_t i = n; i-- > 0;) {
        p[i] = uint8_t(v);
        v >>= 8;
    }
}
