#include "import/import_run.h"

#include "formats/exchange_document.h"
#include "formats/table_catalogue.h"
#include "import/teacher_timetables.h"
#include "services/data_dir.h"
#include "services/error.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tdb::importer {
namespace {

using catalogue::TableId;

// The nine tables, opened exclusively in the import's order and held until the run closes
// them. On a failure the destructor closes whatever is still open, so no lock outlives the run.
class OpenTables {
public:
    explicit OpenTables(const std::filesystem::path& dataDir) {
        tables_.reserve(catalogue::kImportTables.size());
        for (TableId id : catalogue::kImportTables) {
            tables_.push_back(catalogue::openTable(dataDir, id));
        }
    }

    dbf::Table& operator[](TableId id) {
        for (std::size_t i = 0; i < catalogue::kImportTables.size(); ++i) {
            if (catalogue::kImportTables[i] == id) {
                return tables_[i];
            }
        }
        throw Error("La tabla " + std::string(catalogue::schema(id).name) +
                    " no está entre las tablas de la importación");
    }

    // Closes them in the order they were opened, reporting a failure, and lets go of what
    // was read from them.
    void close() {
        for (auto& table : tables_) {
            table.close();
        }
        tables_.clear();
    }

private:
    std::vector<dbf::Table> tables_;
};

// The first element child named `name`; a processing instruction of that name does not count.
pugi::xml_node firstElement(pugi::xml_node parent, const char* name) {
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element && std::string_view(child.name()) == name) {
            return child;
        }
    }
    return {};
}

// Replaces the document's first SALIDAS with a new, empty one at the end of the root and returns
// the first SALIDAS again (the new one, unless the root had a second one).
pugi::xml_node rebuildOutputSection(xml::Document& document) {
    pugi::xml_node root = document.root();
    pugi::xml_node old = firstElement(root, "SALIDAS");
    if (!old) {
        throw Error("El documento " + document.sourceFile().string() +
                    " no tiene la sección SALIDAS bajo su elemento raíz " + root.name());
    }
    xml::removeChild(root, old);
    xml::appendElement(root, "SALIDAS");
    return firstElement(root, "SALIDAS");
}

void writeStatusBlock(pugi::xml_node salidas, std::size_t teacherCount) {
    pugi::xml_node block = xml::appendElement(salidas, "ERROR");
    exchange::appendField(block, "CN_ERROR", "0");
    exchange::appendField(block, "TE_ERROR", "Servicio finalizado Correctamente");
    exchange::appendField(block, "REGISTROS RECUPERADOS", std::to_string(teacherCount));
}

// Everything between the checked file and the finished result file.
void convert(Session& session, const std::filesystem::path& chosenFile) {
    requireDataDir(session.dataDir);
    OpenTables tables(session.dataDir);

    session.XMLDoc = std::make_unique<xml::Document>(xml::Document::load(chosenFile));
    xml::Document& document = *session.XMLDoc;

    pugi::xml_node salidas = rebuildOutputSection(document);
    writeStatusBlock(salidas, tables[TableId::PROFT].recordCount());
    const TeacherTimetables timetables(TimetableTables{
        tables[TableId::PROFT],
        tables[TableId::SOLUC],
        tables[TableId::ASIGT],
        tables[TableId::ASIGNOMT],
        tables[TableId::GRUPOST],
        tables[TableId::ASIGNOMT2],
        tables[TableId::DIASHORAST],
        tables[TableId::AULAT],
    });
    // Everything is read: the tables go before the lists are built, so that their memory and
    // the lists' are never needed at once.
    tables.close();
    timetables.write(salidas);

    document.save(exchange::resultFileName(chosenFile));
}

} // namespace

void BImportarClick(Session& session, FrontEnd& frontEnd) {
    if (auto chosen = frontEnd.chooseFile()) {
        session.XMLFileName = std::move(*chosen);
    }
    std::error_code ec;
    const std::filesystem::path chosenFile(session.XMLFileName);
    if (session.XMLFileName.empty() || !std::filesystem::is_regular_file(chosenFile, ec)) {
        frontEnd.showMessage("No existe archivo");
        if (session.automated()) {
            session.RunStatus = -1;
            frontEnd.closeWindow();
        }
        return;
    }

    {
        BusyCursor busy(frontEnd);
        convert(session, chosenFile);
    }

    session.RunStatus = 1;
    frontEnd.showMessage("Proceso finalizado");
    frontEnd.disableActions();
    if (session.automated()) {
        frontEnd.closeWindow();
    }
}

} // namespace tdb::importer
