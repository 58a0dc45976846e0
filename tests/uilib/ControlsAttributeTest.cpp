// Attributes of the leaf controls as layouts and the page builders give
// them: the tags the builder knows, the lists the pages apply, value rows,
// and bad values that must leave the previous value in place.

#include "uilib/controls/ButtonUI.h"
#include "uilib/controls/LabelUI.h"
#include "uilib/controls/OptionUI.h"
#include "uilib/controls/ProgressUI.h"
#include "uilib/layout/DialogBuilder.h"
#include "uilib/layout/LayoutDiagnostics.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Collects the diagnostics while it lives.
class CDiagnosticsCatcher
{
public:
    CDiagnosticsCatcher()
    {
        CLayoutDiagnostics::SetSink([this](const std::string& line) { lines.push_back(line); });
    }
    ~CDiagnosticsCatcher() { CLayoutDiagnostics::SetSink({}); }
    CDiagnosticsCatcher(const CDiagnosticsCatcher&) = delete;
    CDiagnosticsCatcher& operator=(const CDiagnosticsCatcher&) = delete;

    std::vector<std::string> lines;
};

} // namespace

TEST(ControlTags, BuilderMakesEachLeafControlWithItsClassAndInterfaces)
{
    struct Row
    {
        const char* tag;
        const char* className;
        std::vector<const char*> interfaces;
    };
    const Row rows[] = {
        {"Label", "LabelUI", {"Control", "Label"}},
        {"Button", "ButtonUI", {"Control", "Label", "Button"}},
        {"Option", "OptionUI", {"Control", "Label", "Button", "Option"}},
        {"Progress", "ProgressUI", {"Control", "Label", "Progress"}},
        {"Slider", "ProgressUI", {"Control", "Label", "Progress", "Slider"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        const std::string xml = std::string("<") + row.tag + " name=\"it\"/>";
        CDialogBuilder builder;
        std::unique_ptr<CControlUI> control(builder.Create(xml.c_str()));
        ASSERT_NE(control, nullptr);
        EXPECT_STREQ(control->GetClass(), row.className);
        for (const char* name : row.interfaces) {
            EXPECT_EQ(control->GetInterface(name), control.get()) << name;
        }
        EXPECT_EQ(control->GetInterface("Container"), nullptr);
    }
    // Only the slider form answers "Slider"; a plain bar does not.
    CDialogBuilder builder;
    std::unique_ptr<CControlUI> bar(builder.Create("<Progress/>"));
    EXPECT_EQ(bar->GetInterface("Slider"), nullptr);
    EXPECT_EQ(bar->GetInterface("Button"), nullptr);
    std::unique_ptr<CControlUI> slider(builder.Create("<Progress slider=\"true\"/>"));
    EXPECT_TRUE(static_cast<CProgressUI*>(slider->GetInterface("Progress"))->IsSlider());
}

TEST(ControlAttributes, CategoryOptionListAppliesAsThePageGivesIt)
{
    // Exactly as the category page passes it: the double blank after the
    // group and the blank before hotimage's equals sign included.
    COptionUI option;
    option.ApplyAttributeList(
        "width=\"50\" group=\"sorts\"  name=\"citys\" text=\"北京\" textcolor=\"#FF990225\" "
        "hotimage =\"file='bk_light.png' xtiled='true' ytiled='true'\" "
        "selectedimage=\"file='bk_gray.png' xtiled='true' ytiled='true'\"");
    EXPECT_EQ(option.GetFixedWidth(), 50);
    EXPECT_EQ(option.GetGroup(), "sorts");
    EXPECT_EQ(option.GetName(), "citys");
    EXPECT_EQ(option.GetText(), "北京");
    EXPECT_EQ(option.GetTextColor(), 0xFF990225u);
    EXPECT_EQ(option.GetHotImage(), "file='bk_light.png' xtiled='true' ytiled='true'");
    EXPECT_EQ(option.GetSelectedImage(), "file='bk_gray.png' xtiled='true' ytiled='true'");
    EXPECT_FALSE(option.IsSelected());
    // An option is a button: centred text unless told otherwise.
    EXPECT_EQ(option.GetTextStyle() & (DT_CENTER | DT_RIGHT), DT_CENTER);
}

TEST(ControlAttributes, BadValuesAreReportedAndKeepThePreviousValue)
{
    CDiagnosticsCatcher catcher;
    CProgressUI slider;
    slider.ApplyAttributeList("slider=\"true\" min=\"10\" max=\"50\" value=\"20\" step=\"5\" thumbsize=\"8,8\" "
                              "textcolor=\"#FF00FF00\" align=\"right\"");
    catcher.lines.clear();

    const char* bad[][2] = {
        {"min", "ten"},       {"max", "5x"},       {"value", ""},         {"step", "1.5"},
        {"thumbsize", "8"},   {"slider", "yes"},   {"textcolor", "green"}, {"align", "middle"},
        {"textpadding", "1,2,3"}, {"font", "-"},
    };
    for (const auto& attribute : bad) {
        slider.SetAttribute(attribute[0], attribute[1]);
    }
    EXPECT_EQ(catcher.lines.size(), std::size(bad));
    EXPECT_EQ(slider.GetMinValue(), 10);
    EXPECT_EQ(slider.GetMaxValue(), 50);
    EXPECT_EQ(slider.GetValue(), 20);
    EXPECT_EQ(slider.GetStep(), 5);
    EXPECT_EQ(slider.GetThumbSize().cx, 8);
    EXPECT_TRUE(slider.IsSlider());
    EXPECT_EQ(slider.GetTextColor(), 0xFF00FF00u);
    EXPECT_EQ(slider.GetTextStyle() & (DT_CENTER | DT_RIGHT), DT_RIGHT);
    EXPECT_EQ(slider.GetFont(), -1);
}

TEST(ProgressValue, ValueStaysInsideTheRangeWhateverChanges)
{
    struct Row
    {
        const char* list;
        int min;
        int max;
        int value;
    };
    const Row rows[] = {
        {"value=\"50\"", 0, 100, 50},
        {"value=\"150\"", 0, 100, 100},
        {"value=\"-5\"", 0, 100, 0},
        {"min=\"20\" max=\"40\" value=\"10\"", 20, 40, 20},
        {"value=\"80\" max=\"60\"", 0, 60, 60},           // a smaller maximum pulls the value down
        {"value=\"30\" min=\"40\"", 40, 100, 40},         // a larger minimum pulls it up
        {"max=\"-10\"", -10, -10, -10},                   // a maximum below the minimum drags it along
        {"min=\"-100\" max=\"-50\" value=\"-70\"", -100, -50, -70},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.list);
        CProgressUI bar;
        bar.ApplyAttributeList(row.list);
        EXPECT_EQ(bar.GetMinValue(), row.min);
        EXPECT_EQ(bar.GetMaxValue(), row.max);
        EXPECT_EQ(bar.GetValue(), row.value);
    }
}
