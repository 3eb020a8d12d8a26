// Loading and saving the configuration: "config.xml" and "profiles.xml"
// merged into one document, then "stats.xml"; written back as "config.xml"
// and "stats.xml". Every key lives in the text of an element.
#include <string.h>

#include "config.h"
#include "file.h"
#include "orv-core.h"
#include "orv-str.h"
#include "xml.h"

namespace {

const char kModule[] = "config";

void ReadText(XMLStruct* xml, const char* path, const char* name, char* field, int size) {
    field[0] = 0;
    XML_GetString(xml, path, name, field, size);
}

void ReadStatistics(XMLStruct* xml, AppConfig* c) {
    XML_GetInt64(xml, "Configuration.Statistics", "ImagesProcessed", &c->ImagesProcessed);
    XML_GetInt64(xml, "Configuration.Statistics.Filesize", "Original", &c->Original);
    XML_GetInt64(xml, "Configuration.Statistics.Filesize", "Resized", &c->Resized);
}

void ReadSettings(XMLStruct* xml, AppConfig* c) {
    XML_GetBool(xml, "Configuration.General", "DisableSave", &c->DisableSave);
    XML_GetBool(xml, "Configuration.General", "SkipImageInfo", &c->SkipImageInfo);
    XML_GetBool(xml, "Configuration.General", "DuplicateDate", &c->DuplicateDate);
    XML_GetInt(xml, "Configuration.GUI", "DialogX", &c->DialogX);
    XML_GetInt(xml, "Configuration.GUI", "DialogY", &c->DialogY);
    XML_GetBool(xml, "Configuration.GUI", "TrayMinimize", &c->TrayMinimize);
    XML_GetBool(xml, "Configuration.GUI", "AlwaysOnTop", &c->AlwaysOnTop);
    XML_GetBool(xml, "Configuration.GUI", "AutoClearList", &c->AutoClearList);
    ReadText(xml, "Configuration.Resize", "ActiveProfile", c->ActiveProfile, int(sizeof c->ActiveProfile));
    XML_GetBool(xml, "Configuration.Output", "SameDirectory", &c->SameDirectory);
    ReadText(xml, "Configuration.Output", "Path", c->Path, int(sizeof c->Path));
    ReadText(xml, "Configuration.Output.Filename", "Append", c->Append, int(sizeof c->Append));
    ReadText(xml, "Configuration.Output.Filename", "Prepend", c->Prepend, int(sizeof c->Prepend));
    ReadStatistics(xml, c);
    XML_GetInt(xml, "Configuration.Custom", "Width", &c->CustomWidth);
    XML_GetInt(xml, "Configuration.Custom", "Height", &c->CustomHeight);
    XML_GetDouble(xml, "Configuration.Custom", "Quality", &c->CustomQuality);
}

void ReadProfiles(XMLStruct* xml, AppConfig* c) {
    XMLNode* node = nullptr;
    if (!XML_FindPath(xml, nullptr, "Configuration.ProfileList.Profile", &node)) return;
    for (; node; XML_FindNext(xml, "Profile", node, &node)) {
        ResizeProfile* p = Config_AddProfile(c);
        XML_GetChildString(xml, node, "Name", p->Name, int(sizeof p->Name));
        XML_GetChildBool(xml, node, "Resize", &p->Resize);
        XML_GetChildInt(xml, node, "Width", &p->Width);
        XML_GetChildInt(xml, node, "Height", &p->Height);
        XML_GetChildDouble(xml, node, "Quality", &p->Quality);
    }
}

// Clears the document and starts it with the declaration <?xml version="1.0"?>.
void StartDocument(XMLStruct* xml) {
    XML_Clear(xml);
    XMLNode* declaration = nullptr;
    XML_AddElement(xml, nullptr, &declaration, "xml");
    XML_SetNodeType(xml, declaration, XML_TYPEINSTRUCTION);
    XML_AddAttribute(xml, declaration, "version", "1.0");
}

void WriteStatistics(XMLStruct* xml, const AppConfig* c) {
    XML_SetInt64(xml, "Configuration.Statistics", "ImagesProcessed", c->ImagesProcessed);
    XML_SetInt64(xml, "Configuration.Statistics.Filesize", "Original", c->Original);
    XML_SetInt64(xml, "Configuration.Statistics.Filesize", "Resized", c->Resized);
}

void FilePath(const char* folder, const char* name, char* path) {
    Str_Format(path, FILE_PATH_SIZE, "%s%s", folder, name);
}

}  // namespace

int Config_LoadFrom(AppConfig* config, const char* folder) {
    if (!config || !folder) Core_NullPointer(kModule, __LINE__);
    Config_Reset(config);
    XMLStruct* xml = nullptr;
    XML_Create(&xml);
    XML_Clear(xml);
    XML_SetAppendMode(xml, 1);
    XML_SetMergeMode(xml, 1);
    char path[FILE_PATH_SIZE];
    FilePath(folder, "config.xml", path);
    int ok = XML_LoadFile(xml, path);
    if (ok) {
        FilePath(folder, "profiles.xml", path);
        ok = XML_LoadFile(xml, path);
    }
    if (!ok) {
        Log_Print(0, "Unable to load config [%s]\n", path);
        XML_Destroy(&xml);
        return 0;
    }
    ReadSettings(xml, config);
    ReadProfiles(xml, config);
    XML_Clear(xml);
    FilePath(folder, "stats.xml", path);
    if (XML_LoadFile(xml, path)) ReadStatistics(xml, config);
    XML_Destroy(&xml);
    return 1;
}

int Config_SaveTo(AppConfig* config, const char* folder) {
    if (!config || !folder) Core_NullPointer(kModule, __LINE__);
    XMLStruct* xml = nullptr;
    XML_Create(&xml);
    StartDocument(xml);
    const AppConfig* c = config;
    XML_SetBool(xml, "Configuration.General", "DisableSave", c->DisableSave);
    XML_SetBool(xml, "Configuration.General", "SkipImageInfo", c->SkipImageInfo);
    XML_SetBool(xml, "Configuration.General", "DuplicateDate", c->DuplicateDate);
    XML_SetInt(xml, "Configuration.GUI", "DialogX", c->DialogX);
    XML_SetInt(xml, "Configuration.GUI", "DialogY", c->DialogY);
    XML_SetBool(xml, "Configuration.GUI", "TrayMinimize", c->TrayMinimize);
    XML_SetBool(xml, "Configuration.GUI", "AlwaysOnTop", c->AlwaysOnTop);
    XML_SetBool(xml, "Configuration.GUI", "AutoClearList", c->AutoClearList);
    XML_SetString(xml, "Configuration.Resize", "ActiveProfile", c->ActiveProfile);
    XML_SetBool(xml, "Configuration.Output", "SameDirectory", c->SameDirectory);
    XML_SetString(xml, "Configuration.Output", "Path", c->Path);
    XML_SetString(xml, "Configuration.Output.Filename", "Append", c->Append);
    XML_SetString(xml, "Configuration.Output.Filename", "Prepend", c->Prepend);
    WriteStatistics(xml, c);
    XML_SetInt(xml, "Configuration.Custom", "Width", c->CustomWidth);
    XML_SetInt(xml, "Configuration.Custom", "Height", c->CustomHeight);
    XML_SetDouble(xml, "Configuration.Custom", "Quality", c->CustomQuality);
    char path[FILE_PATH_SIZE];
    FilePath(folder, "config.xml", path);
    if (!XML_SaveFile(xml, path)) {
        Log_Print(0, "Unable to save config [%s]\n", path);
        XML_Destroy(&xml);
        return 0;
    }
    StartDocument(xml);
    WriteStatistics(xml, c);
    FilePath(folder, "stats.xml", path);
    if (!XML_SaveFile(xml, path)) Log_Print(0, "Unable to save stats [%s]\n", path);
    XML_Destroy(&xml);
    return 1;
}

int Config_Load(AppConfig* config) {
    char folder[FILE_PATH_SIZE];
    File_GetProgramDir(folder, int(sizeof folder));
    return Config_LoadFrom(config, folder);
}

int Config_Save(AppConfig* config) {
    char folder[FILE_PATH_SIZE];
    File_GetProgramDir(folder, int(sizeof folder));
    return Config_SaveTo(config, folder);
}
