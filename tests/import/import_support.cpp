#include "import/import_support.h"

#include "services/cp1252.h"
#include "support/test_support.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <stdexcept>

namespace tdb::test {

using catalogue::TableId;

std::vector<dbf::ColumnSpec> solucColumns(int codeWidth) {
    using dbf::ColumnKind;
    return {
        {"ASIG", ColumnKind::Text, codeWidth},
        {"PROF", ColumnKind::Text, codeWidth},
        {"CODGRUPO", ColumnKind::Text, codeWidth},
        {"TURNO", ColumnKind::Text, 1},
        {"NIVEL", ColumnKind::Text, 5},
        {"CURSO", ColumnKind::Text, 3},
        {"GRUPO", ColumnKind::Text, 1},
        {"AULA", ColumnKind::Text, codeWidth},
        {"TAREA", ColumnKind::Text, codeWidth},
        {"DIA", ColumnKind::Float, 0},
        {"HORA", ColumnKind::Float, 0},
        {"SESIONES", ColumnKind::Float, 0},
    };
}

void writeTable(const std::filesystem::path& folder, std::string_view name,
                const std::vector<dbf::ColumnSpec>& columns, const std::vector<Row>& rows) {
    dbf::deleteTable(folder, name);
    auto table = dbf::Table::create(folder, name, columns);
    for (const Row& row : rows) {
        table.append();
        for (const auto& [column, value] : row) {
            auto wanted = std::find_if(columns.begin(), columns.end(),
                                       [&](const dbf::ColumnSpec& c) { return c.name == column; });
            if (wanted == columns.end()) {
                throw std::logic_error("fixture: no column " + column + " in " + std::string(name));
            }
            switch (wanted->kind) {
            case dbf::ColumnKind::Float:
                table.setFloat(column, std::stod(value));
                break;
            case dbf::ColumnKind::Logical:
                table.setLogical(column, value == "T");
                break;
            default:
                table.setText(column, cp1252::fromUtf8(value));
                break;
            }
        }
        table.post();
    }
    table.close();
}

void writeSchool(const std::filesystem::path& folder, const School& school) {
    for (TableId id : catalogue::kImportTables) {
        const auto& schema = catalogue::schema(id);
        auto found = school.rows.find(id);
        const std::vector<Row> none;
        const auto& rows = found == school.rows.end() ? none : found->second;
        writeTable(folder, schema.name,
                   id == TableId::SOLUC ? solucColumns(school.solucCodeWidth) : schema.columns,
                   rows);
    }
}

School smallSchool() {
    School s;
    s[TableId::PROFT] = {
        {{"ABREV", "ANA"},
         {"NOMBRE", "Ana Pérez"},
         {"X_EMPLEADO", "E100"},
         {"F_TOMAPOS", "01/09/2020"}},
        {{"ABREV", "LUIS"},
         {"NOMBRE", "Luis Gil"},
         {"X_EMPLEADO", "E200"},
         {"F_TOMAPOS", "15/09/2021"}},
    };
    s[TableId::CURSOST] = {
        {{"CLAVE", "C1ESO"}, {"DESCRICUR", "1º ESO"}, {"NIVEL", "ESO"}, {"CURSO", "1"}}};
    s[TableId::GRUPOST] = {
        {{"ABREV", "1A"}, {"CLAVE", "U1A"}, {"CLAVECURSO", "C1ESO"}},
        {{"ABREV", "1B"}, {"CLAVE", "U1B"}, {"CLAVECURSO", "C1ESO"}},
    };
    s[TableId::ASIGNOMT] = {
        {{"COD", "MATE"}, {"CODLARGO", "MATE1"}, {"NOMBRE", "Matemáticas"}, {"ESTAREA", "F"}},
        {{"COD", "LECT"},
         {"CODLARGO", "LECT"},
         {"NOMBRE", "Docencia"},
         {"CODTAREA", "156"},
         {"ESTAREA", "T"}},
    };
    s[TableId::ASIGNOMT2] = {
        {{"COD", "LENG"},
         {"CODLARGO", "LENGUA1"},
         {"MATERIA", "M-LEN"},
         {"CLAVECURSO", "C1ESO"},
         {"ALECTIVA", "S"}},
        {{"COD", "LECT"}, {"CODLARGO", "LECT"}, {"MATERIA", "T-156"}, {"ALECTIVA", "S"}},
    };
    s[TableId::ASIGT] = {
        {{"CASIG", "MATE"}, {"CGRUP", "1A"}, {"CLAVE", "M-MAT"}, {"HORAS", "2"}},
        {{"CASIG", "MATE"}, {"CGRUP", "1B"}, {"CLAVE", "M-MAT"}, {"HORAS", "2"}},
    };
    s[TableId::DIASHORAST] = {
        {{"DIHO", "11"}, {"CODDIHO", "P-08"}, {"DIA", "1"}, {"HORA", "1"}},
        {{"DIHO", "21"}, {"CODDIHO", "P-08"}, {"DIA", "2"}, {"HORA", "1"}},
        {{"DIHO", "12"}, {"CODDIHO", "P-09"}, {"DIA", "1"}, {"HORA", "2"}},
        {{"DIHO", "22"}, {"CODDIHO", "P-09"}, {"DIA", "2"}, {"HORA", "2"}},
    };
    s[TableId::AULAT] = {
        {{"ABREV", "A01"}, {"NOMBRE", "Aula 1"}, {"DEPCENTRO", "R-01"}},
        {{"ABREV", "LAB"}, {"NOMBRE", "Laboratorio"}, {"DEPCENTRO", "R-LAB"}},
    };
    s[TableId::SOLUC] = {
        {{"ASIG", "MATE"},
         {"PROF", "ANA"},
         {"CODGRUPO", "1A"},
         {"AULA", "A01"},
         {"TAREA", "LECT"},
         {"DIA", "1"},
         {"HORA", "1"}},
        {{"ASIG", "MATE"},
         {"PROF", "LUIS"},
         {"CODGRUPO", "1B"},
         {"AULA", "LAB"},
         {"TAREA", "LECT"},
         {"DIA", "1"},
         {"HORA", "1"}},
        {{"ASIG", "MATE"},
         {"PROF", "ANA"},
         {"CODGRUPO", "1A"},
         {"AULA", "A01"},
         {"TAREA", "LECT"},
         {"DIA", "0"},
         {"HORA", "0"}},
        {{"ASIG", "LENG"},
         {"PROF", "ANA"},
         {"CODGRUPO", "1B"},
         {"AULA", "A01"},
         {"TAREA", "GUAR"},
         {"DIA", "2"},
         {"HORA", "2"}},
    };
    return s;
}

void markDeleted(const std::filesystem::path& dbfFile, std::size_t recordNumber) {
    std::fstream file(dbfFile, std::ios::in | std::ios::out | std::ios::binary);
    unsigned char header[12];
    file.read(reinterpret_cast<char*>(header), sizeof header);
    if (!file) {
        throw std::runtime_error("fixture: cannot read the header of " + dbfFile.string());
    }
    const std::size_t headerLength = header[8] | (header[9] << 8);
    const std::size_t recordLength = header[10] | (header[11] << 8);
    file.seekp(static_cast<std::streamoff>(headerLength + recordNumber * recordLength));
    file.put('*');
    if (!file) {
        throw std::runtime_error("fixture: cannot mark a record of " + dbfFile.string());
    }
}

std::string exchangeDocument(std::string_view salidasContent) {
    std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<SERVICIO version=\"2\" origen=\"Secretaría\">\n"
                      "  <CABECERA><centro>IES Río Tajo</centro></CABECERA>\n"
                      "  <SALIDAS>";
    doc += salidasContent;
    doc += "</SALIDAS>\n"
           "  <!-- fin -->\n"
           "  <PIE>x</PIE>\n"
           "</SERVICIO>\n";
    return doc;
}

std::map<std::string, std::string> snapshot(const std::filesystem::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const auto stamp = entry.last_write_time().time_since_epoch().count();
        files[entry.path().filename().string()] =
            std::to_string(stamp) + ":" +
            (entry.is_regular_file() ? readFile(entry.path()) : std::string("<dir>"));
    }
    return files;
}

std::string describe(pugi::xml_node node, int depth) {
    std::string out(static_cast<std::size_t>(depth) * 2, ' ');
    switch (node.type()) {
    case pugi::node_comment:
        return out + "#comment " + node.value() + "\n";
    case pugi::node_pi:
        return out + "?" + node.name() + "\n";
    default:
        break;
    }
    out += node.name();
    for (pugi::xml_attribute a : node.attributes()) {
        out += std::string(" ") + a.name() + "=" + a.value();
    }
    std::string text;
    for (pugi::xml_node child : node.children()) {
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
            text += child.value();
        }
    }
    // Indentation between elements is layout, not content.
    if (text.find_first_not_of(" \t\r\n") != std::string::npos) {
        out += " \"" + text + "\"";
    }
    out += "\n";
    for (pugi::xml_node child : node.children()) {
        if (child.type() == pugi::node_element || child.type() == pugi::node_comment ||
            child.type() == pugi::node_pi) {
            out += describe(child, depth + 1);
        }
    }
    return out;
}

std::string slotValues(pugi::xml_node slot) {
    std::string out;
    bool first = true;
    for (pugi::xml_node field : slot.children("salida")) {
        if (!first) {
            out += '|';
        }
        first = false;
        out += field.text().get();
    }
    return out;
}

std::optional<std::string> FakeFrontEnd::chooseFile() {
    events.push_back("choose");
    if (next_ < answers_.size()) {
        return answers_[next_++];
    }
    return std::nullopt;
}

} // namespace tdb::test
