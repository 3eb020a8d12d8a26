// The window's texts in Polish, keyed by their English.
#include "language.h"

extern const LanguageText kPolishTexts[] = {
    {"Brimlow"},
};
extern const int kPolishTextCount = int(sizeof kPolishTexts / sizeof kPolishTexts[0]);
