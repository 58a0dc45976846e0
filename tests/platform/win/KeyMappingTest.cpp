#include "platform/win/KeyMapping.h"

#include <gtest/gtest.h>

TEST(KeyMapping, QtKeysBecomeWin32VirtualKeys)
{
    struct CRow
    {
        int qtKey;
        WPARAM virtualKey;
    };
    const CRow rows[] = {
        {Qt::Key_Escape, VK_ESCAPE}, {Qt::Key_Return, VK_RETURN}, {Qt::Key_Enter, VK_RETURN},
        {Qt::Key_Backspace, VK_BACK}, {Qt::Key_Tab, VK_TAB},       {Qt::Key_Space, VK_SPACE},
        {Qt::Key_Left, VK_LEFT},     {Qt::Key_Up, VK_UP},         {Qt::Key_Right, VK_RIGHT},
        {Qt::Key_Down, VK_DOWN},     {Qt::Key_PageUp, VK_PRIOR},  {Qt::Key_PageDown, VK_NEXT},
        {Qt::Key_Home, VK_HOME},     {Qt::Key_End, VK_END},       {Qt::Key_Delete, VK_DELETE},
        {Qt::Key_Shift, VK_SHIFT},   {Qt::Key_Control, VK_CONTROL}, {Qt::Key_Alt, VK_MENU},
        {Qt::Key_F4, VK_F4},         {Qt::Key_F1, 0x70},          {Qt::Key_F12, 0x7B},
        {Qt::Key_A, 'A'},            {Qt::Key_Z, 'Z'},            {Qt::Key_0, '0'},
        {Qt::Key_9, '9'},            {Qt::Key_Comma, 0xBC},       {Qt::Key_Slash, 0xBF},
        {Qt::Key_unknown, 0},        {Qt::Key_Eacute, 0},
    };
    for (const CRow& row : rows)
        EXPECT_EQ(VirtualKeyFromQtKey(row.qtKey), row.virtualKey) << "Qt key 0x" << std::hex << row.qtKey;
}

TEST(KeyMapping, KeyTextTokensSkipZeroAndWrapAround)
{
    EXPECT_EQ(StoreKeyText(QString()), 0) << "no text, no token";
    int first = StoreKeyText(QStringLiteral("x"));
    ASSERT_GE(first, 1);
    EXPECT_EQ(KeyTextForToken(first), QStringLiteral("x"));
    int previous = first;
    for (int index = 0; index < 600; ++index)
    {
        int token = StoreKeyText(QStringLiteral("y"));
        ASSERT_GE(token, 1);
        ASSERT_LE(token, 255);
        ASSERT_NE(token, previous);
        previous = token;
    }
    EXPECT_TRUE(KeyTextForToken(0).isEmpty());
    EXPECT_TRUE(KeyTextForToken(256).isEmpty());
    EXPECT_TRUE(KeyTextForToken(-1).isEmpty());
    EXPECT_EQ(CharacterForVirtualKey(VK_RETURN), U'\r');
    EXPECT_EQ(CharacterForVirtualKey(VK_LEFT), 0u);
}
