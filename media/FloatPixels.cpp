#include "media/FloatPixels.h"

#include <algorithm>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace FloatPixels {

void ToBytes(const float* in, uint8_t* out, int count)
{
    int x = 0;
#if defined(__SSE2__)
    const __m128 scale = _mm_set1_ps(255.0f);
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128 zero = _mm_setzero_ps();
    for (; x + 16 <= count; x += 16) {
        __m128i words[4];
        for (int k = 0; k < 4; ++k) {
            __m128 v = _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(in + x + 4 * k), scale), half);
            v = _mm_max_ps(v, zero);  // the second operand when the first is NaN
            v = _mm_min_ps(v, scale); // 255
            words[k] = _mm_cvttps_epi32(v);
        }
        const __m128i low = _mm_packs_epi32(words[0], words[1]);
        const __m128i high = _mm_packs_epi32(words[2], words[3]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(low, high));
    }
#endif
    for (; x < count; ++x)
        out[x] = ToByte(in[x]);
}

void PackRow(const float* r, const float* g, const float* b, const float* a, int width, int channels, uint8_t* out)
{
    // In blocks small enough to stay in the first-level cache between the two steps.
    constexpr int kBlock = 256;
    uint8_t red[kBlock], green[kBlock], blue[kBlock], alpha[kBlock];
    for (int start = 0; start < width; start += kBlock) {
        const int n = std::min(kBlock, width - start);
        ToBytes(r + start, red, n);
        ToBytes(g + start, green, n);
        ToBytes(b + start, blue, n);
        uint8_t* o = out + static_cast<std::ptrdiff_t>(start) * channels;
        if (channels == 4) {
            if (a)
                ToBytes(a + start, alpha, n);
            else
                std::fill_n(alpha, n, uint8_t(255));
            for (int x = 0; x < n; ++x, o += 4) {
                o[0] = red[x];
                o[1] = green[x];
                o[2] = blue[x];
                o[3] = alpha[x];
            }
        } else {
            for (int x = 0; x < n; ++x, o += 3) {
                o[0] = red[x];
                o[1] = green[x];
                o[2] = blue[x];
            }
        }
    }
}

} // namespace FloatPixels
