// XML documents: a small tree read by a tolerant in-place tag scanner,
// dotted-path access with typed getters and setters, and a writer with a
// fixed indented layout. Built for the configuration files.
#pragma once

#include <stdint.h>

#include "orv-str.h"

struct FileStruct;
struct PoolStruct;

enum { XML_TYPEELEMENT = 1, XML_TYPEINSTRUCTION = 2, XML_TYPEDECLARATION = 3, XML_TYPEATTRIBUTE = 4 };
struct XMLNode {
    char* prefix;
    char* name;
    uint32_t line;
    uint32_t nameLength;
    uint32_t nameHash;
    int32_t type;
    char* value;
    int32_t valueSize;
    XMLNode* attributes;
    XMLNode* children;
    XMLNode* parent;
    XMLNode* next;
};

struct XMLStruct {
    const char* tag;
    uint32_t searchTrace;
    uint32_t parseTrace;
    uint32_t appendOnLoad;
    uint32_t mergeOnLoad;
    uint32_t line;
    FileStruct* file;
    XMLNode* lastNode;
    char fileName[STR_TEXT_SIZE];
    int32_t indentWidth;
    char indentText[81];
    int32_t nodeCount;
    XMLNode* first;
    PoolStruct* nodes;
    PoolStruct* strings;
};

extern const char XMLStructTag[];

// ---------------------------------------------------------------- tree

// A new empty document (indentation 4). Returns 1.
int XML_Create(XMLStruct** xml);

// Clears, frees everything the document owns and nulls *xml. Returns 1.
int XML_Destroy(XMLStruct** xml);

// Frees every node and every string; the switches are kept. Returns 1.
int XML_Clear(XMLStruct* xml);

// Load switches: keep the present tree (append) and merge into it.
int XML_SetAppendMode(XMLStruct* xml, int on);
int XML_SetMergeMode(XMLStruct* xml, int on);

// Reads and parses a file; never rejects text. 0 only when the file cannot
// be opened.
int XML_LoadFile(XMLStruct* xml, const char* path);

// Parses a text held in memory as XML_LoadFile parses a file's text.
int XML_LoadText(XMLStruct* xml, const char* text, int32_t length);

// Appends a new element (under parent, or at the top level). Returns 1.
int XML_AddElement(XMLStruct* xml, XMLNode* parent, XMLNode** node, const char* name);
int XML_SetNodeType(XMLStruct* xml, XMLNode* node, int32_t type);

// Adds an attribute unless one of that name exists (then 0).
int XML_AddAttribute(XMLStruct* xml, XMLNode* element, const char* name, const char* value);
int XML_FindAttribute(XMLStruct* xml, XMLNode* element, const char* name, XMLNode** node);

// Frees a node with its children and attributes. Returns 1.
int XML_DeleteNode(XMLStruct* xml, XMLNode* node);

// Copies text into the node's value buffer unchanged. Returns 1.
int XML_SetNodeValue(XMLStruct* xml, XMLNode* node, const char* text);

// ---------------------------------------------------------- path access

int XML_SetString(XMLStruct* xml, const char* path, const char* name, const char* text);
int XML_SetBool(XMLStruct* xml, const char* path, const char* name, int flag);
int XML_SetInt(XMLStruct* xml, const char* path, const char* name, int32_t value);
int XML_SetInt64(XMLStruct* xml, const char* path, const char* name, int64_t value);
int XML_SetDouble(XMLStruct* xml, const char* path, const char* name, double value);

// Getters: 0 when the element is missing (numbers then keep the caller's
// value) or the decoded text does not fit.
int XML_GetString(XMLStruct* xml, const char* path, const char* name, char* text, int size);
int XML_GetBool(XMLStruct* xml, const char* path, const char* name, int32_t* flag);
int XML_GetInt(XMLStruct* xml, const char* path, const char* name, int32_t* value);
int XML_GetInt64(XMLStruct* xml, const char* path, const char* name, int64_t* value);
int XML_GetDouble(XMLStruct* xml, const char* path, const char* name, double* value);

int XML_FindPath(XMLStruct* xml, XMLNode* start, const char* path, XMLNode** node);
int XML_FindNext(XMLStruct* xml, const char* name, XMLNode* node, XMLNode** next);
int XML_GetFirstChild(XMLStruct* xml, XMLNode* node, XMLNode** child);
int XML_GetNodeValue(XMLStruct* xml, XMLNode* node, const char** value);

// Child getters: the output is 0 (or empty) when the child is missing.
int XML_GetChildString(XMLStruct* xml, XMLNode* element, const char* path, char* text, int size);
int XML_GetChildBool(XMLStruct* xml, XMLNode* element, const char* path, int32_t* flag);
int XML_GetChildInt(XMLStruct* xml, XMLNode* element, const char* path, int32_t* value);
int XML_GetChildDouble(XMLStruct* xml, XMLNode* element, const char* path, double* value);

// Finds or creates the elements of path, then always adds the elements of
// name under it. Returns 1 and the last node.
int XML_AddPath(XMLStruct* xml, const char* path, const char* name, XMLNode** node);

// ---------------------------------------------------------------- writer

int XML_SetIndent(XMLStruct* xml, int32_t width);
int XML_SaveFile(XMLStruct* xml, const char* path);

// Escapes text into buffer; 1 when all of it fitted. With a null buffer it
// only measures and returns the escaped length plus one.
int XML_EncodeText(const char* text, char* buffer, int size);

// Decodes stored text into buffer; 0 when it did not fit.
int XML_DecodeText(const char* text, char* buffer, int size);

// Bytes the writer may need for the whole document.
int XML_EstimateSize(XMLStruct* xml);
