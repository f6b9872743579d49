// The engine's tables against independent dBASE readers and writers: python's dbfread and dbf
// packages and GDAL's ogrinfo read what the engine writes; the engine reads what python's dbf
// writes and a level 7 table laid out byte by byte as dBASE 7 stores it.
#include "services/dbf_table.h"
#include "services/error.h"
#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>

namespace tdb::dbf {
namespace {

using test::TempDir;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

// Runs a python script with the Debian python and the packages the set-up installs; its
// standard output is UTF-8.
std::string python(const std::string& script, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {test::systemPython(), "-c", script};
    argv.insert(argv.end(), args.begin(), args.end());
    auto result = test::runProcess(argv, {"PYTHONIOENCODING=utf-8"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result.out;
}

// Each reader prints one line per record, the values joined by '|': text without trailing
// blanks, whole numbers as digits, other numbers with four decimals, logicals T/F, and "-"
// for no value (an empty text included, which some readers give as no value).
const char* const kShow = R"(
def show(v):
    if v is None: return '-'
    if isinstance(v, bool): return 'T' if v else 'F'
    if isinstance(v, float): return '%.4f' % v
    if isinstance(v, int): return str(v)
    if hasattr(v, 'isoformat'): return v.isoformat()
    v = v.rstrip()
    return v if v else '-'
)";

const std::vector<ColumnSpec> kColumns = {
    {"COD", ColumnKind::Text, 4}, {"NOMBRE", ColumnKind::Text, 12}, {"DNI", ColumnKind::Integer},
    {"HORAS", ColumnKind::Float}, {"ESTAREA", ColumnKind::Logical},
};

// What the engine writes (Windows-1252 bytes) and what every reader must show (UTF-8).
struct Row {
    std::function<void(Table&)> fill;
    const char* shown;
};

const Row kRows[] = {
    {[](Table& t) {
         t.setText("COD", "MAT1");
         t.setText("NOMBRE", "Matem\xE1ticas");
         t.setFloat("DNI", 12);
         t.setFloat("HORAS", 2.5);
         t.setLogical("ESTAREA", true);
     },
     "MAT1|Matemáticas|12|2.5000|T"},
    {[](Table& t) {
         t.setText("COD", "LENGUA"); // cut to the width
         t.setText("NOMBRE", "\xD1"
                             "and\xFA \x80 \x9C");
         t.setFloat("DNI", -7);
         t.setFloat("HORAS", -0.125);
         t.setLogical("ESTAREA", false);
     },
     "LENG|Ñandú € œ|-7|-0.1250|F"},
    {[](Table&) {}, "-|-|-|-|-"},
    {[](Table& t) {
         t.setText("COD", "X");
         t.setText("NOMBRE", "Pe\xF1"
                             "a Ib\xE1\xF1"
                             "ez Mu\xF1oz"); // cut before a blank
         t.setFloat("DNI", 2147483647);
         t.setFloat("HORAS", 1234567.8912);
     },
     "X|Peña Ibáñez|2147483647|1234567.8912|-"},
};

std::filesystem::path writeEngineTable(const TempDir& dir) {
    auto table = Table::create(dir.path(), "prueba", kColumns);
    for (const auto& row : kRows) {
        table.append();
        row.fill(table);
        table.post();
    }
    table.close();
    return dir / "PRUEBA.DBF";
}

std::vector<std::string> expectedRows() {
    std::vector<std::string> out;
    for (const auto& row : kRows) {
        out.emplace_back(row.shown);
    }
    return out;
}

TEST(DbfInterop, DbfreadReadsEngineTables) {
    TempDir dir;
    auto file = writeEngineTable(dir);
    auto out = python(std::string(kShow) + R"(
import sys, dbfread
table = dbfread.DBF(sys.argv[1])
assert table.encoding == 'cp1252', table.encoding
print(' '.join('%s:%s:%d:%d' % (f.name, f.type, f.length, f.decimal_count) for f in table.fields))
for record in table:
    print('|'.join(show(v) for v in record.values()))
)",
                      {file.string()});
    auto got = lines(out);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0], "COD:C:4:0 NOMBRE:C:12:0 DNI:N:11:0 HORAS:N:20:4 ESTAREA:L:1:0");
    got.erase(got.begin());
    EXPECT_THAT(got, ElementsAreArray(expectedRows()));
}

TEST(DbfInterop, PythonDbfReadsEngineTables) {
    TempDir dir;
    auto file = writeEngineTable(dir);
    auto out = python(std::string(kShow) + R"(
import sys, dbf
table = dbf.Table(sys.argv[1])
table.open(dbf.READ_ONLY)
print(table.codepage.name)
for record in table:
    print('|'.join(show(record[f]) for f in table.field_names))
table.close()
)",
                      {file.string()});
    auto got = lines(out);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0], "cp1252");
    got.erase(got.begin());
    EXPECT_THAT(got, ElementsAreArray(expectedRows()));
}

TEST(DbfInterop, OgrinfoReadsEngineTables) {
    TempDir dir;
    auto file = writeEngineTable(dir);
    // GDAL sees the language driver mark but reads it as ISO-8859-1, which differs from
    // Windows-1252 in 0x80-0x9F (the euro sign, œ): it is told the code page the mark means.
    auto result = test::runProcess({"/usr/bin/ogrinfo", "--debug", "on", "--config",
                                    "SHAPE_ENCODING", "CP1252", "-ro", "-al", file.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.err.find("DBF Codepage = LDID/87"), std::string::npos) << result.err;
    // "  NAME (Type) = value" lines, one group per record.
    std::vector<std::string> rows;
    std::string row;
    int fields = 0;
    for (const auto& line : lines(result.out)) {
        auto at = line.find(") = ");
        if (line.rfind("  ", 0) != 0 || at == std::string::npos) {
            continue;
        }
        std::string value = line.substr(at + 4);
        if (value == "(null)" || value.empty()) {
            value = "-";
        }
        if (line.find("(Real)") != std::string::npos && value != "-") {
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%.4f", std::stod(value));
            value = buffer;
        }
        row += (fields == 0 ? "" : "|") + value;
        if (++fields == 5) {
            rows.push_back(row);
            row.clear();
            fields = 0;
        }
    }
    EXPECT_THAT(rows, ElementsAreArray(expectedRows())) << result.out;
    EXPECT_NE(result.out.find("Feature Count: 4"), std::string::npos);
}

// python's dbf writes a table of the given flavour (with a memo column, so dBASE III gets its
// memo version byte) and deletes its second record.
void writeWithPythonDbf(const std::filesystem::path& file, const std::string& kind) {
    python(R"(
import sys, dbf
kind = sys.argv[2]
if kind == 'vfp':
    layout = 'PROF C(6); DIA N(3,0); HORA B; CUENTA I; PRECIO Y; NOTA L; FECHA D; MEMO M'
else:
    layout = 'PROF C(6); DIA N(3,0); HORA N(8,3); CUENTA N(6,0); PRECIO F(10,4); NOTA L; FECHA D; MEMO M'
table = dbf.Table(sys.argv[1], layout, dbf_type=kind, codepage='cp1252')
table.open(dbf.READ_WRITE)
table.append(('Peña', 3, 1.5, 42, 2.25, True, dbf.Date(2024, 1, 31), 'un memo'))
table.append(('borrar', 9, 9.0, 9, 9.0, False, None, ''))
table.append(('Zoë', -7, -0.125, -5, -3.0, False, None, ''))
table.append()
dbf.delete(table[1])
table.close()
)",
           {file.string(), kind});
}

TEST(DbfInterop, EngineReadsTablesWrittenByPythonDbf) {
    for (const std::string kind : {"db3", "fp", "vfp"}) {
        SCOPED_TRACE(kind);
        TempDir dir;
        writeWithPythonDbf(dir / "soluc.dbf", kind);
        auto table = Table::open(dir.path(), "SOLUC");
        EXPECT_EQ(table.recordCount(), 3U);
        std::vector<std::string> rows;
        for (table.first(); !table.eof(); table.next()) {
            std::string row;
            for (const char* c : {"PROF", "DIA", "HORA", "CUENTA", "PRECIO", "NOTA", "FECHA"}) {
                row += table.text(c) + "|";
            }
            row +=
                std::to_string(table.integer("DIA")) + "|" + std::to_string(table.integer("HORA"));
            rows.push_back(row);
        }
        // The empty record: FoxPro's binary number columns have no blank and read 0.
        const std::string empty = kind == "vfp" ? "||0|0|0|||0|0" : "|||||||0|0";
        EXPECT_THAT(rows, ElementsAre("Pe\xF1"
                                      "a|3|1.5|42|2.25|T|20240131|3|2",
                                      "Zo\xEB|-7|-0.125|-5|-3|F||-7|0", empty));
        table.first();
        EXPECT_DOUBLE_EQ(table.number("HORA"), 1.5);
        EXPECT_DOUBLE_EQ(table.number("PRECIO"), 2.25);
    }
}

TEST(DbfInterop, EngineAppendsToADBaseIIITableThatDbfreadThenReads) {
    TempDir dir;
    writeWithPythonDbf(dir / "SOLUC.DBF", "db3");
    {
        auto table = Table::open(dir.path(), "SOLUC");
        table.append();
        table.setText("PROF", "Nu\xF1"
                              "ez");
        table.setFloat("DIA", 5);
        table.setText("FECHA", "20250102");
        table.post();
        table.close();
    }
    auto out = python(std::string(kShow) + R"(
import sys, dbfread
for record in dbfread.DBF(sys.argv[1], encoding='cp1252'):
    print('|'.join(show(record[f]) for f in ('PROF', 'DIA', 'FECHA', 'NOTA')))
)",
                      {(dir / "SOLUC.DBF").string()});
    EXPECT_THAT(lines(out), ElementsAre("Peña|3|2024-01-31|T", "Zoë|-7|-|F", "-|-|-|-",
                                        "Nuñez|5|2025-01-02|-"));
}

// A dBASE 7 table laid out as that program stores it: a 68-byte header with the language
// driver's name, 48-byte field descriptors with their index flags and autoincrement counters,
// the field properties structure after the terminator, and binary integers and doubles.
class Level7Table {
public:
    struct Field {
        std::string name;
        char type;
        int length;
        int decimals;
    };

    explicit Level7Table(std::vector<Field> fields) : fields_(std::move(fields)) {}

    void add(const std::string& record) { records_.push_back(record); }

    std::string bytes() const {
        constexpr std::size_t propertiesSize = 16;
        std::string out(68, '\0');
        out[0] = static_cast<char>(0x8C); // level 7 with memo file
        out[1] = 124;
        out[2] = 2;
        out[3] = 29;
        putLe(out, 4, records_.size(), 4);
        putLe(out, 8, 68 + 48 * fields_.size() + 1 + propertiesSize, 2);
        std::size_t width = 1;
        for (const auto& f : fields_) {
            width += static_cast<std::size_t>(f.length);
        }
        putLe(out, 10, width, 2);
        out[28] = 1; // production index, which the reader does not need
        out[29] = 0x57;
        std::memcpy(out.data() + 32, "DBWINWE0", 8);
        for (const auto& f : fields_) {
            std::string d(48, '\0');
            std::memcpy(d.data(), f.name.data(), f.name.size());
            d[32] = f.type;
            d[33] = static_cast<char>(f.length);
            d[34] = static_cast<char>(f.decimals);
            d[37] = f.type == '+' ? 1 : 0; // indexed in the production index
            if (f.type == '+') {
                putLe(d, 40, records_.size() + 1, 4); // next autoincrement value
            }
            out += d;
        }
        out += '\r';
        // Field properties: no standard, custom or referential-integrity properties.
        std::string properties(propertiesSize, '\0');
        putLe(properties, 2, propertiesSize, 2);
        putLe(properties, 6, propertiesSize, 2);
        putLe(properties, 10, propertiesSize, 2);
        putLe(properties, 12, propertiesSize, 2);
        putLe(properties, 14, propertiesSize, 2);
        out += properties;
        for (const auto& r : records_) {
            out += r;
        }
        out += '\x1A';
        return out;
    }

    static std::string integer(std::int32_t v) {
        return bigEndian(static_cast<std::uint32_t>(v) ^ 0x80000000U, 4);
    }
    static std::string real(double v) {
        auto bits = std::bit_cast<std::uint64_t>(v);
        bits = (bits >> 63) == 0 ? bits | (std::uint64_t{1} << 63) : ~bits;
        return bigEndian(bits, 8);
    }

private:
    static void putLe(std::string& out, std::size_t at, std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i) {
            out[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
        }
    }
    static std::string bigEndian(std::uint64_t v, int n) {
        std::string out(static_cast<std::size_t>(n), '\0');
        for (int i = 0; i < n; ++i) {
            out[static_cast<std::size_t>(n - 1 - i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
        }
        return out;
    }

    std::vector<Field> fields_;
    std::vector<std::string> records_;
};

TEST(DbfInterop, EngineReadsALevel7Table) {
    Level7Table t({{"ID", '+', 4, 0},
                   {"PROFESOR", 'C', 8, 0},
                   {"DIA", 'I', 4, 0},
                   {"HORA", 'N', 5, 2},
                   {"PESO", 'O', 8, 0},
                   {"ACTIVO", 'L', 1, 0},
                   {"ALTA", 'D', 8, 0},
                   {"CAMBIO", '@', 8, 0},
                   {"NOTAS", 'M', 10, 0}});
    const std::string stamp(8, '\x42');
    t.add(" " + Level7Table::integer(1) +
          "Pe\xF1"
          "a    " +
          Level7Table::integer(3) + " 1.50" + Level7Table::real(3.75) + "T" + "20240229" + stamp +
          "         7");
    t.add("*" + Level7Table::integer(2) + "Borrado " + Level7Table::integer(9) + " 9.00" +
          Level7Table::real(9) + "F" + "20240101" + stamp + "          ");
    t.add(" " + Level7Table::integer(3) + "Zo\xEB     " + Level7Table::integer(-12) + "     " +
          Level7Table::real(-0.5) + "?" + "        " + std::string(8, '\0') + "          ");
    t.add(" " + Level7Table::integer(4) + "        " + std::string(4, '\0') + "     " +
          std::string(8, '\0') + " " + "        " + std::string(8, '\0') + "          ");
    TempDir dir;
    test::writeFile(dir / "Horario7.DBF", t.bytes());
    test::writeFile(dir / "HORARIO7.MDX", std::string(512, '\x01'));

    auto table = Table::open(dir.path(), "HORARIO7");
    EXPECT_EQ(table.recordCount(), 3U);
    std::vector<std::string> rows;
    for (table.first(); !table.eof(); table.next()) {
        std::string row = std::to_string(table.recordNumber());
        for (const char* c : {"ID", "PROFESOR", "DIA", "HORA", "PESO", "ACTIVO", "ALTA"}) {
            row += "|" + table.text(c);
        }
        row +=
            "|" + std::to_string(table.integer("DIA")) + "|" + std::to_string(table.number("PESO"));
        rows.push_back(row);
    }
    EXPECT_THAT(rows, ElementsAre("0|1|Pe\xF1"
                                  "a|3|1.5|3.75|T|20240229|3|3.750000",
                                  "2|3|Zo\xEB|-12||-0.5|||-12|-0.500000", "3|4|||||||0|0.000000"));
    EXPECT_THROW(table.append(), Error) << "level 7 tables are read only to this engine";
}

} // namespace
} // namespace tdb::dbf
