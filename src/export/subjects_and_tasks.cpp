#include "export/export_steps.h"
#include "export/short_code.h"
#include "formats/exchange_document.h"
#include "formats/table_catalogue.h"

namespace tdb::exporter {
namespace {

// One ASIGNOMT record per long code not seen before in this run (letter case ignored); subjects
// and tasks draw their short codes from one pool.
void appendDistinct(ExportContext& context, dbf::Table& table, std::string_view listName,
                    bool tasks) {
    const struct {
        int cod, codlargo, nombre, materia, codtarea, estarea;
    } col{table.columnIndex("COD"),      table.columnIndex("CODLARGO"),
          table.columnIndex("NOMBRE"),   table.columnIndex("MATERIA"),
          table.columnIndex("CODTAREA"), table.columnIndex("ESTAREA")};
    for (const auto& item : context.items(listName)) {
        if (item.isShort()) {
            continue;
        }
        std::string name = item.fieldText(1);
        std::string longCode = item.fieldText(2);
        if (context.SeenLongCodes.contains(longCode)) {
            continue;
        }
        context.SeenLongCodes.append(longCode);
        std::string code =
            AllocateShortCode(longCode, context.UsedShortCodes, Trim::No, ListEntry::FinalCode);
        table.append();
        table.setText(col.cod, code);
        table.setText(col.codlargo, longCode);
        table.setText(col.nombre, name);
        table.setText(col.materia, "");
        table.setText(col.codtarea, tasks ? item.fieldText(0) : std::string());
        table.setLogical(col.estarea, tasks);
        table.post();
    }
}

} // namespace

void ExportarMaterias(ExportContext& context) {
    auto table = catalogue::createTable(context.folder, catalogue::TableId::ASIGNOMT);
    appendDistinct(context, table, "MATERIAS", false);
    table.close();
}

void ExportarTareas(ExportContext& context) {
    auto table = catalogue::openTable(context.folder, catalogue::TableId::ASIGNOMT);
    appendDistinct(context, table, "TAREAS", true);
    table.close();
    context.UsedShortCodes.clear();
    context.SeenLongCodes.clear();
}

} // namespace tdb::exporter
