// The shared lists of choices and the bounds' texts.
#include "fields.h"

#include <math.h>
#include <stdlib.h>

#include "config.h"
#include "language.h"
#include "orv-str.h"
#include "output.h"
#include "winhelpr.h"

namespace {

const ChoiceEntry kFits[] = {{"Within", FIT_WITHIN}, {"Crop", FIT_CROP}, {"Stretch", FIT_STRETCH}};
const ChoiceEntry kFocuses[] = {{"Centre", FOCUS_CENTRE}, {"Detail", FOCUS_DETAIL}};
const ChoiceEntry kUnits[] = {{"pixels", UNIT_PIXELS}, {"cm", UNIT_CM}, {"mm", UNIT_MM}, {"inches", UNIT_INCHES}};

// "Save as": "As in Settings" for a profile, the copy kinds, the default
// first, then the same kind as each source, then the other kinds.
struct FormatChoices {
    ChoiceEntry entries[COPY_KINDS + 2];
    FormatChoices() {
        int n = 0;
        entries[n++] = {"As in Settings", PROFILE_FORMAT_SETTINGS};
        entries[n++] = {Output_Kind(0)->displayName, 0};
        entries[n++] = {"Same kind as the original", FORMAT_SAME_KIND};
        for (int kind = 1; kind < COPY_KINDS; ++kind) entries[n++] = {Output_Kind(kind)->displayName, kind};
    }
};
const FormatChoices kFormats;

}  // namespace

ChoiceSet Fields_Fits(void) {
    return {kFits, 3};
}

ChoiceSet Fields_Focuses(void) {
    return {kFocuses, 2};
}

ChoiceSet Fields_Units(void) {
    return {kUnits, UNITS};
}

ChoiceSet Fields_Formats(int settings) {
    return settings ? ChoiceSet{kFormats.entries, COPY_KINDS + 2} : ChoiceSet{kFormats.entries + 1, COPY_KINDS + 1};
}

int Fields_FillChoices(HWND window, int id, ChoiceSet set, int32_t value) {
    Win_ComboReset(window, id);
    for (int i = 0; i < set.count; ++i) {
        int index = 0;
        if (Win_ComboAddString(window, id, Language_Text(set.entries[i].text), &index))
            Win_ComboSetData(window, id, index, set.entries[i].value);
    }
    Win_ComboSelect(window, id, -1);
    return Win_ComboSelectByData(window, id, value);
}

int Fields_BoundUnit(int unit, int32_t dpi) {
    return dpi > 0 ? unit : UNIT_PIXELS;
}

void Fields_BoundText(int unit, int32_t dpi, int32_t pixels, char* text, int size) {
    unit = Fields_BoundUnit(unit, dpi);
    if (unit == UNIT_PIXELS || pixels <= 0) {
        Str_Format(text, size, "%d", pixels > 0 ? pixels : 0);
        return;
    }
    Str_Format(text, size, "%.3f", pixels * Config_UnitsPerInch(unit) / dpi);
    int n = Str_Length(text);
    while (n > 0 && text[n - 1] == '0') text[--n] = 0;
    if (n > 0 && text[n - 1] == '.') text[--n] = 0;
}

void Fields_ShowBound(HWND window, int id, int unit, int32_t dpi, int32_t pixels) {
    char text[STR_LABEL_SIZE];
    Fields_BoundText(unit, dpi, pixels, text, int(sizeof text));
    Win_SetItemText(window, id, text, 12);
}

void Fields_ReadBound(HWND window, int id, int unit, int32_t dpi, int32_t* pixels) {
    char typed[STR_LABEL_SIZE], shown[STR_LABEL_SIZE];
    Win_GetItemText(window, id, typed, int(sizeof typed));
    Fields_BoundText(unit, dpi, *pixels, shown, int(sizeof shown));
    if (Str_Equal(typed, shown)) return;
    char* end = nullptr;
    double value = strtod(typed, &end);
    unit = Fields_BoundUnit(unit, dpi);
    if (unit != UNIT_PIXELS) value = value / Config_UnitsPerInch(unit) * dpi;
    *pixels = end != typed && value > 0 && value < 1000000 ? int32_t(floor(value + 1e-9)) : 0;
}
