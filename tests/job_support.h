// Helpers of the job, batch and command-line tests: settings records, a
// host that records what the job shows, pictures to resize, and the batch
// engine run the way a front-end runs it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "config.h"
#include "copy.h"

// Settings as the window's defaults have them: outputs beside their
// sources with "_resized", Custom quality 1.0 with no bounds.
struct Config {
    AppConfig* c = nullptr;
    Config();
    ~Config();
};

// A host that records what the job shows and cancels after a number of
// progress texts. Failed files are kept as "index: reason".
struct Recorder {
    std::vector<std::string> progress;
    std::vector<std::string> messages;
    std::vector<std::string> failures;
    int cancelAfter = -1;
    JobHost Host();
};

// Writes a w x h gradient JPEG of quality 95, or a flat grey one, which
// takes far fewer bytes a pixel than a photograph.
void MakeJpeg(const std::string& path, int w, int h, bool flat = false);

// Writes bitmap as a JPEG at quality with side's blocks (may be null): 1
// when written.
int SaveJpeg(const BitmapStruct* bitmap, double quality, const SideDataStruct* side, const std::string& path);

// A 120 x 80 photo in dir tagged by exiftool with an Adobe RGB profile, a
// date and tags (more exiftool arguments), turned into the file encoded
// (in dir) by the shell command encode + " PHOTO -o OUT", resized with the
// shipped settings: the copy's Exif fields as exiftool lists them
// (-a -G1 -n -args). The source's profile must have reached the resize.
std::string TaggedPhotoCopyFields(const std::string& dir, const std::string& tags, const std::string& encode,
                                  const std::string& encoded);

// A new folder inside the test's own, with its trailing separator.
std::string Fresh(const std::string& name);

// What a run of the batch engine came to.
struct RunResult {
    int complete = 0;
    int written = 0;
    int failed = 0;
    int workersRun = 0;
    std::vector<int> states;
    std::string report;  // the run's report as text, "summary" its first line
};

// The batch engine over paths with a settings record, on workers - 1 pool
// workers beside the caller; the totals go into config as a front-end adds
// them. stopOnFailure 0 runs as brimlow-cli does.
RunResult RunBatch(AppConfig* config, const std::vector<std::string>& paths, const JobHost& host, int workers,
                   const std::vector<std::pair<int, int>>& dimensions = {}, int stopOnFailure = 1);

// A copy of brimlow-cli in folder with the shipped settings, Append changed
// to append. Returns the command that runs it, quoted for the shell.
std::string InstallCli(const std::string& folder, const std::string& append);

// What a run of brimlow-cli came to: its exit status and what it printed.
struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a shell command line (brimlow-cli's) with its output kept, in Unix
// line ends.
Outcome RunCli(const std::string& command);
