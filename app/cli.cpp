// brimlow-cli: the batch pipeline from the command line, with the settings
// and profiles of the program's folder. Options change this run only; the
// run's totals are added to the saved statistics.
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bitmap.h"
#include "config.h"
#include "file.h"
#include "orv-core.h"
#include "orv-str.h"
#include "thread.h"
#include "version.h"
#include "batch.h"
#include "colour.h"
#include "gather.h"
#include "input.h"
#include "output.h"
#include "prepare.h"
#include "copy.h"
#include "plan.h"
#include "naming.h"

namespace {

const char kModule[] = "app/cli";
const char kUsage[] =
    "usage: brimlow-cli [options] PATH...\n"
    "  PATH                  image files, or folders (their accepted files, sorted by name;\n"
    "                        with their subfolders' when Subfolders is set or with -r)\n"
    "  -p, --profile NAME    use the list profile NAME (one there is), or \"Custom\"; given\n"
    "                        again, each further profile makes a copy of its own from\n"
    "                        the same decode, named with the profile's suffix (\"_Web\")\n"
    "  -W, --width N         Custom maximum width, 0 = no bound (implies --profile Custom)\n"
    "  -H, --height N        Custom maximum height, 0 = no bound (implies --profile Custom)\n"
    "  -q, --quality N       Custom quality in percent, 1..100 (implies --profile Custom)\n"
    "      --turn, --no-turn the box turns with a picture of the other orientation, or not\n"
    "                        (applies to the profile in use; the shipped ones turn, a\n"
    "                        box given by -W or -H does not unless --turn is given)\n"
    "      --dpi N           the density every copy says it prints at, dots per inch (JFIF\n"
    "                        and Exif in JPEG, pHYs in PNG, Exif in WebP); -W and -H\n"
    "                        then also take lengths: 10cm, 100mm, 4in\n"
    "      --percent P       each side times P / 100, 1..100, instead of the bounds\n"
    "                        (applies to the profile in use)\n"
    "      --fit MODE        within: inside the box, proportions kept (the default);\n"
    "                        crop: covering the box, cut to exactly its size; stretch:\n"
    "                        exactly the box, proportions given up (never up either way)\n"
    "      --crop-focus F    where a crop's window sits: centre, or detail (the part\n"
    "                        with the most edges and colour)\n"
    "      --never-larger, --allow-larger\n"
    "                        a copy of a source's own kind is never larger than it (the\n"
    "                        default): a JPEG never above its source's quality, a smaller\n"
    "                        copy at a lower quality where it would still be larger\n"
    "      --max-size N[k|m] at most N KiB (or MiB with m) a copy, 0 = no limit: the best\n"
    "                        quality that fits, and a smaller copy only where quality 30\n"
    "                        does not fit (applies to the profile in use)\n"
    "      --total-size N[k|m] all the run's copies together at most N KiB (or MiB):\n"
    "                        one quality for all, the highest that fits by the\n"
    "                        estimates, each copy then held to its share of what is left\n"
    "  -f, --filter NAME     lanczos (sharp, the default) or bilinear (as earlier versions)\n"
    "      --colour MODE     srgb (colours converted to sRGB through the photo's profile,\n"
    "                        the default) or keep (no conversion, the profile embedded)\n"
    "      --metadata MODE   camera (date, camera and exposure without the location, the\n"
    "                        default), all (Exif, XMP and IPTC as they came) or none\n"
    "      --format KIND     the copies' kind: %s; jpeg is the default,\n"
    "                        original the same kind as each source (lossless ones as\n"
    "                        PNG, WebP as WebP, photos as JPEG)\n"
    "      --background C    what a JPEG copy's transparent parts lie on: black (the\n"
    "                        default), white or #RRGGBB\n"
    "  -o, --output DIR      write into DIR instead of beside each source; copies from\n"
    "                        a folder's subfolders keep their folders below DIR\n"
    "  -r, --recursive       take the pictures of folders' subfolders too\n"
    "      --no-recursive    only the pictures of the folders named\n"
    "      --same-folder     write beside each source\n"
    "  -a, --append TEXT     text after the base name of each output\n"
    "      --prepend TEXT    text before the base name; both texts may hold {name},\n"
    "                        {profile}, {w} and {h} (the copy's size), {quality}, {date}\n"
    "                        (taken, else the file's; YYYY-MM-DD), {n} (the place in the\n"
    "                        run), {{ and }}\n"
    "      --on-collision C  when a copy's name is taken by a file of yours: refuse\n"
    "                        (that picture fails; the default), number (\"name (1).jpg\",\n"
    "                        \"(2)\", ...) or skip (the picture is left out); none of them\n"
    "                        replaces your file\n"
    "      --keep-dates, --no-keep-dates\n"
    "  -n, --dry-run         list the files with their estimates, write nothing; each\n"
    "                        picture is measured for its estimate (a quarter of a resize)\n"
    "      --quick-estimates with -n: estimates from the files' headers alone (rougher)\n"
    "  -j, --jobs N          resize N files at once (default: the number of processors)\n"
    "      --quiet           print only the closing message (and the files that failed)\n"
    "  -debug, -window, ...  the debug-log switches of the program\n"
    "      --formats         print the file name extensions read, one a line\n"
    "  -h, --help, --version\n"
    "  --                    what follows is a PATH, even when it starts with \"-\"\n"
    "\n"
    "A file that cannot be read, is refused or fails gets a line on standard error\n"
    "naming it and why; the other files are still resized. An existing file is\n"
    "replaced only when it is a copy this program wrote (every copy carries its mark),\n"
    "never when it is one of the sources. In a folder, such earlier copies are\n"
    "replaced, not resized again; a file of the user's with a copy's name is resized.\n"
    "\n"
    "Messages are in English whatever the window's or Windows' language, so that\n"
    "scripts can read them.\n"
    "\n"
    "Exit status: 0 every file was resized (or listed, or skipped as --on-collision\n"
    "skip asks); 1 some file failed or was refused; 2 the options were wrong; 130\n"
    "interrupted (Ctrl-C).\n";

enum { kExitDone = 0, kExitStopped = 1, kExitUsage = 2, kExitInterrupted = 130 };

struct Options {
    std::vector<std::string> paths;
    int dryRun = 0;
    int quickEstimates = 0;  // a dry run's estimates from the files' headers alone
    int quiet = 0;
    int jobs = 0;
    int unspellable = 0;  // paths refused because this Windows cannot pass their names
    int maxSizeKib = -1;  // --max-size for the profile the run ends up using; -1 when not given
    int turn = -1;        // --turn 1, --no-turn 0, for the profile the run ends up using; -1 when not given
    int sized = 0;        // 1 once -W or -H named a side: the box then lies as given unless --turn
    int dpi = -1;         // --dpi for the profile the run ends up using; -1 when not given
    double inches[2] = {-1, -1};  // -W and -H given as lengths (cm, mm, in), in inches; -1 when not
    int percent = -1;     // --percent for the profile the run ends up using; -1 when not given
    int profiles = 0;     // -p options given: the first names the run's profile, the others add copies
    int fit = -1;         // --fit's FIT_* for the profile the run ends up using; -1 when not given
    int focus = -1;       // --crop-focus's FOCUS_* for the same; -1 when not given
};

// The --format values, "jpeg, png, webp or original", from the copy kinds.
std::string FormatValues() {
    const char* const* names = Output_FormatNames();
    std::string list;
    for (int i = 0; names[i]; ++i) {
        if (i > 0) list += names[i + 1] ? ", " : " or ";
        for (const char* c = names[i]; *c; ++c) list += char(*c >= 'A' && *c <= 'Z' ? *c - 'A' + 'a' : *c);
    }
    return list;
}

void PrintUsage(FILE* stream) {
    fprintf(stream, kUsage, FormatValues().c_str());
}

int Usage(const char* problem) {
    if (problem) fprintf(stderr, "brimlow-cli: %s\n", problem);
    PrintUsage(stderr);
    return kExitUsage;
}

// A length as "10cm", "100mm", "4in" or "2.5in", into *inches: 1, or 0
// for a text without one of those units or with no positive number.
int Length(const std::string& text, double* inches) {
    for (int unit = UNIT_PIXELS + 1; unit < UNITS; ++unit) {
        const std::string name = Config_ChoiceName("Unit", unit);
        const size_t n = text.size();
        if (n <= name.size() || text.compare(n - name.size(), name.size(), name) != 0) continue;
        char* end = nullptr;
        const std::string number = text.substr(0, n - name.size());
        const double value = strtod(number.c_str(), &end);
        if (*end || !(value > 0) || value > 1e6) return 0;
        *inches = value / Config_UnitsPerInch(unit);
        return 1;
    }
    return 0;
}

int Number(const char* text, int low, int high, int* value) {
    char* end = nullptr;
    long v = strtol(text, &end, 10);
    if (!*text || *end || v < low || v > high) return 0;
    *value = int(v);
    return 1;
}

// A size limit as given, "300", "300k" or "2m" (either case), in KiB: 1
// with *kib set, 0 for any other text or a limit beyond 2 GiB.
int SizeLimitKib(const std::string& text, int* kib) {
    std::string digits = text;
    int factor = 1;
    char last = digits.empty() ? 0 : char(digits.back() | 0x20);
    if (last == 'k' || last == 'm') {
        factor = last == 'm' ? 1024 : 1;
        digits.pop_back();
    }
    int n = 0;
    if (!Number(digits.c_str(), 0, 2 * 1024 * 1024 / factor, &n)) return 0;
    *kib = n * factor;
    return 1;
}

// A field of the profile a run uses: the active list profile's own, else
// the Custom one's.
int32_t& FieldOfRun(AppConfig* run, int32_t ResizeProfile::*field, int32_t AppConfig::*custom) {
    ResizeProfile* profile = const_cast<ResizeProfile*>(Plan_ActiveProfile(run));
    return profile ? profile->*field : run->*custom;
}

// The profiles' names for a usage message: "Custom, E-mail, Web, ...".
std::string ProfileNames(const AppConfig* run) {
    std::string names = "Custom";
    for (const ResizeProfile* p = run->Profiles.first; p; p = p->next) names += std::string(", ") + p->Name;
    return names;
}

// A text that does not fit its field is refused, never cut.
int CopyField(char* field, const std::string& value, int size) {
    if (int(value.size()) >= size) return 0;
    Str_Copy(field, value.c_str());
    return 1;
}

// A path argument joins the run, unless its name could not reach the
// program whole: that one gets its line and counts as refused.
void TakePath(char** argv, int i, Options* opt) {
    if (const char* problem = Core_ArgumentProblem(i)) {
        fprintf(stderr, "%s: %s\n", argv[i], problem);
        opt->unspellable += 1;
        return;
    }
    opt->paths.push_back(argv[i]);
}

// Parses the arguments into opt and the run's settings. -1 to go on, or the
// exit status.
int ParseArguments(int argc, char** argv, AppConfig* run, Options* opt) {
    int onlyPaths = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (onlyPaths) {
            TakePath(argv, i, opt);
            continue;
        }
        auto value = [&](std::string* out) {
            if (i + 1 >= argc) return 0;
            *out = argv[++i];
            return 1;
        };
        std::string v;
        int n = 0;
        if (a == "--") {
            onlyPaths = 1;
        } else if (a == "-h" || a == "--help") {
            PrintUsage(stdout);
            return kExitDone;
        } else if (a == "--quick-estimates") {
            opt->quickEstimates = 1;
        } else if (a == "--formats") {
            for (int f = 0; Input_Extension(f); ++f) printf("%s\n", Input_Extension(f));
            return kExitDone;
        } else if (a == "--version") {
            printf("Brimlow %s (Release)\n", BRIMLOW_VERSION_TEXT);
            return kExitDone;
        } else if (Log_IsSwitch(argv[i])) {
            continue;
        } else if (a == "-p" || a == "--profile") {
            if (!value(&v) || v.size() >= sizeof run->ActiveProfile || v.find('|') != std::string::npos)
                return Usage("--profile needs a name of at most 79 characters");
            // A typo would silently mean Custom: a name must be one there is.
            if (!Str_EqualNoCase(v.c_str(), "Custom") && !Plan_ProfileNamed(run, v.c_str()))
                return Usage(("no profile is named \"" + v + "\"; the profiles: " + ProfileNames(run)).c_str());
            // The first names the run's profile; each further one adds a copy.
            if (opt->profiles++ == 0) {
                Str_Copy(run->ActiveProfile, v.c_str());
                run->AlsoProfiles[0] = 0;
            } else if (!CopyField(run->AlsoProfiles, std::string(run->AlsoProfiles) + "|" + v,
                                  int(sizeof run->AlsoProfiles))) {
                return Usage("too many profiles");
            }
        } else if (a == "-W" || a == "--width" || a == "-H" || a == "--height") {
            const int side = a == "-W" || a == "--width" ? 0 : 1;
            double inches = -1;
            if (!value(&v) || (!Length(v, &inches) && !Number(v.c_str(), 0, 1000000, &n)))
                return Usage("width and height take 0 or more pixels, or a length in cm, mm or in");
            opt->inches[side] = inches;
            if (inches < 0) (side == 0 ? run->CustomWidth : run->CustomHeight) = n;
            opt->sized = 1;
            Str_Copy(run->ActiveProfile, "Custom");
        } else if (a == "-q" || a == "--quality") {
            if (!value(&v) || !Number(v.c_str(), 1, 100, &n)) return Usage("quality takes 1 to 100");
            run->CustomQuality = n / 100.0;
            Str_Copy(run->ActiveProfile, "Custom");
        } else if (a == "--dpi") {
            if (!value(&v) || !Number(v.c_str(), 1, 65535, &n)) return Usage("--dpi takes 1 to 65535");
            opt->dpi = n;
        } else if (a == "--turn" || a == "--no-turn") {
            opt->turn = a == "--turn";
        } else if (a == "--percent") {
            if (!value(&v) || !Number(v.c_str(), 1, 100, &n)) return Usage("--percent takes 1 to 100");
            opt->percent = n;
        } else if (a == "--fit") {
            int32_t fit = 0;
            if (!value(&v) || !Config_ChoiceByName("Fit", v.c_str(), &fit))
                return Usage("--fit takes within, crop or stretch");
            opt->fit = fit;
        } else if (a == "--crop-focus") {
            int32_t focus = 0;
            if (!value(&v) || !Config_ChoiceByName("CropFocus", v == "center" ? "centre" : v.c_str(), &focus))
                return Usage("--crop-focus takes centre or detail");
            opt->focus = focus;
        } else if (a == "--never-larger" || a == "--allow-larger") {
            run->NeverLarger = a == "--never-larger";
        } else if (a == "--max-size") {
            if (!value(&v) || !SizeLimitKib(v, &n)) return Usage("--max-size takes N, Nk or Nm (KiB or MiB), 0 = none");
            opt->maxSizeKib = n;
        } else if (a == "--total-size") {
            if (!value(&v) || !SizeLimitKib(v, &n))
                return Usage("--total-size takes N, Nk or Nm (KiB or MiB), 0 = none");
            run->TotalSize = n;
        } else if (a == "-f" || a == "--filter") {
            if (!value(&v) || !Config_ChoiceByName("Filter", v.c_str(), &run->Filter))
                return Usage("--filter takes lanczos or bilinear");
        } else if (a == "--colour" || a == "--color") {
            if (!value(&v) || !Config_ChoiceByName("ColourProfile", v.c_str(), &run->ColourProfile))
                return Usage("--colour takes srgb or keep");
        } else if (a == "--metadata") {
            if (!value(&v) || !Config_ChoiceByName("Metadata", v.c_str(), &run->Metadata))
                return Usage("--metadata takes camera, all or none");
        } else if (a == "--format") {
            if (!value(&v) || !Config_ChoiceByName("Format", v.c_str(), &run->Format))
                return Usage(("--format takes " + FormatValues()).c_str());
        } else if (a == "--background") {
            if (!value(&v) || !Config_ColourByName(v.c_str(), &run->Background))
                return Usage("--background takes black, white or #RRGGBB");
        } else if (a == "-o" || a == "--output") {
            if (!value(&v)) return Usage("--output needs a folder");
            if (v.empty() || v.back() != Path_Separator()) v += Path_Separator();
            if (v.size() >= sizeof run->Path) return Usage("the --output folder's path is too long");
            Str_Copy(run->Path, v.c_str());
            run->SameDirectory = 0;
        } else if (a == "-r" || a == "--recursive" || a == "--no-recursive") {
            run->Subfolders = a != "--no-recursive";
        } else if (a == "--same-folder") {
            run->SameDirectory = 1;
        } else if (a == "-a" || a == "--append") {
            if (!value(&v) || !CopyField(run->Append, v, int(sizeof run->Append)))
                return Usage("--append needs a text of at most 79 characters");
        } else if (a == "--prepend") {
            if (!value(&v) || !CopyField(run->Prepend, v, int(sizeof run->Prepend)))
                return Usage("--prepend needs a text of at most 79 characters");
        } else if (a == "--on-collision") {
            if (!value(&v) || !Config_ChoiceByName("OnCollision", v.c_str(), &run->OnCollision))
                return Usage("--on-collision takes refuse, number or skip");
        } else if (a == "--keep-dates" || a == "--no-keep-dates") {
            run->DuplicateDate = a == "--keep-dates";
        } else if (a == "-n" || a == "--dry-run") {
            opt->dryRun = 1;
        } else if (a == "-j" || a == "--jobs") {
            if (!value(&v) || !Number(v.c_str(), 1, 64, &opt->jobs)) return Usage("--jobs takes 1 to 64");
        } else if (a == "--quiet") {
            opt->quiet = 1;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return Usage(("unknown option " + a).c_str());
        } else {
            TakePath(argv, i, opt);
        }
    }
    // Whatever order the options came in, the limit is the final profile's.
    if (opt->maxSizeKib >= 0) FieldOfRun(run, &ResizeProfile::MaxSize, &AppConfig::CustomMaxSize) = opt->maxSizeKib;
    if (opt->dpi >= 0) FieldOfRun(run, &ResizeProfile::Dpi, &AppConfig::CustomDpi) = opt->dpi;
    // Lengths become pixels at the run's density: floor(inches x DPI).
    for (int side = 0; side < 2; ++side) {
        if (opt->inches[side] < 0) continue;
        if (run->CustomDpi <= 0) return Usage("a width or height in cm, mm or in needs --dpi");
        const double pixels = floor(opt->inches[side] * run->CustomDpi + 1e-9);
        if (pixels > 1000000) return Usage("width and height take at most 1000000 pixels");
        (side == 0 ? run->CustomWidth : run->CustomHeight) = int32_t(pixels);
    }
    if (opt->turn < 0 && opt->sized) opt->turn = 0;
    if (opt->turn >= 0) FieldOfRun(run, &ResizeProfile::Turn, &AppConfig::CustomTurn) = opt->turn;
    if (opt->percent >= 0) FieldOfRun(run, &ResizeProfile::Percent, &AppConfig::CustomPercent) = opt->percent;
    if (opt->fit >= 0) FieldOfRun(run, &ResizeProfile::Fit, &AppConfig::CustomFit) = opt->fit;
    if (opt->focus >= 0) FieldOfRun(run, &ResizeProfile::CropFocus, &AppConfig::CustomCropFocus) = opt->focus;
    char unknown[CONFIG_NAME_SIZE];
    if (Naming_UnknownIn(run, unknown, int(sizeof unknown)))
        return Usage(("no name token is " + std::string(unknown) +
                      ": the tokens are {name}, {profile}, {w}, {h}, {quality}, {date} and {n}, {{ and }} for braces")
                         .c_str());
    if (opt->paths.empty()) return opt->unspellable ? kExitStopped : Usage("no files given");
    return -1;
}

// A name as the terminal shows it: control characters escaped (\n, \t,
// \r, else \xHH), so a name holding one cannot break a line or a table,
// or send the terminal a command.
std::string Shown(const char* name) {
    std::string shown;
    for (const char* c = name; *c; ++c) {
        unsigned char b = (unsigned char)*c;
        if (b >= 0x20 && b != 0x7F) {
            shown += *c;
            continue;
        }
        char escape[8];
        Str_Format(escape, int(sizeof escape),
                   b == '\n'   ? "\\n"
                   : b == '\t' ? "\\t"
                   : b == '\r' ? "\\r"
                               : "\\x%.2X",
                   unsigned(b));
        shown += escape;
    }
    return shown;
}

// A file that could not be resized gets its line on standard error,
// whatever --quiet says.
void ReportFailed(const std::string& path, const char* reason) {
    fprintf(stderr, "%s: %s\n", Shown(path.c_str()).c_str(), reason);
}

// Ctrl-C stops a long walk down the folders too.
int GoOnUnlessInterrupted(void*, const char*, int) {
    return !Core_Interrupted();
}

void PrintTable(const std::vector<FileRow>& rows) {
    const int kCells = 5;
    std::vector<std::string> cells = {"Filename", "Dimensions", "Size", "New Dimensions", "Est Size"};
    for (const FileRow& r : rows)
        for (const char* cell : {r.name, r.dimensions, r.size, r.newDimensions, r.estimate})
            cells.push_back(Shown(cell));
    int width[kCells] = {};
    for (size_t i = 0; i < cells.size(); ++i)
        width[i % kCells] = std::max(width[i % kCells], Str_CharacterCount(cells[i].c_str()));
    for (size_t i = 0; i < cells.size(); ++i)
        printf("%s%*s%s", cells[i].c_str(), width[i % kCells] - Str_CharacterCount(cells[i].c_str()), "",
               i % kCells < kCells - 1 ? "  " : "\n");
}

// ---------------------------------------------------------- the resize run

// What the terminal shows of a run, and its closing message.
struct Console {
    int quiet;
    int terminal;
    int done;
    const std::vector<std::string>* paths;  // the sources in batch order
    std::string closing;
};

// One line per progress text, or on a terminal one line that redraws with
// a bar of the files finished.
void ConsoleProgress(void* data, const char* text) {
    Console* c = static_cast<Console*>(data);
    if (c->quiet) return;
    if (c->terminal) {
        const int kBar = 24;
        int total = int(c->paths->size());
        std::string bar(size_t(total > 0 ? c->done * kBar / total : 0), '#');
        bar.resize(kBar, '.');
        printf("\r\033[K[%s] %s", bar.c_str(), text);
    } else {
        printf("%s\n", text);
    }
    fflush(stdout);
}

int ConsoleCancelled(void*) {
    return Core_Interrupted();
}

void ConsoleMessage(void* data, const char* text) {
    static_cast<Console*>(data)->closing = text;
}

void ConsoleFileDone(void* data, int index, int written, const char* reason) {
    Console* c = static_cast<Console*>(data);
    c->done += 1;
    if (written) return;
    if (c->terminal && !c->quiet) printf("\r\033[K");
    fflush(stdout);
    ReportFailed((*c->paths)[size_t(index)], reason);
}

// The listing's host: the paths it reads, the files it left out, and the
// subfolder of each file that got a row, in row order.
struct Listing {
    const GatheredStruct* gathered;
    int skipped;
    std::vector<std::string> rowSubfolders;
};

void IgnoreText(void*, const char*) {
}

void ListingFileDone(void* data, int index, int listed, const char* reason) {
    Listing* l = static_cast<Listing*>(data);
    if (listed) {
        l->rowSubfolders.push_back(l->gathered->subfolders[size_t(index)]);
        return;
    }
    l->skipped += 1;
    ReportFailed(l->gathered->files[size_t(index)], reason);
}

// Resizes the accepted files with the batch engine, going on past files
// that fail, and adds the run's totals to the saved statistics. Returns the
// exit status.
int ResizeAll(const AppConfig* runConfig, const std::vector<FileRow>& rows, const std::vector<std::string>& subfolders,
              const Options& opt, AppConfig* saved) {
    BatchStruct* batch = nullptr;
    if (!Batch_Create(&batch, runConfig, int(rows.size()))) {
        fprintf(stderr, "Not enough memory for %d images.\n", int(rows.size()));
        return kExitStopped;
    }
    Batch_SetStopOnFailure(batch, 0);
    std::vector<std::string> paths;
    for (size_t i = 0; i < rows.size(); ++i) {
        Batch_SetRow(batch, int(i), &rows[i], subfolders[i].c_str());
        paths.push_back(rows[i].path);
    }
    Console console = {opt.quiet, Core_OutputIsTerminal(), 0, &paths, std::string()};
    JobHost host = {&console, ConsoleProgress, ConsoleCancelled, ConsoleMessage, ConsoleFileDone};
    int jobs = opt.jobs > 0 ? opt.jobs : ThreadPool_Processors();
    jobs = std::min(jobs, std::max(1, int(rows.size())));
    // The calling thread is one of the workers.
    ThreadPool(jobs - 1);
    Batch_Run(batch, &host, jobs);
    ThreadPool(0);
    if (console.terminal && !opt.quiet) printf("\n");
    Batch_AddStatistics(batch, saved);
    // Ctrl-C counts whenever it came, also during the last file.
    int status = kExitDone;
    BatchOutcome outcome;
    Batch_GetOutcome(batch, &outcome);
    if (outcome.cancelled || Core_Interrupted())
        status = kExitInterrupted;
    else if (outcome.failed > 0)
        status = kExitStopped;
    fprintf(status == kExitInterrupted ? stderr : stdout, "%s\n", console.closing.c_str());
    int64_t limit = Plan_LimitBytes(runConfig);
    if (limit > 0 && outcome.written > 0 && !opt.quiet) {
        char text[STR_TEXT_SIZE];
        Str_Format(text, int(sizeof text), "At most %I64d KB a copy: %d copies in %I64d encodes.", limit / 1024,
                   outcome.written, outcome.encodes);
        printf("%s\n", text);
    }
    if (runConfig->TotalSize > 0 && outcome.written > 0 && !opt.quiet) {
        char text[STR_TEXT_SIZE];
        Str_Format(text, int(sizeof text), "Together %'I64d KB of at most %'I64d KB: %d copies in %I64d encodes.",
                   outcome.outputTotal / 1024, int64_t(runConfig->TotalSize), outcome.written, outcome.encodes);
        printf("%s\n", text);
    }
    Batch_Destroy(&batch);
    return status;
}

int Main(int argc, char** argv) {
    AppConfig* saved = nullptr;
    AppConfig* run = nullptr;
    Config_Create(&saved);
    Config_Create(&run);
    Config_Load(saved);
    Config_Load(run);
    Options opt;
    int status = ParseArguments(argc, argv, run, &opt);
    if (status < 0) {
        Core_CatchInterrupt();
        GatheredStruct gathered;
        Gather_Paths(run, opt.paths, run->Subfolders, GoOnUnlessInterrupted, nullptr, &gathered);
        for (const auto& problem : gathered.problems) ReportFailed(problem.first, problem.second);
        std::vector<const char*> paths;
        for (const std::string& f : gathered.files) paths.push_back(f.c_str());
        std::vector<FileRow> rows(gathered.files.size());
        Listing listing = {&gathered, int(gathered.problems.size()) + opt.unspellable, {}};
        const JobHost host = {&listing, IgnoreText, ConsoleCancelled, IgnoreText, ListingFileDone};
        int jobs = opt.jobs > 0 ? opt.jobs : ThreadPool_Processors();
        int complete = 1;
        // The calling thread is one of the workers.
        ThreadPool(jobs - 1);
        // A budget for the run plans from measured estimates.
        int measure = (opt.dryRun || run->TotalSize > 0) && !opt.quickEstimates;
        rows.resize(
            size_t(Prepare_Files(run, paths.data(), int(paths.size()), measure, &host, jobs, rows.data(), &complete)));
        ThreadPool(0);
        int skipped = listing.skipped;
        if (Core_Interrupted()) {
            char text[STR_TEXT_SIZE];
            Copy_CancelledText(0, text, int(sizeof text));
            fprintf(stderr, "%s\n", text);
            status = kExitInterrupted;
        } else if (opt.dryRun) {
            PrintTable(rows);
            BudgetStruct plan;
            Prepare_Budget(run, rows.data(), int(rows.size()), &plan);
            if (plan.budget > 0)
                printf("Together ~%lldk at quality %d%s, of at most %lldk\n", (long long)(plan.planned / 1024),
                       int(plan.quality), plan.factor < 1.0 ? ", sizes stepped down" : "",
                       (long long)(plan.budget / 1024));
            status = skipped ? kExitStopped : kExitDone;
        } else {
            status = ResizeAll(run, rows, listing.rowSubfolders, opt, saved);
            if (status == kExitDone && skipped) status = kExitStopped;
            if (saved->DisableSave == 1)
                Log_Print(0, "Save disabled\n");
            else
                Config_Save(saved);
        }
    }
    Config_Destroy(&run);
    Config_Destroy(&saved);
    return status;
}

struct Arguments {
    int argc;
    char** argv;
};

int GuardedMain(void* data) {
    Arguments* a = static_cast<Arguments*>(data);
    return Main(a->argc, a->argv);
}

}  // namespace

int main(int argc, char** argv) {
    LogFlags flags = 0;
    Log_ParseArguments(&flags, argc - 1, argv + 1);
    Core_Init("debug.log", flags, "%s %s (%s)", "Brimlow", BRIMLOW_VERSION_TEXT, "Release");
    Core_SetUnattended(1);
    Core_UseUtf8Console();
    Mem_Init(0x7FFFFFFF);
    ThreadPool_Init();
    Arguments args = {argc, argv};
    int status = Core_RunGuarded(GuardedMain, &args, 3);
    ThreadPool(0);
    ThreadPool_Close();
    Colour_ForgetTransforms();
    Mem_Report();
    Log_Close();
    return status;
}
