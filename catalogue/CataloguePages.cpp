// The catalogue in the main window: loading and reloading it, the category
// page of regions and styles, the station list page, and stepping through the
// stations of the page shown last.

#include "app/RadioWnd.h"
#include "catalogue/CatalogueModel.h"
#include "catalogue/StationPages.h"
#include "catalogue/XmlFile.h"

#include <cstring>

namespace {

// Options per row of the category page.
constexpr int kRegionsPerRow = 11;
constexpr int kStylesPerRow = 8;
// Station options per row of the station list page.
constexpr std::size_t kStationsPerRow = 3;

const char* const kHeadingRowList =
    "height=\"30\" inset=\"10,0,10,0\" bkimage=\"file='bk_white_rd.png' dest='10,0,10,0' corner='5,5,5,5' "
    "xtiled='true' ytiled='true'\"";
const char* const kHeadingLabelList = "text=\"%s\" textpadding=\"10,0,0,0\" font=\"%d\"";
const char* const kCategoryRowList = "height=\"30\" inset=\"10,5,10,0\"";
const char* const kGapRowList = "height=\"5\"";
const char* const kRegionOptionList =
    "width=\"50\" group=\"sorts\"  name=\"citys\" text=\"%s\" textcolor=\"#FF990225\" hotimage "
    "=\"file='bk_light.png' xtiled='true' ytiled='true'\" selectedimage=\"file='bk_gray.png' xtiled='true' "
    "ytiled='true'\"";
const char* const kStyleOptionList =
    "width=\"70\" group=\"sorts\"  name=\"styles\" text=\"%s\" textcolor=\"#FF990225\" hotimage "
    "=\"file='bk_light.png' xtiled='true' ytiled='true'\" selectedimage=\"file='bk_gray.png' xtiled='true' "
    "ytiled='true'\"";

const char* const kTitleRowList =
    "height=\"30\" bkimage=\"file='bk_white_rd.png' corner='5,5,5,5' xtiled='true' ytiled='true' "
    "dest='0,0,10,0'\"";
const char* const kBackButtonList =
    "width=\"30\" name=\"mainpage\" normalimage=\"file='back_nor.png' xcentered='true' ycentered='true'\" "
    "hotimage=\"file='back_hot.png' xcentered='true' ycentered='true'\" pushedimage=\"file='back_pushed.png' "
    "xcentered='true' ycentered='true'\"";
const char* const kTitleLabelList = "text=\"%s\" textpadding=\"5,0,0,0\" font=\"%d\"";
const char* const kStationRowList = "height=\"30\" inset=\"0,5,10,0\"";
const char* const kStationOptionList =
    "group=\"radios\" name=\"fmradio\" text=\"%s\" align=\"left\" textcolor=\"#FF990225\" "
    "textpadding=\"20,0,0,0\" foreimage=\"file='dot.png' dest='10,0,0,0' ycentered='true'\" "
    "normalimage=\"file='bk_gray2.png' xtiled='true' ytiled='true'\" hotimage=\"file='bk_light.png' "
    "xtiled='true' ytiled='true'\" selectedimage=\"file='bk_gray.png' xtiled='true' ytiled='true'\"";
const char* const kStationGapList = "width=\"5\"";
// A row whose stations have a second line: the option keeps its height, the
// line of the small font goes under it.
const char* const kTallStationRowList = "height=\"52\" inset=\"0,5,10,0\"";
constexpr int kStationOptionHeight = 30;
const char* const kSubtitleList =
    "height=\"17\" textpadding=\"20,0,4,0\" textcolor=\"#FF6B5A5E\" endellipsis=\"true\" mouse=\"false\"";

// Applies an attribute list whose %s is a name from a data file, then sets the
// name as the control's text. A name with a double quote would end the
// attribute value early and smuggle its rest in as attributes of its own
// (a station called `x" name="mainpage` would become a back button), so such
// a name never enters the list; the text is set directly either way.
template <typename... Numbers>
void ApplyWithName(CControlUI* control, const char* list, const char* name, Numbers... numbers)
{
    const bool quoted = std::strchr(name, '"') != nullptr;
    CStdString formatted;
    formatted.Format(list, quoted ? "" : name, numbers...);
    control->ApplyAttributeList(formatted);
    control->SetText(name);
}

} // namespace

void CRadioWnd::ParseCatalogue(const TiXmlDocument* document, CStdPtrArray& regions, CStdPtrArray& styles)
{
    std::int32_t version = catalogueVersion.load();
    if (document != nullptr) {
        ParseCatalogueDocument(*document, regions, styles, version);
    } else {
        FreeNameList(regions);
        FreeNameList(styles);
    }
    catalogueVersion.store(version);
}

void CRadioWnd::LoadCatalogue()
{
    if (!catalogueDoc)
        catalogueDoc = std::make_unique<TiXmlDocument>();
    const CStdString path = CurrentFileLayout().catalogueFile.c_str();
    ReadXmlFile(catalogueDoc.get(), path, true);
    ParseCatalogue(catalogueDoc.get(), regionList, styleList);
    BuildCategoryPage();
}

void CRadioWnd::ReloadCatalogue()
{
    const CStdString path = CurrentFileLayout().catalogueFile.c_str();
    catalogueDoc = std::make_unique<TiXmlDocument>();
    ReadXmlFile(catalogueDoc.get(), path, true);
    ParseCatalogue(catalogueDoc.get(), regionList, styleList);
    BuildCategoryPage();
}

void CRadioWnd::BuildCategoryPage()
{
    if (sortsPanel == nullptr)
        return;
    sortsPanel->RemoveAll();

    // The user's own stations come first, and only when there are some.
    AddMyStationsEntry();

    auto addOptions = [&](const CStdPtrArray& names, int perRow, const char* optionList) {
        CHorizontalLayoutUI* row = nullptr;
        for (int j = 0; j < names.GetSize(); ++j) {
            if (j % perRow == 0) {
                row = new CHorizontalLayoutUI();
                row->ApplyAttributeList(kCategoryRowList);
                sortsPanel->Add(row);
            }
            auto* option = new COptionUI();
            ApplyWithName(option, optionList, static_cast<const char*>(names.GetAt(j)));
            row->Add(option);
        }
    };

    AddCategoryHeading("地区电台");
    addOptions(regionList, kRegionsPerRow, kRegionOptionList);
    AddCategoryGap();
    AddCategoryHeading("精选频道");
    addOptions(styleList, kStylesPerRow, kStyleOptionList);

    // The public station directory's page, after what is here.
    AddDirectoryEntry();
}

void CRadioWnd::AddCategoryHeading(const char* text)
{
    auto* row = new CHorizontalLayoutUI();
    row->ApplyAttributeList(kHeadingRowList);
    sortsPanel->Add(row);
    auto* label = new CLabelUI();
    CStdString list;
    list.Format(kHeadingLabelList, text, paintManager.GetFontIndex(listFont));
    label->ApplyAttributeList(list);
    row->Add(label);
}

void CRadioWnd::AddCategoryGap()
{
    auto* gap = new CHorizontalLayoutUI();
    gap->ApplyAttributeList(kGapRowList);
    sortsPanel->Add(gap);
}

CButtonUI* CRadioWnd::AddCategoryEntry(const char* heading, const char* buttonAttributes)
{
    AddCategoryHeading(heading);
    auto* row = new CHorizontalLayoutUI();
    row->ApplyAttributeList(kCategoryRowList);
    sortsPanel->Add(row);
    auto* entry = new CButtonUI();
    entry->ApplyAttributeList(buttonAttributes);
    row->Add(entry);
    return entry;
}

// Fills "radioscontent" with the title row and the stations, three to a row.
void BuildStationPage(CRadioWnd& window, const char* title, const std::vector<TStation>& stations)
{
    CContainerUI* content = window.radiosContent;
    content->RemoveAll();
    window.myStationsPageShown = false;

    auto* titleRow = new CHorizontalLayoutUI();
    titleRow->ApplyAttributeList(kTitleRowList);
    content->Add(titleRow);
    auto* back = new CButtonUI();
    back->ApplyAttributeList(kBackButtonList);
    titleRow->Add(back);
    auto* titleLabel = new CLabelUI();
    ApplyWithName(titleLabel, kTitleLabelList, title, window.paintManager.GetFontIndex(window.listFont));
    titleRow->Add(titleLabel);

    AppendStationRows(window, stations);
}

// Each row completed to option, gap, option, gap, option. A station with a
// second line is a column of its own (the option over the line), and its
// row is taller; the option stays the row's member of "radios", so the group
// keeps the page's order.
void AppendStationRows(CRadioWnd& window, const std::vector<TStation>& stations, int at)
{
    CContainerUI* content = window.radiosContent;
    if (content == nullptr)
        return;
    const int smallFont = window.paintManager.GetFontIndex(window.paintManager.GetFont(1));
    CHorizontalLayoutUI* row = nullptr;
    std::size_t i = 0;
    for (const TStation& station : stations) {
        if (i % kStationsPerRow == 0) {
            row = new CHorizontalLayoutUI();
            bool tall = false;
            for (std::size_t j = i; j < stations.size() && j < i + kStationsPerRow; ++j)
                tall = tall || !stations[j].subtitle.IsEmpty();
            row->ApplyAttributeList(tall ? kTallStationRowList : kStationRowList);
            if (at < 0)
                content->Add(row);
            else
                content->AddAt(row, at++);
        }
        auto* option = new COptionUI();
        option->SetUserData(station.url);
        ApplyWithName(option, kStationOptionList, station.name);
        if (station.subtitle.IsEmpty()) {
            row->Add(option);
        } else {
            auto* column = new CVerticalLayoutUI();
            row->Add(column);
            option->SetFixedHeight(kStationOptionHeight);
            column->Add(option);
            auto* line = new CLabelUI();
            line->ApplyAttributeList(kSubtitleList);
            line->SetFont(smallFont);
            line->SetText(station.subtitle);
            line->SetToolTip(station.subtitle);
            column->Add(line);
        }
        if (station.name == window.currentStationName)
            option->Selected(true);
        if (i % kStationsPerRow != kStationsPerRow - 1) {
            auto* gap = new CControlUI();
            gap->ApplyAttributeList(kStationGapList);
            row->Add(gap);
        }
        ++i;
    }

    const std::size_t missing = (kStationsPerRow - i % kStationsPerRow) % kStationsPerRow;
    if (missing >= 1)
        row->Add(new CControlUI());
    if (missing == 2) {
        auto* gap = new CControlUI();
        gap->ApplyAttributeList(kStationGapList);
        row->Add(gap);
        row->Add(new CControlUI());
    }
}

void CRadioWnd::ShowRegionStations(const char* regionName)
{
    if (!catalogueDoc || radiosContent == nullptr)
        return;
    // Copied first: the name may be the text of a control this rebuild removes.
    const CStdString name = regionName;
    BuildStationPage(*this, name, RegionStations(*catalogueDoc, name));
}

void CRadioWnd::ShowStyleStations(const char* styleName)
{
    if (!catalogueDoc || radiosContent == nullptr)
        return;
    const CStdString name = styleName;
    BuildStationPage(*this, name, StyleStations(*catalogueDoc, name));
}

namespace {

COptionUI* OptionAt(CStdPtrArray* group, int index)
{
    if (group == nullptr || index < 0 || index >= group->GetSize())
        return nullptr;
    auto* control = static_cast<CControlUI*>(group->GetAt(index));
    return static_cast<COptionUI*>(control->GetInterface("Option"));
}

} // namespace

void CRadioWnd::SelectPreviousStation()
{
    const int index = paintManager.GetGroupSelectedIndex("radios");
    CStdPtrArray* group = paintManager.GetOptionGroup("radios");
    if (index <= 0)
        return;
    COptionUI* current = OptionAt(group, index);
    COptionUI* previous = OptionAt(group, index - 1);
    if (current == nullptr || previous == nullptr)
        return;
    current->Selected(false);
    previous->Selected(true);
    paintManager.SendNotify(previous, "dbclick", 0, 0, false);
}

void CRadioWnd::SelectNextStation()
{
    const int index = paintManager.GetGroupSelectedIndex("radios");
    CStdPtrArray* group = paintManager.GetOptionGroup("radios");
    const int size = group != nullptr ? group->GetSize() : 0;
    if (index < 0 || index >= size - 1)
        return;
    COptionUI* current = OptionAt(group, index);
    COptionUI* next = OptionAt(group, index + 1);
    if (current == nullptr || next == nullptr)
        return;
    current->Selected(false);
    next->Selected(true);
    paintManager.SendNotify(next, "dbclick", 0, 0, false);
}
