// The paint manager: finding controls, option groups, and the delivery of
// events and notifications through a real (offscreen) window, including
// controls and notifiers that change the tree or the lists from inside
// their own callbacks.

#include "uilib/framework/FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace frameworktest;
using namespace std::chrono_literals;

namespace
{
int Count(const CTestWindow& window, const char* type, CControlUI* sender = nullptr)
{
    return static_cast<int>(std::count_if(window.notifications.begin(), window.notifications.end(),
                                          [&](const auto& entry) {
                                              return entry.first == type && (sender == nullptr || entry.second == sender);
                                          }));
}

// Two 100 x 30 recording controls side by side in a 200 x 30 window.
struct TTwoControls
{
    TTwoControls()
    {
        window.Open(200, 30);
        auto* row = new CHorizontalLayoutUI();
        left = new CRecordingControl();
        right = new CRecordingControl();
        row->Add(left);
        row->Add(right);
        window.Manager().AttachDialog(row);
        this->row = row;
    }
    CTestWindow window;
    CHorizontalLayoutUI* row = nullptr;
    CRecordingControl* left = nullptr;
    CRecordingControl* right = nullptr;
};
}  // namespace

TEST(PaintManagerFind, ByNameFindsTheFirstInDocumentOrderHiddenOnesIncluded)
{
    CTestWindow window;
    window.Open(300, 200);
    ASSERT_NE(window.Build(R"(<VerticalLayout name="root">
        <HorizontalLayout name="sortspanel"><Label name="twin" text="first"/></HorizontalLayout>
        <HorizontalLayout name="radiospanel" visible="false"><Label name="twin" text="second"/>
          <Label name="deep"/></HorizontalLayout>
      </VerticalLayout>)"),
              nullptr);
    CPaintManagerUI& manager = window.Manager();
    ASSERT_NE(manager.FindControl("twin"), nullptr);
    EXPECT_EQ(manager.FindControl("twin")->GetText(), "first");
    EXPECT_EQ(manager.FindControl("root"), manager.GetRoot());
    EXPECT_NE(manager.FindControl("deep"), nullptr) << "pages are found while hidden";
    EXPECT_EQ(manager.FindControl("absent"), nullptr);
    EXPECT_EQ(manager.FindControl(""), nullptr);
    EXPECT_EQ(manager.FindControl(static_cast<const char*>(nullptr)), nullptr);
}

TEST(PaintManagerFind, ByPointFindsTheTopmostVisibleControlThatTakesTheMouse)
{
    CTestWindow window;
    window.Open(200, 100);
    ASSERT_NE(window.Build(R"(<Container name="stack">
        <Label name="under" mouse="false"/>
        <Container name="box" pos="0,0,100,100" mouse="false">
          <Button name="button" pos="10,10,50,50"/>
          <Label name="cover" pos="30,30,90,90"/>
          <Label name="ghost" pos="0,0,100,100" visible="false"/>
        </Container>
      </Container>)"),
              nullptr);
    CPaintManagerUI& manager = window.Manager();
    const auto at = [&](int x, int y) {
        CControlUI* found = manager.FindControl(POINT{x, y});
        return found == nullptr ? std::string("-") : std::string(found->GetName().GetData());
    };
    EXPECT_EQ(at(15, 15), "button");
    EXPECT_EQ(at(40, 40), "cover") << "the later sibling lies on top";
    EXPECT_EQ(at(95, 95), "stack") << "mouse=false lets the point fall through to what is under it";
    EXPECT_EQ(at(150, 50), "stack");
    EXPECT_EQ(at(250, 50), "-");
    manager.FindControl("cover")->SetVisible(false);
    EXPECT_EQ(at(40, 40), "button");
    manager.FindControl("box")->SetVisible(false);
    EXPECT_EQ(at(15, 15), "stack") << "a hidden container hides its children";
}

TEST(OptionGroup, KeepsInsertionOrderOneSelectionAndForgetsRemovedOptions)
{
    CTestWindow window;
    window.Open(300, 60);
    auto* page = new CVerticalLayoutUI();
    window.Manager().AttachDialog(page);
    CPaintManagerUI& manager = window.Manager();
    EXPECT_EQ(manager.GetOptionGroup("radios"), nullptr);
    EXPECT_LT(manager.GetGroupSelectedIndex("radios"), 0);

    auto* content = new CVerticalLayoutUI();
    page->Add(content);
    std::vector<COptionUI*> stations;
    // Two rows, added row by row: the group must list them in that order.
    for (int rowIndex = 0; rowIndex < 2; ++rowIndex) {
        auto* row = new CHorizontalLayoutUI();
        content->Add(row);
        for (int column = 0; column < 3; ++column) {
            auto* option = new COptionUI();
            option->ApplyAttributeList("group=\"radios\" name=\"fmradio\"");
            option->SetText(std::to_string(rowIndex * 3 + column).c_str());
            row->Add(option);
            stations.push_back(option);
        }
    }
    CStdPtrArray* group = manager.GetOptionGroup("radios");
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(group->GetSize(), 6);
    for (int index = 0; index < 6; ++index) {
        EXPECT_EQ(group->GetAt(index), stations[index]) << index;
    }
    EXPECT_TRUE(manager.AddOptionGroup("radios", stations[2]));
    EXPECT_EQ(group->GetSize(), 6) << "joining twice keeps one entry";
    EXPECT_LT(manager.GetGroupSelectedIndex("radios"), 0);

    stations[4]->Selected(true);
    EXPECT_EQ(manager.GetGroupSelectedIndex("radios"), 4);
    stations[1]->Selected(true);
    EXPECT_EQ(manager.GetGroupSelectedIndex("radios"), 1);
    EXPECT_FALSE(stations[4]->IsSelected());
    EXPECT_EQ(Count(window, "selectchanged", stations[1]), 1);

    // Emptying the page takes its options out of the group at once, so a
    // later page's options count from 0.
    content->RemoveAll();
    EXPECT_EQ(manager.GetOptionGroup("radios"), nullptr);
    EXPECT_LT(manager.GetGroupSelectedIndex("radios"), 0);
    auto* newRow = new CHorizontalLayoutUI();
    auto* newOption = new COptionUI();
    newOption->ApplyAttributeList("group=\"radios\"");
    newRow->Add(newOption);
    content->Add(newRow);
    group = manager.GetOptionGroup("radios");
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(group->GetSize(), 1);
    EXPECT_EQ(group->GetAt(0), newOption);
    EXPECT_EQ(manager.GetOptionGroup("sorts"), nullptr);
}

TEST(ManagerEvents, PressAndReleaseGoToThePressedControlWithHotTrackingInOrder)
{
    TTwoControls two;
    CTestWindow& window = two.window;
    window.MouseMove(50, 15);
    window.MouseMove(150, 15);
    EXPECT_EQ(two.left->events, (std::vector<int>{UIEVENT_MOUSEENTER, UIEVENT_MOUSEMOVE, UIEVENT_MOUSELEAVE}));
    EXPECT_EQ(two.right->events, (std::vector<int>{UIEVENT_MOUSEENTER, UIEVENT_MOUSEMOVE}));

    two.left->events.clear();
    two.right->events.clear();
    window.MouseMove(50, 15);
    window.Press(50, 15);
    EXPECT_TRUE(window.Manager().IsCaptured());
    EXPECT_EQ(window.Manager().GetFocus(), two.left);
    // Dragged over the neighbour: the movement still belongs to the pressed
    // control, and the release too, wherever it happens.
    window.MouseMove(150, 15);
    window.Release(150, 15);
    EXPECT_FALSE(window.Manager().IsCaptured());
    EXPECT_EQ(std::count(two.left->events.begin(), two.left->events.end(), UIEVENT_BUTTONUP), 1);
    EXPECT_EQ(std::count(two.right->events.begin(), two.right->events.end(), UIEVENT_BUTTONUP), 0);
    EXPECT_EQ(std::count(two.right->events.begin(), two.right->events.end(), UIEVENT_BUTTONDOWN), 0);
    EXPECT_EQ(two.left->eventPoints.back().x, 150) << "the release point tells the control it was not over it";
    const auto setFocus = std::find(two.left->events.begin(), two.left->events.end(), UIEVENT_SETFOCUS);
    const auto buttonDown = std::find(two.left->events.begin(), two.left->events.end(), UIEVENT_BUTTONDOWN);
    EXPECT_LT(setFocus, buttonDown) << "focus first, then the press";

    // Released over the neighbour with no movement in between: hot
    // tracking still moves there, so no control keeps a stale hot look.
    two.left->events.clear();
    two.right->events.clear();
    window.MouseMove(50, 15);
    window.Press(50, 15);
    window.Release(150, 15);
    EXPECT_EQ(two.left->events.back(), UIEVENT_MOUSELEAVE);
    // (It lost the hot state when the mouse went back to the left one.)
    EXPECT_EQ(two.right->events, (std::vector<int>{UIEVENT_MOUSELEAVE, UIEVENT_MOUSEENTER}));
    EXPECT_EQ(window.Manager().GetHotControl(), two.right);

    // The double click's second press comes as UIEVENT_DBLCLICK and a plain
    // control says "dbclick" for it.
    window.DoubleClick(150, 15);
    EXPECT_EQ(std::count(two.right->events.begin(), two.right->events.end(), UIEVENT_DBLCLICK), 1);
    EXPECT_EQ(Count(window, "dbclick", two.right), 1);
    // A disabled control neither takes the press nor says anything.
    two.right->SetEnabled(false);
    window.DoubleClick(150, 15);
    EXPECT_EQ(Count(window, "dbclick"), 1);
}

TEST(ManagerEvents, AClickNeedsPressAndReleaseOnTheSameButton)
{
    CTestWindow window;
    window.Open(200, 30);
    ASSERT_NE(window.Build(R"(<HorizontalLayout><Button name="a"/><Button name="b"/></HorizontalLayout>)"), nullptr);
    CControlUI* a = window.Manager().FindControl("a");
    window.Click(50, 15);
    EXPECT_EQ(Count(window, "click", a), 1);
    window.Press(50, 15);
    window.MouseMove(150, 15);
    window.Release(150, 15);
    EXPECT_EQ(Count(window, "click"), 1) << "released elsewhere: no click on either";
    // Capture taken away in the middle of a press: no click either.
    window.Press(50, 15);
    ::SendMessage(window.GetHWND(), WM_CAPTURECHANGED, 0, 0);
    window.Release(50, 15);
    EXPECT_EQ(Count(window, "click"), 1);
}

TEST(ManagerEvents, SelectChangedAndValueChangingReachTheWindow)
{
    CTestWindow window;
    window.Open(200, 60);
    ASSERT_NE(window.Build(R"(<VerticalLayout>
        <HorizontalLayout height="30"><Option name="o1" group="g"/><Option name="o2" group="g"/></HorizontalLayout>
        <Slider name="VolumeSlider" height="30" min="0" max="100"/>
      </VerticalLayout>)"),
              nullptr);
    CControlUI* o2 = window.Manager().FindControl("o2");
    window.Click(150, 15);
    EXPECT_EQ(Count(window, "selectchanged", o2), 1);
    EXPECT_EQ(Count(window, "click", o2), 1);
    EXPECT_EQ(window.Manager().GetGroupSelectedIndex("g"), 1);

    CControlUI* slider = window.Manager().FindControl("VolumeSlider");
    window.MouseMove(20, 45);
    window.Press(20, 45);
    window.MouseMove(60, 45);
    window.MouseMove(120, 45);
    window.Release(120, 45);
    EXPECT_GE(Count(window, "valuechanging", slider), 1);
}

TEST(ManagerNotify, SynchronousIsDeliveredAtOnceAsynchronousFromTheLoopInOrder)
{
    TTwoControls two;
    CTestWindow& window = two.window;
    window.Manager().SendNotify(two.left, "now", 1, 2);
    ASSERT_EQ(window.notifications.size(), 1u);
    EXPECT_EQ(window.notifications[0].first, "now");

    window.Manager().SendNotify(two.left, "later-1", 0, 0, true);
    window.Manager().SendNotify(two.right, "later-2", 0, 0, true);
    EXPECT_EQ(window.notifications.size(), 1u) << "asynchronous waits for the loop";
    ASSERT_TRUE(PumpUntil([&] { return window.notifications.size() == 3; }));
    EXPECT_EQ(window.notifications[1], std::make_pair(std::string("later-1"), static_cast<CControlUI*>(two.left)));
    EXPECT_EQ(window.notifications[2].first, "later-2");
    PumpFor(30ms);
    EXPECT_EQ(window.notifications.size(), 3u) << "each is delivered once";
}

TEST(ManagerNotify, AsynchronousNotificationOfARemovedOrDestroyedControlIsDropped)
{
    TTwoControls two;
    CTestWindow& window = two.window;
    window.Manager().SendNotify(two.left, "menuexit", 0, 0, true);
    window.Manager().SendNotify(two.right, "menuabout", 0, 0, true);
    two.row->Remove(two.left);
    auto* loose = new CRecordingControl();
    two.row->Add(loose);
    window.Manager().SendNotify(loose, "gone", 0, 0, true);
    two.row->Remove(loose);
    // A control outside the tree, deleted by its owner.
    auto* owned = new CRecordingControl();
    owned->SetManager(&window.Manager(), nullptr, true);
    window.Manager().SendNotify(owned, "also-gone", 0, 0, true);
    delete owned;
    ASSERT_TRUE(PumpUntil([&] { return !window.notifications.empty(); }));
    PumpFor(30ms);
    ASSERT_EQ(window.notifications.size(), 1u);
    EXPECT_EQ(window.notifications[0].first, "menuabout");
}

TEST(ManagerNotify, NotifiersMayRemoveThemselvesOrOthersWhileBeingCalled)
{
    TTwoControls two;
    CPaintManagerUI& manager = two.window.Manager();
    struct TNotifier : INotifyUI
    {
        std::function<void()> action;
        int calls = 0;
        void Notify(TNotifyUI&) override
        {
            ++calls;
            if (action) {
                action();
            }
        }
    };
    TNotifier first;
    TNotifier second;
    TNotifier added;
    manager.AddNotifier(&first);
    manager.AddNotifier(&second);
    manager.AddNotifier(&first);   // twice: still called once
    first.action = [&] {
        manager.RemoveNotifier(&first);
        manager.RemoveNotifier(&second);
        manager.AddNotifier(&added);
    };
    manager.SendNotify(two.left, "click");
    EXPECT_EQ(first.calls, 1);
    EXPECT_EQ(second.calls, 0) << "removed before its turn";
    EXPECT_EQ(added.calls, 0) << "added during the delivery: from the next one on";
    manager.SendNotify(two.left, "click");
    EXPECT_EQ(first.calls, 1);
    EXPECT_EQ(added.calls, 1);
    manager.RemoveNotifier(&added);
}

TEST(ManagerNotify, AControlRemovedOrAddedDuringItsOwnNotificationIsSafe)
{
    CTestWindow window;
    window.Open(300, 60);
    ASSERT_NE(window.Build(R"(<VerticalLayout>
        <HorizontalLayout name="page" height="30">
          <Option name="station" group="radios" text="a"/><Option name="station" group="radios" text="b"/>
        </HorizontalLayout>
        <HorizontalLayout name="other" height="30"/>
      </VerticalLayout>)"),
              nullptr);
    auto* page = static_cast<CContainerUI*>(window.Manager().FindControl("page")->GetInterface("Container"));
    auto* other = static_cast<CContainerUI*>(window.Manager().FindControl("other")->GetInterface("Container"));
    // The page is rebuilt from inside the selected option's notification,
    // as the station page is rebuilt by a region option's "selectchanged".
    window.onNotify = [&](TNotifyUI& msg) {
        if (msg.sType == "selectchanged") {
            page->RemoveAll();
            auto* fresh = new COptionUI();
            fresh->ApplyAttributeList("group=\"radios\" name=\"fresh\"");
            page->Add(fresh);
            other->Add(new CButtonUI());
        }
    };
    window.Click(50, 15);
    EXPECT_EQ(Count(window, "selectchanged"), 1);
    EXPECT_EQ(Count(window, "click"), 0) << "the removed option says nothing more";
    ASSERT_EQ(page->GetCount(), 1);
    EXPECT_EQ(window.Manager().FindControl("station"), nullptr);
    EXPECT_EQ(window.Manager().GetFocus(), nullptr) << "the focused option left with the page";
    // Hot tracking forgot the removed option and moved on to what lies under
    // the mouse now.
    EXPECT_EQ(window.Manager().GetHotControl(), window.Manager().FindControl("fresh"));
    CStdPtrArray* group = window.Manager().GetOptionGroup("radios");
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(group->GetSize(), 1);
    EXPECT_EQ(group->GetAt(0), window.Manager().FindControl("fresh"));
    EXPECT_EQ(other->GetCount(), 1);
    // The new controls work at once.
    window.onNotify = nullptr;
    window.Click(50, 15);
    EXPECT_EQ(Count(window, "click", window.Manager().FindControl("fresh")), 1);
}

TEST(ManagerNotify, ControlRemovedByTheFirstNotifierIsNotReportedToTheNextOne)
{
    TTwoControls two;
    CPaintManagerUI& manager = two.window.Manager();
    struct TLast : INotifyUI
    {
        std::vector<std::string> seen;
        void Notify(TNotifyUI& msg) override { seen.push_back(msg.sType.GetData()); }
    } last;
    manager.AddNotifier(&last);
    two.window.onNotify = [&](TNotifyUI& msg) {
        if (msg.pSender == two.left) {
            two.row->Remove(two.left);
        }
    };
    manager.SendNotify(two.left, "click");
    manager.SendNotify(two.right, "click");
    EXPECT_EQ(last.seen, (std::vector<std::string>{"click"}));
    EXPECT_EQ(two.row->GetCount(), 1);
    manager.RemoveNotifier(&last);
}

TEST(ManagerTimers, AControlTimerOfElapseZeroFiresAndStopsWithItsControl)
{
    TTwoControls two;
    CPaintManagerUI& manager = two.window.Manager();
    ASSERT_TRUE(manager.SetTimer(two.left, 7, 0));
    ASSERT_TRUE(manager.SetTimer(two.right, 7, 0));
    ASSERT_TRUE(PumpUntil([&] { return !two.left->timerIds.empty() && !two.right->timerIds.empty(); }))
        << "the watchdog ran out: no timer fired";
    EXPECT_EQ(two.left->timerIds.front(), 7u);
    EXPECT_TRUE(manager.KillTimer(two.left, 7));
    EXPECT_FALSE(manager.KillTimer(two.left, 7));
    two.row->Remove(two.right);   // its timer goes with it
    const size_t leftFired = two.left->timerIds.size();
    PumpFor(50ms);
    EXPECT_EQ(two.left->timerIds.size(), leftFired);
}

TEST(ManagerLayout, AChangeInOrOutOfViewIsLaidOutByTheRepaintItAsksFor)
{
    CTestWindow window;
    window.Open(200, 100, nullptr, WS_POPUP | WS_VISIBLE);
    ASSERT_NE(window.Build(R"(<Container name="stack">
        <HorizontalLayout name="row" pos="0,0,200,30">
          <Control name="first"/>
          <Control name="second"/>
        </HorizontalLayout>
        <HorizontalLayout name="beyond" pos="3000,0,3200,30">
          <Control name="third"/>
          <Control name="fourth"/>
        </HorizontalLayout>
      </Container>)"),
              nullptr);
    CPaintManagerUI& manager = window.Manager();
    PumpFor(20ms);
    CControlUI* second = manager.FindControl("second");
    CControlUI* fourth = manager.FindControl("fourth");
    ASSERT_EQ(second->GetPos().left, 100);
    ASSERT_EQ(fourth->GetPos().left, 3100);

    // Inside the window: only the row is repainted, and that paint lays the
    // row out again with no hit test or other call asking for it.
    manager.FindControl("first")->SetVisible(false);
    EXPECT_TRUE(PumpUntil([&] { return second->GetPos().left == 0; }, 2s)) << second->GetPos().left;
    EXPECT_EQ(second->GetPos().right, 200);

    PumpFor(50ms); // the repaints of what the layout moved

    // Out of the window the change asks for a paint all the same.
    manager.FindControl("third")->SetVisible(false);
    EXPECT_TRUE(PumpUntil([&] { return fourth->GetPos().left == 3000; }, 2s)) << fourth->GetPos().left;
}
