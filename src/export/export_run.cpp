#include "export/export_run.h"

#include "export/export_steps.h"
#include "export/table_swap.h"
#include "formats/table_catalogue.h"
#include "services/data_dir.h"

#include <array>
#include <system_error>

namespace tdb::exporter {
namespace {

bool fileExists(const std::string& name) {
    std::error_code ec;
    return !name.empty() && std::filesystem::is_regular_file(name, ec);
}

} // namespace

const std::vector<exchange::Item>& ExportContext::items(std::string_view listName) {
    auto found = lists_.find(listName);
    if (found == lists_.end()) {
        found =
            lists_.emplace(std::string(listName), exchange::listItems(document, listName)).first;
    }
    return found->second;
}

void runExportSteps(ExportContext& context) {
    ExportarMaterias(context);
    ExportarTareas(context);
    ExportarMateriasCurso(context);
    ExportarProfesores(context);
    ExportarAulas(context);
    ExportarCursosGrupos(context);
    ExportarAsignaciones(context);
    ExportarTramos(context);
}

void BExportarClick(Session& session, FrontEnd& frontEnd) {
    if (auto chosen = frontEnd.chooseFile()) {
        session.XMLFileName = *chosen;
    }
    if (!fileExists(session.XMLFileName)) {
        frontEnd.showMessage("No existe archivo");
        if (session.automated()) {
            session.RunStatus = -1;
            frontEnd.closeWindow();
        }
        return;
    }

    // A document that does not load stops the run before any table is touched.
    session.XMLDoc.reset();
    session.XMLDoc = std::make_unique<xml::Document>(xml::Document::load(session.XMLFileName));
    session.UsedShortCodes.clear();
    session.SeenLongCodes.clear();
    {
        BusyCursor busy(frontEnd);
        requireDataDir(session.dataDir);
        recoverInterruptedExports(session.dataDir);
        // The tables are built aside and put in place together, so that a failure at any point
        // leaves the tables of the data folder as they were.
        StagingFolder staging(session.dataDir);
        ExportContext context{*session.XMLDoc, staging.path(), session.UsedShortCodes,
                              session.SeenLongCodes};
        runExportSteps(context);
        std::array<std::string_view, catalogue::kExportTables.size()> names{};
        for (std::size_t i = 0; i < names.size(); ++i) {
            names[i] = catalogue::schema(catalogue::kExportTables[i]).name;
        }
        installTables(session.dataDir, staging.path(), names);
    }
    session.RunStatus = 1;
    frontEnd.showMessage("Proceso finalizado");
    frontEnd.disableActions();
    if (session.automated()) {
        frontEnd.closeWindow();
    }
}

} // namespace tdb::exporter
