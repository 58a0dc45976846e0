// Where the layouts put their children: fixed sizes kept, the rest shared so
// that the parts add up exactly, insets, gaps, outer margins, hidden
// children, and the vertical scroll bar that appears only for content taller
// than the layout. No window is needed: SetPos lays out.

#include "uilib/framework/FrameworkTestSupport.h"

#include <gtest/gtest.h>

namespace
{
CControlUI* Fixed(int width, int height)
{
    auto* control = new CControlUI();
    control->SetFixedWidth(width);
    control->SetFixedHeight(height);
    return control;
}

int Width(CControlUI* control)
{
    const RECT pos = control->GetPos();
    return pos.right - pos.left;
}

int Height(CControlUI* control)
{
    const RECT pos = control->GetPos();
    return pos.bottom - pos.top;
}

// A station row as the station page builds it: option, 5 px gap, option,
// 5 px gap, option (or a filler in place of a missing station).
CHorizontalLayoutUI* StationRow()
{
    auto* row = new CHorizontalLayoutUI();
    row->ApplyAttributeList("height=\"30\" inset=\"0,5,10,0\"");
    for (int column = 0; column < 3; ++column) {
        row->Add(new COptionUI());
        if (column < 2) {
            auto* gap = new CControlUI();
            gap->ApplyAttributeList("width=\"5\"");
            row->Add(gap);
        }
    }
    return row;
}
}  // namespace

TEST(HorizontalLayout, OptionGapOptionGapFillerShareTheFreeWidthEquallyAndExactly)
{
    // Table rows: row width -> widths of the three sharing columns. The free
    // width is the row less the 10 px right inset and the two 5 px gaps; an
    // odd remainder goes one pixel each to the first columns.
    struct TRow
    {
        int rowWidth;
        int columns[3];
    };
    const TRow rows[] = {
        {310, {97, 97, 96}},   // free 290
        {311, {97, 97, 97}},   // free 291
        {312, {98, 97, 97}},   // free 292
        {20, {0, 0, 0}},       // less room than the gaps: nothing to share
    };
    for (const TRow& row : rows) {
        CHorizontalLayoutUI* layout = StationRow();
        // The last place of a short row holds a filler instead of an option.
        layout->RemoveAt(4);
        layout->Add(new CControlUI());
        layout->SetPos(RECT{0, 100, row.rowWidth, 130});
        SCOPED_TRACE(row.rowWidth);
        int x = 0;
        for (int column = 0; column < 3; ++column) {
            CControlUI* cell = layout->GetItemAt(column * 2);
            EXPECT_EQ(cell->GetPos().left, x);
            EXPECT_EQ(Width(cell), row.columns[column]);
            // Inset top 5: the cells start below it and fill the rest.
            EXPECT_EQ(cell->GetPos().top, 105);
            EXPECT_EQ(cell->GetPos().bottom, 130);
            x += row.columns[column];
            if (column < 2) {
                EXPECT_EQ(layout->GetItemAt(column * 2 + 1)->GetPos().left, x);
                EXPECT_EQ(Width(layout->GetItemAt(column * 2 + 1)), 5);
                x += 5;
            }
        }
        if (row.rowWidth >= 20) {
            EXPECT_LE(layout->GetItemAt(4)->GetPos().right, row.rowWidth - 10) << "the right inset stays free";
        }
        delete layout;
    }
}

TEST(HorizontalLayout, ColumnsOfAFullAndAShortRowLineUp)
{
    auto* page = new CVerticalLayoutUI();
    CHorizontalLayoutUI* full = StationRow();
    CHorizontalLayoutUI* shortRow = StationRow();
    // One station: option, gap, filler, gap, filler.
    shortRow->RemoveAt(2);
    shortRow->AddAt(new CControlUI(), 2);
    shortRow->RemoveAt(4);
    shortRow->Add(new CControlUI());
    page->Add(full);
    page->Add(shortRow);
    page->SetPos(RECT{0, 0, 400, 200});
    for (int index = 0; index < 5; ++index) {
        EXPECT_EQ(full->GetItemAt(index)->GetPos().left, shortRow->GetItemAt(index)->GetPos().left) << index;
        EXPECT_EQ(full->GetItemAt(index)->GetPos().right, shortRow->GetItemAt(index)->GetPos().right) << index;
    }
    EXPECT_EQ(Height(full), 30);
    EXPECT_EQ(shortRow->GetPos().top, 30);
    delete page;
}

TEST(HorizontalLayout, ElevenFixedWidthRegionsFitARowAfterTheLeftInset)
{
    auto* row = new CHorizontalLayoutUI();
    row->ApplyAttributeList("height=\"30\" inset=\"10,5,10,0\"");
    for (int region = 0; region < 11; ++region) {
        auto* option = new COptionUI();
        option->ApplyAttributeList("width=\"50\" group=\"sorts\"");
        row->Add(option);
    }
    row->SetPos(RECT{0, 0, 600, 30});
    for (int region = 0; region < 11; ++region) {
        CControlUI* option = row->GetItemAt(region);
        EXPECT_EQ(option->GetPos().left, 10 + 50 * region) << region;
        EXPECT_EQ(Width(option), 50) << region;
        EXPECT_EQ(option->GetPos().top, 5);
    }
    // A narrower window keeps the fixed widths (they run past the edge
    // instead of shrinking).
    row->SetPos(RECT{0, 0, 300, 30});
    EXPECT_EQ(Width(row->GetItemAt(10)), 50);
    EXPECT_EQ(row->GetItemAt(10)->GetPos().left, 510);
    delete row;
}

TEST(HorizontalLayout, HiddenChildrenTakeNoSpaceAndNoGapAndMarginsAreKept)
{
    auto* row = new CHorizontalLayoutUI();
    row->SetChildPadding(4);
    CControlUI* first = Fixed(20, 0);
    CControlUI* hidden = Fixed(50, 0);
    CControlUI* shared = new CControlUI();
    CControlUI* last = Fixed(10, 8);
    hidden->SetVisible(false);
    shared->SetPadding(RECT{3, 2, 7, 1});
    row->Add(first);
    row->Add(hidden);
    row->Add(shared);
    row->Add(last);
    row->SetPos(RECT{100, 0, 200, 40});
    EXPECT_EQ(first->GetPos().left, 100);
    // first (20) + gap 4 + margin 3, shared, margin 7 + gap 4 + last (10).
    EXPECT_EQ(shared->GetPos().left, 127);
    EXPECT_EQ(shared->GetPos().right, 200 - 10 - 4 - 7);
    EXPECT_EQ(shared->GetPos().top, 2);
    EXPECT_EQ(shared->GetPos().bottom, 39);
    EXPECT_EQ(last->GetPos().right, 200);
    // A fixed height sits at the top of the row.
    EXPECT_EQ(last->GetPos().top, 0);
    EXPECT_EQ(Height(last), 8);
    delete row;
}

TEST(HorizontalLayout, SharedWidthsRespectMinimumAndMaximum)
{
    auto* row = new CHorizontalLayoutUI();
    CControlUI* capped = new CControlUI();
    capped->SetMaxWidth(30);
    CControlUI* floor = new CControlUI();
    floor->SetMinWidth(80);
    row->Add(capped);
    row->Add(floor);
    row->SetPos(RECT{0, 0, 100, 10});
    EXPECT_EQ(Width(capped), 30);
    EXPECT_EQ(Width(floor), 80);
    EXPECT_EQ(floor->GetPos().left, 30);
    delete row;
}

TEST(VerticalLayout, FixedHeightsAreKeptAndTheRestIsSharedExactly)
{
    auto* column = new CVerticalLayoutUI();
    column->ApplyAttributeList("inset=\"0,10,0,10\" childpadding=\"2\"");
    CControlUI* header = Fixed(0, 30);
    CControlUI* upper = new CControlUI();
    CControlUI* footer = Fixed(0, 30);
    CControlUI* lower = new CControlUI();
    CControlUI* narrow = Fixed(40, 0);
    column->Add(header);
    column->Add(upper);
    column->Add(footer);
    column->Add(lower);
    column->Add(narrow);
    column->SetPos(RECT{0, 0, 120, 200});
    // 180 inner - 60 fixed - 4 gaps of 2 = 112, shared by three: 38, 37, 37.
    EXPECT_EQ(header->GetPos().top, 10);
    EXPECT_EQ(Height(upper), 38);
    EXPECT_EQ(upper->GetPos().top, 42);
    EXPECT_EQ(footer->GetPos().top, 82);
    EXPECT_EQ(Height(lower), 37);
    EXPECT_EQ(Height(narrow), 37);
    EXPECT_EQ(narrow->GetPos().bottom, 190);
    EXPECT_EQ(Width(upper), 120);
    EXPECT_EQ(Width(narrow), 40);
    EXPECT_FALSE(column->IsScrollBarVisible());
    delete column;
}

TEST(VerticalLayout, ScrollBarAppearsOnlyWhenEnabledAndTheContentIsTaller)
{
    auto* column = new CVerticalLayoutUI();
    column->ApplyAttributeList("vscrollbar=\"true\"");
    for (int row = 0; row < 6; ++row) {
        column->Add(Fixed(0, 30));
    }
    column->SetPos(RECT{0, 0, 200, 180});
    EXPECT_FALSE(column->IsScrollBarVisible()) << "180 px of rows fit exactly";
    EXPECT_EQ(Width(column->GetItemAt(0)), 200);

    column->Add(Fixed(0, 30));
    column->SetPos(RECT{0, 0, 200, 180});
    ASSERT_TRUE(column->IsScrollBarVisible());
    EXPECT_EQ(column->GetScrollRange(), 30);
    EXPECT_LT(Width(column->GetItemAt(0)), 200) << "the bar takes its width from the rows";
    const RECT bar = column->GetScrollBarRect();
    EXPECT_EQ(bar.right, 200);
    EXPECT_GE(bar.left, column->GetItemAt(0)->GetPos().right);
    const RECT thumb = column->GetThumbRect();
    EXPECT_GE(thumb.top, bar.top);
    EXPECT_LE(thumb.bottom, bar.bottom);

    // Scrolling shifts the rows up and stops at the range.
    column->SetScrollPos(500);
    EXPECT_EQ(column->GetScrollPos(), 30);
    EXPECT_EQ(column->GetItemAt(0)->GetPos().top, -30);
    EXPECT_EQ(column->GetItemAt(6)->GetPos().bottom, 180);
    EXPECT_EQ(column->GetThumbRect().bottom, bar.bottom) << "the thumb reaches the end with the content";
    column->SetScrollPos(-5);
    EXPECT_EQ(column->GetScrollPos(), 0);

    // Content that fits again hides the bar and the position goes back.
    column->SetScrollPos(30);
    column->RemoveAt(6);
    column->SetPos(RECT{0, 0, 200, 180});
    EXPECT_FALSE(column->IsScrollBarVisible());
    EXPECT_EQ(column->GetScrollPos(), 0);
    EXPECT_EQ(column->GetItemAt(0)->GetPos().top, 0);

    // Without vscrollbar the same content never shows a bar.
    auto* plain = new CVerticalLayoutUI();
    for (int row = 0; row < 10; ++row) {
        plain->Add(Fixed(0, 30));
    }
    plain->SetPos(RECT{0, 0, 200, 180});
    EXPECT_FALSE(plain->IsScrollBarVisible());
    EXPECT_EQ(plain->GetScrollRange(), 0);
    delete plain;
    delete column;
}

TEST(Container, ChildrenStackOverTheInnerRectOrSitAtTheirPos)
{
    auto* stack = new CContainerUI();
    stack->SetInset(RECT{5, 6, 7, 8});
    CControlUI* cover = new CControlUI();
    CControlUI* placed = new CControlUI();
    placed->ApplyAttributeList("pos=\"10,20,40,30\"");
    stack->Add(cover);
    stack->Add(placed);
    stack->SetPos(RECT{100, 100, 200, 200});
    EXPECT_EQ(cover->GetPos().left, 105);
    EXPECT_EQ(cover->GetPos().top, 106);
    EXPECT_EQ(cover->GetPos().right, 193);
    EXPECT_EQ(cover->GetPos().bottom, 192);
    EXPECT_EQ(placed->GetPos().left, 115);
    EXPECT_EQ(placed->GetPos().top, 126);
    EXPECT_EQ(Width(placed), 30);
    EXPECT_EQ(Height(placed), 10);
    delete stack;
}
