// The window's texts in Turkish, keyed by their English.
#include "language.h"

extern const LanguageText kTurkishTexts[] = {
    {"Brimlow"},
};
extern const int kTurkishTextCount = int(sizeof kTurkishTexts / sizeof kTurkishTexts[0]);
