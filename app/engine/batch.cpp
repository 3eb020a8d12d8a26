// The batch engine: files handed to as many workers as the caller asks for,
// the largest first when there are several, each file admitted only when
// its memory fits beside the files in progress. One lock guards the run's
// state and every call to the host, so the host never hears two workers at
// once.
#include "batch.h"
#include "budget.h"

#include <math.h>
#include <string.h>

#include <algorithm>

#include "bitmap.h"
#include "language.h"
#include "orv-core.h"
#include "output.h"
#include "orv-str.h"
#include "thread.h"

struct CoreLock;
struct CoreEvent;

struct BatchStruct {
    const char* tag;
    AppConfig* settings;  // owned copy of the settings the run reads; nobody changes it
    AppConfig runs[PLAN_MOST_PROFILES];  // views of settings, one for each profile of the run (Plan_ProfileView)
    int profiles;                        // profiles of the run, 1 to PLAN_MOST_PROFILES
    BatchFile* files;     // owned, count entries: each source's copies in a row, one a profile, in list order
    int count;            // entries: sources times profiles
    int sources;          // number of sources
    int filesBytes;       // size of the files block, for its release
    int* order;           // owned, count entry indices: sorted by output to find collisions, then the
                          // sources' first entries in the order they start in
    int orderBytes;       // size of the order block
    int stopOnFailure;    // 1 (default): a failure starts no more files; 0: the run goes on
    // The run, guarded by lock; workers wait on changed for room or a turn.
    CoreLock* lock;
    CoreEvent* changed;           // set whenever a file ends or the run stops
    const JobHost* host;          // the front-end for this run; not owned
    int next;                     // position in order of the next source to start
    int started;                  // sources started, for "Resizing %d of %d"
    int running;                  // files in progress now
    int admissions;               // files begun so far, retries included
    int soloWanted;               // files waiting to run again alone, or running so; no other file begins
    int64_t memoryInUse;          // estimates of the files in progress, bytes
    int64_t memoryBudget;         // room under the tracked-memory limit when the run began, bytes
    int stop;                     // 1 once Cancel or a failure ended the run; started files finish
    int cancelled;                // 1 when Cancel ended it
    int failed;                   // files that failed or were refused
    int skipped;                  // files left out for a taken name (COLLISION_SKIP)
    int failedIndex;              // the first failed file in list order, -1 while none
    char failure[STR_TEXT_SIZE];  // the user's message for failedIndex
    int workersRun;               // workers that took part: the caller and the pool jobs accepted
    // Totals of the files written, for the front-end's statistics.
    int written;          // copies written
    int sourcesWritten;   // sources with every copy written
    int64_t sourceTotal;  // bytes of their sources
    int64_t outputTotal;  // bytes of their outputs
    int64_t savedTotal;   // bytes saved: what each output is smaller than its source, a larger one 0
    BudgetStruct budget;  // the run's budget (TotalSize) and what is left of it; guarded by lock
    int64_t encodes;      // encodes they took
};

namespace {

const char kModule[] = "app/engine/batch";
const char kTag[] = "BatchStruct:app/engine/batch";

// How long a waiting worker sleeps before it looks again, even when no file
// ended: Cancel is polled at this pace while files wait for memory.
const int kWaitMs = 100;

// Bytes a resize takes beside the picture buffers: decoder and encoder
// state, the output's compressed data.
const int64_t kFileOverhead = 1 << 20;

// Pixels guessed per byte of a file whose dimensions are unknown: more than
// a well-compressed photograph holds, so the guess errs towards room.
const int64_t kPixelsPerFileByte = 8;

void Check(const BatchStruct* batch, int line) {
    if (!batch) Core_NullPointer(kModule, line);
    Class_Check(batch, kTag, kModule, line);
}

void Lock(BatchStruct* b) {
    Mutex_Lock(b->lock, -1, kModule, __LINE__);
}

void Unlock(BatchStruct* b) {
    Mutex_Unlock(b->lock, kModule, __LINE__);
}

// Lets the lock go until a file ends, the run stops or kWaitMs pass.
void WaitForChange(BatchStruct* b) {
    Event_Set(b->changed, 0);
    Unlock(b);
    int signalled = 0;
    Event_Wait(b->changed, &signalled, kWaitMs, kModule, __LINE__);
    Lock(b);
}

// A source's index as the front-end gave it; any other is a fatal stop.
void CheckIndex(const BatchStruct* b, int index) {
    if (index < 0 || index >= b->sources) Core_Abort("Batch index out of range (%d / %d)\n", index, b->sources);
}

int Admits(const BatchStruct* b, const BatchFile* file) {
    if (b->soloWanted > 0) return 0;
    return b->running == 0 || b->memoryInUse + file->memory <= b->memoryBudget;
}

void Begin(BatchStruct* b, int index) {
    BatchFile* file = &b->files[index];
    file->overlapped = b->running > 0;
    file->admission = ++b->admissions;
    file->state = BATCH_RUNNING;
    b->running += 1;
    b->memoryInUse += file->memory;
}

// The next source for a worker, its first entry begun, or -1 when the
// worker is done. Called
// and returns with the lock held. A worker that must wait first lets go of
// its last picture: waiting workers hold no memory the estimates do not
// count, and a file running again alone has the room to itself.
int TakeFile(BatchStruct* b, ResizeWork* work) {
    for (;;) {
        if (b->stop || b->next >= b->sources) return -1;
        if (b->host->cancelled(b->host->data)) {
            b->stop = 1;
            b->cancelled = 1;
            Log_Print(0, "Cancelled\n");
            Event_Set(b->changed, 1);
            return -1;
        }
        int index = b->order[b->next];
        BatchFile* file = &b->files[index];
        if (Admits(b, file)) {
            b->next += 1;
            Begin(b, index);
            char base[STR_TEXT_SIZE], text[STR_TEXT_SIZE];
            Path_GetName(file->path, base, int(sizeof base), 1);
            b->started += 1;
            Str_Format(text, int(sizeof text), Language_Text("Resizing %d of %d, %s..."), b->started, b->sources, base);
            b->host->progress(b->host->data, text);
            Log_Print(0, "%d/%d:Resize [%s]\n", index / b->profiles, b->sources, file->path);
            return index;
        }
        Bitmap_Reset(work->bitmap);
        WaitForChange(b);
    }
}

// The refusals, each with its words and its message.
const BatchRefusal kTooLong = {"path too long", "Path too long (%s)...", 0};
const BatchRefusal kSameOutput = {"same output as an earlier file", "Unable to overwrite matching filenames (%s)...",
                                  0};
const BatchRefusal kOriginal = {"would replace an original", "Unable to overwrite matching filenames (%s)...", 0};
const BatchRefusal kExisting = {"would replace an existing file", "Unable to overwrite matching filenames (%s)...", 0};
const BatchRefusal kSkipped = {"skipped: its copy's name is taken", "%s skipped: its copy's name is taken...", 1};
// The most numbers tried for a taken name, "name (1)" to "name (9999)".
const int kMostNumbers = 9999;

// Why an output may not be written now, or null: an existing file there is
// one of the run's sources, or a file the program did not write (an
// earlier copy, carrying the mark, is replaced).
const BatchRefusal* InTheWay(const BatchStruct* b, const char* output, int explicitOutput) {
    FileIdentity existing;
    if (!File_GetIdentity(output, &existing)) return nullptr;
    // A source's entries share its identity: its first is asked.
    for (int i = 0; i < b->count; i += b->profiles) {
        const BatchFile* source = &b->files[i];
        if (source->hasIdentity && source->identity.volume == existing.volume &&
            source->identity.index == existing.index)
            return &kOriginal;
    }
    if (explicitOutput || Output_IsOurCopy(output)) return nullptr;
    return b->settings->OnCollision == COLLISION_SKIP ? &kSkipped : &kExisting;
}

const BatchRefusal* Refusal(const BatchStruct* b, const BatchFile* file) {
    return file->refusal ? file->refusal : InTheWay(b, file->output, file->explicitOutput);
}

// 1 when a run's name texts hold a token of the copy as made.
int NamesResult(const AppConfig* run) {
    return Naming_UsesResult(run->Prepend) || Naming_UsesResult(run->Append);
}

// The tokens' values for entry index into naming (base, the caller's
// STR_TEXT_SIZE bytes, holds {name}): the copy as made, or with made null
// as planned from the size the list knows.
void EntryNaming(const BatchStruct* b, int index, const CopySize* made, NamingStruct* naming, char* base) {
    const BatchFile* file = &b->files[index];
    const AppConfig* run = &b->runs[index % b->profiles];
    const int kind = Input_CopyKind(run, file->path);
    CopySize copy = {};
    if (made)
        copy = *made;
    else
        Input_PlanListed(run, file->path, file->width, file->height, &file->facts, 0, &copy);
    Path_GetName(file->path, base, STR_TEXT_SIZE, 1);
    const ResizeProfile* profile = Plan_ActiveProfile(run);
    naming->base = base;
    naming->profile = profile ? profile->Name : "Custom";
    naming->width = copy.width;
    naming->height = copy.height;
    naming->quality = Output_Kind(kind)->hasQuality && !copy.lossless ? int32_t(lround(copy.quality * 100.0)) : 100;
    Str_Copy(naming->date, file->date);
    naming->position = index / b->profiles + 1;
    naming->count = b->sources;
    naming->pattern = 0;
}

// 1 when another entry of the run than index has output name.
int TakenInRun(const BatchStruct* b, int index, const char* name) {
    for (int i = 0; i < b->count; ++i)
        if (i != index && Path_Compare(b->files[i].output, name) == 0) return 1;
    return 0;
}

// What a run's copy is called once it is made, when its name says its
// size or quality (CopyNamer): the name its tokens now give, unless another
// copy of the run or a file in the way holds it, which OnCollision then
// decides. The entry's output follows, under the lock.
struct MadeNaming {
    BatchStruct* b;
    int index;
};

int NameMade(void* data, const CopySize* made, char* output, int size, const char** reason, int* skips) {
    const MadeNaming* m = static_cast<const MadeNaming*>(data);
    BatchStruct* b = m->b;
    BatchFile* file = &b->files[m->index];
    NamingStruct naming;
    char base[STR_TEXT_SIZE], name[STR_TEXT_SIZE], free[STR_TEXT_SIZE];
    EntryNaming(b, m->index, made, &naming, base);
    if (!Copy_OutputName(&b->runs[m->index % b->profiles], file->path, file->subfolder, &naming, name,
                         int(sizeof name))) {
        *reason = kTooLong.reason;
        return 0;
    }
    Lock(b);
    int ok = 1;
    Str_Copy(free, name);
    for (int n = 1; Path_Compare(free, file->output) != 0; ++n) {
        const int taken = TakenInRun(b, m->index, free);
        const BatchRefusal* way = taken ? nullptr : InTheWay(b, free, 0);
        if (!taken && !way) break;
        const int numbers = b->settings->OnCollision == COLLISION_NUMBER && way != &kOriginal;
        if (!numbers || n > kMostNumbers || !Path_Numbered(name, n, free, int(sizeof free))) {
            const BatchRefusal* why = way ? way : b->settings->OnCollision == COLLISION_SKIP ? &kSkipped : &kSameOutput;
            *reason = why->reason;
            *skips = why->skips;
            ok = 0;
            break;
        }
    }
    if (ok) {
        Str_Copy(file->output, free);
        Str_CopyN(output, free, size);
    }
    Unlock(b);
    return ok;
}

// The run's budget, when the settings set one: the plan from every copy's
// estimate, and each entry's estimate at the plan.
void PlanBudget(BatchStruct* b) {
    const int64_t budget = int64_t(b->settings->TotalSize) * 1024;
    int bytes = 0;
    BudgetCopy* copies = budget > 0 ? static_cast<BudgetCopy*>(Mem_AllocChecked(b->count, sizeof(BudgetCopy), 1, &bytes,
                                                                                MEM_HEAP, kModule, __LINE__))
                                    : nullptr;
    if (!copies) {
        Budget_Plan(&b->budget, budget > 0 ? budget : 0, nullptr, 0);
        return;
    }
    for (int i = 0; i < b->count; ++i) {
        const BatchFile* file = &b->files[i];
        Budget_CopyOf(&b->runs[i % b->profiles], file->path, file->width, file->height, &file->facts, &copies[i]);
    }
    Budget_Plan(&b->budget, budget, copies, b->count);
    for (int i = 0; i < b->count; ++i)
        b->files[i].estimate = Budget_Estimate(&copies[i], b->budget.quality, b->budget.factor);
    Log_Print(0, "Together at most %I64d bytes: quality %d, sides x %.3f, %I64d bytes planned\n", budget,
              b->budget.quality, b->budget.factor, b->budget.planned);
    Mem_Free(copies, bytes, MEM_HEAP, kModule, __LINE__);
}

// The profiles of the source whose first entry is head, in the order its
// copies are made: the largest first, for a smaller one may be reduced from
// it; equal ones in the run's order.
void LargestFirst(const BatchStruct* b, int head, int order[PLAN_MOST_PROFILES]) {
    int64_t pixels[PLAN_MOST_PROFILES];
    for (int k = 0; k < b->profiles; ++k) {
        const BatchFile* file = &b->files[head + k];
        CopySize planned = {};
        Plan_Copy(&b->runs[k], file->width, file->height, &planned);
        order[k] = k;
        pixels[k] = int64_t(planned.width) * planned.height;
    }
    std::stable_sort(order, order + b->profiles, [&pixels](int x, int y) { return pixels[x] > pixels[y]; });
}

// Sorts order's count entries by output, equal ones in list order.
void SortByOutput(BatchStruct* b) {
    const BatchFile* files = b->files;
    for (int i = 0; i < b->count; ++i) b->order[i] = i;
    std::sort(b->order, b->order + b->count, [files](int x, int y) {
        int order = Path_Compare(files[x].output, files[y].output);
        return order < 0 || (order == 0 && x < y);
    });
}

// Under COLLISION_NUMBER, before the run: an output a file of the user's
// holds becomes the first of "name (1)", "name (2)", ... that none holds
// (an earlier copy of the program's may be replaced, as always), and of
// files sharing an output, each after the first in list order takes the
// next number, until no two share one. A name with no free number is left
// for the run to refuse.
void NumberOutputs(BatchStruct* b) {
    int baseBytes = 0, numberBytes = 0;
    char* base =
        static_cast<char*>(Mem_AllocChecked(b->count, STR_TEXT_SIZE, 1, &baseBytes, MEM_HEAP, kModule, __LINE__));
    int* number = static_cast<int*>(Mem_AllocChecked(b->count, 4, 1, &numberBytes, MEM_HEAP, kModule, __LINE__));
    auto next = [&](int i) {
        BatchFile* file = &b->files[i];
        if (number[i] >= kMostNumbers) return 0;
        number[i] += 1;
        return Path_Numbered(base + int64_t(i) * STR_TEXT_SIZE, number[i], file->output, int(sizeof file->output));
    };
    for (int i = 0; base && number && i < b->count; ++i) {
        BatchFile* file = &b->files[i];
        Str_Copy(base + int64_t(i) * STR_TEXT_SIZE, file->output);
        number[i] = 0;
        if (!file->refusal && !file->explicitOutput)
            while (InTheWay(b, file->output, 0) && next(i)) continue;
    }
    for (int changed = base && number; changed;) {
        changed = 0;
        SortByOutput(b);
        for (int k = 1; k < b->count; ++k) {
            const int i = b->order[k];
            const BatchFile* file = &b->files[i];
            if (file->refusal || file->explicitOutput || Path_Compare(b->files[b->order[k - 1]].output, file->output))
                continue;
            if (!next(i)) continue;
            while (InTheWay(b, file->output, 0) && next(i)) continue;
            changed = 1;
        }
    }
    if (base) Mem_Free(base, baseBytes, MEM_HEAP, kModule, __LINE__);
    if (number) Mem_Free(number, numberBytes, MEM_HEAP, kModule, __LINE__);
}

// Before any file runs: every output named (a name that does not fit
// refuses its file), every source's identity and memory estimate taken, and
// of files with the same output (as the file system compares names) all but
// the first in the list refused (or skipped, or numbered first, as
// OnCollision says). Then the order files start in: the list's for one
// worker; for several the largest first (by the memory estimate, which
// follows the pixels), so that no worker is left with a large file at the
// end while the others have nothing to do.
void PrepareRun(BatchStruct* b, int workers) {
    for (int i = 0; i < b->count; ++i) {
        BatchFile* file = &b->files[i];
        b->order[i] = i;
        // A source is examined once, for all its copies.
        if (i % b->profiles == 0) {
            file->hasIdentity = File_GetIdentity(file->path, &file->identity);
        } else {
            file->identity = b->files[i - 1].identity;
            file->hasIdentity = b->files[i - 1].hasIdentity;
        }
        const AppConfig* run = &b->runs[i % b->profiles];
        // {date} reads the source once, for all its copies.
        if (Naming_UsesDate(run->Prepend) || Naming_UsesDate(run->Append)) {
            if (i % b->profiles == 0)
                Input_DateTaken(file->path, file->date);
            else
                Str_Copy(file->date, b->files[i - 1].date);
        }
        NamingStruct naming;
        char base[STR_TEXT_SIZE];
        EntryNaming(b, i, nullptr, &naming, base);
        if (!file->refusal && !file->explicitOutput &&
            !Copy_OutputName(run, file->path, file->subfolder, &naming, file->output, int(sizeof file->output)))
            file->refusal = &kTooLong;
        int64_t bytes = 0;
        File_GetSizeByPath(file->path, &bytes);
        file->memory = Batch_EstimateMemory(run, file->path, file->width, file->height, bytes);
    }
    if (b->settings->OnCollision == COLLISION_NUMBER) NumberOutputs(b);
    PlanBudget(b);
    const BatchFile* files = b->files;
    // Equal outputs stay in list order, so the first of them is the one kept.
    SortByOutput(b);
    for (int k = 1; k < b->count; ++k) {
        BatchFile* file = &b->files[b->order[k]];
        // A name that says a size the list does not know is decided once
        // the copy is made.
        if (file->width <= 0 && NamesResult(&b->runs[b->order[k] % b->profiles])) continue;
        if (!file->refusal && Path_Compare(b->files[b->order[k - 1]].output, file->output) == 0)
            file->refusal = b->settings->OnCollision == COLLISION_SKIP ? &kSkipped : &kSameOutput;
    }
    // Each source's largest copy, made first; a worker makes all of a
    // source's copies.
    for (int i = 0; i < b->sources; ++i) {
        int sizes[PLAN_MOST_PROFILES];
        LargestFirst(b, i * b->profiles, sizes);
        b->order[i] = i * b->profiles + sizes[0];
    }
    if (workers > 1)
        std::stable_sort(b->order, b->order + b->sources,
                         [files](int x, int y) { return files[x].memory > files[y].memory; });
}

void Refuse(const BatchFile* file, const BatchRefusal* refusal, ResizeWork* work) {
    Path_GetName(file->path, work->base, int(sizeof work->base), 1);
    Str_Format(work->message, int(sizeof work->message), Language_Text(refusal->message), work->base);
    work->reason = refusal->reason;
}

void End(BatchStruct* b, BatchFile* file) {
    b->running -= 1;
    b->memoryInUse -= file->memory;
    Event_Set(b->changed, 1);
}

// Resizes file index, which has begun; lock held on entry and return. A
// failure beside other files may be theirs (memory, most likely), so the
// file waits until nothing else runs and tries once more alone.
void ResizeBegun(BatchStruct* b, int index, ResizeWork* work) {
    BatchFile* file = &b->files[index];
    work->share = Budget_Share(&b->budget, file->estimate, &work->shareQuality);
    // While this file runs again, no other file begins: a second failure is
    // its own.
    int alone = 0;
    for (;;) {
        Unlock(b);
        const BatchRefusal* refusal = Refusal(b, file);
        const AppConfig* run = &b->runs[index % b->profiles];
        MadeNaming naming = {b, index};
        work->namer = NamesResult(run) ? CopyNamer{&naming, NameMade} : CopyNamer{nullptr, nullptr};
        int ok = 0;
        if (refusal)
            Refuse(file, refusal, work);
        else
            ok = Copy_File(run, file->path, file->output, &file->facts, work);
        Lock(b);
        End(b, file);
        b->soloWanted -= alone;
        file->reason = ok ? nullptr : work->reason;
        if (ok) {
            file->state = BATCH_WRITTEN;
            file->sourceBytes = work->sourceBytes;
            file->outputBytes = work->outputBytes;
            file->written = work->written;
            b->written += 1;
            b->encodes += work->written.encodes;
            b->sourceTotal += work->sourceBytes;
            b->outputTotal += work->outputBytes;
            if (work->sourceBytes > work->outputBytes) b->savedTotal += work->sourceBytes - work->outputBytes;
            break;
        }
        if ((refusal && refusal->skips) || (!refusal && work->skipped)) {
            file->state = BATCH_SKIPPED;
            b->skipped += 1;
            break;
        }
        // Another file beside it: one running as it began, or one begun since.
        int overlapped = file->overlapped || b->admissions != file->admission;
        if (!overlapped || refusal) {
            file->state = BATCH_FAILED;
            b->failed += 1;
            if (b->failedIndex < 0 || index < b->failedIndex) {
                b->failedIndex = index;
                Str_CopyN(b->failure, work->message, int(sizeof b->failure));
            }
            if (b->stopOnFailure) b->stop = 1;
            break;
        }
        Log_Print(0, "Retrying [%s] alone\n", file->path);
        Bitmap_Reset(work->bitmap);
        b->soloWanted += 1;
        alone = 1;
        while (b->running > 0) WaitForChange(b);
        Begin(b, index);
    }
    Budget_Return(&b->budget, work->share, file->estimate, work->shareQuality,
                  file->state == BATCH_WRITTEN ? file->outputBytes : 0);
}

// The copies of the source whose largest copy, the entry begun, TakeFile
// gave: one profile after another on this worker, largest first (each
// begun when the memory allows, and reusing the decode while the worker
// holds it); then the front-end hears of the source: written when every
// copy was, else the first reason. Lock held on entry and return.
void ResizeSource(BatchStruct* b, int begun, ResizeWork* work) {
    const char* reason = nullptr;
    int written = 1;
    const int head = begun - begun % b->profiles;
    int order[PLAN_MOST_PROFILES];
    LargestFirst(b, head, order);
    for (int n = 0; n < b->profiles; ++n) {
        const int k = order[n];
        BatchFile* file = &b->files[head + k];
        if (n > 0) {
            if (b->stop) break;
            // A worker that waits holds no picture the estimates do not count.
            while (!Admits(b, file)) {
                Bitmap_Reset(work->bitmap);
                WaitForChange(b);
            }
            Begin(b, head + k);
        }
        ResizeBegun(b, head + k, work);
        if (file->state != BATCH_WRITTEN) {
            if (written) reason = work->reason;
            written = 0;
        }
    }
    b->sourcesWritten += written;
    if (b->host->fileDone) b->host->fileDone(b->host->data, head / b->profiles, written, written ? "" : reason);
}

void WorkLoop(void* data) {
    BatchStruct* b = static_cast<BatchStruct*>(data);
    ResizeWork work = {};
    ResizeWork_Create(&work);
    Lock(b);
    for (int index = TakeFile(b, &work); index >= 0; index = TakeFile(b, &work)) ResizeSource(b, index, &work);
    Unlock(b);
    ResizeWork_Destroy(&work);
}

void CloseRun(BatchStruct* b) {
    char text[STR_TEXT_SIZE];
    if (b->stopOnFailure && b->failedIndex >= 0) {
        b->host->message(b->host->data, b->failure);
    } else if (b->cancelled) {
        Copy_CancelledText(b->written, text, int(sizeof text));
        b->host->message(b->host->data, text);
    } else if (b->profiles > 1) {
        Copy_FinishedCopiesText(b->written, b->sourcesWritten, b->savedTotal, text, int(sizeof text));
        b->host->message(b->host->data, text);
    } else {
        Copy_FinishedText(b->written, b->savedTotal, text, int(sizeof text));
        b->host->message(b->host->data, text);
    }
}

}  // namespace

int Batch_Create(BatchStruct** batch, const AppConfig* settings, int count) {
    if (!batch || !settings) Core_NullPointer(kModule, __LINE__);
    *batch = nullptr;
    if (count < 0) Core_Abort("Negative batch size (%d)\n", count);
    char names[PLAN_MOST_PROFILES][CONFIG_NAME_SIZE];
    const int profiles = Plan_RunProfiles(settings, names);
    int filesBytes = 0, orderBytes = 0, entries = 0;
    if (count > 0 && (!Mem_CheckedSize(count, profiles, 1, &entries) ||
                      !Mem_CheckedSize(entries, sizeof(BatchFile), 1, &filesBytes) ||
                      !Mem_CheckedSize(entries, 4, 1, &orderBytes))) {
        Log_Print(0, "Not enough memory for a batch of %d images\n", count);
        return 0;
    }
    BatchStruct* b = static_cast<BatchStruct*>(Mem_Alloc(int(sizeof(BatchStruct)), MEM_HEAP, kModule, __LINE__));
    b->tag = kTag;
    Config_Create(&b->settings);
    Config_Copy(b->settings, settings);
    b->profiles = profiles;
    for (int k = 0; k < profiles; ++k) Plan_ProfileView(b->settings, names[k], profiles > 1, &b->runs[k]);
    b->sources = count;
    b->count = entries;
    b->filesBytes = filesBytes;
    b->orderBytes = orderBytes;
    if (count > 0) {
        b->files = static_cast<BatchFile*>(Mem_Alloc(filesBytes, MEM_HEAP, kModule, __LINE__));
        b->order = static_cast<int*>(Mem_Alloc(orderBytes, MEM_HEAP, kModule, __LINE__));
    }
    b->stopOnFailure = 1;
    b->failedIndex = -1;
    *batch = b;
    return 1;
}

int Batch_Destroy(BatchStruct** batch) {
    if (!batch || !*batch) Core_NullPointer(kModule, __LINE__);
    BatchStruct* b = *batch;
    Check(b, __LINE__);
    *batch = nullptr;
    if (b->files) Mem_Free(b->files, b->filesBytes, MEM_HEAP, kModule, __LINE__);
    if (b->order) Mem_Free(b->order, b->orderBytes, MEM_HEAP, kModule, __LINE__);
    Config_Destroy(&b->settings);
    b->tag = nullptr;
    Mem_Free(b, int(sizeof(BatchStruct)), MEM_HEAP, kModule, __LINE__);
    return 1;
}

int Batch_SetSource(BatchStruct* batch, int index, const char* path, int32_t width, int32_t height,
                    const char* output) {
    Check(batch, __LINE__);
    if (!path) Core_NullPointer(kModule, __LINE__);
    CheckIndex(batch, index);
    for (int k = 0; k < batch->profiles; ++k) {
        BatchFile* file = &batch->files[index * batch->profiles + k];
        memset(file, 0, sizeof *file);
        Str_CopyN(file->path, path, int(sizeof file->path));
        // An output named by the caller is the first profile's; the others
        // name theirs.
        file->explicitOutput = output != nullptr && k == 0;
        if (file->explicitOutput) Str_CopyN(file->output, output, int(sizeof file->output));
        // A name that does not fit is refused, never cut.
        if (Str_Length(path) >= sizeof file->path || (output && Str_Length(output) >= sizeof file->output))
            file->refusal = &kTooLong;
        file->width = width > 0 ? width : 0;
        file->height = height > 0 ? height : 0;
    }
    return 1;
}

int Batch_SetFacts(BatchStruct* batch, int index, const SizeFacts* facts) {
    Check(batch, __LINE__);
    if (!facts) Core_NullPointer(kModule, __LINE__);
    CheckIndex(batch, index);
    for (int k = 0; k < batch->profiles; ++k) batch->files[index * batch->profiles + k].facts = *facts;
    return 1;
}

int Batch_SetRow(BatchStruct* batch, int index, const FileRow* row, const char* subfolder) {
    if (!row) Core_NullPointer(kModule, __LINE__);
    Batch_SetSource(batch, index, row->path, row->width, row->height, nullptr);
    Batch_SetFacts(batch, index, &row->facts);
    return Batch_SetSubfolder(batch, index, subfolder);
}

int Batch_SetSubfolder(BatchStruct* batch, int index, const char* subfolder) {
    Check(batch, __LINE__);
    if (!subfolder) Core_NullPointer(kModule, __LINE__);
    CheckIndex(batch, index);
    for (int k = 0; k < batch->profiles; ++k) {
        BatchFile* file = &batch->files[index * batch->profiles + k];
        if (!Str_CopyN(file->subfolder, subfolder, int(sizeof file->subfolder))) {
            file->subfolder[0] = 0;
            file->refusal = &kTooLong;
        }
    }
    return 1;
}

int Batch_Run(BatchStruct* batch, const JobHost* host, int workers) {
    Check(batch, __LINE__);
    if (!host) Core_NullPointer(kModule, __LINE__);
    BatchStruct* b = batch;
    if (b->workersRun > 0) Core_Abort("Batch run twice\n");
    b->host = host;
    int64_t inUse = 0;
    Mem_GetUsage(&inUse, nullptr);
    b->memoryBudget = Mem_GetLimit() - inUse;
    if (workers > b->sources) workers = b->sources;
    if (workers < 1) workers = 1;
    Mutex_Create(&b->lock);
    Event_Create(&b->changed);
    Log_Print(0, "Batch of %d files on %d workers, %s vectors\n", b->sources, workers, Bitmap_ReductionWay());
    if (b->profiles > 1) Log_Print(0, "%d copies of each file, one a profile\n", b->profiles);
    PrepareRun(b, workers);
    host->progress(host->data, Language_Text("Resizing images..."));
    b->workersRun = ThreadPool_RunLoops(b, WorkLoop, workers, "batch worker");
    Event_Close(&b->changed);
    Mutex_Close(&b->lock);
    CloseRun(b);
    b->host = nullptr;
    return b->written == b->count;
}

int Batch_SetStopOnFailure(BatchStruct* batch, int stop) {
    Check(batch, __LINE__);
    batch->stopOnFailure = stop ? 1 : 0;
    return 1;
}

const BatchFile* Batch_GetFile(const BatchStruct* batch, int index) {
    Check(batch, __LINE__);
    CheckIndex(batch, index);
    return &batch->files[index * batch->profiles];
}

int Batch_GetOutcome(const BatchStruct* batch, BatchOutcome* outcome) {
    Check(batch, __LINE__);
    if (!outcome) Core_NullPointer(kModule, __LINE__);
    *outcome =
        BatchOutcome{batch->sources,   batch->count,      batch->written,     batch->failed,      batch->skipped,
                     batch->cancelled, batch->workersRun, batch->sourceTotal, batch->outputTotal, batch->encodes};
    return 1;
}

int Batch_AddStatistics(const BatchStruct* batch, AppConfig* config) {
    Check(batch, __LINE__);
    if (!config) Core_NullPointer(kModule, __LINE__);
    config->ImagesProcessed += batch->written;
    config->Original += batch->sourceTotal;
    // A copy larger than its source saved nothing, and counts as its
    // source's bytes: the savings the About page shows are the closing
    // lines', never below nothing.
    config->Resized += batch->sourceTotal - batch->savedTotal;
    return 1;
}

int64_t Batch_EstimateMemory(const AppConfig* settings, const char* path, int32_t width, int32_t height,
                             int64_t fileBytes) {
    if (!settings || !path) Core_NullPointer(kModule, __LINE__);
    if (fileBytes < 0) fileBytes = 0;
    int64_t pixels = int64_t(width) * height, copied = pixels;
    if (width > 0 && height > 0) {
        CopySize copy = {};
        Plan_Copy(settings, width, height, &copy);
        copied = int64_t(copy.width) * copy.height;
    } else {
        pixels = copied = fileBytes * kPixelsPerFileByte;
    }
    // The decoded picture (4 bytes a pixel) beside the decoder's own
    // buffers, then the scaled copy and the encoder's row copy.
    return fileBytes + pixels * (4 + Input_DecoderBytes(path)) + copied * 8 + kFileOverhead;
}
