#include "file_front_end.h"
#include "generator_tables.h"

#include "import/import_run.h"
#include "support/test_support.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <fstream>
#include <iterator>
#include <map>
#include <memory>

namespace {

using tdb::test::TempDir;

using tdb::bench::FileFrontEnd;

// The chosen exchange file: its header stays, its output section is replaced.
constexpr const char* kInput = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
                               "<SERVICIO>\n"
                               "  <ENTRADAS><entrada dato=\"C_ANNO\">2026</entrada></ENTRADAS>\n"
                               "  <SALIDAS><listasal seq=\"MATERIAS\"/></SALIDAS>\n"
                               "</SERVICIO>\n";

struct Fixture {
    TempDir dir;
    std::filesystem::path data = dir / "VTEMP";
    std::filesystem::path input = dir / "datos.xml";
    std::filesystem::path result = dir / "ResultadoDorimodatos.xml";
    std::vector<std::filesystem::path> tables;
    std::uintmax_t tableBytes = 0;
};

Fixture& fixture(int scale) {
    static std::map<int, std::unique_ptr<Fixture>> fixtures;
    auto& f = fixtures[scale];
    if (!f) {
        f = std::make_unique<Fixture>();
        std::filesystem::create_directory(f->data);
        tdb::bench::writeTimetableTables(f->data, scale);
        tdb::test::writeFile(f->input, kInput);
        for (const auto& entry : std::filesystem::directory_iterator(f->data)) {
            f->tables.push_back(entry.path());
            f->tableBytes += entry.file_size();
        }
    }
    return *f;
}

void runImport(const Fixture& f) {
    tdb::Session session;
    session.dataDir = f.data;
    FileFrontEnd frontEnd(f.input.string());
    tdb::importer::BImportarClick(session, frontEnd);
}

void report(benchmark::State& state, const Fixture& f) {
    const auto documentBytes = std::filesystem::file_size(f.result);
    state.SetBytesProcessed(
        static_cast<int64_t>(state.iterations() * (f.tableBytes + documentBytes)));
    state.counters["tables_MB"] = static_cast<double>(f.tableBytes) / 1e6;
    state.counters["document_MB"] = static_cast<double>(documentBytes) / 1e6;
}

// The whole import: nine tables opened and read, the result document built and saved.
void BM_Import(benchmark::State& state) {
    auto& f = fixture(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        runImport(f);
    }
    report(state, f);
}

// The floor of the same work: every table file read into memory, and a document of the result's
// size, already built, saved with pugixml.
void BM_ImportFloor(benchmark::State& state) {
    auto& f = fixture(static_cast<int>(state.range(0)));
    if (!std::filesystem::exists(f.result)) {
        runImport(f);
    }
    pugi::xml_document document;
    document.load_file(f.result.c_str());
    const auto floorFile = f.dir / "floor.xml";
    for (auto _ : state) {
        for (const auto& table : f.tables) {
            std::ifstream in(table, std::ios::binary);
            std::string bytes(std::filesystem::file_size(table), '\0');
            in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            benchmark::DoNotOptimize(bytes.data());
        }
        document.save_file(floorFile.c_str(), "\t", pugi::format_default, pugi::encoding_latin1);
    }
    report(state, f);
}

// The bare DOM of the result: the result document read by pugixml, which keeps the text it parsed
// and points into it. That is the least an import that builds its result as a DOM holds at its
// end; run alone under /usr/bin/time -v, its peak memory is the floor of such an import's. The
// result is made by the command-line program in a child process, so that nothing of the import
// itself counts in this process.
void BM_ResultDom(benchmark::State& state) {
    auto& f = fixture(static_cast<int>(state.range(0)));
    if (!std::filesystem::exists(f.result)) {
        const auto cli = tdb::test::binaryDir() / "src" / "cli" / "transdorimobrelo-cli";
        const auto run = tdb::test::runProcess(
            {cli.string(), "--data-dir", f.data.string(), "importar", f.input.string()});
        if (run.exitCode != 0) {
            state.SkipWithError(("the import failed: " + run.err).c_str());
            return;
        }
    }
    std::size_t nodes = 0;
    for (auto _ : state) {
        pugi::xml_document document;
        if (!document.load_file(f.result.c_str())) {
            state.SkipWithError("the result does not parse");
            return;
        }
        nodes =
            static_cast<std::size_t>(std::distance(document.document_element().children().begin(),
                                                   document.document_element().children().end()));
        benchmark::DoNotOptimize(nodes);
    }
    report(state, f);
}

BENCHMARK(BM_Import)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImportFloor)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ResultDom)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
