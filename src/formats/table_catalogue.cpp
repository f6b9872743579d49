#include "formats/table_catalogue.h"

namespace tdb::catalogue {
namespace {

using dbf::ColumnKind;
using dbf::ColumnSpec;

ColumnSpec text(const char* name, int width) {
    return {name, ColumnKind::Text, width};
}
ColumnSpec integer(const char* name) {
    return {name, ColumnKind::Integer, 0};
}
ColumnSpec floating(const char* name) {
    return {name, ColumnKind::Float, 0};
}
ColumnSpec logical(const char* name) {
    return {name, ColumnKind::Logical, 0};
}

std::array<TableSchema, 9> makeSchemas() {
    return {{
        {TableId::ASIGNOMT,
         "ASIGNOMT",
         {text("COD", 10), text("CODLARGO", 10), text("NOMBRE", 80), text("MATERIA", 8),
          text("CODTAREA", 10), logical("ESTAREA")}},
        {TableId::ASIGNOMT2,
         "ASIGNOMT2",
         {text("COD", 10), text("CODLARGO", 10), text("NOMBRE", 40), text("MATERIA", 8),
          text("CLAVECURSO", 12), text("ALECTIVA", 1)}},
        {TableId::PROFT,
         "PROFT",
         {text("ABREV", 10), text("NOMBRE", 80), text("DEPART", 40), integer("DNI"),
          text("X_EMPLEADO", 10), text("F_TOMAPOS", 10)}},
        {TableId::AULAT,
         "AULAT",
         {text("ABREV", 10), text("NOMBRE", 80), text("EDIFICIO", 1), integer("MAXALUM"),
          text("DEPCENTRO", 10)}},
        {TableId::CURSOST,
         "CURSOST",
         {text("ABREV", 3), text("TURNO", 1), text("NIVEL", 5), text("CURSO", 3), text("CLAVE", 12),
          text("DESCRICUR", 80)}},
        {TableId::GRUPOST,
         "GRUPOST",
         {text("ABREV", 10), text("TURNO", 1), text("NIVEL", 5), text("CURSO", 3), text("GRUPO", 2),
          text("CLAVE", 10), text("CLAVECURSO", 12), text("DESCRIP", 80)}},
        {TableId::ASIGT,
         "ASIGT",
         {text("CASIG", 10), text("CPROF", 10), text("CGRUP", 10), text("CAULA", 10),
          text("TURNO", 1), text("NIVEL", 5), text("CURSO", 3), text("GRUPO", 2), floating("HORAS"),
          text("SESIONES", 20), text("CLAVE", 10), text("CLAVECURSO", 12), text("CTAREA", 4)}},
        {TableId::DIASHORAST,
         "DIASHORAST",
         {text("DIHO", 10), text("CODDIHO", 10), text("DIA", 20), text("TEXTODIA", 20),
          text("HORA", 8), text("TEXTOHOR", 8), text("HORADESDE", 8), text("HORAHASTA", 8),
          text("MINUTOS", 8)}},
        {TableId::SOLUC, "SOLUC", {}},
    }};
}

} // namespace

const TableSchema& schema(TableId id) {
    static const std::array<TableSchema, 9> schemas = makeSchemas();
    return schemas[static_cast<std::size_t>(id)];
}

dbf::Table createTable(const std::filesystem::path& folder, TableId id) {
    const auto& s = schema(id);
    dbf::deleteTable(folder, s.name);
    return dbf::Table::create(folder, s.name, s.columns);
}

dbf::Table openTable(const std::filesystem::path& folder, TableId id) {
    return dbf::Table::open(folder, schema(id).name);
}

} // namespace tdb::catalogue
