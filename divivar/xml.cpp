// XML tree, the in-place tag scanner and level parser, and merging of a
// second file into a loaded tree. The scanner never rejects text: whatever
// the input, it yields some tree.
#include <string.h>

#include "file.h"
#include "orv-core.h"
#include "orv-str.h"
#include "pool.h"
#include "xml_internal.h"

namespace {

const char kModule[] = "divivar/xml";
const int kStringBlock = 20480;
const int kNodesPerBlock = 100;

inline bool Blank(char c) {
    return (unsigned char)c <= 32;
}

void FreeTree(XMLStruct* xml, XMLNode* node) {
    while (node) {
        XMLNode* next = node->next;
        FreeTree(xml, node->attributes);
        FreeTree(xml, node->children);
        void* member = node;
        Pool_Free(xml->nodes, &member, int(sizeof(XMLNode)), kModule, __LINE__);
        node = next;
    }
}

// The tag scanner. Returns 1 with a tag's content and its following text;
// 0 without a tag. The cursor always moves on.
int NextTag(XMLStruct* xml, char** cursor, char** content, char** following) {
    char* p = *cursor;
    while (*p && *p != '<') {
        if (*p == '\n') ++xml->line;
        ++p;
    }
    if (!*p) {
        *cursor = p;
        return 0;
    }
    char* open = p++;
    while (*p && Blank(*p)) {
        if (*p == '\n') ++xml->line;
        ++p;
    }
    if (!*p) {
        *cursor = p;
        return 0;
    }
    const char* skipTo = nullptr;
    int skipLength = 0;
    if (Str_StartsWithNoCase(p, "![CDATA[")) {
        skipTo = "]]>";
        skipLength = 3;
    } else if (Str_StartsWithNoCase(p, "!--")) {
        skipTo = "-->";
        skipLength = 3;
    } else if (Str_StartsWithNoCase(p, "BR>")) {
        *cursor = p + 3;
        return 0;
    }
    if (skipTo) {
        while (*p && !Str_EqualN(p, skipTo, skipLength)) {
            if (*p == '\n') ++xml->line;
            ++p;
        }
        *cursor = *p ? p + skipLength : p;
        return 0;
    }
    char* start = p;
    while (*p && *p != '>') {
        if (*p == '<') {
            *cursor = p;
            return 0;
        }
        if (*p == '\n') ++xml->line;
        ++p;
    }
    if (!*p) {
        *cursor = p;
        return 0;
    }
    *p = 0;
    for (char* q = p - 1; q >= start && Blank(*q); --q) *q = 0;
    char* f = p + 1;
    while (*f && Blank(*f)) {
        if (*f == '\n') ++xml->line;
        *f++ = 0;
    }
    *open = 0;
    *content = start;
    *following = f;
    *cursor = f;
    return 1;
}

void TrimValue(XMLNode* node) {
    if (!node->value) return;
    while (*node->value && Blank(*node->value)) ++node->value;
    for (char* q = node->value + Str_Length(node->value) - 1; q >= node->value && Blank(*q); --q) *q = 0;
}

void ParseAttributes(XMLStruct* xml, XMLNode* node, char* text) {
    XMLNode* parent = node;
    while (*text) {
        while (*text && Blank(*text)) ++text;
        if (!*text) return;
        char* name = text;
        while (*text && !Blank(*text) && *text != '=' && *text != '>') ++text;
        int valueHere = *text == '=';
        if (*text) *text++ = 0;
        if (!valueHere) {
            while (*text && Blank(*text)) ++text;
            if (*text == '=') {
                ++text;
                valueHere = 1;
            }
        }
        char* value = nullptr;
        if (valueHere) {
            while (*text && Blank(*text)) ++text;
            value = text;
            int quoted = 0;
            while (*text && (quoted || !Blank(*text))) {
                if (*text == '"') quoted = !quoted;
                ++text;
            }
            char* end = text;
            if (*text) *text++ = 0;
            if (*value == '"') ++value;
            while (end > value && Blank(end[-1])) *--end = 0;
            if (end > value && end[-1] == '"') end[-1] = 0;
        }
        XMLNode* attribute = nullptr;
        XML_NewNode(xml, &parent, nullptr, &attribute, name, 1);
        attribute->line = xml->line;
        if (value) XML_SetNodeValue(xml, attribute, value);
    }
}

void TraceOpen(XMLNode* node, int level) {
    char text[2048];
    Str_Format(text, int(sizeof text), "Open           [0x%p:%.2d] [0x%p] %d:[(%s) %s] [", node, level, node->value,
               node->type, node->prefix ? node->prefix : "", node->name);
    for (XMLNode* a = node->attributes; a; a = a->next) {
        if (a->value)
            Str_AppendFormat(text, int(sizeof text), "%s=\"%s\"%s", a->name, a->value, a->next ? " " : "");
        else
            Str_AppendFormat(text, int(sizeof text), "%s%s", a->name, a->next ? " " : "");
    }
    Log_Print(0, "%s]\n", text);
}

// Elements (and unclosed instructions) nested deeper than this end the
// parse: each level is a call, and a damaged file must not exhaust a small
// stack.
const int kMaxDepth = 256;

// Reads the nodes of one level; returns 1 when the parent element ended,
// 0 when the text ended (or, with *tooDeep set, the nesting limit did).
int ParseLevel(XMLStruct* xml, int level, int depth, char** cursor, XMLNode** parent, int* tooDeep) {
    if (depth > kMaxDepth) {
        Log_Print(0, "XML nested deeper than %d levels at line %d\n", kMaxDepth, int(xml->line));
        *tooDeep = 1;
        return 0;
    }
    XMLNode* previous = nullptr;
    while (**cursor) {
        char* content = nullptr;
        char* following = nullptr;
        if (!NextTag(xml, cursor, &content, &following)) continue;
        int closing = content[0] == '/';
        if (closing) ++content;
        char* name = content;
        char* attributes = content + Str_Length(content);
        int selfClosing = 0;
        char* split = name;
        while (*split && !Blank(*split)) ++split;
        if (*split) {
            *split++ = 0;
            while (*split && Blank(*split)) ++split;
            attributes = split;
            for (char* q = attributes + Str_Length(attributes) - 1; q >= attributes && (*q == '/' || Blank(*q)); --q) {
                if (*q == '/') selfClosing = 1;
                *q = 0;
            }
        }
        if (xml->parseTrace && *attributes) Log_Print(0, "Break up       [%s]\n", attributes);
        char* prefix = nullptr;
        const char* colon = nullptr;
        if (Str_FindChar(name, ':', &colon)) {
            prefix = name;
            name[colon - name] = 0;
            name = name + (colon - prefix) + 1;
        }
        int length = int(Str_Length(name));
        int empty = 0;
        if (length > 0 && name[length - 1] == '/' && !*attributes) {
            name[length - 1] = 0;
            empty = 1;
            if (xml->parseTrace) Log_Print(0, "L%d: Empty Field    [%s]\n", int(xml->line), name);
        }
        if (closing && *parent && Str_EqualNoCase((*parent)->name, name)) {
            XMLNode* ended = *parent;
            TrimValue(ended);
            if (xml->parseTrace) {
                Log_Print(0, "%Data           [0x%p:%.2d] [0x%p] [%s]\n", ended, level, ended->value,
                          ended->value ? ended->value : "");
                Log_Print(0, "Close          [0x%p:%.2d] [(%s) %s]\n", ended, level,
                          ended->prefix ? ended->prefix : "", ended->name);
            }
            return 1;
        }
        int type = XML_TYPEELEMENT;
        if (name[0] == '?') {
            ++name;
            while (*name && Blank(*name)) ++name;
            for (char* q = attributes + Str_Length(attributes) - 1; q >= attributes && (*q == '?' || Blank(*q)); --q)
                *q = 0;
            type = XML_TYPEINSTRUCTION;
        }
        if (name[0] == '!') {
            ++name;
            while (*name && Blank(*name)) ++name;
            type = XML_TYPEDECLARATION;
        }
        XMLNode* node = nullptr;
        XML_NewNode(xml, parent, previous, &node, name, 0);
        node->line = xml->line;
        node->prefix = prefix;
        node->type = type;
        node->value = following;
        previous = node;
        if (*attributes) ParseAttributes(xml, node, attributes);
        if (xml->parseTrace) TraceOpen(node, level);
        if (selfClosing || empty) continue;
        XMLNode* self = node;
        if (!ParseLevel(xml, type == XML_TYPEINSTRUCTION ? level : level + 1, depth + 1, cursor, &self, tooDeep))
            return 0;
    }
    return 0;
}

void SetValueSizes(XMLNode* node) {
    for (; node; node = node->next) {
        if (node->type != XML_TYPEATTRIBUTE) node->valueSize = node->value ? int32_t(Str_Length(node->value)) : 0;
        SetValueSizes(node->children);
    }
}

int SameValue(const char* a, const char* b) {
    if (!a || !b) return !a && !b;
    return Str_EqualNoCase(a, b);
}

// Every attribute of a has an attribute of the same name and value in b.
int AttributesIn(const XMLNode* a, const XMLNode* b) {
    for (const XMLNode* x = a->attributes; x; x = x->next) {
        const XMLNode* y = b->attributes;
        while (y && !Str_EqualNoCase(x->name, y->name)) y = y->next;
        if (!y || !SameValue(x->value, y->value)) return 0;
    }
    return 1;
}

int Matches(const XMLNode* present, const XMLNode* candidate) {
    if (!Str_EqualNoCase(present->name, candidate->name)) return 0;
    if (!present->prefix != !candidate->prefix) return 0;
    if (present->prefix && !Str_EqualNoCase(present->prefix, candidate->prefix)) return 0;
    return AttributesIn(candidate, present) && AttributesIn(present, candidate);
}

// Merges the list that starts at incoming into the list that starts at
// *head, whose nodes have the given parent.
void Merge(XMLStruct* xml, XMLNode** head, XMLNode* parent, XMLNode* incoming) {
    while (incoming) {
        XMLNode* node = incoming;
        incoming = node->next;
        node->next = nullptr;
        XMLNode* match = *head;
        while (match && !Matches(match, node)) match = match->next;
        if (match) {
            XMLNode* children = node->children;
            node->children = nullptr;
            if (!match->children) {
                match->children = children;
                for (XMLNode* c = children; c; c = c->next) c->parent = match;
            } else {
                Merge(xml, &match->children, match, children);
            }
            node->parent = nullptr;
            XML_DeleteNode(xml, node);
        } else {
            XMLNode** tail = head;
            while (*tail) tail = &(*tail)->next;
            *tail = node;
            node->parent = parent;
        }
    }
}

}  // namespace

const char XMLStructTag[] = "XMLStruct:divivar/xml";

void Xml_Check(XMLStruct* xml, int line) {
    if (!xml) Core_NullPointer(kModule, line);
    Class_Check(xml, XMLStructTag, kModule, line);
}

char* Xml_CopyString(XMLStruct* xml, const char* text, int length) {
    char* copy = static_cast<char*>(Pool_Alloc(xml->strings, length + 1, kModule, __LINE__));
    memcpy(copy, text, size_t(length));
    copy[length] = 0;
    return copy;
}

int Xml_NameIs(const XMLNode* node, const char* name, uint32_t length, uint32_t hash) {
    return node->nameLength == length && node->nameHash == hash && Str_EqualNoCase(node->name, name);
}

int XML_NewNode(XMLStruct* xml, XMLNode** parent, XMLNode* previous, XMLNode** out, const char* name,
                int attribute) {
    XMLNode* node = static_cast<XMLNode*>(Pool_Alloc(xml->nodes, int(sizeof(XMLNode)), kModule, __LINE__));
    memset(node, 0, sizeof *node);
    int length = int(Str_Length(name));
    node->name = Xml_CopyString(xml, name, length);
    Str_Hash(node->name, 0, &node->nameHash);
    node->nameLength = uint32_t(length);
    node->type = attribute ? XML_TYPEATTRIBUTE : XML_TYPEELEMENT;
    if (previous) {
        node->parent = previous->parent;
        node->next = previous->next;
        previous->next = node;
    } else if (*parent) {
        node->parent = *parent;
        XMLNode** tail = attribute ? &(*parent)->attributes : &(*parent)->children;
        while (*tail) tail = &(*tail)->next;
        *tail = node;
    } else {
        *parent = node;
    }
    xml->nodeCount += 1;
    *out = node;
    return 1;
}

int XML_Create(XMLStruct** xml) {
    if (!xml) Core_NullPointer(kModule, __LINE__);
    XMLStruct* x = static_cast<XMLStruct*>(Mem_Alloc(int(sizeof(XMLStruct)), MEM_HEAP, kModule, __LINE__));
    x->tag = XMLStructTag;
    XML_SetIndent(x, 4);
    File_Create(&x->file);
    Pool_Create(&x->nodes, kModule, __LINE__);
    Pool_SetMemberSize(x->nodes, int(sizeof(XMLNode)));
    Pool_SetChunkSize(x->nodes, kNodesPerBlock);
    Pool_Create(&x->strings, kModule, __LINE__);
    Pool_SetMemberSize(x->strings, kStringBlock);
    Pool_SetChunkSize(x->strings, 1);
    Pool_SetStringMode(x->strings, 1);
    *xml = x;
    return 1;
}

int XML_Destroy(XMLStruct** xml) {
    if (!xml) Core_NullPointer(kModule, __LINE__);
    XMLStruct* x = *xml;
    *xml = nullptr;
    Xml_Check(x, __LINE__);
    XML_Clear(x);
    if (File_IsOpen(x->file)) File_Close(x->file);
    File_Destroy(&x->file);
    Pool_Destroy(&x->strings);
    Pool_Destroy(&x->nodes);
    x->tag = nullptr;
    Mem_Free(x, int(sizeof(XMLStruct)), MEM_HEAP, kModule, __LINE__);
    return 1;
}

int XML_Clear(XMLStruct* xml) {
    Xml_Check(xml, __LINE__);
    FreeTree(xml, xml->first);
    Pool_Reset(xml->strings);
    xml->fileName[0] = 0;
    xml->lastNode = nullptr;
    xml->first = nullptr;
    xml->nodeCount = 0;
    return 1;
}

int XML_SetAppendMode(XMLStruct* xml, int on) {
    Xml_Check(xml, __LINE__);
    xml->appendOnLoad = on ? 1 : 0;
    return 1;
}

int XML_SetMergeMode(XMLStruct* xml, int on) {
    Xml_Check(xml, __LINE__);
    xml->mergeOnLoad = on ? 1 : 0;
    return 1;
}

namespace {

// Parses a terminated text that lives in the string pool and attaches the
// new nodes as the load switches say. 0 when the text nests too deeply (what
// was read up to there is kept).
int ParseBuffer(XMLStruct* xml, char* buffer) {
    xml->line = 0;
    XMLNode* list = nullptr;
    char* cursor = buffer;
    int tooDeep = 0;
    ParseLevel(xml, 0, 0, &cursor, &list, &tooDeep);
    if (!xml->first)
        xml->first = list;
    else if (xml->mergeOnLoad)
        Merge(xml, &xml->first, nullptr, list);
    else {
        XMLNode* tail = xml->first;
        while (tail->next) tail = tail->next;
        tail->next = list;
    }
    SetValueSizes(xml->first);
    return !tooDeep;
}

}  // namespace

int XML_LoadText(XMLStruct* xml, const char* text, int32_t length) {
    Xml_Check(xml, __LINE__);
    if (!text && length > 0) Core_NullPointer(kModule, __LINE__);
    if (!xml->appendOnLoad) XML_Clear(xml);
    return ParseBuffer(xml, Xml_CopyString(xml, length > 0 ? text : "", length > 0 ? length : 0));
}

int XML_LoadFile(XMLStruct* xml, const char* path) {
    Xml_Check(xml, __LINE__);
    if (!path) Core_NullPointer(kModule, __LINE__);
    double start = Core_Seconds();
    if (!xml->appendOnLoad) XML_Clear(xml);
    if (!File_Open(xml->file, path, FILE_MODE_READ | FILE_MODE_TEXT)) {
        if (xml->searchTrace) Log_Print(0, "Unable to open datafile [%s]\n", path);
        return 0;
    }
    Str_CopyN(xml->fileName, path, int(sizeof xml->fileName));
    int64_t size = 0;
    File_GetSize(xml->file, &size);
    int bytes = 0;
    char* text = nullptr;
    uint32_t got = 0;
    if (size > 0 && Mem_CheckedSize(size + 1, 1, 1, &bytes)) {
        text = static_cast<char*>(Pool_Alloc(xml->strings, bytes, kModule, __LINE__));
        memset(text, 0, size_t(bytes));
        File_Read(xml->file, text, uint32_t(size), &got);
    }
    File_Close(xml->file);
    if (text)
        text[got] = 0;
    else
        text = Xml_CopyString(xml, "", 0);
    int ok = ParseBuffer(xml, text);
    if (xml->searchTrace) Log_Print(0, "XML-overall [%.4f secs]\n", Core_Seconds() - start);
    return ok;
}

int XML_AddElement(XMLStruct* xml, XMLNode* parent, XMLNode** node, const char* name) {
    Xml_Check(xml, __LINE__);
    if (!node || !name) Core_NullPointer(kModule, __LINE__);
    if (!parent && xml->first) parent = xml->first;
    if (!parent) return XML_NewNode(xml, &xml->first, nullptr, node, name, 0);
    return XML_NewNode(xml, &parent, nullptr, node, name, 0);
}

int XML_SetNodeType(XMLStruct* xml, XMLNode* node, int32_t type) {
    Xml_Check(xml, __LINE__);
    if (!node) Core_NullPointer(kModule, __LINE__);
    node->type = type;
    return 1;
}

int XML_FindAttribute(XMLStruct* xml, XMLNode* element, const char* name, XMLNode** node) {
    Xml_Check(xml, __LINE__);
    if (!element || !name || !node) Core_NullPointer(kModule, __LINE__);
    for (XMLNode* a = element->attributes; a; a = a->next) {
        if (Str_EqualNoCase(a->name, name)) {
            *node = a;
            return 1;
        }
    }
    *node = nullptr;
    return 0;
}

int XML_AddAttribute(XMLStruct* xml, XMLNode* element, const char* name, const char* value) {
    XMLNode* existing = nullptr;
    if (XML_FindAttribute(xml, element, name, &existing)) return 0;
    XMLNode* attribute = nullptr;
    XML_NewNode(xml, &element, nullptr, &attribute, name, 1);
    if (value && *value) XML_SetNodeValue(xml, attribute, value);
    return 1;
}

int XML_DeleteNode(XMLStruct* xml, XMLNode* node) {
    Xml_Check(xml, __LINE__);
    if (!node) Core_NullPointer(kModule, __LINE__);
    FreeTree(xml, node->children);
    FreeTree(xml, node->attributes);
    if (node->parent) {
        XMLNode** link = &node->parent->children;
        while (*link && *link != node) link = &(*link)->next;
        if (*link) *link = node->next;
    }
    if (xml->lastNode == node) xml->lastNode = nullptr;
    void* member = node;
    Pool_Free(xml->nodes, &member, int(sizeof(XMLNode)), kModule, __LINE__);
    xml->nodeCount -= 1;
    return 1;
}

int XML_SetNodeValue(XMLStruct* xml, XMLNode* node, const char* text) {
    Xml_Check(xml, __LINE__);
    if (!node || !text) Core_NullPointer(kModule, __LINE__);
    int length = int(Str_Length(text));
    if (!node->value || node->valueSize < length + 1) {
        node->value = static_cast<char*>(Pool_Alloc(xml->strings, length + 1, kModule, __LINE__));
        node->valueSize = length + 1;
    }
    memcpy(node->value, text, size_t(length) + 1);
    return 1;
}
