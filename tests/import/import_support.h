#pragma once

#include "formats/front_end.h"
#include "formats/table_catalogue.h"
#include "services/dbf_table.h"

#include <pugixml.hpp>

#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Fixtures of the import tests: timetable tables written with the engine, a fake front end, and a
// structural description of documents.
namespace tdb::test {

// One record: column name -> value (UTF-8 in the test, stored as Windows-1252). A column left
// out stays blank; Float columns take decimal text, Logical columns "T" or "F".
using Row = std::map<std::string, std::string>;

// The rows of the nine tables of an import.
struct School {
    std::map<catalogue::TableId, std::vector<Row>> rows;
    // Width of SOLUC's code columns (ASIG, PROF, CODGRUPO, AULA, TAREA), 4 as the timetabler
    // writes them.
    int solucCodeWidth = 4;

    std::vector<Row>& operator[](catalogue::TableId id) { return rows[id]; }
};

// SOLUC's layout as the timetabling program writes it.
std::vector<dbf::ColumnSpec> solucColumns(int codeWidth = 4);

// Writes table `name` with `columns` and `rows` into `folder`.
void writeTable(const std::filesystem::path& folder, std::string_view name,
                const std::vector<dbf::ColumnSpec>& columns, const std::vector<Row>& rows);
// Writes all nine tables of `school` (a table without rows is written empty).
void writeSchool(const std::filesystem::path& folder, const School& school);

// A small school: two teachers, two groups, a few placed lessons and one unplaced record.
School smallSchool();

// Marks record `recordNumber` (0-based) of a .DBF file as deleted, as a dBASE program does.
void markDeleted(const std::filesystem::path& dbfFile, std::size_t recordNumber);

// An exchange document with the given SALIDAS content and, around it, content the import must
// keep.
std::string exchangeDocument(std::string_view salidasContent = "<listasal seq=\"MATERIAS\"/>");

// Every file of a folder with its bytes and modification time, to show that nothing changed.
std::map<std::string, std::string> snapshot(const std::filesystem::path& folder);

// Elements, attributes and texts of a subtree, one element a line, indented by depth:
//   name attr=value ... "direct text"
// Comments and processing instructions are shown as #comment / ?name lines.
std::string describe(pugi::xml_node node, int depth = 0);

// The six values of a TRAMO_ list joined with '|', in field order.
std::string slotValues(pugi::xml_node slot);

// Front end of the tests: answers the file dialog from a queue and records what the run did.
class FakeFrontEnd : public FrontEnd {
public:
    explicit FakeFrontEnd(std::vector<std::optional<std::string>> answers = {})
        : answers_(std::move(answers)) {}

    std::optional<std::string> chooseFile() override;
    void showMessage(std::string_view text) override {
        events.push_back("message:" + std::string(text));
    }
    void setBusy(bool busy) override { events.push_back(busy ? "busy" : "idle"); }
    void disableActions() override { events.push_back("disable"); }
    void closeWindow() override { events.push_back("close"); }

    void answer(std::optional<std::string> file) { answers_.push_back(std::move(file)); }

    std::vector<std::string> events;

private:
    std::vector<std::optional<std::string>> answers_;
    std::size_t next_ = 0;
};

} // namespace tdb::test
