// Loading and saving the configuration: "config.xml" and "profiles.xml"
// merged into one document, the user's profiles of "user-profiles.xml",
// then "stats.xml"; written back as "config.xml", "stats.xml" and
// "user-profiles.xml". Every key lives in the text of an element.
#include <stddef.h>
#include <string.h>

#include "config.h"
#include "file.h"
#include "orv-core.h"
#include "orv-str.h"
#include "output.h"
#include "plan.h"
#include "xml.h"

namespace {

const char kModule[] = "app/config_file";
// The user's own profiles, beside "config.xml".
const char kOwnProfiles[] = "user-profiles.xml";

// How a key's value is stored in its element and in its field.
enum KeyKind { KEY_FLAG, KEY_INT, KEY_INT64, KEY_DOUBLE, KEY_TEXT, KEY_CHOICE, KEY_COLOUR };

// The texts of Configuration.Resize.Filter, by value.
const char* const kFilterNames[] = {"Lanczos", "Bilinear", nullptr};
const char* const kColourNames[] = {"sRGB", "Keep", nullptr};
const char* const kMetadataNames[] = {"Camera", "All", "None", nullptr};
const char* const kFitNames[] = {"Within", "Crop", "Stretch", nullptr};
const char* const kFocusNames[] = {"Centre", "Detail", nullptr};
const char* const kUnitNames[] = {"px", "cm", "mm", "in", nullptr};
const char* const kCollisionNames[] = {"Refuse", "Number", "Skip", nullptr};

// One setting: where it lives in the file and in AppConfig.
struct ConfigKey {
    const char* path;  // the element path, "Configuration.GUI"
    const char* name;  // the element's name, "DialogX"
    KeyKind kind;
    size_t offset;               // the field's offset in AppConfig
    int size;                    // a text field's size in bytes (terminator included)
    int statistics;              // 1 for the totals, which "stats.xml" holds as well
    const char* const* choices;  // KEY_CHOICE: the texts of values 0, 1, ..., null-ended; a value
                                 // stored as another text reads as 0
};

// The text of a choice's value; a value out of the list's range (set in
// memory by a caller) is written as the first, which it reads back as.
const char* ChoiceName(const char* const* choices, int32_t value) {
    for (int32_t i = 0; choices[i]; ++i)
        if (i == value) return choices[i];
    return choices[0];
}

#define FIELD(f) offsetof(AppConfig, f), int(sizeof(AppConfig::f))

// Every key of "config.xml", in the order it is written and read.
const ConfigKey kKeys[] = {
    {"Configuration.General", "DisableSave", KEY_FLAG, FIELD(DisableSave), 0, nullptr},
    {"Configuration.General", "SkipImageInfo", KEY_FLAG, FIELD(SkipImageInfo), 0, nullptr},
    {"Configuration.General", "DuplicateDate", KEY_FLAG, FIELD(DuplicateDate), 0, nullptr},
    {"Configuration.General", "Subfolders", KEY_FLAG, FIELD(Subfolders), 0, nullptr},
    {"Configuration.GUI", "DialogX", KEY_INT, FIELD(DialogX), 0, nullptr},
    {"Configuration.GUI", "DialogY", KEY_INT, FIELD(DialogY), 0, nullptr},
    {"Configuration.GUI", "TrayMinimize", KEY_FLAG, FIELD(TrayMinimize), 0, nullptr},
    {"Configuration.GUI", "AlwaysOnTop", KEY_FLAG, FIELD(AlwaysOnTop), 0, nullptr},
    {"Configuration.GUI", "AutoClearList", KEY_FLAG, FIELD(AutoClearList), 0, nullptr},
    {"Configuration.GUI", "Language", KEY_TEXT, FIELD(Language), 0, nullptr},
    {"Configuration.Resize", "ActiveProfile", KEY_TEXT, FIELD(ActiveProfile), 0, nullptr},
    {"Configuration.Resize", "AlsoProfiles", KEY_TEXT, FIELD(AlsoProfiles), 0, nullptr},
    {"Configuration.Resize", "Filter", KEY_CHOICE, FIELD(Filter), 0, kFilterNames},
    {"Configuration.Output", "SameDirectory", KEY_FLAG, FIELD(SameDirectory), 0, nullptr},
    {"Configuration.Output", "Path", KEY_TEXT, FIELD(Path), 0, nullptr},
    {"Configuration.Output", "ColourProfile", KEY_CHOICE, FIELD(ColourProfile), 0, kColourNames},
    {"Configuration.Output", "Metadata", KEY_CHOICE, FIELD(Metadata), 0, kMetadataNames},
    {"Configuration.Output", "Format", KEY_CHOICE, FIELD(Format), 0, Output_FormatNames()},
    {"Configuration.Output", "Background", KEY_COLOUR, FIELD(Background), 0, nullptr},
    {"Configuration.Output", "NeverLarger", KEY_FLAG, FIELD(NeverLarger), 0, nullptr},
    {"Configuration.Output", "TotalSize", KEY_INT, FIELD(TotalSize), 0, nullptr},
    {"Configuration.Output.Filename", "Append", KEY_TEXT, FIELD(Append), 0, nullptr},
    {"Configuration.Output.Filename", "Prepend", KEY_TEXT, FIELD(Prepend), 0, nullptr},
    {"Configuration.Output.Filename", "OnCollision", KEY_CHOICE, FIELD(OnCollision), 0, kCollisionNames},
    {"Configuration.Statistics", "ImagesProcessed", KEY_INT64, FIELD(ImagesProcessed), 1, nullptr},
    {"Configuration.Statistics.Filesize", "Original", KEY_INT64, FIELD(Original), 1, nullptr},
    {"Configuration.Statistics.Filesize", "Resized", KEY_INT64, FIELD(Resized), 1, nullptr},
    {"Configuration.Custom", "Width", KEY_INT, FIELD(CustomWidth), 0, nullptr},
    {"Configuration.Custom", "Height", KEY_INT, FIELD(CustomHeight), 0, nullptr},
    {"Configuration.Custom", "Quality", KEY_DOUBLE, FIELD(CustomQuality), 0, nullptr},
    {"Configuration.Custom", "MaxSize", KEY_INT, FIELD(CustomMaxSize), 0, nullptr},
    {"Configuration.Custom", "Turn", KEY_FLAG, FIELD(CustomTurn), 0, nullptr},
    {"Configuration.Custom", "Percent", KEY_INT, FIELD(CustomPercent), 0, nullptr},
    {"Configuration.Custom", "Dpi", KEY_INT, FIELD(CustomDpi), 0, nullptr},
    {"Configuration.Custom", "Fit", KEY_CHOICE, FIELD(CustomFit), 0, kFitNames},
    {"Configuration.Custom", "CropFocus", KEY_CHOICE, FIELD(CustomCropFocus), 0, kFocusNames},
    {"Configuration.Custom", "Unit", KEY_CHOICE, FIELD(CustomUnit), 0, kUnitNames},
};

#undef FIELD

// The value whose text name is, letter case ignored: 1 with *value set, 0
// for a name no value has.
int ChoiceOf(const char* const* choices, const char* name, int32_t* value) {
    for (int32_t i = 0; choices[i]; ++i)
        if (Str_EqualNoCase(name, choices[i])) {
            *value = i;
            return 1;
        }
    return 0;
}

// The most bytes a key's text is read with: a choice's or a colour's name,
// or any other value.
int TextRoom(const ConfigKey& k) {
    return k.kind == KEY_CHOICE || k.kind == KEY_COLOUR ? int(CONFIG_NAME_SIZE) : int(STR_TEXT_SIZE);
}

// A key's field from the text of its element (not a text key's, which is
// read into its field as it stands): a choice or colour no value has reads
// as the first.
void TakeText(const ConfigKey& k, const char* text, char* field) {
    int32_t* value = reinterpret_cast<int32_t*>(field);
    switch (k.kind) {
    case KEY_FLAG: {
        int flag = 0;
        Str_ParseBool(text, &flag, 0);
        *value = flag;
        break;
    }
    case KEY_INT:
        *value = int32_t(uint32_t(uint64_t(Str_AtoI(text))));
        break;
    case KEY_INT64:
        *reinterpret_cast<int64_t*>(field) = Str_AtoI(text);
        break;
    case KEY_DOUBLE:
        *reinterpret_cast<double*>(field) = Str_AtoF(text);
        break;
    case KEY_TEXT:
        Str_CopyN(field, text, k.size);
        break;
    case KEY_CHOICE:
        if (!ChoiceOf(k.choices, text, value)) *value = 0;
        break;
    case KEY_COLOUR:
        if (!Config_ColourByName(text, value)) *value = 0;
        break;
    }
}

// The text a key's field is stored as, into text (STR_TEXT_SIZE bytes).
void KeyText(const ConfigKey& k, const char* field, char* text) {
    const int32_t value = *reinterpret_cast<const int32_t*>(field);
    const uint32_t rgb = uint32_t(value) & 0xFFFFFFu;
    switch (k.kind) {
    case KEY_FLAG:
        Str_CopyN(text, value == 1 ? "true" : "false", STR_TEXT_SIZE);
        break;
    case KEY_INT:
        Str_Format(text, STR_TEXT_SIZE, "%d", value);
        break;
    case KEY_INT64:
        Str_Format(text, STR_TEXT_SIZE, "%I64d", *reinterpret_cast<const int64_t*>(field));
        break;
    case KEY_DOUBLE:
        Str_Format(text, STR_TEXT_SIZE, "%f", *reinterpret_cast<const double*>(field));
        break;
    case KEY_TEXT:
        Str_CopyN(text, field, STR_TEXT_SIZE);
        break;
    case KEY_CHOICE:
        Str_CopyN(text, ChoiceName(k.choices, value), STR_TEXT_SIZE);
        break;
    case KEY_COLOUR:
        if (rgb == 0 || rgb == 0xFFFFFFu)
            Str_CopyN(text, rgb == 0 ? "Black" : "White", STR_TEXT_SIZE);
        else
            Str_Format(text, STR_TEXT_SIZE, "#%.6X", unsigned(rgb));
        break;
    }
}

// A text key is emptied first; a flag or number keeps its value only when
// its element is missing.
void ReadKey(XMLStruct* xml, AppConfig* c, const ConfigKey& k) {
    char* field = reinterpret_cast<char*>(c) + k.offset;
    char text[STR_TEXT_SIZE];
    if (k.kind == KEY_TEXT) {
        field[0] = 0;
        XML_GetString(xml, k.path, k.name, field, k.size);
    } else if (XML_GetString(xml, k.path, k.name, text, TextRoom(k))) {
        TakeText(k, text, field);
    }
}

void WriteKey(XMLStruct* xml, const AppConfig* c, const ConfigKey& k) {
    char text[STR_TEXT_SIZE];
    KeyText(k, reinterpret_cast<const char*>(c) + k.offset, text);
    XML_SetString(xml, k.path, k.name, text);
}

// Reads every key, or with statisticsOnly the totals alone.
void ReadKeys(XMLStruct* xml, AppConfig* c, int statisticsOnly) {
    for (const ConfigKey& k : kKeys)
        if (!statisticsOnly || k.statistics) ReadKey(xml, c, k);
}

void WriteKeys(XMLStruct* xml, const AppConfig* c, int statisticsOnly) {
    for (const ConfigKey& k : kKeys)
        if (!statisticsOnly || k.statistics) WriteKey(xml, c, k);
}

static_assert(int(PROFILE_FORMAT_SETTINGS) > int(FORMAT_SAME_KIND),
              "a profile's own format is a kind or the same kind");

#define PROFILE_FIELD(f) offsetof(ResizeProfile, f), int(sizeof(ResizeProfile::f))

// Every key of a Profile element, in the order the user's are written.
const ConfigKey kProfileKeys[] = {
    {"", "Name", KEY_TEXT, PROFILE_FIELD(Name), 0, nullptr},
    {"", "Resize", KEY_FLAG, PROFILE_FIELD(Resize), 0, nullptr},
    {"", "Turn", KEY_FLAG, PROFILE_FIELD(Turn), 0, nullptr},
    {"", "Width", KEY_INT, PROFILE_FIELD(Width), 0, nullptr},
    {"", "Height", KEY_INT, PROFILE_FIELD(Height), 0, nullptr},
    {"", "Quality", KEY_DOUBLE, PROFILE_FIELD(Quality), 0, nullptr},
    {"", "MaxSize", KEY_INT, PROFILE_FIELD(MaxSize), 0, nullptr},
    {"", "Percent", KEY_INT, PROFILE_FIELD(Percent), 0, nullptr},
    {"", "Dpi", KEY_INT, PROFILE_FIELD(Dpi), 0, nullptr},
    {"", "Fit", KEY_CHOICE, PROFILE_FIELD(Fit), 0, kFitNames},
    {"", "CropFocus", KEY_CHOICE, PROFILE_FIELD(CropFocus), 0, kFocusNames},
    {"", "Unit", KEY_CHOICE, PROFILE_FIELD(Unit), 0, kUnitNames},
    {"", "Format", KEY_CHOICE, PROFILE_FIELD(Format), 0, Output_FormatNames()},
    {"", "Suffix", KEY_TEXT, PROFILE_FIELD(Suffix), 0, nullptr},
};

#undef PROFILE_FIELD

// A Profile element's keys into p, each as a setting's key reads; a
// missing one is 0 (empty), but Format, which follows the settings'.
void ReadProfile(XMLStruct* xml, XMLNode* node, ResizeProfile* p) {
    for (const ConfigKey& k : kProfileKeys) {
        char* field = reinterpret_cast<char*>(p) + k.offset;
        char text[STR_TEXT_SIZE];
        if (k.kind == KEY_TEXT) {
            XML_GetChildString(xml, node, k.name, field, k.size);
        } else if (XML_GetChildString(xml, node, k.name, text, TextRoom(k))) {
            TakeText(k, text, field);
        } else {
            memset(field, 0, size_t(k.size));
            if (field == reinterpret_cast<char*>(&p->Format)) p->Format = PROFILE_FORMAT_SETTINGS;
        }
    }
}

// p as a new Profile element of the document's list.
void WriteProfile(XMLStruct* xml, const ResizeProfile* p) {
    XMLNode* node = nullptr;
    XML_AddPath(xml, "Configuration.ProfileList", "Profile", &node);
    for (const ConfigKey& k : kProfileKeys) {
        const char* field = reinterpret_cast<const char*>(p) + k.offset;
        // A format of the settings' is no key of the profile's.
        if (field == reinterpret_cast<const char*>(&p->Format) && p->Format == PROFILE_FORMAT_SETTINGS) continue;
        char text[STR_TEXT_SIZE], encoded[STR_TEXT_SIZE * 6];
        KeyText(k, field, text);
        XMLNode* child = nullptr;
        XML_AddElement(xml, node, &child, k.name);
        if (XML_EncodeText(text, encoded, int(sizeof encoded))) XML_SetNodeValue(xml, child, encoded);
    }
}

// The shipped profiles of the document, each at the tail of c's list.
void ReadProfiles(XMLStruct* xml, AppConfig* c) {
    XMLNode* node = nullptr;
    if (!XML_FindPath(xml, nullptr, "Configuration.ProfileList.Profile", &node)) return;
    for (; node; XML_FindNext(xml, "Profile", node, &node)) {
        ResizeProfile* p = Config_AddProfile(c);
        ReadProfile(xml, node, p);
        p->Shipped = 1;
    }
}

// The user's profiles of the document: one of a shipped one's name takes
// its place, any other goes at the tail.
void ReadOwnProfiles(XMLStruct* xml, AppConfig* c) {
    XMLNode* node = nullptr;
    if (!XML_FindPath(xml, nullptr, "Configuration.ProfileList.Profile", &node)) return;
    for (; node; XML_FindNext(xml, "Profile", node, &node)) {
        char name[CONFIG_NAME_SIZE] = "";
        if (!XML_GetChildString(xml, node, "Name", name, int(sizeof name)) || !name[0]) continue;
        ResizeProfile* p = Config_FindProfile(c, name);
        if (!p) p = Config_AddProfile(c);
        ReadProfile(xml, node, p);
        p->Own = 1;
    }
}

// An ActiveProfile that no profile has means Custom, as it always did; one
// that is not "Custom" either is most likely misspelt, which the log says.
void LogUnknownProfile(const AppConfig* c) {
    if (!c->ActiveProfile[0] || Str_EqualNoCase(c->ActiveProfile, "Custom") || Plan_ActiveProfile(c)) return;
    Log_Print(0, "No profile is named [%s]: the Custom profile is used\n", c->ActiveProfile);
}

// Clears the document and starts it with the declaration <?xml version="1.0"?>.
void StartDocument(XMLStruct* xml) {
    XML_Clear(xml);
    XMLNode* declaration = nullptr;
    XML_AddElement(xml, nullptr, &declaration, "xml");
    XML_SetNodeType(xml, declaration, XML_TYPEINSTRUCTION);
    XML_AddAttribute(xml, declaration, "version", "1.0");
}

// Loads a settings file into the document. 0 when it cannot be read or
// holds no Configuration element (empty, cut, not XML at all); *keep is
// then 1 when the file is there all the same, so that saving leaves it for
// the user to mend rather than replacing it with defaults.
int LoadPart(XMLStruct* xml, const char* path, int32_t* keep) {
    XMLNode* root = nullptr;
    if (XML_LoadFile(xml, path) && XML_FindPath(xml, nullptr, "Configuration", &root)) return 1;
    FileIdentity identity;
    *keep = File_GetIdentity(path, &identity);
    if (*keep) Log_Print(0, "Unable to read [%s]; it will not be overwritten\n", path);
    return 0;
}

void FilePath(const char* folder, const char* name, char* path) {
    Str_Format(path, STR_TEXT_SIZE, "%s%s", folder, name);
}

}  // namespace

int Config_ChoiceByName(const char* key, const char* name, int32_t* value) {
    if (!key || !name || !value) Core_NullPointer(kModule, __LINE__);
    for (const ConfigKey& k : kKeys)
        if (k.kind == KEY_CHOICE && Str_Equal(k.name, key)) return ChoiceOf(k.choices, name, value);
    return 0;
}

const char* Config_ChoiceName(const char* key, int32_t value) {
    if (!key) Core_NullPointer(kModule, __LINE__);
    for (const ConfigKey& k : kKeys)
        if (k.kind == KEY_CHOICE && Str_Equal(k.name, key))
            for (int32_t i = 0; k.choices[i]; ++i)
                if (i == value) return k.choices[i];
    return nullptr;
}

double Config_UnitsPerInch(int unit) {
    static const double kPerInch[UNITS] = {0.0, 2.54, 25.4, 1.0};
    return unit > UNIT_PIXELS && unit < UNITS ? kPerInch[unit] : 0.0;
}

int Config_ColourByName(const char* name, int32_t* rgb) {
    if (!name || !rgb) Core_NullPointer(kModule, __LINE__);
    if (Str_EqualNoCase(name, "Black") || Str_EqualNoCase(name, "White")) {
        *rgb = Str_EqualNoCase(name, "Black") ? 0 : 0xFFFFFF;
        return 1;
    }
    if (name[0] != '#' || Str_Length(name) != 7) return 0;
    uint32_t value = 0;
    for (const char* c = name + 1; *c; ++c) {
        int digit = *c >= '0' && *c <= '9'   ? *c - '0'
                    : *c >= 'a' && *c <= 'f' ? *c - 'a' + 10
                    : *c >= 'A' && *c <= 'F' ? *c - 'A' + 10
                                             : -1;
        if (digit < 0) return 0;
        value = value << 4 | uint32_t(digit);
    }
    *rgb = int32_t(value);
    return 1;
}

int Config_SaveProfiles(const AppConfig* config, const char* folder) {
    if (!config || !folder) Core_NullPointer(kModule, __LINE__);
    char path[STR_TEXT_SIZE];
    FilePath(folder, kOwnProfiles, path);
    int own = 0;
    for (const ResizeProfile* p = config->Profiles.first; p; p = p->next) own += p->Own == 1;
    FileIdentity identity;
    if (own == 0 && !File_GetIdentity(path, &identity)) return 1;
    if (config->KeepProfilesFile) {
        Log_Print(0, "Not saving profiles [%s]: they could not be read at start-up\n", path);
        return 0;
    }
    XMLStruct* xml = nullptr;
    XML_Create(&xml);
    StartDocument(xml);
    XMLNode* list = nullptr;
    XML_AddPath(xml, "Configuration", "ProfileList", &list);
    for (const ResizeProfile* p = config->Profiles.first; p; p = p->next)
        if (p->Own == 1) WriteProfile(xml, p);
    const int ok = XML_SaveFile(xml, path);
    if (!ok) Log_Print(0, "Unable to save profiles [%s]\n", path);
    XML_Destroy(&xml);
    return ok;
}

int Config_RestoreProfile(AppConfig* config, const char* folder, ResizeProfile* profile) {
    if (!config || !folder || !profile) Core_NullPointer(kModule, __LINE__);
    if (profile->Own != 1) return 1;
    if (!profile->Shipped) return Config_RemoveProfile(config, profile);
    XMLStruct* xml = nullptr;
    XML_Create(&xml);
    char path[STR_TEXT_SIZE];
    FilePath(folder, "profiles.xml", path);
    XMLNode* node = nullptr;
    int found = 0;
    if (XML_LoadFile(xml, path) && XML_FindPath(xml, nullptr, "Configuration.ProfileList.Profile", &node))
        for (; node && !found; XML_FindNext(xml, "Profile", node, &node)) {
            char name[CONFIG_NAME_SIZE] = "";
            found =
                XML_GetChildString(xml, node, "Name", name, int(sizeof name)) && Str_EqualNoCase(name, profile->Name);
            if (found) ReadProfile(xml, node, profile);
        }
    XML_Destroy(&xml);
    if (found) profile->Own = 0;
    return found;
}

int Config_LoadFrom(AppConfig* config, const char* folder) {
    if (!config || !folder) Core_NullPointer(kModule, __LINE__);
    Config_Reset(config);
    XMLStruct* xml = nullptr;
    XML_Create(&xml);
    XML_Clear(xml);
    XML_SetAppendMode(xml, 1);
    XML_SetMergeMode(xml, 1);
    char path[STR_TEXT_SIZE];
    FilePath(folder, "config.xml", path);
    int ok = LoadPart(xml, path, &config->KeepConfigFile);
    if (ok) {
        FilePath(folder, "profiles.xml", path);
        ok = XML_LoadFile(xml, path);
    }
    if (ok) {
        ReadKeys(xml, config, 0);
        ReadProfiles(xml, config);
        LogUnknownProfile(config);
    } else {
        Log_Print(0, "Unable to load config [%s]\n", path);
    }
    XML_Clear(xml);
    FilePath(folder, kOwnProfiles, path);
    FileIdentity identity;
    if (File_GetIdentity(path, &identity) && LoadPart(xml, path, &config->KeepProfilesFile))
        ReadOwnProfiles(xml, config);
    XML_Clear(xml);
    FilePath(folder, "stats.xml", path);
    if (LoadPart(xml, path, &config->KeepStatsFile)) ReadKeys(xml, config, 1);
    XML_Destroy(&xml);
    return ok;
}

int Config_SaveTo(AppConfig* config, const char* folder) {
    if (!config || !folder) Core_NullPointer(kModule, __LINE__);
    XMLStruct* xml = nullptr;
    XML_Create(&xml);
    StartDocument(xml);
    WriteKeys(xml, config, 0);
    char path[STR_TEXT_SIZE];
    FilePath(folder, "config.xml", path);
    int ok = 0;
    if (config->KeepConfigFile)
        Log_Print(0, "Not saving config [%s]: it could not be read at start-up\n", path);
    else if (!(ok = XML_SaveFile(xml, path)))
        Log_Print(0, "Unable to save config [%s]\n", path);
    // The statistics follow the settings' fate: a settings file that could
    // not be written leaves stats.xml as it was too.
    if (ok || config->KeepConfigFile) {
        StartDocument(xml);
        WriteKeys(xml, config, 1);
        FilePath(folder, "stats.xml", path);
        if (config->KeepStatsFile)
            Log_Print(0, "Not saving stats [%s]: it could not be read at start-up\n", path);
        else if (!XML_SaveFile(xml, path))
            Log_Print(0, "Unable to save stats [%s]\n", path);
        Config_SaveProfiles(config, folder);
    }
    XML_Destroy(&xml);
    return ok;
}

int Config_Load(AppConfig* config) {
    char folder[STR_TEXT_SIZE];
    File_GetProgramDir(folder, int(sizeof folder));
    return Config_LoadFrom(config, folder);
}

int Config_Save(AppConfig* config) {
    char folder[STR_TEXT_SIZE];
    File_GetProgramDir(folder, int(sizeof folder));
    return Config_SaveTo(config, folder);
}
