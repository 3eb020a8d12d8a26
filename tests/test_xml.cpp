#include <gtest/gtest.h>

#include <pthread.h>

#include <string>

#include "orv-str.h"
#include "test_support.h"
#include "xml.h"

namespace {

struct Doc {
    XMLStruct* x = nullptr;
    Doc() { XML_Create(&x); }
    ~Doc() { XML_Destroy(&x); }
    void Load(const std::string& text) { XML_LoadText(x, text.c_str(), int32_t(text.size())); }
    XMLNode* Find(const char* path) {
        XMLNode* n = nullptr;
        XML_FindPath(x, nullptr, path, &n);
        return n;
    }
    std::string Get(const char* path, const char* name = "", int size = STR_TEXT_SIZE) {
        std::vector<char> buf(size_t(size) + 1, 0);
        if (!XML_GetString(x, path, name, buf.data(), size)) return "<missing>";
        return buf.data();
    }
    std::string Saved() {
        XML_SaveFile(x, "xml-saved.xml");
        return ReadWholeFile("xml-saved.xml");
    }
};

TEST(XmlParser, ElementsAttributesAndValues) {
    Doc d;
    d.Load("<a x=\"1\" />");
    XMLNode* a = d.Find("a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->children, nullptr);
    ASSERT_NE(a->attributes, nullptr);
    EXPECT_STREQ(a->attributes->value, "1");
    d.Load("<a x=1 y>");
    a = d.Find("a");
    EXPECT_STREQ(a->attributes->value, "1");
    EXPECT_STREQ(a->attributes->next->name, "y");
    EXPECT_EQ(a->attributes->next->value, nullptr);
    d.Load("<a>text<b>x</b>tail</a>");
    EXPECT_EQ(d.Get("a"), "text");
    EXPECT_EQ(d.Get("a.b"), "x");
    d.Load("<a>  padded  </a>");
    EXPECT_EQ(d.Get("a"), "padded");
    d.Load("<a <b>in b</b>");
    EXPECT_EQ(d.Find("a"), nullptr);
    EXPECT_EQ(d.Get("b"), "in b");
    d.Load("<!-- <b>hidden</b> --><a><![CDATA[x<y]]></a>");
    EXPECT_EQ(d.Find("b"), nullptr) << "comments are dropped";
    EXPECT_EQ(d.Get("a"), "x<y");
    d.Load("");
    EXPECT_EQ(d.x->first, nullptr);
}

TEST(XmlParser, InstructionsHoldWhatFollowsAndEndTagsOpenElements) {
    Doc d;
    d.Load("<?xml version=\"1.0\"?><C><D>1</D></C>");
    ASSERT_NE(d.x->first, nullptr);
    EXPECT_EQ(d.x->first->next, nullptr);
    EXPECT_STREQ(d.x->first->name, "xml");
    EXPECT_EQ(d.x->first->type, XML_TYPEINSTRUCTION);
    EXPECT_STREQ(d.x->first->children->name, "C");
    EXPECT_EQ(d.Get("C.D"), "1") << "instructions are transparent to lookups";

    d.Load("<a></b></a>");
    XMLNode* a = d.Find("a");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(a->children, nullptr);
    EXPECT_STREQ(a->children->name, "b");
    ASSERT_NE(a->children->children, nullptr);
    EXPECT_STREQ(a->children->children->name, "a");
    d.Load("<a/></a><b/>");
    EXPECT_NE(d.Find("a"), nullptr);
    EXPECT_EQ(d.Find("b"), nullptr) << "the level-0 end rule";
    d.Load("<p:x>1</p:x>");
    EXPECT_EQ(d.Get("x"), "<missing>");
    EXPECT_EQ(d.Get("p:x"), "1");
    EXPECT_EQ(d.Get("*:x"), "1");
}

TEST(XmlParser, MergingASecondFile) {
    Doc d;
    XML_SetAppendMode(d.x, 1);
    XML_SetMergeMode(d.x, 1);
    d.Load("<C><X>1</X></C>");
    d.Load("<C><X>2</X><Y>3</Y></C>");
    EXPECT_EQ(d.Get("C.X"), "1");
    EXPECT_EQ(d.Get("C.Y"), "3");
    XML_Clear(d.x);
    EXPECT_EQ(d.x->nodeCount, 0);
    d.Load("<C/>");
    d.Load("<C><X>1</X></C>");
    EXPECT_EQ(d.Get("C.X"), "1");
    XML_Clear(d.x);
    d.Load("<C a=\"1\"/>");
    d.Load("<C a=\"2\"/><C a/>");
    int count = 0;
    for (XMLNode* n = d.x->first; n; n = n->next) ++count;
    EXPECT_EQ(count, 3) << "different attributes keep elements apart";
}

TEST(XmlPaths, AddingAndLookingUp) {
    Doc d;
    XML_SetInt(d.x, "A.B", "C", 5);
    EXPECT_EQ(d.Get("A.B.C"), "5");
    XML_SetBool(d.x, "A.B", "C", 1);
    int32_t flag = -1;
    EXPECT_EQ(XML_GetBool(d.x, "A.B", "C", &flag), 1);
    EXPECT_EQ(flag, 0) << "the first of two same-named elements: 5 is not a flag word";
    XMLNode* b = d.Find("A.B");
    EXPECT_STREQ(b->children->next->name, "C");
    EXPECT_EQ(d.Get("", "A.B.C"), "5");

    Doc sib;
    sib.Load("<A/><B/>");
    XML_SetString(sib.x, "A.B", "C", "text");
    EXPECT_EQ(sib.Get("A.B", "C"), "<missing>");
    EXPECT_EQ(sib.Get("B", "C"), "text") << "a later sibling matches in adding mode";

    int32_t value = 77;
    EXPECT_EQ(XML_GetInt(d.x, "No.Such", "Thing", &value), 0);
    EXPECT_EQ(value, 77);
    d.Load("<L><P><N>a</N></P><P><N>b</N></P><P/></L>");
    XMLNode* p = d.Find("L.P");
    char name[20];
    XML_GetChildString(d.x, p, "N", name, int(sizeof name));
    EXPECT_STREQ(name, "a");
    XML_FindNext(d.x, "P", p, &p);
    XML_GetChildString(d.x, p, "N", name, int(sizeof name));
    EXPECT_STREQ(name, "b");
    XML_FindNext(d.x, "P", p, &p);
    value = 9;
    EXPECT_EQ(XML_GetChildInt(d.x, p, "N", &value), 0);
    EXPECT_EQ(value, 0) << "child getters set 0 on a missing child";
}

TEST(XmlText, EscapingAndDecoding) {
    Doc d;
    XML_SetString(d.x, "T", "V", "a<b & \"c\" 'q' \xA9");
    EXPECT_STREQ(d.Find("T.V")->value, "a&lt;b &amp; &quot;c&quot; 'q' &copy;");
    EXPECT_EQ(d.Get("T.V"), "a<b & \"c\" 'q' \xA9");
    char out[64];
    ScopedLog log("xml-decode.log", LOG_FILE);
    EXPECT_EQ(XML_DecodeText("&AMP;&amp;&#65;&#321;&x<br>", out, int(sizeof out)), 1);
    EXPECT_STREQ(out, "&&AA&x\n");
    EXPECT_EQ(log.Contents(), "Unknown escape character (&)[x<b]\r\n");
    std::string long318(318, 'z');
    std::string long319(319, 'z');
    EXPECT_EQ(XML_DecodeText(long318.c_str(), out, 0), 0);
    char big[STR_TEXT_SIZE];
    EXPECT_EQ(XML_DecodeText(long318.c_str(), big, STR_TEXT_SIZE), 1);
    EXPECT_EQ(XML_DecodeText(long319.c_str(), big, STR_TEXT_SIZE), 0);
    EXPECT_EQ(std::string(big), long319);
    EXPECT_EQ(XML_EncodeText("a\nb", nullptr, 0), 8);
}

TEST(XmlWriter, LayoutOnDisk) {
    Doc d;
    XMLNode* decl = nullptr;
    XML_AddElement(d.x, nullptr, &decl, "xml");
    XML_SetNodeType(d.x, decl, XML_TYPEINSTRUCTION);
    XML_AddAttribute(d.x, decl, "version", "1.0");
    XML_SetString(d.x, "Configuration.General", "Percent", "100%");
    XML_SetString(d.x, "Configuration.General", "Empty", "");
    std::string text = d.Saved();
    EXPECT_EQ(text,
              "<?xml version=\"1.0\"?>\r\n<Configuration>\r\n    <General>\r\n        <Percent>100%</Percent>\r\n"
              "        <Empty/>\r\n    </General>\r\n</Configuration>\r\n");
    Doc small;
    XML_SetInt(small.x, "A", "B", 1);
    EXPECT_EQ(small.Saved(), "<A>\r\n    <B>1</B>\r\n</A>\r\n") << "a shorter save leaves no old bytes";
}

TEST(XmlFuzzSeeds, DamagedTextNeverStops) {
    Doc d;
    const char damaged[] = "<a><b x=\"unterminated><c></a>\0\x01\xFF<<<>>>";
    d.Load(std::string(damaged, sizeof damaged - 1));
    d.Load("<?xml?><!DOCTYPE x><a b=\"\"c=d e = \"f g\">" + std::string(5000, '<'));
    d.Load("<Configuration><Custom><Width>" + std::string(200, '9') + "</Width></Custom></Configuration>");
    int32_t width = 0;
    EXPECT_EQ(XML_GetInt(d.x, "Configuration.Custom", "Width", &width), 1);
    EXPECT_EQ(d.Saved().substr(0, 15), "<Configuration>");
}

#if BRIMLOW_PLATFORM_POSIX
struct StackRun {
    std::string text;
    int loaded = -1;
    static void* Body(void* data) {
        StackRun* run = static_cast<StackRun*>(data);
        Doc d;
        run->loaded = XML_LoadText(d.x, run->text.c_str(), int32_t(run->text.size()));
        return nullptr;
    }
};

// Deep and unclosed documents are refused on a 1 MB stack, the size the
// program's main thread has on Windows, instead of overflowing it.
TEST(XmlParser, DeepNestingIsRefusedOnASmallStack) {
    std::string deep;
    for (int i = 0; i < 20000; ++i) deep += "<a>";
    std::string unclosed;
    for (int i = 0; i < 6000; ++i) unclosed += "<?x?><e>";
    std::string fine;
    for (int i = 0; i < 200; ++i) fine += "<a>";
    for (int i = 0; i < 200; ++i) fine += "</a>";
    for (const std::string* text : {&deep, &unclosed, &fine}) {
        StackRun run;
        run.text = *text;
        pthread_attr_t attributes;
        pthread_attr_init(&attributes);
        pthread_attr_setstacksize(&attributes, 1 << 20);
        pthread_t thread;
        ASSERT_EQ(pthread_create(&thread, &attributes, StackRun::Body, &run), 0);
        pthread_join(thread, nullptr);
        pthread_attr_destroy(&attributes);
        EXPECT_EQ(run.loaded, text == &fine ? 1 : 0) << text->substr(0, 8);
    }
}
#endif

}  // namespace
