// Creating, appending to and reading back tables, the bytes of the files written, the cursor
// and its filter, and finding table files whatever their letter case.
#include "services/dbf_table.h"
#include "services/error.h"
#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <ctime>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace tdb::dbf {
namespace {

using test::TempDir;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::vector<ColumnSpec> kColumns = {
    {"COD", ColumnKind::Text, 4}, {"NOMBRE", ColumnKind::Text, 12}, {"DNI", ColumnKind::Integer},
    {"HORAS", ColumnKind::Float}, {"ESTAREA", ColumnKind::Logical},
};

std::uint32_t le32(const std::string& b, std::size_t at) {
    return static_cast<std::uint32_t>(
        static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8 |
        static_cast<unsigned char>(b[at + 2]) << 16 | static_cast<unsigned char>(b[at + 3]) << 24);
}

std::uint16_t le16(const std::string& b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      static_cast<unsigned char>(b[at + 1]) << 8);
}

TEST(DbfTable, CreatedFileHasTheDBaseIIILayout) {
    TempDir dir;
    {
        auto table = Table::create(dir.path(), "asignomt", kColumns);
        table.append();
        table.setText("COD", "MAT1");
        table.setText("NOMBRE", "Matem\xE1tica aplicada"); // longer than 12: cut
        table.setFloat("HORAS", 3.25);
        table.setLogical("ESTAREA", true);
        table.post();
        table.append();
        table.setText("cod", "X");
        table.setFloat("DNI", -12);
        table.post();
        table.close();
    }
    auto b = test::readFile(dir / "ASIGNOMT.DBF");
    const std::size_t headerLength = 32 + 32 * 5 + 1;
    const std::size_t recordLength = 1 + 4 + 12 + 11 + 20 + 1;
    ASSERT_EQ(b.size(), headerLength + 2 * recordLength + 1);
    EXPECT_EQ(static_cast<unsigned char>(b[0]), 0x03);
    std::time_t now = std::time(nullptr);
    std::tm today{};
    localtime_r(&now, &today);
    EXPECT_EQ(static_cast<unsigned char>(b[1]), today.tm_year);
    EXPECT_EQ(le32(b, 4), 2U);
    EXPECT_EQ(le16(b, 8), headerLength);
    EXPECT_EQ(le16(b, 10), recordLength);
    EXPECT_EQ(b[28], 0) << "no production index";
    EXPECT_EQ(static_cast<unsigned char>(b[29]), 0x57) << "Windows-1252 language driver";
    struct Descriptor {
        std::string name;
        char type;
        int length;
        int decimals;
    };
    const Descriptor expected[] = {{"COD", 'C', 4, 0},
                                   {"NOMBRE", 'C', 12, 0},
                                   {"DNI", 'N', 11, 0},
                                   {"HORAS", 'N', 20, 4},
                                   {"ESTAREA", 'L', 1, 0}};
    for (std::size_t i = 0; i < 5; ++i) {
        const std::string d = b.substr(32 + 32 * i, 32);
        EXPECT_EQ(d.substr(0, 11),
                  expected[i].name + std::string(11 - expected[i].name.size(), '\0'));
        EXPECT_EQ(d[11], expected[i].type);
        EXPECT_EQ(static_cast<unsigned char>(d[16]), expected[i].length);
        EXPECT_EQ(static_cast<unsigned char>(d[17]), expected[i].decimals);
    }
    EXPECT_EQ(b[headerLength - 1], '\r');
    // Text left-aligned and cut, numbers right-aligned, unset numbers blank.
    EXPECT_EQ(b.substr(headerLength, recordLength), std::string(" MAT1") + "Matem\xE1tica a" +
                                                        std::string(11, ' ') +
                                                        "              3.2500" + "T");
    EXPECT_EQ(b.substr(headerLength + recordLength, recordLength),
              " X   " + std::string(12, ' ') + "        -12" + std::string(20, ' ') + " ");
    EXPECT_EQ(b.back(), '\x1A');
}

TEST(DbfTable, EmptyTableIsComplete) {
    TempDir dir;
    Table::create(dir.path(), "VACIA", kColumns).close();
    auto b = test::readFile(dir / "VACIA.DBF");
    EXPECT_EQ(b.size(), 32U + 32 * 5 + 1 + 1);
    EXPECT_EQ(le32(b, 4), 0U);
    EXPECT_EQ(b.back(), '\x1A');
    auto table = Table::open(dir.path(), "VACIA");
    EXPECT_EQ(table.recordCount(), 0U);
    EXPECT_TRUE(table.eof());
    EXPECT_EQ(table.text("COD"), ""); // no record: empty values
    EXPECT_EQ(table.integer("DNI"), 0);
}

// Values written through each setter and read back through each getter.
struct RoundTrip {
    const char* label;
    const char* column;
    std::function<void(Table&)> set;
    const char* text;
    std::int64_t integer;
    double number;
};

const RoundTrip kRoundTrips[] = {
    {"text", "NOMBRE", [](Table& t) { t.setText("NOMBRE", "  a b  "); }, "  a b", 0, 0},
    {"text cut", "COD", [](Table& t) { t.setText("COD", "ABCDEFG"); }, "ABCD", 0, 0},
    {"number in text", "COD", [](Table& t) { t.setText("COD", "12"); }, "12", 12, 12},
    {"text never set", "NOMBRE", [](Table&) {}, "", 0, 0},
    {"empty text", "NOMBRE", [](Table& t) { t.setText("NOMBRE", ""); }, "", 0, 0},
    {"integer never set", "DNI", [](Table&) {}, "", 0, 0},
    {"integer", "DNI", [](Table& t) { t.setFloat("DNI", 12345678); }, "12345678", 12345678,
     12345678},
    {"integer rounded", "DNI", [](Table& t) { t.setFloat("DNI", 2.5); }, "3", 3, 3},
    {"negative integer rounded", "DNI", [](Table& t) { t.setFloat("DNI", -2.5); }, "-3", -3, -3},
    {"integer from text", "DNI", [](Table& t) { t.setText("DNI", " 42 "); }, "42", 42, 42},
    {"integer set empty", "DNI", [](Table& t) { t.setText("DNI", " "); }, "", 0, 0},
    {"float whole", "HORAS", [](Table& t) { t.setFloat("HORAS", 3); }, "3", 3, 3},
    {"float fraction", "HORAS", [](Table& t) { t.setFloat("HORAS", 2.5); }, "2.5", 3, 2.5},
    {"float four decimals", "HORAS", [](Table& t) { t.setFloat("HORAS", -0.1234); }, "-0.1234", 0,
     -0.1234},
    {"float rounded to four decimals", "HORAS", [](Table& t) { t.setFloat("HORAS", 1.00004); }, "1",
     1, 1},
    {"negative zero", "HORAS", [](Table& t) { t.setFloat("HORAS", -0.00001); }, "0", 0, 0},
    {"float from text", "HORAS", [](Table& t) { t.setText("HORAS", "1.5e2"); }, "150", 150, 150},
    {"large float", "HORAS", [](Table& t) { t.setFloat("HORAS", 123456789012345.0); },
     "123456789012345", 123456789012345, 123456789012345.0},
    {"logical true", "ESTAREA", [](Table& t) { t.setLogical("ESTAREA", true); }, "T", 1, 1},
    {"logical false", "ESTAREA", [](Table& t) { t.setLogical("ESTAREA", false); }, "F", 0, 0},
    {"logical from text", "ESTAREA", [](Table& t) { t.setText("ESTAREA", " y"); }, "T", 1, 1},
    {"logical never set", "ESTAREA", [](Table&) {}, "", 0, 0},
    {"logical in text column", "COD", [](Table& t) { t.setLogical("COD", true); }, "T", 0, 0},
    {"float in text column", "COD", [](Table& t) { t.setFloat("COD", 0.5); }, "0.5", 1, 0.5},
};

TEST(DbfTable, ValuesRoundTrip) {
    for (const auto& c : kRoundTrips) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        {
            auto table = Table::create(dir.path(), "T", kColumns);
            table.append();
            c.set(table);
            table.post();
            // The table that appended reads its own record back...
            table.first();
            EXPECT_EQ(table.text(c.column), c.text);
            table.close();
        }
        // ...and so does a later open of the file.
        auto table = Table::open(dir.path(), "T");
        ASSERT_FALSE(table.eof());
        EXPECT_EQ(table.text(c.column), c.text);
        if (std::string_view(c.label) != "text" && std::string_view(c.label) != "text cut" &&
            std::string_view(c.label) != "logical in text column") {
            EXPECT_EQ(table.integer(c.column), c.integer);
            EXPECT_DOUBLE_EQ(table.number(c.column), c.number);
        }
        EXPECT_EQ(table.isBlank(table.columnIndex(c.column)), std::string(c.text).empty());
    }
}

TEST(DbfTable, SettersByPositionWriteWhatSettersByNameWrite) {
    TempDir byName;
    TempDir byPosition;
    {
        auto named = Table::create(byName.path(), "T", kColumns);
        auto positional = Table::create(byPosition.path(), "T", kColumns);
        for (int i = 0; i < 3; ++i) {
            named.append();
            named.setText("NOMBRE", "fila " + std::to_string(i) + " con texto largo");
            named.setFloat("HORAS", i * 1.25);
            named.setText("DNI", std::to_string(-i));
            named.setLogical("ESTAREA", i % 2 == 0);
            named.post();
            positional.append();
            positional.setText(1, "fila " + std::to_string(i) + " con texto largo");
            positional.setFloat(3, i * 1.25);
            positional.setText(2, std::to_string(-i));
            positional.setLogical(4, i % 2 == 0);
            positional.post();
        }
        EXPECT_THROW(positional.setText(0, "x"), Error) << "no record being filled";
        positional.append();
        EXPECT_THROW(positional.setText(5, "x"), Error);
        EXPECT_THROW(positional.setFloat(-1, 1), Error);
    }
    // Equal files, the date of last update aside.
    EXPECT_EQ(test::readFile(byName / "T.DBF").substr(4),
              test::readFile(byPosition / "T.DBF").substr(4));
}

TEST(DbfTable, ValuesThatCannotBeStoredThrowNamingColumnAndTable) {
    TempDir dir;
    auto table = Table::create(dir.path(), "PROFT", kColumns);
    table.append();
    const std::pair<std::function<void()>, const char*> cases[] = {
        {[&] { table.setText("DNI", "doce"); }, "«doce» en la columna DNI (N 11,0)"},
        {[&] { table.setFloat("DNI", 1e12); }, "no cabe"},
        {[&] { table.setFloat("HORAS", 1e300); }, "no cabe"},
        {[&] { table.setFloat("HORAS", std::nan("")); }, "no cabe"},
        {[&] { table.setText("ESTAREA", "quizá"); }, "no es un valor lógico"},
        {[&] { table.setLogical("HORAS", true); }, "no es lógica"},
        {[&] { table.setText("NADA", "x"); }, "no tiene la columna NADA"},
    };
    for (const auto& [action, part] : cases) {
        SCOPED_TRACE(part);
        try {
            action();
            FAIL() << "no error";
        } catch (const Error& e) {
            EXPECT_THAT(e.what(), HasSubstr(part));
            EXPECT_THAT(e.what(), HasSubstr((dir / "PROFT.DBF").string()));
        }
    }
}

TEST(DbfTable, CreateRefusesColumnsItCannotStore) {
    TempDir dir;
    const std::vector<std::vector<ColumnSpec>> bad = {
        {},
        {{"NOMBRE_MUY_LARGO", ColumnKind::Text, 5}},
        {{"", ColumnKind::Text, 5}},
        {{"CON ESPACIO", ColumnKind::Text, 5}},
        {{"A", ColumnKind::Text, 0}},
        {{"A", ColumnKind::Text, 255}},
        {{"A", ColumnKind::Text, 5}, {"a", ColumnKind::Integer}},
    };
    for (const auto& columns : bad) {
        EXPECT_THROW(Table::create(dir.path(), "MALA", columns), Error);
    }
    EXPECT_THROW(Table::create(dir / "no_existe", "T", kColumns), Error);
    EXPECT_THROW(Table::create(dir.path(), "a/b", kColumns), Error);
}

TEST(DbfTable, SettersNeedAnAppendedRecord) {
    TempDir dir;
    auto table = Table::create(dir.path(), "T", kColumns);
    EXPECT_THROW(table.setText("COD", "x"), Error);
    EXPECT_THROW(table.post(), Error);
    table.append();
    table.setText("COD", "a");
    table.append(); // posts the record being filled
    table.setText("COD", "b");
    table.close(); // drops the record never posted
    auto again = Table::open(dir.path(), "T");
    EXPECT_EQ(again.recordCount(), 1U);
    EXPECT_EQ(again.text("COD"), "a");
    again.close();
    EXPECT_THROW(again.text("COD"), Error) << "a closed table reads nothing";
    EXPECT_THROW(again.append(), Error);
}

TEST(DbfTable, ReopenedTableIsAppendedToAndCreatedTableReadsItsOwnRecords) {
    TempDir dir;
    {
        auto table = Table::create(dir.path(), "CURSOST", kColumns);
        for (const char* code : {"c1", "c2", "c3"}) {
            table.append();
            table.setText("COD", code);
            table.post();
            EXPECT_EQ(table.text("COD"), code) << "a posted record is the current one";
        }
        std::vector<std::string> seen;
        for (table.first(); !table.eof(); table.next()) {
            seen.push_back(table.text("COD"));
        }
        EXPECT_THAT(seen, ElementsAre("c1", "c2", "c3"));
        table.close();
    }
    {
        auto table = Table::open(dir.path(), "cursost");
        table.append();
        table.setText("COD", "c4");
        table.post();
        EXPECT_EQ(table.recordCount(), 4U);
        table.close();
    }
    auto table = Table::open(dir.path(), "CURSOST");
    std::vector<std::string> seen;
    for (table.first(); !table.eof(); table.next()) {
        seen.push_back(table.text("COD"));
    }
    EXPECT_THAT(seen, ElementsAre("c1", "c2", "c3", "c4"));
    auto b = test::readFile(dir / "CURSOST.DBF");
    EXPECT_EQ(le32(b, 4), 4U);
    EXPECT_EQ(b.size(), 32U + 32 * 5 + 1 + 4 * 49 + 1);
}

TEST(DbfTable, AppendingAfterAnEarlyEndMarkOverwritesTheStaleRecords) {
    TempDir dir;
    {
        auto table = Table::create(dir.path(), "T", kColumns);
        for (const char* code : {"a", "b", "c"}) {
            table.append();
            table.setText("COD", code);
            table.post();
        }
    }
    // Another program ended the table early: an end mark where record 2 starts, count still 3.
    auto bytes = test::readFile(dir / "T.DBF");
    const std::size_t headerLength = 32 + 32 * 5 + 1;
    bytes[headerLength + 1 * 49] = '\x1A';
    test::writeFile(dir / "T.DBF", bytes);
    {
        auto table = Table::open(dir.path(), "T");
        EXPECT_EQ(table.recordCount(), 1U);
        table.append();
        table.setText("COD", "z");
        table.post();
    }
    auto table = Table::open(dir.path(), "T");
    std::vector<std::string> seen;
    for (table.first(); !table.eof(); table.next()) {
        seen.push_back(table.text("COD"));
    }
    EXPECT_THAT(seen, ElementsAre("a", "z"));
    EXPECT_EQ(test::readFile(dir / "T.DBF").size(), headerLength + 2 * 49 + 1);
}

// A program that stops while appending (here: exits without closing) leaves a table whose
// header counts only records that are in the file.
TEST(DbfTable, HeaderNeverCountsRecordsThatAreNotWritten) {
    TempDir dir;
    const int appended = 30000; // about 1.5 MB: more than one batch of writes
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        try {
            auto table = Table::create(dir.path(), "T", kColumns);
            for (int i = 0; i < appended; ++i) {
                table.append();
                table.setText("COD", std::to_string(i % 10000));
                table.setFloat("DNI", i);
                table.post();
            }
            _exit(0); // no close, no destructors
        } catch (...) {
            _exit(1);
        }
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    auto bytes = test::readFile(dir / "T.DBF");
    const std::size_t headerLength = 32 + 32 * 5 + 1;
    const std::size_t counted = le32(bytes, 4);
    EXPECT_GT(counted, 0U);
    EXPECT_LT(counted, static_cast<std::size_t>(appended));
    EXPECT_LE(headerLength + counted * 49, bytes.size());

    auto table = Table::open(dir.path(), "T");
    EXPECT_EQ(table.recordCount(), counted);
    std::int64_t expected = 0;
    for (table.first(); !table.eof(); table.next(), ++expected) {
        ASSERT_EQ(table.integer("DNI"), expected);
    }
    EXPECT_EQ(static_cast<std::size_t>(expected), counted);
}

std::filesystem::path tableWithDeletedRecords(const TempDir& dir) {
    {
        auto table = Table::create(dir.path(), "SOLUC", kColumns);
        const std::pair<const char*, double> rows[] = {{"P1", 1},  {"P2", 2}, {"P1", 3}, {"p1", 4},
                                                       {"P1 ", 5}, {"P1", 6}, {"P2", 7}};
        for (const auto& [code, day] : rows) {
            table.append();
            table.setText("COD", code);
            table.setFloat("HORAS", day);
            table.post();
        }
    }
    // Mark records 2 (P1, 3) and 6 (P2, 7) deleted, as dBASE does.
    auto file = dir / "SOLUC.DBF";
    auto bytes = test::readFile(file);
    const std::size_t headerLength = 32 + 32 * 5 + 1;
    bytes[headerLength + 2 * 49] = '*';
    bytes[headerLength + 6 * 49] = '*';
    test::writeFile(file, bytes);
    return file;
}

std::vector<std::int64_t> walk(Table& table) {
    std::vector<std::int64_t> days;
    for (; !table.eof(); table.next()) {
        days.push_back(table.integer("HORAS"));
    }
    return days;
}

TEST(DbfTable, FilterShowsExactMatchesOfTheTextAndSkipsDeletedRecords) {
    TempDir dir;
    tableWithDeletedRecords(dir);
    auto table = Table::open(dir.path(), "SOLUC");
    EXPECT_EQ(table.recordCount(), 5U);
    table.first();
    EXPECT_THAT(walk(table), ElementsAre(1, 2, 4, 5, 6));

    table.setFilter("COD", "P1"); // letter case counts; the stored blank padding does not
    EXPECT_FALSE(table.eof());
    EXPECT_EQ(table.recordNumber(), 0U);
    EXPECT_THAT(walk(table), ElementsAre(1, 5, 6));
    EXPECT_EQ(table.recordCount(), 5U) << "the count ignores the filter";
    table.setFilter("COD", "P2");
    EXPECT_THAT(walk(table), ElementsAre(2));
    table.setFilter("cod", "P1 ");
    EXPECT_TRUE(table.eof()) << "a value is compared whole, with its blanks";
    table.setFilter("HORAS", "4"); // a number column compares as read as text
    EXPECT_THAT(walk(table), ElementsAre(4));
    table.setFilter("HORAS", "4.0000");
    EXPECT_TRUE(table.eof());
    table.clearFilter();
    EXPECT_THAT(walk(table), ElementsAre(1, 2, 4, 5, 6));
}

TEST(DbfTable, GoToStandsOnAnyLiveRecordWhateverTheFilter) {
    TempDir dir;
    tableWithDeletedRecords(dir);
    auto table = Table::open(dir.path(), "SOLUC");
    table.setFilter("COD", "P2");
    table.goTo(3);
    ASSERT_FALSE(table.eof());
    EXPECT_EQ(table.recordNumber(), 3U);
    EXPECT_EQ(table.text("COD"), "p1");
    table.next(); // next goes on under the filter
    EXPECT_TRUE(table.eof());
    table.goTo(2); // deleted
    EXPECT_TRUE(table.eof());
    table.goTo(99);
    EXPECT_TRUE(table.eof());
    table.next();
    EXPECT_TRUE(table.eof());
}

TEST(DbfTable, FindsFilesIgnoringLetterCase) {
    TempDir dir;
    for (const char* spelling : {"soluc.dbf", "Soluc.Dbf", "SOLUC.DBF"}) {
        SCOPED_TRACE(spelling);
        TempDir one;
        Table::create(one.path(), "X", kColumns).close();
        std::filesystem::rename(one / "X.DBF", one / spelling);
        auto found = findTableFile(one.path(), "Soluc");
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(found->filename(), spelling);
        EXPECT_NO_THROW(Table::open(one.path(), "SOLUC").close());
        EXPECT_NO_THROW(Table::open(one.path(), "soluc.DBF").close());
    }
    test::writeFile(dir / "aulat.dbf", "x");
    test::writeFile(dir / "AULAT.DBF", "x");
    test::writeFile(dir / "aulat.dbf.bak", "x");
    EXPECT_EQ(findFilesIgnoringCase(dir.path(), "AulaT.dbf").size(), 2U);
    EXPECT_EQ(findTableFile(dir.path(), "aulat")->filename(), "AULAT.DBF") << "exact name first";
    EXPECT_FALSE(findTableFile(dir.path(), "PROFT").has_value());
    EXPECT_TRUE(findFilesIgnoringCase(dir / "no_existe", "X.DBF").empty());
}

TEST(DbfTable, CreateReplacesTheTableUnderAnyLetterCase) {
    TempDir dir;
    test::writeFile(dir / "grupost.dbf", "old");
    test::writeFile(dir / "GRUPOST.DBF", "old");
    Table::create(dir.path(), "GRUPOST", kColumns).close();
    EXPECT_FALSE(std::filesystem::exists(dir / "grupost.dbf"));
    EXPECT_EQ(Table::open(dir.path(), "GRUPOST").recordCount(), 0U);
}

TEST(DbfTable, DeleteTableRemovesEverySpellingOfDataAndIndex) {
    TempDir dir;
    for (const char* f : {"ASIGT.DBF", "asigt.dbf", "ASIGT.MDX", "Asigt.mdx", "ASIGT2.DBF"}) {
        test::writeFile(dir / f, "x");
    }
    deleteTable(dir.path(), "asigt");
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        left.push_back(e.path().filename().string());
    }
    EXPECT_THAT(left, ElementsAre("ASIGT2.DBF"));
    EXPECT_NO_THROW(deleteTable(dir / "no_existe", "ASIGT"));
}

} // namespace
} // namespace tdb::dbf
