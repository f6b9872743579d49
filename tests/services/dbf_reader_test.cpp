// Reading tables written by other programs: the dBASE III/IV, level 7 and FoxPro layouts built
// byte by byte, and damaged files that must fail with a message instead of a crash.
#include "services/dbf_table.h"
#include "services/error.h"
#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>

namespace tdb::dbf {
namespace {

using test::TempDir;
using ::testing::HasSubstr;

struct FieldDef {
    std::string name;
    char type;
    int length;
    int decimals = 0;
};

void putLe(std::string& out, std::size_t at, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

std::string le(std::uint64_t value, int bytes) {
    std::string out(static_cast<std::size_t>(bytes), '\0');
    putLe(out, 0, value, bytes);
    return out;
}

std::string be(std::uint64_t value, int bytes) {
    std::string out(static_cast<std::size_t>(bytes), '\0');
    for (int i = 0; i < bytes; ++i) {
        out[static_cast<std::size_t>(bytes - 1 - i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return out;
}

// Level 7 integers: big-endian with the sign bit flipped, so that bytes sort like numbers.
std::string level7Int(std::int32_t v) {
    return be(static_cast<std::uint32_t>(v) ^ 0x80000000U, 4);
}

// Level 7 doubles: big-endian; positives get the sign bit set, negatives are inverted.
std::string level7Double(double v) {
    auto bits = std::bit_cast<std::uint64_t>(v);
    bits = (bits >> 63) == 0 ? bits | (std::uint64_t{1} << 63) : ~bits;
    return be(bits, 8);
}

std::string padRight(std::string s, std::size_t n) {
    s.resize(n, ' ');
    return s;
}

std::string padLeft(const std::string& s, std::size_t n) {
    return std::string(n > s.size() ? n - s.size() : 0, ' ') + s;
}

// A table file composed byte by byte from the published layouts.
struct DbfFile {
    unsigned char version = 0x03;
    std::vector<FieldDef> fields;
    std::vector<std::string> records; // whole records, deletion flag first
    std::optional<std::uint32_t> declaredCount;
    std::optional<std::uint16_t> headerLength;
    std::optional<std::uint16_t> recordLength;
    std::size_t afterDescriptors = 0; // FoxPro backlink area, level 7 field properties
    std::string languageDriverName = "DBWINWE0";
    unsigned char languageDriver = 0x57;
    bool productionIndex = false;
    bool endMark = true;

    bool level7() const { return (version & 0x07) == 0x04; }

    std::string bytes() const {
        const std::size_t start = level7() ? 68 : 32;
        const std::size_t descriptorSize = level7() ? 48 : 32;
        std::string out(start, '\0');
        out[0] = static_cast<char>(version);
        out[1] = 125;
        out[2] = 3;
        out[3] = 14;
        std::size_t width = 1;
        for (const auto& f : fields) {
            width += static_cast<std::size_t>(f.length);
        }
        putLe(out, 4, declaredCount.value_or(static_cast<std::uint32_t>(records.size())), 4);
        const std::size_t natural = start + descriptorSize * fields.size() + 1 + afterDescriptors;
        putLe(out, 8, headerLength.value_or(static_cast<std::uint16_t>(natural)), 2);
        putLe(out, 10, recordLength.value_or(static_cast<std::uint16_t>(width)), 2);
        out[28] = productionIndex ? 1 : 0;
        out[29] = static_cast<char>(languageDriver);
        if (level7()) {
            std::memcpy(out.data() + 32, languageDriverName.data(), languageDriverName.size());
        }
        for (const auto& f : fields) {
            std::string d(descriptorSize, '\0');
            std::memcpy(d.data(), f.name.data(), f.name.size());
            if (level7()) {
                d[32] = f.type;
                d[33] = static_cast<char>(f.length);
                d[34] = static_cast<char>(f.decimals);
            } else {
                d[11] = f.type;
                d[16] = static_cast<char>(f.length);
                d[17] = static_cast<char>(f.decimals);
            }
            out += d;
        }
        out += '\r';
        out += std::string(afterDescriptors, '\0');
        for (const auto& r : records) {
            out += r;
        }
        if (endMark) {
            out += '\x1A';
        }
        return out;
    }
};

std::filesystem::path writeTable(const TempDir& dir, const std::string& fileName,
                                 const std::string& bytes) {
    auto file = dir / fileName;
    test::writeFile(file, bytes);
    return file;
}

// Every visible record's values of the given columns, as text.
std::vector<std::vector<std::string>> readAll(Table& table, const std::vector<std::string>& cols) {
    std::vector<std::vector<std::string>> rows;
    for (table.first(); !table.eof(); table.next()) {
        std::vector<std::string> row;
        for (const auto& c : cols) {
            row.push_back(table.text(c));
        }
        rows.push_back(row);
    }
    return rows;
}

using Rows = std::vector<std::vector<std::string>>;

TEST(DbfReader, DBaseIVWithMemoFlagDateNumberAndDeletedRecords) {
    DbfFile f;
    f.version = 0x8B; // dBASE IV with memo
    f.productionIndex = true;
    f.fields = {{"prof", 'C', 6},  {"DIA", 'N', 5, 1},  {"FECHA", 'D', 8},
                {"NOTA", 'M', 10}, {"PESO", 'F', 8, 3}, {"ACTIVO", 'L', 1}};
    f.records = {
        " " + padRight("ANA", 6) + padLeft("3.0", 5) + "20240131" + padLeft("12", 10) +
            padLeft("-0.125", 8) + "T",
        "*" + padRight("BORR", 6) + padLeft("9.0", 5) + "        " + std::string(10, ' ') +
            std::string(8, ' ') + "F",
        " " + padRight("\xD1\xFA \xE9", 6) + padLeft("12.5", 5) + std::string(8, ' ') +
            std::string(10, ' ') + padLeft("1.5E+02", 8) + "?",
    };
    TempDir dir;
    writeTable(dir, "SOLUC.DBF", f.bytes());
    test::writeFile(dir / "SOLUC.MDX", "not an index at all");

    auto table = Table::open(dir.path(), "SOLUC");
    EXPECT_EQ(table.recordCount(), 2U);
    ASSERT_EQ(table.columns().size(), 6U);
    EXPECT_EQ(table.columns()[0].name, "PROF");
    EXPECT_EQ(table.columns()[4].type, 'F');
    EXPECT_EQ(table.columns()[4].offset, 29U);
    EXPECT_EQ(readAll(table, {"PROF", "DIA", "FECHA", "NOTA", "PESO", "ACTIVO"}),
              (Rows{{"ANA", "3", "20240131", "        12", "-0.125", "T"},
                    {"\xD1\xFA \xE9", "12.5", "", "", "150", ""}}));
    table.first();
    EXPECT_EQ(table.recordNumber(), 0U);
    EXPECT_EQ(table.integer("DIA"), 3);
    EXPECT_DOUBLE_EQ(table.number("peso"), -0.125);
    table.next();
    EXPECT_EQ(table.recordNumber(), 2U); // the deleted record 1 is skipped
    EXPECT_EQ(table.integer("DIA"), 13); // 12.5 rounds away from zero
    EXPECT_TRUE(table.isBlank(table.columnIndex("FECHA")));
    EXPECT_EQ(table.integer("ACTIVO"), 0);
}

TEST(DbfReader, Level7BinaryTypesAndLongNames) {
    DbfFile f;
    f.version = 0x04;
    f.afterDescriptors = 48; // a field properties block the reader must step over
    f.fields = {{"CODIGO_DE_PROFESOR_LARGO", 'C', 5},
                {"N", 'I', 4},
                {"AUTO", '+', 4},
                {"REAL", 'O', 8},
                {"HORA", 'N', 4}};
    auto rec = [](const std::string& code, const std::string& i, const std::string& a,
                  const std::string& o, const std::string& h) {
        return " " + padRight(code, 5) + i + a + o + padLeft(h, 4);
    };
    f.records = {
        rec("A1", level7Int(1), level7Int(1), level7Double(2.5), "7"),
        rec("B2", level7Int(-7), level7Int(2), level7Double(-1234.75), "-3"),
        rec("C3", level7Int(0), level7Int(3), level7Double(0.0), ""),
        rec("D4", std::string(4, '\0'), level7Int(2147483647), std::string(8, '\0'), ""),
        // -2^31 would be stored as all zero bytes, the level 7 "no value".
        rec("E5", level7Int(-2147483647), level7Int(5), level7Double(1e-300), ""),
    };
    TempDir dir;
    writeTable(dir, "prueba7.dbf", f.bytes());

    auto table = Table::open(dir.path(), "PRUEBA7");
    EXPECT_EQ(table.columns()[0].name, "CODIGO_DE_PROFESOR_LARGO");
    EXPECT_EQ(readAll(table, {"codigo_de_profesor_largo", "N", "AUTO", "REAL", "HORA"}),
              (Rows{{"A1", "1", "1", "2.5", "7"},
                    {"B2", "-7", "2", "-1234.75", "-3"},
                    {"C3", "0", "3", "0", ""},
                    {"D4", "", "2147483647", "", ""},
                    {"E5", "-2147483647", "5", "1e-300", ""}}));
    table.goTo(1);
    EXPECT_EQ(table.integer("N"), -7);
    EXPECT_DOUBLE_EQ(table.number("REAL"), -1234.75);
    table.goTo(3);
    EXPECT_TRUE(table.isBlank(1));
    EXPECT_EQ(table.integer("N"), 0);
    EXPECT_EQ(table.number("REAL"), 0.0);
    EXPECT_FALSE(table.isBlank(2));
}

TEST(DbfReader, VisualFoxProBacklinkAndLittleEndianTypes) {
    DbfFile f;
    f.version = 0x30;
    f.afterDescriptors = 263; // the backlink area
    f.fields = {{"NOMBRE", 'C', 4}, {"CUENTA", 'I', 4}, {"VALOR", 'B', 8},
                {"PRECIO", 'Y', 8}, {"MEMO", 'M', 4},   {"CUANDO", 'T', 8}};
    auto rec = [](const std::string& name, std::int32_t i, double b, std::int64_t y) {
        return " " + padRight(name, 4) + le(static_cast<std::uint32_t>(i), 4) +
               le(std::bit_cast<std::uint64_t>(b), 8) + le(static_cast<std::uint64_t>(y), 8) +
               std::string(4, '\0') + std::string(8, '\x07');
    };
    f.records = {rec("uno", 42, 0.25, 123456), rec("dos", -5, -3.0, -50000)};
    TempDir dir;
    writeTable(dir, "Zorro.Dbf", f.bytes());

    auto table = Table::open(dir.path(), "zorro");
    EXPECT_EQ(readAll(table, {"NOMBRE", "CUENTA", "VALOR", "PRECIO"}),
              (Rows{{"uno", "42", "0.25", "12.3456"}, {"dos", "-5", "-3", "-5"}}));
    table.first();
    EXPECT_EQ(table.integer("CUENTA"), 42);
    EXPECT_DOUBLE_EQ(table.number("PRECIO"), 12.3456);
    // Memo pointers and date-times are no values the engine interprets, but reading them is
    // harmless.
    EXPECT_NO_THROW(table.text("MEMO"));
    EXPECT_NO_THROW(table.text("CUANDO"));
    // Other flavours are read, not written.
    EXPECT_THROW(table.append(), Error);
}

TEST(DbfReader, EndMarkAtARecordStartEndsTheTable) {
    DbfFile f;
    f.fields = {{"A", 'C', 2}};
    f.records = {" aa", " bb",
                 "\x1A"
                 "cc",
                 " dd"};
    f.declaredCount = 4;
    TempDir dir;
    writeTable(dir, "T.DBF", f.bytes());
    auto table = Table::open(dir.path(), "T");
    EXPECT_EQ(table.recordCount(), 2U);
    EXPECT_EQ(readAll(table, {"A"}), (Rows{{"aa"}, {"bb"}}));
}

TEST(DbfReader, StaleCountSmallerThanTheDataShowsOnlyCountedRecords) {
    DbfFile f;
    f.fields = {{"A", 'C', 1}};
    f.records = {" 1", " 2", " 3"};
    f.declaredCount = 2;
    TempDir dir;
    writeTable(dir, "T.DBF", f.bytes());
    auto table = Table::open(dir.path(), "T");
    EXPECT_EQ(readAll(table, {"A"}), (Rows{{"1"}, {"2"}}));
}

TEST(DbfReader, ClipperLongTextColumnUsesDecimalsAsHighByte) {
    DbfFile f;
    f.fields = {{"LARGO", 'C', 44, 1}, {"B", 'C', 1}}; // 44 + 256 = 300 characters
    f.recordLength = 1 + 300 + 1;
    f.records = {" " + padRight(std::string(299, 'x') + "y", 300) + "z"};
    TempDir dir;
    writeTable(dir, "T.DBF", f.bytes());
    auto table = Table::open(dir.path(), "T");
    EXPECT_EQ(table.columns()[0].length, 300);
    EXPECT_EQ(table.text("LARGO").size(), 300U);
    EXPECT_EQ(table.text("B"), "z");
}

// Damaged files: each must throw tdb::Error naming the file and saying what is wrong.
struct DamageCase {
    const char* label;
    std::function<std::string()> bytes;
    const char* cause;
};

std::string goodTable() {
    DbfFile f;
    f.fields = {{"COD", 'C', 4}, {"N", 'N', 3}};
    f.records = {" abcd  1", " efgh  2"};
    return f.bytes();
}

DbfFile goodFile() {
    DbfFile f;
    f.fields = {{"COD", 'C', 4}, {"N", 'N', 3}};
    f.records = {" abcd  1", " efgh  2"};
    return f;
}

const DamageCase kDamage[] = {
    {"empty file", [] { return std::string(); }, "menos que la cabecera"},
    {"cut inside the header", [] { return goodTable().substr(0, 20); }, "menos que la cabecera"},
    {"cut inside the descriptors", [] { return goodTable().substr(0, 50); },
     "la cabecera dice medir"},
    {"cut inside the last record",
     [] {
         auto f = goodFile();
         f.endMark = false;
         auto b = f.bytes();
         return b.substr(0, b.size() - 3);
     },
     "solo contiene 1"},
    {"count beyond the data",
     [] {
         auto f = goodFile();
         f.declaredCount = 1000000;
         f.endMark = false;
         return f.bytes();
     },
     "indica 1000000 registros"},
    {"count at the maximum",
     [] {
         auto f = goodFile();
         f.declaredCount = 0xFFFFFFFFU;
         f.endMark = false;
         return f.bytes();
     },
     "registros"},
    {"header length beyond the file",
     [] {
         auto f = goodFile();
         f.headerLength = 60000;
         return f.bytes();
     },
     "60000 bytes"},
    {"header length below the header",
     [] {
         auto f = goodFile();
         f.headerLength = 10;
         return f.bytes();
     },
     "menos de lo que ocupa"},
    {"record length zero",
     [] {
         auto f = goodFile();
         f.recordLength = 0;
         return f.bytes();
     },
     "0 bytes"},
    {"columns wider than the record",
     [] {
         auto f = goodFile();
         f.recordLength = 4;
         return f.bytes();
     },
     "sus columnas ocupan 8 bytes"},
    {"descriptor crossing the header end",
     [] {
         auto f = goodFile();
         f.headerLength = 32 + 32 + 10;
         return f.bytes();
     },
     "columna 2 está cortada"},
    {"no columns",
     [] {
         auto f = goodFile();
         f.fields.clear();
         f.records.clear();
         f.recordLength = 1;
         return f.bytes();
     },
     "no tiene columnas"},
    {"unknown version byte",
     [] {
         auto b = goodTable();
         b[0] = 0x00;
         return b;
     },
     "no es una tabla dBASE reconocida"},
    {"text file", [] { return std::string(200, 'x'); }, "no es una tabla dBASE reconocida"},
    {"level 7 header cut before its descriptors",
     [] {
         auto f = goodFile();
         f.version = 0x04;
         f.headerLength = 40;
         return f.bytes();
     },
     "menos de lo que ocupa"},
};

TEST(DbfReader, DamagedFilesThrowNamingFileAndCause) {
    for (const auto& c : kDamage) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        auto file = writeTable(dir, "DANADA.DBF", c.bytes());
        try {
            auto table = Table::open(dir.path(), "DANADA");
            FAIL() << "opened a damaged table";
        } catch (const Error& e) {
            EXPECT_THAT(e.what(), HasSubstr(file.string()));
            EXPECT_THAT(e.what(), HasSubstr(c.cause));
        }
        // The failed open left no lock behind.
        EXPECT_FALSE(isHeldByAnotherProgram(file));
    }
}

TEST(DbfReader, BadNumberThrowsWhenReadAsNumberButReadsAsText) {
    DbfFile f;
    f.fields = {{"N", 'N', 5}, {"C", 'C', 3}};
    f.records = {" **.** x1"};
    TempDir dir;
    auto file = writeTable(dir, "T.DBF", f.bytes());
    auto table = Table::open(dir.path(), "T");
    EXPECT_EQ(table.text("N"), "**.**");
    try {
        table.integer("N");
        FAIL();
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("«**.**» de la columna N (registro 1)"));
        EXPECT_THAT(e.what(), HasSubstr(file.string()));
    }
    EXPECT_THROW(table.number("C"), Error);
}

TEST(DbfReader, MissingFolderFileAndColumnNameTheirCause) {
    TempDir dir;
    auto expectError = [](const std::function<void()>& action, const std::string& part) {
        try {
            action();
            FAIL() << "no error";
        } catch (const Error& e) {
            EXPECT_THAT(e.what(), HasSubstr(part));
        }
    };
    expectError([&] { Table::open(dir / "nada", "SOLUC"); },
                "No existe la carpeta de datos " + (dir / "nada").string() + " (tabla SOLUC)");
    expectError([&] { Table::open(dir.path(), "SOLUC"); }, "No existe la tabla SOLUC");
    writeTable(dir, "SOLUC.DBF", goodTable());
    auto table = Table::open(dir.path(), "SOLUC");
    expectError([&] { table.text("PROF"); }, "no tiene la columna PROF");
    expectError([&] { table.text(7); }, "no tiene la columna número 7");
    expectError([&] { table.setFilter("XX", "1"); }, "no tiene la columna XX");
}

} // namespace
} // namespace tdb::dbf
