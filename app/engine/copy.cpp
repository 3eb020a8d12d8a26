// One file's copy, for every front-end: the output name, the resize and
// write with the side data the settings keep, and the reasons a file fails.
#include <string.h>

#include "bitmap.h"
#include "buffer.h"
#include "file.h"
#include "input.h"
#include "language.h"
#include "orv-core.h"
#include "orv-str.h"
#include "output.h"
#include "copy.h"
#include "write.h"

namespace {

const char kModule[] = "app/engine/copy";

}  // namespace

void Copy_ClearReasons(void) {
    File_ClearProblem();
    Bitmap_ClearProblem();
    Mem_TakeRefusal();
}

const char* Copy_Reason(const char* step) {
    if (Mem_TakeRefusal()) return "too large for memory";
    int problem = File_GetProblem();
    if (problem != FILE_PROBLEM_NONE) return File_ProblemText(problem);
    if (Bitmap_GetProblem() != BITMAP_PROBLEM_NONE) return Bitmap_ProblemText(Bitmap_GetProblem());
    return step;
}

int Copy_OutputName(const AppConfig* config, const char* source, const char* subfolder, const NamingStruct* naming,
                    char* output, int size) {
    if (!config || !source || !subfolder || !output) Core_NullPointer(kModule, __LINE__);
    char folder[STR_TEXT_SIZE], base[STR_TEXT_SIZE], extension[STR_TEXT_SIZE];
    Path_Split(source, folder, int(sizeof folder), base, int(sizeof base), extension, int(sizeof extension));
    char prepend[STR_TEXT_SIZE], append[STR_TEXT_SIZE];
    output[0] = 0;
    if (naming && !(Naming_Expand(config->Prepend, naming, prepend, int(sizeof prepend)) &&
                    Naming_Expand(config->Append, naming, append, int(sizeof append))))
        return 0;
    int beside = config->SameDirectory == 1;
    const char* parts[7] = {beside ? folder : config->Path,
                            beside ? "" : subfolder,
                            naming ? prepend : config->Prepend,
                            base,
                            naming ? append : config->Append,
                            config->CopySuffix,
                            Output_Kind(Input_CopyKind(config, source))->extension};
    int64_t length = 0;
    for (const char* part : parts) length += Str_Length(part);
    output[0] = 0;
    if (length >= size || Str_Length(source) >= STR_TEXT_SIZE) return 0;
    for (const char* part : parts) Str_AppendN(output, part, size);
    return 1;
}

namespace {

// Besides the names, the file itself: a link or another spelling of the
// same path must not let the output replace its source. 1 (the message and
// reason in work) when it would.
int ReplacesSource(const char* path, ResizeWork* work) {
    if (Path_Compare(path, work->output) != 0 && !File_IsSameFile(path, work->output)) return 0;
    Str_Format(work->message, int(sizeof work->message),
               Language_Text("Unable to overwrite matching filenames (%s)..."), work->base);
    work->reason = "would replace its source";
    return 1;
}

}  // namespace

int ResizeWork_Create(ResizeWork* work) {
    if (!work) Core_NullPointer(kModule, __LINE__);
    work->side = SideDataStruct{};
    work->decodedPath[0] = 0;
    Bitmap_Create(&work->bitmap);
    Bitmap_Create(&work->larger);
    File_Create(&work->file);
    return 1;
}

int ResizeWork_Destroy(ResizeWork* work) {
    if (!work) Core_NullPointer(kModule, __LINE__);
    SideData_Reset(&work->side);
    Bitmap_Destroy(&work->bitmap);
    Bitmap_Destroy(&work->larger);
    File_Destroy(&work->file);
    return 1;
}

int Copy_File(const AppConfig* config, const char* path, const char* output, const SizeFacts* facts, ResizeWork* work) {
    if (!config || !path || !work) Core_NullPointer(kModule, __LINE__);
    Path_GetName(path, work->base, int(sizeof work->base), 1);
    work->message[0] = 0;
    work->reason = "";
    work->skipped = 0;
    work->sourceBytes = work->outputBytes = 0;
    work->written = CopySize{};
    Copy_ClearReasons();
    const int size = int(sizeof work->message);
    if (!File_Stat(work->file, path)) {
        Str_Format(work->message, size, Language_Text("Unable to open file (%s)..."), work->base);
        work->reason = Copy_Reason("cannot be examined");
        return 0;
    }
    File_GetSize(work->file, &work->sourceBytes);
    // The source's times as the system keeps them, taken before reading it.
    const FileInfo sourceTimes = work->file->info;
    CopySize copy = {};
    if (work->bitmap->pixels && Str_Equal(work->decodedPath, path)) {
        Log_Print(0, "Decoded already\n");
        Input_PlanForCopy(config, path, work->bitmap, &work->decoded, &copy);
    } else if (Input_LoadForCopy(config, path, work->bitmap, &copy, &work->side)) {
        Str_Copy(work->decodedPath, path);
        work->decoded = copy;
        Bitmap_Reset(work->larger);
    } else {
        work->decodedPath[0] = 0;
        Str_Format(work->message, size, Language_Text("A problem was encountered loading %s..."), work->base);
        work->reason = Copy_Reason("not a picture");
        return 0;
    }
    // A budget for the whole run gives the copy its share as its limit.
    if (work->share > 0 && (copy.limit <= 0 || work->share < copy.limit)) {
        copy.limit = work->share;
        copy.limitIsSource = 0;
    }
    if (work->share > 0 && work->shareQuality < copy.quality * 100.0) copy.quality = work->shareQuality / 100.0;
    int named = output ? Str_Length(output) < sizeof work->output
                       : Copy_OutputName(config, path, "", nullptr, work->output, int(sizeof work->output));
    if (!named) {
        Str_Format(work->message, size, Language_Text("Path too long (%s)..."), work->base);
        work->reason = "path too long";
        return 0;
    }
    if (output) Str_Copy(work->output, output);
    if (ReplacesSource(path, work)) return 0;
    const int kind = Input_CopyKind(config, path);
    // A copy at most half of a larger one of the same picture each side is
    // reduced from that one: as faithful, for a fraction of the work.
    const BitmapStruct* larger = work->larger;
    const int fromLarger = copy.fit == FIT_WITHIN && larger->pixels && int64_t(copy.width) * 2 <= larger->width &&
                           int64_t(copy.height) * 2 <= larger->height && config->Filter == RESIZE_FILTER_LANCZOS;
    if (fromLarger) Log_Print(0, "Reduced from the %dx%d copy\n", larger->width, larger->height);
    BitmapStruct* from = fromLarger ? work->larger : work->bitmap;
    // The first copy of a decode, the largest of a run of several
    // profiles, is the one kept.
    BitmapStruct* keep = larger->pixels || !config->AlsoProfiles[0] ? nullptr : work->larger;
    BufferStruct file = {};
    if (!Write_Copy(config, from, &copy, &work->side, kind, facts, path, &file, keep)) {
        if (copy.beyond) {
            Str_Format(work->message, size, Language_Text("A problem was encountered saving %s..."), work->base);
            work->reason = Output_Kind(kind)->beyond;
        } else if (copy.unfit) {
            Str_Format(work->message, size, Language_Text("Unable to fit %s in %'I64d KB..."), work->base,
                       copy.limit / 1024);
            work->reason = "does not fit the size limit, even at 16 pixels a side";
        } else {
            Str_Format(work->message, size, Language_Text("A problem was encountered saving %s..."), work->base);
            work->reason = Copy_Reason("could not be written");
        }
        return 0;
    }
    // A name that says the copy's size or quality follows the copy made.
    int nameHolds = 1;
    if (work->namer.name) {
        nameHolds = work->namer.name(work->namer.data, &copy, work->output, int(sizeof work->output), &work->reason,
                                     &work->skipped);
        if (!nameHolds)
            Str_Format(work->message, size, Language_Text("Unable to overwrite matching filenames (%s)..."),
                       work->base);
        else
            nameHolds = !ReplacesSource(path, work);
    }
    const int saved = nameHolds && File_SaveWhole(work->output, file.data, uint32_t(file.size), 0);
    if (nameHolds && !saved) {
        Str_Format(work->message, size, Language_Text("A problem was encountered saving %s..."), work->base);
        work->reason = Copy_Reason("could not be written");
    }
    Buffer_Free(&file);
    if (!saved) return 0;
    work->written = copy;
    if (!File_Stat(work->file, work->output)) {
        Str_Format(work->message, size, Language_Text("Unable to open output file (%s)..."), work->base);
        work->reason = Copy_Reason("cannot be examined");
        return 0;
    }
    File_GetSize(work->file, &work->outputBytes);
    if (config->DuplicateDate == 1) File_CopyTimes(work->file, &sourceTimes);
    return 1;
}

void Copy_FinishedText(int images, int64_t savedBytes, char* text, int size) {
    Str_Format(text, size, Language_Plural("Finished resizing %d images, %'I64d Kb saved.", images), images,
               savedBytes / 1024);
}

void Copy_FinishedCopiesText(int copies, int images, int64_t savedBytes, char* text, int size) {
    Str_Format(text, size, Language_Plural("Finished making %d copies of %d images, %'I64d Kb saved.", copies), copies,
               images, savedBytes / 1024);
}

void Copy_CancelledText(int images, char* text, int size) {
    Str_Format(text, size, Language_Plural("Resizing cancelled after %d images.", images), images);
}

void Copy_StatisticsTexts(const AppConfig* config, char* images, char* original, char* reduced, char* savings,
                          int size) {
    if (!config || !images || !original || !reduced || !savings) Core_NullPointer(kModule, __LINE__);
    Str_Format(images, size, "%'I64d", config->ImagesProcessed);
    Str_Format(original, size, "%'I64dk", config->Original / 1024);
    Str_Format(reduced, size, "%'I64dk", config->Resized / 1024);
    // Totals of earlier versions counted larger copies as they were.
    const int64_t saved = config->Original > config->Resized ? config->Original - config->Resized : 0;
    Str_Format(savings, size, "%'I64dk", saved / 1024);
}
