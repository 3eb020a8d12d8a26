// The window's texts in Dutch, keyed by their English.
#include "language.h"

extern const LanguageText kDutchTexts[] = {
    {"Brimlow"},
};
extern const int kDutchTextCount = int(sizeof kDutchTexts / sizeof kDutchTexts[0]);
