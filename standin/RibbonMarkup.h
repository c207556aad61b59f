// The ribbon markup that the add-in's GetCustomUI returns, read into groups of buttons: a small reader
// of the elements and attributes the stand-in draws (customUI onLoad, group, button). No windows here.
#pragma once

#include <string>
#include <vector>

namespace qs::standin {

struct TMarkupButton {
    std::wstring id, label, screentip, supertip, onAction, getImage;
};

struct TMarkupGroup {
    std::wstring id, label;
    std::vector<TMarkupButton> buttons;
};

struct TRibbonMarkup {
    std::wstring onLoad;              // the customUI element's onLoad callback; empty when absent
    std::vector<TMarkupGroup> groups; // in document order; buttons outside a group are dropped
    size_t ButtonCount() const;
    // The button with that id (case-sensitive, as ribbon ids are); null when absent.
    const TMarkupButton* FindButton(const std::wstring& id) const;
};

// Reads the markup; throws std::runtime_error naming the fault when it is not well-formed enough to read
// (an unterminated tag or attribute, a missing customUI element).
TRibbonMarkup ParseRibbonMarkup(const std::wstring& xml);

// The text of an attribute value with the five predefined entities and numeric references decoded.
std::wstring DecodeXmlText(const std::wstring& text);

} // namespace qs::standin
