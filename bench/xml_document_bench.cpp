#include "generator.h"

#include "formats/exchange_document.h"
#include "services/xml_encoding.h"
#include "support/test_support.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <map>
#include <memory>
#include <vector>

namespace {

constexpr const char* kLists[] = {"MATERIAS", "TAREAS", "PROFESORES", "AULAS",
                                  "CURSOS",   "GRUPOS", "INTERVALOS"};

struct Fixture {
    tdb::test::TempDir dir;
    std::filesystem::path file;
    std::string bytes;
};

Fixture& fixture(int scale) {
    static std::map<int, std::unique_ptr<Fixture>> fixtures;
    auto& f = fixtures[scale];
    if (!f) {
        f = std::make_unique<Fixture>();
        f->bytes = tdb::bench::exchangeDocument(scale);
        f->file = f->dir / "school.xml";
        tdb::test::writeFile(f->file, f->bytes);
    }
    return *f;
}

// The yardstick: pugixml parsing the same bytes from memory, nothing else.
void BM_PugixmlParse(benchmark::State& state) {
    auto& f = fixture(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        pugi::xml_document doc;
        auto result = doc.load_buffer(f.bytes.data(), f.bytes.size());
        benchmark::DoNotOptimize(result.status);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.bytes.size()));
}

// What the export asks of the document: load from the file, then every list with every field
// text (and the named fields of INTERVALOS).
void BM_LoadAndReadLists(benchmark::State& state) {
    auto& f = fixture(static_cast<int>(state.range(0)));
    std::size_t fields = 0;
    for (auto _ : state) {
        auto doc = tdb::xml::Document::load(f.file);
        fields = 0;
        for (const char* list : kLists) {
            for (const auto& item : tdb::exchange::listItems(doc, list)) {
                for (std::size_t k = 0; k < item.fieldCount(); ++k) {
                    benchmark::DoNotOptimize(item.fieldText(k));
                    ++fields;
                }
                if (std::string_view(list) == "INTERVALOS") {
                    benchmark::DoNotOptimize(item.namedFields());
                }
            }
        }
    }
    state.counters["fields"] = static_cast<double>(fields);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.bytes.size()));
}

// The list query alone, its items built from the path engine's nodes and from the direct walk.
void BM_ListQueryXPath(benchmark::State& state) {
    auto doc = tdb::xml::Document::parse(fixture(static_cast<int>(state.range(0))).bytes, "m");
    for (auto _ : state) {
        for (const char* list : kLists) {
            std::string path =
                std::string("/SERVICIO/SALIDAS/listasal[@seq=\"") + list + "\"]/listasal";
            std::vector<tdb::exchange::Item> items;
            for (const auto& node : tdb::xml::selectNodes(doc.dom(), path.c_str())) {
                items.emplace_back(node.node(), items.size() + 1);
            }
            benchmark::DoNotOptimize(items.size());
        }
    }
}

void BM_ListQueryWalk(benchmark::State& state) {
    auto doc = tdb::xml::Document::parse(fixture(static_cast<int>(state.range(0))).bytes, "m");
    for (auto _ : state) {
        for (const char* list : kLists) {
            benchmark::DoNotOptimize(tdb::exchange::listItems(doc, list).size());
        }
    }
}

// Writing the result back, in UTF-8 and in ISO-8859-1 (where characters become references).
void BM_Serialize(benchmark::State& state) {
    std::string bytes = fixture(static_cast<int>(state.range(0))).bytes;
    if (state.range(1) != 0) {
        bytes = tdb::xml::encoding::fromUtf8("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n" +
                                                 bytes,
                                             tdb::xml::Encoding::Latin1, false);
    }
    auto doc = tdb::xml::Document::parse(bytes, "m");
    std::size_t written = 0;
    for (auto _ : state) {
        written = doc.serialize().size();
        benchmark::DoNotOptimize(written);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * written));
}

// The same written to a file as save() does it: streamed through a buffer into a temporary file,
// flushed to disk and renamed; beside it pugixml's own save_file, which neither transcodes into
// references nor syncs.
void BM_Save(benchmark::State& state) {
    auto& f = fixture(static_cast<int>(state.range(0)));
    std::string bytes = f.bytes;
    if (state.range(1) != 0) {
        bytes = tdb::xml::encoding::fromUtf8("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n" +
                                                 bytes,
                                             tdb::xml::Encoding::Latin1, false);
    }
    auto doc = tdb::xml::Document::parse(bytes, "m");
    const auto target = f.dir / "guardado.xml";
    for (auto _ : state) {
        doc.save(target);
    }
    state.SetBytesProcessed(
        static_cast<int64_t>(state.iterations() * std::filesystem::file_size(target)));
}

void BM_PugixmlSaveFile(benchmark::State& state) {
    auto& f = fixture(static_cast<int>(state.range(0)));
    pugi::xml_document doc;
    doc.load_buffer(f.bytes.data(), f.bytes.size());
    const auto target = f.dir / "pugixml.xml";
    const auto encoding = state.range(1) != 0 ? pugi::encoding_latin1 : pugi::encoding_utf8;
    for (auto _ : state) {
        doc.save_file(target.c_str(), "\t", pugi::format_default, encoding);
    }
    state.SetBytesProcessed(
        static_cast<int64_t>(state.iterations() * std::filesystem::file_size(target)));
}

BENCHMARK(BM_PugixmlParse)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadAndReadLists)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListQueryXPath)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListQueryWalk)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Serialize)->Args({4, 0})->Args({4, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save)->Args({4, 0})->Args({4, 1})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PugixmlSaveFile)
    ->Args({4, 0})
    ->Args({4, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
