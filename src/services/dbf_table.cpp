#include "services/dbf_table.h"

#include "services/cp1252.h"
#include "services/dbf_format.h"
#include "services/error.h"
#include "services/file_lock.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace tdb::dbf {
namespace {

namespace fs = std::filesystem;
using format::Codec;

// Tables are read whole into memory; this bound keeps a damaged or foreign file from
// exhausting it.
constexpr std::size_t kFileSizeMax = std::size_t{1} << 30;
// Appended records are written in batches of about this size.
constexpr std::size_t kFlushBytes = std::size_t{1} << 20;
constexpr std::size_t kNoColumn = static_cast<std::size_t>(-1);

char upperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return upperAscii(x) == upperAscii(y);
           });
}

std::string upperAscii(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) { return upperAscii(c); });
    return out;
}

// Column names are a few bytes long: a plain loop beats a call to memcmp.
bool sameBytes(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) {
            return false;
        }
    }
    return true;
}

// The table name without a ".DBF" that a caller may have written after it.
std::string baseName(std::string_view name) {
    constexpr std::string_view extension = ".DBF";
    if (name.size() > extension.size() &&
        equalsIgnoringAsciiCase(name.substr(name.size() - extension.size()), extension)) {
        name.remove_suffix(extension.size());
    }
    if (name.empty() || name.find('/') != std::string_view::npos || name.find('\0') != name.npos) {
        throw Error("Nombre de tabla no válido: «" + cp1252::toUtf8(name) + "»");
    }
    return std::string(name);
}

std::string describe(const std::string& name, const fs::path& file) {
    return name + " (" + file.string() + ")";
}

void requireFolder(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        throw Error("No existe la carpeta de datos " + folder.string() + " (tabla " + name + ")");
    }
}

[[noreturn]] void throwInUse(const std::string& name, const fs::path& file) {
    throw Error("La tabla " + describe(name, file) + " está en uso por otro programa");
}

void writeAll(int fd, const char* data, std::size_t size, std::size_t offset,
              const std::string& table) {
    while (size > 0) {
        ssize_t n = pwrite(fd, data, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw Error("No se puede escribir la tabla " + table + ": " + std::strerror(errno));
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::size_t>(n);
    }
}

// A growable byte buffer that is not zero-filled first: a table is read straight into it.
// It grows through realloc, which moves large blocks by remapping their pages instead of
// copying them and touching fresh ones.
class Bytes {
public:
    char* data() { return data_.get(); }
    const char* data() const { return data_.get(); }
    std::size_t size() const { return size_; }
    void resize(std::size_t size) {
        reserve(size);
        size_ = size;
    }
    void reserve(std::size_t capacity) {
        if (capacity <= capacity_) {
            return;
        }
        capacity = std::max(capacity, 2 * capacity_);
        void* grown = std::realloc(data_.get(), capacity);
        if (grown == nullptr) {
            throw std::bad_alloc();
        }
        (void)data_.release();
        data_.reset(static_cast<char*>(grown));
        capacity_ = capacity;
    }
    void append(const char* bytes, std::size_t size) {
        reserve(size_ + size);
        std::memcpy(data_.get() + size_, bytes, size);
        size_ += size;
    }

private:
    struct Free {
        void operator()(char* p) const { std::free(p); }
    };
    std::unique_ptr<char, Free> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

} // namespace

class TableImpl {
public:
    TableImpl(fs::path file, std::string name, FileLock lock)
        : path(std::move(file)), name(std::move(name)), what(describe(this->name, path)),
          lock(std::move(lock)) {}

    fs::path path;
    std::string name;
    std::string what; // "NAME (path)" for messages
    std::optional<FileLock> lock;
    format::Layout layout;
    Bytes bytes; // header, the records, and the new record while one is being filled in
    std::size_t records = 0;
    std::size_t live = 0; // records not marked deleted

    // Appending. Records [0, onDisk) are in the file and its header counts them; the records
    // after them are written in batches.
    std::size_t onDisk = 0;
    std::size_t headerCount = 0; // the record count in the file's header
    bool appended = false;
    bool editing = false; // a new record is being filled in after the last one
    std::string blank;

    std::size_t position = 0; // == records at the end
    mutable std::size_t nextColumnHint = 0;
    std::size_t filterColumn = kNoColumn;
    std::string filterValue;

    // --- reading ---

    // The checks run for every value; their messages are built out of line.
    void requireOpen() const {
        if (!lock) [[unlikely]] {
            throwClosed();
        }
    }

    [[noreturn, gnu::noinline]] void throwClosed() const {
        throw Error("La tabla " + what + " está cerrada");
    }

    const char* record(std::size_t i) const {
        return bytes.data() + layout.headerLength + i * layout.recordLength;
    }

    std::string_view field(std::size_t i, std::size_t column) const {
        const auto& c = layout.columns[column];
        return {record(i) + 1 + c.offset, static_cast<std::size_t>(c.length)};
    }

    std::size_t checkedColumn(int column) const {
        requireOpen();
        if (column < 0 || static_cast<std::size_t>(column) >= layout.columns.size()) [[unlikely]] {
            throwNoColumn(column);
        }
        return static_cast<std::size_t>(column);
    }

    [[noreturn, gnu::noinline]] void throwNoColumn(int column) const {
        throw Error("La tabla " + what + " no tiene la columna número " + std::to_string(column));
    }

    int columnIndex(std::string_view column) const {
        // This runs for every value read or written. Callers name columns as stored, in upper
        // case, and mostly in the order of the columns, record after record: the column after
        // the last one found is tried first, inline.
        const std::size_t count = layout.columns.size();
        const std::size_t guess = nextColumnHint < count ? nextColumnHint : 0;
        const std::string& name = layout.columns[guess].name;
        if (sameBytes(name, column)) {
            nextColumnHint = guess + 1;
            return static_cast<int>(guess);
        }
        return searchColumn(column, guess);
    }

    [[gnu::noinline]] int searchColumn(std::string_view column, std::size_t from) const {
        const std::size_t count = layout.columns.size();
        std::size_t i = from;
        for (std::size_t k = 0; k < count; ++k) {
            if (layout.columns[i].name == column) {
                nextColumnHint = i + 1;
                return static_cast<int>(i);
            }
            if (++i == count) {
                i = 0;
            }
        }
        for (std::size_t c = 0; c < count; ++c) {
            if (equalsIgnoringAsciiCase(layout.columns[c].name, column)) {
                return static_cast<int>(c);
            }
        }
        throw Error("La tabla " + what + " no tiene la columna " + cp1252::toUtf8(column));
    }

    bool deleted(std::size_t i) const { return record(i)[0] == format::kDeleted; }

    std::string textAt(std::size_t i, std::size_t column) const {
        if (layout.codecs[column] == Codec::Text) {
            return std::string(format::trimmedText(field(i, column)));
        }
        return format::text(layout.codecs[column], field(i, column));
    }

    bool visible(std::size_t i) const {
        if (deleted(i)) {
            return false;
        }
        if (filterColumn == kNoColumn) {
            return true;
        }
        if (layout.codecs[filterColumn] == Codec::Text) {
            return format::trimmedText(field(i, filterColumn)) == filterValue;
        }
        return textAt(i, filterColumn) == filterValue;
    }

    void seekVisible(std::size_t from) {
        position = from;
        while (position < records && !visible(position)) {
            ++position;
        }
    }

    bool onRecord() const { return position < records; }

    std::optional<double> numberAt(std::size_t column) const {
        if (!onRecord()) {
            return std::nullopt;
        }
        bool valid = true;
        auto value = format::number(layout.codecs[column], field(position, column), valid);
        if (!valid) {
            throw Error("El valor «" + cp1252::toUtf8(textAt(position, column)) +
                        "» de la columna " + layout.columns[column].name + " (registro " +
                        std::to_string(position + 1) + ") de la tabla " + what +
                        " no es un número");
        }
        return value;
    }

    // --- writing ---

    void startAppend() {
        requireOpen();
        if (!lock->writable()) {
            throw Error("No se pueden añadir registros a la tabla " + what +
                        ": el archivo es de solo lectura");
        }
        if (blank.empty()) {
            if (!format::canAppend(layout)) {
                throw Error("No se pueden añadir registros a la tabla " + what +
                            ": su formato o sus tipos de columna no se pueden escribir");
            }
            blank = format::blankRecord(layout);
        }
        if (editing) {
            post();
        }
        bytes.resize(layout.headerLength + records * layout.recordLength);
        bytes.append(blank.data(), blank.size());
        editing = true;
    }

    std::size_t editedColumn(std::string_view column) {
        requireOpen();
        if (!editing) {
            throw Error("No hay ningún registro nuevo en la tabla " + what +
                        " para dar valor a la columna " + cp1252::toUtf8(column));
        }
        return static_cast<std::size_t>(columnIndex(column));
    }

    std::size_t editedColumn(int column) {
        const std::size_t checked = checkedColumn(column);
        if (!editing) {
            throw Error("No hay ningún registro nuevo en la tabla " + what +
                        " para dar valor a la columna " + layout.columns[checked].name);
        }
        return checked;
    }

    char* editField(std::size_t column) {
        return bytes.data() + layout.headerLength + records * layout.recordLength + 1 +
               layout.columns[column].offset;
    }

    [[noreturn]] void refuseValue(std::size_t column, const std::string& value,
                                  const std::string& cause) const {
        const auto& c = layout.columns[column];
        throw Error("No se puede guardar «" + value + "» en la columna " + c.name + " (" +
                    std::string(1, c.type) + " " + std::to_string(c.length) + "," +
                    std::to_string(c.decimals) + ") de la tabla " + what + ": " + cause);
    }

    // `shown` gives the value as the message names it; it is formed only when the value does
    // not fit, not on every record.
    template <typename Shown> void putNumber(std::size_t column, double value, Shown shown) {
        const auto& c = layout.columns[column];
        if (!format::formatNumber(value, c.length, c.decimals, editField(column))) {
            refuseValue(column, shown(), "no cabe");
        }
    }

    void putText(std::size_t column, std::string_view value) {
        const auto& c = layout.columns[column];
        char* out = editField(column);
        const std::size_t width = static_cast<std::size_t>(c.length);
        switch (layout.codecs[column]) {
        case Codec::Text: {
            // Too long a text is cut to the column without a word.
            const std::size_t n = std::min(value.size(), width);
            std::memcpy(out, value.data(), n);
            std::memset(out + n, ' ', width - n);
            return;
        }
        case Codec::Number: {
            if (format::trimmedBothEnds(value).empty()) {
                std::memset(out, ' ', width);
                return;
            }
            auto number = format::parseNumber(value);
            if (!number) {
                refuseValue(column, cp1252::toUtf8(value), "no es un número");
            }
            putNumber(column, *number, [&] { return cp1252::toUtf8(value); });
            return;
        }
        case Codec::Logical: {
            auto trimmed = format::trimmedBothEnds(value);
            if (trimmed.empty()) {
                *out = ' ';
            } else if (std::string_view("TtYyFfNn").find(trimmed[0]) != std::string_view::npos) {
                *out =
                    std::string_view("TtYy").find(trimmed[0]) != std::string_view::npos ? 'T' : 'F';
            } else {
                refuseValue(column, cp1252::toUtf8(value), "no es un valor lógico");
            }
            return;
        }
        case Codec::Date: {
            auto trimmed = format::trimmedBothEnds(value);
            const bool digits =
                trimmed.size() == 8 && std::all_of(trimmed.begin(), trimmed.end(),
                                                   [](char ch) { return ch >= '0' && ch <= '9'; });
            if (!trimmed.empty() && !digits) {
                refuseValue(column, cp1252::toUtf8(value), "no es una fecha AAAAMMDD");
            }
            std::memset(out, ' ', width);
            std::memcpy(out, trimmed.data(), trimmed.size());
            return;
        }
        default:
            refuseValue(column, cp1252::toUtf8(value),
                        "el tipo de la columna no se puede escribir");
        }
    }

    void putFloat(std::size_t column, double value) {
        switch (layout.codecs[column]) {
        case Codec::Text:
            putText(column, format::shortestText(value));
            return;
        case Codec::Number:
            putNumber(column, value, [&] { return format::shortestText(value); });
            return;
        default:
            refuseValue(column, format::shortestText(value), "la columna no es numérica");
        }
    }

    void putLogical(std::size_t column, bool value) {
        switch (layout.codecs[column]) {
        case Codec::Text:
        case Codec::Logical:
            putText(column, value ? "T" : "F");
            return;
        default:
            refuseValue(column, value ? "T" : "F", "la columna no es lógica");
        }
    }

    void post() {
        requireOpen();
        if (!editing) {
            throw Error("No hay ningún registro nuevo que guardar en la tabla " + what);
        }
        if (records >= 0xFFFFFFFFU) {
            throw Error("La tabla " + what + " no admite más registros");
        }
        ++records; // the record filled in after the last one becomes part of the table
        ++live;
        editing = false;
        appended = true;
        position = records - 1; // the new record is the current one, as after an append
        if ((records - onDisk) * layout.recordLength >= kFlushBytes) {
            flush();
        }
    }

    // Writes the records not yet in the file and then counts them in the header, so that the
    // header never counts records that are not there, whenever the program stops.
    void flush() {
        if (records == onDisk) {
            return;
        }
        // A header that counts more records than were read (cut short by an end mark) would
        // count stale bytes once new records start to overwrite them.
        if (headerCount > onDisk) {
            writeCount(onDisk);
        }
        const std::size_t start = layout.headerLength + onDisk * layout.recordLength;
        writeAll(lock->fd(), bytes.data() + start, (records - onDisk) * layout.recordLength, start,
                 what);
        onDisk = records;
        writeCount(records);
    }

    void writeCount(std::size_t count) {
        format::setRecordCount(bytes.data(), static_cast<std::uint32_t>(count));
        writeAll(lock->fd(), bytes.data() + 4, 4, 4, what);
        headerCount = count;
    }

    void close() {
        if (!lock) {
            return;
        }
        editing = false; // a record that was never posted is not added
        // The lock goes with the file also when a last write fails.
        struct Release {
            std::optional<FileLock>& lock;
            ~Release() { lock.reset(); }
        } release{lock};
        if (appended) {
            flush();
            const int fd = lock->fd();
            const std::size_t end = layout.headerLength + records * layout.recordLength;
            const char mark = static_cast<char>(format::kFileEnd);
            writeAll(fd, &mark, 1, end, what);
            if (ftruncate(fd, static_cast<off_t>(end + 1)) != 0) {
                throw Error("No se puede escribir la tabla " + what + ": " + std::strerror(errno));
            }
            format::setUpdateDate(bytes.data(), std::time(nullptr));
            writeAll(fd, bytes.data() + 1, 3, 1, what);
        }
    }
};

Table::Table(std::unique_ptr<TableImpl> impl) : impl_(std::move(impl)) {}
Table::Table(Table&&) noexcept = default;
Table& Table::operator=(Table&& other) noexcept {
    if (this != &other) {
        if (impl_) {
            try {
                impl_->close();
            } catch (const Error&) {
            }
        }
        impl_ = std::move(other.impl_);
    }
    return *this;
}

Table::~Table() {
    if (impl_) {
        try {
            impl_->close();
        } catch (const Error&) {
        }
    }
}

Table Table::create(const fs::path& folder, std::string_view name,
                    std::span<const ColumnSpec> columns) {
    const std::string table = baseName(name);
    requireFolder(folder, table);
    const std::string fileName = upperAscii(table) + ".DBF";
    const fs::path file = folder / fileName;
    std::string header = format::newHeader(columns, describe(table, file));

    // The same table under another letter case would be found instead of this one: while
    // another program uses it, it is the table in use, and nothing may be created beside it.
    const auto spellings = findFilesIgnoringCase(folder, fileName);
    for (const auto& other : spellings) {
        if (other.filename() != fileName && isHeldByAnotherProgram(other)) {
            throwInUse(table, other);
        }
    }
    auto lock = FileLock::tryAcquireForWriting(file);
    if (!lock) {
        throwInUse(table, file);
    }
    for (const auto& other : spellings) {
        std::error_code ec;
        if (other.filename() != fileName && !fs::equivalent(other, file, ec)) {
            fs::remove(other, ec);
        }
    }
    auto impl = std::make_unique<TableImpl>(file, table, std::move(*lock));
    format::setUpdateDate(header.data(), std::time(nullptr));
    const int fd = impl->lock->fd();
    if (ftruncate(fd, 0) != 0) {
        throw Error("No se puede escribir la tabla " + impl->what + ": " + std::strerror(errno));
    }
    header.push_back(static_cast<char>(format::kFileEnd));
    writeAll(fd, header.data(), header.size(), 0, impl->what);
    header.pop_back();

    impl->layout = format::parseLayout(header, impl->what);
    impl->bytes.append(header.data(), header.size());
    impl->position = 0;
    return Table(std::move(impl));
}

Table Table::open(const fs::path& folder, std::string_view name) {
    const std::string table = baseName(name);
    requireFolder(folder, table);
    auto file = findTableFile(folder, table);
    if (!file) {
        throw Error("No existe la tabla " + table + " en la carpeta " + folder.string() +
                    " (falta " + upperAscii(table) + ".DBF)");
    }
    auto lock = FileLock::tryAcquire(*file);
    if (!lock) {
        throwInUse(table, *file);
    }
    auto impl = std::make_unique<TableImpl>(*file, table, std::move(*lock));
    const int fd = impl->lock->fd();
    auto unreadable = [&](const std::string& cause) {
        return Error("No se puede leer la tabla " + impl->what + ": " + cause);
    };
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        throw unreadable(std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        throw unreadable("no es un archivo");
    }
    const auto size = static_cast<std::size_t>(info.st_size);
    if (size > kFileSizeMax) {
        throw unreadable("mide " + std::to_string(size) + " bytes, más de lo admitido");
    }
    impl->bytes.resize(size);
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = pread(fd, impl->bytes.data() + done, size - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw unreadable(std::strerror(errno));
        }
        if (n == 0) {
            break; // the file shrank meanwhile: parse what is there
        }
        done += static_cast<std::size_t>(n);
    }
    impl->layout = format::parseLayout(std::span<const char>(impl->bytes.data(), done), impl->what);
    auto& layout = impl->layout;
    impl->records = layout.recordCount;
    // Keep header and records only: appended records go right after the last one.
    impl->bytes.resize(layout.headerLength + impl->records * layout.recordLength);
    for (std::size_t i = 0; i < impl->records; ++i) {
        if (!impl->deleted(i)) {
            ++impl->live;
        }
    }
    impl->onDisk = impl->records;
    impl->headerCount = format::recordCountOf(impl->bytes.data());
    impl->seekVisible(0);
    return Table(std::move(impl));
}

const fs::path& Table::path() const {
    return impl_->path;
}
const std::string& Table::name() const {
    return impl_->name;
}
const std::vector<Column>& Table::columns() const {
    return impl_->layout.columns;
}

int Table::columnIndex(std::string_view column) const {
    return impl_->columnIndex(column);
}

std::size_t Table::recordCount() const {
    impl_->requireOpen();
    return impl_->live;
}

void Table::first() {
    impl_->requireOpen();
    impl_->seekVisible(0);
}

void Table::next() {
    impl_->requireOpen();
    if (impl_->onRecord()) {
        impl_->seekVisible(impl_->position + 1);
    }
}

bool Table::eof() const {
    impl_->requireOpen();
    return !impl_->onRecord();
}

std::size_t Table::recordNumber() const {
    impl_->requireOpen();
    return impl_->position;
}

void Table::goTo(std::size_t recordNumber) {
    impl_->requireOpen();
    auto& t = *impl_;
    t.position = recordNumber < t.records && !t.deleted(recordNumber) ? recordNumber : t.records;
}

std::string Table::text(int column) const {
    auto c = impl_->checkedColumn(column);
    return impl_->onRecord() ? impl_->textAt(impl_->position, c) : std::string{};
}

std::string Table::text(std::string_view column) const {
    return text(impl_->columnIndex(column));
}

std::int64_t Table::integer(int column) const {
    auto value = impl_->numberAt(impl_->checkedColumn(column));
    if (!value) {
        return 0;
    }
    // Beyond 2^63 a double no longer converts; such a value is no whole number of ours.
    if (!(std::fabs(*value) < 9.2e18)) {
        throw Error("El valor " + format::shortestText(*value) + " de la columna " +
                    impl_->layout.columns[static_cast<std::size_t>(column)].name + " de la tabla " +
                    impl_->what + " no cabe en un número entero");
    }
    return std::llround(*value);
}

std::int64_t Table::integer(std::string_view column) const {
    return integer(columnIndex(column));
}

double Table::number(int column) const {
    return impl_->numberAt(impl_->checkedColumn(column)).value_or(0.0);
}

double Table::number(std::string_view column) const {
    return number(columnIndex(column));
}

bool Table::isBlank(int column) const {
    auto c = impl_->checkedColumn(column);
    return !impl_->onRecord() ||
           format::isBlank(impl_->layout.codecs[c], impl_->field(impl_->position, c));
}

void Table::setFilter(std::string_view column, std::string_view value) {
    impl_->requireOpen();
    impl_->filterColumn = static_cast<std::size_t>(columnIndex(column));
    impl_->filterValue = std::string(value);
    impl_->seekVisible(0);
}

void Table::clearFilter() {
    impl_->requireOpen();
    impl_->filterColumn = kNoColumn;
    impl_->filterValue.clear();
    impl_->seekVisible(0);
}

void Table::append() {
    impl_->startAppend();
}

void Table::setText(std::string_view column, std::string_view value) {
    impl_->putText(impl_->editedColumn(column), value);
}

void Table::setLogical(std::string_view column, bool value) {
    impl_->putLogical(impl_->editedColumn(column), value);
}

void Table::setFloat(std::string_view column, double value) {
    impl_->putFloat(impl_->editedColumn(column), value);
}

void Table::setText(int column, std::string_view value) {
    impl_->putText(impl_->editedColumn(column), value);
}

void Table::setLogical(int column, bool value) {
    impl_->putLogical(impl_->editedColumn(column), value);
}

void Table::setFloat(int column, double value) {
    impl_->putFloat(impl_->editedColumn(column), value);
}

void Table::post() {
    impl_->post();
}

void Table::close() {
    impl_->close();
}

std::optional<fs::path> findTableFile(const fs::path& folder, std::string_view name) {
    const std::string fileName = upperAscii(name) + ".DBF";
    auto found = findFilesIgnoringCase(folder, fileName);
    for (const auto& file : found) {
        if (file.filename() == fileName) {
            return file; // the name this engine writes wins over other spellings
        }
    }
    if (found.empty()) {
        return std::nullopt;
    }
    return found.front();
}

std::vector<fs::path> findFilesIgnoringCase(const fs::path& folder, std::string_view fileName) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (equalsIgnoringAsciiCase(it->path().filename().string(), fileName)) {
            found.push_back(it->path());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

void deleteTable(const fs::path& folder, std::string_view name) {
    std::string table;
    try {
        table = baseName(name);
    } catch (const Error&) {
        return;
    }
    for (const char* extension : {".DBF", ".MDX"}) {
        for (const auto& file : findFilesIgnoringCase(folder, table + extension)) {
            // A file in use is not deleted (a system that locks open files refuses that), so
            // the table's creation that follows fails naming it instead of leaving the other
            // program with a file that no longer has a name.
            if (isHeldByAnotherProgram(file)) {
                continue;
            }
            std::error_code ec;
            fs::remove(file, ec);
        }
    }
}

bool isHeldByAnotherProgram(const fs::path& file) {
    try {
        return !FileLock::tryAcquire(file).has_value();
    } catch (const Error&) {
        return false; // a file that cannot be opened is held by nobody
    }
}

} // namespace tdb::dbf
