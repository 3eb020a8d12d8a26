// XML documents: a small tree read by a tolerant in-place tag scanner,
// dotted-path access with typed getters and setters, and a writer with a
// fixed indented layout. Built for the configuration files.
#pragma once

#include <stdint.h>

#include "orv-str.h"

struct FileStruct;
struct PoolStruct;

enum { XML_TYPEELEMENT = 1, XML_TYPEINSTRUCTION = 2, XML_TYPEDECLARATION = 3, XML_TYPEATTRIBUTE = 4 };
// One element, instruction, declaration or attribute. Nodes and their texts
// live in their document's pools and go with it.
struct XMLNode {
    char* prefix;          // the part of the name before ":", or null
    char* name;            // the name without its prefix
    uint32_t line;         // the source line it was read from, 0 when made in memory
    uint32_t nameLength;   // characters of name
    uint32_t nameHash;     // hash of name, letter case ignored, for quick comparison
    int32_t type;          // XML_TYPE*
    char* value;           // the text content (encoded), or null
    int32_t valueSize;     // bytes available at value, terminator included
    XMLNode* attributes;   // first attribute, or null
    XMLNode* children;     // first child, or null
    XMLNode* parent;       // null at the top level
    XMLNode* next;         // next sibling, or null
};

// One XML document: its tree, its parse state and its two pools. Belongs to
// the function that created it and to one thread at a time.
struct XMLStruct {
    const char* tag;                // XMLStructTag
    uint32_t searchTrace;           // 1: path searches are traced in the debug log (off by default)
    uint32_t parseTrace;            // 1: parsing is traced in the debug log (off by default)
    uint32_t appendOnLoad;          // 1: a load adds to the tree instead of clearing it
    uint32_t mergeOnLoad;           // 1: an added element joins an equal one already there
    uint32_t line;                  // the line being parsed, from 1
    FileStruct* file;               // reads and writes the document's file; owned
    XMLNode* lastNode;              // the node the last Set call wrote, or null
    char fileName[STR_TEXT_SIZE];   // the file last loaded
    int32_t indentWidth;            // spaces per level when writing (default 4, at most 80)
    char indentText[81];            // indentWidth spaces
    int32_t nodeCount;              // nodes in the tree
    XMLNode* first;                 // the first top-level node, or null
    PoolStruct* nodes;              // the pool of nodes; owned
    PoolStruct* strings;            // the pool of names and values; owned
};

extern const char XMLStructTag[];

// ---------------------------------------------------------------- tree

// A new empty document (indentation 4). Cannot fail (1).
int XML_Create(XMLStruct** xml);

// Clears, frees everything the document owns and nulls *xml. Cannot fail (1).
int XML_Destroy(XMLStruct** xml);

// Frees every node and every string; the switches are kept. Cannot fail (1).
int XML_Clear(XMLStruct* xml);

// Load switches: keep the present tree (append) and merge into it.
int XML_SetAppendMode(XMLStruct* xml, int on);
int XML_SetMergeMode(XMLStruct* xml, int on);

// Reads and parses a file; lenient with damaged text. 0 when the file
// cannot be opened, or when it nests elements more than 256 deep (what was
// read up to there is kept): the parser goes one call deeper per level.
int XML_LoadFile(XMLStruct* xml, const char* path);

// Parses a text held in memory as XML_LoadFile parses a file's text.
int XML_LoadText(XMLStruct* xml, const char* text, int32_t length);

// Appends a new element (under parent, or at the top level). Cannot fail (1).
int XML_AddElement(XMLStruct* xml, XMLNode* parent, XMLNode** node, const char* name);
int XML_SetNodeType(XMLStruct* xml, XMLNode* node, int32_t type);

// Adds an attribute unless one of that name exists (then 0).
int XML_AddAttribute(XMLStruct* xml, XMLNode* element, const char* name, const char* value);
int XML_FindAttribute(XMLStruct* xml, XMLNode* element, const char* name, XMLNode** node);

// Frees a node with its children and attributes. Cannot fail (1).
int XML_DeleteNode(XMLStruct* xml, XMLNode* node);

// Copies text into the node's value buffer unchanged. Cannot fail (1).
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

// Writes the document to path, whole or not at all (File_SaveWhole): 1, or
// 0 with any earlier file at path as it was.
int XML_SaveFile(XMLStruct* xml, const char* path);

// Escapes text into buffer; 1 when all of it fitted. With a null buffer it
// only measures and returns the escaped length plus one.
int XML_EncodeText(const char* text, char* buffer, int size);

// Decodes stored text into buffer; 0 when it did not fit.
int XML_DecodeText(const char* text, char* buffer, int size);

// Bytes the writer may need for the whole document.
int XML_EstimateSize(XMLStruct* xml);
