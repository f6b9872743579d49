#include "export/export_steps.h"
#include "export/short_code.h"
#include "formats/exchange_document.h"
#include "formats/table_catalogue.h"

#include <unordered_map>

namespace tdb::exporter {
namespace {

struct Course {
    std::string nivel;
    std::string curso;
    std::string descricur;
};

// CURSOST as written, by CLAVE; the first course of a key wins, as a scan from the first record
// would find it. Read back from the table, so keys and values are cut to their columns.
std::unordered_map<std::string, Course> coursesByKey(const std::filesystem::path& folder) {
    std::unordered_map<std::string, Course> courses;
    auto table = catalogue::openTable(folder, catalogue::TableId::CURSOST);
    const int clave = table.columnIndex("CLAVE");
    const int nivel = table.columnIndex("NIVEL");
    const int curso = table.columnIndex("CURSO");
    const int descricur = table.columnIndex("DESCRICUR");
    for (table.first(); !table.eof(); table.next()) {
        courses.try_emplace(table.text(clave),
                            Course{table.text(nivel), table.text(curso), table.text(descricur)});
    }
    table.close();
    return courses;
}

} // namespace

void ExportarCursosGrupos(ExportContext& context) {
    auto courseTable = catalogue::createTable(context.folder, catalogue::TableId::CURSOST);
    auto groupTable = catalogue::createTable(context.folder, catalogue::TableId::GRUPOST);

    for (const auto& item : context.items("CURSOS")) {
        if (item.isShort()) {
            continue;
        }
        std::string nivel = item.fieldText(3);
        courseTable.append();
        courseTable.setText("CLAVE", item.fieldText(0));
        courseTable.setText("NIVEL", nivel.empty() ? std::string("NIV") : nivel);
        courseTable.setText("CURSO", item.fieldText(4));
        courseTable.setText("DESCRICUR", item.fieldText(1));
        courseTable.post();
    }
    courseTable.close();
    const auto courses = coursesByKey(context.folder);

    ShortCodeList codes;
    const Course noCourse;
    for (const auto& item : context.items("GRUPOS")) {
        if (item.isShort()) {
            continue;
        }
        std::string key = item.fieldText(0);
        std::string groupCode = item.fieldText(1);
        std::string courseKey = item.fieldText(2);
        auto found = courses.find(courseKey);
        const Course& course = found != courses.end() ? found->second : noCourse;
        std::string code =
            AllocateShortCode(groupCode, codes, Trim::AfterCut, ListEntry::CodeBeforeCut);
        groupTable.append();
        groupTable.setText("ABREV", code);
        groupTable.setText("TURNO", "");
        groupTable.setText("NIVEL", course.nivel);
        groupTable.setText("CURSO", course.curso);
        groupTable.setText("GRUPO", groupCode.empty() ? std::string()
                                                      : groupCode.substr(groupCode.size() - 1));
        groupTable.setText("CLAVE", key);
        groupTable.setText("CLAVECURSO", courseKey);
        groupTable.setText("DESCRIP", "(" + key + ") " + course.descricur);
        groupTable.post();
    }
    groupTable.close();
}

} // namespace tdb::exporter
