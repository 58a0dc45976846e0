#include "uilib/layout/ControlFactory.h"

#include "uilib/controls/ButtonUI.h"
#include "uilib/controls/ContainerUI.h"
#include "uilib/controls/ControlUI.h"
#include "uilib/controls/EditUI.h"
#include "uilib/controls/HorizontalLayoutUI.h"
#include "uilib/controls/LabelUI.h"
#include "uilib/controls/OptionUI.h"
#include "uilib/controls/ProgressUI.h"
#include "uilib/controls/VerticalLayoutUI.h"

#include <map>
#include <string>

namespace
{
template <typename TControl>
CControlUI* Make()
{
    return new TControl();
}

CControlUI* MakeSlider()
{
    auto* slider = new CProgressUI();
    slider->SetSlider(true);
    return slider;
}

struct TRegistration
{
    const char* tag;
    CREATECONTROLPROC create;
};

// The registration list: one line per layout tag.
const TRegistration registrations[] = {
    {"Control", &Make<CControlUI>},
    {"Label", &Make<CLabelUI>},
    {"Button", &Make<CButtonUI>},
    {"Option", &Make<COptionUI>},
    {"Progress", &Make<CProgressUI>},
    {"Slider", &MakeSlider},
    {"Edit", &Make<CEditUI>},
    {"Container", &Make<CContainerUI>},
    {"VerticalLayout", &Make<CVerticalLayoutUI>},
    {"HorizontalLayout", &Make<CHorizontalLayoutUI>},
};

std::map<std::string, CREATECONTROLPROC>& Table()
{
    static std::map<std::string, CREATECONTROLPROC> table = [] {
        std::map<std::string, CREATECONTROLPROC> filled;
        for (const TRegistration& registration : registrations) {
            filled.emplace(registration.tag, registration.create);
        }
        return filled;
    }();
    return table;
}
}  // namespace

CControlUI* CControlFactory::CreateControl(const char* tag)
{
    if (tag == nullptr) {
        return nullptr;
    }
    const auto it = Table().find(tag);
    return it == Table().end() ? nullptr : it->second();
}

bool CControlFactory::RegisterControl(const char* tag, CREATECONTROLPROC create)
{
    if (tag == nullptr || *tag == '\0' || create == nullptr) {
        return false;
    }
    return Table().emplace(tag, create).second;
}
