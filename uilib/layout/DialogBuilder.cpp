#include "uilib/layout/DialogBuilder.h"

#include "uilib/controls/ContainerUI.h"
#include "uilib/controls/ControlUI.h"
#include "uilib/core/ResourceStore.h"
#include "uilib/core/ValueParsers.h"
#include "uilib/core/XmlBounds.h"
#include "uilib/layout/ControlFactory.h"
#include "uilib/layout/LayoutDiagnostics.h"
#include "uilib/window/FocusManager.h"
#include "uilib/window/PaintManagerUI.h"

#include <tinyxml.h>

#include <cstring>
#include <string>

namespace
{
bool IsInlineXml(const char* text)
{
    while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n') {
        ++text;
    }
    return *text == '<';
}

bool HasChildElement(const TiXmlElement* element)
{
    return element->FirstChildElement() != nullptr;
}

void ReportBadValue(const char* tag, const char* name, const char* value)
{
    CLayoutDiagnostics::Report("%s: bad value \"%s\" for attribute \"%s\"", tag, value, name);
}
}  // namespace

CControlUI* CDialogBuilder::Create(const char* layout, const char* /*type*/, IDialogBuilderCallback* builderCallback,
                                   CPaintManagerUI* manager, CControlUI* parent)
{
    if (layout == nullptr || *layout == '\0') {
        return nullptr;
    }
    callback = builderCallback;

    const bool inlineXml = IsInlineXml(layout);
    const char* sourceName = inlineXml ? "(inline layout)" : layout;
    CLayoutDiagnostics::CScope scope(sourceName, 0);

    CStdString text;
    if (inlineXml) {
        text = layout;
    } else if (!CResourceStore::Shared().Load(layout, text)) {
        CLayoutDiagnostics::Report("cannot read the layout");
        return nullptr;
    }

    TiXmlDocument document;
    const EXmlRefusal refusal = ParseBoundedXml(document, text.GetData());
    if (refusal != EXmlRefusal::None) {
        CLayoutDiagnostics::Report("not a layout: %s", DescribeXmlRefusal(refusal));
        return nullptr;
    }
    if (document.Error()) {
        scope.SetLine(document.ErrorRow());
        CLayoutDiagnostics::Report("not a layout: %s", document.ErrorDesc());
        return nullptr;
    }
    const TiXmlElement* top = document.RootElement();
    if (top == nullptr) {
        CLayoutDiagnostics::Report("the layout is empty");
        return nullptr;
    }

    if (parent != nullptr && parent->GetInterface("Container") == nullptr) {
        CLayoutDiagnostics::Report("%s cannot hold the controls of a layout", parent->GetClass());
        return nullptr;
    }

    if (std::strcmp(top->Value(), "Window") != 0) {
        return BuildControl(top, parent);
    }

    if (manager != nullptr) {
        scope.SetLine(top->Row());
        ApplyWindowAttributes(top, manager);
    }
    CControlUI* first = nullptr;
    for (const TiXmlElement* child = top->FirstChildElement(); child != nullptr; child = child->NextSiblingElement()) {
        scope.SetLine(child->Row());
        if (std::strcmp(child->Value(), "Font") == 0) {
            if (manager != nullptr) {
                AddFont(child, manager);
            }
            continue;
        }
        if (first != nullptr && parent == nullptr) {
            // A window has one root; its siblings have nowhere to go.
            CLayoutDiagnostics::Report("a second root control <%s> is skipped", child->Value());
            continue;
        }
        CControlUI* built = BuildControl(child, parent);
        if (first == nullptr) {
            first = built;
        }
    }
    return first;
}

void CDialogBuilder::ApplyWindowAttributes(const TiXmlElement* window, CPaintManagerUI* manager)
{
    for (const TiXmlAttribute* attribute = window->FirstAttribute(); attribute != nullptr;
         attribute = attribute->Next()) {
        const char* name = attribute->Name();
        const char* value = attribute->Value();
        SIZE size = {};
        RECT rect = {};
        DWORD colour = 0;
        if (std::strcmp(name, "size") == 0) {
            if (ParseSize(value, &size) && size.cx >= 0 && size.cy >= 0) {
                manager->SetInitSize(size.cx, size.cy);
            } else {
                ReportBadValue("Window", name, value);
            }
        } else if (std::strcmp(name, "caption") == 0) {
            if (ParseRect(value, &rect)) {
                manager->SetCaptionRect(rect);
            } else {
                ReportBadValue("Window", name, value);
            }
        } else if (std::strcmp(name, "roundcorner") == 0) {
            if (ParseSize(value, &size) && size.cx >= 0 && size.cy >= 0) {
                manager->SetRoundCorner(size.cx, size.cy);
            } else {
                ReportBadValue("Window", name, value);
            }
        } else if (std::strcmp(name, "mininfo") == 0) {
            if (ParseSize(value, &size) && size.cx >= 0 && size.cy >= 0) {
                manager->SetMinInfo(size.cx, size.cy);
            } else {
                ReportBadValue("Window", name, value);
            }
        } else if (std::strcmp(name, "maxinfo") == 0) {
            if (ParseSize(value, &size) && size.cx >= 0 && size.cy >= 0) {
                manager->SetMaxInfo(size.cx, size.cy);
            } else {
                ReportBadValue("Window", name, value);
            }
        } else if (std::strcmp(name, "focusbordercolor") == 0) {
            if (ParseColor(value, &colour)) {
                manager->GetFocusManager().SetRingColor(colour);
            } else {
                ReportBadValue("Window", name, value);
            }
        } else if (std::strcmp(name, "focusbordersize") == 0) {
            LONG width = 0;
            if (ParseInt(value, &width) && width >= 0) {
                manager->GetFocusManager().SetRingSize(static_cast<int>(width));
            } else {
                ReportBadValue("Window", name, value);
            }
        } else if (std::strcmp(name, "defaultfontcolor") == 0) {
            if (ParseColor(value, &colour)) {
                manager->SetDefaultFontColor(colour);
            } else {
                ReportBadValue("Window", name, value);
            }
        } else if (std::strcmp(name, "disabledfontcolor") == 0) {
            if (ParseColor(value, &colour)) {
                manager->SetDefaultDisabledColor(colour);
            } else {
                ReportBadValue("Window", name, value);
            }
        } else {
            CLayoutDiagnostics::Report("Window: unknown attribute \"%s\"", name);
        }
    }
}

void CDialogBuilder::AddFont(const TiXmlElement* font, CPaintManagerUI* manager)
{
    CStdString face;
    // Pixels, when the layout gives no size.
    LONG size = 12;
    bool bold = false;
    bool underline = false;
    bool italic = false;
    bool isDefault = false;
    for (const TiXmlAttribute* attribute = font->FirstAttribute(); attribute != nullptr;
         attribute = attribute->Next()) {
        const char* name = attribute->Name();
        const char* value = attribute->Value();
        bool* flag = nullptr;
        if (std::strcmp(name, "name") == 0) {
            face = value;
            continue;
        }
        if (std::strcmp(name, "size") == 0) {
            LONG parsed = 0;
            if (ParseInt(value, &parsed) && parsed > 0) {
                size = parsed;
            } else {
                ReportBadValue("Font", name, value);
            }
            continue;
        }
        if (std::strcmp(name, "bold") == 0) {
            flag = &bold;
        } else if (std::strcmp(name, "underline") == 0) {
            flag = &underline;
        } else if (std::strcmp(name, "italic") == 0) {
            flag = &italic;
        } else if (std::strcmp(name, "default") == 0) {
            flag = &isDefault;
        } else {
            CLayoutDiagnostics::Report("Font: unknown attribute \"%s\"", name);
            continue;
        }
        if (!ParseBool(value, flag)) {
            ReportBadValue("Font", name, value);
        }
    }
    // A font keeps its place in the numbering even when its face is
    // missing, so the indices of the fonts after it stay as written.
    manager->AddFont(face, size, bold, underline, italic);
    if (isDefault) {
        manager->SetDefaultFont(face, size, bold, underline, italic);
    }
}

CControlUI* CDialogBuilder::BuildControl(const TiXmlElement* element, CControlUI* parent)
{
    CLayoutDiagnostics::CScope scope(nullptr, element->Row());
    const char* tag = element->Value();

    CControlUI* control = CControlFactory::CreateControl(tag);
    if (control == nullptr && callback != nullptr) {
        control = callback->CreateControl(tag);
    }
    if (control == nullptr) {
        CLayoutDiagnostics::Report("unknown tag <%s> is skipped with what it holds", tag);
        return nullptr;
    }
    if (control->GetInterface("Control") == nullptr) {
        CLayoutDiagnostics::Report("<%s> does not make a control; skipped", tag);
        delete control;
        return nullptr;
    }

    // Attributes in document order: a later one may depend on an earlier
    // one (an option's group before its selection).
    for (const TiXmlAttribute* attribute = element->FirstAttribute(); attribute != nullptr;
         attribute = attribute->Next()) {
        scope.SetLine(attribute->Row() > 0 ? attribute->Row() : element->Row());
        control->SetAttribute(attribute->Name(), attribute->Value());
    }
    scope.SetLine(element->Row());

    if (parent != nullptr) {
        auto* container = static_cast<CContainerUI*>(parent->GetInterface("Container"));
        if (container == nullptr || !container->Add(control)) {
            CLayoutDiagnostics::Report("<%s> cannot be added to %s; skipped", tag, parent->GetClass());
            delete control;
            return nullptr;
        }
    }

    if (HasChildElement(element)) {
        if (control->GetInterface("Container") == nullptr) {
            CLayoutDiagnostics::Report("<%s> is no container; the elements inside it are skipped", tag);
        } else {
            for (const TiXmlElement* child = element->FirstChildElement(); child != nullptr;
                 child = child->NextSiblingElement()) {
                BuildControl(child, control);
            }
        }
    }
    return control;
}
