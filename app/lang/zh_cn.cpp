// The window's texts in Simplified Chinese, keyed by their English.
#include "language.h"

extern const LanguageText kChineseTexts[] = {
    {"Brimlow"},
};
extern const int kChineseTextCount = int(sizeof kChineseTexts / sizeof kChineseTexts[0]);
