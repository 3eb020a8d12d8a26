// Fuzz target for the XML loader: parse with and without merging, read a
// few configuration keys and write the tree back out.
#include <stddef.h>
#include <stdint.h>

#include "fuzz_support.h"
#include "xml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz_Init();
    if (size > 1000000) return 0;
    XMLStruct* xml = nullptr;
    XML_Create(&xml);
    XML_SetAppendMode(xml, 1);
    XML_SetMergeMode(xml, 1);
    XML_LoadText(xml, reinterpret_cast<const char*>(data), int32_t(size));
    XML_LoadText(xml, reinterpret_cast<const char*>(data), int32_t(size));
    char text[STR_TEXT_SIZE];
    int32_t value = 0;
    XML_GetString(xml, "Configuration.Output", "Path", text, int(sizeof text));
    XML_GetInt(xml, "Configuration.Custom", "Width", &value);
    XMLNode* node = nullptr;
    if (XML_FindPath(xml, nullptr, "Configuration.ProfileList.Profile", &node)) {
        for (int i = 0; node && i < 100; ++i, XML_FindNext(xml, "Profile", node, &node))
            XML_GetChildString(xml, node, "Name", text, int(sizeof text));
    }
    XML_SetString(xml, "Configuration.General", "Added", text);
    XML_SaveFile(xml, "fuzz-xml-out.xml");
    XML_Destroy(&xml);
    return 0;
}
