#pragma once

#include "import/lookup_index.h"

#include <pugixml.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tdb::importer {

// The `dato` of the six fields of a slot list, in the order they are written.
inline constexpr std::array<const char*, 6> kSlotFields = {
    "X_ACTIVIDAD", "N_DIASEMANA", "X_TRAMO", "X_DEPCENTRO", "X_MATERIAOMC", "X_UNIDAD"};

// The texts of a slot's six fields, by their FieldTexts numbers.
using SlotTexts = std::array<std::uint32_t, kSlotFields.size()>;

// Whether `text` is empty once every character of code 32 or less is removed from both ends.
bool blankAfterTrim(std::string_view text);

// The distinct texts (ANSI, from the tables) the fields of the slot lists are written with,
// numbered: equal texts get equal numbers, the empty text 0.
class FieldTexts {
public:
    FieldTexts();

    std::uint32_t text(std::string_view ansi) { return text(ansi, TextIds::probe(ansi)); }
    std::uint32_t text(std::string_view ansi, const TextIds::Probe& probe);
    // Starts reading what text() with `probe` reads first (see TextIds::prefetch).
    void prefetch(const TextIds::Probe& probe) const { ids_.prefetch(probe); }
    // blankAfterTrim() of the text.
    bool blank(std::uint32_t text) const { return (flags_[text] & kBlank) != 0; }
    // Marks the texts of a slot that will be written.
    void use(const SlotTexts& texts) {
        for (std::uint32_t id : texts) {
            flags_[id] |= kUsed;
        }
    }

    std::size_t size() const { return flags_.size(); }
    std::string_view ansi(std::uint32_t text) const { return ids_.text(text); }
    bool used(std::uint32_t text) const { return (flags_[text] & kUsed) != 0; }
    // A NUL cuts the text short in the DOM, whose texts end there.
    bool hasNul(std::uint32_t text) const { return (flags_[text] & kHasNul) != 0; }

private:
    static constexpr std::uint8_t kBlank = 1;
    static constexpr std::uint8_t kUsed = 2;
    static constexpr std::uint8_t kHasNul = 4;

    TextIds ids_;
    std::vector<std::uint8_t> flags_;
};

// Writes the slot lists TRAMO_n of the result document: a list with its six fields, each field
// holding its text or nothing when the text is empty, exactly as exchange::appendList and
// exchange::appendField write them.
//
// A result holds hundreds of thousands of slots over a few thousand distinct texts, and a
// pugixml node given its name or value through the API carries its own copy of it. Here the
// texts in use and the markup of a slot list are parsed once into the document, every slot list
// is a copy of that markup and every field text a copy of one parsed text node: pugixml lets a
// copy point at the characters of a parsed node instead of allocating them again, so a slot
// costs its nodes alone. The parsed originals sit under a scratch element of `parent`, which
// the writer removes again when it goes: it must go before the document does.
class SlotListWriter {
public:
    // Parses the texts `texts` marks used and the markup of lists TRAMO_1 to TRAMO_`slots`.
    // Throws tdb::Error.
    SlotListWriter(const FieldTexts& texts, pugi::xml_node parent, std::size_t slots);
    SlotListWriter(const SlotListWriter&) = delete;
    SlotListWriter& operator=(const SlotListWriter&) = delete;
    ~SlotListWriter();

    // Appends list TRAMO_`ordinal` (1-based) with the six texts to `list`. Throws tdb::Error.
    void append(pugi::xml_node list, std::size_t ordinal, const SlotTexts& texts);
    // Starts reading the parsed texts a later append() of `texts` copies: most of them are
    // far apart in memory.
    void prefetch(const SlotTexts& texts) const {
        for (std::uint32_t id : texts) {
            if (id < addresses_.size()) {
                __builtin_prefetch(addresses_[id]);
            }
        }
    }

private:
    const FieldTexts& texts_;
    pugi::xml_node scratch_;
    std::vector<pugi::xml_node> nodes_;     // text number -> its parsed text node, if parsed
    std::vector<const void*> addresses_;    // and where that node lies
    std::vector<pugi::xml_node> templates_; // TRAMO_n at n - 1
};

} // namespace tdb::importer
