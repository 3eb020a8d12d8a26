// WebP copies: libwebp's encoder on the bitmap's rows as they lie (bottom
// row first in memory, read with a negative stride), then, when the copy
// carries side data, the muxer puts the picture and its chunks together;
// a file written again without decoding is taken apart by the muxer too.
// The copy is handed over whole in memory.
#include <string.h>

#include <webp/demux.h>
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
    // cwebp's default effort: on logos, screenshots and photographs made
    // the same bytes at the same PSNR as cwebp; method 3 saved up to a
    // quarter of the time for up to 4 % more bytes, method 2 7 % more.
    config.method = 4;
    config.exact = 0;
    // A lossy copy's pixels go straight to the encoder's YUV planes in one
    // pass; only a lossless one needs them as ARGB words.
    picture.use_argb = lossless ? 1 : 0;
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
int AddChunks(const WebPData& image, const SideDataStruct* side, const char* mark, WebPData* out) {
    WebPMux* mux = WebPMuxNew();
    if (!mux) return 0;
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
    static_assert(WEBP_MOST_SIDE == WEBP_MAX_DIMENSION, "libwebp's own limit");
    if (bitmap->width > WEBP_MOST_SIDE || bitmap->height > WEBP_MOST_SIDE) {
        Log_Print(0, "WebP copy not encoded: %dx%d is beyond the format\n", bitmap->width, bitmap->height);
        return 0;
    }
    int ok = EncodePicture(bitmap, quality, lossless, out);
    int chunks = mark != nullptr;
    for (const Chunk& c : kChunks) chunks += side && side->block[c.kind];
    if (side && side->block[SIDE_IPTC]) Log_Print(0, "IPTC record left out: WebP has no place for it\n");
    if (ok && chunks) {
        WebPData assembled = {nullptr, 0};
        ok = AddChunks(WebPData{out->data, size_t(out->size)}, side, mark, &assembled);
        Buffer_Clear(out);
        ok = ok && Buffer_Append(out, assembled.bytes, int64_t(assembled.size));
        WebPDataClear(&assembled);
    }
    if (!ok) Buffer_Clear(out);
    return ok;
}

int WEBP_SaveCoded(const unsigned char* data, uint32_t size, const SideDataStruct* side, const char* mark,
                   BufferStruct* out) {
    if (!data || !out) Core_NullPointer(kModule, __LINE__);
    Buffer_Clear(out);
    const WebPData whole = {data, size};
    WebPMux* mux = WebPMuxCreate(&whole, 0);
    if (!mux) return 0;
    // The picture alone, as the muxer gives a still file's one frame: its
    // coded data (and alpha) in a file of its own, none of its chunks.
    uint32_t flags = 0;
    WebPMuxFrameInfo frame = {};
    int ok = WebPMuxGetFeatures(mux, &flags) == WEBP_MUX_OK && !(flags & ANIMATION_FLAG) &&
             WebPMuxGetFrame(mux, 1, &frame) == WEBP_MUX_OK;
    WebPData assembled = {nullptr, 0};
    ok = ok && AddChunks(frame.bitstream, side, mark, &assembled) &&
         Buffer_Append(out, assembled.bytes, int64_t(assembled.size));
    if (side && side->block[SIDE_IPTC]) Log_Print(0, "IPTC record left out: WebP has no place for it\n");
    WebPDataClear(&assembled);
    WebPDataClear(&frame.bitstream);
    WebPMuxDelete(mux);
    if (!ok) Buffer_Clear(out);
    return ok;
}

int WEBP_HasMark(const unsigned char* data, uint32_t size, const char* text) {
    if (!text) Core_NullPointer(kModule, __LINE__);
    if (!data) return 0;
    const WebPData whole = {data, size};
    WebPDemuxer* demux = WebPDemux(&whole);
    if (!demux) return 0;
    WebPChunkIterator chunk;
    const size_t length = strlen(text);
    const int marked = WebPDemuxGetChunk(demux, kMarkChunk, 1, &chunk) && chunk.chunk.size == length &&
                       memcmp(chunk.chunk.bytes, text, length) == 0;
    WebPDemuxReleaseChunkIterator(&chunk);
    WebPDemuxDelete(demux);
    return marked;
}
