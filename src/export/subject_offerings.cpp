#include "export/export_steps.h"
#include "formats/exchange_document.h"
#include "formats/table_catalogue.h"

namespace tdb::exporter {

// Every MATERIAS item and then every TAREAS item, one record each, repeats included.
void ExportarMateriasCurso(ExportContext& context) {
    auto table = catalogue::createTable(context.folder, catalogue::TableId::ASIGNOMT2);
    const struct {
        int cod, codlargo, nombre, materia, clavecurso, alectiva;
    } col{table.columnIndex("COD"),        table.columnIndex("CODLARGO"),
          table.columnIndex("NOMBRE"),     table.columnIndex("MATERIA"),
          table.columnIndex("CLAVECURSO"), table.columnIndex("ALECTIVA")};
    for (const char* listName : {"MATERIAS", "TAREAS"}) {
        const bool tasks = std::string_view(listName) == "TAREAS";
        for (const auto& item : context.items(listName)) {
            if (item.isShort()) {
                continue;
            }
            std::string longCode = item.fieldText(2);
            table.append();
            table.setText(col.cod, std::string_view(longCode).substr(0, 4));
            table.setText(col.codlargo, longCode);
            table.setText(col.nombre, item.fieldText(1));
            table.setText(col.materia, item.fieldText(0));
            table.setText(col.clavecurso, tasks ? std::string() : item.fieldText(3));
            table.setText(col.alectiva, tasks ? item.fieldText(3) : std::string());
            table.post();
        }
    }
    table.close();
}

} // namespace tdb::exporter
