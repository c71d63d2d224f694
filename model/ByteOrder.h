// Byte order of the scalars in files and images: explicit big-endian access, the order every
// file structure is written in, and host-order access at any (unaligned) offset, for images
// held in memory. The caller checks the bounds.
#pragma once
#include <cstdint>
#include <cstring>

inline std::uint16_t getBE16(const void* p) {
    const auto* b = static_cast<const unsigned char*>(p);
    return std::uint16_t((b[0] << 8) | b[1]);
}
inline std::uint32_t getBE32(const void* p) {
    const auto* b = static_cast<const unsigned char*>(p);
    return (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) |
           b[3];
}
inline void putBE16(void* p, std::uint16_t v) {
    auto* b = static_cast<unsigned char*>(p);
    b[0] = static_cast<unsigned char>(v >> 8);
    b[1] = static_cast<unsigned char>(v);
}
inline void putBE32(void* p, std::uint32_t v) {
    auto* b = static_cast<unsigned char*>(p);
    b[0] = static_cast<unsigned char>(v >> 24);
    b[1] = static_cast<unsigned char>(v >> 16);
    b[2] = static_cast<unsigned char>(v >> 8);
    b[3] = static_cast<unsigned char>(v);
}

inline std::uint16_t getHost16(const void* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
inline std::uint32_t getHost32(const void* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline void putHost16(void* p, std::uint16_t v) {
    std::memcpy(p, &v, 2);
}
inline void putHost32(void* p, std::uint32_t v) {
    std::memcpy(p, &v, 4);
}
