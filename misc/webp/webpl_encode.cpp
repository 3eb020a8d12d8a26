// WebP copies: libwebp's encoder on the bitmap's rows as they lie (bottom
// row first in memory, read with a negative stride), then, when the copy
// carries side data, the muxer puts the picture and its chunks together.
// The copy is handed over whole in memory.
#include <string.h>

#include <webp/encode.h>
#include <webp/mux.h>

#include "orv-core.h"
#include "webpl.h"

namespace {

const char kModule[] = "misc/webp/webpl_encode";

// The chunks a copy can carry, by the side data kind they hold.
struct Chunk {
    int kind;            // SIDE_*
    const char* fourcc;  // the chunk's identifier
};
const Chunk kChunks[] = {{SIDE_PROFILE, "ICCP"}, {SIDE_EXIF, "EXIF"}, {SIDE_XMP, "XMP "}};
// The chunk of the program's mark: one readers pass over, as they pass over
// every chunk they do not know.
const char kMarkChunk[] = "BRIM";

// libwebp's writes go straight to the caller's buffer.
int Write(const uint8_t* data, size_t size, const WebPPicture* picture) {
    return Buffer_Append(static_cast<BufferStruct*>(picture->custom_ptr), data, int64_t(size));
}

// Encodes the picture alone into out. 1 when done.
int EncodePicture(const BitmapStruct* bitmap, double quality, int lossless, BufferStruct* out) {
    WebPConfig config;
    WebPPicture picture;
    if (!WebPConfigInit(&config) || !WebPPictureInit(&picture)) return 0;
    config.lossless = lossless ? 1 : 0;
    config.quality = lossless ? 75.0f : float(quality * 100.0);
    config.method = 4;
    config.exact = 0;
    picture.use_argb = 1;
    picture.width = bitmap->width;
    picture.height = bitmap->height;
    const unsigned char* top = bitmap->pixels + int64_t(bitmap->height - 1) * bitmap->scanline;
    int ok = WebPPictureImportBGRA(&picture, top, -bitmap->scanline);
    picture.writer = Write;
    picture.custom_ptr = out;
    if (ok) ok = WebPEncode(&config, &picture);
    if (!ok) Log_Print(0, "WebP copy not encoded (%d)\n", int(picture.error_code));
    WebPPictureFree(&picture);
    return ok;
}

// The picture with the copy's chunks, assembled by the muxer into out
// (libwebp's memory, freed with WebPDataClear). 1 when done.
int AddChunks(const BufferStruct& picture, const SideDataStruct* side, const char* mark, WebPData* out) {
    WebPMux* mux = WebPMuxNew();
    if (!mux) return 0;
    WebPData image = {picture.data, size_t(picture.size)};
    int ok = WebPMuxSetImage(mux, &image, 0) == WEBP_MUX_OK;
    for (const Chunk& c : kChunks) {
        if (!ok || !side || !side->block[c.kind]) continue;
        WebPData data = {side->block[c.kind], size_t(side->size[c.kind])};
        ok = WebPMuxSetChunk(mux, c.fourcc, &data, 0) == WEBP_MUX_OK;
    }
    if (ok && mark) {
        WebPData data = {reinterpret_cast<const uint8_t*>(mark), strlen(mark)};
        ok = WebPMuxSetChunk(mux, kMarkChunk, &data, 0) == WEBP_MUX_OK;
    }
    ok = ok && WebPMuxAssemble(mux, out) == WEBP_MUX_OK;
    WebPMuxDelete(mux);
    return ok;
}

}  // namespace

int WEBP_SaveBuffer(const BitmapStruct* bitmap, double quality, int lossless, const SideDataStruct* side,
                    const char* mark, BufferStruct* out) {
    if (!bitmap || !out) Core_NullPointer(kModule, __LINE__);
    Buffer_Clear(out);
    if (bitmap->width <= 0 || bitmap->height <= 0 || !bitmap->pixels) return 0;
    if (bitmap->width > WEBP_MAX_DIMENSION || bitmap->height > WEBP_MAX_DIMENSION) {
        Log_Print(0, "WebP copy not encoded: %dx%d is beyond the format\n", bitmap->width, bitmap->height);
        return 0;
    }
    int ok = EncodePicture(bitmap, quality, lossless, out);
    int chunks = mark != nullptr;
    for (const Chunk& c : kChunks) chunks += side && side->block[c.kind];
    if (side && side->block[SIDE_IPTC]) Log_Print(0, "IPTC record left out: WebP has no place for it\n");
    if (ok && chunks) {
        WebPData assembled = {nullptr, 0};
        ok = AddChunks(*out, side, mark, &assembled);
        Buffer_Clear(out);
        ok = ok && Buffer_Append(out, assembled.bytes, int64_t(assembled.size));
        WebPDataClear(&assembled);
    }
    if (!ok) Buffer_Clear(out);
    return ok;
}

int WEBP_HasMark(const unsigned char* data, uint32_t size, const char* text) {
    if (!text) Core_NullPointer(kModule, __LINE__);
    if (!data || size < 12 || memcmp(data, "RIFF", 4) != 0 || memcmp(data + 8, "WEBP", 4) != 0) return 0;
    const size_t length = strlen(text);
    // Chunks: a four-character code, a little-endian size, the data padded
    // to an even length.
    for (uint32_t at = 12; at <= size && size - at >= 8;) {
        const uint32_t bytes = uint32_t(data[at + 4]) | uint32_t(data[at + 5]) << 8 | uint32_t(data[at + 6]) << 16 |
                               uint32_t(data[at + 7]) << 24;
        if (bytes > size - at - 8) return 0;
        if (memcmp(data + at, kMarkChunk, 4) == 0 && bytes == length && memcmp(data + at + 8, text, length) == 0)
            return 1;
        at += 8 + bytes + (bytes & 1);
    }
    return 0;
}
