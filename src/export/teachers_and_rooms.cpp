#include "export/export_steps.h"
#include "export/short_code.h"
#include "formats/exchange_document.h"
#include "formats/table_catalogue.h"

namespace tdb::exporter {

// One PROFT record per teacher item, repeats included, each with a code unique within PROFT.
void ExportarProfesores(ExportContext& context) {
    ShortCodeList codes;
    auto table = catalogue::createTable(context.folder, catalogue::TableId::PROFT);
    for (const auto& item : context.items("PROFESORES")) {
        if (item.isShort()) {
            continue;
        }
        std::string code =
            AllocateShortCode(item.fieldText(3), codes, Trim::No, ListEntry::FinalCode);
        table.append();
        table.setText("ABREV", code);
        table.setText("NOMBRE", item.fieldText(2));
        table.setText("X_EMPLEADO", item.fieldText(0));
        table.setText("F_TOMAPOS", item.fieldText(1));
        table.post();
    }
    table.close();
}

// One AULAT record per room item, each with a code unique within AULAT. A room without an
// abbreviation takes its code from its key.
void ExportarAulas(ExportContext& context) {
    ShortCodeList codes;
    auto table = catalogue::createTable(context.folder, catalogue::TableId::AULAT);
    for (const auto& item : context.items("AULAS")) {
        if (item.isShort()) {
            continue;
        }
        std::string key = item.fieldText(0);
        std::string abbreviation = item.fieldText(2);
        std::string code = AllocateShortCode(abbreviation.empty() ? key : abbreviation, codes,
                                             Trim::AfterCut, ListEntry::FinalCode);
        table.append();
        table.setText("ABREV", code);
        table.setText("NOMBRE", item.fieldText(1));
        table.setText("DEPCENTRO", key);
        table.post();
    }
    table.close();
}

} // namespace tdb::exporter
