// WebP bridge. libwebp decodes rows top-down into memory we give it: the
// bitmap's own pixels, turned over afterwards, for a still picture; an
// animation's first frame comes on the animation decoder's canvas, which
// is copied over. Neither library call keeps anything past the call.
#include "webpl.h"

#include <string.h>

#include <algorithm>

#include <webp/decode.h>
#include <webp/demux.h>

#include "orv-core.h"

namespace {

const char kModule[] = "misc/webp/webpl";

// The bitmap stores rows bottom-up; libwebp writes them top-down.
void TurnOver(BitmapStruct* bitmap) {
    int64_t bytes = bitmap->scanline;
    for (int32_t top = 0, bottom = bitmap->height - 1; top < bottom; ++top, --bottom) {
        unsigned char* a = bitmap->pixels + top * bytes;
        std::swap_ranges(a, a + bytes, bitmap->pixels + bottom * bytes);
    }
}

// The animation decoder makes canvases of its own: the bitmap of the
// canvas's size is allocated first, which proves that size fits.
int DecodeFirstFrame(const unsigned char* data, uint32_t size, BitmapStruct* bitmap) {
    int32_t width = 0, height = 0;
    if (!WEBP_ReadSize(data, size, &width, &height) || !Bitmap_SetSize(bitmap, width, height)) return 0;
    WebPData whole = {data, size};
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) return 0;
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&whole, &options);
    if (!decoder) return 0;
    WebPAnimInfo info;
    uint8_t* frame = nullptr;
    int timestamp = 0;
    int ok = WebPAnimDecoderGetInfo(decoder, &info) && int32_t(info.canvas_width) == width &&
             int32_t(info.canvas_height) == height && WebPAnimDecoderGetNext(decoder, &frame, &timestamp) && frame;
    if (ok) {
        for (int32_t y = 0; y < bitmap->height; ++y)
            memcpy(bitmap->pixels + int64_t(bitmap->height - 1 - y) * bitmap->scanline,
                   frame + int64_t(y) * bitmap->width * 4, size_t(bitmap->width) * 4);
    }
    WebPAnimDecoderDelete(decoder);
    return ok;
}

}  // namespace

int WEBP_ReadSize(const unsigned char* data, uint32_t size, int32_t* width, int32_t* height) {
    if (!width || !height) Core_NullPointer(kModule, __LINE__);
    *width = *height = 0;
    if (!data) return 0;
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(data, size, &features) != VP8_STATUS_OK) return 0;
    // An animation's canvas can be larger than its first frame.
    if (features.has_animation) {
        WebPData whole = {data, size};
        WebPDemuxer* demux = WebPDemux(&whole);
        if (!demux) return 0;
        features.width = int(WebPDemuxGetI(demux, WEBP_FF_CANVAS_WIDTH));
        features.height = int(WebPDemuxGetI(demux, WEBP_FF_CANVAS_HEIGHT));
        WebPDemuxDelete(demux);
    }
    if (features.width <= 0 || features.height <= 0) return 0;
    *width = features.width;
    *height = features.height;
    return 1;
}

int WEBP_DecodeToBitmap(const unsigned char* data, uint32_t size, BitmapStruct* bitmap) {
    if (!data || !bitmap) Core_NullPointer(kModule, __LINE__);
    WebPBitstreamFeatures features;
    VP8StatusCode status = WebPGetFeatures(data, size, &features);
    if (status != VP8_STATUS_OK) {
        if (status == VP8_STATUS_UNSUPPORTED_FEATURE) Bitmap_NoteProblem(BITMAP_PROBLEM_UNSUPPORTED);
        Log_Print(0, "Not a WebP file\n");
        return 0;
    }
    if (features.has_animation) return DecodeFirstFrame(data, size, bitmap);
    if (!Bitmap_SetSize(bitmap, features.width, features.height)) return 0;
    size_t bytes = size_t(bitmap->scanline) * size_t(bitmap->height);
    if (!WebPDecodeBGRAInto(data, size, bitmap->pixels, bytes, bitmap->scanline)) {
        Log_Print(0, "WebP data cannot be decoded\n");
        return 0;
    }
    TurnOver(bitmap);
    return 1;
}

int WEBP_FindChunk(const unsigned char* data, uint32_t size, const char* fourcc, const unsigned char** chunk,
                   int32_t* bytes) {
    if (!fourcc || !chunk || !bytes) Core_NullPointer(kModule, __LINE__);
    *chunk = nullptr;
    *bytes = 0;
    if (!data) return 0;
    WebPData whole = {data, size};
    WebPDemuxer* demux = WebPDemux(&whole);
    if (!demux) return 0;
    WebPChunkIterator found;
    memset(&found, 0, sizeof found);
    // The demuxer's chunks point into the caller's data, never copies.
    int ok = WebPDemuxGetChunk(demux, fourcc, 1, &found) && found.chunk.size > 0 && found.chunk.size < 0x7FFFFFFF;
    if (ok) {
        *chunk = found.chunk.bytes;
        *bytes = int32_t(found.chunk.size);
    }
    WebPDemuxReleaseChunkIterator(&found);
    WebPDemuxDelete(demux);
    return ok;
}
