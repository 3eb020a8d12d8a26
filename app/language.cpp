// The chosen language's table is indexed once, sorted by key, with its
// plural texts split into their forms; lookups then only read it, from any
// thread.
#include "language.h"

#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "orv-core.h"
#include "orv-str.h"

extern const LanguageText kGermanTexts[], kFrenchTexts[], kSpanishTexts[], kItalianTexts[], kPortugueseTexts[],
    kDutchTexts[], kPolishTexts[], kRussianTexts[], kUkrainianTexts[], kTurkishTexts[], kJapaneseTexts[],
    kChineseTexts[], kKoreanTexts[], kArabicTexts[];
extern const int kGermanTextCount, kFrenchTextCount, kSpanishTextCount, kItalianTextCount, kPortugueseTextCount,
    kDutchTextCount, kPolishTextCount, kRussianTextCount, kUkrainianTextCount, kTurkishTextCount, kJapaneseTextCount,
    kChineseTextCount, kKoreanTextCount, kArabicTextCount;

namespace {

const char kModule[] = "app/language";

// Filled on first use: the tables are other files' constants.
const LanguageTable* Tables() {
    static const LanguageTable tables[LANGUAGE_COUNT] = {
        {"en", "English", 0, PLURAL_ONE_OTHER, kEnglishTexts, kEnglishTextCount},
        {"de", "Deutsch", 0, PLURAL_ONE_OTHER, kGermanTexts, kGermanTextCount},
        {"fr", "Français", 0, PLURAL_ONE_UP_TO_1, kFrenchTexts, kFrenchTextCount},
        {"es", "Español", 0, PLURAL_ONE_OTHER, kSpanishTexts, kSpanishTextCount},
        {"it", "Italiano", 0, PLURAL_ONE_OTHER, kItalianTexts, kItalianTextCount},
        {"pt-BR", "Português (Brasil)", 0, PLURAL_ONE_UP_TO_1, kPortugueseTexts, kPortugueseTextCount},
        {"nl", "Nederlands", 0, PLURAL_ONE_OTHER, kDutchTexts, kDutchTextCount},
        {"pl", "Polski", 0, PLURAL_POLISH, kPolishTexts, kPolishTextCount},
        {"ru", "Русский", 0, PLURAL_EAST_SLAVIC, kRussianTexts, kRussianTextCount},
        {"uk", "Українська", 0, PLURAL_EAST_SLAVIC, kUkrainianTexts, kUkrainianTextCount},
        {"tr", "Türkçe", 0, PLURAL_ONE_FORM, kTurkishTexts, kTurkishTextCount},
        {"ja", "日本語", 0, PLURAL_ONE_FORM, kJapaneseTexts, kJapaneseTextCount},
        {"zh-CN", "中文(简体)", 0, PLURAL_ONE_FORM, kChineseTexts, kChineseTextCount},
        {"ko", "한국어", 0, PLURAL_ONE_FORM, kKoreanTexts, kKoreanTextCount},
        {"ar", "العربية", 1, PLURAL_ARABIC, kArabicTexts, kArabicTextCount}};
    return tables;
}

// A table made ready for lookups.
struct Index {
    std::vector<const LanguageText*> sorted;                // by key, strcmp order
    std::map<const char*, std::vector<std::string>> forms;  // a plural text's forms, by its text
    explicit Index(const LanguageTable* table) {
        Build(table);
    }
    void Build(const LanguageTable* table) {
        sorted.clear();
        forms.clear();
        for (int i = 0; i < table->count; ++i) {
            sorted.push_back(&table->texts[i]);
            const char* text = table->texts[i].text;
            if (!text || !strchr(text, '|')) continue;
            std::vector<std::string>& split = forms[text];
            for (const char *start = text, *bar = text;; ++bar)
                if (*bar == '|' || !*bar) {
                    split.emplace_back(start, bar);
                    if (!*bar) break;
                    start = bar + 1;
                }
        }
        std::sort(sorted.begin(), sorted.end(),
                  [](const LanguageText* a, const LanguageText* b) { return strcmp(a->english, b->english) < 0; });
    }
    const char* Find(const char* english) const {
        auto at = std::lower_bound(sorted.begin(), sorted.end(), english,
                                   [](const LanguageText* t, const char* key) { return strcmp(t->english, key) < 0; });
        if (at == sorted.end() || strcmp((*at)->english, english) != 0) return nullptr;
        return (*at)->text ? (*at)->text : (*at)->english;
    }
};

int g_language = LANGUAGE_ENGLISH;

// English's own index, for its plural forms, and the program's language's;
// made on first use, whenever that comes.
Index& English() {
    static Index index(&Tables()[LANGUAGE_ENGLISH]);
    return index;
}

Index& Chosen() {
    static Index index(&Tables()[LANGUAGE_ENGLISH]);
    return index;
}

// A text the program's language lacks shows in English, and the debug log
// says so.
void NoteUntranslated(const char* english) {
    if (g_language != LANGUAGE_ENGLISH) Log_Print(0, "Untranslated [%s]: %s\n", Tables()[g_language].tag, english);
}

}  // namespace

const LanguageTable* Language_Table(int language) {
    if (language < 0 || language >= LANGUAGE_COUNT) Core_Abort("No language %d\n", language);
    return &Tables()[language];
}

int Language_FromTag(const char* tag) {
    if (!tag || !tag[0]) return -1;
    for (int i = 0; i < LANGUAGE_COUNT; ++i)
        if (Str_EqualNoCase(tag, Tables()[i].tag)) return i;
    // By the language alone, but Chinese: the Simplified script's.
    char primary[8] = {};
    for (int i = 0; tag[i] && tag[i] != '-' && tag[i] != '_' && i < 7; ++i) primary[i] = tag[i];
    if (Str_EqualNoCase(primary, "zh"))
        return Str_StartsWithNoCase(tag + 2, "-Hans") || Str_StartsWithNoCase(tag + 2, "-SG") ||
                       Str_StartsWithNoCase(tag + 2, "-CN") || Str_StartsWithNoCase(tag + 2, "_CN")
                   ? LANGUAGE_CHINESE_SIMPLIFIED
                   : -1;
    for (int i = 0; i < LANGUAGE_COUNT; ++i) {
        const char* known = Tables()[i].tag;
        if (Str_StartsWithNoCase(known, primary) && (known[strlen(primary)] == 0 || known[strlen(primary)] == '-'))
            return i;
    }
    return -1;
}

int Language_Set(int language) {
    Chosen().Build(Language_Table(language));
    g_language = language;
    return 1;
}

int Language_Current(void) {
    return g_language;
}

const char* Language_Text(const char* english) {
    if (!english) Core_NullPointer(kModule, __LINE__);
    if (const char* text = Chosen().Find(english)) return text;
    NoteUntranslated(english);
    return english;
}

const char* Language_Plural(const char* english, int64_t count) {
    const char* text = Chosen().Find(english);
    const Index* index = &Chosen();
    int rule = Tables()[g_language].plural;
    if (!text) {
        NoteUntranslated(english);
        text = English().Find(english);
        index = &English();
        rule = PLURAL_ONE_OTHER;
    }
    if (!text) return english;
    auto forms = index->forms.find(text);
    if (forms == index->forms.end()) return text;
    const size_t form = size_t(Language_PluralForm(rule, count));
    return forms->second[form < forms->second.size() ? form : forms->second.size() - 1].c_str();
}

int Language_PluralForm(int rule, int64_t count) {
    const int64_t n = count < 0 ? -count : count, ten = n % 10, hundred = n % 100;
    switch (rule) {
    case PLURAL_ONE_OTHER:
        return n == 1 ? 0 : 1;
    case PLURAL_ONE_UP_TO_1:
        return n <= 1 ? 0 : 1;
    case PLURAL_EAST_SLAVIC:
        return ten == 1 && hundred != 11 ? 0 : ten >= 2 && ten <= 4 && (hundred < 12 || hundred > 14) ? 1 : 2;
    case PLURAL_POLISH:
        return n == 1 ? 0 : ten >= 2 && ten <= 4 && (hundred < 12 || hundred > 14) ? 1 : 2;
    case PLURAL_ARABIC:
        return n == 0 ? 0 : n == 1 ? 1 : n == 2 ? 2 : hundred >= 3 && hundred <= 10 ? 3 : hundred >= 11 ? 4 : 5;
    }
    return 0;
}

int Language_PluralForms(int rule) {
    static const int forms[] = {1, 2, 2, 3, 3, 6};
    return rule >= 0 && rule <= PLURAL_ARABIC ? forms[rule] : 1;
}
