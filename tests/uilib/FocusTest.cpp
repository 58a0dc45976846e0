// Keyboard focus: where Tab, arrows and the page keys move it, pressed as a
// user presses them (Qt key events on a real offscreen window, through the
// message loop's steps), and the ring that shows only after keyboard use.

#include "uilib/EditTestWindow.h"
#include "uilib/NotifyRecorder.h"

#include "uilib/controls/HorizontalLayoutUI.h"
#include "uilib/controls/LabelUI.h"
#include "uilib/controls/OptionUI.h"
#include "uilib/controls/ProgressUI.h"
#include "uilib/window/FocusManager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
// Rows of three 30 x 20 cells, 10 px apart: 7 cells make rows of 3, 3, 1.
std::vector<RECT> Grid(int count)
{
    std::vector<RECT> rects;
    for (int i = 0; i < count; ++i) {
        const LONG left = (i % 3) * 40;
        const LONG top = (i / 3) * 30;
        rects.push_back(RECT{left, top, left + 30, top + 20});
    }
    return rects;
}

// A window with every kind of control: a button, a label, a hidden and a
// disabled button, a row of three options (the middle one selected), a
// slider, an edit, a scrolled page of seven station options, and a last
// button.
struct TFocusWindow
{
    TFocusWindow()
    {
        auto* root = new CVerticalLayoutUI();
        first = AddButton(root, "first");
        auto* label = new CLabelUI();
        label->SetFixedHeight(20);
        root->Add(label);
        AddButton(root, "hidden")->SetVisible(false);
        AddButton(root, "disabled")->SetEnabled(false);
        auto* row = new CHorizontalLayoutUI();
        row->SetFixedHeight(30);
        root->Add(row);
        for (int i = 0; i < 3; ++i) {
            row->Add(options[i] = MakeOption("sorts", 60));
        }
        slider = new CProgressUI();
        slider->ApplyAttributeList("slider=\"true\" min=\"0\" max=\"100\" value=\"50\" height=\"20\"");
        root->Add(slider);
        edit = new CEditUI();
        edit->SetFixedHeight(24);
        root->Add(edit);
        page = new CVerticalLayoutUI();
        page->ApplyAttributeList("vscrollbar=\"true\" height=\"60\"");
        root->Add(page);
        for (int i = 0; i < 7; ++i) {
            if (i % 3 == 0) {
                stationRow = new CHorizontalLayoutUI();
                stationRow->SetFixedHeight(30);
                page->Add(stationRow);
            }
            stationRow->Add(stations[i] = MakeOption("radios", 80));
        }
        last = AddButton(root, "last");
        window.Attach(root);
        options[1]->Selected(true);
        window.Manager().UpdateLayout();
    }

    static CButtonUI* AddButton(CContainerUI* parent, const char* name)
    {
        auto* button = new CButtonUI();
        button->SetName(name);
        button->SetFixedHeight(24);
        parent->Add(button);
        return button;
    }

    static COptionUI* MakeOption(const char* group, int width)
    {
        auto* option = new COptionUI();
        option->SetGroup(group);
        option->SetFixedWidth(width);
        return option;
    }

    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const char* text = "")
    {
        edittest::SendKey(window.GetHWND(), key, modifiers, QString::fromUtf8(text));
    }

    CControlUI* Focus() { return window.Manager().GetFocus(); }

    CControlsTestWindow window{300, 400};
    CButtonUI* first = nullptr;
    COptionUI* options[3] = {};
    CProgressUI* slider = nullptr;
    CEditUI* edit = nullptr;
    CVerticalLayoutUI* page = nullptr;
    CHorizontalLayoutUI* stationRow = nullptr;
    COptionUI* stations[7] = {};
    CButtonUI* last = nullptr;
};
} // namespace

TEST(FocusNavigation, GridNeighbourOfAPageWithAShortLastRow)
{
    struct TRow
    {
        int from;
        EGridDirection direction;
        int expected;
    };
    using D = EGridDirection;
    const std::vector<TRow> rows = {
        {0, D::Right, 1},  {1, D::Left, 0},  {2, D::Right, 3}, // a row's end goes on to the next row
        {3, D::Left, 2},   {0, D::Left, -1}, {6, D::Right, -1}, {0, D::Up, -1},
        {1, D::Down, 4},   {4, D::Up, 1},    {2, D::Down, 5},
        {4, D::Down, 6},   {5, D::Down, 6}, // into the short last row: its only cell
        {6, D::Up, 3},     {6, D::Down, -1}, {7, D::Down, -1}, // out of range
    };
    const std::vector<RECT> rects = Grid(7);
    for (const TRow& row : rows) {
        SCOPED_TRACE(std::to_string(row.from) + " " + std::to_string(static_cast<int>(row.direction)));
        EXPECT_EQ(FocusNavigation::GridNeighbour(rects, row.from, row.direction), row.expected);
    }
}

TEST(FocusNavigation, PageNeighbourGoesAsFarAsAPageInTheSameColumn)
{
    struct TRow
    {
        int from;
        int page;
        EFocusMove move;
        int expected;
    };
    const std::vector<TRow> rows = {
        {1, 60, EFocusMove::Next, 7},      // two rows down, same column
        {1, 30, EFocusMove::Next, 4},      // one row
        {1, 10, EFocusMove::Next, 4},      // less than a row: still the next row
        {7, 60, EFocusMove::Previous, 1},  {10, 1000, EFocusMove::Previous, 1},
        {10, 1000, EFocusMove::Next, -1},  // nothing below the last row
        {0, 1000, EFocusMove::Next, 9},    // the last row, column 0
    };
    const std::vector<RECT> rects = Grid(11);
    for (const TRow& row : rows) {
        SCOPED_TRACE(std::to_string(row.from) + " page " + std::to_string(row.page));
        EXPECT_EQ(FocusNavigation::PageNeighbour(rects, row.from, row.page, row.move), row.expected);
    }
}

TEST(FocusKeys, TabWalksTheStopsInReadingOrderAndWrapsBothWays)
{
    TFocusWindow w;
    // Hidden, disabled and plain controls are no stops; the option group is
    // one stop, entered on its selected option; the station group on its
    // first, as none is selected.
    const std::vector<CControlUI*> forward = {w.first,       w.options[1], w.slider, w.edit,
                                              w.stations[0], w.last,       w.first};
    for (CControlUI* expected : forward) {
        w.Key(Qt::Key_Tab, Qt::NoModifier, "\t");
        EXPECT_EQ(w.Focus(), expected);
        EXPECT_TRUE(w.window.Manager().IsFocusVisible());
    }
    const std::vector<CControlUI*> backward = {w.last, w.stations[0], w.edit, w.slider, w.options[1], w.first};
    for (CControlUI* expected : backward) {
        w.Key(Qt::Key_Backtab, Qt::ShiftModifier, "\t");
        EXPECT_EQ(w.Focus(), expected);
    }
    EXPECT_TRUE(w.edit->GetText().IsEmpty()) << "Tab through the edit types nothing";

    // From a control a click focused (a label takes a click's focus) Tab
    // goes on from where it stands.
    CControlUI* label = static_cast<CContainerUI*>(w.window.Manager().GetRoot())->GetItemAt(1);
    w.window.Manager().SetFocus(label);
    w.Key(Qt::Key_Tab, Qt::NoModifier, "\t");
    EXPECT_EQ(w.Focus(), w.options[1]);
    // A focused control disabled meanwhile hands Tab on to its neighbours.
    w.window.Manager().SetFocus(w.slider);
    w.slider->SetEnabled(false);
    w.Key(Qt::Key_Tab, Qt::NoModifier, "\t");
    EXPECT_EQ(w.Focus(), w.edit);
    w.window.Manager().SetFocus(w.slider);
    w.Key(Qt::Key_Backtab, Qt::ShiftModifier, "\t");
    EXPECT_EQ(w.Focus(), w.options[1]);
}

TEST(FocusKeys, StationGridArrowsScrollTheFocusIntoViewAndEnterChoosesIt)
{
    TFocusWindow w;
    CNotifyRecorder recorder(w.window.Manager());
    w.window.Manager().GetFocusManager().FocusByKeyboard(w.stations[2]);
    struct TStep
    {
        int key;
        int expected;
    };
    const std::vector<TStep> steps = {
        {Qt::Key_Right, 3}, {Qt::Key_Down, 6}, {Qt::Key_Up, 3}, {Qt::Key_Up, 0},
        {Qt::Key_End, 6},   {Qt::Key_Home, 0}, {Qt::Key_PageDown, 6}, {Qt::Key_PageUp, 0},
    };
    for (const TStep& step : steps) {
        SCOPED_TRACE(step.key);
        w.Key(step.key);
        ASSERT_EQ(w.Focus(), w.stations[step.expected]);
        w.window.Manager().UpdateLayout();
        const RECT shown = w.page->GetPos();
        const RECT at = w.Focus()->GetPos();
        EXPECT_GE(at.top, shown.top);
        EXPECT_LE(at.bottom, shown.bottom);
    }
    EXPECT_EQ(w.page->GetScrollPos(), 0);
    w.Key(Qt::Key_End);
    EXPECT_GT(w.page->GetScrollPos(), 0) << "the last row lies below the page";
    EXPECT_TRUE(recorder.entries.empty()) << "moving the focus chooses nothing";

    // Enter chooses as a double click does; a held Enter chooses once.
    w.Key(Qt::Key_Return, Qt::NoModifier, "\r");
    EXPECT_TRUE(w.stations[6]->IsSelected());
    EXPECT_EQ(recorder.Types(), (std::vector<std::string>{"selectchanged", "click", "dbclick"}));
    QWidget* widget = WidgetFromHwnd(w.window.GetHWND());
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), true);
    QCoreApplication::sendEvent(widget, &repeat);
    edittest::Pump();
    EXPECT_EQ(recorder.Count("dbclick"), 1);
}

TEST(FocusKeys, SliderKeysChangeTheValueAsTheUserAndNotifyAsADrag)
{
    TFocusWindow w;
    CNotifyRecorder recorder(w.window.Manager());
    w.window.Manager().GetFocusManager().FocusByKeyboard(w.slider);
    struct TStep
    {
        int key;
        int expected;
    };
    const std::vector<TStep> steps = {
        {Qt::Key_Right, 51}, {Qt::Key_Down, 50}, {Qt::Key_PageUp, 60}, {Qt::Key_PageDown, 50},
        {Qt::Key_End, 100},  {Qt::Key_PageUp, 100}, {Qt::Key_Home, 0},
    };
    for (const TStep& step : steps) {
        SCOPED_TRACE(step.key);
        w.Key(step.key);
        EXPECT_EQ(w.slider->GetValue(), step.expected);
        EXPECT_EQ(w.Focus(), w.slider) << "the slider keeps the keys";
    }
    // Six changes (PageUp at the maximum changes nothing), each notified.
    EXPECT_EQ(recorder.Count("valuechanging", w.slider), 6);
    EXPECT_EQ(recorder.Count("valuechanged", w.slider), 6);
}

TEST(FocusRing, ShowsAfterTheKeyboardOnlyAndAMouseClickHidesIt)
{
    CControlsTestWindow window(100, 60);
    auto* root = new CVerticalLayoutUI();
    auto* button = new CButtonUI();
    button->SetFixedHeight(30);
    root->Add(button);
    auto* other = new CButtonUI();
    root->Add(other);
    window.Attach(root);
    window.Manager().GetFocusManager().SetRingColor(0xFFFF0000);
    const QImage before = window.Print(100, 60);

    // Focus from code or from a click draws nothing.
    button->SetFocus();
    EXPECT_FALSE(window.Manager().IsFocusVisible());
    EXPECT_EQ(window.Print(100, 60), before);

    edittest::SendKey(window.GetHWND(), Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
    ASSERT_EQ(window.Manager().GetFocus(), other);
    EXPECT_TRUE(window.Manager().IsFocusVisible());
    const QImage ringed = window.Print(100, 60);
    EXPECT_EQ(ringed.pixel(0, 30), qRgb(255, 0, 0)) << "the ring's corner, inside the control";
    EXPECT_EQ(ringed.pixel(50, 45), qRgb(255, 255, 255)) << "the middle is left alone";
    EXPECT_EQ(ringed.pixel(50, 10), qRgb(255, 255, 255)) << "no ring around the other button";

    EXPECT_EQ(other->GetKeyClaims(), DLGC_WANTCHARS | DLGC_WANTRETURN) << "with the ring, Space and Enter press it";

    window.Click(50, 10);
    EXPECT_EQ(window.Manager().GetFocus(), button);
    EXPECT_FALSE(window.Manager().IsFocusVisible());
    EXPECT_EQ(button->GetKeyClaims(), 0u) << "after a click Space and Enter stay the window's";
    EXPECT_EQ(window.Print(100, 60), before);
}
