#include "export/export_steps.h"
#include "export/whole_number.h"
#include "formats/exchange_document.h"
#include "formats/table_catalogue.h"
#include "services/cp1252.h"
#include "services/error.h"

#include <array>
#include <unordered_map>
#include <vector>

namespace tdb::exporter {
namespace {

struct Group {
    std::string abrev;
    std::string nivel;
    std::string curso;
    std::string grupo;
};

// GRUPOST as written, by CLAVECURSO, every group of a key in table order.
std::unordered_map<std::string, std::vector<Group>>
groupsByCourse(const std::filesystem::path& folder) {
    std::unordered_map<std::string, std::vector<Group>> groups;
    auto table = catalogue::openTable(folder, catalogue::TableId::GRUPOST);
    const int abrev = table.columnIndex("ABREV");
    const int nivel = table.columnIndex("NIVEL");
    const int curso = table.columnIndex("CURSO");
    const int grupo = table.columnIndex("GRUPO");
    const int claveCurso = table.columnIndex("CLAVECURSO");
    for (table.first(); !table.eof(); table.next()) {
        groups[table.text(claveCurso)].push_back(
            Group{table.text(abrev), table.text(nivel), table.text(curso), table.text(grupo)});
    }
    table.close();
    return groups;
}

// The task codes a subject can count as, and COD of the first ASIGNOMT record of each.
constexpr std::array<std::string_view, 3> kTaskCodes = {"156", "281", "286"};

std::unordered_map<std::string, std::string> tasksByCode(const std::filesystem::path& folder) {
    std::unordered_map<std::string, std::string> tasks;
    auto table = catalogue::openTable(folder, catalogue::TableId::ASIGNOMT);
    const int cod = table.columnIndex("COD");
    const int codTarea = table.columnIndex("CODTAREA");
    for (table.first(); !table.eof() && tasks.size() < kTaskCodes.size(); table.next()) {
        std::string taskCode = table.text(codTarea);
        for (auto wanted : kTaskCodes) {
            if (taskCode == wanted) {
                tasks.try_emplace(taskCode, table.text(cod));
            }
        }
    }
    table.close();
    return tasks;
}

std::string_view taskCodeFor(std::string name) {
    for (auto& c : name) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    std::string_view code = "156";
    if (name.find("GUARD") != std::string::npos) {
        code = "281";
    }
    if (name.find("BIBLIO") != std::string::npos) {
        code = "286";
    }
    return code;
}

// Hours of a subject from its minutes: rounded up, at least 1.
int hoursFrom(const exchange::Item& item, const std::string& minutes) {
    if (minutes.empty()) {
        return 1;
    }
    auto m = parseWholeNumber(minutes);
    if (!m) {
        throw Error("Lista MATERIAS, elemento " + std::to_string(item.position()) +
                    " (asignatura \"" + cp1252::toUtf8(item.fieldText(2)) +
                    "\"): el campo 4 (minutos) \"" + cp1252::toUtf8(minutes) +
                    "\" no es un número entero");
    }
    std::int64_t hours = *m / 60 + ((*m % 60) > 0 ? 1 : 0);
    return hours < 1 ? 1 : static_cast<int>(hours);
}

std::string lessonPattern(int hours) {
    std::string pattern;
    if (hours >= 14) {
        pattern = std::to_string(hours - 13);
        hours = 13;
    }
    pattern.append(static_cast<std::size_t>(hours), '1');
    return pattern;
}

} // namespace

// One ASIGT record per subject item and group of its course, in document and table order.
void ExportarAsignaciones(ExportContext& context) {
    auto table = catalogue::createTable(context.folder, catalogue::TableId::ASIGT);
    const struct {
        int casig, cgrup, caula, turno, nivel, curso, grupo, horas, sesiones, clave, clavecurso,
            ctarea;
    } col{
        table.columnIndex("CASIG"), table.columnIndex("CGRUP"),      table.columnIndex("CAULA"),
        table.columnIndex("TURNO"), table.columnIndex("NIVEL"),      table.columnIndex("CURSO"),
        table.columnIndex("GRUPO"), table.columnIndex("HORAS"),      table.columnIndex("SESIONES"),
        table.columnIndex("CLAVE"), table.columnIndex("CLAVECURSO"), table.columnIndex("CTAREA")};
    const auto groups = groupsByCourse(context.folder);
    const auto tasks = tasksByCode(context.folder);

    for (const auto& item : context.items("MATERIAS")) {
        if (item.isShort()) {
            continue;
        }
        std::string courseKey = item.fieldText(3);
        auto found = groups.find(courseKey);
        if (found == groups.end()) {
            continue;
        }
        std::string key = item.fieldText(0);
        std::string name = item.fieldText(1);
        std::string subjectCode = item.fieldText(2);
        // Minutes are converted when the subject's first record is filled, never earlier.
        const int hours = hoursFrom(item, item.fieldText(4));
        const std::string pattern = lessonPattern(hours);
        auto task = tasks.find(std::string(taskCodeFor(name)));
        const std::string ctarea = task != tasks.end() ? task->second : std::string();
        for (const auto& group : found->second) {
            table.append();
            table.setText(col.casig, subjectCode);
            table.setText(col.cgrup, group.abrev);
            table.setText(col.caula, "");
            table.setText(col.turno, "");
            table.setText(col.nivel, group.nivel);
            table.setText(col.curso, group.curso);
            table.setText(col.grupo, group.grupo);
            table.setFloat(col.horas, hours);
            table.setText(col.sesiones, pattern);
            table.setText(col.clave, key);
            table.setText(col.clavecurso, courseKey);
            table.setText(col.ctarea, ctarea);
            table.post();
        }
    }
    table.close();
}

} // namespace tdb::exporter
