// A run's report: what became of each source, one line each, for the
// window's report and the text its "Copy" puts on the clipboard.
#pragma once

#include "batch.h"
#include "buffer.h"
#include "orv-str.h"

// The report's columns: the source's name, its bytes, the copy's bytes and
// the result (the copy's path, or why there is none).
enum { REPORT_COLUMNS = 4 };

// One source of a run as the report shows it.
struct ReportLine {
    char cells[REPORT_COLUMNS][STR_TEXT_SIZE];  // the columns' texts, UTF-8; "" where nothing is known
    int state;                                  // BATCH_* of its copy with the run's first profile
};

// The title of column (0 to REPORT_COLUMNS - 1; others are a fatal stop).
const char* Report_Column(int column);

// Source index of batch, after its run (or during it), as its report line.
// An index outside the list is a fatal stop. Cannot fail (1).
int Report_Line(const BatchStruct* batch, int index, ReportLine* line);

// The whole report as text into out (emptied first): summary (the run's
// closing message), the column titles and every source's line, cells
// separated by tabs, lines by CR LF, so that it pastes into a mail or a
// spreadsheet. 1, or 0 when memory is refused (out then partly filled).
int Report_Text(const BatchStruct* batch, const char* summary, BufferStruct* out);
