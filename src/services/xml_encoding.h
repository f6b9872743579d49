#pragma once

#include "services/xml_document.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Byte encodings of XML documents on the way into and out of the DOM, whose texts are UTF-8.
namespace tdb::xml::encoding {

// The encoding an XML declaration's name stands for, compared ignoring case with the usual
// aliases (latin1, cp1252, latin-9, utf8 ...). The UTF-16 names give Utf16LE except
// "UTF-16BE". Nothing for a name this service does not read.
std::optional<Encoding> byName(std::string_view name);
// The name a declaration gets for bytes written in `encoding`.
std::string_view canonicalName(Encoding encoding);
// Whether `name` from a declaration correctly describes bytes written in `encoding`.
bool nameFits(std::string_view name, Encoding encoding);
bool isEightBit(Encoding encoding);

// The value of `encoding` in an XML declaration at the very start of 8-bit bytes, if any.
std::optional<std::string_view> declaredName(std::string_view bytes);

// Result of turning input bytes into UTF-8: on failure `badAt` is the offset within `text`
// (the part decoded so far) where the fault lies, and `fault` says what it is.
struct Decoded {
    std::string text;
    std::size_t badAt = std::string::npos;
    const char* fault = nullptr;
};

// Where `utf8` stops being UTF-8 an XML text may hold (a malformed sequence or a NUL),
// with the fault; npos when it is whole.
std::size_t firstInvalidUtf8(std::string_view utf8, const char** fault);
Decoded eightBitToUtf8(std::string_view bytes, Encoding encoding);
Decoded utf16ToUtf8(std::string_view bytes, bool bigEndian);

// Whether every character of `utf8` exists in `encoding`.
bool representable(std::string_view utf8, Encoding encoding);
// `utf8` written in `encoding`: a character an 8-bit encoding lacks becomes a character
// reference "&#N;"; UTF-16 gets its byte order mark, UTF-8 one when `utf8Bom`.
std::string fromUtf8(std::string_view utf8, Encoding encoding, bool utf8Bom);

} // namespace tdb::xml::encoding
