// JPEG bridge over the IJG interface of libjpeg(-turbo). The library reports
// fatal errors by calling error_exit, which jumps back into the operation
// that called it; the code between setjmp and the library calls keeps no
// objects with destructors, so the jump skips nothing that needs running.
#include "jpegl.h"

#include <math.h>
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <jpeglib.h>
#include <jerror.h>

#include "buffer.h"
#include "file.h"
#include "orv-core.h"
#include "reducer.h"
#include "tiffdir.h"

namespace {

const char kModule[] = "misc/jpeg/jpegl";
const char kTag[] = "JPEGLibStruct:misc/jpeg/jpegl";
const int kOutputStep = 1024;
const int kFullColourQuality = 90;
const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

struct ErrorJump {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

// Notes what a decode's error tells of the file: one that is not a JPEG,
// a kind of JPEG the library does not read (12-bit samples, lossless or
// hierarchical coding), or one damaged or cut short after its start.
void NoteProblem(int code) {
    int unsupported = code == JERR_BAD_PRECISION || code == JERR_SOF_UNSUPPORTED || code == JERR_NOT_COMPILED;
    Bitmap_NoteProblem(code == JERR_NO_SOI ? BITMAP_PROBLEM_NOT_THIS_FORMAT
                       : unsupported       ? BITMAP_PROBLEM_UNSUPPORTED
                                           : BITMAP_PROBLEM_DAMAGED);
}

void JumpBack(j_common_ptr info) {
    if (info->is_decompressor) NoteProblem(info->err->msg_code);
    ErrorJump* error = reinterpret_cast<ErrorJump*>(info->err);
    longjmp(error->jump, 1);
}

// The library's warnings ("Premature end of JPEG file") go to the debug
// log, where the caller's lines name the file; the library would print them
// on standard error, once for every decode, naming nothing.
void LogMessage(j_common_ptr info) {
    char text[JMSG_LENGTH_MAX];
    info->err->format_message(info, text);
    Log_Print(0, "JPEG library: %s\n", text);
}

// The library's error manager for one call: errors jump back to the call's
// setjmp, warnings go to the debug log.
jpeg_error_mgr* StartErrors(ErrorJump* error) {
    jpeg_error_mgr* manager = jpeg_std_error(&error->manager);
    error->manager.error_exit = JumpBack;
    error->manager.output_message = LogMessage;
    return manager;
}

void Check(JPEGLibStruct* jpeg, int line) {
    if (!jpeg) Core_NullPointer(kModule, line);
    Class_Check(jpeg, kTag, kModule, line);
}

// ---- memory source: the caller's block, then an end-of-image marker.

void SourceNothing(j_decompress_ptr) {
}

boolean SourceFill(j_decompress_ptr info) {
    info->src->next_input_byte = kEndOfImage;
    info->src->bytes_in_buffer = 2;
    return TRUE;
}

void SourceSkip(j_decompress_ptr info, long count) {
    if (count <= 0) return;
    if (size_t(count) < info->src->bytes_in_buffer) {
        info->src->next_input_byte += count;
        info->src->bytes_in_buffer -= size_t(count);
    } else {
        SourceFill(info);
    }
}

// ---- memory destination: a working buffer of 1024 bytes emptied into an
// accumulated block. The block grows by doubling; the caller receives an
// exact-size copy.

// The library writes straight into the caller's buffer: its spare room
// is the library's output space, grown when the library fills it.
struct Destination {
    jpeg_destination_mgr manager;  // first: the library sees only this
    BufferStruct* out;             // the caller's; size counts what the library has finished
};

// Hands the library the buffer's spare room, at least kOutputStep bytes.
void OfferRoom(j_compress_ptr info) {
    Destination* d = reinterpret_cast<Destination*>(info->dest);
    if (!Buffer_Reserve(d->out, kOutputStep)) ERREXIT(info, JERR_OUT_OF_MEMORY);
    d->manager.next_output_byte = d->out->data + d->out->size;
    d->manager.free_in_buffer = size_t(d->out->capacity - d->out->size);
}

void DestinationInit(j_compress_ptr info) {
    OfferRoom(info);
}

// The whole room offered is full.
boolean DestinationEmpty(j_compress_ptr info) {
    Destination* d = reinterpret_cast<Destination*>(info->dest);
    d->out->size = d->out->capacity;
    OfferRoom(info);
    return TRUE;
}

void DestinationTerm(j_compress_ptr info) {
    Destination* d = reinterpret_cast<Destination*>(info->dest);
    d->out->size = d->out->capacity - int32_t(d->manager.free_in_buffer);
}

// Every scanline into row i at base + i x step, three bytes a pixel in the
// order red, green, blue, or four in the order blue, green, red, alpha 255;
// with inks, a CMYK picture's four inks as the library gives them; with a
// reducer, each row (at base, step 0) handed on to it as it is read.
// CMYK (or YCCK, which the library turns into CMYK) is made RGB here:
// Adobe's files, known by their APP14 marker, store the inks inverted;
// others store them as they are. The CMYK row lives in the library's own
// pool, which goes with the decompressor even when an error jumps out.
// 1, or 0 when the reducer is refused memory.
int ReadRows(jpeg_decompress_struct* info, unsigned char* base, int64_t step, int bytes, int inks,
             ReducerStruct* reducer) {
    const int red = bytes == 4 ? 2 : 0, blue = bytes == 4 ? 0 : 2;
    const int converted = info->out_color_space == JCS_CMYK && !inks;
    JSAMPARRAY cmyk = converted ? (*info->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(info), JPOOL_IMAGE,
                                                             info->output_width * 4, 1)
                                : nullptr;
    int inverted = info->saw_Adobe_marker;
    while (info->output_scanline < info->output_height) {
        unsigned char* out = base + int64_t(info->output_scanline) * step;
        if (!converted) {
            jpeg_read_scanlines(info, &out, 1);
        } else {
            jpeg_read_scanlines(info, cmyk, 1);
            const unsigned char* in = cmyk[0];
            unsigned char* p = out;
            for (JDIMENSION x = 0; x < info->output_width; ++x, in += 4, p += bytes) {
                int k = inverted ? in[3] : 255 - in[3];
                int ink[3];
                for (int c = 0; c < 3; ++c) ink[c] = ((inverted ? in[c] : 255 - in[c]) * k + 127) / 255;
                p[red] = (unsigned char)ink[0];
                p[1] = (unsigned char)ink[1];
                p[blue] = (unsigned char)ink[2];
                if (bytes == 4) p[3] = 255;
            }
        }
        if (reducer && !Reducer_AddRows(reducer, out, 0, 1)) return 0;
    }
    return 1;
}

// The memory source over the caller's block.
void SetSource(jpeg_decompress_struct* info, jpeg_source_mgr* source, const unsigned char* data, uint32_t size) {
    source->next_input_byte = data;
    source->bytes_in_buffer = size;
    source->init_source = SourceNothing;
    source->fill_input_buffer = SourceFill;
    source->skip_input_data = SourceSkip;
    source->resync_to_restart = jpeg_resync_to_restart;
    source->term_source = SourceNothing;
    info->src = source;
}

// The namespace that opens an XMP packet's APP1 marker.
const char kXmpSpace[] = "http://ns.adobe.com/xap/1.0/";
const int kXmpSpaceBytes = int(sizeof kXmpSpace);  // with its closing zero
// The signature that opens an APP13 marker holding an IPTC record.
const char kIptcSignature[] = "Photoshop 3.0";
// The most one marker's payload can hold: its length field counts itself.
const int32_t kMostPayload = 65533;

// 1 when m is a marker of code app whose payload opens with prefix's bytes.
int Opens(const jpeg_marker_struct* m, int app, const void* prefix, int bytes) {
    return m->marker == JPEG_APP0 + app && m->data_length >= unsigned(bytes) && memcmp(m->data, prefix, size_t(bytes)) == 0;
}

// The first Exif block, XMP packet and IPTC record, and the ICC profile
// (which the library puts together from its chunks, checking their
// numbers), into the side data.
void TakeMarkers(JPEGLibStruct* jpeg, jpeg_decompress_struct* info) {
    SideDataStruct* side = &jpeg->side;
    for (jpeg_saved_marker_ptr m = info->marker_list; m; m = m->next) {
        if (!side->block[SIDE_EXIF] && Opens(m, 1, "Exif\0\0", 6))
            SideData_KeepExif(side, m->data, m->data_length);
        if (!side->block[SIDE_XMP] && Opens(m, 1, kXmpSpace, kXmpSpaceBytes))
            SideData_Keep(side, SIDE_XMP, m->data + kXmpSpaceBytes, int64_t(m->data_length) - kXmpSpaceBytes);
        if (!side->block[SIDE_IPTC] && Opens(m, 13, kIptcSignature, int(sizeof kIptcSignature)))
            SideData_Keep(side, SIDE_IPTC, m->data, m->data_length);
    }
    JOCTET* icc = nullptr;
    unsigned int iccLength = 0;
    if (jpeg_read_icc_profile(info, &icc, &iccLength) && icc) SideData_Keep(side, SIDE_PROFILE, icc, iccLength);
    free(icc);
}

// Writes one marker of code app: prefix (bytes long), then block; a payload
// over what a marker holds is left out with a log line.
void WriteMarker(j_compress_ptr info, int app, const void* prefix, int bytes, const unsigned char* block,
                 int32_t size, const char* what) {
    if (!block) return;
    if (int64_t(size) + bytes > kMostPayload) {
        Log_Print(0, "The %s of %d bytes does not fit one JPEG marker: left out of the copy\n", what, int(size));
        return;
    }
    jpeg_write_m_header(info, JPEG_APP0 + app, unsigned(size + bytes));
    for (int i = 0; i < bytes; ++i) jpeg_write_m_byte(info, static_cast<const unsigned char*>(prefix)[i]);
    for (int32_t i = 0; i < size; ++i) jpeg_write_m_byte(info, block[i]);
}

// What every copy's compressor is told: Huffman tables made for the picture
// (the same pixels in fewer bytes), and a density asked for in the JFIF
// header, in dots per inch.
void SetCoding(j_compress_ptr info, const SideDataStruct* side) {
    info->optimize_coding = TRUE;
    if (side && side->density > 0 && side->density <= 65535) {
        info->density_unit = 1;
        info->X_density = info->Y_density = UINT16(side->density);
    }
}

// After the compressor has started: side's blocks and the mark, each in
// its marker.
void WriteSide(j_compress_ptr info, const SideDataStruct* side, const char* mark) {
    if (side) {
        WriteMarker(info, 1, "Exif\0\0", 6, side->block[SIDE_EXIF], side->size[SIDE_EXIF], "Exif block");
        if (side->block[SIDE_PROFILE])
            jpeg_write_icc_profile(info, side->block[SIDE_PROFILE], unsigned(side->size[SIDE_PROFILE]));
        WriteMarker(info, 1, kXmpSpace, kXmpSpaceBytes, side->block[SIDE_XMP], side->size[SIDE_XMP], "XMP packet");
        WriteMarker(info, 13, "", 0, side->block[SIDE_IPTC], side->size[SIDE_IPTC], "IPTC record");
    }
    if (mark) jpeg_write_marker(info, JPEG_COM, reinterpret_cast<const JOCTET*>(mark), unsigned(strlen(mark)));
}

// The quality an IJG-style encoder was given, from how far the first
// quantisation table is scaled from the standard luminance table (the table
// of Annex K that libjpeg and most cameras scale): 1 to 100, 0 without a
// table.
int32_t QualityOf(const jpeg_decompress_struct* info) {
    static const uint16_t kStandard[DCTSIZE2] = {
        16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,  14, 13, 16, 24, 40,  57,
        69, 56, 14, 17, 22,  29,  51,  87,  80, 62, 18, 22, 37,  56,  68,  109, 103, 77, 24, 35, 55, 64,
        81, 104, 113, 92, 49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
    const JQUANT_TBL* table = info->quant_tbl_ptrs[0];
    if (!table) return 0;
    double stored = 0, standard = 0;
    for (int i = 0; i < DCTSIZE2; ++i) {
        stored += table->quantval[i];
        standard += kStandard[i];
    }
    double percent = stored * 100.0 / standard;
    double quality = percent <= 100.0 ? (200.0 - percent) / 2.0 : 5000.0 / percent;
    return int32_t(quality < 1.0 ? 1.0 : quality > 100.0 ? 100.0 : quality + 0.5);
}

// 1 when size bytes are too few for the picture the header declares:
// Huffman coding spends at least one bit on every 8 x 8 block of the first
// component. (Arithmetic coding can go below a bit a block.)
int TooShort(const jpeg_decompress_struct* info, uint32_t size) {
    const int64_t blocks = ((int64_t(info->image_width) + 7) / 8) * ((int64_t(info->image_height) + 7) / 8);
    return !info->arith_code && int64_t(size) * 8 < blocks;
}

// After jpeg_read_header: keeps the stored size and the markers, and picks
// the output colours. 0 when the data is too short for the picture the
// header declares (TooShort), so nothing is allocated for such a file.
int TakeHeader(JPEGLibStruct* jpeg, jpeg_decompress_struct* info, uint32_t size, J_COLOR_SPACE colours) {
    TakeMarkers(jpeg, info);
    jpeg->quality100 = QualityOf(info);
    jpeg->headerSize = int32_t(size - info->src->bytes_in_buffer);
    if (TooShort(info, size)) {
        Bitmap_NoteProblem(BITMAP_PROBLEM_DAMAGED);
        Log_Print(0, "JPEG data too short for %dx%d (%d bytes)\n", int(info->image_width), int(info->image_height),
                  int(size));
        return 0;
    }
    jpeg->width = int32_t(info->image_width);
    jpeg->height = int32_t(info->image_height);
    int print = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
    info->out_color_space = print ? JCS_CMYK : colours;
    return 1;
}

// Where Decode puts what it reads.
enum Target {
    TARGET_HEADER,  // the header alone: size and Exif block
    TARGET_RGB,     // the picture into the object's own RGB pixels
    TARGET_BITMAP   // the picture into a bitmap's blue, green, red, alpha rows
};

void CheckDenominator(int denominator, int line) {
    if (denominator != 1 && denominator != 2 && denominator != 4 && denominator != 8) {
        Core_SetSource(kModule, line);
        Core_Abort("Assertion failed (denominator is 1, 2, 4 or 8)");
    }
}

// A fixed denominator, as a choice of JPEG_DecodeToBitmapBy's kind.
int Fixed(void* denominator, JPEGLibStruct*) {
    return *static_cast<const int*>(denominator);
}

// The one decompression of the bridge: the header, then unless only the
// header is wanted the picture at 1 / the denominator choose gives from the
// header. 1, or 0 with the object reset when the library fails or memory is
// refused.
int Decode(JPEGLibStruct* jpeg, const unsigned char* data, uint32_t size, Target target, JPEGDenominatorFor choose,
           void* context, BitmapStruct* bitmap) {
    jpeg_decompress_struct info;
    ErrorJump error;
    // Made after the jump is set: volatile, so that the way back sees it.
    ReducerStruct* volatile reducer = nullptr;
    info.err = StartErrors(&error);
    if (setjmp(error.jump)) {
        ReducerStruct* made = reducer;
        Reducer_Destroy(&made);
        JPEG_Reset(jpeg);
        jpeg_destroy_decompress(&info);
        return 0;
    }
    jpeg_create_decompress(&info);
    const int kKept[3] = {1, 2, 13};
    for (int app : kKept) jpeg_save_markers(&info, JPEG_APP0 + app, 0xFFFF);
    jpeg_source_mgr source;
    SetSource(&info, &source, data, size);
    jpeg_read_header(&info, TRUE);
    int ok = TakeHeader(jpeg, &info, size, target == TARGET_BITMAP ? JCS_EXT_BGRA : JCS_RGB);
    if (ok && target != TARGET_HEADER) {
        int denominator = choose(context, jpeg);
        CheckDenominator(denominator, __LINE__);
        info.scale_num = 1;
        info.scale_denom = unsigned(denominator);
        jpeg_calc_output_dimensions(&info);
        unsigned char* first = nullptr;
        int64_t step = 0;
        int bytes = target == TARGET_BITMAP ? 4 : 3;
        const int inks = target == TARGET_BITMAP && jpeg->keepInks && info.out_color_space == JCS_CMYK;
        // Inks are converted whole, through their profile, before any
        // filter: only colours go through it as they are read.
        const int32_t decodedWidth = int32_t(info.output_width), decodedHeight = int32_t(info.output_height);
        const int filtered = target == TARGET_BITMAP && !inks &&
                             Reducer_Reduces(decodedWidth, decodedHeight, jpeg->filterWidth, jpeg->filterHeight);
        if (filtered) {
            ReducerStruct* made = nullptr;
            ok = Bitmap_SetSize(bitmap, jpeg->filterWidth, jpeg->filterHeight) &&
                 Reducer_Create(&made, decodedWidth, decodedHeight, 0, 0, decodedWidth, decodedHeight, bitmap);
            reducer = made;
            if (ok)
                first = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                                  info.output_width * 4, 1)[0];
        } else if (target == TARGET_BITMAP) {
            ok = Bitmap_SetSize(bitmap, decodedWidth, decodedHeight);
            // The bitmap stores rows bottom-up: the first scanline goes last.
            step = -int64_t(bitmap->scanline);
            if (ok) first = bitmap->pixels + (int64_t(bitmap->height) - 1) * bitmap->scanline;
        } else {
            int allocated = 0;
            jpeg->pixels = static_cast<unsigned char*>(
                Mem_AllocChecked(info.output_width, info.output_height, 3, &allocated, MEM_HEAP, kModule, __LINE__));
            jpeg->pixelSize = allocated;
            jpeg->stride = jpeg->width * 3;
            step = jpeg->stride;
            first = jpeg->pixels;
            ok = first != nullptr;
        }
        if (ok) {
            jpeg->inks = inks;
            jpeg->inverted = inks && info.saw_Adobe_marker;
            jpeg_start_decompress(&info);
            ok = ReadRows(&info, first, step, bytes, inks, reducer);
            if (ok) jpeg_finish_decompress(&info);
        }
    }
    ReducerStruct* made = reducer;
    Reducer_Destroy(&made);
    if (!ok) JPEG_Reset(jpeg);
    jpeg_destroy_decompress(&info);
    return ok;
}

}  // namespace

int JPEG_Create(JPEGLibStruct** jpeg) {
    if (!jpeg) Core_NullPointer(kModule, __LINE__);
    JPEGLibStruct* j = static_cast<JPEGLibStruct*>(Mem_Alloc(int(sizeof(JPEGLibStruct)), MEM_HEAP, kModule, __LINE__));
    j->tag = kTag;
    JPEG_Reset(j);
    *jpeg = j;
    return 1;
}

int JPEG_Destroy(JPEGLibStruct** jpeg) {
    if (!jpeg) Core_NullPointer(kModule, __LINE__);
    JPEGLibStruct* j = *jpeg;
    *jpeg = nullptr;
    Check(j, __LINE__);
    JPEG_Reset(j);
    j->tag = nullptr;
    Mem_Free(j, int(sizeof(JPEGLibStruct)), MEM_HEAP, kModule, __LINE__);
    return 1;
}

int JPEG_Reset(JPEGLibStruct* jpeg) {
    Check(jpeg, __LINE__);
    if (jpeg->pixels) Mem_Free(jpeg->pixels, jpeg->pixelSize, MEM_HEAP, kModule, __LINE__);
    SideData_Reset(&jpeg->side);
    jpeg->pixels = nullptr;
    jpeg->pixelSize = 0;
    jpeg->inks = jpeg->inverted = 0;
    jpeg->filterWidth = jpeg->filterHeight = 0;
    jpeg->quality100 = jpeg->headerSize = 0;
    jpeg->width = 0;
    jpeg->height = 0;
    jpeg->stride = 0;
    return 1;
}

int JPEG_HasImage(JPEGLibStruct* jpeg) {
    Check(jpeg, __LINE__);
    return jpeg->pixels != nullptr;
}

int JPEG_LoadBuffer(JPEGLibStruct* jpeg, const unsigned char* data, uint32_t size) {
    Check(jpeg, __LINE__);
    if (!data && size > 0) Core_NullPointer(kModule, __LINE__);
    if (jpeg->pixels || size == 0) return 0;
    int whole = 1;
    return Decode(jpeg, data, size, TARGET_RGB, Fixed, &whole, nullptr);
}

int JPEG_ReadHeader(JPEGLibStruct* jpeg, const unsigned char* data, uint32_t size) {
    Check(jpeg, __LINE__);
    if (!data && size > 0) Core_NullPointer(kModule, __LINE__);
    JPEG_Reset(jpeg);
    return size > 0 && Decode(jpeg, data, size, TARGET_HEADER, Fixed, nullptr, nullptr);
}

int JPEG_ReductionFor(int32_t width, int32_t height, int32_t targetWidth, int32_t targetHeight) {
    for (int denominator = 8; denominator > 1; denominator /= 2) {
        // The library's scaled size: the stored size divided, rounded up.
        int64_t w = (int64_t(width) + denominator - 1) / denominator;
        int64_t h = (int64_t(height) + denominator - 1) / denominator;
        if (w >= targetWidth && h >= targetHeight) return denominator;
    }
    return 1;
}

int JPEG_DecodeToBitmap(JPEGLibStruct* jpeg, const unsigned char* data, uint32_t size, int denominator,
                        BitmapStruct* bitmap) {
    CheckDenominator(denominator, __LINE__);
    return JPEG_DecodeToBitmapBy(jpeg, data, size, Fixed, &denominator, bitmap);
}

int JPEG_DecodeToBitmapBy(JPEGLibStruct* jpeg, const unsigned char* data, uint32_t size, JPEGDenominatorFor choose,
                          void* context, BitmapStruct* bitmap) {
    Check(jpeg, __LINE__);
    if (!data && size > 0) Core_NullPointer(kModule, __LINE__);
    if (!choose) Core_NullPointer(kModule, __LINE__);
    JPEG_Reset(jpeg);
    return size > 0 && Decode(jpeg, data, size, TARGET_BITMAP, choose, context, bitmap);
}

int JPEG_LoadFile(JPEGLibStruct* jpeg, const char* path) {
    Check(jpeg, __LINE__);
    if (!path) Core_NullPointer(kModule, __LINE__);
    FileWhole whole;
    int result = 0;
    if (File_ReadWhole(path, &whole) == FILE_WHOLE_DONE)
        result = JPEG_LoadBuffer(jpeg, whole.data, uint32_t(whole.size));
    File_FreeWhole(&whole);
    return result;
}

int JPEG_SaveBitmap(const BitmapStruct* bitmap, double quality, const SideDataStruct* side, const char* mark,
                    BufferStruct* out) {
    if (!bitmap || !out) Core_NullPointer(kModule, __LINE__);
    Buffer_Clear(out);
    if (bitmap->width <= 0 || bitmap->height <= 0 || !bitmap->pixels) return 0;
    static_assert(JPEG_MOST_SIDE == JPEG_MAX_DIMENSION, "libjpeg's own limit");
    if (bitmap->width > JPEG_MOST_SIDE || bitmap->height > JPEG_MOST_SIDE) {
        Log_Print(0, "JPEG copy not encoded: %dx%d is beyond the format\n", bitmap->width, bitmap->height);
        return 0;
    }
    jpeg_compress_struct info;
    ErrorJump error;
    Destination destination = {{}, out};
    info.err = StartErrors(&error);
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        Buffer_Clear(out);
        return 0;
    }
    jpeg_create_compress(&info);
    destination.manager.init_destination = DestinationInit;
    destination.manager.empty_output_buffer = DestinationEmpty;
    destination.manager.term_destination = DestinationTerm;
    info.dest = &destination.manager;
    info.image_width = JDIMENSION(bitmap->width);
    info.image_height = JDIMENSION(bitmap->height);
    // The bitmap's own rows, blue, green, red and a byte the library skips.
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    // The nearest whole percent: 0.57 x 100 is 56.99999... in doubles, and
    // truncating it would give quality 57 the tables of 56.
    int percent = int(floor(quality * 100.0 + 0.5));
    jpeg_set_quality(&info, percent, TRUE);
    // At high qualities the colours keep their full resolution, as the
    // other tools' copies do: halving them would lose more than the quality
    // asked for allows.
    if (percent >= kFullColourQuality)
        for (int c = 0; c < info.num_components; ++c) info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
    SetCoding(&info, side);
    jpeg_start_compress(&info, TRUE);
    WriteSide(&info, side, mark);
    // The bitmap's rows are stored bottom-up.
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = bitmap->pixels + int64_t(bitmap->height - 1 - int32_t(info.next_scanline)) * bitmap->scanline;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return out->size > 0;
}

int JPEG_SaveCoded(const unsigned char* data, uint32_t size, const SideDataStruct* side, const char* mark,
                   BufferStruct* out) {
    if (!data || !out) Core_NullPointer(kModule, __LINE__);
    Buffer_Clear(out);
    jpeg_decompress_struct in;
    jpeg_compress_struct info;
    // One error manager for both objects: either's error comes back here.
    ErrorJump error;
    in.err = info.err = StartErrors(&error);
    volatile int made = 0;
    if (setjmp(error.jump)) {
        if (made) jpeg_destroy_compress(&info);
        jpeg_destroy_decompress(&in);
        Buffer_Clear(out);
        return 0;
    }
    jpeg_create_decompress(&in);
    jpeg_source_mgr source;
    SetSource(&in, &source, data, size);
    jpeg_read_header(&in, TRUE);
    // Inks are not kept: their copies are made as colours.
    if (in.jpeg_color_space == JCS_CMYK || in.jpeg_color_space == JCS_YCCK) {
        jpeg_destroy_decompress(&in);
        return 0;
    }
    // As a decode: no memory for a picture the data is too short to hold.
    if (TooShort(&in, size)) ERREXIT(&in, JERR_INPUT_EOF);
    jvirt_barray_ptr* coefficients = jpeg_read_coefficients(&in);
    jpeg_create_compress(&info);
    made = 1;
    Destination destination = {{}, out};
    destination.manager.init_destination = DestinationInit;
    destination.manager.empty_output_buffer = DestinationEmpty;
    destination.manager.term_destination = DestinationTerm;
    info.dest = &destination.manager;
    jpeg_copy_critical_parameters(&in, &info);
    SetCoding(&info, side);
    // A JFIF header only where the source had one or a density needs it.
    if (!in.saw_JFIF_marker && !(side && side->density > 0)) info.write_JFIF_header = FALSE;
    // A progressive source stays progressive: it is smaller so.
    if (in.progressive_mode) jpeg_simple_progression(&info);
    jpeg_write_coefficients(&info, coefficients);
    WriteSide(&info, side, mark);
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    jpeg_finish_decompress(&in);
    jpeg_destroy_decompress(&in);
    return out->size > 0;
}

int JPEG_HasComment(const unsigned char* data, uint32_t size, const char* text) {
    if (!text) Core_NullPointer(kModule, __LINE__);
    if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8) return 0;
    const size_t length = strlen(text);
    // Markers up to the first scan: 0xFF, a code, a two-byte length that
    // counts itself.
    for (uint32_t at = 2; at + 4 <= size;) {
        if (data[at] != 0xFF) return 0;
        const unsigned code = data[at + 1];
        if (code == 0xFF) {
            ++at;
            continue;
        }
        if (code == 0xDA || code == 0xD9) return 0;
        const uint32_t bytes = uint32_t(data[at + 2]) << 8 | data[at + 3];
        if (bytes < 2 || bytes > size - at - 2) return 0;
        if (code == 0xFE && bytes - 2 == length && memcmp(data + at + 4, text, length) == 0) return 1;
        at += 2 + bytes;
    }
    return 0;
}

int JPEG_GetOrientation(JPEGLibStruct* jpeg, int* orientation) {
    Check(jpeg, __LINE__);
    if (!orientation) Core_NullPointer(kModule, __LINE__);
    *orientation = TiffDir_Orientation(jpeg->side.block[SIDE_EXIF], jpeg->side.size[SIDE_EXIF]);
    return 1;
}
