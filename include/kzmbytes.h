// Little-endian field access for every on-disk value the converter reads or writes.
#pragma once
#include <cstdint>

inline uint16_t get_u16le(const uint8_t* p)
{
    return (uint16_t)(p[0] | (p[1] << 8));
}

inline uint32_t get_u32le(const uint8_t* p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

inline void put_u16le(uint8_t* p, uint16_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

inline void put_u32le(uint8_t* p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}
