// The window's texts in Brazilian Portuguese, keyed by their English.
#include "language.h"

extern const LanguageText kPortugueseTexts[] = {
    {"Brimlow"},
};
extern const int kPortugueseTextCount = int(sizeof kPortugueseTexts / sizeof kPortugueseTexts[0]);
