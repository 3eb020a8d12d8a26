// A profile's name travels in the menu's command line. The shell expands
// "%" followed by a letter or digit there, and the command line's split
// takes quotes and the backslashes before them: those characters, and the
// escape's own, are written as "^" and two hex digits.
#include "launch.h"

#include "language.h"
#include "orv-core.h"

const char kLaunchMenuSwitch[] = "--shell-menu";

namespace {

const char kProfileSwitch[] = "--profile";
const char kEscaped[] = "\"%^\\";
const char kOpenLabel[] = "Open in Brimlow...";

int Escapes(char c) {
    for (const char* e = kEscaped; *e; ++e)
        if (*e == c) return 1;
    return 0;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The name as the argument after "--profile", in quotes; 0 when it does
// not fit size.
int QuoteProfile(const char* name, char* text, int size) {
    std::string quoted = "\"";
    for (const char* c = name; *c; ++c) {
        char escaped[4] = {*c, 0};
        if (Escapes(*c)) Str_Format(escaped, int(sizeof escaped), "^%02X", unsigned(static_cast<unsigned char>(*c)));
        quoted += escaped;
    }
    quoted += "\"";
    return Str_CopyN(text, quoted.c_str(), size) && int(quoted.size()) < size;
}

// The name back from the argument as split; 0 for an escape that is not
// one of ours, or a name that does not fit size.
int ReadProfile(const std::string& argument, char* name, int size) {
    std::string text;
    for (size_t i = 0; i < argument.size(); ++i) {
        if (argument[i] != '^') {
            text += argument[i];
            continue;
        }
        const int high = i + 2 < argument.size() ? HexValue(argument[i + 1]) : -1;
        const int low = high >= 0 ? HexValue(argument[i + 2]) : -1;
        if (low < 0 || !Escapes(char(high * 16 + low))) return 0;
        text += char(high * 16 + low);
        i += 2;
    }
    if (text.empty() || int(text.size()) >= size) return 0;
    return Str_CopyN(name, text.c_str(), size);
}

}  // namespace

int Launch_ReadStart(const std::vector<std::string>& arguments, LaunchStart* start) {
    start->mode = LAUNCH_WINDOW;
    start->profile[0] = 0;
    start->paths.clear();
    size_t first = 0;
    int read = 1;
    if (!arguments.empty() && arguments[0] == kLaunchMenuSwitch) {
        start->mode = LAUNCH_MENU;
        first = 1;
    } else if (!arguments.empty() && arguments[0] == kProfileSwitch) {
        read = arguments.size() > 1 && ReadProfile(arguments[1], start->profile, int(sizeof start->profile));
        start->mode = read ? LAUNCH_PROFILE : LAUNCH_WINDOW;
        first = arguments.size() > 1 ? 2 : 1;
    }
    for (size_t i = first; i < arguments.size(); ++i)
        if (!Log_IsSwitch(arguments[i].c_str())) start->paths.push_back(arguments[i]);
    return read;
}

int Launch_MenuEntries(const AppConfig* config, std::vector<LaunchEntry>* entries) {
    entries->clear();
    int index = 0;
    for (const ResizeProfile* p = config->Profiles.first; p; p = p->next) {
        LaunchEntry entry = {};
        char quoted[STR_TEXT_SIZE];
        if (!QuoteProfile(p->Name, quoted, int(sizeof quoted))) continue;
        Str_Format(entry.key, int(sizeof entry.key), "p%03d", ++index);
        Str_CopyN(entry.label, p->Name, int(sizeof entry.label));
        Str_Format(entry.arguments, int(sizeof entry.arguments), "%s %s", kProfileSwitch, quoted);
        entries->push_back(entry);
    }
    LaunchEntry open = {};
    Str_Copy(open.key, "zopen");
    Str_CopyN(open.label, Language_Text(kOpenLabel), int(sizeof open.label));
    open.separated = 1;
    entries->push_back(open);
    return 1;
}
