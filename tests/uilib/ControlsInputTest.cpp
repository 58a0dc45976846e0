// The leaf controls driven as a user drives them: mouse and key messages
// sent to a real (offscreen) window, and the notifications its paint manager
// delivers recorded in order.

#include "uilib/ControlsTestWindow.h"
#include "uilib/NotifyRecorder.h"

#include "uilib/controls/ButtonUI.h"
#include "uilib/controls/HorizontalLayoutUI.h"
#include "uilib/controls/OptionUI.h"
#include "uilib/controls/ProgressUI.h"
#include "uilib/controls/VerticalLayoutUI.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Types = std::vector<std::string>;

namespace {

// A 300 x 30 row of three options of one group, 100 px each.
struct TOptionRow
{
    explicit TOptionRow(const char* group = "sorts")
        : window(300, 30)
    {
        row = new CHorizontalLayoutUI();
        for (int i = 0; i < 3; ++i) {
            options[i] = new COptionUI();
            options[i]->SetGroup(group);
            options[i]->SetName("citys");
            row->Add(options[i]);
        }
        window.Attach(row);
    }

    int SelectedIndex() { return window.Manager().GetGroupSelectedIndex("sorts"); }

    CControlsTestWindow window;
    CHorizontalLayoutUI* row = nullptr;
    COptionUI* options[3] = {nullptr, nullptr, nullptr};
};

} // namespace

TEST(ButtonClick, OnlyAPressAndReleaseOverTheSameEnabledButtonClicks)
{
    CControlsTestWindow window(200, 30);
    auto* row = new CHorizontalLayoutUI();
    auto* first = new CButtonUI();
    auto* second = new CButtonUI();
    row->Add(first);
    row->Add(second);
    window.Attach(row);
    CNotifyRecorder recorder(window.Manager());

    window.Click(50, 15);
    EXPECT_EQ(recorder.Count("click", first), 1);

    // Pressed on the first, released on the second: nobody clicked.
    recorder.Clear();
    window.Press(50, 15);
    window.MouseMove(150, 15);
    window.Release(150, 15);
    EXPECT_EQ(recorder.Count("click"), 0);

    // Dragged off and back before the release still clicks.
    window.Press(50, 15);
    window.MouseMove(150, 15);
    window.MouseMove(60, 15);
    window.Release(60, 15);
    EXPECT_EQ(recorder.Count("click", first), 1);

    recorder.Clear();
    first->SetEnabled(false);
    window.Click(50, 15);
    EXPECT_EQ(recorder.Count("click"), 0);
}

TEST(ButtonClick, EnterAndSpaceClickTheFocusedButtonAndDoubleClickAlsoSaysDbclick)
{
    CControlsTestWindow window(100, 30);
    auto* button = new CButtonUI();
    window.Attach(button);
    CNotifyRecorder recorder(window.Manager());

    button->SetFocus();
    window.Key(VK_RETURN);
    window.Key(VK_SPACE);
    window.Key('A');
    EXPECT_EQ(recorder.Count("click", button), 2);

    recorder.Clear();
    window.DoubleClick(50, 15);
    EXPECT_EQ(recorder.Count("dbclick", button), 1);
    EXPECT_EQ(recorder.Count("click", button), 2);
}

TEST(ButtonClick, ButtonRemovedByItsOwnClickIsNotTouchedAfterwards)
{
    CControlsTestWindow window(200, 30);
    auto* row = new CHorizontalLayoutUI();
    auto* button = new CButtonUI();
    row->Add(button);
    window.Attach(row);
    CNotifyRecorder recorder(window.Manager());
    recorder.onNotify = [row](TNotifyUI& msg) {
        if (msg.sType == "click") {
            row->RemoveAll();
        }
    };
    window.Click(50, 15);
    EXPECT_EQ(recorder.Count("click"), 1);
    EXPECT_EQ(row->GetCount(), 0);
    // Moving on over the emptied row finds nothing left of the button.
    window.MouseMove(60, 15);
    window.Click(60, 15);
    EXPECT_EQ(recorder.Count("click"), 1);
}

TEST(OptionGroup, ClicksKeepExactlyOneOptionOfTheGroupSelected)
{
    TOptionRow page;
    CNotifyRecorder recorder(page.window.Manager());
    EXPECT_EQ(page.SelectedIndex(), -1);

    page.window.Click(150, 15);
    EXPECT_EQ(page.SelectedIndex(), 1);
    // The selection changes before "click", so a receiver of "click" sees it;
    // the options that stayed unselected say nothing.
    EXPECT_EQ(recorder.Types(), (Types{"selectchanged", "click"}));
    EXPECT_EQ(recorder.entries[0].sender, page.options[1]);

    recorder.Clear();
    page.window.Click(250, 15);
    EXPECT_EQ(page.SelectedIndex(), 2);
    EXPECT_FALSE(page.options[1]->IsSelected());
    // Only the option that was chosen reports; the one deselected by the
    // group does not.
    EXPECT_EQ(recorder.Types(), (Types{"selectchanged", "click"}));
    EXPECT_EQ(recorder.entries[0].sender, page.options[2]);

    // Clicking the selected option keeps it selected and only clicks.
    recorder.Clear();
    page.window.Click(250, 15);
    EXPECT_TRUE(page.options[2]->IsSelected());
    EXPECT_EQ(recorder.Types(), (Types{"click"}));

    // Selecting from code deselects the others too.
    page.options[0]->Selected(true);
    EXPECT_EQ(page.SelectedIndex(), 0);
    EXPECT_FALSE(page.options[2]->IsSelected());
    page.options[0]->Selected(false);
    EXPECT_EQ(page.SelectedIndex(), -1);
}

TEST(OptionGroup, OptionsOfOtherGroupsAndWithoutGroupAreIndependent)
{
    CControlsTestWindow window(300, 30);
    auto* row = new CHorizontalLayoutUI();
    auto* region = new COptionUI();
    region->SetGroup("sorts");
    auto* station = new COptionUI();
    station->SetGroup("radios");
    auto* toggle = new COptionUI();
    row->Add(region);
    row->Add(station);
    row->Add(toggle);
    window.Attach(row);

    window.Click(50, 15);
    window.Click(150, 15);
    EXPECT_TRUE(region->IsSelected());
    EXPECT_TRUE(station->IsSelected());
    // Without a group an option toggles.
    window.Click(250, 15);
    EXPECT_TRUE(toggle->IsSelected());
    window.Click(250, 15);
    EXPECT_FALSE(toggle->IsSelected());
    EXPECT_TRUE(region->IsSelected());
}

TEST(OptionGroup, GroupKeepsJoiningOrderAndLosesRemovedOptions)
{
    TOptionRow page;
    CPaintManagerUI& manager = page.window.Manager();
    CStdPtrArray* group = manager.GetOptionGroup("sorts");
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(group->GetSize(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(group->GetAt(i), page.options[i]);
    }

    // An option selected before it joins takes the selection with it.
    page.options[0]->Selected(true);
    auto* late = new COptionUI();
    late->SetGroup("sorts");
    late->Selected(true);
    page.row->Add(late);
    EXPECT_EQ(manager.GetOptionGroup("sorts")->GetSize(), 4);
    EXPECT_EQ(manager.GetGroupSelectedIndex("sorts"), 3);
    EXPECT_FALSE(page.options[0]->IsSelected());

    page.row->Remove(page.options[1]);
    EXPECT_EQ(manager.GetOptionGroup("sorts")->GetSize(), 3);
    EXPECT_EQ(manager.GetGroupSelectedIndex("sorts"), 2);

    // Changing the group moves the option from one group to the other.
    late->SetGroup("styles");
    EXPECT_EQ(manager.GetOptionGroup("sorts")->GetSize(), 2);
    ASSERT_NE(manager.GetOptionGroup("styles"), nullptr);
    EXPECT_EQ(manager.GetOptionGroup("styles")->GetAt(0), late);

    page.row->RemoveAll();
    EXPECT_EQ(manager.GetOptionGroup("sorts"), nullptr);
    EXPECT_EQ(manager.GetGroupSelectedIndex("sorts"), -1);
}

TEST(OptionNotify, PageRebuiltFromClickAndSelectChangedIsOnePage)
{
    // A region option in one panel; its "click" and its "selectchanged" both
    // rebuild the station page in another panel, as the main window does.
    CControlsTestWindow window(300, 60);
    auto* root = new CVerticalLayoutUI();
    auto* regions = new CHorizontalLayoutUI();
    auto* stations = new CVerticalLayoutUI();
    auto* region = new COptionUI();
    region->SetGroup("sorts");
    region->SetName("citys");
    regions->Add(region);
    root->Add(regions);
    root->Add(stations);
    window.Attach(root);

    int builds = 0;
    CNotifyRecorder recorder(window.Manager());
    recorder.onNotify = [&](TNotifyUI& msg) {
        if (msg.pSender != region) {
            return;
        }
        if (msg.sType == "click" || msg.sType == "selectchanged") {
            ++builds;
            stations->RemoveAll();
            for (int i = 0; i < 2; ++i) {
                auto* station = new COptionUI();
                station->SetGroup("radios");
                stations->Add(station);
            }
        }
    };
    window.Click(150, 15);
    EXPECT_EQ(builds, 2);
    EXPECT_EQ(stations->GetCount(), 2);
    EXPECT_EQ(window.Manager().GetOptionGroup("radios")->GetSize(), 2);
}

TEST(OptionNotify, OptionRemovedDuringItsSelectChangedSendsNoClick)
{
    TOptionRow page;
    CNotifyRecorder recorder(page.window.Manager());
    recorder.onNotify = [&](TNotifyUI& msg) {
        if (msg.sType == "selectchanged") {
            page.row->RemoveAll();
        }
    };
    page.window.Click(150, 15);
    EXPECT_EQ(recorder.Types(), (Types{"selectchanged"}));
    EXPECT_EQ(page.row->GetCount(), 0);
    EXPECT_EQ(page.window.Manager().GetOptionGroup("sorts"), nullptr);
}

TEST(OptionKeyboard, EnterChoosesTheFocusedOptionAndSpaceSelectsIt)
{
    TOptionRow page("radios");
    CNotifyRecorder recorder(page.window.Manager());

    page.options[1]->SetFocus();
    page.window.Key(VK_SPACE);
    EXPECT_TRUE(page.options[1]->IsSelected());
    EXPECT_EQ(recorder.Types(), (Types{"selectchanged", "click"}));

    // Enter does what a double click does on a station: "dbclick".
    recorder.Clear();
    page.options[2]->SetFocus();
    page.window.Key(VK_RETURN);
    EXPECT_TRUE(page.options[2]->IsSelected());
    EXPECT_EQ(recorder.Types(), (Types{"selectchanged", "click", "dbclick"}));
    EXPECT_EQ(recorder.entries.back().sender, page.options[2]);

    recorder.Clear();
    page.window.DoubleClick(50, 15);
    EXPECT_EQ(recorder.Count("dbclick", page.options[0]), 1);
    EXPECT_TRUE(page.options[0]->IsSelected());
}

namespace {

// A 110 x 20 slider, range 0..100 and a 10-px thumb: one value per pixel,
// the thumb's left edge at x = value.
struct TSlider
{
    explicit TSlider(const char* extra = "")
        : window(110, 20)
    {
        slider = new CProgressUI();
        slider->ApplyAttributeList("slider=\"true\" min=\"0\" max=\"100\" value=\"0\" thumbsize=\"10,20\"");
        slider->ApplyAttributeList(extra);
        window.Attach(slider);
        recorder = std::make_unique<CNotifyRecorder>(window.Manager());
        recorder->onNotify = [this](TNotifyUI& msg) {
            if (msg.sType == "valuechanging") {
                changing.push_back(slider->GetValue());
            }
        };
    }

    CControlsTestWindow window;
    CProgressUI* slider = nullptr;
    std::unique_ptr<CNotifyRecorder> recorder;
    std::vector<int> changing;
};

} // namespace

TEST(Slider, DraggingTheThumbSendsValueChangingWithIncreasingValues)
{
    TSlider volume;
    volume.window.MouseMove(5, 10);
    volume.window.Press(5, 10);        // grabbed in its middle
    EXPECT_TRUE(volume.changing.empty());
    for (int x = 25; x <= 85; x += 20) {
        volume.window.MouseMove(x, 10);
    }
    volume.window.MouseMove(300, 10);  // far beyond the end: clamped
    volume.window.MouseMove(300, 10);  // no change, no notification
    volume.window.Release(300, 10);

    EXPECT_EQ(volume.changing, (std::vector<int>{20, 40, 60, 80, 100}));
    EXPECT_EQ(volume.recorder->Count("valuechanged"), 1);
    EXPECT_EQ(volume.slider->GetValue(), 100);
}

TEST(Slider, PressOnTheTrackJumpsAndReleaseWithoutChangeSaysNothing)
{
    TSlider volume;
    volume.window.Press(55, 10);       // thumb centred under the mouse: 50
    EXPECT_EQ(volume.changing, (std::vector<int>{50}));
    volume.window.Release(55, 10);
    EXPECT_EQ(volume.recorder->Count("valuechanged"), 1);

    volume.recorder->Clear();
    volume.changing.clear();
    volume.window.Press(55, 10);       // on the thumb now: no jump
    volume.window.Release(55, 10);
    EXPECT_TRUE(volume.recorder->entries.empty());
}

TEST(Slider, WheelAndKeysStepWithinTheRange)
{
    TSlider volume("step=\"30\"");
    volume.slider->SetFocus();
    volume.window.Wheel(50, 10, WHEEL_DELTA);
    EXPECT_EQ(volume.slider->GetValue(), 30);
    volume.window.Key(VK_RIGHT);
    volume.window.Key(VK_UP);
    EXPECT_EQ(volume.slider->GetValue(), 90);
    volume.window.Key(VK_RIGHT);       // 120 is past the end: the maximum
    EXPECT_EQ(volume.slider->GetValue(), 100);
    volume.window.Key(VK_RIGHT);       // already there: nothing to report
    volume.window.Wheel(50, 10, -WHEEL_DELTA);
    EXPECT_EQ(volume.slider->GetValue(), 90);
    volume.window.Key(VK_HOME);
    EXPECT_EQ(volume.slider->GetValue(), 0);

    EXPECT_EQ(volume.changing, (std::vector<int>{30, 60, 90, 100, 90, 0}));
    EXPECT_EQ(volume.recorder->Count("valuechanged"), 6);
}

TEST(Slider, VerticalSliderHasItsMinimumAtTheBottom)
{
    CControlsTestWindow window(20, 110);
    auto* slider = new CProgressUI();
    slider->ApplyAttributeList("slider=\"true\" horizontal=\"false\" thumbsize=\"20,10\"");
    window.Attach(slider);
    window.Press(10, 55);              // on the track: the thumb's middle comes here
    EXPECT_EQ(slider->GetValue(), 50);
    window.MouseMove(10, 15);
    EXPECT_EQ(slider->GetValue(), 90);
    window.Release(10, 15);
    const RECT thumb = slider->GetThumbRect();
    EXPECT_EQ(thumb.top, 10);
    EXPECT_EQ(thumb.bottom, 20);
}

TEST(Slider, PlainProgressBarAndDisabledSliderIgnoreTheMouse)
{
    TSlider volume;
    volume.slider->SetSlider(false);
    volume.window.Press(55, 10);
    volume.window.Release(55, 10);
    volume.slider->SetSlider(true);
    volume.slider->SetEnabled(false);
    volume.window.Press(55, 10);
    volume.window.Release(55, 10);
    EXPECT_EQ(volume.slider->GetValue(), 0);
    EXPECT_TRUE(volume.recorder->entries.empty());
}
