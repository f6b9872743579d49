#include "file_front_end.h"
#include "generator.h"

#include "export/export_run.h"
#include "support/test_support.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <cstdio>
#include <fstream>
#include <map>

namespace {

using tdb::test::TempDir;

using tdb::bench::FileFrontEnd;

struct Fixture {
    TempDir dir;
    std::filesystem::path document;
    std::size_t documentBytes = 0;
};

Fixture& fixture(int scale) {
    static std::map<int, std::unique_ptr<Fixture>> fixtures;
    auto& f = fixtures[scale];
    if (!f) {
        f = std::make_unique<Fixture>();
        f->document = f->dir / "school.xml";
        const std::string bytes = tdb::bench::exchangeDocument(scale);
        f->documentBytes = bytes.size();
        tdb::test::writeFile(f->document, bytes);
        std::filesystem::create_directory(f->dir / "data");
    }
    return *f;
}

// The whole export: load, eight tables built aside, swapped into the data folder.
void BM_Export(benchmark::State& state) {
    auto& f = fixture(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        tdb::Session session;
        session.dataDir = f.dir / "data";
        FileFrontEnd frontEnd(f.document.string());
        tdb::exporter::BExportarClick(session, frontEnd);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.documentBytes));
    std::uintmax_t tableBytes = 0;
    for (const auto& entry : std::filesystem::directory_iterator(f.dir / "data")) {
        if (entry.is_regular_file()) {
            tableBytes += entry.file_size();
        }
    }
    state.counters["document_MB"] = static_cast<double>(f.documentBytes) / 1e6;
    state.counters["tables_MB"] = static_cast<double>(tableBytes) / 1e6;
}

// The floor of the same work: pugixml's bare parse of the document, plus a plain buffered write
// of as many bytes as the tables take.
void BM_ExportFloor(benchmark::State& state) {
    auto& f = fixture(static_cast<int>(state.range(0)));
    std::uintmax_t tableBytes = 0;
    for (const auto& entry : std::filesystem::directory_iterator(f.dir / "data")) {
        if (entry.is_regular_file()) {
            tableBytes += entry.file_size();
        }
    }
    if (tableBytes == 0) {
        state.SkipWithError("run BM_Export first (same process) to size the tables");
        return;
    }
    const std::string record(128, 'x');
    for (auto _ : state) {
        pugi::xml_document doc;
        auto result = doc.load_file(f.document.c_str());
        benchmark::DoNotOptimize(result);
        std::ofstream out(f.dir / "floor.bin", std::ios::binary | std::ios::trunc);
        for (std::uintmax_t written = 0; written < tableBytes; written += record.size()) {
            out.write(record.data(), static_cast<std::streamsize>(record.size()));
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.documentBytes));
}

BENCHMARK(BM_Export)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportFloor)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
