// String operations, number parsing and checksums. The formatter lives in
// orv-str_format.cpp.
#include "orv-str.h"

#include "orv-core.h"

namespace {

const char kModule[] = "divivar/orv-str";

char FoldUpper(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

int IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Continuation bytes of a UTF-8 character are 10xxxxxx.
int IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

struct CrcTable {
    uint32_t entry[256];
    constexpr CrcTable() : entry() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
            entry[i] = c;
        }
    }
};

constexpr CrcTable kCrc;

// Both number parsers read at most 69 number characters; the rest of a
// longer run (a 200-digit number typed into a settings file) is ignored, so
// that no text can stop the program.
const int kMaxNumberChars = 69;

void CollectNumberChar(char* collected, int* count, char c) {
    if (*count == kMaxNumberChars) return;
    collected[(*count)++] = c;
    collected[*count] = 0;
}

}  // namespace

uint32_t Str_Length(const char* text) {
    if (!text) Core_NullPointer(kModule, __LINE__);
    uint32_t n = 0;
    while (text[n]) ++n;
    return n;
}

int Str_Copy(char* dst, const char* src) {
    if (!dst || !src) Core_NullPointer(kModule, __LINE__);
    while ((*dst++ = *src++) != 0) {
    }
    return 1;
}

int Str_CopyN(char* dst, const char* src, int size) {
    if (!dst || !src) Core_NullPointer(kModule, __LINE__);
    if (size <= 0) {
        Log_Print(0, "Empty length passed to copy (%d)\n", size);
        return 0;
    }
    int i = 0;
    for (; i < size - 1 && src[i]; ++i) dst[i] = src[i];
    int whole = src[i] == 0;
    dst[whole ? i : Str_FitLength(src, i)] = 0;
    return whole;
}

int Str_CharacterCount(const char* text) {
    if (!text) Core_NullPointer(kModule, __LINE__);
    int n = 0;
    for (; *text; ++text) n += !IsContinuation(*text);
    return n;
}

int Str_FitLength(const char* text, int limit) {
    if (!text) Core_NullPointer(kModule, __LINE__);
    for (int i = 0; i < limit; ++i)
        if (!text[i]) return limit;
    // Step back to the byte that starts the character the limit falls into.
    int length = limit;
    while (length > 0 && IsContinuation(text[length])) --length;
    return length;
}

int Str_IsUtf8(const char* text, int length) {
    if (!text) Core_NullPointer(kModule, __LINE__);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    for (int i = 0; i < length;) {
        unsigned c = p[i];
        int more = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        if (more < 0 || i + more >= length) return 0;
        unsigned code = more == 0 ? c : c & (0x3F >> more);
        for (int k = 1; k <= more; ++k) {
            if (!IsContinuation(char(p[i + k]))) return 0;
            code = (code << 6) | (p[i + k] & 0x3F);
        }
        const unsigned kLeast[4] = {0, 0x80, 0x800, 0x10000};
        if (code < kLeast[more] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
        i += more + 1;
    }
    return 1;
}

int Str_Append(char* dst, const char* src) {
    if (!dst || !src) Core_NullPointer(kModule, __LINE__);
    return Str_Copy(dst + Str_Length(dst), src);
}

int Str_AppendN(char* dst, const char* src, int size) {
    if (!dst || !src) Core_NullPointer(kModule, __LINE__);
    int length = int(Str_Length(dst));
    Str_CopyN(dst + length, src, size - length);
    return 1;
}

int Str_Equal(const char* a, const char* b) {
    if (!a || !b) Core_NullPointer(kModule, __LINE__);
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

int Str_EqualNoCase(const char* a, const char* b) {
    return Str_CompareNoCase(a, b) == 0;
}

int Str_CompareNoCase(const char* a, const char* b) {
    if (!a || !b) Core_NullPointer(kModule, __LINE__);
    while (*a && FoldUpper(*a) == FoldUpper(*b)) {
        ++a;
        ++b;
    }
    return int((unsigned char)FoldUpper(*a)) - int((unsigned char)FoldUpper(*b));
}

int Str_EqualN(const char* a, const char* b, int n) {
    if (!a || !b) Core_NullPointer(kModule, __LINE__);
    for (int i = 0; i < n; ++i)
        if (a[i] != b[i]) return 0;
    return 1;
}

int Str_StartsWithNoCase(const char* text, const char* prefix) {
    if (!text || !prefix) Core_NullPointer(kModule, __LINE__);
    for (; *prefix; ++prefix, ++text)
        if (FoldUpper(*text) != FoldUpper(*prefix)) return 0;
    return 1;
}

int Str_EndsWithNoCase(const char* a, const char* b) {
    if (!a || !b) Core_NullPointer(kModule, __LINE__);
    const char* pa = a + Str_Length(a);
    const char* pb = b + Str_Length(b);
    while (pa > a && pb > b) {
        --pa;
        --pb;
        if (FoldUpper(*pa) != FoldUpper(*pb)) return 0;
    }
    return 1;
}

int Str_FindChar(const char* text, char c, const char** found) {
    if (!text || !found) Core_NullPointer(kModule, __LINE__);
    *found = nullptr;
    if (c == 0) return 0;
    for (; *text; ++text) {
        if (*text == c) {
            *found = text;
            return 1;
        }
    }
    return 0;
}

int Str_FindNoCase(const char* text, const char* pattern, const char** found) {
    if (!text || !pattern || !found) Core_NullPointer(kModule, __LINE__);
    *found = nullptr;
    for (const char* p = text;; ++p) {
        if (Str_StartsWithNoCase(p, pattern)) {
            *found = p;
            return 1;
        }
        if (!*p) return 0;
    }
}

int Str_ToUpper(char* text) {
    if (!text) Core_NullPointer(kModule, __LINE__);
    for (; *text; ++text) *text = FoldUpper(*text);
    return 1;
}

int Str_Reverse(char* text) {
    if (!text) Core_NullPointer(kModule, __LINE__);
    int n = int(Str_Length(text));
    for (int i = 0, j = n - 1; i < j; ++i, --j) {
        char t = text[i];
        text[i] = text[j];
        text[j] = t;
    }
    return 1;
}

int64_t Str_AtoI(const char* text) {
    if (!text || !*text) return 0;
    char collected[kMaxNumberChars + 1] = {0};
    int count = 0;
    uint64_t value = 0;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        for (const char* p = text + 2; HexValue(*p) >= 0; ++p)
            CollectNumberChar(collected, &count, *p);
        for (int i = 0; i < count; ++i) value = value * 16 + uint64_t(HexValue(collected[i]));
        return int64_t(value);
    }
    for (const char* p = text; IsDigit(*p) || *p == '-' || *p == '+'; ++p)
        CollectNumberChar(collected, &count, *p);
    int i = 0;
    int negative = 0;
    if (collected[0] == '-' || collected[0] == '+') {
        negative = collected[0] == '-';
        i = 1;
    }
    for (; i < count && IsDigit(collected[i]); ++i) value = value * 10 + uint64_t(collected[i] - '0');
    return int64_t(negative ? (0 - value) : value);
}

double Str_AtoF(const char* text) {
    if (!text || !*text) return 0.0;
    char collected[kMaxNumberChars + 1] = {0};
    int count = 0;
    for (const char* p = text; IsDigit(*p) || *p == '-' || *p == '+' || *p == '.'; ++p)
        CollectNumberChar(collected, &count, *p);
    if (collected[0] == '+') return 0.0;
    int i = 0;
    int negative = 0;
    if (collected[0] == '-') {
        negative = 1;
        i = 1;
    }
    double value = 0.0;
    int fractionDigits = 0;
    int seenPoint = 0;
    for (; i < count; ++i) {
        char c = collected[i];
        if (IsDigit(c)) {
            value = value * 10.0 + (c - '0');
            if (seenPoint) ++fractionDigits;
        } else if (c == '.') {
            seenPoint = 1;
            fractionDigits = 0;
        } else {
            break;
        }
    }
    for (int k = 0; k < fractionDigits; ++k) value /= 10.0;
    return negative ? -value : value;
}

int Str_ParseBool(const char* text, int* out, int defaultValue) {
    if (!text || !out) Core_NullPointer(kModule, __LINE__);
    char word[8];
    Str_CopyN(word, text, int(sizeof word));
    Str_ToUpper(word);
    static const char* const kTrue[] = {"1", "TRUE", "YES", "ON"};
    static const char* const kFalse[] = {"0", "FALSE", "NO", "OFF"};
    if (!word[0]) {
        *out = defaultValue;
        return 1;
    }
    for (const char* t : kTrue) {
        if (Str_Equal(word, t)) {
            *out = 1;
            return 1;
        }
    }
    for (const char* f : kFalse) {
        if (Str_Equal(word, f)) {
            *out = 0;
            return 1;
        }
    }
    *out = defaultValue;
    return 0;
}

int Core_Crc32Update(const void* bytes, int length, uint32_t* reg) {
    if (!reg || (!bytes && length > 0)) Core_NullPointer(kModule, __LINE__);
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    uint32_t r = *reg;
    for (int i = 0; i < length; ++i) r = kCrc.entry[(r ^ p[i]) & 0xFF] ^ (r >> 8);
    *reg = r;
    return 1;
}

uint32_t Core_Crc32(const void* bytes, int length) {
    uint32_t reg = 0xFFFFFFFFu;
    Core_Crc32Update(bytes, length, &reg);
    return ~reg;
}

int Str_Hash(const char* text, int mode, uint32_t* hash) {
    if (!text || !hash) Core_NullPointer(kModule, __LINE__);
    uint32_t reg = 0xFFFFFFFFu;
    int length = 0;
    for (; text[length]; ++length) {
        unsigned char c = static_cast<unsigned char>(mode == 1 ? text[length] : FoldUpper(text[length]));
        reg = kCrc.entry[(reg ^ c) & 0xFF] ^ (reg >> 8);
    }
    *hash = ~reg;
    return length;
}

int Mem_Compare(const void* a, const void* b, int length) {
    if (!a || !b) Core_NullPointer(kModule, __LINE__);
    const unsigned char* pa = static_cast<const unsigned char*>(a);
    const unsigned char* pb = static_cast<const unsigned char*>(b);
    for (int i = 0; i < length; ++i)
        if (pa[i] != pb[i]) return 0;
    return 1;
}
