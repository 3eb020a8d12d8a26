// The languages the window speaks: one table of texts per language,
// compiled in, each keyed by the English text it translates, so that a
// dialog's English captions, the menus' and every message in the code are
// their own keys. The program's texts are English until a language is
// chosen; brimlow-cli never chooses one (scripts parse its English).
// Platform-neutral.
#pragma once

#include <stdint.h>

// The languages, in the order the Settings page lists them.
enum {
    LANGUAGE_ENGLISH = 0,
    LANGUAGE_GERMAN,
    LANGUAGE_FRENCH,
    LANGUAGE_SPANISH,
    LANGUAGE_ITALIAN,
    LANGUAGE_PORTUGUESE_BRAZIL,
    LANGUAGE_DUTCH,
    LANGUAGE_POLISH,
    LANGUAGE_RUSSIAN,
    LANGUAGE_UKRAINIAN,
    LANGUAGE_TURKISH,
    LANGUAGE_JAPANESE,
    LANGUAGE_CHINESE_SIMPLIFIED,
    LANGUAGE_KOREAN,
    LANGUAGE_ARABIC,
    LANGUAGE_COUNT
};

// How a language chooses among a text's forms for a count: the forms of a
// plural text are separated by "|", in the order given here.
enum {
    PLURAL_ONE_FORM = 0,  // one form for every count (Japanese, Chinese, Korean, Turkish)
    PLURAL_ONE_OTHER,     // 1; other
    PLURAL_ONE_UP_TO_1,   // 0 and 1; other (French, Brazilian Portuguese)
    PLURAL_EAST_SLAVIC,   // 1, 21...; 2-4, 22-24...; other (Russian, Ukrainian)
    PLURAL_POLISH,        // 1; 2-4, 22-24...; other
    PLURAL_ARABIC         // 0; 1; 2; 3-10; 11-99; other (of each hundred)
};

// One text of a table.
struct LanguageText {
    const char* english;         // the key: the text as the program writes it in English
    const char* text = nullptr;  // the language's; for a plural text its forms separated by "|"; null: the
                                 // key itself (English's own texts)
};

// A language and its table.
struct LanguageTable {
    const char* tag;            // BCP 47, as config.xml keeps it and Windows names it: "de", "pt-BR"
    const char* name;           // its name in itself, as the Settings page lists it
    int rightToLeft;            // 1: the window is laid out right to left (Arabic)
    int plural;                 // PLURAL_*
    const LanguageText* texts;  // its table; static
    int count;                  // texts in it
};

// The language index (LANGUAGE_*); others are a fatal stop.
const LanguageTable* Language_Table(int language);

// The language whose tag names tag, or whose tag is tag's language when
// no table names its region ("de-AT" is German, "pt-PT" Brazilian
// Portuguese, "zh-TW" none: Simplified Chinese is only for "zh-CN", "zh-SG"
// and "zh-Hans"); letter case ignored. -1 for none.
int Language_FromTag(const char* tag);

// Makes language the program's (before any window opens; the texts it
// returned before stay valid). A language outside the list is a fatal
// stop. Cannot fail (1).
int Language_Set(int language);
int Language_Current(void);

// english in the program's language: the table's text, or english itself
// when the table has none (logged once, "Untranslated"). A null english is
// a fatal stop. The text is static.
const char* Language_Text(const char* english);

// The form of plural text english for count in the program's language
// (English's own plural texts have forms too). Static.
const char* Language_Plural(const char* english, int64_t count);

// The form index of count under rule (PLURAL_*), and how many forms the
// rule has.
int Language_PluralForm(int rule, int64_t count);
int Language_PluralForms(int rule);

// The English table: every text the program shows, as its key; a plural
// text's English forms where English has them.
extern const LanguageText kEnglishTexts[];
extern const int kEnglishTextCount;
