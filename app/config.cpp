// The configuration record and its profile list.
#include "config.h"

#include <string.h>

#include "orv-core.h"

namespace {

const char kModule[] = "app/config";
const char kListTag[] = "ProfileStructLinked:config";

void CheckList(ProfileStructLinked* list, int line) {
    if (!list) Core_NullPointer(kModule, line);
    Class_Check(list, kListTag, kModule, line);
}

}  // namespace

int Config_Create(AppConfig** config) {
    if (!config) Core_NullPointer(kModule, __LINE__);
    AppConfig* c = static_cast<AppConfig*>(Mem_Alloc(int(sizeof(AppConfig)), MEM_HEAP, kModule, __LINE__));
    c->Profiles.tag = kListTag;
    Config_Reset(c);
    *config = c;
    return 1;
}

int Config_Destroy(AppConfig** config) {
    if (!config || !*config) Core_NullPointer(kModule, __LINE__);
    AppConfig* c = *config;
    *config = nullptr;
    Config_Reset(c);
    c->Profiles.tag = nullptr;
    Mem_Free(c, int(sizeof(AppConfig)), MEM_HEAP, kModule, __LINE__);
    return 1;
}

int Config_Reset(AppConfig* config) {
    if (!config) Core_NullPointer(kModule, __LINE__);
    ProfileStructLinked* list = &config->Profiles;
    CheckList(list, __LINE__);
    while (list->first) Config_RemoveProfile(config, list->first);
    const char* tag = list->tag;
    memset(config, 0, sizeof *config);
    config->Profiles.tag = tag;
    config->TrayMinimize = 1;
    config->AlwaysOnTop = 0;
    config->DuplicateDate = 1;
    config->Subfolders = 1;
    config->AutoClearList = 1;
    config->NeverLarger = 1;
    return 1;
}

int Config_Copy(AppConfig* destination, const AppConfig* source) {
    if (!destination || !source) Core_NullPointer(kModule, __LINE__);
    CheckList(const_cast<ProfileStructLinked*>(&source->Profiles), __LINE__);
    Config_Reset(destination);
    ProfileStructLinked list = destination->Profiles;
    memcpy(destination, source, sizeof *destination);
    destination->Profiles = list;
    for (const ResizeProfile* p = source->Profiles.first; p; p = p->next) Config_CopyProfile(destination, p);
    return 1;
}

ResizeProfile* Config_CopyProfile(AppConfig* config, const ResizeProfile* from) {
    if (!from) Core_NullPointer(kModule, __LINE__);
    ResizeProfile* copy = Config_AddProfile(config);
    ResizeProfile* next = copy->next;
    ResizeProfile* previous = copy->previous;
    *copy = *from;
    copy->next = next;
    copy->previous = previous;
    return copy;
}

ResizeProfile* Config_ProfileAt(AppConfig* config, int index) {
    if (!config) Core_NullPointer(kModule, __LINE__);
    ResizeProfile* p = config->Profiles.first;
    for (; p && index > 0; p = p->next) --index;
    return index == 0 ? p : nullptr;
}

ResizeProfile* Config_AddProfile(AppConfig* config) {
    if (!config) Core_NullPointer(kModule, __LINE__);
    ProfileStructLinked* list = &config->Profiles;
    CheckList(list, __LINE__);
    ResizeProfile* node =
        static_cast<ResizeProfile*>(Mem_Alloc(int(sizeof(ResizeProfile)), MEM_HEAP, kModule, __LINE__));
    node->previous = list->last;
    if (list->last)
        list->last->next = node;
    else
        list->first = node;
    list->last = node;
    list->count += 1;
    node->Format = PROFILE_FORMAT_SETTINGS;
    return node;
}

ResizeProfile* Config_FindProfile(AppConfig* config, const char* name) {
    if (!config || !name) Core_NullPointer(kModule, __LINE__);
    for (ResizeProfile* p = config->Profiles.first; p; p = p->next)
        if (Str_EqualNoCase(p->Name, name)) return p;
    return nullptr;
}

int Config_RemoveProfile(AppConfig* config, ResizeProfile* profile) {
    if (!config || !profile) Core_NullPointer(kModule, __LINE__);
    ProfileStructLinked* list = &config->Profiles;
    CheckList(list, __LINE__);
    (profile->previous ? profile->previous->next : list->first) = profile->next;
    (profile->next ? profile->next->previous : list->last) = profile->previous;
    list->count -= 1;
    Mem_Free(profile, int(sizeof(ResizeProfile)), MEM_HEAP, kModule, __LINE__);
    return 1;
}
