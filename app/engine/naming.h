// The tokens of a copy's name: the Prepend and Append texts may hold
// {name}, {profile}, {w}, {h}, {quality}, {date} and {n}, and "{{" and "}}"
// for braces; anything else in braces is no token and the text is refused.
#pragma once

#include <stdint.h>

#include "config.h"

// What a copy's tokens say. The caller's; texts not owned.
struct NamingStruct {
    const char* base;     // {name}: the source's base name
    const char* profile;  // {profile}: the name of the profile the copy follows ("Custom")
    int32_t width;        // {w}: the copy's pixels across
    int32_t height;       // {h}: its pixels down
    int32_t quality;      // {quality}: percent it was coded at; 100 for a copy without loss
    char date[11];        // {date}: "YYYY-MM-DD", the date taken, else the source file's date
    int32_t position;     // {n}: the source's place in the run, from 1
    int32_t count;        // sources in the run: {n} is zero-padded to its digits
    int pattern;          // 1: only base and profile are known; every other token becomes NAMING_ANY
};

// What a token of unknown value stands for in a pattern (NamingStruct's
// pattern): one or more characters, any.
enum { NAMING_ANY = 1 };

// 1 when name is one pattern (a name expanded with pattern 1) matches,
// letter case ignored.
int Naming_Matches(const char* pattern, const char* name);

// 1 when every brace of text opens a known token or is doubled; else 0 with
// the first unknown one ("{size}", or "{" for one never closed) in unknown
// (may be null), cut to size.
int Naming_Check(const char* text, char* unknown, int size);

// The settings' name text (Prepend or Append) that holds an unknown token,
// with that token in unknown (Naming_Check); null when both are sound.
const char* Naming_UnknownIn(const AppConfig* config, char* unknown, int size);

// text with its tokens replaced by facts' values, into out: 1, or 0 (out
// empty) for an unknown token or a name that does not fit size.
int Naming_Expand(const char* text, const NamingStruct* facts, char* out, int size);

// 1 when text holds a token whose value is known only once the copy is
// made ({w}, {h}, {quality}), so a limit's search can change it.
int Naming_UsesResult(const char* text);

// 1 when text holds a token that tells copies of several profiles apart
// ({profile}, {w} or {h}).
int Naming_TellsProfilesApart(const char* text);

// 1 when text holds {date}: its value needs the source read.
int Naming_UsesDate(const char* text);

// The date of {date} into date: the Exif block's date taken (or its date
// of change) where exif holds one, else the local calendar day of
// fileMinutes (LocalMinutes). Cannot fail.
void Naming_Date(const unsigned char* exif, int32_t size, int32_t fileMinutes, char date[11]);
