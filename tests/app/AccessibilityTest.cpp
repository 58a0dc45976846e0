// The main window's accessibility tree through Qt's interfaces, headless:
// the real window from the shipped skin, read as a screen reader's bridge
// reads it (child, parent, index, role, name, state, actions, value, text).
// Events need Qt's bridge, which only the xcb platform makes: the AT-SPI
// case of tests/e2e hears them.

#include "RadioWndFixture.h"

#include "platform/win/WinQt.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QWidget>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

using namespace apptest;

namespace {

// Records the notifications of the window's controls.
class CNotifyRecorder : public INotifyUI
{
public:
    void Notify(TNotifyUI& msg) override { types.push_back(msg.sType.GetData()); }
    std::vector<std::string> types;
};

class CAccessibilityTest : public CRadioWndTest
{
protected:
    void SetUp() override
    {
        CRadioWndTest::SetUp();
        WriteCatalogue("<catalogue><city name=\"北京\"><station name=\"北京新闻\" url=\"http://127.0.0.1:9/a\" "
                       "style=\"新闻\"/><station name=\"北京音乐\" url=\"http://127.0.0.1:9/b\" style=\"音乐\"/></city>"
                       "<city name=\"上海\"><station name=\"上海新闻\" url=\"http://127.0.0.1:9/c\" style=\"新闻\"/>"
                       "</city><styles><style name=\"新闻\"/><style name=\"音乐\"/></styles></catalogue>"
                       "<version>1</version>");
        ASSERT_NE(Start(), nullptr);
        root = QAccessible::queryAccessibleInterface(WidgetFromHwnd(Hwnd()));
        ASSERT_NE(root, nullptr);
    }

    // Every interface below `from`, depth first, after checking that each
    // child knows its parent and its own index.
    std::vector<QAccessibleInterface*> Walk(QAccessibleInterface* from)
    {
        std::vector<QAccessibleInterface*> all;
        for (int i = 0; i < from->childCount(); ++i) {
            QAccessibleInterface* child = from->child(i);
            EXPECT_NE(child, nullptr) << i;
            if (child == nullptr)
                continue;
            EXPECT_EQ(child->parent(), from) << child->text(QAccessible::Name).toStdString();
            EXPECT_EQ(from->indexOfChild(child), i) << child->text(QAccessible::Name).toStdString();
            EXPECT_EQ(child, from->child(i)) << "a second ask gave another interface";
            EXPECT_EQ(child->object(), nullptr);
            all.push_back(child);
            const auto below = Walk(child);
            all.insert(all.end(), below.begin(), below.end());
        }
        return all;
    }

    QAccessibleInterface* Find(const QString& name, QAccessible::Role role)
    {
        for (QAccessibleInterface* item : Walk(root))
            if (item->text(QAccessible::Name) == name && item->role() == role)
                return item;
        return nullptr;
    }

    // Runs an action and the event loop that carries it out.
    void Act(QAccessibleInterface* item, const QString& action)
    {
        ASSERT_NE(item, nullptr) << action.toStdString();
        ASSERT_TRUE(item->actionInterface()->actionNames().contains(action));
        item->actionInterface()->doAction(action);
        PumpFor(std::chrono::milliseconds(30));
    }

    static std::vector<QString> Names(QAccessibleInterface* parent)
    {
        std::vector<QString> names;
        for (int i = 0; i < parent->childCount(); ++i)
            names.push_back(parent->child(i)->text(QAccessible::Name));
        return names;
    }

    QAccessibleInterface* root = nullptr;
};

TEST_F(CAccessibilityTest, MainWindowReadsWithRolesNamesAndStates)
{
    EXPECT_EQ(root->role(), QAccessible::Window);
    EXPECT_EQ(root->text(QAccessible::Name), QString::fromUtf8("Orvane网络收音机"));

    struct TExpected
    {
        const char* name;
        QAccessible::Role role;
        bool focusable;
        bool invisible;
    };
    const TExpected rows[] = {
        {"关闭", QAccessible::PushButton, true, false},
        {"换肤", QAccessible::PushButton, true, false},
        {"上一台", QAccessible::PushButton, true, false},
        {"播放", QAccessible::PushButton, true, false},
        {"停止", QAccessible::PushButton, false, true},   // the pause button, hidden until a station plays
        {"下一台", QAccessible::PushButton, true, false},
        {"音量", QAccessible::Slider, true, false},
        {"欢迎收听", QAccessible::StaticText, false, false},
        {"Orvane网络收音机", QAccessible::PushButton, true, false},   // the advertisement
        {"电台分类", QAccessible::Grouping, false, false},
        {"电台列表", QAccessible::Grouping, false, true},
    };
    for (const TExpected& row : rows) {
        SCOPED_TRACE(row.name);
        QAccessibleInterface* item = Find(QString::fromUtf8(row.name), row.role);
        ASSERT_NE(item, nullptr);
        EXPECT_TRUE(item->isValid());
        EXPECT_EQ(bool(item->state().focusable), row.focusable);
        EXPECT_EQ(bool(item->state().invisible), row.invisible);
        EXPECT_FALSE(item->state().disabled);
        if (!row.invisible) {
            const QRect rect = item->rect();
            EXPECT_FALSE(rect.isEmpty());
            EXPECT_TRUE(root->rect().contains(rect)) << "not in screen coordinates of the window";
        }
    }
    // Nothing decorative: no nameless item at all.
    for (QAccessibleInterface* item : Walk(root))
        EXPECT_FALSE(item->text(QAccessible::Name).isEmpty()) << int(item->role());

    // The category page: headings, then the regions and the styles as radio buttons.
    QAccessibleInterface* page = Find(QString::fromUtf8("电台分类"), QAccessible::Grouping);
    ASSERT_NE(page, nullptr);
    const std::vector<QString> expected = {"地区电台", "北京", "上海", "精选频道", "新闻", "音乐"};
    std::vector<QString> names = Names(page);
    // The entry of the user's own stations may head the page; it is no region.
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&](const QString& name) {
                                   return std::find(expected.begin(), expected.end(), name) == expected.end();
                               }),
                names.end());
    EXPECT_EQ(names, expected);
    QAccessibleInterface* beijing = Find(QString::fromUtf8("北京"), QAccessible::RadioButton);
    ASSERT_NE(beijing, nullptr);
    EXPECT_TRUE(beijing->state().checkable);
    EXPECT_FALSE(beijing->state().checked);
    EXPECT_EQ(beijing->actionInterface()->actionNames(),
              QStringList({QAccessibleActionInterface::pressAction(), QAccessibleActionInterface::setFocusAction()}));
}

TEST_F(CAccessibilityTest, PressOpensTheRegionAndARebuiltPageLeavesNoInterfaceBehind)
{
    Act(Find(QString::fromUtf8("北京"), QAccessible::RadioButton), QAccessibleActionInterface::pressAction());
    QAccessibleInterface* beijing = Find(QString::fromUtf8("北京"), QAccessible::RadioButton);
    ASSERT_NE(beijing, nullptr);
    EXPECT_TRUE(beijing->state().checked);
    QAccessibleInterface* list = Find(QString::fromUtf8("电台列表"), QAccessible::Grouping);
    ASSERT_NE(list, nullptr);
    EXPECT_FALSE(list->state().invisible);
    EXPECT_TRUE(Find(QString::fromUtf8("电台分类"), QAccessible::Grouping)->state().invisible);
    EXPECT_NE(Find(QString::fromUtf8("返回分类"), QAccessible::PushButton), nullptr) << "the back button has no name";

    QAccessibleInterface* news = Find(QString::fromUtf8("北京新闻"), QAccessible::RadioButton);
    ASSERT_NE(news, nullptr);
    const QAccessible::Id newsId = QAccessible::uniqueId(news);
    CControlUI* newsControl = Manager().FindControl(POINT{news->rect().center().x() - root->rect().x(),
                                                          news->rect().center().y() - root->rect().y()});
    ASSERT_NE(newsControl, nullptr);
    EXPECT_EQ(newsControl->GetText(), "北京新闻");

    // Another region rebuilds the station page: the old stations' interfaces
    // are deleted, the new ones are fresh.
    Act(Find(QString::fromUtf8("上海"), QAccessible::RadioButton), QAccessibleActionInterface::pressAction());
    EXPECT_EQ(QAccessible::accessibleInterface(newsId), nullptr) << "a removed station kept its interface";
    EXPECT_EQ(Find(QString::fromUtf8("北京新闻"), QAccessible::RadioButton), nullptr);
    QAccessibleInterface* shanghai = Find(QString::fromUtf8("上海新闻"), QAccessible::RadioButton);
    ASSERT_NE(shanghai, nullptr);
    EXPECT_TRUE(shanghai->isValid());

    // A press queued for a control that left meanwhile does nothing.
    QAccessibleInterface* back = Find(QString::fromUtf8("上海新闻"), QAccessible::RadioButton);
    back->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    static_cast<CContainerUI*>(Manager().FindControl("radioscontent")->GetInterface("Container"))->RemoveAll();
    PumpFor(std::chrono::milliseconds(30));
    EXPECT_TRUE(window->currentStationName.IsEmpty()) << window->currentStationName.GetData();
}

TEST_F(CAccessibilityTest, PressingAStationChoosesItAndTheStatusLineReadsAsText)
{
    Act(Find(QString::fromUtf8("北京"), QAccessible::RadioButton), QAccessibleActionInterface::pressAction());
    Act(Find(QString::fromUtf8("北京音乐"), QAccessible::RadioButton), QAccessibleActionInterface::pressAction());
    EXPECT_EQ(window->currentStationName, "北京音乐");
    QAccessibleInterface* title = Find(QString::fromUtf8("北京音乐"), QAccessible::StaticText);
    ASSERT_NE(title, nullptr) << "the chosen station's name is not shown";
    ASSERT_NE(title->textInterface(), nullptr);
    EXPECT_EQ(title->textInterface()->text(0, -1), QString::fromUtf8("北京音乐"));

    // The status line changes as the player reports; each change is told.
    CControlUI* status = Manager().FindControl("status");
    ASSERT_NE(status, nullptr);
    status->SetText("正在连接...");
    QAccessibleInterface* line = Find(QString::fromUtf8("正在连接..."), QAccessible::StaticText);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->textInterface()->characterCount(), 7);
    EXPECT_EQ(line, Find(QString::fromUtf8("正在连接..."), QAccessible::StaticText)) << "the line got a new interface";
}

TEST_F(CAccessibilityTest, TheVolumeSetThroughTheValueIsAppliedAndSaved)
{
    QAccessibleInterface* volume = Find(QString::fromUtf8("音量"), QAccessible::Slider);
    ASSERT_NE(volume, nullptr);
    QAccessibleValueInterface* value = volume->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->minimumValue().toInt(), 0);
    EXPECT_EQ(value->maximumValue().toInt(), 100);
    CNotifyRecorder recorder;
    Manager().AddNotifier(&recorder);

    struct TRow
    {
        QVariant wanted;
        int landed;
    };
    const TRow rows[] = {{35, 35}, {250, 100}, {-4, 0}, {QString("not a number"), 0}, {47.6, 48}};
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.wanted.toString().toStdString());
        value->setCurrentValue(row.wanted);
        EXPECT_EQ(value->currentValue().toInt(), row.landed);
        EXPECT_EQ(window->volumeSlider->GetValue(), row.landed);
    }
    // Four changes (the bad value changed nothing), each as a drag's end.
    EXPECT_EQ(std::count(recorder.types.begin(), recorder.types.end(), "valuechanging"), 4);
    EXPECT_EQ(std::count(recorder.types.begin(), recorder.types.end(), "valuechanged"), 4);
    Manager().RemoveNotifier(&recorder);

    const auto settings = folder / "config" / "config.xml";
    EXPECT_TRUE(PumpUntil(
        [&] {
            std::ifstream input(settings);
            std::stringstream text;
            text << input.rdbuf();
            return text.str().find("<volume value=\"48\"") != std::string::npos;
        },
        std::chrono::seconds(5)))
        << "the volume was not saved";
}

TEST_F(CAccessibilityTest, TheFocusActionMovesTheWindowsFocus)
{
    QAccessibleInterface* play = Find(QString::fromUtf8("播放"), QAccessible::PushButton);
    Act(play, QAccessibleActionInterface::setFocusAction());
    EXPECT_TRUE(play->state().focused);
    EXPECT_EQ(root->focusChild(), play);
    Act(Find(QString::fromUtf8("音量"), QAccessible::Slider), QAccessibleActionInterface::setFocusAction());
    EXPECT_FALSE(play->state().focused);
    EXPECT_EQ(root->focusChild()->text(QAccessible::Name), QString::fromUtf8("音量"));
}

} // namespace
