// The window's texts in Korean, keyed by their English.
#include "language.h"

extern const LanguageText kKoreanTexts[] = {
    {"Brimlow"},
};
extern const int kKoreanTextCount = int(sizeof kKoreanTexts / sizeof kKoreanTexts[0]);
