#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The dBASE table engine. Tables are T.DBF files in a data folder; text is Windows-1252.
// Every failure throws tdb::Error with a Spanish message naming the file and the cause.
namespace tdb::dbf {

// Column kinds of the tables this system creates.
enum class ColumnKind { Text, Integer, Float, Logical };

struct ColumnSpec {
    std::string name;
    ColumnKind kind = ColumnKind::Text;
    int width = 0; // characters, for Text only
};

// A column as stored in a file.
struct Column {
    std::string name; // upper case as stored
    char type = 'C';  // dBASE type letter: C N F L D I O + M ...
    int length = 0;   // bytes in the record
    int decimals = 0;
    std::size_t offset = 0; // from the start of the record (after the deletion flag)
};

class TableImpl;

// An open table: a cursor over its visible records plus appending. Move-only; the file and its
// exclusive lock are released by close() or by the destructor (which swallows errors: call
// close() where a failure must be reported).
class Table {
public:
    // Creates NAME.DBF (upper case) in `folder`, replacing a file of that name under any letter
    // case, with the columns in the given order and no records, and opens it exclusively for
    // appending. It fails, naming the table, while another program holds that file.
    static Table create(const std::filesystem::path& folder, std::string_view name,
                        std::span<const ColumnSpec> columns);
    // Opens the existing table NAME (its .DBF file found ignoring letter case) exclusively: it
    // fails, naming the table, while another program holds the file.
    static Table open(const std::filesystem::path& folder, std::string_view name);

    Table(Table&&) noexcept;
    Table& operator=(Table&&) noexcept;
    ~Table();

    const std::filesystem::path& path() const;
    const std::string& name() const; // as asked for, e.g. "SOLUC"
    const std::vector<Column>& columns() const;
    // Index of a column by name (ASCII letter case ignored); throws naming table and column.
    int columnIndex(std::string_view column) const;

    // Records not marked deleted, ignoring the filter.
    std::size_t recordCount() const;

    // Cursor over the visible records (not deleted, passing the filter), in stored order.
    void first();
    void next();
    bool eof() const;
    // Physical number (0-based) of the record under the cursor, and a jump to one: goTo()
    // stands on that record whatever the filter says (eof() when it is deleted or out of range).
    std::size_t recordNumber() const;
    void goTo(std::size_t recordNumber);

    // Values of the record under the cursor; at the end (no record) every value is empty.
    // Text column: the stored text without trailing blanks. Numeric column: a whole number as
    // its digits only ("3", "-12"), else the shortest decimal form; no value: empty text.
    std::string text(int column) const;
    std::string text(std::string_view column) const;
    // Nearest integer (halves away from zero); no value: 0. A value that is no number (also in
    // a text column) throws naming table, column and record.
    std::int64_t integer(int column) const;
    std::int64_t integer(std::string_view column) const;
    // No value: 0.
    double number(int column) const;
    double number(std::string_view column) const;
    bool isBlank(int column) const;

    // Only records whose column, read as text, equals `value` exactly are visible; the cursor
    // then stands on the first of them. clearFilter() shows every record again and stands on
    // the first.
    void setFilter(std::string_view column, std::string_view value);
    void clearFilter();

    // Appending: append() starts a blank record, the setters fill it, post() adds it at the end
    // and makes it the current record (append() while a record is being filled posts that one
    // first; close() drops a record never posted). A text longer than its column is cut to the
    // column's width; a number set as text must be one; a number that does not fit its column
    // throws. Tables of the dBASE III/IV family can be appended to, other flavours only read.
    void append();
    void setText(std::string_view column, std::string_view value);
    void setLogical(std::string_view column, bool value);
    void setFloat(std::string_view column, double value);
    // The same by column index (columnIndex()), for writers that fill many records.
    void setText(int column, std::string_view value);
    void setLogical(int column, bool value);
    void setFloat(int column, double value);
    void post();

    // Writes what is pending, updates the header and releases file and lock.
    void close();

private:
    explicit Table(std::unique_ptr<TableImpl> impl);
    std::unique_ptr<TableImpl> impl_;
};

// The file of table NAME in `folder`, found ignoring letter case (NAME.DBF, name.dbf, Name.Dbf).
std::optional<std::filesystem::path> findTableFile(const std::filesystem::path& folder,
                                                   std::string_view name);
// Every file of `folder` whose name equals `fileName` ignoring ASCII letter case.
std::vector<std::filesystem::path> findFilesIgnoringCase(const std::filesystem::path& folder,
                                                         std::string_view fileName);
// Deletes NAME.DBF and then NAME.MDX (every letter-case variant); a failure goes unnoticed. A
// file that another program holds is left in place, as a failed deletion.
void deleteTable(const std::filesystem::path& folder, std::string_view name);

// True when another process holds the file exclusively (a probe that takes and drops the lock).
bool isHeldByAnotherProgram(const std::filesystem::path& file);

} // namespace tdb::dbf
