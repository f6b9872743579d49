#include "import/slot_lists.h"

#include "services/cp1252.h"
#include "services/error.h"
#include "services/xml_document.h"

#include <string>

namespace tdb::importer {
namespace {

// Lists longer than this (a teacher with more slots) share the first list's markup and get
// their own name.
constexpr std::size_t kMaxTemplates = 1024;

[[noreturn]] void outOfMemory() {
    throw Error("No hay memoria suficiente para el documento de resultado");
}

Error cannotPrepare() {
    return Error("No se pueden preparar las listas de tramos del resultado");
}

// Text as the parser must see it to give it back unchanged: the options below decode only
// references, skip comments, keep blank texts and leave line ends alone.
void appendEscaped(std::string& out, std::string_view utf8) {
    for (char c : utf8) {
        if (c == '&') {
            out += "&amp;";
        } else if (c == '<') {
            out += "&lt;";
        } else {
            out += c;
        }
    }
}

constexpr unsigned kFragmentOptions = pugi::parse_escapes | pugi::parse_ws_pcdata;

} // namespace

bool blankAfterTrim(std::string_view text) {
    for (unsigned char c : text) {
        if (c > 32) {
            return false;
        }
    }
    return true;
}

FieldTexts::FieldTexts() {
    ids_.add({});
    flags_.push_back(kBlank);
}

std::uint32_t FieldTexts::text(std::string_view ansi, const TextIds::Probe& probe) {
    const std::uint32_t id = ids_.add(ansi, probe);
    if (id == flags_.size()) {
        std::uint8_t flags = blankAfterTrim(ansi) ? kBlank : 0;
        if (ansi.find('\0') != std::string_view::npos) {
            flags |= kHasNul;
        }
        flags_.push_back(flags);
    }
    return id;
}

SlotListWriter::SlotListWriter(const FieldTexts& texts, pugi::xml_node parent, std::size_t slots)
    : texts_(texts) {
    slots = std::min(std::max<std::size_t>(slots, 1), kMaxTemplates);
    // The texts become the text nodes of one element, side by side in memory: an empty
    // comment, which the parser skips, ends one text and starts the next.
    std::string fragment = "<v>";
    std::vector<std::uint32_t> parsed;
    for (std::uint32_t id = 1; id < texts.size(); ++id) {
        if (texts.used(id) && !texts.hasNul(id)) {
            appendEscaped(fragment, cp1252::toUtf8(texts.ansi(id)));
            fragment += "<!---->";
            parsed.push_back(id);
        }
    }
    fragment += "</v>";
    for (std::size_t n = 1; n <= slots; ++n) {
        fragment += "<listasal seq=\"TRAMO_" + std::to_string(n) + "\">";
        for (const char* dato : kSlotFields) {
            fragment += std::string("<salida dato=\"") + dato + "\"/>";
        }
        fragment += "</listasal>";
    }

    scratch_ = xml::appendElement(parent, "scratch");
    const pugi::xml_parse_result result = scratch_.append_buffer(
        fragment.data(), fragment.size(), kFragmentOptions, pugi::encoding_utf8);
    if (!result) {
        parent.remove_child(scratch_);
        throw Error(std::string("No se pueden preparar las listas de tramos del resultado: ") +
                    result.description());
    }
    nodes_.assign(texts.size(), pugi::xml_node());
    addresses_.assign(texts.size(), nullptr);
    pugi::xml_node text = scratch_.first_child().first_child();
    for (std::uint32_t id : parsed) {
        if (text.type() != pugi::node_pcdata) {
            parent.remove_child(scratch_);
            throw cannotPrepare();
        }
        nodes_[id] = text;
        addresses_[id] = text.internal_object();
        text = text.next_sibling();
    }
    for (pugi::xml_node list = scratch_.first_child().next_sibling(); list;
         list = list.next_sibling()) {
        templates_.push_back(list);
    }
    if (text || templates_.size() != slots) {
        parent.remove_child(scratch_);
        throw cannotPrepare();
    }
}

SlotListWriter::~SlotListWriter() {
    scratch_.parent().remove_child(scratch_);
}

void SlotListWriter::append(pugi::xml_node list, std::size_t ordinal, const SlotTexts& texts) {
    const bool own = ordinal == 0 || ordinal > templates_.size();
    pugi::xml_node slot = list.append_copy(templates_[own ? 0 : ordinal - 1]);
    if (!slot) {
        outOfMemory();
    }
    if (own && !slot.first_attribute().set_value(("TRAMO_" + std::to_string(ordinal)).c_str())) {
        outOfMemory();
    }
    std::size_t k = 0;
    for (pugi::xml_node field = slot.first_child(); field; field = field.next_sibling(), ++k) {
        const std::uint32_t id = texts[k];
        if (id == 0) {
            continue;
        }
        if (const pugi::xml_node parsed = id < nodes_.size() ? nodes_[id] : pugi::xml_node()) {
            if (!field.append_copy(parsed)) {
                outOfMemory();
            }
            continue;
        }
        // Not parsed (cut at a NUL, or never marked used): through the API, copied.
        const std::string utf8 = cp1252::toUtf8(texts_.ansi(id));
        if (!field.append_child(pugi::node_pcdata).set_value(utf8.data(), utf8.size())) {
            outOfMemory();
        }
    }
}

} // namespace tdb::importer
