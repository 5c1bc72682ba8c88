#pragma once

#include <cstdint>

// Packing of float picture planes (as OpenEXR files decode) into 8-bit pixels.
namespace FloatPixels {

// One value: value × 255 rounded, clamped to 0..255; NaN gives 0.
inline uint8_t ToByte(float value)
{
    value = value * 255.0f + 0.5f;
    value = value > 0.0f ? value : 0.0f; // NaN fails the comparison
    value = value < 255.0f ? value : 255.0f;
    return static_cast<uint8_t>(value);
}

// `count` values of `in` to `out` by ToByte, 16 at a time where the processor allows.
void ToBytes(const float* in, uint8_t* out, int count);

// One row of planar R, G, B (and A, or null for opaque) floats to packed RGB (`channels` 3)
// or RGBA (`channels` 4) bytes.
void PackRow(const float* r, const float* g, const float* b, const float* a, int width, int channels, uint8_t* out);

} // namespace FloatPixels
