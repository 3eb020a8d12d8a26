// The window's texts in Spanish, keyed by their English.
#include "language.h"

extern const LanguageText kSpanishTexts[] = {
    {"Brimlow"},
};
extern const int kSpanishTextCount = int(sizeof kSpanishTexts / sizeof kSpanishTexts[0]);
