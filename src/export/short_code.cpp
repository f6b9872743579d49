#include "export/short_code.h"

#include "services/cp1252.h"

namespace tdb::exporter {
namespace {

constexpr std::size_t kCodeWidth = 10;

// A fixed-width column cannot tell trailing blanks from its padding: "AULA DE 1 " and
// "AULA DE 1" are one key there, so they are one code here.
std::string_view withoutTrailingBlanks(std::string_view text) {
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

bool inList(const CodeList& list, std::string_view code) {
    return list.contains(withoutTrailingBlanks(code));
}

std::string_view trimControls(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) < 33) {
        text.remove_prefix(1);
    }
    while (!text.empty() && static_cast<unsigned char>(text.back()) < 33) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

std::string AllocateShortCode(std::string_view source, ShortCodeList& list, Trim trim,
                              ListEntry entry) {
    std::string_view baseView = source.substr(0, kCodeWidth);
    if (trim == Trim::AfterCut) {
        baseView = trimControls(baseView);
    }
    std::string base(baseView);
    std::string candidate;
    std::string final;

    if (inList(list.entries, base) || inList(list.given, base)) {
        if (base.size() == kCodeWidth) {
            base.pop_back();
        }
        unsigned& counter = list.nextCounter[cp1252::folded(base)];
        if (counter == 0) {
            counter = 1;
        }
        for (;; ++counter) {
            std::string digits = std::to_string(counter);
            candidate = base + digits;
            if (inList(list.entries, candidate)) {
                continue;
            }
            final = candidate.size() <= kCodeWidth
                        ? candidate
                        : candidate.substr(0, 8) + candidate.substr(candidate.size() - 2);
            if (candidate.size() > kCodeWidth && inList(list.given, final)) {
                final = base.substr(0, kCodeWidth - digits.size()) + digits;
            }
            if (inList(list.given, final)) {
                continue;
            }
            break;
        }
    } else {
        candidate = base;
        final = base;
    }

    list.entries.append(
        withoutTrailingBlanks(entry == ListEntry::CodeBeforeCut ? candidate : final));
    list.given.append(withoutTrailingBlanks(final));
    return final;
}

} // namespace tdb::exporter
