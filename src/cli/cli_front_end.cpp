#include "cli/cli_front_end.h"

#include "cli/cli_options.h"
#include "export/export_run.h"
#include "import/import_run.h"
#include "services/data_dir.h"
#include "services/error.h"

namespace tdb::cli {

RunOutcome runCommand(const Options& options) {
    RunOutcome outcome;
    Session session;
    session.dataDir = resolveDataDir(options.dataDir);
    CliFrontEnd frontEnd(options.file);
    try {
        if (options.command == Command::Exportar) {
            exporter::BExportarClick(session, frontEnd);
        } else {
            importer::BImportarClick(session, frontEnd);
        }
    } catch (const std::exception& e) {
        outcome.exitCode = 2;
        outcome.err = std::string(e.what()) + "\n";
        return outcome;
    }
    for (const auto& message : frontEnd.messages()) {
        if (session.RunStatus == 1) {
            outcome.out += message + "\n";
        } else {
            outcome.err += message + "\n";
        }
    }
    outcome.exitCode = session.RunStatus == 1 ? 0 : 1;
    return outcome;
}

} // namespace tdb::cli
