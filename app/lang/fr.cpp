// The window's texts in French, keyed by their English.
#include "language.h"

extern const LanguageText kFrenchTexts[] = {
    {"Brimlow"},
};
extern const int kFrenchTextCount = int(sizeof kFrenchTexts / sizeof kFrenchTexts[0]);
