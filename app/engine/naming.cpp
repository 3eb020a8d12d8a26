// Token expansion, one pass over the text: a brace opens a token that ends
// at the next closing brace, a doubled brace stands for itself.
#include "naming.h"

#include "orv-core.h"
#include "orv-str.h"
#include "tiffdir.h"

namespace {

const char kModule[] = "app/engine/naming";

enum Token { TOKEN_NAME, TOKEN_PROFILE, TOKEN_W, TOKEN_H, TOKEN_QUALITY, TOKEN_DATE, TOKEN_N, TOKENS };
const char* const kTokens[TOKENS] = {"name", "profile", "w", "h", "quality", "date", "n"};

// The token text[0..length) names, or -1.
int TokenOf(const char* text, int length) {
    for (int t = 0; t < TOKENS; ++t)
        if (Str_Length(kTokens[t]) == uint32_t(length) && Str_EqualN(text, kTokens[t], length)) return t;
    return -1;
}

// Walks text: calls literal(c) for each character it stands for and
// token(t) for each token. 0 at the first unknown token (*at its start).
template <typename Literal, typename Found>
int Walk(const char* text, Literal literal, Found token, const char** at) {
    for (const char* c = text; *c; ++c) {
        if ((*c == '{' || *c == '}') && c[1] == *c) {
            literal(*c++);
            continue;
        }
        if (*c == '}') {
            *at = c;
            return 0;
        }
        if (*c != '{') {
            literal(*c);
            continue;
        }
        const char* end = c + 1;
        while (*end && *end != '}' && *end != '{') ++end;
        const int t = *end == '}' ? TokenOf(c + 1, int(end - c - 1)) : -1;
        if (t < 0) {
            *at = c;
            return 0;
        }
        token(t);
        c = end;
    }
    return 1;
}

// 1 when text holds one of the tokens whose bits are set in wanted.
int Holds(const char* text, unsigned wanted) {
    if (!text) Core_NullPointer(kModule, __LINE__);
    unsigned found = 0;
    const char* at = nullptr;
    Walk(
        text, [](char) {}, [&found](int t) { found |= 1u << t; }, &at);
    return (found & wanted) != 0;
}

int Digits(int32_t n) {
    int digits = 1;
    for (; n >= 10; n /= 10) ++digits;
    return digits;
}

// Days since 1970-01-01 as a civil date (the proleptic Gregorian calendar).
void CivilDate(int64_t days, int* year, int* month, int* day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    *day = int(dayOfYear - (153 * mp + 2) / 5 + 1);
    *month = int(mp < 10 ? mp + 3 : mp - 9);
    *year = int(yearOfEra + era * 400 + (*month <= 2));
}

// An Exif date ("YYYY:MM:DD HH:MM:SS") of tag in dir as "YYYY-MM-DD": 1, or 0.
int ExifDate(const TiffDirStruct* dir, uint16_t tag, char date[11]) {
    const TiffDirEntry* e = TiffDir_Find(dir, tag);
    if (!e || e->type != TIFFDIR_ASCII || e->count < 10) return 0;
    const unsigned char* v = dir->block + e->value;
    for (int i = 0; i < 10; ++i) {
        const int colon = i == 4 || i == 7;
        if (colon ? v[i] != ':' : (v[i] < '0' || v[i] > '9')) return 0;
        date[i] = colon ? '-' : char(v[i]);
    }
    date[10] = 0;
    return !(date[0] == '0' && date[1] == '0' && date[2] == '0' && date[3] == '0');
}

}  // namespace

int Naming_Check(const char* text, char* unknown, int size) {
    if (!text) Core_NullPointer(kModule, __LINE__);
    const char* at = nullptr;
    if (Walk(
            text, [](char) {}, [](int) {}, &at))
        return 1;
    if (unknown) {
        const char* end = at + 1;
        while (*end && *end != '}' && *end != '{') ++end;
        const int length = int(end - at) + (*end == '}' ? 1 : 0);
        Str_CopyN(unknown, at, length + 1 < size ? length + 1 : size);
    }
    return 0;
}

const char* Naming_UnknownIn(const AppConfig* config, char* unknown, int size) {
    if (!config) Core_NullPointer(kModule, __LINE__);
    if (!Naming_Check(config->Prepend, unknown, size)) return config->Prepend;
    if (!Naming_Check(config->Append, unknown, size)) return config->Append;
    return nullptr;
}

int Naming_Expand(const char* text, const NamingStruct* facts, char* out, int size) {
    if (!text || !facts || !out) Core_NullPointer(kModule, __LINE__);
    int n = 0, fits = 1;
    auto put = [&](const char* piece) {
        for (const char* c = piece; *c; ++c)
            if (n + 1 < size)
                out[n++] = *c;
            else
                fits = 0;
    };
    const char* at = nullptr;
    const int known = Walk(
        text,
        [&](char c) {
            const char one[2] = {c, 0};
            put(one);
        },
        [&](int t) {
            char number[16];
            const char any[2] = {char(NAMING_ANY), 0};
            if (facts->pattern && t != TOKEN_NAME && t != TOKEN_PROFILE) t = TOKENS;
            switch (t) {
            case TOKENS:
                put(any);
                break;
            case TOKEN_NAME:
                put(facts->base ? facts->base : "");
                break;
            case TOKEN_PROFILE:
                put(facts->profile ? facts->profile : "");
                break;
            case TOKEN_DATE:
                put(facts->date);
                break;
            case TOKEN_N:
                for (int d = Digits(facts->position); d < Digits(facts->count); ++d) put("0");
                Str_Format(number, int(sizeof number), "%d", facts->position);
                put(number);
                break;
            default:
                Str_Format(number, int(sizeof number), "%d",
                           t == TOKEN_W   ? facts->width
                           : t == TOKEN_H ? facts->height
                                          : facts->quality);
                put(number);
            }
        },
        &at);
    out[size > 0 ? n : 0] = 0;
    if (known && fits) return 1;
    if (size > 0) out[0] = 0;
    return 0;
}

int Naming_Matches(const char* pattern, const char* name) {
    if (!pattern || !name) Core_NullPointer(kModule, __LINE__);
    auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    };
    // Backtracking over the last wildcard: each takes one character, then
    // as many more as the rest needs.
    const char *p = pattern, *n = name, *star = nullptr, *resume = nullptr;
    while (*n) {
        if (*p == char(NAMING_ANY)) {
            star = p++;
            resume = ++n;
        } else if (*p && lower(*p) == lower(*n)) {
            ++p;
            ++n;
        } else if (star) {
            p = star + 1;
            n = ++resume;
        } else {
            return 0;
        }
    }
    return *p == 0;
}

int Naming_UsesResult(const char* text) {
    return Holds(text, 1u << TOKEN_W | 1u << TOKEN_H | 1u << TOKEN_QUALITY);
}

int Naming_TellsProfilesApart(const char* text) {
    return Holds(text, 1u << TOKEN_PROFILE | 1u << TOKEN_W | 1u << TOKEN_H);
}

int Naming_UsesDate(const char* text) {
    return Holds(text, 1u << TOKEN_DATE);
}

void Naming_Date(const unsigned char* exif, int32_t size, int32_t fileMinutes, char date[11]) {
    if (!date) Core_NullPointer(kModule, __LINE__);
    TiffDirStruct main, dir;
    if (TiffDir_Open(&main, exif, size) && TiffDir_Read(&main, TiffDir_U32(&main, 4), nullptr)) {
        const TiffDirEntry* pointer = TiffDir_Find(&main, 0x8769);
        uint32_t offset = 0;
        TiffDir_Open(&dir, exif, size);
        if (pointer && TiffDir_Number(&main, pointer, &offset) && TiffDir_Read(&dir, offset, &main) &&
            ExifDate(&dir, 0x9003, date))
            return;
        if (ExifDate(&main, 0x0132, date)) return;
    }
    int year = 1970, month = 1, day = 1;
    // LocalMinutes count from 31 December 1969.
    CivilDate(int64_t(fileMinutes) / 1440 - 1, &year, &month, &day);
    Str_Format(date, 11, "%04d-%02d-%02d", year, month, day);
}
