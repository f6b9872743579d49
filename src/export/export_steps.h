#pragma once

#include "formats/exchange_document.h"
#include "services/code_list.h"
#include "services/xml_document.h"

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tdb::exporter {

// What the eight steps work on: the loaded document, the folder the tables are written to, and
// the two code lists the subject and task steps share.
class ExportContext {
public:
    ExportContext(const xml::Document& document, std::filesystem::path folder,
                  ShortCodeList& usedShortCodes, CodeList& seenLongCodes)
        : document(document), folder(std::move(folder)), UsedShortCodes(usedShortCodes),
          SeenLongCodes(seenLongCodes) {}

    // The items of a list; three steps read MATERIAS, so each list is walked once per run.
    const std::vector<exchange::Item>& items(std::string_view listName);

    const xml::Document& document;
    const std::filesystem::path folder;
    ShortCodeList& UsedShortCodes;
    CodeList& SeenLongCodes;

private:
    std::map<std::string, std::vector<exchange::Item>, std::less<>> lists_;
};

// The steps, in the order the export runs them.
void ExportarMaterias(ExportContext& context);      // ASIGNOMT: subjects
void ExportarTareas(ExportContext& context);        // ASIGNOMT: tasks appended
void ExportarMateriasCurso(ExportContext& context); // ASIGNOMT2
void ExportarProfesores(ExportContext& context);    // PROFT
void ExportarAulas(ExportContext& context);         // AULAT
void ExportarCursosGrupos(ExportContext& context);  // CURSOST, GRUPOST
void ExportarAsignaciones(ExportContext& context);  // ASIGT
void ExportarTramos(ExportContext& context);        // DIASHORAST

// All eight, in order.
void runExportSteps(ExportContext& context);

} // namespace tdb::exporter
