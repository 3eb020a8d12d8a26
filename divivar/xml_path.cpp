// XML path access: name matching with its depth rules, dotted-path lookup
// with backtracking, adding paths, typed getters and setters, escaping and
// decoding of stored text, and the writer.
#include <string.h>

#include "file.h"
#include "orv-core.h"
#include "orv-str.h"
#include "pool.h"
#include "xml_internal.h"

namespace {

const char kModule[] = "divivar/xml_path";

struct Wanted {
    char prefix[STR_TEXT_SIZE];
    char name[STR_TEXT_SIZE];
    uint32_t length;
    uint32_t hash;
};

// Splits one path component (a ":" separates an optional prefix).
void MakeWanted(const char* component, int length, int splitPrefix, Wanted* w) {
    char text[STR_TEXT_SIZE];
    int n = length < STR_TEXT_SIZE - 1 ? length : STR_TEXT_SIZE - 1;
    memcpy(text, component, size_t(n));
    text[n] = 0;
    const char* colon = nullptr;
    w->prefix[0] = 0;
    if (splitPrefix && Str_FindChar(text, ':', &colon)) {
        text[colon - text] = 0;
        Str_CopyN(w->prefix, text, int(sizeof w->prefix));
        Str_CopyN(w->name, colon + 1, int(sizeof w->name));
    } else {
        Str_CopyN(w->name, text, int(sizeof w->name));
    }
    w->length = uint32_t(Str_Hash(w->name, 0, &w->hash));
}

int PrefixPasses(const XMLNode* node, const Wanted& w) {
    if (Str_Equal(w.prefix, "*")) return 1;
    if (node->prefix) return Str_EqualNoCase(node->prefix, w.prefix) && w.prefix[0];
    return w.prefix[0] == 0;
}

void MatchNodes(XMLStruct* xml, XMLNode* list, int depth, const Wanted& w, int lastMatch, XMLNode** best,
                int* bestDepth, int skipFirst) {
    if (xml->searchTrace) {
        if (depth == 0)
            Log_Print(0, "Find [%s]\n", w.name);
        else
            Log_Print(0, "Nesting----\n");
    }
    for (XMLNode* node = skipFirst && list ? list->next : list; node; node = node->next) {
        if (xml->searchTrace) Log_Print(0, "Eval 0x%p: %s (%s)\n", node, node->name, node->prefix ? node->prefix : "");
        if (Xml_NameIs(node, w.name, w.length, w.hash) && PrefixPasses(node, w) && depth <= *bestDepth &&
            (!*best || depth < *bestDepth || lastMatch)) {
            if (xml->searchTrace) Log_Print(0, "Match 0x%p: %s (%d <= %d)\n", node, node->name, depth, *bestDepth);
            *best = node;
            *bestDepth = depth;
            if (!lastMatch) return;
        }
        if (node->children && (*bestDepth > depth || node->type == XML_TYPEINSTRUCTION))
            MatchNodes(xml, node->children, node->type == XML_TYPEINSTRUCTION ? depth : depth + 1, w, lastMatch,
                       best, bestDepth, 0);
    }
}

XMLNode* Lookup(XMLStruct* xml, XMLNode* list, const Wanted& w, int skipFirst) {
    XMLNode* best = nullptr;
    int bestDepth = 0;
    MatchNodes(xml, list, 0, w, 0, &best, &bestDepth, skipFirst);
    return best;
}

XMLNode* FindIn(XMLStruct* xml, XMLNode* list, const char* path) {
    const char* dot = nullptr;
    int length = Str_FindChar(path, '.', &dot) ? int(dot - path) : int(Str_Length(path));
    Wanted w;
    MakeWanted(path, length, 1, &w);
    if (xml->searchTrace) Log_Print(0, "Search [%s]\n", w.name);
    int skipFirst = 0;
    for (XMLNode* from = list;;) {
        XMLNode* match = Lookup(xml, from, w, skipFirst);
        if (!match) {
            if (xml->searchTrace) Log_Print(0, "No more matches for [%s]\n", w.name);
            return nullptr;
        }
        if (!dot) {
            if (xml->searchTrace) Log_Print(0, "End of line [%s]\n", w.name);
            return match;
        }
        XMLNode* found = FindIn(xml, match->children, dot + 1);
        if (found) return found;
        from = match;
        skipFirst = 1;
    }
}

void JoinPath(const char* path, const char* name, char* joined) {
    if (path[0] && name[0])
        Str_Format(joined, STR_TEXT_SIZE, "%s.%s", path, name);
    else
        Str_Format(joined, STR_TEXT_SIZE, "%s%s", path, name);
}

// ------------------------------------------------------------- writer

struct Output {
    char* buffer;
    int size;
    int used;
};

void Emit(Output& o, const char* text) {
    while (*text && o.used < o.size - 1) o.buffer[o.used++] = *text++;
}

void EmitIndent(XMLStruct* xml, Output& o, int level) {
    for (int i = 0; i < level; ++i) Emit(o, xml->indentText);
}

void EmitName(Output& o, const XMLNode* node) {
    if (node->prefix) {
        Emit(o, node->prefix);
        Emit(o, ":");
    }
    Emit(o, node->name);
}

int WriteNodes(XMLStruct* xml, XMLNode* list, int level, Output& o) {
    for (XMLNode* node = list; node; node = node->next) {
        if (o.used > o.size - 10) {
            Log_Print(0, "Buffer boundary hit 1 (%d vs %d)\n", o.used, o.size - 10);
            return 0;
        }
        if (node->type != XML_TYPEATTRIBUTE) EmitIndent(xml, o, level);
        int hasValue = node->value && node->value[0];
        switch (node->type) {
            case XML_TYPEINSTRUCTION:
            case XML_TYPEDECLARATION:
                Emit(o, node->type == XML_TYPEINSTRUCTION ? "<?" : "<!");
                EmitName(o, node);
                if (!WriteNodes(xml, node->attributes, level, o)) return 0;
                Emit(o, node->type == XML_TYPEINSTRUCTION ? "?>\n" : ">\n");
                if (!WriteNodes(xml, node->children, level, o)) return 0;
                break;
            case XML_TYPEATTRIBUTE:
                Emit(o, " ");
                Emit(o, node->name);
                if (node->value) {
                    Emit(o, "=\"");
                    Emit(o, node->value);
                    Emit(o, "\"");
                }
                break;
            default:
                Emit(o, "<");
                EmitName(o, node);
                if (!WriteNodes(xml, node->attributes, level, o)) return 0;
                if (hasValue || node->children) {
                    Emit(o, ">");
                    Emit(o, hasValue ? node->value : "\n");
                    if (!WriteNodes(xml, node->children, level + 1, o)) return 0;
                    if (!hasValue && level > 0) EmitIndent(xml, o, level);
                    Emit(o, "</");
                    EmitName(o, node);
                    Emit(o, ">\n");
                } else {
                    Emit(o, "/>\n");
                }
                break;
        }
        if (o.used > o.size - 10) {
            Log_Print(0, "Buffer boundary hit 2 (%d vs %d)\n", o.used, o.size - 10);
            return 0;
        }
    }
    return 1;
}

int64_t Estimate(XMLStruct* xml, XMLNode* list, int level) {
    int64_t total = 0;
    for (XMLNode* node = list; node; node = node->next) {
        if (node->type == XML_TYPEATTRIBUTE) {
            total += node->nameLength + 4;
        } else if (node->prefix) {
            total += 2 * (int64_t(level) * xml->indentWidth + Str_Length(node->prefix) + 7) + 2 * node->nameLength;
        } else {
            total += 2 * (int64_t(level) * xml->indentWidth + 6) + 2 * node->nameLength;
        }
        if (node->value && node->value[0]) total += Str_Length(node->value);
        total += Estimate(xml, node->attributes, level);
        int childLevel = node->type == XML_TYPEELEMENT ? level + 1 : level;
        total += Estimate(xml, node->children, childLevel);
    }
    return total;
}

}  // namespace

int XML_FindPath(XMLStruct* xml, XMLNode* start, const char* path, XMLNode** node) {
    Xml_Check(xml, __LINE__);
    if (!path || !node) Core_NullPointer(kModule, __LINE__);
    *node = FindIn(xml, start ? start : xml->first, path);
    return *node != nullptr;
}

int XML_FindNext(XMLStruct* xml, const char* name, XMLNode* node, XMLNode** next) {
    Xml_Check(xml, __LINE__);
    if (!name || !next) Core_NullPointer(kModule, __LINE__);
    *next = nullptr;
    XMLNode* from = node ? node : xml->first;
    if (!from) return 0;
    Wanted w;
    MakeWanted(name, int(Str_Length(name)), 1, &w);
    *next = Lookup(xml, from, w, 1);
    return *next != nullptr;
}

int XML_AddPath(XMLStruct* xml, const char* path, const char* name, XMLNode** node) {
    Xml_Check(xml, __LINE__);
    if (!path || !name || !node) Core_NullPointer(kModule, __LINE__);
    if (xml->searchTrace) Log_Print(0, "\nAdd path [%s] [%s]\n", path, name);
    XMLNode* current = xml->first;
    for (const char* p = path; *p;) {
        const char* dot = nullptr;
        int length = Str_FindChar(p, '.', &dot) ? int(dot - p) : int(Str_Length(p));
        Wanted w;
        MakeWanted(p, length, 1, &w);
        if (xml->searchTrace) Log_Print(0, "Find [%s] [%.8X]\n", w.name, unsigned(uintptr_t(current)));
        XMLNode* best = nullptr;
        int bestDepth = 1;
        if (current) MatchNodes(xml, current, 0, w, 1, &best, &bestDepth, 0);
        if (best) {
            if (xml->searchTrace)
                Log_Print(0, "Match (%d) [%.8X] [%.8X]\n", bestDepth, unsigned(uintptr_t(best)),
                          unsigned(uintptr_t(current->next)));
            current = best;
        } else {
            if (xml->searchTrace) Log_Print(0, "No match for [%s] - adding\n", w.name);
            XML_AddElement(xml, current, &current, w.name);
        }
        p = dot ? dot + 1 : p + length;
    }
    for (const char* p = name; *p;) {
        const char* dot = nullptr;
        int length = Str_FindChar(p, '.', &dot) ? int(dot - p) : int(Str_Length(p));
        Wanted w;
        MakeWanted(p, length, 0, &w);
        if (xml->searchTrace) Log_Print(0, "Unique [%s] - adding\n", w.name);
        XML_AddElement(xml, current, &current, w.name);
        p = dot ? dot + 1 : p + length;
    }
    *node = current;
    return current != nullptr;
}

int XML_SetString(XMLStruct* xml, const char* path, const char* name, const char* text) {
    Xml_Check(xml, __LINE__);
    if (!text) Core_NullPointer(kModule, __LINE__);
    xml->lastNode = nullptr;
    XMLNode* node = nullptr;
    if (!XML_AddPath(xml, path, name, &node)) return 0;
    int needed = XML_EncodeText(text, nullptr, 0);
    if (!node->value || node->valueSize < needed) {
        node->value = static_cast<char*>(Pool_Alloc(xml->strings, needed, kModule, __LINE__));
        node->valueSize = needed;
    }
    XML_EncodeText(text, node->value, node->valueSize);
    xml->lastNode = node;
    return 1;
}

int XML_SetBool(XMLStruct* xml, const char* path, const char* name, int flag) {
    return XML_SetString(xml, path, name, flag == 1 ? "true" : "false");
}

int XML_SetInt(XMLStruct* xml, const char* path, const char* name, int32_t value) {
    char text[STR_TEXT_SIZE];
    Str_Format(text, int(sizeof text), "%d", value);
    return XML_SetString(xml, path, name, text);
}

int XML_SetInt64(XMLStruct* xml, const char* path, const char* name, int64_t value) {
    char text[STR_TEXT_SIZE];
    Str_Format(text, int(sizeof text), "%I64d", value);
    return XML_SetString(xml, path, name, text);
}

int XML_SetDouble(XMLStruct* xml, const char* path, const char* name, double value) {
    char text[STR_TEXT_SIZE];
    Str_Format(text, int(sizeof text), "%f", value);
    return XML_SetString(xml, path, name, text);
}

int XML_GetString(XMLStruct* xml, const char* path, const char* name, char* text, int size) {
    Xml_Check(xml, __LINE__);
    if (!path || !name || !text) Core_NullPointer(kModule, __LINE__);
    if (size > 0) text[0] = 0;
    xml->lastNode = nullptr;
    char joined[STR_TEXT_SIZE];
    JoinPath(path, name, joined);
    XMLNode* node = nullptr;
    if (!XML_FindPath(xml, nullptr, joined, &node)) return 0;
    if (!XML_DecodeText(node->value ? node->value : "", text, size)) return 0;
    xml->lastNode = node;
    return 1;
}

int XML_GetBool(XMLStruct* xml, const char* path, const char* name, int32_t* flag) {
    if (!flag) Core_NullPointer(kModule, __LINE__);
    char text[STR_TEXT_SIZE];
    if (!XML_GetString(xml, path, name, text, int(sizeof text))) return 0;
    int value = 0;
    Str_ParseBool(text, &value, 0);
    *flag = value;
    return 1;
}

int XML_GetInt(XMLStruct* xml, const char* path, const char* name, int32_t* value) {
    if (!value) Core_NullPointer(kModule, __LINE__);
    char text[STR_TEXT_SIZE];
    if (!XML_GetString(xml, path, name, text, int(sizeof text))) return 0;
    *value = int32_t(uint32_t(uint64_t(Str_AtoI(text))));
    return 1;
}

int XML_GetInt64(XMLStruct* xml, const char* path, const char* name, int64_t* value) {
    if (!value) Core_NullPointer(kModule, __LINE__);
    char text[STR_TEXT_SIZE];
    if (!XML_GetString(xml, path, name, text, int(sizeof text))) return 0;
    *value = Str_AtoI(text);
    return 1;
}

int XML_GetDouble(XMLStruct* xml, const char* path, const char* name, double* value) {
    if (!value) Core_NullPointer(kModule, __LINE__);
    char text[STR_TEXT_SIZE];
    if (!XML_GetString(xml, path, name, text, int(sizeof text))) return 0;
    *value = Str_AtoF(text);
    return 1;
}

int XML_GetChildString(XMLStruct* xml, XMLNode* element, const char* path, char* text, int size) {
    Xml_Check(xml, __LINE__);
    if (!element || !path || !text) Core_NullPointer(kModule, __LINE__);
    if (size > 0) text[0] = 0;
    if (!element->children) {
        Log_Print(0, "Unable to get child from parent for string decode\n");
        return 0;
    }
    XMLNode* node = nullptr;
    if (!XML_FindPath(xml, element->children, path, &node)) return 0;
    return XML_DecodeText(node->value ? node->value : "", text, size);
}

int XML_GetChildBool(XMLStruct* xml, XMLNode* element, const char* path, int32_t* flag) {
    if (!flag) Core_NullPointer(kModule, __LINE__);
    *flag = 0;
    char text[STR_TEXT_SIZE];
    if (!XML_GetChildString(xml, element, path, text, int(sizeof text))) return 0;
    int value = 0;
    Str_ParseBool(text, &value, 0);
    *flag = value;
    return 1;
}

int XML_GetChildInt(XMLStruct* xml, XMLNode* element, const char* path, int32_t* value) {
    if (!value) Core_NullPointer(kModule, __LINE__);
    *value = 0;
    char text[STR_TEXT_SIZE];
    if (!XML_GetChildString(xml, element, path, text, int(sizeof text))) return 0;
    *value = int32_t(uint32_t(uint64_t(Str_AtoI(text))));
    return 1;
}

int XML_GetChildDouble(XMLStruct* xml, XMLNode* element, const char* path, double* value) {
    if (!value) Core_NullPointer(kModule, __LINE__);
    *value = 0;
    char text[STR_TEXT_SIZE];
    if (!XML_GetChildString(xml, element, path, text, int(sizeof text))) return 0;
    *value = Str_AtoF(text);
    return 1;
}

int XML_EncodeText(const char* text, char* buffer, int size) {
    if (!text) Core_NullPointer(kModule, __LINE__);
    const int kMeasure = 999999;
    int capacity = buffer ? size : kMeasure;
    int n = 0;
    for (const char* p = text; *p; ++p) {
        const char* out = nullptr;
        char single[2] = {*p, 0};
        switch ((unsigned char)*p) {
            case '\n': out = "<BR>\n"; break;
            case '\r': out = ""; break;
            case '"': out = "&quot;"; break;
            case '&': out = "&amp;"; break;
            case '<': out = "&lt;"; break;
            case '>': out = "&gt;"; break;
            case 0xA9: out = "&copy;"; break;
            default: out = single; break;
        }
        int length = int(Str_Length(out));
        if (n + length + 1 > capacity) {
            if (buffer && size > 0) buffer[n] = 0;
            return buffer ? 0 : n + 1;
        }
        if (buffer) memcpy(buffer + n, out, size_t(length));
        n += length;
    }
    if (!buffer) return n + 1;
    if (size > 0) buffer[n] = 0;
    return 1;
}

int XML_DecodeText(const char* text, char* buffer, int size) {
    if (!text || !buffer) Core_NullPointer(kModule, __LINE__);
    if (size <= 0) return 0;
    static const struct {
        const char* entity;
        char byte;
    } kEntities[] = {{"&gt;", '>'},  {"&lt;", '<'},   {"&amp;", '&'},          {"&quot;", '"'},
                     {"&nbsp;", ' '}, {"&copy;", char(0xA9)}, {"&apos;", '\''}};
    int n = 0;
    const char* p = text;
    auto put = [&](char c) {
        if (n >= size - 1) return 0;
        buffer[n++] = c;
        return n < size - 1 ? 1 : 0;
    };
    while (*p) {
        if (*p == '&') {
            int matched = 0;
            for (const auto& e : kEntities) {
                if (Str_StartsWithNoCase(p, e.entity)) {
                    if (!put(e.byte)) goto full;
                    p += Str_Length(e.entity);
                    matched = 1;
                    break;
                }
            }
            if (matched) continue;
            if (p[1] == '#') {
                int digits = 0, value = 0;
                while (digits < 3 && p[2 + digits] >= '0' && p[2 + digits] <= '9') value = value * 10 + (p[2 + digits++] - '0');
                if (digits > 0 && p[2 + digits] == ';') {
                    if (!put(char(value % 256))) goto full;
                    p += 3 + digits;
                    continue;
                }
            }
        } else if (*p == '<') {
            if (Str_StartsWithNoCase(p, "<br>")) {
                if (!put('\n')) goto full;
                p += 4;
                continue;
            }
            if (Str_StartsWithNoCase(p, "<![CDATA[")) {
                p += 9;
                while (*p && !Str_EqualN(p, "]]>", 3))
                    if (!put(*p++)) goto full;
                if (*p) p += 3;
                continue;
            }
        }
        if (*p == '&' || *p == '<') {
            char next[3] = {' ', ' ', ' '};
            for (int i = 0; i < 3 && p[1 + i]; ++i) next[i] = p[1 + i];
            Log_Print(0, "Unknown escape character (%c)[%c%c%c]\n", *p, next[0], next[1], next[2]);
        }
        if (!put(*p++)) goto full;
    }
    buffer[n] = 0;
    return 1;
full:
    buffer[n] = 0;
    return 0;
}

int XML_SetIndent(XMLStruct* xml, int32_t width) {
    Xml_Check(xml, __LINE__);
    if (width > 80) width = 70;
    if (width < 0) width = 0;
    if (width == xml->indentWidth && Str_Length(xml->indentText) == uint32_t(width)) return 1;
    xml->indentWidth = width;
    for (int i = 0; i < width; ++i) xml->indentText[i] = ' ';
    xml->indentText[width] = 0;
    return 1;
}

int XML_EstimateSize(XMLStruct* xml) {
    Xml_Check(xml, __LINE__);
    int64_t total = 20 + Estimate(xml, xml->first, 0);
    return total > 0x7FFFFFF0 ? 0x7FFFFFF0 : int(total);
}

int XML_SaveFile(XMLStruct* xml, const char* path) {
    Xml_Check(xml, __LINE__);
    if (!path) Core_NullPointer(kModule, __LINE__);
    int size = XML_EstimateSize(xml);
    Str_CopyN(xml->fileName, path, int(sizeof xml->fileName));
    Output o = {static_cast<char*>(Mem_Alloc(size, MEM_HEAP, kModule, __LINE__)), size, 0};
    // The document is written whole or not at all: a reader never meets a
    // half-written file, and a failure leaves the earlier one.
    int ok = WriteNodes(xml, xml->first, 0, o) && File_SaveWhole(path, o.buffer, uint32_t(o.used), 1);
    if (!ok && xml->searchTrace) Log_Print(0, "Unable to save [%s]\n", path);
    Mem_Free(o.buffer, size, MEM_HEAP, kModule, __LINE__);
    return ok;
}
