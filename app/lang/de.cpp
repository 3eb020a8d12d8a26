// The window's texts in German, keyed by their English.
#include "language.h"

extern const LanguageText kGermanTexts[] = {
    {"Brimlow"},
};
extern const int kGermanTextCount = int(sizeof kGermanTexts / sizeof kGermanTexts[0]);
