// The window's texts in Italian, keyed by their English.
#include "language.h"

extern const LanguageText kItalianTexts[] = {
    {"Brimlow"},
};
extern const int kItalianTextCount = int(sizeof kItalianTexts / sizeof kItalianTexts[0]);
