#pragma once

#include "services/xml_document.h"

#include <cstddef>
#include <memory>
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
// reference "&#N;"; UTF-16 gets its byte order mark, UTF-8 one when `utf8Bom`. A malformed
// sequence becomes U+FFFD.
std::string fromUtf8(std::string_view utf8, Encoding encoding, bool utf8Bom);

// fromUtf8 for text that arrives in pieces (a serialiser's output): the pieces may be cut
// anywhere, even inside a character, and `out` receives the same bytes fromUtf8 gives for the
// whole text, in large blocks. UTF-8 passes through untouched. finish() ends the text.
class Utf8Transcoder final : public pugi::xml_writer {
public:
    Utf8Transcoder(Encoding encoding, bool utf8Bom, pugi::xml_writer& out);
    Utf8Transcoder(const Utf8Transcoder&) = delete;
    Utf8Transcoder& operator=(const Utf8Transcoder&) = delete;
    ~Utf8Transcoder() override;

    void write(const void* data, std::size_t size) override;
    void write(std::string_view utf8) { write(utf8.data(), utf8.size()); }
    // Writes out a character left cut short at the end (as U+FFFD) and everything buffered.
    void finish();

private:
    void convert(const char* data, std::size_t size);
    void encode(char32_t cp);
    void put(const char* data, std::size_t size);
    void putByte(char byte) {
        if (used_ == kCapacity) {
            flush();
        }
        buffer_[used_++] = byte;
    }
    void flush();

    static constexpr std::size_t kCapacity = std::size_t{1} << 16;
    Encoding encoding_;
    pugi::xml_writer& out_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
    char held_[4] = {}; // the start of a character whose end is still to come
    std::size_t heldSize_ = 0;
};

} // namespace tdb::xml::encoding
