// The bounds on XML from outside: the scan measures what the parser would
// build (nesting and nodes), constructs that hide markup are not counted as
// nesting, and text beyond the bounds never reaches the parser.

#include "uilib/core/XmlBounds.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <string>

namespace {

std::string Repeated(const std::string& piece, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

std::string Nested(int depth)
{
    return Repeated("<a>", depth) + Repeated("</a>", depth);
}

}  // namespace

TEST(XmlBounds, MeasuresNestingAndNodesAsTheParserBuildsThem)
{
    struct Row { const char* name; std::string text; int depth; std::size_t nodes; };
    const Row rows[] = {
        {"empty", "", 0, 0},
        {"one element", "<a/>", 1, 1},
        {"attributes count as nodes", "<a x='1' y=\"2\"/>", 1, 3},
        {"siblings", "<r><a/><b/><c/></r>", 2, 4},
        {"catalogue", "<?xml version=\"1.0\"?><r><city name='x'><s a='1' b='2'/></city></r><version>3</version>", 3, 9},
        {"end tag with blanks", "<a><b></b ></a ><c/>", 2, 3},
        {"markup inside a comment", "<a><!-- <b><b><b> --></a>", 1, 2},
        {"markup inside CDATA", "<a><![CDATA[<b><b><b>]]></a>", 1, 2},
        {"markup inside a quoted value", "<a x=\"<b><b>\" y='<c><c>'></a>", 1, 3},
        {"quoted '>' in the declaration", "<?xml version=\"1>0\"?><a><b/></a>", 2, 3},
        {"unknown constructs", "<!DOCTYPE a><?pi x?><a></a>", 1, 3},
        {"wrong end tag ends the parse", "<a></b><a><a><a></a></a></a>", 1, 1},
        {"text beside the root ends it", "<a/>text<b><b/></b>", 1, 1},
        {"second top-level element", "<a/><version>1</version>", 1, 3},
        {"zero byte ends the text", std::string("<a>\0<b><b></b></b></a>", 23), 1, 1},
    };
    for (const Row& row : rows) {
        const TXmlShape shape = MeasureXml(row.text);
        EXPECT_EQ(shape.depth, row.depth) << row.name;
        EXPECT_EQ(shape.nodes, row.nodes) << row.name;
    }
}

TEST(XmlBounds, DepthUpToTheLimitPassesAndOneMoreIsRefused)
{
    const TXmlLimits limits;
    EXPECT_EQ(CheckXmlBounds(Nested(limits.maxDepth)), EXmlRefusal::None);
    EXPECT_EQ(CheckXmlBounds(Nested(limits.maxDepth + 1)), EXmlRefusal::TooDeep);
    TiXmlDocument document;
    EXPECT_EQ(ParseBoundedXml(document, Nested(limits.maxDepth)), EXmlRefusal::None);
    EXPECT_FALSE(document.Error());
    ASSERT_NE(document.RootElement(), nullptr);
}

TEST(XmlBounds, FiftyThousandNestedElementsAreRefusedBeforeTheParser)
{
    // About 150 KB; the parser alone overflows the stack on it.
    const std::string deep = Repeated("<a>", 50000);
    TiXmlDocument document;
    EXPECT_EQ(ParseBoundedXml(document, deep), EXmlRefusal::TooDeep);
    EXPECT_TRUE(document.Error()) << "refused text reads as a file that does not parse";
    EXPECT_EQ(document.FirstChild(), nullptr);
    EXPECT_STREQ(DescribeXmlRefusal(EXmlRefusal::TooDeep), "elements nested too deeply");
}

TEST(XmlBounds, TooManyNodesAndTooManyBytesAreRefused)
{
    TXmlLimits limits;
    limits.maxNodes = 100;
    EXPECT_EQ(CheckXmlBounds("<r>" + Repeated("<s/>", 99) + "</r>", limits), EXmlRefusal::None);
    EXPECT_EQ(CheckXmlBounds("<r>" + Repeated("<s/>", 100) + "</r>", limits), EXmlRefusal::TooManyNodes);
    limits.maxBytes = 16;
    EXPECT_EQ(CheckXmlBounds("<r>0123456789</r>", limits), EXmlRefusal::TooLarge);
    EXPECT_EQ(CheckXmlBounds("<r>012345678</r>", limits), EXmlRefusal::None);
}

TEST(XmlBounds, UnterminatedConstructsParseWithoutReadingPastTheText)
{
    // Each of these makes the parser step past the end of its input; the
    // padding keeps that inside the buffer (the sanitizer build checks).
    for (const char* text : {"<a><!-- open", "<a><![CDATA[ open", "<a x=\"\xE4", "<a>\xE4", "<a>text", "<?xml version='"}) {
        TiXmlDocument document;
        EXPECT_EQ(ParseBoundedXml(document, text), EXmlRefusal::None) << text;
    }
}

TEST(XmlBounds, ByteOrderMarkIsNotedForTheNextSave)
{
    TiXmlDocument document;
    ASSERT_EQ(ParseBoundedXml(document, "\xEF\xBB\xBF<c><skin name=\"北京\"/></c>"), EXmlRefusal::None);
    ASSERT_NE(document.RootElement(), nullptr);
    EXPECT_STREQ(document.RootElement()->FirstChildElement("skin")->Attribute("name"), "北京");
    TiXmlPrinter printer;
    document.Accept(&printer);
    EXPECT_EQ(std::string(printer.CStr()).find('\xEF'), std::string::npos) << "the mark is not text";
}
