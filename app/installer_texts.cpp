// Prints the installer's languages and its own texts in each, from the
// window's tables, as an NSIS include (UTF-8 with its mark), for
// scripts/package.sh: the installer speaks every language the window does,
// chosen as NSIS chooses, by Windows' display language.
#include <stdio.h>

#include <string>

#include "language.h"

namespace {

// Each language's name among NSIS's Modern UI languages, by LANGUAGE_*.
const char* const kNsisNames[LANGUAGE_COUNT] = {"English",      "German",   "French",      "Spanish", "Italian",
                                                "PortugueseBR", "Dutch",    "Polish",      "Russian", "Ukrainian",
                                                "Turkish",      "Japanese", "SimpChinese", "Korean",  "Arabic"};

// The installer's texts: the name its script uses, and the English key.
const struct {
    const char* name;
    const char* english;
} kTexts[] = {{"START_TEXT", "Start Brimlow"},
              {"SEND_TO_NAME", "Brimlow (resize pictures)"},
              {"MENU_FAILED", "The right-click menu could not be written."}};

// text as an NSIS string's inside: its "$" and quotes escaped.
std::string Escaped(const char* text) {
    std::string out;
    for (const char* c = text; *c; ++c) out += *c == '$' ? "$$" : *c == '"' ? "$\\\"" : std::string(1, *c);
    return out;
}

}  // namespace

int main() {
    fputs("\xEF\xBB\xBF", stdout);
    for (const char* name : kNsisNames) printf("!insertmacro MUI_LANGUAGE \"%s\"\n", name);
    for (int language = 0; language < LANGUAGE_COUNT; ++language) {
        Language_Set(language);
        for (const auto& text : kTexts) {
            std::string id = kNsisNames[language];
            for (char& c : id) c = char(c >= 'a' && c <= 'z' ? c - 32 : c);
            printf("LangString %s ${LANG_%s} \"%s\"\n", text.name, id.c_str(),
                   Escaped(Language_Text(text.english)).c_str());
        }
    }
    return 0;
}
