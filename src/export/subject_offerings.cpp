#include "export/export_steps.h"
#include "formats/exchange_document.h"
#include "formats/table_catalogue.h"

namespace tdb::exporter {

// Every MATERIAS item and then every TAREAS item, one record each, repeats included.
void ExportarMateriasCurso(ExportContext& context) {
    auto table = catalogue::createTable(context.folder, catalogue::TableId::ASIGNOMT2);
    for (const char* listName : {"MATERIAS", "TAREAS"}) {
        const bool tasks = std::string_view(listName) == "TAREAS";
        for (const auto& item : exchange::listItems(context.document, listName)) {
            if (item.isShort()) {
                continue;
            }
            std::string longCode = item.fieldText(2);
            table.append();
            table.setText("COD", std::string_view(longCode).substr(0, 4));
            table.setText("CODLARGO", longCode);
            table.setText("NOMBRE", item.fieldText(1));
            table.setText("MATERIA", item.fieldText(0));
            table.setText("CLAVECURSO", tasks ? std::string() : item.fieldText(3));
            table.setText("ALECTIVA", tasks ? item.fieldText(3) : std::string());
            table.post();
        }
    }
    table.close();
}

} // namespace tdb::exporter
