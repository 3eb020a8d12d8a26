// The window's texts in Japanese, keyed by their English.
#include "language.h"

extern const LanguageText kJapaneseTexts[] = {
    {"Brimlow"},
};
extern const int kJapaneseTextCount = int(sizeof kJapaneseTexts / sizeof kJapaneseTexts[0]);
