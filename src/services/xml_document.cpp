#include "services/xml_document.h"

#include "services/atomic_file.h"
#include "services/error.h"
#include "services/xml_encoding.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tdb::xml {
namespace {

// What a DOM keeps: declaration, comments, processing instructions, the doctype as a node and
// CDATA; the five predefined entities and character references are decoded, nothing else.
// Whitespace-only text between elements is dropped, as a DOM that does not preserve white
// space does; text with anything else in it is kept whole.
constexpr unsigned kParseFlags = pugi::parse_default | pugi::parse_declaration |
                                 pugi::parse_comments | pugi::parse_pi | pugi::parse_doctype;

std::string quoted(const std::filesystem::path& file) {
    return file.string();
}

// Line and column (1-based, counted in characters) of `offset` within UTF-8 `text`. CR LF and
// a lone CR end a line as LF does.
std::pair<std::size_t, std::size_t> positionOf(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t i = 0; i < offset; ++i) {
        char c = text[i];
        if (c == '\n' || (c == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) {
            ++line;
            column = 1;
        } else if (c != '\r' && (static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++column;
        }
    }
    return {line, column};
}

Error malformed(const std::filesystem::path& file, std::string_view text, std::size_t offset,
                const std::string& what) {
    auto [line, column] = positionOf(text, offset);
    return Error("El archivo " + quoted(file) + " no es un documento XML válido: línea " +
                 std::to_string(line) + ", columna " + std::to_string(column) + ": " + what);
}

// The end tag's name at `offset` (just after "</"), for the message.
std::string endTagName(std::string_view text, std::size_t offset) {
    std::size_t end = offset;
    while (end < text.size() && end - offset < 80 && text[end] != '>' && text[end] != ' ' &&
           text[end] != '\t' && text[end] != '\r' && text[end] != '\n') {
        ++end;
    }
    return std::string(text.substr(offset, end - offset));
}

// Whether only white space follows `offset`: the file ended with elements still open.
bool atEnd(std::string_view text, std::size_t offset) {
    for (std::size_t i = offset; i < text.size(); ++i) {
        if (text[i] != ' ' && text[i] != '\t' && text[i] != '\r' && text[i] != '\n') {
            return false;
        }
    }
    return true;
}

std::string describe(const pugi::xml_parse_result& result, std::string_view text) {
    auto offset = static_cast<std::size_t>(result.offset);
    switch (result.status) {
    case pugi::status_bad_pi:
        return "declaración XML o instrucción de proceso mal formada";
    case pugi::status_bad_comment:
        return "comentario mal formado";
    case pugi::status_bad_cdata:
        return "sección CDATA mal formada";
    case pugi::status_bad_doctype:
        return "declaración DOCTYPE mal formada";
    case pugi::status_bad_pcdata:
        return "texto mal formado";
    case pugi::status_bad_start_element:
        return "etiqueta de apertura mal formada";
    case pugi::status_bad_attribute:
        return "atributo mal formado";
    case pugi::status_bad_end_element:
        return "etiqueta de cierre mal formada";
    case pugi::status_end_element_mismatch:
        if (atEnd(text, offset)) {
            return "etiqueta sin cerrar";
        }
        return "la etiqueta de cierre </" + endTagName(text, offset) +
               "> no corresponde a la etiqueta abierta";
    case pugi::status_unrecognized_tag:
        return "marca no reconocida tras «<»";
    case pugi::status_no_document_element:
        return "no tiene elemento raíz";
    case pugi::status_out_of_memory:
        return "memoria insuficiente";
    default:
        return std::string("error del analizador (") + result.description() + ")";
    }
}

std::string readWhole(const std::filesystem::path& file) {
    auto cannot = [&](const std::string& why) {
        return Error("No se puede leer el archivo " + quoted(file) + ": " + why);
    };
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        if (err == ENOENT || err == ENOTDIR) {
            throw Error("No existe el archivo " + quoted(file));
        }
        throw cannot(err == EACCES ? std::string("permiso denegado") : std::strerror(err));
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        throw cannot(std::strerror(errno));
    }
    if (S_ISDIR(info.st_mode)) {
        throw cannot("es una carpeta");
    }
    std::string bytes;
    if (S_ISREG(info.st_mode) && info.st_size > 0) {
        bytes.resize(static_cast<std::size_t>(info.st_size));
    }
    // Read straight into the string; the file may still grow, or be a pipe without a size.
    std::size_t used = 0;
    while (true) {
        if (used == bytes.size()) {
            char probe[4096];
            ssize_t n = ::read(fd, probe, sizeof probe);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                throw cannot(std::strerror(errno));
            }
            if (n == 0) {
                break;
            }
            bytes.resize(std::max<std::size_t>(2 * bytes.size(), 1 << 16));
            std::memcpy(bytes.data() + used, probe, static_cast<std::size_t>(n));
            used += static_cast<std::size_t>(n);
            continue;
        }
        ssize_t n = ::read(fd, bytes.data() + used, bytes.size() - used);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw cannot(std::strerror(errno));
        }
        if (n == 0) {
            break;
        }
        used += static_cast<std::size_t>(n);
    }
    bytes.resize(used);
    return bytes;
}

bool startsWith(std::string_view bytes, std::string_view prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
}

// Visits every node below `start` in document order with its depth (1 for the children of
// `start`), without recursion: documents may nest deeper than a stack would allow.
template <class Visit> void forEachDescendant(pugi::xml_node start, Visit visit) {
    pugi::xml_node cur = start.first_child();
    std::size_t depth = 1;
    while (cur) {
        visit(cur, depth);
        if (pugi::xml_node child = cur.first_child()) {
            cur = child;
            ++depth;
            continue;
        }
        while (cur != start && !cur.next_sibling()) {
            cur = cur.parent();
            --depth;
        }
        if (cur == start) {
            break;
        }
        cur = cur.next_sibling();
    }
}

bool isAscii(const char* s) {
    for (; *s != 0; ++s) {
        if (static_cast<unsigned char>(*s) >= 0x80) {
            return false;
        }
    }
    return true;
}

// Indentation costs a line's depth in bytes: beyond this depth the document is written
// without it, so that a pathologically deep document cannot grow quadratically.
constexpr std::size_t kMaxIndentedDepth = 100;

struct Shape {
    bool markupFits = true; // every character outside text and attribute values is writable
    std::size_t depth = 0;
};

// Whether every character outside text and attribute values (where a character reference
// can stand in) exists in `encoding`, and how deep the tree is.
//
// This runs over every node before each save, so it asks pugixml no more than it must: the
// walk is pugixml's own (iterative, so any depth is safe), text nodes are asked only for their
// type, and a name that many elements share (the same characters, as copies of one node have
// them) is checked once.
class ShapeWalker final : public pugi::xml_tree_walker {
public:
    explicit ShapeWalker(Encoding encoding)
        : eightBit_(encoding::isEightBit(encoding)), encoding_(encoding) {}

    bool for_each(pugi::xml_node& node) override {
        // depth() counts from 0 for the children of the walk's start, the document.
        shape.depth = std::max(shape.depth, static_cast<std::size_t>(depth()) + 1);
        if (!eightBit_ || !shape.markupFits) {
            return true;
        }
        switch (node.type()) {
        case pugi::node_pcdata:
            break;
        case pugi::node_element: {
            bool ok = fits(node.name(), lastElementName_);
            for (pugi::xml_attribute a = node.first_attribute(); ok && a; a = a.next_attribute()) {
                ok = fits(a.name(), lastAttributeName_);
            }
            shape.markupFits = ok;
            break;
        }
        case pugi::node_declaration:
            for (pugi::xml_attribute a = node.first_attribute(); shape.markupFits && a;
                 a = a.next_attribute()) {
                shape.markupFits = fits(a.name(), lastOther_) && fits(a.value(), lastOther_);
            }
            break;
        case pugi::node_pi:
            shape.markupFits = fits(node.name(), lastOther_) && fits(node.value(), lastOther_);
            break;
        case pugi::node_cdata:
        case pugi::node_comment:
        case pugi::node_doctype:
            shape.markupFits = fits(node.value(), lastOther_);
            break;
        default:
            break;
        }
        return true;
    }

    Shape shape;

private:
    bool fits(const char* s, const char*& last) const {
        if (s == last) {
            return true;
        }
        if (isAscii(s) || encoding::representable(s, encoding_)) {
            last = s;
            return true;
        }
        return false;
    }

    bool eightBit_;
    Encoding encoding_;
    const char* lastElementName_ = nullptr; // the last name found writable, by kind
    const char* lastAttributeName_ = nullptr;
    const char* lastOther_ = nullptr;
};

Shape shapeOf(const pugi::xml_document& doc, Encoding encoding) {
    ShapeWalker walker(encoding);
    pugi::xml_node start = doc; // a handle: the walk changes nothing
    start.traverse(walker);
    return walker.shape;
}

void appendEscaped(std::string& out, std::string_view value) {
    for (char c : value) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out.push_back(c);
        }
    }
}

// The XML declaration for bytes written in `output`: the one read, with its encoding name
// replaced when it no longer tells the truth, and one added where the bytes need it.
std::string declarationText(pugi::xml_node declaration, Encoding output) {
    std::vector<std::pair<std::string, std::string>> attributes;
    bool hasEncoding = false;
    for (pugi::xml_attribute a : declaration.attributes()) {
        std::string name = a.name();
        std::string value = a.value();
        if (name == "encoding") {
            hasEncoding = true;
            if (!encoding::nameFits(value, output)) {
                value = encoding::canonicalName(output);
            }
        }
        attributes.emplace_back(std::move(name), std::move(value));
    }
    if (!hasEncoding && encoding::isEightBit(output)) {
        auto at = attributes.begin();
        if (at != attributes.end() && at->first == "version") {
            ++at;
        }
        attributes.emplace(at, "encoding", std::string(encoding::canonicalName(output)));
    }
    std::string out = "<?xml";
    for (const auto& [name, value] : attributes) {
        out += ' ';
        out += name;
        out += "=\"";
        appendEscaped(out, value);
        out += '"';
    }
    out += "?>\n";
    return out;
}

struct StringWriter final : pugi::xml_writer {
    std::string& out;
    explicit StringWriter(std::string& target) : out(target) {}
    void write(const void* data, std::size_t size) override {
        out.append(static_cast<const char*>(data), size);
    }
};

struct FileWriter final : pugi::xml_writer {
    AtomicFileWriter& file;
    explicit FileWriter(AtomicFileWriter& target) : file(target) {}
    void write(const void* data, std::size_t size) override {
        file.write(std::string_view(static_cast<const char*>(data), size));
    }
};

} // namespace

struct Document::State {
    pugi::xml_document doc;
    std::string buffer; // the UTF-8 text the document was parsed from, in place
    Encoding encoding = Encoding::Utf8;
    bool utf8Bom = false;
    std::string declaredEncoding;
    std::filesystem::path source;
};

Document::Document() : state_(std::make_unique<State>()) {}
Document::Document(Document&&) noexcept = default;
Document& Document::operator=(Document&&) noexcept = default;
Document::~Document() = default;

Document Document::load(const std::filesystem::path& file) {
    return parseOwned(readWhole(file), file, std::nullopt);
}

Document Document::parse(std::string_view bytes, const std::filesystem::path& file) {
    return parseOwned(std::string(bytes), file, bytes);
}

Document Document::parseOwned(std::string bytes, const std::filesystem::path& file,
                              std::optional<std::string_view> pristine) {
    Document document;
    State& state = *document.state_;
    state.source = file;

    // Everything reaches pugixml as UTF-8: it would read a windows-1252 or ISO-8859-15
    // document as UTF-8 without a word.
    const std::string_view raw = bytes;
    std::size_t skip = 0;               // a byte order mark
    std::optional<bool> utf16BigEndian; // or the code page in state.encoding
    if (startsWith(raw, "\xEF\xBB\xBF")) {
        state.utf8Bom = true;
        skip = 3;
    } else if (startsWith(raw, std::string_view("\xFF\xFE\0\0", 4)) ||
               startsWith(raw, std::string_view("\0\0\xFE\xFF", 4))) {
        throw Error("El archivo " + quoted(file) +
                    " está en UTF-32, una codificación que no se puede leer");
    } else if (startsWith(raw, "\xFF\xFE") || startsWith(raw, "\xFE\xFF")) {
        utf16BigEndian = raw[0] == '\xFE';
        skip = 2;
    } else if (startsWith(raw, std::string_view("<\0?\0", 4)) ||
               startsWith(raw, std::string_view("\0<\0?", 4))) {
        // UTF-16 without its mark still shows by the declaration's first two characters.
        utf16BigEndian = raw[0] == '\0';
    } else if (auto name = encoding::declaredName(raw)) {
        auto declared = encoding::byName(*name);
        if (!declared) {
            throw Error("El archivo " + quoted(file) + " declara la codificación «" +
                        std::string(*name) + "», que no se puede leer");
        }
        // A UTF-16 name over 8-bit bytes is false; the bytes are read as UTF-8.
        if (encoding::isEightBit(*declared)) {
            state.encoding = *declared;
        }
    }
    if (utf16BigEndian) {
        state.encoding = *utf16BigEndian ? Encoding::Utf16BE : Encoding::Utf16LE;
    }
    const bool transcoded = state.encoding != Encoding::Utf8;
    auto decode = [&] {
        return utf16BigEndian ? encoding::utf16ToUtf8(raw.substr(skip), *utf16BigEndian)
                              : encoding::eightBitToUtf8(raw, state.encoding);
    };

    // The text is parsed in place and kept with the document; line and column of a fault
    // are counted in the text as it was before the parser wrote into it.
    std::string_view text;
    if (transcoded) {
        encoding::Decoded decoded = decode();
        if (decoded.fault != nullptr) {
            throw malformed(file, decoded.text, decoded.badAt, decoded.fault);
        }
        state.buffer = std::move(decoded.text);
        text = state.buffer;
    } else {
        const char* fault = nullptr;
        std::size_t bad = encoding::firstInvalidUtf8(raw.substr(skip), &fault);
        if (bad != std::string_view::npos) {
            throw malformed(file, raw.substr(skip), bad, fault);
        }
        state.buffer = std::move(bytes);
        text = std::string_view(state.buffer).substr(skip);
    }
    auto original = [&]() -> std::string {
        if (transcoded) {
            return decode().text; // `bytes` is untouched
        }
        if (pristine) {
            return std::string(pristine->substr(skip));
        }
        try {
            return readWhole(file).substr(skip);
        } catch (const Error&) {
            return {}; // gone meanwhile: the message keeps the fault, with a rougher place
        }
    };

    char* data = state.buffer.data() + (text.data() - state.buffer.data());
    pugi::xml_parse_result result =
        state.doc.load_buffer_inplace(data, text.size(), kParseFlags, pugi::encoding_utf8);
    if (!result) {
        std::string before = original();
        auto offset = static_cast<std::size_t>(result.offset);
        if (result.status == pugi::status_no_document_element ||
            (result.status == pugi::status_end_element_mismatch && atEnd(before, offset))) {
            offset = before.size();
        }
        throw malformed(file, before, offset, describe(result, before));
    }
    // pugixml accepts several top-level elements; a well-formed document has exactly one.
    int roots = 0;
    for (pugi::xml_node node : state.doc.children()) {
        if (node.type() != pugi::node_element) {
            continue;
        }
        if (++roots == 2) {
            // Parsed in place, the name points into the text, just after its '<'.
            auto at = static_cast<std::size_t>(std::max<std::ptrdiff_t>(node.name() - data - 1, 0));
            throw malformed(file, original(), at, "hay más de un elemento raíz");
        }
    }
    if (roots == 0) {
        std::string before = original();
        throw malformed(file, before, before.size(), "no tiene elemento raíz");
    }
    pugi::xml_node declaration = state.doc.first_child();
    if (declaration.type() == pugi::node_declaration) {
        state.declaredEncoding = declaration.attribute("encoding").value();
    }
    return document;
}

pugi::xml_document& Document::dom() {
    return state_->doc;
}
const pugi::xml_document& Document::dom() const {
    return state_->doc;
}
pugi::xml_node Document::root() const {
    return state_->doc.document_element();
}
Encoding Document::encoding() const {
    return state_->encoding;
}
const std::filesystem::path& Document::sourceFile() const {
    return state_->source;
}
const std::string& Document::declaredEncoding() const {
    return state_->declaredEncoding;
}

void Document::write(pugi::xml_writer& out) const {
    Encoding output = state_->encoding;
    const Shape shape = shapeOf(state_->doc, output);
    if (!shape.markupFits) {
        output = Encoding::Utf8;
    }
    const unsigned format =
        shape.depth > kMaxIndentedDepth ? pugi::format_raw : pugi::format_indent;
    // pugixml writes UTF-8 and escapes markup characters; the transcoder turns what the output
    // lacks into character references, which pugixml's own 8-bit writer would not.
    const bool bom = output == Encoding::Utf8 && state_->utf8Bom;
    encoding::Utf8Transcoder transcoder(output, bom, out);
    for (pugi::xml_node node : state_->doc.children()) {
        if (node.type() == pugi::node_declaration) {
            transcoder.write(declarationText(node, output));
        } else {
            node.print(transcoder, "\t", format, pugi::encoding_utf8);
        }
    }
    transcoder.finish();
}

std::string Document::serialize() const {
    std::string bytes;
    StringWriter writer(bytes);
    write(writer);
    return bytes;
}

void Document::save(const std::filesystem::path& file) const {
    // Written as it is produced: neither the whole text nor its conversion is ever held.
    AtomicFileWriter target(file);
    FileWriter writer(target);
    write(writer);
    target.commit();
}

std::string textContent(pugi::xml_node node) {
    switch (node.type()) {
    case pugi::node_null:
        return {};
    case pugi::node_element:
    case pugi::node_document:
        break;
    default:
        return node.value();
    }
    // The common field: one text child.
    pugi::xml_node first = node.first_child();
    if (first && !first.next_sibling() &&
        (first.type() == pugi::node_pcdata || first.type() == pugi::node_cdata)) {
        return first.value();
    }
    std::string text;
    forEachDescendant(node, [&](pugi::xml_node n, std::size_t) {
        if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) {
            text += n.value();
        }
    });
    return text;
}

void setText(pugi::xml_node element, std::string_view utf8) {
    if (element.type() != pugi::node_element) {
        throw Error("No se puede poner el texto «" + std::string(utf8.substr(0, 80)) +
                    "»: falta el elemento");
    }
    element.remove_children();
    if (!utf8.empty()) {
        element.append_child(pugi::node_pcdata).set_value(utf8.data(), utf8.size());
    }
}

pugi::xpath_node_set selectNodes(pugi::xml_node context, const char* path) {
    if (path == nullptr) {
        throw Error("Falta la ruta XPath de la consulta");
    }
    try {
        pugi::xpath_node_set nodes = context.select_nodes(path);
        nodes.sort();
        return nodes;
    } catch (const pugi::xpath_exception& e) {
        throw Error(std::string("La ruta XPath «") + path +
                    "» no es válida: " + e.result().description());
    }
}

pugi::xml_node appendElement(pugi::xml_node parent, std::string_view name) {
    pugi::xml_node element = parent.append_child(std::string(name).c_str());
    if (!element) {
        throw Error("No se puede añadir el elemento <" + std::string(name) +
                    ">: falta el elemento padre o no admite hijos");
    }
    return element;
}

void setAttribute(pugi::xml_node element, std::string_view name, std::string_view utf8) {
    if (element.type() != pugi::node_element) {
        throw Error("No se puede poner el atributo " + std::string(name) + ": falta el elemento");
    }
    std::string key(name);
    pugi::xml_attribute attribute = element.attribute(key.c_str());
    if (!attribute) {
        attribute = element.append_attribute(key.c_str());
    }
    attribute.set_value(utf8.data(), utf8.size());
}

void removeChild(pugi::xml_node parent, pugi::xml_node child) {
    if (!parent || !child || child.parent() != parent) {
        throw Error(std::string("No se puede quitar el nodo <") + child.name() + "> de <" +
                    parent.name() + ">: no es uno de sus hijos");
    }
    parent.remove_child(child);
}

} // namespace tdb::xml
