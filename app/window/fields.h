// What the Settings page and the profile editor show alike: the lists of a
// profile's choices, and its bounds as pixels or as the lengths they print
// at.
#pragma once

#include <windows.h>

#include <stdint.h>

// An entry of a list of choices: its text and the value it selects.
struct ChoiceEntry {
    const char* text;
    int32_t value;
};

// A list of choices: its entries, in order.
struct ChoiceSet {
    const ChoiceEntry* entries;
    int count;
};

// How a picture fills its box (FIT_*), where a crop sits (FOCUS_*), the
// unit of the bounds (UNIT_*), and "Save as" (a copy kind or
// FORMAT_SAME_KIND; with settings 1, "As in Settings" first, for a
// profile's PROFILE_FORMAT_SETTINGS).
ChoiceSet Fields_Fits(void);
ChoiceSet Fields_Focuses(void);
ChoiceSet Fields_Units(void);
ChoiceSet Fields_Formats(int settings);

// Fills the combo box id of window with set's texts in the program's
// language, each with its value as
// its data, and selects value's entry (none when no entry has it). 1, or 0
// when value has no entry.
int Fields_FillChoices(HWND window, int id, ChoiceSet set, int32_t value);

// The bounds' unit in effect: a length only with a density.
int Fields_BoundUnit(int unit, int32_t dpi);

// A bound's text in unit at dpi: pixels, or the length they print at, to a
// thousandth, without trailing zeros. Cannot fail.
void Fields_BoundText(int unit, int32_t dpi, int32_t pixels, char* text, int size);

// Shows pixels in the edit id of window as Fields_BoundText says.
void Fields_ShowBound(HWND window, int id, int unit, int32_t dpi, int32_t pixels);

// A bound as typed into the edit id of window: pixels, or a length as
// pixels at the density, floored (0, no bound, for a text that is no
// number). Text that still says what the bound showed leaves *pixels as it
// was, so a length rounded for showing never moves it a pixel.
void Fields_ReadBound(HWND window, int id, int unit, int32_t dpi, int32_t* pixels);
