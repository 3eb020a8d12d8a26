#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

#include "language.h"

namespace {

// A text's printf conversions in order ("%%" is none).
std::vector<std::string> Conversions(const std::string& text) {
    static const std::regex kConversion("%[-+ #0']*[0-9]*(\\.[0-9]+)?(I64|ll|l|h)?[diouxXeEfgGcsp%]");
    std::vector<std::string> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), kConversion); it != std::sregex_iterator(); ++it)
        if (it->str() != "%%") found.push_back(it->str());
    return found;
}

std::vector<std::string> Forms(const std::string& text) {
    std::vector<std::string> forms;
    size_t start = 0;
    for (size_t bar; (bar = text.find('|', start)) != std::string::npos; start = bar + 1)
        forms.push_back(text.substr(start, bar - start));
    forms.push_back(text.substr(start));
    return forms;
}

int Mnemonics(const std::string& text) {
    int count = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == '&') {
            count += text[i + 1] != '&';
            ++i;
        }
    return count;
}

// Every table has every English text and no other; each translation keeps
// the English conversions in their order (what the program hands the
// format), one mnemonic where English has one, and a plural text the
// number of forms its language's rule picks from (a form may leave out the
// count when the count is all it says).
TEST(Language, EveryTableTranslatesEveryTextWithTheSameArguments) {
    const LanguageTable* english = Language_Table(LANGUAGE_ENGLISH);
    std::map<std::string, const char*> keys;
    for (int i = 0; i < english->count; ++i) {
        EXPECT_TRUE(keys.emplace(english->texts[i].english, english->texts[i].text).second)
            << "twice: " << english->texts[i].english;
    }
    for (int language = 0; language < LANGUAGE_COUNT; ++language) {
        const LanguageTable* table = Language_Table(language);
        SCOPED_TRACE(table->tag);
        std::map<std::string, std::string> texts;
        for (int i = 0; i < table->count; ++i) {
            const LanguageText& t = table->texts[i];
            EXPECT_TRUE(keys.count(t.english)) << "not an English text: " << t.english;
            EXPECT_TRUE(texts.emplace(t.english, t.text ? t.text : t.english).second) << "twice: " << t.english;
        }
        for (const auto& key : keys) {
            auto found = texts.find(key.first);
            if (found == texts.end()) {
                ADD_FAILURE() << "lacks: " << key.first;
                continue;
            }
            const std::vector<std::string> wanted = Conversions(key.first);
            const bool plural = key.second && std::string(key.second).find('|') != std::string::npos;
            const std::vector<std::string> forms = Forms(found->second);
            const int rule = language == LANGUAGE_ENGLISH ? PLURAL_ONE_OTHER : table->plural;
            EXPECT_EQ(int(forms.size()), plural ? Language_PluralForms(rule) : 1) << found->second;
            for (const std::string& form : forms) {
                const std::vector<std::string> has = Conversions(form);
                EXPECT_TRUE(has == wanted || (plural && has.empty() && wanted.size() == 1)) << form;
                EXPECT_EQ(Mnemonics(form), Mnemonics(key.first)) << form;
            }
        }
    }
}

TEST(Language, PluralRulesPickTheirForms) {
    const struct {
        int rule;
        int64_t count;
        int form;
    } cases[] = {
        {PLURAL_ONE_FORM, 1, 0},     {PLURAL_ONE_OTHER, 1, 0},   {PLURAL_ONE_OTHER, 0, 1},
        {PLURAL_ONE_OTHER, 2, 1},    {PLURAL_ONE_UP_TO_1, 0, 0}, {PLURAL_ONE_UP_TO_1, 1, 0},
        {PLURAL_ONE_UP_TO_1, 2, 1},  {PLURAL_EAST_SLAVIC, 1, 0}, {PLURAL_EAST_SLAVIC, 21, 0},
        {PLURAL_EAST_SLAVIC, 11, 2}, {PLURAL_EAST_SLAVIC, 3, 1}, {PLURAL_EAST_SLAVIC, 13, 2},
        {PLURAL_EAST_SLAVIC, 24, 1}, {PLURAL_EAST_SLAVIC, 5, 2}, {PLURAL_EAST_SLAVIC, 0, 2},
        {PLURAL_POLISH, 1, 0},       {PLURAL_POLISH, 21, 2},     {PLURAL_POLISH, 22, 1},
        {PLURAL_POLISH, 12, 2},      {PLURAL_POLISH, 0, 2},      {PLURAL_ARABIC, 0, 0},
        {PLURAL_ARABIC, 1, 1},       {PLURAL_ARABIC, 2, 2},      {PLURAL_ARABIC, 3, 3},
        {PLURAL_ARABIC, 10, 3},      {PLURAL_ARABIC, 11, 4},     {PLURAL_ARABIC, 99, 4},
        {PLURAL_ARABIC, 100, 5},     {PLURAL_ARABIC, 102, 5},    {PLURAL_ARABIC, 103, 3},
    };
    for (const auto& c : cases) EXPECT_EQ(Language_PluralForm(c.rule, c.count), c.form) << c.rule << " " << c.count;
}

// Windows names languages by tag and region; a table serves every region
// of its language but Chinese, whose tables are by script.
TEST(Language, TagsFindTheirTables) {
    const struct {
        const char* tag;
        int language;
    } cases[] = {{"de-DE", LANGUAGE_GERMAN},
                 {"DE-at", LANGUAGE_GERMAN},
                 {"pt-BR", LANGUAGE_PORTUGUESE_BRAZIL},
                 {"pt-PT", LANGUAGE_PORTUGUESE_BRAZIL},
                 {"zh-CN", LANGUAGE_CHINESE_SIMPLIFIED},
                 {"zh-Hans-HK", LANGUAGE_CHINESE_SIMPLIFIED},
                 {"zh-TW", -1},
                 {"zh-Hant", -1},
                 {"ar-SA", LANGUAGE_ARABIC},
                 {"en-GB", LANGUAGE_ENGLISH},
                 {"fi-FI", -1},
                 {"", -1}};
    for (const auto& c : cases) EXPECT_EQ(Language_FromTag(c.tag), c.language) << c.tag;
}

TEST(Language, TextsAndFormsFollowTheLanguageChosen) {
    Language_Set(LANGUAGE_GERMAN);
    EXPECT_STREQ(Language_Text("&File"), "&Datei");
    EXPECT_STREQ(Language_Text("no such text"), "no such text");
    EXPECT_STREQ(Language_Plural("Resizing cancelled after %d images.", 1), "Abgebrochen nach %d Bild.");
    Language_Set(LANGUAGE_RUSSIAN);
    EXPECT_STREQ(Language_Plural("Not enough memory for %d images.", 22), "Недостаточно памяти для %d изображений.");
    Language_Set(LANGUAGE_ENGLISH);
    EXPECT_STREQ(Language_Text("&File"), "&File");
    EXPECT_STREQ(Language_Plural("Resizing cancelled after %d images.", 1), "Resizing cancelled after %d image.");
    EXPECT_STREQ(Language_Plural("Resizing cancelled after %d images.", 2), "Resizing cancelled after %d images.");
    EXPECT_STREQ(Language_Plural("Finished resizing %d images, %'I64d Kb saved.", 1),
                 "Finished resizing %d images, %'I64d Kb saved.");
}

}  // namespace
