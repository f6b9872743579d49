#include "formats/exchange_document.h"

#include "services/cp1252.h"
#include "services/error.h"

#include <cstring>

namespace tdb::exchange {
namespace {

bool named(pugi::xml_node node, const char* name) {
    return node.type() == pugi::node_element && std::strcmp(node.name(), name) == 0;
}

// Element children by name, searched inside pugixml: one library call per element found,
// not several per child. A processing instruction may carry the same name and is passed over.
pugi::xml_node nextNamed(pugi::xml_node node, const char* name) {
    node = node.next_sibling(name);
    while (node.type() != pugi::node_element && node.type() != pugi::node_null) {
        node = node.next_sibling(name);
    }
    return node;
}

pugi::xml_node firstNamed(pugi::xml_node parent, const char* name) {
    pugi::xml_node node = parent.child(name);
    return node.type() == pugi::node_element || node.type() == pugi::node_null
               ? node
               : nextNamed(node, name);
}

bool hasSeq(pugi::xml_node list, std::string_view name) {
    // The first `seq` attribute, as the path's predicate reads it should there be two.
    pugi::xml_attribute seq = list.attribute("seq");
    return seq && name == seq.value();
}

std::string_view trimmed(std::string_view text) {
    // Bytes up to 32 are exactly the code points up to 32 in UTF-8.
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) {
        ++begin;
    }
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) {
        --end;
    }
    return text.substr(begin, end - begin);
}

} // namespace

Item::Item(pugi::xml_node node, std::size_t position) : node_(node), position_(position) {
    for (pugi::xml_node child = firstNamed(node, "salida"); child;
         child = nextNamed(child, "salida")) {
        if (count_ < kKept) {
            first_[count_] = child;
        }
        ++count_;
    }
}

pugi::xml_node Item::field(std::size_t k) const {
    if (k >= count_) {
        return {};
    }
    if (k < kKept) {
        return first_[k];
    }
    pugi::xml_node child = first_[kKept - 1];
    for (std::size_t seen = kKept - 1; seen < k; ++seen) {
        child = nextNamed(child, "salida");
    }
    return child;
}

std::string Item::fieldText(std::size_t k) const {
    pugi::xml_node f = field(k);
    return f ? exchange::fieldText(f) : std::string();
}

std::vector<std::pair<std::string, std::string>> Item::namedFields() const {
    std::vector<std::pair<std::string, std::string>> fields;
    fields.reserve(count_);
    for (pugi::xml_node child = firstNamed(node_, "salida"); child;
         child = nextNamed(child, "salida")) {
        if (pugi::xml_attribute dato = child.attribute("dato")) {
            fields.emplace_back(cp1252::fromUtf8(dato.value()), exchange::fieldText(child));
        }
    }
    return fields;
}

// The same nodes as /SERVICIO/SALIDAS/listasal[@seq="NAME"]/listasal, walked directly: the
// export asks for seven lists of a document that may hold many thousand items.
std::vector<Item> listItems(const xml::Document& document, std::string_view listName) {
    std::vector<pugi::xml_node> nodes;
    pugi::xml_node root = document.root();
    if (!named(root, "SERVICIO")) {
        return {};
    }
    for (pugi::xml_node section = firstNamed(root, "SALIDAS"); section;
         section = nextNamed(section, "SALIDAS")) {
        for (pugi::xml_node list = firstNamed(section, "listasal"); list;
             list = nextNamed(list, "listasal")) {
            if (!hasSeq(list, listName)) {
                continue;
            }
            for (pugi::xml_node item = firstNamed(list, "listasal"); item;
                 item = nextNamed(item, "listasal")) {
                nodes.push_back(item);
            }
        }
    }
    std::vector<Item> items;
    items.reserve(nodes.size());
    for (pugi::xml_node node : nodes) {
        items.emplace_back(node, items.size() + 1);
    }
    return items;
}

std::string fieldText(pugi::xml_node field) {
    pugi::xml_node first = field.first_child();
    if (first && !first.next_sibling() &&
        (first.type() == pugi::node_pcdata || first.type() == pugi::node_cdata)) {
        return cp1252::fromUtf8(trimmed(first.value())); // the common field, without a copy
    }
    return cp1252::fromUtf8(trimmed(xml::textContent(field)));
}

pugi::xml_node appendField(pugi::xml_node parent, std::string_view dato,
                           std::string_view ansiValue) {
    pugi::xml_node field = xml::appendElement(parent, "salida");
    xml::setAttribute(field, "dato", cp1252::toUtf8(dato));
    xml::setText(field, cp1252::toUtf8(ansiValue));
    return field;
}

pugi::xml_node appendList(pugi::xml_node parent, std::string_view seq) {
    pugi::xml_node list = xml::appendElement(parent, "listasal");
    xml::setAttribute(list, "seq", cp1252::toUtf8(seq));
    return list;
}

std::filesystem::path resultFileName(const std::filesystem::path& chosenFile) {
    return chosenFile.parent_path() / ("ResultadoDorimo" + chosenFile.filename().string());
}

} // namespace tdb::exchange
