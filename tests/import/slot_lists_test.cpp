#include "import/slot_lists.h"

#include "formats/exchange_document.h"
#include "import/import_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace tdb::importer {
namespace {

std::string printed(const pugi::xml_node& node) {
    std::ostringstream out;
    node.print(out, "\t", pugi::format_indent, pugi::encoding_utf8);
    return out.str();
}

// The slot lists come out exactly as the exchange document's own helpers write them, whatever
// the texts hold: markup characters, blanks only, line ends, Windows-1252 characters, a NUL
// (where the DOM's text ends), nothing; and far past the lists whose markup is prepared.
TEST(SlotListWriter, WritesWhatTheExchangeHelpersWrite) {
    const std::vector<std::string> values = {
        "156",
        "A&B <C> \"D\" 'E'",
        "  ",
        "\t",
        "a\r\nb\rc",
        "M\xFAsica\x80",
        "",
        std::string("AB\0CD", 5),
        std::string("\0X", 2),
        "]]>",
        "&amp;",
        std::string(300, 'z'),
        "U1A",
        "R-01",
    };
    // Slots cycling through the values, so that each text stands in every field.
    std::vector<std::array<std::string, 6>> slots;
    for (std::size_t i = 0; i < 1100; ++i) {
        std::array<std::string, 6> slot;
        for (std::size_t k = 0; k < slot.size(); ++k) {
            slot[k] = values[(i + k * 5) % values.size()];
        }
        if (i >= 1000) {
            slot[i % slot.size()] = "sin marcar " + std::to_string(i);
        }
        slots.push_back(slot);
    }

    pugi::xml_document expected;
    pugi::xml_node expectedList = expected.append_child("SALIDAS").append_child("listasal");
    for (std::size_t i = 0; i < slots.size(); ++i) {
        pugi::xml_node slot = exchange::appendList(expectedList, "TRAMO_" + std::to_string(i + 1));
        for (std::size_t k = 0; k < kSlotFields.size(); ++k) {
            exchange::appendField(slot, kSlotFields[k], slots[i][k]);
        }
    }

    FieldTexts texts;
    std::vector<SlotTexts> numbers;
    for (std::size_t i = 0; i < slots.size(); ++i) {
        SlotTexts slot;
        for (std::size_t k = 0; k < kSlotFields.size(); ++k) {
            slot[k] = texts.text(slots[i][k]);
        }
        // The last slots, each with a text of its own, are never marked used: they are
        // written all the same.
        if (i < 1000) {
            texts.use(slot);
        }
        numbers.push_back(slot);
    }
    EXPECT_EQ(texts.text(""), 0u);
    EXPECT_EQ(texts.text("156"), texts.text(std::string("156")));
    EXPECT_TRUE(texts.blank(texts.text("  ")));
    EXPECT_TRUE(texts.blank(texts.text("\t")));
    EXPECT_FALSE(texts.blank(texts.text("a\r\nb\rc")));

    pugi::xml_document actual;
    pugi::xml_node salidas = actual.append_child("SALIDAS");
    pugi::xml_node actualList = salidas.append_child("listasal");
    {
        // Fewer prepared lists than slots: the rest are named one by one.
        SlotListWriter writer(texts, salidas, 3);
        for (std::size_t i = 0; i < numbers.size(); ++i) {
            writer.append(actualList, i + 1, numbers[i]);
        }
    }
    EXPECT_EQ(test::describe(salidas), test::describe(expected.child("SALIDAS")))
        << "the scratch element is gone with the writer";
    EXPECT_EQ(printed(actual), printed(expected));

    // Equal texts share their characters instead of each holding a copy.
    std::vector<const char*> shared;
    for (pugi::xml_node slot : actualList.children("listasal")) {
        for (pugi::xml_node field : slot.children("salida")) {
            if (std::string_view(field.text().get()) == "156") {
                shared.push_back(field.text().get());
            }
        }
    }
    ASSERT_GT(shared.size(), 400u);
    EXPECT_EQ(std::count(shared.begin(), shared.end(), shared.front()), shared.size());
}

} // namespace
} // namespace tdb::importer
