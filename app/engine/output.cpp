#include "output.h"

#include "file.h"
#include "jpegl.h"
#include "orv-core.h"
#include "orv-str.h"
#include "pngl.h"
#include "webpl.h"

namespace {

const char kModule[] = "app/engine/output";

// Copies carry the program's name; a file larger than this is never one of
// them worth reading through.
const char kMark[] = "Brimlow";
const int64_t kMostCopyBytes = int64_t(256) << 20;

int SaveJpeg(const BitmapStruct* bitmap, const CopyEncoding* how, BufferStruct* out) {
    return JPEG_SaveBitmap(bitmap, how->quality, how->side, how->mark, out);
}

int KeepJpeg(const unsigned char* data, uint32_t size, const CopyEncoding* how, BufferStruct* out) {
    return JPEG_SaveCoded(data, size, how->side, how->mark, out);
}

int KeepPng(const unsigned char* data, uint32_t size, const CopyEncoding* how, BufferStruct* out) {
    return PNGL_SaveCoded(data, size, how->side, how->srgb, how->mark, out);
}

int KeepWebp(const unsigned char* data, uint32_t size, const CopyEncoding* how, BufferStruct* out) {
    return WEBP_SaveCoded(data, size, how->side, how->mark, out);
}

// Kinds with alpha store plain colours: weighted ones are the caller's
// mistake, which would darken every translucent pixel.
void CheckPlain(const BitmapStruct* bitmap, int line) {
    if (!bitmap->weighted) return;
    Core_SetSource(kModule, line);
    Core_Abort("Colours weighted by alpha handed to a writer that keeps alpha\n");
}

int SavePng(const BitmapStruct* bitmap, const CopyEncoding* how, BufferStruct* out) {
    CheckPlain(bitmap, __LINE__);
    return PNGL_SaveBuffer(bitmap, how->side, how->srgb, how->mark, out);
}

int SaveWebp(const BitmapStruct* bitmap, const CopyEncoding* how, BufferStruct* out) {
    CheckPlain(bitmap, __LINE__);
    return WEBP_SaveBuffer(bitmap, how->quality, how->lossless, how->side, how->mark, out);
}

// A photograph's PNG takes several times a JPEG's bits, a WebP about a
// third fewer. The longest sides are the bridges' own, which their reasons
// spell out.
const OutputKind kOutputKinds[COPY_KINDS] = {
    {"JPEG", "JPEG", ".jpg", 1, 0, 1, 1, 1.0, JPEG_MOST_SIDE, "too large for JPEG (at most 65500 pixels a side)",
     SaveJpeg, JPEG_HasComment, KeepJpeg},
    {"PNG", "PNG", ".png", 0, 1, 0, 0, 5.0, PNGL_MOST_SIDE, "too large for PNG (at most 1000000 pixels a side)",
     SavePng, PNGL_HasSoftware, KeepPng},
    {"WebP", "WebP", ".webp", 1, 1, 0, 0, 0.7, WEBP_MOST_SIDE, "too large for WebP (at most 16383 pixels a side)",
     SaveWebp, WEBP_HasMark, KeepWebp},
};

}  // namespace

const OutputKind* Output_Kind(int kind) {
    if (kind < 0 || kind >= COPY_KINDS) {
        Core_SetSource(kModule, __LINE__);
        Core_Abort("No copy kind %d\n", kind);
    }
    return &kOutputKinds[kind];
}

const char* Output_Mark(void) {
    return kMark;
}

int Output_IsOurCopy(const char* path) {
    if (!path) Core_NullPointer(kModule, __LINE__);
    const OutputKind* kind = nullptr;
    for (const OutputKind& k : kOutputKinds)
        if (Str_EndsWithNoCase(path, k.extension)) kind = &k;
    int64_t bytes = 0;
    if (!kind || !File_GetSizeByPath(path, &bytes) || bytes > kMostCopyBytes) return 0;
    FileWhole whole;
    const int read = File_ReadWhole(path, &whole) == FILE_WHOLE_DONE;
    const int ours = read && kind->marked(whole.data, uint32_t(whole.size), kMark);
    File_FreeWhole(&whole);
    if (!ours) Log_Print(0, "Not a copy of the program's [%s]\n", path);
    return ours;
}

const char* const* Output_FormatNames(void) {
    struct Names {
        const char* text[COPY_KINDS + 2];
        Names() {
            for (int k = 0; k < COPY_KINDS; ++k) text[k] = kOutputKinds[k].configName;
            text[FORMAT_SAME_KIND] = "Original";
            text[FORMAT_SAME_KIND + 1] = nullptr;
        }
    };
    static const Names names;
    return names.text;
}
