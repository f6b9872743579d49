#pragma once

#include "services/dbf_table.h"

#include <array>
#include <filesystem>
#include <string_view>
#include <vector>

// The timetable tables this system writes (export) and reads (import), with their columns.
namespace tdb::catalogue {

enum class TableId {
    ASIGNOMT,
    ASIGNOMT2,
    PROFT,
    AULAT,
    CURSOST,
    GRUPOST,
    ASIGT,
    DIASHORAST,
    SOLUC
};

struct TableSchema {
    TableId id;
    std::string_view name;
    std::vector<dbf::ColumnSpec> columns; // empty for SOLUC, which this system never creates
};

const TableSchema& schema(TableId id);

// The eight tables of an export, in the order the export writes them.
inline constexpr std::array<TableId, 8> kExportTables = {
    TableId::ASIGNOMT, TableId::ASIGNOMT2, TableId::PROFT, TableId::AULAT,
    TableId::CURSOST,  TableId::GRUPOST,   TableId::ASIGT, TableId::DIASHORAST};

// The nine tables of an import, in the order the import opens them.
inline constexpr std::array<TableId, 9> kImportTables = {
    TableId::SOLUC,    TableId::GRUPOST,   TableId::CURSOST,    TableId::PROFT, TableId::AULAT,
    TableId::ASIGNOMT, TableId::ASIGNOMT2, TableId::DIASHORAST, TableId::ASIGT};

// Deletes T.DBF and T.MDX in `folder`, then creates T.DBF with the table's columns, empty,
// without index, open for appending.
dbf::Table createTable(const std::filesystem::path& folder, TableId id);
// Opens T exclusively; its columns are the file's own.
dbf::Table openTable(const std::filesystem::path& folder, TableId id);

} // namespace tdb::catalogue
