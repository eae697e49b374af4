#include "frontend/NumericEdit.h"

namespace ombrel {

bool NumericEditAccepts(std::string_view text, bool wholeTextSelected, char typed, char decimalSeparator) {
    const bool digit = typed >= '0' && typed <= '9';
    if (!digit && typed != decimalSeparator && typed != '-') return typed == '.' || typed == kBackspace;
    if (typed == '-') return text.empty() || wholeTextSelected;
    if (typed == decimalSeparator) return text.find(decimalSeparator) == std::string_view::npos;
    return true;
}

}  // namespace ombrel
