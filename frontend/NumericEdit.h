#pragma once

#include <string_view>

namespace ombrel {

// The character a NumericEdit field receives for the backspace key.
inline constexpr char kBackspace = '\b';

// The filter of a NumericEdit field (total task weight, prior variance): whether one typed character
// may go into a field that holds text, or must be refused with the exclamation sound. Text the
// program puts into the field is never filtered. decimalSeparator is the current locale's ("."
// unless the locale says otherwise); the settings are always read in the "C" locale, so the widget
// passes ".".
//
// In this order: a character that is neither a digit, the separator nor "-" passes only when it is
// "." or backspace; "-" passes only into an empty field or over a wholly selected text; the separator
// passes only when the text holds none yet; every other digit passes.
bool NumericEditAccepts(std::string_view text, bool wholeTextSelected, char typed,
                        char decimalSeparator = '.');

}  // namespace ombrel
