#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <pugixml.hpp>

// The XML DOM service over pugixml. Node handles are pugixml's own value types (a missing node
// is an empty handle); texts inside the DOM are UTF-8.
namespace tdb::xml {

// The byte encoding a document was read in, and is written back in.
enum class Encoding { Utf8, Utf16LE, Utf16BE, Latin1, Windows1252, Latin9 };

class Document {
public:
    // Parses the file at `file`. UTF-8 (with or without BOM), UTF-16 LE/BE with BOM, and
    // documents declared ISO-8859-1, windows-1252 or ISO-8859-15 are read. Never expands a DTD
    // entity or reads another file. Throws tdb::Error naming the file, and for a document that
    // is not well-formed the line and column, when the file is missing, unreadable, not
    // well-formed or without a root element.
    //
    // An entity reference other than the five predefined ones and character references stays
    // in the text literally ("&name;"): the DTD is kept as a node but never applied.
    static Document load(const std::filesystem::path& file);
    // The same for bytes already in memory; `file` names them in messages and becomes
    // sourceFile().
    static Document parse(std::string_view bytes, const std::filesystem::path& file);

    Document(Document&&) noexcept;
    Document& operator=(Document&&) noexcept;
    ~Document();

    pugi::xml_document& dom();
    const pugi::xml_document& dom() const;
    pugi::xml_node root() const; // the document element
    Encoding encoding() const;
    const std::filesystem::path& sourceFile() const;
    // The encoding name of the XML declaration as read ("" when there was none, or no
    // encoding in it).
    const std::string& declaredEncoding() const;

    // Writes the whole document to `file` in the encoding it was loaded in, with a declaration
    // true to the bytes written (none added to a UTF-8 document that had none; a character the
    // encoding lacks as a character reference), through a temporary file renamed into place.
    // A failed save leaves an earlier file of that name untouched. Throws tdb::Error.
    //
    // Should markup itself (a name, comment, CDATA section or processing instruction) hold a
    // character an 8-bit encoding lacks, where no character reference may stand, the document
    // is written in UTF-8 instead, its declaration saying so.
    void save(const std::filesystem::path& file) const;
    // The bytes save() would write.
    std::string serialize() const;

private:
    Document();
    // `pristine`: the bytes as given, for the place of a fault; without them the file is read
    // again should the parser fail.
    static Document parseOwned(std::string bytes, const std::filesystem::path& file,
                               std::optional<std::string_view> pristine);
    // The bytes of save() and serialize(), handed to `out` piece by piece.
    void write(pugi::xml_writer& out) const;
    struct State;
    std::unique_ptr<State> state_;
};

// The whole text content of a node: all its descendant text and CDATA, in document order (the
// DOM's text property), UTF-8.
std::string textContent(pugi::xml_node node);

// The element's content becomes `utf8` alone (all children removed first); empty text leaves
// the element without children.
void setText(pugi::xml_node element, std::string_view utf8);

// Nodes matching an XPath location path, in document order. Throws tdb::Error for a path
// that is not a valid XPath expression or does not select nodes.
pugi::xpath_node_set selectNodes(pugi::xml_node context, const char* path);

// A new element `name` appended as the last child of `parent`. Throws tdb::Error when there
// is no parent or it cannot hold elements.
pugi::xml_node appendElement(pugi::xml_node parent, std::string_view name);

// Sets attribute `name` of `element` to `utf8`, adding it when missing. Throws tdb::Error
// when there is no element.
void setAttribute(pugi::xml_node element, std::string_view name, std::string_view utf8);

// Takes `child` and everything below it out of `parent`. Throws tdb::Error when there is no
// such node or it is not a child of `parent`.
void removeChild(pugi::xml_node parent, pugi::xml_node child);

} // namespace tdb::xml
