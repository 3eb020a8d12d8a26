// The prepare pass: each path's row from its header (and a measure when
// asked), up to a few at once, the caller's thread alone talking to the
// front-end.
#include "prepare.h"

#include "file.h"
#include "input.h"
#include "language.h"
#include "measure.h"
#include "orv-core.h"
#include "sizelimit.h"
#include "thread.h"

namespace {

const char kModule[] = "app/engine/prepare";

// What the prepare pass learnt of one path.
struct PrepareOutcome {
    int accepted;        // 1: its row is filled
    const char* reason;  // when not, why in a few words; static
};

// The prepare pass's state, shared by the workers that probe side by side.
struct PrepareRun {
    const AppConfig* config;
    int measure;  // 1: each picture's copies measured, not estimated from its header
    const char* const* paths;
    int count;
    FileRow* rows;             // room for count; row i belongs to path i until the rows are gathered
    PrepareOutcome* outcomes;  // one per path
    const JobHost* host;       // talked to by the caller's loop alone
    int callerWorker;          // ThreadPool_CurrentWorker of the caller
    CoreLock* lock;            // guards next and stop
    int next;                  // the next path to take
    int stop;                  // 1 once Cancel was pressed
};

// The next path to prepare, or -1 when none is left or the pass stopped.
int TakePath(PrepareRun* run) {
    Mutex_Lock(run->lock, -1, kModule, __LINE__);
    int i = run->stop || run->next >= run->count ? -1 : run->next++;
    Mutex_Unlock(run->lock, kModule, __LINE__);
    return i;
}

void PrepareOne(PrepareRun* run, int i) {
    char name[STR_TEXT_SIZE];
    Path_GetName(run->paths[i], name, int(sizeof name), 0);
    Log_Print(0, "File %d of %d: [%s] [%s]\n", i + 1, run->count, run->paths[i], name);
    PrepareOutcome* o = &run->outcomes[i];
    o->accepted = Prepare_File(run->config, run->paths[i], run->measure, &run->rows[i], &o->reason);
}

// Prepares paths until none is left; the caller's loop alone shows
// progress and notices Cancel.
void PrepareLoop(void* data) {
    PrepareRun* run = static_cast<PrepareRun*>(data);
    int caller = ThreadPool_CurrentWorker() == run->callerWorker;
    const JobHost* host = run->host;
    char text[STR_TEXT_SIZE];
    for (;;) {
        if (caller && host->cancelled(host->data)) {
            Mutex_Lock(run->lock, -1, kModule, __LINE__);
            run->stop = 1;
            Mutex_Unlock(run->lock, kModule, __LINE__);
            break;
        }
        int i = TakePath(run);
        if (i < 0) break;
        if (caller && Input_IsAccepted(run->paths[i])) {
            Str_Format(text, int(sizeof text), Language_Text("Preparing %d of %d, %s..."), i + 1, run->count,
                       run->paths[i]);
            host->progress(host->data, text);
        }
        PrepareOne(run, i);
    }
}

}  // namespace

int Prepare_File(const AppConfig* config, const char* path, int measure, FileRow* row, const char** reason) {
    if (!config || !path || !row || !reason) Core_NullPointer(kModule, __LINE__);
    *reason = "";
    if (!Input_IsAccepted(path)) {
        Log_Print(0, "Unsupported format\n");
        *reason = "unsupported format";
        return 0;
    }
    if (Str_Length(path) >= sizeof row->path) {
        Log_Print(0, "Path too long [%.64s...]\n", path);
        *reason = "path too long";
        return 0;
    }
    Copy_ClearReasons();
    row->width = row->height = 0;
    row->bytes = 0;
    row->facts = SizeFacts{};
    File_GetSizeByPath(path, &row->bytes);
    Path_GetName(path, row->name, int(sizeof row->name), 0);
    row->dimensions[0] = 0;
    if (!config->SkipImageInfo) {
        if (!Input_Probe(path, &row->width, &row->height, &row->facts)) {
            *reason = Copy_Reason("not a picture");
            return 0;
        }
        if (measure) Measure_File(path, Input_CopyKind(config, path), &row->facts);
        Str_Format(row->dimensions, int(sizeof row->dimensions), "%dx%d", row->width, row->height);
    }
    Str_Format(row->size, int(sizeof row->size), "%I64dk", row->bytes / 1024);
    Str_Copy(row->newDimensions, "...");
    Str_Copy(row->estimate, "...");
    Str_CopyN(row->path, path, int(sizeof row->path));
    return 1;
}

int Prepare_Files(const AppConfig* config, const char* const* paths, int count, int measure, const JobHost* host,
                  int workers, FileRow* rows, int* complete) {
    if (!config || !host || !complete || ((!paths || !rows) && count > 0)) Core_NullPointer(kModule, __LINE__);
    *complete = 1;
    host->progress(host->data, Language_Text("Preparing files..."));
    if (count == 0) return 0;
    int outcomeBytes = 0;
    PrepareOutcome* outcomes = static_cast<PrepareOutcome*>(
        Mem_AllocChecked(count, sizeof(PrepareOutcome), 1, &outcomeBytes, MEM_HEAP, kModule, __LINE__));
    if (!outcomes) {
        Log_Print(0, "Not enough memory to prepare %d files\n", count);
        host->message(host->data, Language_Text("Not enough memory for these files."));
        return 0;
    }
    PrepareRun run = {config, measure, paths, count, rows, outcomes, host, ThreadPool_CurrentWorker(), nullptr, 0, 0};
    Mutex_Create(&run.lock);
    int ran = ThreadPool_RunLoops(&run, PrepareLoop, workers < count ? workers : count, "prepare worker");
    Log_Print(0, "Prepared %d files with %d workers\n", count, ran);
    Mutex_Close(&run.lock);
    *complete = !run.stop;
    char text[STR_TEXT_SIZE];
    // The files taken before a cancel are all finished: their rows stay, in
    // the order the paths came.
    int filled = 0;
    for (int i = 0; i < run.next; ++i) {
        int accepted = outcomes[i].accepted;
        const char* reason = outcomes[i].reason;
        if (accepted && filled != i) rows[filled] = rows[i];
        filled += accepted;
        if (host->fileDone) host->fileDone(host->data, i, accepted, reason);
    }
    Mem_Free(outcomes, outcomeBytes, MEM_HEAP, kModule, __LINE__);
    if (!*complete) {
        Str_Format(text, int(sizeof text), Language_Plural("Preparing cancelled after %d images.", run.next), run.next);
        host->message(host->data, text);
        Log_Print(0, "Cancelled\n");
    }
    for (int r = 0; r < filled; ++r)
        Prepare_RowTexts(config, &rows[r], rows[r].newDimensions, int(sizeof rows[r].newDimensions), rows[r].estimate,
                         int(sizeof rows[r].estimate));
    return filled;
}

namespace {

// The copy config's active profile makes of row's source, and its
// estimated bytes.
int64_t RowCopy(const AppConfig* config, const FileRow* row, CopySize* copy) {
    const int kind = Input_CopyKind(config, row->path);
    Input_PlanListed(config, row->path, row->width, row->height, &row->facts, row->bytes, copy);
    const SizeFacts* facts = &row->facts;
    const CopySize planned = *copy;
    int64_t bytes = copy->limit ? SizeLimit_Plan(facts, kind, copy) : 0;
    if (Plan_SourceLimitGivesWay(&planned, copy)) {
        *copy = planned;
        copy->limit = 0;
    }
    if (!copy->limit) bytes = Estimate_Bytes(facts, kind, copy->width, copy->height, copy->scale, copy->quality);
    // A copy that would come out larger keeps its source's coded picture.
    if (copy->keepCoded && copy->sourceBytes > 0 && bytes > copy->sourceBytes) bytes = copy->sourceBytes;
    return bytes;
}

}  // namespace

int Prepare_RowTexts(const AppConfig* config, const FileRow* row, char* newDimensions, int newDimensionsSize,
                     char* estimate, int estimateSize) {
    if (!config || !row || !newDimensions || !estimate) Core_NullPointer(kModule, __LINE__);
    if (row->width <= 0 || row->height <= 0) return 0;
    char names[PLAN_MOST_PROFILES][CONFIG_NAME_SIZE];
    const int profiles = Plan_RunProfiles(config, names);
    int64_t bytes = 0;
    newDimensions[0] = 0;
    for (int k = 0; k < profiles; ++k) {
        AppConfig run;
        Plan_ProfileView(config, names[k], profiles > 1, &run);
        CopySize copy;
        bytes += RowCopy(&run, row, &copy);
        char size[32];
        Str_Format(size, int(sizeof size), "%s%dx%d", k > 0 ? ", " : "", copy.width, copy.height);
        Str_AppendN(newDimensions, size, newDimensionsSize);
    }
    Str_Format(estimate, estimateSize, "~%I64dk", bytes / 1024);
    return 1;
}

void Prepare_Budget(const AppConfig* config, const FileRow* rows, int count, BudgetStruct* plan) {
    if (!config || !plan || (!rows && count > 0)) Core_NullPointer(kModule, __LINE__);
    char names[PLAN_MOST_PROFILES][CONFIG_NAME_SIZE];
    const int profiles = Plan_RunProfiles(config, names);
    const int64_t budget = int64_t(config->TotalSize) * 1024;
    int bytes = 0;
    BudgetCopy* copies = budget > 0 && count > 0
                             ? static_cast<BudgetCopy*>(Mem_AllocChecked(int64_t(count) * profiles, sizeof(BudgetCopy),
                                                                         1, &bytes, MEM_HEAP, kModule, __LINE__))
                             : nullptr;
    AppConfig runs[PLAN_MOST_PROFILES];
    for (int k = 0; k < profiles; ++k) Plan_ProfileView(config, names[k], profiles > 1, &runs[k]);
    int n = 0;
    for (int r = 0; copies && r < count; ++r)
        for (int k = 0; k < profiles; ++k)
            Budget_CopyOf(&runs[k], rows[r].path, rows[r].width, rows[r].height, &rows[r].facts, &copies[n++]);
    Budget_Plan(plan, copies ? budget : 0, copies, n);
    if (copies) Mem_Free(copies, bytes, MEM_HEAP, kModule, __LINE__);
}
