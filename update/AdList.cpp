#include "update/AdList.h"

#include "catalogue/XmlFile.h"
#include "uilib/core/StdString.h"

void FreeAdList(CStdStringPtrMap& adLinks, CStdPtrArray& adTexts)
{
    for (int i = 0; i < adTexts.GetSize(); ++i)
        delete static_cast<CStdString*>(adTexts.GetAt(i));
    adTexts.Empty();

    // Emptied by position: the key at position 0 moves up as keys go.
    while (const char* key = adLinks.GetAt(0)) {
        delete static_cast<CStdString*>(adLinks.Find(key));
        adLinks.Remove(key);
    }
}

void ReadAdList(const char* path, CStdStringPtrMap& adLinks, CStdPtrArray& adTexts)
{
    TiXmlDocument document;
    ReadXmlFile(document, path);
    FillAdList(document, adLinks, adTexts);
}

void FillAdList(const TiXmlDocument& document, CStdStringPtrMap& adLinks, CStdPtrArray& adTexts)
{
    FreeAdList(adLinks, adTexts);

    const TiXmlElement* root = document.RootElement();
    if (root == nullptr)
        return;

    for (const TiXmlElement* entry = root->FirstChildElement(); entry; entry = entry->NextSiblingElement()) {
        const TiXmlAttribute* textAttribute = entry->FirstAttribute();
        const TiXmlAttribute* linkAttribute = textAttribute != nullptr ? textAttribute->Next() : nullptr;
        if (linkAttribute == nullptr)
            continue; // outside the format, like an empty text
        const char* text = textAttribute->Value();
        if (text == nullptr || *text == '\0')
            continue;
        if (adLinks.Find(text) != nullptr)
            continue;
        auto* link = new CStdString(linkAttribute->Value());
        adLinks.Insert(text, link);
        adTexts.Add(new CStdString(text));
    }
}
