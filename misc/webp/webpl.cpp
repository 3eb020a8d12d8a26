// WebP bridge. libwebp decodes into memory we give it, the bitmap's own
// pixels, turning the rows over as it writes them: a still picture whole,
// an animation's first frame in its place on the canvas. No library call
// keeps anything past the call.
#include "webpl.h"

#include <string.h>

#include <webp/decode.h>
#include <webp/demux.h>

#include "orv-core.h"

namespace {

const char kModule[] = "misc/webp/webpl";

// Decodes one picture's bitstream straight into the bitmap, its top-left
// pixel at (x, y) of the picture, width x height pixels. The bitmap stores
// rows bottom-up, so libwebp writes them turned over: no pass over the
// whole bitmap afterwards, and an animation's canvas around its first
// frame is never touched. 1, or 0 when the data cannot be decoded.
int DecodeInto(const uint8_t* data, size_t size, BitmapStruct* bitmap, int32_t x, int32_t y, int32_t width,
               int32_t height) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return 0;
    config.options.flip = 1;
    config.output.colorspace = MODE_BGRA;
    config.output.is_external_memory = 1;
    // The picture's bottom row is the lowest in memory.
    int64_t lowest = int64_t(bitmap->height) - y - height;
    config.output.u.RGBA.rgba = bitmap->pixels + lowest * bitmap->scanline + int64_t(x) * 4;
    config.output.u.RGBA.stride = bitmap->scanline;
    config.output.u.RGBA.size = size_t(bitmap->scanline) * size_t(height - 1) + size_t(width) * 4;
    VP8StatusCode status = WebPDecode(data, size, &config);
    WebPFreeDecBuffer(&config.output);
    return status == VP8_STATUS_OK;
}

// An animation's first frame on its canvas. The canvas starts transparent,
// and the first frame blended or not over transparency is the frame itself,
// so the frame is decoded straight into its place in the bitmap: no canvas
// of the animation decoder's (two of the canvas's size, written over in
// full before a frame is decoded) is ever made.
int DecodeFirstFrame(const unsigned char* data, uint32_t size, BitmapStruct* bitmap) {
    WebPData whole = {data, size};
    WebPDemuxer* demux = WebPDemux(&whole);
    if (!demux) {
        Bitmap_NoteProblem(BITMAP_PROBLEM_DAMAGED);
        return 0;
    }
    int32_t width = int32_t(WebPDemuxGetI(demux, WEBP_FF_CANVAS_WIDTH));
    int32_t height = int32_t(WebPDemuxGetI(demux, WEBP_FF_CANVAS_HEIGHT));
    WebPIterator frame;
    memset(&frame, 0, sizeof frame);
    int ok = WebPDemuxGetFrame(demux, 1, &frame);
    ok = ok && frame.x_offset >= 0 && frame.y_offset >= 0 && frame.width > 0 && frame.height > 0 &&
         int64_t(frame.x_offset) + frame.width <= width && int64_t(frame.y_offset) + frame.height <= height;
    if (!ok) {
        Bitmap_NoteProblem(BITMAP_PROBLEM_DAMAGED);
        Log_Print(0, "WebP animation's first frame does not lie on its canvas\n");
    }
    ok = ok && Bitmap_SetSize(bitmap, width, height);
    if (ok) {
        ok = DecodeInto(frame.fragment.bytes, frame.fragment.size, bitmap, frame.x_offset, frame.y_offset, frame.width,
                        frame.height);
        if (!ok) {
            Bitmap_NoteProblem(BITMAP_PROBLEM_DAMAGED);
            Log_Print(0, "WebP frame cannot be decoded\n");
        }
    }
    WebPDemuxReleaseIterator(&frame);
    WebPDemuxDelete(demux);
    return ok;
}

// The chunk of fourcc into the side data as kind; Exif through the one
// prefix check every Exif block passes.
void KeepChunk(WebPDemuxer* demux, const char* fourcc, int kind, SideDataStruct* side) {
    WebPChunkIterator found;
    memset(&found, 0, sizeof found);
    // The demuxer's chunks point into the caller's data, never copies.
    if (WebPDemuxGetChunk(demux, fourcc, 1, &found) && found.chunk.size > 0) {
        if (kind == SIDE_EXIF)
            SideData_KeepExif(side, found.chunk.bytes, int64_t(found.chunk.size));
        else
            SideData_Keep(side, kind, found.chunk.bytes, int64_t(found.chunk.size));
    }
    WebPDemuxReleaseChunkIterator(&found);
}

// The file's profile, Exif and XMP chunks into side.
void KeepSideData(const unsigned char* data, uint32_t size, SideDataStruct* side) {
    WebPData whole = {data, size};
    WebPDemuxer* demux = WebPDemux(&whole);
    if (!demux) return;
    KeepChunk(demux, "ICCP", SIDE_PROFILE, side);
    KeepChunk(demux, "EXIF", SIDE_EXIF, side);
    KeepChunk(demux, "XMP ", SIDE_XMP, side);
    WebPDemuxDelete(demux);
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

int WEBP_IsLossless(const unsigned char* data, uint32_t size) {
    if (!data) Core_NullPointer(kModule, __LINE__);
    WebPBitstreamFeatures features;
    return WebPGetFeatures(data, size, &features) == VP8_STATUS_OK && !features.has_animation && features.format == 2;
}

int WEBP_DecodeToBitmap(const unsigned char* data, uint32_t size, BitmapStruct* bitmap, SideDataStruct* side) {
    if (!data || !bitmap) Core_NullPointer(kModule, __LINE__);
    if (side) SideData_Reset(side);
    WebPBitstreamFeatures features;
    VP8StatusCode status = WebPGetFeatures(data, size, &features);
    if (status != VP8_STATUS_OK) {
        // A file that starts as WebP but ends early is damaged, not another kind.
        int damaged = status == VP8_STATUS_NOT_ENOUGH_DATA || (size >= 12 && memcmp(data + 8, "WEBP", 4) == 0);
        Bitmap_NoteProblem(status == VP8_STATUS_UNSUPPORTED_FEATURE ? BITMAP_PROBLEM_UNSUPPORTED
                           : damaged                                ? BITMAP_PROBLEM_DAMAGED
                                                                    : BITMAP_PROBLEM_NOT_THIS_FORMAT);
        Log_Print(0, "Not a readable WebP file\n");
        return 0;
    }
    int ok = 0;
    if (features.has_animation) {
        ok = DecodeFirstFrame(data, size, bitmap);
    } else if (Bitmap_SetSize(bitmap, features.width, features.height)) {
        ok = DecodeInto(data, size, bitmap, 0, 0, features.width, features.height);
        if (!ok) {
            Bitmap_NoteProblem(BITMAP_PROBLEM_DAMAGED);
            Log_Print(0, "WebP data cannot be decoded\n");
        }
    }
    if (!ok) return 0;
    if (side) KeepSideData(data, size, side);
    return 1;
}
