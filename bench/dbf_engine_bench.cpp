// Write and read throughput of the dBASE engine on a table shaped like the teaching
// assignments (13 columns, 118-byte records), beside a plain buffered writer and reader of the
// very same bytes that do the same per-value work by hand (pad or cut each text, format the
// number; cut the blanks off each value on reading).
#include "services/dbf_table.h"

#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using tdb::dbf::ColumnKind;
using tdb::dbf::ColumnSpec;
using tdb::dbf::Table;

const std::vector<ColumnSpec> kColumns = {
    {"CASIG", ColumnKind::Text, 10}, {"CPROF", ColumnKind::Text, 10},
    {"CGRUP", ColumnKind::Text, 10}, {"CAULA", ColumnKind::Text, 10},
    {"TURNO", ColumnKind::Text, 1},  {"NIVEL", ColumnKind::Text, 5},
    {"CURSO", ColumnKind::Text, 3},  {"GRUPO", ColumnKind::Text, 2},
    {"HORAS", ColumnKind::Float},    {"SESIONES", ColumnKind::Text, 20},
    {"CLAVE", ColumnKind::Text, 10}, {"CLAVECURSO", ColumnKind::Text, 12},
    {"CTAREA", ColumnKind::Text, 4},
};
constexpr int kHoras = 8; // the one number column
constexpr std::size_t kRecordLength = 118;

struct Row {
    std::vector<std::string> texts; // every column but HORAS, in column order
    double horas = 0;
};

const std::vector<Row>& rows(std::size_t count) {
    static std::vector<Row> made;
    if (made.size() != count) {
        made.clear();
        unsigned state = 12345;
        auto next = [&] { return state = state * 1103515245U + 12345U; };
        for (std::size_t i = 0; i < count; ++i) {
            Row row;
            for (std::size_t c = 0; c < kColumns.size(); ++c) {
                if (static_cast<int>(c) == kHoras) {
                    continue;
                }
                // Codes of varied length, some longer than their column, some empty.
                std::string value = "V" + std::to_string(next() % 100000000U);
                value.resize(next() % 14, 'x');
                row.texts.push_back(value);
            }
            row.horas = static_cast<double>(next() % 400) / 4.0;
            made.push_back(std::move(row));
        }
    }
    return made;
}

class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "dbf-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp");
        }
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

void writeWithEngine(const fs::path& folder, const std::vector<Row>& data) {
    std::vector<std::string> names;
    for (std::size_t c = 0; c < kColumns.size(); ++c) {
        if (static_cast<int>(c) != kHoras) {
            names.push_back(kColumns[c].name);
        }
    }
    auto table = Table::create(folder, "ASIGT", kColumns);
    for (const auto& row : data) {
        table.append();
        for (std::size_t t = 0; t < row.texts.size(); ++t) {
            table.setText(names[t], row.texts[t]);
        }
        table.setFloat("HORAS", row.horas);
        table.post();
    }
    table.close();
}

std::string readAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The header the engine writes, taken from an empty table of the same columns.
const std::string& header() {
    static const std::string bytes = [] {
        ScratchFolder folder;
        Table::create(folder.path(), "ASIGT", kColumns).close();
        auto file = readAll(folder.path() / "ASIGT.DBF");
        return file.substr(0, file.size() - 1); // without the end mark
    }();
    return bytes;
}

// The same file written by hand through a buffered stdio stream.
void writePlain(const fs::path& file, const std::vector<Row>& data) {
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (out == nullptr) {
        throw std::runtime_error("fopen");
    }
    std::string head = header();
    const auto count = static_cast<std::uint32_t>(data.size());
    std::memcpy(head.data() + 4, &count, 4); // little-endian machine, as the file
    std::fwrite(head.data(), 1, head.size(), out);
    char record[kRecordLength];
    for (const auto& row : data) {
        char* p = record;
        *p++ = ' ';
        std::size_t t = 0;
        for (std::size_t c = 0; c < kColumns.size(); ++c) {
            if (static_cast<int>(c) == kHoras) {
                char digits[32];
                auto end = std::to_chars(digits, digits + sizeof digits, row.horas,
                                         std::chars_format::fixed, 4)
                               .ptr;
                const auto n = static_cast<std::size_t>(end - digits);
                std::memset(p, ' ', 20 - n);
                std::memcpy(p + 20 - n, digits, n);
                p += 20;
                continue;
            }
            const auto width = static_cast<std::size_t>(kColumns[c].width);
            const auto& value = row.texts[t++];
            const std::size_t n = std::min(value.size(), width);
            std::memcpy(p, value.data(), n);
            std::memset(p + n, ' ', width - n);
            p += width;
        }
        std::fwrite(record, 1, kRecordLength, out);
    }
    std::fputc(0x1A, out);
    std::fclose(out);
}

constexpr std::size_t kRecords = 100000;

void setCounters(benchmark::State& state, std::size_t bytes) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kRecords));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["records/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * kRecords), benchmark::Counter::kIsRate);
}

void BM_EngineWrite(benchmark::State& state) {
    const auto& data = rows(kRecords);
    ScratchFolder folder;
    for (auto _ : state) {
        writeWithEngine(folder.path(), data);
    }
    setCounters(state, fs::file_size(folder.path() / "ASIGT.DBF"));
}

void BM_PlainWrite(benchmark::State& state) {
    const auto& data = rows(kRecords);
    ScratchFolder folder;
    const auto file = folder.path() / "ASIGT.DBF";
    // The baseline must produce exactly what the engine writes (the header's date aside).
    writeWithEngine(folder.path(), data);
    auto engine = readAll(file);
    writePlain(file, data);
    if (readAll(file).substr(4) != engine.substr(4)) {
        state.SkipWithError("the plain writer does not write the engine's bytes");
        return;
    }
    for (auto _ : state) {
        writePlain(file, data);
    }
    setCounters(state, fs::file_size(file));
}

// Reads every value of every record as text, by column name as the conversions do.
void BM_EngineRead(benchmark::State& state) {
    ScratchFolder folder;
    writeWithEngine(folder.path(), rows(kRecords));
    std::vector<std::string> names;
    for (const auto& c : kColumns) {
        names.push_back(c.name);
    }
    for (auto _ : state) {
        auto table = Table::open(folder.path(), "ASIGT");
        std::size_t total = 0;
        for (table.first(); !table.eof(); table.next()) {
            for (const auto& name : names) {
                total += table.text(name).size();
            }
        }
        benchmark::DoNotOptimize(total);
    }
    setCounters(state, fs::file_size(folder.path() / "ASIGT.DBF"));
}

// The same walk by column position.
void BM_EngineReadByIndex(benchmark::State& state) {
    ScratchFolder folder;
    writeWithEngine(folder.path(), rows(kRecords));
    const int columns = static_cast<int>(kColumns.size());
    for (auto _ : state) {
        auto table = Table::open(folder.path(), "ASIGT");
        std::size_t total = 0;
        for (table.first(); !table.eof(); table.next()) {
            for (int c = 0; c < columns; ++c) {
                total += table.text(c).size();
            }
        }
        benchmark::DoNotOptimize(total);
    }
    setCounters(state, fs::file_size(folder.path() / "ASIGT.DBF"));
}

// A buffered stdio read of the same file, each value copied out without its blanks (the
// number without leading blanks and trailing zeros).
void BM_PlainRead(benchmark::State& state) {
    ScratchFolder folder;
    writeWithEngine(folder.path(), rows(kRecords));
    const auto file = folder.path() / "ASIGT.DBF";
    const std::size_t headerLength = header().size();
    for (auto _ : state) {
        std::FILE* in = std::fopen(file.c_str(), "rb");
        std::vector<char> head(headerLength);
        if (std::fread(head.data(), 1, headerLength, in) != headerLength) {
            state.SkipWithError("short read");
            std::fclose(in);
            return;
        }
        std::size_t total = 0;
        char record[kRecordLength];
        while (std::fread(record, 1, kRecordLength, in) == kRecordLength) {
            if (record[0] == '*') {
                continue;
            }
            const char* p = record + 1;
            for (std::size_t c = 0; c < kColumns.size(); ++c) {
                const std::size_t width = static_cast<int>(c) == kHoras
                                              ? 20
                                              : static_cast<std::size_t>(kColumns[c].width);
                std::string_view value(p, width);
                p += width;
                while (!value.empty() && value.back() == ' ') {
                    value.remove_suffix(1);
                }
                if (static_cast<int>(c) == kHoras) {
                    while (!value.empty() && value.front() == ' ') {
                        value.remove_prefix(1);
                    }
                    while (!value.empty() && value.back() == '0') {
                        value.remove_suffix(1);
                    }
                    if (!value.empty() && value.back() == '.') {
                        value.remove_suffix(1);
                    }
                }
                total += std::string(value).size();
            }
        }
        std::fclose(in);
        benchmark::DoNotOptimize(total);
    }
    setCounters(state, fs::file_size(file));
}

BENCHMARK(BM_EngineWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineReadByIndex)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);

} // namespace
