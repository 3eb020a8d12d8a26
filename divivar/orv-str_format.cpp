// The program's own printf-like formatter. It writes straight into the
// caller's fixed buffer, one character at a time, never allocates, and cuts
// (with a report to the debug log) rather than grows.
#include <math.h>

#include "orv-core.h"
#include "orv-str.h"

namespace {

const char kModule[] = "divivar/orv-str_format";

enum {
    kNegative = 1,
    kRight = 2,
    kZero = 4,
    kUpper = 8,
    kPlus = 16,
    kGroup = 32
};

const int kScratch = 90;
const int kMaxNumberText = 85;

struct Formatter {
    char* start;
    char* pos;
    char* end;
    va_list* args;
    int flags;
    int width;
    int precision;
    int alternate;
    char scratch[kScratch];
};

int Full(const Formatter& f) {
    return f.pos >= f.end;
}

void Put(Formatter& f, char c) {
    if (f.pos < f.end) *f.pos++ = c;
}

void PutText(Formatter& f, const char* text) {
    while (*text) Put(f, *text++);
}

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

// Converts a magnitude into the end of the scratch area, right to left, with
// thousands grouping when asked. Returns the first character; *length gets
// the count. A text of 85 characters or more is a fatal stop.
const char* ConvertUnsigned(Formatter& f, uint64_t value, int base, int* length) {
    static const char kDigits[] = "0123456789abcdef";
    char* p = f.scratch + kScratch;
    int digits = 0;
    do {
        if ((f.flags & kGroup) && digits > 0 && digits % 3 == 0) *--p = ',';
        *--p = kDigits[value % uint64_t(base)];
        value /= uint64_t(base);
        ++digits;
    } while (value != 0);
    *length = int(f.scratch + kScratch - p);
    if (*length >= kMaxNumberText) {
        Core_SetSource(kModule, __LINE__);
        Core_Abort("Value exceeds buffer size (%d > %d)\n", *length, kMaxNumberText);
    }
    return p;
}

// Reads the byte at index i of a text of 1-byte characters or, for UTF-16
// texts, the low byte of code unit i.
char TextByte(const void* text, int unit, int i) {
    if (unit == 2) return char(static_cast<const uint16_t*>(text)[i] & 0xFF);
    return static_cast<const char*>(text)[i];
}

// Emits one padded field: sign, fill, precision zeros, text, trailing fill.
void EmitField(Formatter& f, const void* text, int unit, int length, int zeros) {
    char sign = 0;
    if (f.flags & kNegative)
        sign = '-';
    else if (f.flags & kPlus)
        sign = '+';
    int n = f.width - length - zeros - (sign ? 1 : 0);
    if ((f.flags & kZero) && sign) Put(f, sign);
    if (f.flags & kRight)
        for (int i = 0; i < n; ++i) Put(f, (f.flags & kZero) ? '0' : ' ');
    if (!(f.flags & kZero) && sign) Put(f, sign);
    for (int i = 0; i < zeros; ++i) Put(f, '0');
    for (int i = 0; i < length; ++i) {
        char c = TextByte(text, unit, i);
        Put(f, (f.flags & kUpper) ? Upper(c) : c);
    }
    if (!(f.flags & kRight))
        for (int i = 0; i < n; ++i) Put(f, ' ');
}

void EmitInteger(Formatter& f, uint64_t magnitude, int base, const char* prefix) {
    if (f.precision == 0 && magnitude == 0) return;
    int length = 0;
    const char* text = ConvertUnsigned(f, magnitude, base, &length);
    int zeros = f.precision > length ? f.precision - length : 0;
    if (prefix && f.alternate) PutText(f, prefix);
    EmitField(f, text, 1, length, zeros);
}

void EmitSigned(Formatter& f, int64_t value) {
    uint64_t magnitude = uint64_t(value);
    if (value < 0) {
        f.flags |= kNegative;
        magnitude = 0 - magnitude;
    }
    EmitInteger(f, magnitude, 10, nullptr);
}

void EmitUnsigned(Formatter& f, uint64_t value, int base, const char* prefix) {
    f.flags &= ~kPlus;
    EmitInteger(f, value, base, prefix);
}

void EmitFloat(Formatter& f, double value) {
    if (isnan(value)) {
        f.flags &= ~(kNegative | kPlus);
        EmitField(f, "1.#QNAN0", 1, 8, 0);
        return;
    }
    if (value < 0) {
        f.flags |= kNegative;
        value = -value;
    }
    if (isinf(value)) {
        EmitField(f, "1.#INF00", 1, 8, 0);
        return;
    }
    int precision = f.precision < 0 ? 6 : (f.precision > 9 ? 9 : f.precision);
    // The integer part goes through a 64-bit integer; larger values are
    // outside the formatter's range and are held at its limit.
    const double kLimit = 9223372036854775807.0;
    double whole = precision == 0 ? floor(value + 0.5) : floor(value);
    uint64_t integer = whole >= kLimit ? uint64_t(INT64_MAX) : uint64_t(whole);
    uint64_t fraction = 0;
    uint64_t scale = 1;
    if (precision > 0) {
        for (int i = 0; i < precision; ++i) scale *= 10;
        fraction = uint64_t(floor((value - whole) * double(scale) + 0.5));
        if (fraction >= scale) {
            ++integer;
            fraction -= scale;
        }
    }
    int length = 0;
    const char* digits = ConvertUnsigned(f, integer, 10, &length);
    char text[kScratch + 12];
    int n = 0;
    for (int i = 0; i < length; ++i) text[n++] = digits[i];
    if (precision > 0) {
        text[n++] = '.';
        for (int i = precision - 1; i >= 0; --i) {
            text[n + i] = char('0' + fraction % 10);
            fraction /= 10;
        }
        n += precision;
    }
    EmitField(f, text, 1, n, 0);
}

void EmitFixed(Formatter& f, uint32_t value) {
    int length = 0;
    const char* digits = ConvertUnsigned(f, value >> 16, 10, &length);
    char text[kScratch + 8];
    int n = 0;
    for (int i = 0; i < length; ++i) text[n++] = digits[i];
    text[n++] = '.';
    uint64_t fraction = (uint64_t(value & 0xFFFF) * 1000000u) >> 16;
    for (int i = 5; i >= 0; --i) {
        text[n + i] = char('0' + fraction % 10);
        fraction /= 10;
    }
    n += 6;
    EmitField(f, text, 1, n, 0);
}

// Strings of 1-byte characters (unit 1) or UTF-16 code units read by their
// low byte (unit 2); "#" replaces a text with bytes above 0x7E by NONASCII.
void EmitString(Formatter& f, const void* text, int unit) {
    f.flags &= ~(kZero | kPlus);
    if (!text) {
        PutText(f, "NULL");
        return;
    }
    int length = 0;
    while ((f.precision < 0 || length < f.precision) && TextByte(text, unit, length) != 0) ++length;
    if (unit == 1 && f.precision >= 0) length = Str_FitLength(static_cast<const char*>(text), length);
    if (f.alternate) {
        for (int i = 0; i < length; ++i) {
            if (static_cast<unsigned char>(TextByte(text, unit, i)) > 0x7E) {
                PutText(f, "NONASCII");
                return;
            }
        }
    }
    EmitField(f, text, unit, length, 0);
}

void EmitHexDump(Formatter& f, const unsigned char* bytes, int upper) {
    f.flags &= ~(kZero | kPlus);
    if (!bytes) {
        PutText(f, "NULL");
        return;
    }
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    for (int i = 0; i < f.width; ++i) {
        Put(f, digits[bytes[i] >> 4]);
        Put(f, digits[bytes[i] & 15]);
    }
}

void EmitGuid(Formatter& f, const unsigned char* g) {
    f.flags &= ~(kZero | kPlus | kUpper);
    if (!g) {
        PutText(f, "NULL");
        return;
    }
    static const int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    static const char kDigits[] = "0123456789abcdef";
    char text[36];
    int n = 0;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text[n++] = '-';
        text[n++] = kDigits[g[kOrder[i]] >> 4];
        text[n++] = kDigits[g[kOrder[i]] & 15];
    }
    EmitField(f, text, 1, n, 0);
}

void EmitIpv4(Formatter& f, const unsigned char* a) {
    f.flags &= ~(kZero | kPlus);
    if (!a) {
        PutText(f, "NULL");
        return;
    }
    char text[16];
    int n = 0;
    for (int i = 0; i < 4; ++i) {
        if (i) text[n++] = '.';
        int v = a[i];
        if (v >= 100) text[n++] = char('0' + v / 100);
        if (v >= 10) text[n++] = char('0' + (v / 10) % 10);
        text[n++] = char('0' + v % 10);
    }
    if (f.precision >= 0 && f.precision < n) n = f.precision;
    EmitField(f, text, 1, n, 0);
}

int Follows(const char* p, const char* word) {
    for (; *word; ++word, ++p)
        if (*p != *word) return 0;
    return 1;
}

// Handles the conversion letter at *format (already past the specification)
// and moves *format past everything the conversion consumed.
void Convert(Formatter& f, const char** format) {
    const char* p = *format;
    char letter = *p++;
    if (letter >= 'A' && letter <= 'Z') f.flags |= kUpper;
    va_list& ap = *f.args;
    switch (letter) {
        case 'i':
            if (Follows(p, "pv4")) {
                p += 3;
                EmitIpv4(f, va_arg(ap, const unsigned char*));
                break;
            }
            EmitSigned(f, va_arg(ap, int));
            break;
        case 'd':
            EmitSigned(f, va_arg(ap, int));
            break;
        case 'u':
        case 'U':
            if (Follows(p, "nicode")) {
                p += 6;
                EmitString(f, va_arg(ap, const uint16_t*), 2);
                break;
            }
            EmitUnsigned(f, va_arg(ap, unsigned int), 10, nullptr);
            break;
        case 'x':
        case 'X':
            EmitUnsigned(f, va_arg(ap, unsigned int), 16, "0x");
            break;
        case 'o':
        case 'O':
            EmitUnsigned(f, va_arg(ap, unsigned int), 8, "0");
            break;
        case 'b':
            EmitUnsigned(f, va_arg(ap, unsigned int), 2, nullptr);
            break;
        case 'p':
            f.flags |= kUpper;
            f.precision = 16;
            EmitUnsigned(f, uint64_t(uintptr_t(va_arg(ap, const void*))), 16, "0x");
            break;
        case 'I': {
            char kind = (p[0] == '6' && p[1] == '4') ? Upper(p[2]) : 0;
            if (kind == 'D' || kind == 'U' || kind == 'X' || kind == 'B') {
                p += 3;
                if (kind == 'D')
                    EmitSigned(f, va_arg(ap, int64_t));
                else if (kind == 'U')
                    EmitInteger(f, va_arg(ap, uint64_t), 10, nullptr);
                else
                    EmitUnsigned(f, va_arg(ap, uint64_t), kind == 'X' ? 16 : 2, kind == 'X' ? "0x" : nullptr);
                break;
            }
            Put(f, 'I');
            break;
        }
        case 'l':
            if (*p == 'l') {
                ++p;
                EmitSigned(f, va_arg(ap, int64_t));
                break;
            }
            EmitSigned(f, va_arg(ap, int));
            break;
        case 'c':
        case 'C': {
            f.flags &= ~(kZero | kPlus);
            char c = char(va_arg(ap, int) & 0xFF);
            EmitField(f, &c, 1, 1, 0);
            break;
        }
        case 's':
        case 'S':
            EmitString(f, va_arg(ap, const char*), 1);
            break;
        case 'f':
            EmitFloat(f, va_arg(ap, double));
            break;
        case 'a':
            EmitFixed(f, va_arg(ap, unsigned int));
            break;
        case 'h':
        case 'H':
            if (Follows(p, letter == 'h' ? "ex" : "EX")) {
                p += 2;
                EmitHexDump(f, va_arg(ap, const unsigned char*), letter == 'H');
                break;
            }
            Put(f, letter);
            break;
        case 'g':
            if (Follows(p, "uid")) {
                p += 3;
                EmitGuid(f, va_arg(ap, const unsigned char*));
                break;
            }
            Put(f, letter);
            break;
        default:
            Put(f, letter);
            break;
    }
    *format = p;
}

// Reads flags, width and precision after a "%". Returns 0 when the format
// ends before a conversion letter.
int ParseSpecification(Formatter& f, const char** format) {
    const char* p = *format;
    f.flags = kRight;
    f.width = 0;
    f.precision = -1;
    f.alternate = 0;
    for (;; ++p) {
        if (*p == '#')
            f.alternate = 1;
        else if (*p == '-')
            f.flags &= ~kRight;
        else if (*p == '+')
            f.flags |= kPlus;
        else if (*p == '\'')
            f.flags |= kGroup;
        else
            break;
    }
    if (*p == '*') {
        f.width = va_arg(*f.args, int);
        if (f.width < 0) {
            f.flags &= ~kRight;
            f.width = -f.width;
        }
        ++p;
    } else {
        if (*p == '0') {
            f.flags |= kZero;
            ++p;
        }
        for (; *p >= '0' && *p <= '9'; ++p)
            if (f.width < 100000) f.width = f.width * 10 + (*p - '0');
        if (*p == '.') {
            ++p;
            if (*p == '*') {
                f.precision = va_arg(*f.args, int);
                if (f.precision < 0) f.precision = -1;
                ++p;
            } else {
                f.precision = 0;
                for (; *p >= '0' && *p <= '9'; ++p)
                    if (f.precision < 100000) f.precision = f.precision * 10 + (*p - '0');
            }
        }
    }
    *format = p;
    return *p != 0;
}

}  // namespace

int Str_FormatV(char* buf, int size, const char* format, va_list args) {
    if (!buf || !format) Core_NullPointer(kModule, __LINE__);
    if (size <= 0) {
        Log_Raw("\n\nERROR: The next string too small to contain anything!\nLINE: ");
        Log_Raw(format);
        return 0;
    }
    va_list ap;
    va_copy(ap, args);
    Formatter f;
    f.start = buf;
    f.pos = buf;
    f.end = buf + size;
    f.args = &ap;
    const char* p = format;
    while (*p && !Full(f)) {
        char c = *p++;
        if (c == '\t') {
            int spaces = 4 - int(f.pos - f.start) % 4;
            for (int i = 0; i < spaces; ++i) Put(f, ' ');
        } else if (c != '%') {
            Put(f, c);
        } else {
            if (!ParseSpecification(f, &p)) break;
            Convert(f, &p);
        }
    }
    va_end(ap);
    if (Full(f)) {
        f.pos = buf + Str_FitLength(buf, size - 1);
        *f.pos = 0;
        Log_Raw("\n\nERROR: The next string overran the print buffer!\nLINE: ");
        Log_Raw(format);
    } else {
        *f.pos = 0;
    }
    return int(f.pos - buf);
}

int Str_Format(char* buf, int size, const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    int n = Str_FormatV(buf, size, format, ap);
    va_end(ap);
    return n;
}

int Str_AppendFormat(char* buf, int size, const char* format, ...) {
    if (!buf) Core_NullPointer(kModule, __LINE__);
    int length = int(Str_Length(buf));
    va_list ap;
    va_start(ap, format);
    int n = Str_FormatV(buf + length, size - length, format, ap);
    va_end(ap);
    return n;
}
