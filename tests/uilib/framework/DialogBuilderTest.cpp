// The layout builder: nesting, attributes in document order, the Window
// element and its fonts, layouts from the resource folder and from the zip
// archive, and bad skins (missing files, unknown tags and attributes,
// malformed XML and attribute lists) that are reported and skipped.

#include "uilib/framework/FrameworkTestSupport.h"
#include "uilib/layout/LayoutDiagnostics.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace frameworktest;

namespace
{
// Collects the builder's reports for one test.
struct TReports
{
    TReports()
    {
        CLayoutDiagnostics::SetSink([this](const std::string& line) { lines.push_back(line); });
    }
    ~TReports() { CLayoutDiagnostics::SetSink({}); }
    bool Has(const std::string& part) const
    {
        for (const std::string& line : lines) {
            if (line.find(part) != std::string::npos) {
                return true;
            }
        }
        return false;
    }
    std::vector<std::string> lines;
};

// A resource folder of its own for each test process.
std::filesystem::path MakeResourceFolder()
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("uilib-builder-" + std::to_string(::getpid()) + "-" +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    CPaintManagerUI::SetResourcePath(folder.string().c_str());
    CPaintManagerUI::SetResourceZip("", false);
    return folder;
}

void WriteFile(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

CControlUI* RecordingControlFactory()
{
    return new CRecordingControl();
}

const char* const windowLayout = R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="420,600" caption="0,0,0,32" roundcorner="6,6" mininfo="300,400">
  <Font name="Sans" size="18" bold="true"/>
  <Font name="Serif" size="24" italic="true" underline="true"/>
  <VerticalLayout name="root" bkcolor="#FFF0F0F0">
    <HorizontalLayout name="caption" height="32">
      <Label name="title" text="网络收音机"/>
      <Button name="closebtn" width="32"/>
    </HorizontalLayout>
    <Container name="page">
      <Option name="first" group="g"/>
      <Option name="second" group="g" selected="true"/>
    </Container>
  </VerticalLayout>
</Window>)";
}  // namespace

TEST(DialogBuilder, NestsTheTreeAndTakesTheWindowLookAndFonts)
{
    CPaintManagerUI manager;
    CDialogBuilder builder;
    CControlUI* root = builder.Create(windowLayout, nullptr, nullptr, &manager);
    ASSERT_NE(root, nullptr);
    manager.AttachDialog(root);

    EXPECT_STREQ(root->GetClass(), "VerticalLayoutUI");
    auto* rootContainer = static_cast<CContainerUI*>(root->GetInterface("Container"));
    ASSERT_NE(rootContainer, nullptr);
    ASSERT_EQ(rootContainer->GetCount(), 2);
    auto* caption = static_cast<CContainerUI*>(rootContainer->GetItemAt(0)->GetInterface("Container"));
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->GetName(), "caption");
    ASSERT_EQ(caption->GetCount(), 2);
    EXPECT_STREQ(caption->GetItemAt(0)->GetClass(), "LabelUI");
    EXPECT_EQ(caption->GetItemAt(0)->GetText(), "网络收音机");
    EXPECT_STREQ(caption->GetItemAt(1)->GetClass(), "ButtonUI");
    EXPECT_EQ(caption->GetItemAt(1)->GetParent(), caption);
    EXPECT_EQ(manager.FindControl("closebtn"), caption->GetItemAt(1));
    EXPECT_EQ(root->GetBkColor(), 0xFFF0F0F0u);

    // The Window element.
    EXPECT_EQ(manager.GetInitSize().cx, 420);
    EXPECT_EQ(manager.GetInitSize().cy, 600);
    const RECT captionRect = manager.GetCaptionRect();
    EXPECT_EQ(captionRect.bottom, 32);
    EXPECT_EQ(captionRect.left, 0);
    EXPECT_EQ(manager.GetRoundCorner().cx, 6);
    EXPECT_EQ(manager.GetMinInfo().cy, 400);

    // Fonts are numbered in document order.
    ASSERT_EQ(manager.GetFontCount(), 2);
    EXPECT_EQ(manager.GetFont(0)->face, "Sans");
    EXPECT_EQ(manager.GetFont(0)->size, 18);
    EXPECT_TRUE(manager.GetFont(0)->bold);
    EXPECT_EQ(manager.GetFont(1)->face, "Serif");
    EXPECT_TRUE(manager.GetFont(1)->italic);
    EXPECT_TRUE(manager.GetFont(1)->underline);
    EXPECT_FALSE(manager.GetFont(1)->bold);
    EXPECT_EQ(manager.GetFontIndex(manager.GetFont(1)), 1);
    // Fonts added by code come after the layout's.
    HFONT added = manager.AddFont("迷你简幼线", 24, false, false, false);
    EXPECT_EQ(manager.GetFontIndex(added), 2);
    EXPECT_EQ(manager.GetFontIndex(nullptr), -1);
    EXPECT_EQ(manager.GetFont(-1), manager.GetDefaultFont());
    EXPECT_EQ(manager.GetFont(99), manager.GetDefaultFont());

    // The selected option of the layout took the group's selection.
    EXPECT_EQ(manager.GetGroupSelectedIndex("g"), 1);
}

TEST(DialogBuilder, AppliesAttributesInDocumentOrderAndAddsToAGivenParent)
{
    ASSERT_TRUE(CControlFactory::RegisterControl("Recording", &RecordingControlFactory));
    EXPECT_FALSE(CControlFactory::RegisterControl("Recording", &RecordingControlFactory)) << "the first stays";
    EXPECT_FALSE(CControlFactory::RegisterControl("Label", &RecordingControlFactory));

    CPaintManagerUI manager;
    auto* parent = new CHorizontalLayoutUI();
    manager.AttachDialog(parent);
    CDialogBuilder builder;
    CControlUI* built = builder.Create(R"(<Recording width="7" name="z" text="b" height="3" bkcolor="#FF000001"/>)",
                                       nullptr, nullptr, &manager, parent);
    ASSERT_NE(built, nullptr);
    auto* recording = static_cast<CRecordingControl*>(built);
    // Not alphabetical, not grouped: exactly as written.
    EXPECT_EQ(recording->attributes,
              (std::vector<std::string>{"width=7", "name=z", "text=b", "height=3", "bkcolor=#FF000001"}));
    EXPECT_EQ(recording->GetParent(), parent);
    EXPECT_EQ(parent->GetCount(), 1);
    EXPECT_EQ(recording->GetManager(), &manager);
    EXPECT_EQ(recording->initCount, 1) << "DoInit once, when it reached the manager";

    // A later attribute overrides an earlier one of the same meaning.
    CControlUI* second = builder.Create(R"(<Control width="7" pos="0,0,20,10"/>)", nullptr, nullptr, &manager, parent);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->GetFixedWidth(), 20);
    EXPECT_EQ(parent->GetCount(), 2);
}

namespace
{
struct TCallback : IDialogBuilderCallback
{
    CControlUI* CreateControl(const char* tag) override
    {
        tags.push_back(tag);
        return std::string(tag) == "StationList" ? new CVerticalLayoutUI() : nullptr;
    }
    std::vector<std::string> tags;
};
}  // namespace

TEST(DialogBuilder, CallbackMakesTheTagsTheFactoryDoesNotKnow)
{
    TReports reports;
    TCallback callback;
    CDialogBuilder builder;
    CControlUI* root = builder.Create(
        R"(<VerticalLayout><StationList name="list"><Label/></StationList><Mystery name="gone"/></VerticalLayout>)",
        nullptr, &callback, nullptr, nullptr);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(callback.tags, (std::vector<std::string>{"StationList", "Mystery"}));
    auto* container = static_cast<CContainerUI*>(root->GetInterface("Container"));
    ASSERT_EQ(container->GetCount(), 1);
    EXPECT_EQ(container->GetItemAt(0)->GetName(), "list");
    EXPECT_EQ(static_cast<CContainerUI*>(container->GetItemAt(0)->GetInterface("Container"))->GetCount(), 1);
    EXPECT_TRUE(reports.Has("unknown tag <Mystery>"));
    delete root;
}

TEST(DialogBuilder, ReadsLayoutsFromTheFolderFirstThenFromTheZipArchive)
{
    const std::filesystem::path folder = MakeResourceFolder();
    WriteFile(folder / "both.xml", R"(<Label name="from-folder"/>)");

    const std::filesystem::path archive = folder / "DefaultSkin.zip";
    int error = 0;
    zip_t* zip = zip_open(archive.string().c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(zip, nullptr);
    const std::string inZip = R"(<Window size="300,200"><HorizontalLayout name="from-zip"><Button/></HorizontalLayout></Window>)";
    const std::string shadowed = R"(<Label name="from-zip"/>)";
    zip_source_t* first = zip_source_buffer(zip, inZip.data(), inZip.size(), 0);
    ASSERT_GE(zip_file_add(zip, "only-in-zip.xml", first, ZIP_FL_ENC_UTF_8), 0);
    zip_source_t* second = zip_source_buffer(zip, shadowed.data(), shadowed.size(), 0);
    ASSERT_GE(zip_file_add(zip, "both.xml", second, ZIP_FL_ENC_UTF_8), 0);
    ASSERT_EQ(zip_close(zip), 0);

    CPaintManagerUI::SetResourceZip("DefaultSkin.zip", true);
    EXPECT_EQ(CPaintManagerUI::GetResourceZip(), "DefaultSkin.zip");
    CPaintManagerUI manager;
    CDialogBuilder builder;
    CControlUI* zipped = builder.Create("only-in-zip.xml", nullptr, nullptr, &manager);
    ASSERT_NE(zipped, nullptr);
    EXPECT_EQ(zipped->GetName(), "from-zip");
    EXPECT_EQ(static_cast<CContainerUI*>(zipped->GetInterface("Container"))->GetCount(), 1);
    EXPECT_EQ(manager.GetInitSize().cx, 300);
    delete zipped;

    CControlUI* folderFirst = builder.Create("both.xml");
    ASSERT_NE(folderFirst, nullptr);
    EXPECT_EQ(folderFirst->GetName(), "from-folder");
    delete folderFirst;
    std::filesystem::remove_all(folder);
}

TEST(DialogBuilder, MissingOrBrokenLayoutGivesNullAndTheWindowStaysEmpty)
{
    const std::filesystem::path folder = MakeResourceFolder();
    WriteFile(folder / "broken.xml", "<VerticalLayout>\n<Label text=\"unclosed>\n</VerticalLayout>");
    WriteFile(folder / "empty.xml", "");
    TReports reports;
    CDialogBuilder builder;
    EXPECT_EQ(builder.Create("absent.xml"), nullptr);
    EXPECT_TRUE(reports.Has("absent.xml: cannot read the layout"));
    EXPECT_EQ(builder.Create("broken.xml"), nullptr);
    EXPECT_TRUE(reports.Has("broken.xml:"));
    EXPECT_EQ(builder.Create("empty.xml"), nullptr);
    EXPECT_EQ(builder.Create(""), nullptr);
    EXPECT_EQ(builder.Create(nullptr), nullptr);
    EXPECT_EQ(builder.Create("<Window size=\"10,10\"/>"), nullptr) << "a window without controls builds nothing";

    CTestWindow window;
    ASSERT_NE(window.Open(100, 50), nullptr);
    EXPECT_EQ(window.Build("absent.xml"), nullptr);
    EXPECT_EQ(window.Manager().GetRoot(), nullptr);
    EXPECT_EQ(window.Manager().FindControl("anything"), nullptr);
    POINT point = {10, 10};
    EXPECT_EQ(window.Manager().FindControl(point), nullptr);
    // Paint and input on an empty window do nothing harmful.
    window.Click(10, 10);
    ::UpdateWindow(window.GetHWND());
    std::filesystem::remove_all(folder);
}

TEST(DialogBuilder, UnknownTagsAttributesAndValuesAreReportedWithTheLineAndSkipped)
{
    const std::filesystem::path folder = MakeResourceFolder();
    WriteFile(folder / "faulty.xml",
              "<Window size=\"200,100\" sparkle=\"yes\" caption=\"a,b\">\n"   // line 1
              "  <Font name=\"Sans\" size=\"-3\"/>\n"                      // line 2
              "  <VerticalLayout name=\"root\">\n"                         // line 3
              "    <Gadget name=\"gadget\"><Label name=\"inside\"/></Gadget>\n"   // line 4
              "    <Label name=\"label\" colour=\"red\" width=\"wide\" height=\"20\"/>\n"   // line 5
              "    <Label name=\"holder\"><Button name=\"orphan\"/></Label>\n"   // line 6
              "    <Button name=\"after\"/>\n"                               // line 7
              "  </VerticalLayout>\n"
              "  <Label name=\"second-root\"/>\n"                           // line 9
              "</Window>\n");
    TReports reports;
    CPaintManagerUI manager;
    CDialogBuilder builder;
    CControlUI* root = builder.Create("faulty.xml", nullptr, nullptr, &manager);
    ASSERT_NE(root, nullptr);
    manager.AttachDialog(root);

    EXPECT_TRUE(reports.Has("faulty.xml:1: Window: unknown attribute \"sparkle\"")) << reports.lines.size();
    EXPECT_TRUE(reports.Has("faulty.xml:1: Window: bad value \"a,b\""));
    EXPECT_TRUE(reports.Has("faulty.xml:2: Font: bad value \"-3\""));
    EXPECT_TRUE(reports.Has("faulty.xml:4: unknown tag <Gadget>"));
    EXPECT_TRUE(reports.Has("faulty.xml:5: LabelUI: unknown attribute \"colour\""));
    EXPECT_TRUE(reports.Has("faulty.xml:5: LabelUI: bad value \"wide\" for attribute \"width\""));
    EXPECT_TRUE(reports.Has("faulty.xml:6: <Label> is no container"));
    EXPECT_TRUE(reports.Has("faulty.xml:9: a second root control <Label> is skipped"));

    // What was sound was built.
    EXPECT_EQ(manager.GetInitSize().cx, 200);
    EXPECT_EQ(manager.GetFontCount(), 1) << "the font keeps its number, with the default size";
    EXPECT_EQ(manager.FindControl("gadget"), nullptr);
    EXPECT_EQ(manager.FindControl("inside"), nullptr);
    ASSERT_NE(manager.FindControl("label"), nullptr);
    EXPECT_EQ(manager.FindControl("label")->GetFixedWidth(), 0);
    EXPECT_EQ(manager.FindControl("label")->GetFixedHeight(), 20);
    EXPECT_NE(manager.FindControl("holder"), nullptr);
    EXPECT_EQ(manager.FindControl("orphan"), nullptr);
    EXPECT_NE(manager.FindControl("after"), nullptr);
    EXPECT_EQ(manager.FindControl("second-root"), nullptr);
    std::filesystem::remove_all(folder);
}

TEST(AttributeList, AMalformedListAppliesWhatParsedBeforeTheFault)
{
    TReports reports;
    // Table rows: the list, then what must hold afterwards.
    struct TRow
    {
        const char* list;
        int width;
        const char* name;
        int height;
    };
    const TRow rows[] = {
        {R"(width="50" name="a" height=30 text="x")", 50, "a", 0},    // unquoted value stops the list
        {R"(width="50" name="a" height="30)", 50, "a", 0},           // unterminated quote
        {R"(width="50"  name = "a"   height ="30")", 50, "a", 30},   // blanks around '=' are fine
        {R"(width='50' name="it's" height="30")", 50, "it's", 30},  // either quote
        {R"(width="-4" name="b" height="x1")", 0, "b", 0},           // bad values skipped, others apply
        {R"(= "1" width="9")", 0, "", 0},                           // no name: nothing applies
        {"", 0, "", 0},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.list);
        CControlUI control;
        control.ApplyAttributeList(row.list);
        EXPECT_EQ(control.GetFixedWidth(), row.width);
        EXPECT_EQ(control.GetName(), row.name);
        EXPECT_EQ(control.GetFixedHeight(), row.height);
    }
    CControlUI control;
    control.ApplyAttributeList(nullptr);
    EXPECT_TRUE(reports.Has("attribute list malformed"));
    EXPECT_TRUE(reports.Has("bad value \"-4\" for attribute \"width\""));
}

TEST(AttributeList, ImageAttributesKeepTheTextAsGivenAndTheStationListsApply)
{
    COptionUI option;
    option.ApplyAttributeList(
        "group=\"radios\" name=\"fmradio\" text=\"中国之声\" align=\"left\" textcolor=\"#FF990225\" "
        "textpadding=\"20,0,0,0\" foreimage=\"file='dot.png' dest='10,0,0,0' ycentered='true'\" "
        "normalimage=\"file='bk_gray2.png' xtiled='true' ytiled='true'\"");
    EXPECT_EQ(option.GetName(), "fmradio");
    EXPECT_EQ(option.GetText(), "中国之声");
    EXPECT_EQ(option.GetGroup(), "radios");
    EXPECT_EQ(option.GetForeImage(), "file='dot.png' dest='10,0,0,0' ycentered='true'");

    CHorizontalLayoutUI row;
    row.ApplyAttributeList("height=\"30\" inset=\"10,0,10,0\" bkimage=\"file='bk_white_rd.png' dest='10,0,10,0' "
                           "corner='5,5,5,5' xtiled='true' ytiled='true'\"");
    EXPECT_EQ(row.GetFixedHeight(), 30);
    EXPECT_EQ(row.GetInset().left, 10);
    EXPECT_EQ(row.GetInset().right, 10);
    EXPECT_EQ(row.GetBkImage(), "file='bk_white_rd.png' dest='10,0,10,0' corner='5,5,5,5' xtiled='true' ytiled='true'");
}

TEST(DialogBuilder, DeeplyNestedLayoutIsRefusedInsteadOfOverflowingTheStack)
{
    const std::filesystem::path folder = MakeResourceFolder();
    std::string deep;
    for (int i = 0; i < 50000; ++i) {
        deep += "<VerticalLayout>";
    }
    WriteFile(folder / "deep.xml", deep);
    std::string nested = "<VerticalLayout name=\"top\">";
    for (int i = 0; i < 40; ++i) {
        nested += "<VerticalLayout>";
    }
    for (int i = 0; i < 41; ++i) {
        nested += "</VerticalLayout>";
    }
    WriteFile(folder / "nested.xml", nested);
    TReports reports;
    CDialogBuilder builder;
    EXPECT_EQ(builder.Create("deep.xml"), nullptr);
    EXPECT_TRUE(reports.Has("deep.xml: not a layout: elements nested too deeply"));
    // A real layout nests far less than the bound and builds whole.
    CControlUI* built = builder.Create("nested.xml");
    ASSERT_NE(built, nullptr);
    EXPECT_EQ(built->GetName(), "top");
    delete built;
    std::filesystem::remove_all(folder);
}
