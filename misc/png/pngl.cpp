// PNG bridge. The picture is looked at once to choose its form (how many
// distinct pixels, whether grey, whether opaque), then libpng writes it
// into memory that grows through the tracked allocator, and the file is
// handed over in one block. Palette pictures go unfiltered, the others with
// libpng's adaptive filters, at the zlib levels below. libpng reports
// errors by longjmp, so the function that calls it holds nothing that
// needs a destructor.
#include "pngl.h"

#include <setjmp.h>
#include <string.h>

#include <libpng16/png.h>

#include "orv-core.h"

namespace {

const char kModule[] = "misc/png/pngl";
// The text keyword the program's mark is written under, its NUL included.
const char kSoftware[] = "Software";
const int kPaletteMost = 256;
// zlib's effort. For photographs level 2: on the benchmark's wallpapers it
// took half the time of level 6 for under 10 % more bytes (and a quarter
// fewer than vipsthumbnail's at its defaults). For graphics, pictures at
// least half of whose pixels repeat the one on their left (logos,
// screenshots, flat drawings; photographs have a tenth in the median) and
// palette pictures, level 6: on logos a third fewer bytes than level 2 for
// a seventh more time, as zlib is quick on repeats; levels 7 and 9 took
// 1.15 and 2.4 times as long for 2 and 8 % fewer bytes.
const int kZlibPhotoLevel = 2;
const int kZlibGraphicsLevel = 6;

// The PNG being written, in memory.
// libpng's writes go straight to the caller's buffer.
void Write(png_structp png, png_bytep bytes, png_size_t count) {
    BufferStruct* out = static_cast<BufferStruct*>(png_get_io_ptr(png));
    if (!Buffer_Append(out, bytes, int64_t(count))) png_error(png, "not enough memory for the file");
}

void Flush(png_structp) {
}

void Complain(png_structp png, png_const_charp text) {
    Log_Print(0, "libpng: %s\n", text);
    png_longjmp(png, 1);
}

void Warn(png_structp, png_const_charp text) {
    Log_Print(0, "libpng warning: %s\n", text);
}

// A libpng writer into out, with its info and its errors and writes ours;
// null (nothing to release) when libpng cannot make one. The caller sets
// its jump point before any other call: libpng's errors return there.
png_structp StartWriter(BufferStruct* out, png_infop* info) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, Complain, Warn);
    *info = png ? png_create_info_struct(png) : nullptr;
    if (!*info) {
        png_destroy_write_struct(png ? &png : nullptr, nullptr);
        return nullptr;
    }
    png_set_benign_errors(png, 1);
    png_set_write_fn(png, out, Write, Flush);
    return png;
}

const int kSlots = 1024;  // a power of two, four times kPaletteMost

// What the picture's pixels allow.
struct Form {
    int grey;                        // 1 when every pixel's colours are equal
    int opaque;                      // 1 when every alpha is 255
    int colours;                     // distinct pixels, counted up to kPaletteMost + 1
    int64_t repeats;                 // pixels equal to the one on their left
    uint32_t palette[kPaletteMost];  // the distinct pixels as blue, green, red, alpha words, when few enough;
                                     // translucent ones first, so that tRNS stays short
    uint32_t slot[kSlots];           // an open hash table of the distinct pixels
    int16_t index[kSlots];           // each slot's palette index; -1 for an empty slot
};

uint32_t Word(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The slot that holds v, or the empty one where it would go.
int SlotOf(const Form& form, uint32_t v) {
    int h = int((v * 2654435761u) >> 22);
    while (form.index[h] >= 0 && form.slot[h] != v) h = (h + 1) & (kSlots - 1);
    return h;
}

// Counts distinct pixels, giving up past the most a palette holds, and
// numbers them translucent first.
void LookAt(const BitmapStruct* bitmap, Form* form) {
    memset(form->index, 0xFF, sizeof form->index);
    form->grey = 1;
    form->opaque = 1;
    form->colours = 0;
    form->repeats = 0;
    for (int32_t y = 0; y < bitmap->height; ++y) {
        const unsigned char* p = bitmap->pixels + int64_t(y) * bitmap->scanline;
        for (int32_t x = 0; x < bitmap->width; ++x, p += 4) {
            form->grey &= p[0] == p[1] && p[1] == p[2];
            form->opaque &= p[3] == 255;
            uint32_t v = Word(p);
            form->repeats += x > 0 && v == Word(p - 4);
            if (form->colours > kPaletteMost) continue;
            int h = SlotOf(*form, v);
            if (form->index[h] >= 0) continue;
            form->slot[h] = v;
            form->index[h] = int16_t(form->colours < kPaletteMost ? form->colours : 0);
            if (form->colours < kPaletteMost) form->palette[form->colours] = v;
            form->colours += 1;
        }
    }
    if (form->colours > kPaletteMost) return;
    int next = 0;
    for (int pass = 0; pass < 2; ++pass)
        for (int i = 0; i < form->colours; ++i) {
            uint32_t v = form->palette[i];
            if ((v >> 24 != 255) == (pass == 0)) form->index[SlotOf(*form, v)] = int16_t(next++);
        }
    for (int h = 0; h < kSlots; ++h)
        if (form->index[h] >= 0) form->palette[form->index[h]] = form->slot[h];
}

// The colour space an ICC profile's header names: 'RGB ' or 'GRAY' (0 for
// anything else).
uint32_t ProfileSpace(const SideDataStruct* side) {
    if (!side || !side->block[SIDE_PROFILE] || side->size[SIDE_PROFILE] < 20) return 0;
    const unsigned char* p = side->block[SIDE_PROFILE] + 16;
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

const uint32_t kSpaceRgb = 0x52474220, kSpaceGrey = 0x47524159;

// The palette and, for its translucent entries (which come first), tRNS.
void SetPalette(png_structp png, png_infop info, const Form& form) {
    png_color colours[kPaletteMost] = {};
    png_byte alphas[kPaletteMost] = {};
    int lastTranslucent = -1;
    for (int i = 0; i < form.colours; ++i) {
        uint32_t v = form.palette[i];
        colours[i].blue = png_byte(v & 255);
        colours[i].green = png_byte(v >> 8 & 255);
        colours[i].red = png_byte(v >> 16 & 255);
        alphas[i] = png_byte(v >> 24);
        if (alphas[i] != 255) lastTranslucent = i;
    }
    png_set_PLTE(png, info, colours, form.colours);
    if (lastTranslucent >= 0) png_set_tRNS(png, info, alphas, lastTranslucent + 1, nullptr);
}

// The chunks libpng is told of before the picture: the profile or sRGB,
// and the program's mark as the Software text.
void SetSideData(png_structp png, png_infop info, const SideDataStruct* side, int srgb, const char* mark) {
    if (mark) {
        png_text text;
        memset(&text, 0, sizeof text);
        text.compression = PNG_TEXT_COMPRESSION_NONE;
        text.key = const_cast<char*>(kSoftware);
        text.text = const_cast<char*>(mark);
        text.text_length = strlen(mark);
        png_set_text(png, info, &text, 1);
    }
    // A density asked for, in PNG's dots a metre.
    if (side && side->density > 0) {
        const png_uint_32 perMetre = png_uint_32(side->density / 0.0254 + 0.5);
        png_set_pHYs(png, info, perMetre, perMetre, PNG_RESOLUTION_METER);
    }
    if (side && side->block[SIDE_PROFILE])
        png_set_iCCP(png, info, "ICC profile", PNG_COMPRESSION_TYPE_BASE, side->block[SIDE_PROFILE],
                     png_uint_32(side->size[SIDE_PROFILE]));
    else if (srgb)
        png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    if (!side) return;
    if (side->block[SIDE_IPTC]) Log_Print(0, "IPTC record left out: PNG has no place for it\n");
}

// The XMP packet as the iTXt chunk readers look for, written with its
// exact length (libpng's text calls take C strings, which would read past
// a packet without a terminator and cut one at a NUL). XML holds no NUL:
// a packet that does is left out.
void WriteXmp(png_structp png, const unsigned char* xmp, int32_t size) {
    if (memchr(xmp, 0, size_t(size))) {
        Log_Print(0, "XMP packet of %d bytes holds a NUL: left out of the copy\n", int(size));
        return;
    }
    // Keyword, its NUL, no compression (flag and method), an empty language
    // tag and translated keyword, each with its NUL.
    static const char kHead[] = "XML:com.adobe.xmp\0\0\0\0";
    const size_t head = sizeof kHead;  // the literal's own terminator ends the translated keyword
    png_write_chunk_start(png, reinterpret_cast<png_const_bytep>("iTXt"), png_uint_32(head + size_t(size)));
    png_write_chunk_data(png, reinterpret_cast<png_const_bytep>(kHead), head);
    png_write_chunk_data(png, xmp, size_t(size));
    png_write_chunk_end(png);
}

// The chunks that follow the header, kept or written alike by a new copy
// and a kept one: Exif and XMP before the picture, where readers look.
void WriteLeading(png_structp png, const SideDataStruct* side) {
    // libpng writes an eXIf it is given after the picture, where some
    // readers never look: written here, it comes before.
    if (side && side->block[SIDE_EXIF])
        png_write_chunk(png, reinterpret_cast<png_const_bytep>("eXIf"), side->block[SIDE_EXIF],
                        size_t(side->size[SIDE_EXIF]));
    if (side && side->block[SIDE_XMP]) WriteXmp(png, side->block[SIDE_XMP], side->size[SIDE_XMP]);
}

// The colour type, bit depth and samples a pixel for the picture's form;
// a kept profile's space decides between grey and colour.
void ChooseType(const Form& form, uint32_t space, int* type, int* depth, int* samples) {
    int grey = space == kSpaceGrey || (form.grey && space != kSpaceRgb);
    *depth = 8;
    if (grey && form.opaque) {
        *type = PNG_COLOR_TYPE_GRAY;
        *samples = 1;
    } else if (!grey && form.colours <= kPaletteMost) {
        *type = PNG_COLOR_TYPE_PALETTE;
        *samples = 1;
        *depth = form.colours <= 2 ? 1 : form.colours <= 4 ? 2 : form.colours <= 16 ? 4 : 8;
    } else if (grey) {
        *type = PNG_COLOR_TYPE_GRAY_ALPHA;
        *samples = 2;
    } else {
        *type = form.opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA;
        *samples = form.opaque ? 3 : 4;
    }
}

// One bitmap row (memory row y) in the chosen form: a byte per index
// (libpng packs them), or the samples in PNG's order.
void FillRow(const BitmapStruct* bitmap, int32_t y, const Form& form, int type, unsigned char* row) {
    const unsigned char* p = bitmap->pixels + int64_t(y) * bitmap->scanline;
    for (int32_t x = 0; x < bitmap->width; ++x, p += 4) {
        switch (type) {
        case PNG_COLOR_TYPE_PALETTE:
            *row++ = png_byte(form.index[SlotOf(form, Word(p))]);
            break;
        case PNG_COLOR_TYPE_GRAY:
            *row++ = p[0];
            break;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            *row++ = p[0];
            *row++ = p[3];
            break;
        default:
            *row++ = p[2];
            *row++ = p[1];
            *row++ = p[0];
            if (type == PNG_COLOR_TYPE_RGB_ALPHA) *row++ = p[3];
        }
    }
}

// libpng's part of Encode, in a frame of its own: the values it reads
// after a longjmp are its parameters, which it never changes. 1 when
// complete.
int WriteRows(const BitmapStruct* bitmap, const SideDataStruct* side, int srgb, const char* mark, const Form& form,
              BufferStruct* out, int type, int depth, unsigned char* row) {
    png_infop info = nullptr;
    png_structp png = StartWriter(out, &info);
    if (!png) return 0;
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return 0;
    }
    const int graphics = type == PNG_COLOR_TYPE_PALETTE || form.repeats * 2 >= int64_t(bitmap->width) * bitmap->height;
    png_set_compression_level(png, graphics ? kZlibGraphicsLevel : kZlibPhotoLevel);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, type == PNG_COLOR_TYPE_PALETTE ? PNG_FILTER_NONE : PNG_ALL_FILTERS);
    png_set_IHDR(png, info, png_uint_32(bitmap->width), png_uint_32(bitmap->height), depth, type, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    if (type == PNG_COLOR_TYPE_PALETTE) SetPalette(png, info, form);
    SetSideData(png, info, side, srgb, mark);
    png_write_info(png, info);
    WriteLeading(png, side);
    if (depth < 8) png_set_packing(png);
    // The bitmap's rows are stored bottom-up.
    for (int32_t y = bitmap->height - 1; y >= 0; --y) {
        FillRow(bitmap, y, form, type, row);
        png_write_row(png, row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return 1;
}

// Encodes into out, which the caller releases. 1 when complete.
int Encode(const BitmapStruct* bitmap, const SideDataStruct* side, int srgb, const char* mark, const Form& form,
           BufferStruct* out) {
    int type = 0, depth = 0, samples = 0;
    ChooseType(form, ProfileSpace(side), &type, &depth, &samples);
    int rowBytes = 0;
    unsigned char* row = static_cast<unsigned char*>(
        Mem_AllocChecked(bitmap->width, samples, 1, &rowBytes, MEM_HEAP, kModule, __LINE__));
    if (!row) return 0;
    int ok = WriteRows(bitmap, side, srgb, mark, form, out, type, depth, row);
    Mem_Free(row, rowBytes, MEM_HEAP, kModule, __LINE__);
    return ok;
}

const unsigned char kSignature[8] = {137, 'P', 'N', 'G', 13, 10, 26, 10};

uint32_t Big32(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// One chunk of a PNG file: its type and data within the file.
struct Chunk {
    const unsigned char* type;  // four bytes
    const unsigned char* data;  // bytes of them
    uint32_t bytes;
};

// The chunk at *at (after the signature: length, type, data, CRC) into c,
// *at moved past it: 1, or 0 at the end of data or at a chunk that does not
// fit in it. CRCs are not checked.
int NextChunk(const unsigned char* data, uint32_t size, uint32_t* at, Chunk* c) {
    if (*at > size || size - *at < 12) return 0;
    const uint32_t bytes = Big32(data + *at);
    if (bytes > size - *at - 12) return 0;
    c->type = data + *at + 4;
    c->data = data + *at + 8;
    c->bytes = bytes;
    *at += 12 + bytes;
    return 1;
}

int Is(const Chunk& c, const char* type) {
    return memcmp(c.type, type, 4) == 0;
}

// What the coded picture of a PNG file needs kept with it.
struct Coded {
    Chunk header, palette, alpha, gamma, primaries;  // IHDR, PLTE, tRNS, gAMA, cHRM; bytes 0 when absent
    int srgb;                                        // 1 when it has an sRGB chunk
    uint32_t firstData, afterData;                   // offsets: the first IDAT and past the last
};

// Finds a file's chunks: 1, or 0 for data that is no PNG, whose IDATs are
// not one run, or that is animated (its frames would be lost).
int FindCoded(const unsigned char* data, uint32_t size, Coded* c) {
    memset(c, 0, sizeof *c);
    if (size < 8 || memcmp(data, kSignature, 8) != 0) return 0;
    Chunk k;
    int ended = 0;
    for (uint32_t at = 8, before = 8; !ended && NextChunk(data, size, &at, &k); before = at) {
        if (Is(k, "IDAT")) {
            if (c->afterData && c->afterData != before) return 0;
            if (!c->firstData) c->firstData = before;
            c->afterData = at;
        }
        if (Is(k, "acTL")) return 0;
        ended = Is(k, "IEND");
        if (Is(k, "IHDR") && k.bytes == 13) c->header = k;
        if (Is(k, "PLTE")) c->palette = k;
        if (Is(k, "tRNS")) c->alpha = k;
        if (Is(k, "gAMA") && k.bytes == 4) c->gamma = k;
        if (Is(k, "cHRM") && k.bytes == 32) c->primaries = k;
        if (Is(k, "sRGB")) c->srgb = 1;
    }
    return ended && c->header.bytes == 13 && c->firstData;
}

// Tells libpng of the coded picture's header, palette, transparency and
// colour chunks (the latter only where no profile replaces them).
void SetCoded(png_structp png, png_infop info, const Coded& c, int profile) {
    const unsigned char* h = c.header.data;
    const int type = h[9];
    png_set_IHDR(png, info, Big32(h), Big32(h + 4), h[8], type, h[12], PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    if (c.palette.bytes) {
        png_color colours[kPaletteMost];
        const int n = int(c.palette.bytes / 3 < kPaletteMost ? c.palette.bytes / 3 : kPaletteMost);
        for (int i = 0; i < n; ++i)
            colours[i] = {c.palette.data[3 * i], c.palette.data[3 * i + 1], c.palette.data[3 * i + 2]};
        png_set_PLTE(png, info, colours, n);
    }
    const unsigned char* a = c.alpha.data;
    if (c.alpha.bytes && type == PNG_COLOR_TYPE_PALETTE) {
        png_set_tRNS(png, info, a, int(c.alpha.bytes < kPaletteMost ? c.alpha.bytes : kPaletteMost), nullptr);
    } else if ((type == PNG_COLOR_TYPE_GRAY && c.alpha.bytes == 2) ||
               (type == PNG_COLOR_TYPE_RGB && c.alpha.bytes == 6)) {
        png_color_16 key = {};
        key.gray = png_uint_16(a[0] << 8 | a[1]);
        if (type == PNG_COLOR_TYPE_RGB) {
            key.red = key.gray;
            key.green = png_uint_16(a[2] << 8 | a[3]);
            key.blue = png_uint_16(a[4] << 8 | a[5]);
        }
        png_set_tRNS(png, info, nullptr, 0, &key);
    }
    if (profile) return;
    if (c.gamma.bytes) png_set_gAMA_fixed(png, info, png_fixed_point(Big32(c.gamma.data)));
    const unsigned char* p = c.primaries.data;
    if (c.primaries.bytes)
        png_set_cHRM_fixed(png, info, Big32(p), Big32(p + 4), Big32(p + 8), Big32(p + 12), Big32(p + 16), Big32(p + 20),
                           Big32(p + 24), Big32(p + 28));
}

// The file's coded picture with side's chunks into out. 1 when complete.
int WriteCoded(const unsigned char* data, const Coded& c, const SideDataStruct* side, int srgb, const char* mark,
               BufferStruct* out) {
    png_infop info = nullptr;
    png_structp png = StartWriter(out, &info);
    if (!png) return 0;
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return 0;
    }
    const int profile = side && side->block[SIDE_PROFILE];
    SetCoded(png, info, c, profile);
    // A picture that says its gamma or primaries is not declared sRGB.
    SetSideData(png, info, side, c.srgb || (srgb && !c.gamma.bytes && !c.primaries.bytes), mark);
    png_write_info(png, info);
    WriteLeading(png, side);
    // The picture's data as it came, chunks, CRCs and all.
    if (!Buffer_Append(out, data + c.firstData, int64_t(c.afterData - c.firstData)))
        png_error(png, "not enough memory");
    png_write_chunk(png, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0);
    png_destroy_write_struct(&png, &info);
    return 1;
}

}  // namespace

int PNGL_SaveCoded(const unsigned char* data, uint32_t size, const SideDataStruct* side, int srgb, const char* mark,
                   BufferStruct* out) {
    if (!data || !out) Core_NullPointer(kModule, __LINE__);
    Buffer_Clear(out);
    Coded coded;
    if (!FindCoded(data, size, &coded)) return 0;
    if (WriteCoded(data, coded, side, srgb, mark, out)) return 1;
    Log_Print(0, "PNG not written again\n");
    Buffer_Clear(out);
    return 0;
}

int PNGL_SaveBuffer(const BitmapStruct* bitmap, const SideDataStruct* side, int srgb, const char* mark,
                    BufferStruct* out) {
    if (!bitmap || !out) Core_NullPointer(kModule, __LINE__);
    Buffer_Clear(out);
    if (bitmap->width <= 0 || bitmap->height <= 0 || !bitmap->pixels) return 0;
    int formBytes = 0;
    Form* form = static_cast<Form*>(Mem_AllocChecked(1, sizeof(Form), 1, &formBytes, MEM_HEAP, kModule, __LINE__));
    if (!form) return 0;
    LookAt(bitmap, form);
    int ok = Encode(bitmap, side, srgb, mark, *form, out);
    Mem_Free(form, formBytes, MEM_HEAP, kModule, __LINE__);
    if (!ok) {
        Log_Print(0, "PNG copy not encoded\n");
        Buffer_Clear(out);
    }
    return ok;
}

static_assert(PNGL_MOST_SIDE == PNG_USER_WIDTH_MAX && PNGL_MOST_SIDE == PNG_USER_HEIGHT_MAX, "libpng's own limit");

int PNGL_HasSoftware(const unsigned char* data, uint32_t size, const char* text) {
    if (!text) Core_NullPointer(kModule, __LINE__);
    if (!data || size < 8 || memcmp(data, kSignature, 8) != 0) return 0;
    const uint32_t key = sizeof kSoftware, length = uint32_t(strlen(text));
    Chunk c;
    // Chunks up to the picture's data.
    for (uint32_t at = 8; NextChunk(data, size, &at, &c) && !Is(c, "IDAT") && !Is(c, "IEND");)
        if (Is(c, "tEXt") && c.bytes == key + length && memcmp(c.data, kSoftware, key) == 0 &&
            memcmp(c.data + key, text, length) == 0)
            return 1;
    return 0;
}
