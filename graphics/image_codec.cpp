// stb_image compiled here with the PNG decoder only, so no other format's
// parser is reachable from a file in the data folder.
#include "graphics/image_codec.h"

#include <climits>
#include <cstdlib>

#define STBI_ONLY_PNG
#define STBI_NO_HDR
#define STBI_NO_LINEAR
#define STBI_NO_FAILURE_STRINGS
#define STBI_MAX_DIMENSIONS kMaxImageSide
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {

// True when a header's size and channel count are ones we are willing to decode.
bool acceptable(int w, int h, int comp) {
    if (w <= 0 || h <= 0 || w > kMaxImageSide || h > kMaxImageSide) return false;
    if (static_cast<long long>(w) * h > kMaxImagePixels) return false;
    return comp >= 1 && comp <= 4;
}

// Checks what the decoder produced against the header it promised, then
// hands the block out or frees it.
unsigned char* accept_result(unsigned char* pixels, int iw, int ih, int ic, int w0, int h0,
                             int* w, int* h, int* depth) {
    if (!pixels) return nullptr;
    if (iw != w0 || ih != h0 || !acceptable(iw, ih, ic)) {
        stbi_image_free(pixels);
        return nullptr;
    }
    *w = iw;
    *h = ih;
    *depth = ic;
    return pixels;
}

}  // namespace

unsigned char* vo_decode_png_file(FILE* f, int* w, int* h, int* depth) {
    if (!f || !w || !h || !depth) return nullptr;
    int iw = 0, ih = 0, ic = 0;
    // stbi_info_from_file reads the header and puts the file position back.
    if (!stbi_info_from_file(f, &iw, &ih, &ic) || !acceptable(iw, ih, ic)) return nullptr;
    int lw = 0, lh = 0, lc = 0;
    unsigned char* pixels = stbi_load_from_file(f, &lw, &lh, &lc, 0);
    return accept_result(pixels, lw, lh, lc, iw, ih, w, h, depth);
}

unsigned char* vo_decode_png_memory(const unsigned char* data, size_t size, int* w, int* h,
                                    int* depth) {
    if (!data || !w || !h || !depth || size == 0 || size > static_cast<size_t>(INT_MAX))
        return nullptr;
    const int len = static_cast<int>(size);
    int iw = 0, ih = 0, ic = 0;
    if (!stbi_info_from_memory(data, len, &iw, &ih, &ic) || !acceptable(iw, ih, ic))
        return nullptr;
    int lw = 0, lh = 0, lc = 0;
    unsigned char* pixels = stbi_load_from_memory(data, len, &lw, &lh, &lc, 0);
    return accept_result(pixels, lw, lh, lc, iw, ih, w, h, depth);
}
