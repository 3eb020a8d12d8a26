// The window's texts in Ukrainian, keyed by their English.
#include "language.h"

extern const LanguageText kUkrainianTexts[] = {
    {"Brimlow"},
};
extern const int kUkrainianTextCount = int(sizeof kUkrainianTexts / sizeof kUkrainianTexts[0]);
