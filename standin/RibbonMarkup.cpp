// A small reader for ribbon markup: walks the tags in order, keeps the attributes of customUI, group and
// button elements, and skips comments, processing instructions and text.
#include "RibbonMarkup.h"

#include <cwctype>
#include <map>
#include <stdexcept>

namespace qs::standin {

namespace {

struct Tag {
    std::wstring name; // without a namespace prefix
    bool closing = false;
    bool selfClosing = false;
    std::map<std::wstring, std::wstring> attributes;
};

std::wstring LocalName(const std::wstring& qualified) {
    const size_t colon = qualified.find(L':');
    return colon == std::wstring::npos ? qualified : qualified.substr(colon + 1);
}

[[noreturn]] void Fail(const char* what) {
    throw std::runtime_error(std::string("ribbon markup: ") + what);
}

// Reads the tag that starts at xml[at] == '<'; `at` ends after its '>'.
Tag ReadTag(const std::wstring& xml, size_t& at) {
    Tag tag;
    size_t i = at + 1;
    if (i < xml.size() && xml[i] == L'/') {
        tag.closing = true;
        ++i;
    }
    const size_t nameStart = i;
    while (i < xml.size() && !std::iswspace(xml[i]) && xml[i] != L'>' && xml[i] != L'/') ++i;
    tag.name = LocalName(xml.substr(nameStart, i - nameStart));
    for (;;) {
        while (i < xml.size() && std::iswspace(xml[i])) ++i;
        if (i >= xml.size()) Fail("unterminated tag");
        if (xml[i] == L'>') {
            at = i + 1;
            return tag;
        }
        if (xml[i] == L'/') {
            if (i + 1 >= xml.size() || xml[i + 1] != L'>') Fail("stray '/' in a tag");
            tag.selfClosing = true;
            at = i + 2;
            return tag;
        }
        const size_t attrStart = i;
        while (i < xml.size() && xml[i] != L'=' && !std::iswspace(xml[i]) && xml[i] != L'>') ++i;
        const std::wstring attrName = LocalName(xml.substr(attrStart, i - attrStart));
        while (i < xml.size() && std::iswspace(xml[i])) ++i;
        if (i >= xml.size() || xml[i] != L'=') Fail("attribute without a value");
        ++i;
        while (i < xml.size() && std::iswspace(xml[i])) ++i;
        if (i >= xml.size() || (xml[i] != L'"' && xml[i] != L'\'')) Fail("attribute value without quotes");
        const wchar_t quote = xml[i++];
        const size_t valueEnd = xml.find(quote, i);
        if (valueEnd == std::wstring::npos) Fail("unterminated attribute value");
        tag.attributes[attrName] = DecodeXmlText(xml.substr(i, valueEnd - i));
        i = valueEnd + 1;
    }
}

std::wstring AttributeOf(const Tag& tag, const wchar_t* name) {
    const auto it = tag.attributes.find(name);
    return it == tag.attributes.end() ? std::wstring() : it->second;
}

} // namespace

std::wstring DecodeXmlText(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'&') {
            out += text[i];
            continue;
        }
        const size_t semi = text.find(L';', i);
        if (semi == std::wstring::npos) {
            out += text[i];
            continue;
        }
        const std::wstring entity = text.substr(i + 1, semi - i - 1);
        static const std::map<std::wstring, wchar_t> kNamed = {
            {L"amp", L'&'}, {L"lt", L'<'}, {L"gt", L'>'}, {L"quot", L'"'}, {L"apos", L'\''}};
        if (const auto it = kNamed.find(entity); it != kNamed.end()) {
            out += it->second;
        } else if (entity.size() > 1 && entity[0] == L'#') {
            const bool hex = entity[1] == L'x' || entity[1] == L'X';
            const unsigned long code = std::wcstoul(entity.c_str() + (hex ? 2 : 1), nullptr, hex ? 16 : 10);
            if (code >= 0x10000) {
                out += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
                out += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
            } else {
                out += static_cast<wchar_t>(code);
            }
        } else {
            out += text.substr(i, semi - i + 1); // unknown entity: kept as written
        }
        i = semi;
    }
    return out;
}

size_t TRibbonMarkup::ButtonCount() const {
    size_t n = 0;
    for (const TMarkupGroup& g : groups) n += g.buttons.size();
    return n;
}

const TMarkupButton* TRibbonMarkup::FindButton(const std::wstring& id) const {
    for (const TMarkupGroup& g : groups)
        for (const TMarkupButton& b : g.buttons)
            if (b.id == id) return &b;
    return nullptr;
}

TRibbonMarkup ParseRibbonMarkup(const std::wstring& xml) {
    TRibbonMarkup markup;
    bool sawCustomUi = false;
    TMarkupGroup* group = nullptr;
    size_t at = 0;
    while ((at = xml.find(L'<', at)) != std::wstring::npos) {
        if (xml.compare(at, 4, L"<!--") == 0) {
            const size_t end = xml.find(L"-->", at + 4);
            if (end == std::wstring::npos) Fail("unterminated comment");
            at = end + 3;
            continue;
        }
        if (xml.compare(at, 2, L"<?") == 0 || xml.compare(at, 2, L"<!") == 0) {
            const size_t end = xml.find(L'>', at);
            if (end == std::wstring::npos) Fail("unterminated declaration");
            at = end + 1;
            continue;
        }
        const Tag tag = ReadTag(xml, at);
        if (tag.name == L"customUI" && !tag.closing) {
            sawCustomUi = true;
            markup.onLoad = AttributeOf(tag, L"onLoad");
        } else if (tag.name == L"group") {
            if (tag.closing) {
                group = nullptr;
            } else {
                markup.groups.push_back({AttributeOf(tag, L"id"), AttributeOf(tag, L"label"), {}});
                group = tag.selfClosing ? nullptr : &markup.groups.back();
            }
        } else if (tag.name == L"button" && !tag.closing && group) {
            group->buttons.push_back({AttributeOf(tag, L"id"), AttributeOf(tag, L"label"),
                                      AttributeOf(tag, L"screentip"), AttributeOf(tag, L"supertip"),
                                      AttributeOf(tag, L"onAction"), AttributeOf(tag, L"getImage")});
        }
    }
    if (!sawCustomUi) Fail("no customUI element");
    return markup;
}

} // namespace qs::standin
