#include "job_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "bitmap.h"
#include "jpegl.h"
#include "orv-str.h"
#include "test_support.h"
#include "thread.h"
#include "batch.h"
#include "report.h"

Config::Config() {
    Config_Create(&c);
    c->SameDirectory = 1;
    Str_Copy(c->Append, "_resized");
    c->CustomQuality = 1.0;
}

Config::~Config() {
    Config_Destroy(&c);
}

namespace {

void RecordProgress(void* d, const char* t) {
    static_cast<Recorder*>(d)->progress.push_back(t);
}

int RecordCancelled(void* d) {
    Recorder* r = static_cast<Recorder*>(d);
    return r->cancelAfter >= 0 && int(r->progress.size()) > r->cancelAfter;
}

void RecordMessage(void* d, const char* t) {
    static_cast<Recorder*>(d)->messages.push_back(t);
}

void RecordFile(void* d, int index, int written, const char* reason) {
    if (!written) static_cast<Recorder*>(d)->failures.push_back(std::to_string(index) + ": " + reason);
}

}  // namespace

JobHost Recorder::Host() {
    return {this, RecordProgress, RecordCancelled, RecordMessage, RecordFile};
}

void MakeJpeg(const std::string& path, int w, int h, bool flat) {
    BitmapStruct* b = nullptr;
    Bitmap_Create(&b);
    Bitmap_SetSize(b, w, h);
    for (int i = 0; i < w * h; ++i) {
        b->pixels[i * 4] = flat ? 128 : (unsigned char)(i % 251);
        b->pixels[i * 4 + 1] = flat ? 128 : (unsigned char)(i / w);
        b->pixels[i * 4 + 2] = 128;
        b->pixels[i * 4 + 3] = 255;
    }
    SaveJpeg(b, 0.95, nullptr, path);
    Bitmap_Destroy(&b);
}

int SaveJpeg(const BitmapStruct* bitmap, double quality, const SideDataStruct* side, const std::string& path) {
    BufferStruct file = {};
    int ok = JPEG_SaveBitmap(bitmap, quality, side, nullptr, &file) &&
             File_SaveWhole(path.c_str(), file.data, uint32_t(file.size), 0);
    Buffer_Free(&file);
    return ok;
}

std::string TaggedPhotoCopyFields(const std::string& dir, const std::string& tags, const std::string& encode,
                                  const std::string& encoded) {
    std::string photo = dir + "photo.jpg";
    MakeJpeg(photo, 120, 80);
    EXPECT_EQ(RunShell("exiftool -q -overwrite_original -DateTimeOriginal='2024:05:01 10:00:00' " + tags +
                       " '-ICC_Profile<=/usr/share/color/icc/colord/AdobeRGB1998.icc' " + photo + " && " + encode +
                       " " + photo + " -o " + dir + encoded + " > /dev/null"),
              0);
    Config cfg;
    ResizeWork work = {};
    ResizeWork_Create(&work);
    EXPECT_EQ(Copy_File(cfg.c, (dir + encoded).c_str(), (dir + "copy.jpg").c_str(), nullptr, &work), 1);
    EXPECT_GT(work.side.size[SIDE_PROFILE], 100);
    ResizeWork_Destroy(&work);
    RunShell("exiftool -a -G1 -n -args " + dir + "copy.jpg > fields.txt 2>&1");
    return ReadWholeFile("fields.txt");
}

std::string Fresh(const std::string& name) {
    std::filesystem::create_directories(name);
    return name + "/";
}

RunResult RunBatch(AppConfig* config, const std::vector<std::string>& paths, const JobHost& host, int workers,
                   const std::vector<std::pair<int, int>>& dimensions, int stopOnFailure) {
    BatchStruct* batch = nullptr;
    EXPECT_EQ(Batch_Create(&batch, config, int(paths.size())), 1);
    Batch_SetStopOnFailure(batch, stopOnFailure);
    for (size_t i = 0; i < paths.size(); ++i) {
        int w = i < dimensions.size() ? dimensions[i].first : 0;
        int h = i < dimensions.size() ? dimensions[i].second : 0;
        Batch_SetSource(batch, int(i), paths[i].c_str(), w, h, nullptr);
    }
    ThreadPool(workers - 1);
    RunResult run;
    run.complete = Batch_Run(batch, &host, workers);
    ThreadPool(0);
    BatchOutcome outcome;
    Batch_GetOutcome(batch, &outcome);
    run.written = outcome.written;
    run.failed = outcome.failed;
    run.workersRun = outcome.workersRun;
    for (size_t i = 0; i < paths.size(); ++i) run.states.push_back(Batch_GetFile(batch, int(i))->state);
    int64_t sources = 0, outputs = 0;
    for (size_t i = 0; i < paths.size(); ++i) {
        const BatchFile* f = Batch_GetFile(batch, int(i));
        if (f->state != BATCH_WRITTEN) continue;
        sources += f->sourceBytes;
        outputs += f->outputBytes;
    }
    EXPECT_EQ(sources, outcome.sourceTotal) << "totals are the sums of the files";
    EXPECT_EQ(outputs, outcome.outputTotal);
    BufferStruct report = {};
    EXPECT_EQ(Report_Text(batch, "summary", &report), 1);
    run.report.assign(reinterpret_cast<const char*>(report.data), size_t(report.size));
    Buffer_Free(&report);
    Batch_AddStatistics(batch, config);
    Batch_Destroy(&batch);
    return run;
}

std::string InstallCli(const std::string& folder, const std::string& append) {
    namespace fs = std::filesystem;
    fs::create_directories(folder);
    for (const auto& entry : fs::directory_iterator(StartFolder())) {
        std::string name = entry.path().filename().string();
        // The program with the DLLs it carries on Windows, as users get it.
        if (name.rfind("brimlow-cli", 0) == 0 || name == "profiles.xml" || entry.path().extension() == ".dll")
            fs::copy_file(entry.path(), folder + "/" + name, fs::copy_options::overwrite_existing);
    }
    std::string config = ReadWholeFile(StartFolder() + "/config.xml");
    size_t at = config.find("<Append>_resized</Append>");
    EXPECT_NE(at, std::string::npos);
    config.replace(at, std::string("<Append>_resized</Append>").size(), "<Append>" + append + "</Append>");
    std::ofstream(folder + "/config.xml", std::ios::binary) << config;
    std::string program = PROBE_COMMAND;
    program.replace(program.find("core-probe"), 10, "brimlow-cli");
    return ShellProgram((fs::absolute(folder) / program).string());
}

Outcome RunCli(const std::string& command) {
    Outcome o;
    o.status = RunShell(command + " > run-out.txt 2> run-err.txt");
    WithUnixLineEnds("run-out.txt");
    WithUnixLineEnds("run-err.txt");
    o.out = ReadWholeFile("run-out.txt");
    o.err = ReadWholeFile("run-err.txt");
    return o;
}
