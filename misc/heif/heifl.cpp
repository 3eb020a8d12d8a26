// HEIF bridge. libheif reads the container from the caller's memory without
// copying it and decodes the primary picture into an image of its own, 8-bit
// red, green, blue, alpha rows from the top, with every transformation the
// file asks for already applied; the rows are copied into the bitmap,
// turned over and into its byte order. No context outlives a call.
#include "heifl.h"

#include <math.h>
#include <string.h>

#include <algorithm>

#include <libheif/heif.h>

#include "orv-core.h"

namespace {

const char kModule[] = "misc/heif/heifl";
const char kTag[] = "HEIFStruct:misc/heif/heifl";
// Bytes a pixel of libheif's canvas for grids: three planes of 16-bit samples.
const int kCanvasBytes = 6;
// Pixels a coded picture may have beyond the size shown: HEVC codes whole
// blocks of up to 64 pixels, and an encoder may pad further.
const int kCodingPadding = 256;

void Check(const HEIFStruct* heif, int line) {
    if (!heif) Core_NullPointer(kModule, line);
    Class_Check(heif, kTag, kModule, line);
}

// A tracked block of bytes, or null when the size is refused.
unsigned char* Allocate(int64_t bytes, int32_t* size) {
    int allocated = 0;
    void* block = Mem_AllocChecked(bytes, 1, 1, &allocated, MEM_HEAP, kModule, __LINE__);
    *size = allocated;
    return static_cast<unsigned char*>(block);
}

// Notes a file of a kind libheif (as built here: HEVC only) does not read,
// an AVIF picture say.
void NoteUnsupported(const heif_error& error) {
    if (error.code == heif_error_Unsupported_feature || error.code == heif_error_Unsupported_filetype)
        Bitmap_NoteProblem(BITMAP_PROBLEM_UNSUPPORTED);
    else if (error.code == heif_error_Memory_allocation_error || error.subcode == heif_suberror_Security_limit_exceeded)
        Bitmap_NoteProblem(BITMAP_PROBLEM_TOO_LARGE);
    else if (error.code != heif_error_Ok)
        Bitmap_NoteProblem(BITMAP_PROBLEM_DAMAGED);
}

// 1 when the file's type box names a picture sequence ("avis", "msf1",
// "hevs") among its brands: a file of moving pictures, which holds a still
// one only when it also has a primary item.
int IsSequence(const unsigned char* data, uint32_t size) {
    if (size < 16 || memcmp(data + 4, "ftyp", 4) != 0) return 0;
    uint32_t box = uint32_t(data[0]) << 24 | uint32_t(data[1]) << 16 | uint32_t(data[2]) << 8 | data[3];
    if (box < 16 || box > size) return 0;
    for (uint32_t at = 8; at + 4 <= box; at += 4)
        for (const char* brand : {"avis", "msf1", "hevs"})
            if (memcmp(data + at, brand, 4) == 0) return 1;
    return 0;
}

// An open file: the context and its primary picture, released together.
struct Opened {
    heif_context* context = nullptr;
    heif_image_handle* primary = nullptr;
    ~Opened() {
        if (primary) heif_image_handle_release(primary);
        if (context) heif_context_free(context);
    }
};

// Opens data and finds its primary picture. libheif refuses pictures wider
// or taller than its limit before it allocates anything for them: the side
// of the largest square the memory limit holds at four bytes a pixel.
int Open(const unsigned char* data, uint32_t size, Opened* opened) {
    if (!data || size == 0) return 0;
    opened->context = heif_context_alloc();
    if (!opened->context) return 0;
    heif_context_set_maximum_image_size_limit(opened->context, int(sqrt(double(Mem_GetLimit()) / 4.0)));
    // The program decodes files side by side already; tiles of one picture
    // are decoded on the calling thread.
    heif_context_set_max_decoding_threads(opened->context, 0);
    heif_error error = heif_context_read_from_memory_without_copy(opened->context, data, size, nullptr);
    if (error.code == heif_error_Ok) error = heif_context_get_primary_image_handle(opened->context, &opened->primary);
    if (error.code != heif_error_Ok) {
        // A sequence without a still picture is a kind not read, not damage.
        if (IsSequence(data, size) && !heif_context_get_number_of_top_level_images(opened->context))
            Bitmap_NoteProblem(BITMAP_PROBLEM_UNSUPPORTED);
        else
            NoteUnsupported(error);
        Log_Print(0, "Not a readable HEIF file: %s\n", error.message);
        return 0;
    }
    return 1;
}

// The Exif block of the primary picture. In the file it starts with the
// distance from its fifth byte to the TIFF header; a stored size over the
// side data's cap is refused before anything is read.
void KeepExif(heif_image_handle* primary, SideDataStruct* side) {
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(primary, "Exif", &id, 1) != 1) return;
    size_t stored = heif_image_handle_get_metadata_size(primary, id);
    if (stored < 4 || stored > size_t(SIDE_MOST_BYTES) + 4) return;
    int32_t storedSize = 0;
    unsigned char* block = Allocate(int64_t(stored), &storedSize);
    if (!block) return;
    if (heif_image_handle_get_metadata(primary, id, block).code == heif_error_Ok) {
        uint32_t skip = uint32_t(block[0]) << 24 | uint32_t(block[1]) << 16 | uint32_t(block[2]) << 8 | block[3];
        if (skip <= stored - 4) SideData_KeepExif(side, block + 4 + skip, int64_t(stored) - 4 - skip);
    }
    Mem_Free(block, storedSize, MEM_HEAP, kModule, __LINE__);
}

// The primary picture's ICC profile; colours given as numbers (nclx) are
// left to be read as sRGB.
void KeepProfile(heif_image_handle* primary, SideDataStruct* side) {
    heif_color_profile_type type = heif_image_handle_get_color_profile_type(primary);
    if (type != heif_color_profile_type_prof && type != heif_color_profile_type_rICC) return;
    size_t bytes = heif_image_handle_get_raw_color_profile_size(primary);
    if (bytes == 0 || bytes > size_t(SIDE_MOST_BYTES)) return;
    int32_t size = 0;
    unsigned char* profile = Allocate(int64_t(bytes), &size);
    if (!profile) return;
    if (heif_image_handle_get_raw_color_profile(primary, profile).code == heif_error_Ok)
        SideData_Keep(side, SIDE_PROFILE, profile, size);
    Mem_Free(profile, size, MEM_HEAP, kModule, __LINE__);
}

// Copies libheif's rows into the bitmap, bottom row first, red and blue
// swapped, and undoes premultiplied alpha.
void CopyRows(const uint8_t* rows, int stride, int premultiplied, BitmapStruct* bitmap) {
    for (int32_t y = 0; y < bitmap->height; ++y) {
        const uint8_t* from = rows + int64_t(y) * stride;
        unsigned char* to = bitmap->pixels + int64_t(bitmap->height - 1 - y) * bitmap->scanline;
        for (int32_t x = 0; x < bitmap->width; ++x, from += 4, to += 4) {
            int alpha = from[3];
            for (int c = 0; c < 3; ++c) {
                int value = from[2 - c];
                if (premultiplied && alpha > 0 && alpha < 255) {
                    value = (value * 255 + alpha / 2) / alpha;
                    value = value > 255 ? 255 : value;
                }
                to[c] = uint8_t(value);
            }
            to[3] = uint8_t(alpha);
        }
    }
}

}  // namespace

int HEIF_Create(HEIFStruct** heif) {
    if (!heif) Core_NullPointer(kModule, __LINE__);
    HEIFStruct* h = static_cast<HEIFStruct*>(Mem_Alloc(int(sizeof(HEIFStruct)), MEM_HEAP, kModule, __LINE__));
    h->tag = kTag;
    *heif = h;
    return 1;
}

int HEIF_Destroy(HEIFStruct** heif) {
    if (!heif) Core_NullPointer(kModule, __LINE__);
    HEIFStruct* h = *heif;
    *heif = nullptr;
    Check(h, __LINE__);
    SideData_Reset(&h->side);
    h->tag = nullptr;
    Mem_Free(h, int(sizeof(HEIFStruct)), MEM_HEAP, kModule, __LINE__);
    return 1;
}

int HEIF_ReadSize(const unsigned char* data, uint32_t size, int32_t* width, int32_t* height) {
    if (!width || !height) Core_NullPointer(kModule, __LINE__);
    *width = *height = 0;
    Opened opened;
    if (!Open(data, size, &opened)) return 0;
    int w = heif_image_handle_get_width(opened.primary), h = heif_image_handle_get_height(opened.primary);
    if (w <= 0 || h <= 0) return 0;
    *width = w;
    *height = h;
    return 1;
}

int HEIF_DecodeToBitmap(HEIFStruct* heif, const unsigned char* data, uint32_t size, BitmapStruct* bitmap) {
    Check(heif, __LINE__);
    if (!data || !bitmap) Core_NullPointer(kModule, __LINE__);
    SideData_Reset(&heif->side);
    Opened opened;
    if (!Open(data, size, &opened)) return 0;
    int32_t width = heif_image_handle_get_width(opened.primary), height = heif_image_handle_get_height(opened.primary);
    int bitmapBytes = 0;
    if (width <= 0 || height <= 0 || !Mem_CheckedSize(width, height, 4, &bitmapBytes)) return 0;
    // A grid or overlay is put together on a canvas of the size its own data
    // declares, which libheif checks only side by side against its limit,
    // as it checks every coded picture: the limit becomes the picture's
    // longer side with room for coding's padding (coded pictures are cropped
    // to the size shown), so no canvas is much wider or taller than the
    // picture, and a square of that side, at the most libheif keeps a canvas
    // pixel in, must fit the memory limit.
    int side = std::max(width, height) + kCodingPadding, bytes = 0;
    if (!Mem_CheckedSize(side, side, kCanvasBytes, &bytes)) {
        Log_Print(0, "HEIF picture of %dx%d too large for memory\n", width, height);
        return 0;
    }
    // A grid's or overlay's canvas is allocated in full before a tile is
    // read: one its data does not hold, or one larger than the picture it
    // declares, is never the picture.
    uint32_t canvasWidth = 0, canvasHeight = 0;
    int ispeWidth = heif_image_handle_get_ispe_width(opened.primary);
    int ispeHeight = heif_image_handle_get_ispe_height(opened.primary);
    int canvas = HEIF_CanvasSize(data, size, &canvasWidth, &canvasHeight);
    if (canvas < 0 || (canvas > 0 && (int64_t(canvasWidth) > int64_t(ispeWidth) + kCodingPadding ||
                                      int64_t(canvasHeight) > int64_t(ispeHeight) + kCodingPadding))) {
        Bitmap_NoteProblem(BITMAP_PROBLEM_DAMAGED);
        Log_Print(0, "HEIF canvas %ux%u does not fit its picture %dx%d\n", canvasWidth, canvasHeight, ispeWidth,
                  ispeHeight);
        return 0;
    }
    heif_context_set_maximum_image_size_limit(opened.context, side);
    heif_decoding_options* options = heif_decoding_options_alloc();
    options->convert_hdr_to_8bit = 1;
    heif_image* image = nullptr;
    heif_error error =
        heif_decode_image(opened.primary, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, options);
    heif_decoding_options_free(options);
    int stride = 0;
    const uint8_t* rows =
        error.code == heif_error_Ok ? heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride) : nullptr;
    int ok = rows && heif_image_get_width(image, heif_channel_interleaved) == width &&
             heif_image_get_height(image, heif_channel_interleaved) == height &&
             heif_image_get_bits_per_pixel_range(image, heif_channel_interleaved) == 8 &&
             Bitmap_SetSize(bitmap, width, height);
    if (ok) {
        CopyRows(rows, stride, heif_image_handle_is_premultiplied_alpha(opened.primary), bitmap);
        KeepProfile(opened.primary, &heif->side);
        KeepExif(opened.primary, &heif->side);
    } else {
        // The limit above comes from the size the file declares: a coded
        // picture over it contradicts the file, whatever memory there is.
        if (error.subcode == heif_suberror_Security_limit_exceeded)
            Bitmap_NoteProblem(BITMAP_PROBLEM_DAMAGED);
        else
            NoteUnsupported(error);
        Log_Print(0, "HEIF picture cannot be decoded: %s\n",
                  error.code != heif_error_Ok ? error.message : "bad layout");
    }
    if (image) heif_image_release(image);
    return ok;
}
