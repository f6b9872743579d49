#pragma once

#include "services/code_list.h"
#include "services/xml_document.h"

#include <filesystem>

namespace tdb::exporter {

// What the eight steps work on: the loaded document, the folder the tables are written to, and
// the two code lists the subject and task steps share.
struct ExportContext {
    const xml::Document& document;
    std::filesystem::path folder;
    ShortCodeList& UsedShortCodes;
    CodeList& SeenLongCodes;
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
