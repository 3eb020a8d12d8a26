// The window's texts in Russian, keyed by their English.
#include "language.h"

extern const LanguageText kRussianTexts[] = {
    {"Brimlow"},
};
extern const int kRussianTextCount = int(sizeof kRussianTexts / sizeof kRussianTexts[0]);
