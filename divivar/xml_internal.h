// Shared by the XML module's files (xml.cpp, xml_path.cpp); not for other
// modules.
#pragma once

#include "xml.h"

void Xml_Check(XMLStruct* xml, int line);

// A copy of length bytes of text, terminated, in the string pool.
char* Xml_CopyString(XMLStruct* xml, const char* text, int length);

// Takes a node from the pool, names it and links it: after previous when
// given, else at the end of the parent's child list (attribute list when
// attribute is 1); with an empty parent reference it becomes the first
// top-level node and the reference is set to it.
int XML_NewNode(XMLStruct* xml, XMLNode** parent, XMLNode* previous, XMLNode** out, const char* name,
                int attribute);

// Compares a node's name with a wanted name, length and case-folded hash.
int Xml_NameIs(const XMLNode* node, const char* name, uint32_t length, uint32_t hash);
