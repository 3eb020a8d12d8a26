// Gathering the pictures of named paths: folders listed, sorted and walked
// down, earlier copies and the output folder left out.
#include "gather.h"

#include <string.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "file.h"
#include "orv-core.h"
#include "orv-str.h"
#include "input.h"
#include "output.h"
#include "plan.h"
#include "copy.h"

namespace {

const char kModule[] = "app/engine/gather";

// The walk's state: where it reports, and the front-end's callback.
struct Walk {
    GatheredStruct* gathered;
    GatherFolderFn folder;  // may be null
    void* data;             // the front-end's, for folder
};

void NoteProblem(Walk* walk, const std::string& path, const char* reason) {
    walk->gathered->problems.emplace_back(path, reason);
}

// One folder's entries, sorted before they are passed on.
struct Listing {
    std::vector<std::string> files;
    std::vector<std::string> folders;
    Walk* walk;
};

int Collect(const char* path, int isFolder, const char* problem, void* data) {
    Listing* listing = static_cast<Listing*>(data);
    if (problem) {
        Log_Print(0, "Left out of the listing [%s]: %s\n", path, problem);
        // Only pictures matter to the user: other names go unmentioned.
        if (isFolder || Input_IsAccepted(path)) NoteProblem(listing->walk, path, problem);
        return 1;
    }
    (isFolder ? listing->folders : listing->files).push_back(path);
    return 1;
}

// Names as the file systems the program serves order them; equal ones by
// their bytes, so the order never depends on the listing's.
bool NameBefore(const std::string& a, const std::string& b) {
    int order = Str_CompareNoCase(a.c_str(), b.c_str());
    return order != 0 ? order < 0 : a < b;
}

// Names as the file system tells them apart.
struct NameLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return Path_Compare(a.c_str(), b.c_str()) < 0;
    }
};

// 1 when folder is the settings' output folder.
int IsOutputFolder(const AppConfig* settings, const std::string& folder) {
    if (settings->SameDirectory == 1 || !settings->Path[0]) return 0;
    char a[STR_TEXT_SIZE], b[STR_TEXT_SIZE];
    if (!Str_CopyN(a, folder.c_str(), int(sizeof a)) || !Str_CopyN(b, settings->Path, int(sizeof b))) return 0;
    Path_Normalize(a, 1);
    Path_Normalize(b, 1);
    return Str_EqualNoCase(a, b);
}

// Gathers the pictures of folder, whose subfolder text below the named
// folder is subfolder, and walks down when recursive. 0 when stopped.
int GatherFolder(const AppConfig* settings, const std::string& folder, const std::string& subfolder, int recursive,
                 Walk* walk) {
    GatheredStruct* g = walk->gathered;
    if (walk->folder && !walk->folder(walk->data, folder.c_str(), int(g->files.size()))) return 0;
    Listing listing;
    listing.walk = walk;
    if (!File_ListFolder(folder.c_str(), Collect, &listing)) {
        Log_Print(0, "Folder cannot be read [%s]\n", folder.c_str());
        NoteProblem(walk, folder, "folder cannot be read");
        return 1;
    }
    std::sort(listing.files.begin(), listing.files.end(), NameBefore);
    std::sort(listing.folders.begin(), listing.folders.end(), NameBefore);
    // The names these settings give copies of the folder's pictures, with
    // each profile of the run; a file of such a name is an earlier copy only
    // when it carries the program's mark (a picture of the user's may have
    // any name).
    std::set<std::string, NameLess> copies;
    std::vector<std::string> patterns;  // names whose tokens the copies' sizes or dates fill in
    char names[PLAN_MOST_PROFILES][CONFIG_NAME_SIZE];
    const int profiles = Plan_RunProfiles(settings, names);
    for (int k = 0; k < profiles; ++k) {
        AppConfig run;
        Plan_ProfileView(settings, names[k], profiles > 1, &run);
        if (!run.Append[0] && !run.Prepend[0] && !run.CopySuffix[0]) continue;
        const ResizeProfile* profile = Plan_ActiveProfile(&run);
        char output[STR_TEXT_SIZE], base[STR_TEXT_SIZE];
        for (const std::string& f : listing.files) {
            Path_GetName(f.c_str(), base, int(sizeof base), 1);
            NamingStruct naming = {base, profile ? profile->Name : "Custom", 0, 0, 0, "", 0, 0, 1};
            if (!Input_IsAccepted(f.c_str()) ||
                !Copy_OutputName(&run, f.c_str(), subfolder.c_str(), &naming, output, int(sizeof output)))
                continue;
            if (strchr(output, NAMING_ANY))
                patterns.push_back(output);
            else
                copies.insert(output);
            // Copies numbered when their name was taken: "name (2).jpg".
            char folder[STR_TEXT_SIZE], name[STR_TEXT_SIZE], extension[STR_TEXT_SIZE];
            if (settings->OnCollision != COLLISION_NUMBER ||
                !Path_Split(output, folder, int(sizeof folder), name, int(sizeof name), extension,
                            int(sizeof extension)))
                continue;
            patterns.push_back(std::string(folder) + name + " (" + char(NAMING_ANY) + ")" + (extension[0] ? "." : "") +
                               extension);
        }
    }
    auto named = [&](const std::string& f) {
        if (copies.count(f)) return 1;
        for (const std::string& p : patterns)
            if (Naming_Matches(p.c_str(), f.c_str())) return 1;
        return 0;
    };
    for (const std::string& f : listing.files) {
        if (!Input_IsAccepted(f.c_str())) continue;
        if (named(f) && Output_IsOurCopy(f.c_str())) {
            Log_Print(0, "Earlier copy left out [%s]\n", f.c_str());
            continue;
        }
        g->files.push_back(f);
        g->subfolders.push_back(subfolder);
    }
    if (!recursive) return 1;
    for (const std::string& sub : listing.folders) {
        if (IsOutputFolder(settings, sub)) {
            Log_Print(0, "Output folder left out [%s]\n", sub.c_str());
            continue;
        }
        char name[STR_TEXT_SIZE];
        Path_GetName(sub.c_str(), name, int(sizeof name), 0);
        std::string below = subfolder + name + Path_Separator();
        if (below.size() >= STR_TEXT_SIZE) {
            NoteProblem(walk, sub, "path too long");
            continue;
        }
        if (!GatherFolder(settings, sub, below, recursive, walk)) return 0;
    }
    return 1;
}

// 1 when path names a folder that can be examined.
int IsFolder(const char* path) {
    FileStruct* file = nullptr;
    File_Create(&file);
    int folder = File_Stat(file, path) && file->isFolder;
    File_Destroy(&file);
    return folder;
}

}  // namespace

int Gather_Paths(const AppConfig* settings, const std::vector<std::string>& paths, int recursive, GatherFolderFn folder,
                 void* data, GatheredStruct* gathered) {
    if (!settings || !gathered) Core_NullPointer(kModule, __LINE__);
    *gathered = GatheredStruct{};
    Walk walk = {gathered, folder, data};
    for (const std::string& path : paths) {
        if (IsFolder(path.c_str())) {
            if (!GatherFolder(settings, path, "", recursive, &walk)) {
                gathered->stopped = 1;
                return 0;
            }
            continue;
        }
        gathered->files.push_back(path);
        gathered->subfolders.emplace_back();
    }
    return 1;
}

int Gather_WritePathBlock(const std::vector<std::string>& paths, std::string* block) {
    if (!block) Core_NullPointer(kModule, __LINE__);
    block->clear();
    for (const std::string& path : paths) {
        block->append(path);
        block->push_back('\0');
    }
    if (!paths.empty()) block->push_back('\0');
    return 1;
}

int Gather_ReadPathBlock(const void* bytes, uint32_t size, int (*fn)(const char* path, void* data), void* data) {
    if (!fn || (size > 0 && !bytes)) Core_NullPointer(kModule, __LINE__);
    const char* text = static_cast<const char*>(bytes);
    if (size == 0) return 1;
    if (size < 2 || text[size - 1] != 0 || text[size - 2] != 0) return 0;
    // Checked whole before any path is passed on.
    for (uint32_t at = 0; at < size - 1;) {
        uint32_t length = 0;
        while (text[at + length]) ++length;
        if (length == 0 || length >= STR_TEXT_SIZE || !Str_IsUtf8(text + at, int(length))) return 0;
        at += length + 1;
    }
    for (uint32_t at = 0; at < size - 1; at += uint32_t(Str_Length(text + at)) + 1)
        if (!fn(text + at, data)) break;
    return 1;
}
