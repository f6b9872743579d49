#pragma once

#include "services/xml_document.h"

#include <array>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The exchange document: lists, items and fields of its output section SALIDAS, read by the
// export, and the result document's elements, written by the import. Values handed in and out
// are Windows-1252 ("ANSI") texts, as the tables hold them.
namespace tdb::exchange {

// One item of a list, with its `salida` children (the fields) in document order.
class Item {
public:
    Item(pugi::xml_node node, std::size_t position);

    pugi::xml_node node() const { return node_; }
    // 1-based position of the item within its list, for messages.
    std::size_t position() const { return position_; }
    std::size_t fieldCount() const { return count_; }
    // An item with fewer than two fields is skipped by every list but INTERVALOS.
    bool isShort() const { return count_ < 2; }
    // Field text of field k (0-based); the empty text when the item has no field k.
    std::string fieldText(std::size_t k) const;
    // Every field that carries a `dato` attribute, as (dato, field text), in document order;
    // the `dato` value is converted to ANSI text but not trimmed.
    std::vector<std::pair<std::string, std::string>> namedFields() const;

private:
    pugi::xml_node field(std::size_t k) const;

    // The first fields are kept at hand (readers ask for fields 0 to 4); items are many, so
    // they stay off the heap.
    static constexpr std::size_t kKept = 6;
    pugi::xml_node node_;
    std::size_t position_;
    std::size_t count_ = 0;
    std::array<pugi::xml_node, kKept> first_{};
};

// The items of list NAME: the `listasal` children of every `listasal` child of /SERVICIO/SALIDAS
// whose `seq` equals NAME exactly, in document order (short items included). A document
// without the list, or whose root is not SERVICIO, has none.
std::vector<Item> listItems(const xml::Document& document, std::string_view listName);

// The text content of a field element with every character of code 32 or less removed at both
// ends, as ANSI text.
std::string fieldText(pugi::xml_node field);

// Writing rules of the result document. `ansiValue` is written as read, untrimmed; an empty
// value leaves the element without text.
pugi::xml_node appendField(pugi::xml_node parent, std::string_view dato,
                           std::string_view ansiValue);
pugi::xml_node appendList(pugi::xml_node parent, std::string_view seq);

// Folder of the chosen file + "ResultadoDorimo" + the chosen file's name.
std::filesystem::path resultFileName(const std::filesystem::path& chosenFile);

} // namespace tdb::exchange
