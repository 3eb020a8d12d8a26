// The window's texts in Arabic, keyed by their English.
#include "language.h"

extern const LanguageText kArabicTexts[] = {
    {"Brimlow"},
};
extern const int kArabicTextCount = int(sizeof kArabicTexts / sizeof kArabicTexts[0]);
