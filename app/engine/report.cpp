// A run's report, from the batch's own record of each source.
#include "report.h"

#include "file.h"
#include "language.h"
#include "orv-core.h"

namespace {

const char kModule[] = "app/engine/report";

const char* const kColumns[REPORT_COLUMNS] = {"Picture", "Before", "After", "Result"};

// Bytes as the report shows them: whole KB, rounded up, so that a small
// file never reads as nothing.
void Kilobytes(int64_t bytes, char* text, int size) {
    Str_Format(text, size, Language_Text("%'I64d KB"), (bytes + 1023) / 1024);
}

int AppendRow(BufferStruct* out, const char* const* cells) {
    for (int c = 0; c < REPORT_COLUMNS; ++c) {
        if (c > 0 && !Buffer_Append(out, "\t", 1)) return 0;
        if (!Buffer_Append(out, cells[c], Str_Length(cells[c]))) return 0;
    }
    return Buffer_Append(out, "\r\n", 2);
}

}  // namespace

const char* Report_Column(int column) {
    if (column < 0 || column >= REPORT_COLUMNS) Core_Abort("Report column %d\n", column);
    return Language_Text(kColumns[column]);
}

int Report_Line(const BatchStruct* batch, int index, ReportLine* line) {
    if (!batch || !line) Core_NullPointer(kModule, __LINE__);
    const BatchFile* file = Batch_GetFile(batch, index);
    *line = ReportLine{};
    line->state = file->state;
    const int size = int(sizeof line->cells[0]);
    Path_GetName(file->path, line->cells[0], size, 0);
    if (file->state == BATCH_WRITTEN) {
        Kilobytes(file->sourceBytes, line->cells[1], size);
        Kilobytes(file->outputBytes, line->cells[2], size);
        Str_CopyN(line->cells[3], file->output, size);
    } else if (file->state == BATCH_FAILED || file->state == BATCH_SKIPPED) {
        Str_Format(line->cells[3], size, Language_Text(file->state == BATCH_SKIPPED ? "skipped: %s" : "failed: %s"),
                   Language_Text(file->reason ? file->reason : "not written"));
    } else {
        Str_CopyN(line->cells[3], Language_Text("not started"), size);
    }
    return 1;
}

int Report_Text(const BatchStruct* batch, const char* summary, BufferStruct* out) {
    if (!batch || !summary || !out) Core_NullPointer(kModule, __LINE__);
    Buffer_Clear(out);
    const char* titles[REPORT_COLUMNS];
    for (int c = 0; c < REPORT_COLUMNS; ++c) titles[c] = Report_Column(c);
    BatchOutcome outcome;
    Batch_GetOutcome(batch, &outcome);
    if (!(Buffer_Append(out, summary, Str_Length(summary)) && Buffer_Append(out, "\r\n\r\n", 4) &&
          AppendRow(out, titles)))
        return 0;
    for (int i = 0; i < outcome.count; ++i) {
        ReportLine line;
        Report_Line(batch, i, &line);
        const char* cells[REPORT_COLUMNS];
        for (int c = 0; c < REPORT_COLUMNS; ++c) cells[c] = line.cells[c];
        if (!AppendRow(out, cells)) return 0;
    }
    return 1;
}
