#pragma once

#include "formats/front_end.h"
#include "formats/session.h"

namespace tdb::importer {

// The import run behind the button BImportar and the command word "importar": choose the
// exchange file, read the timetable solution SOLUC with the exported tables, write the result
// document "ResultadoDorimo" + file name beside the chosen file, report. A failure throws
// tdb::Error and writes nothing.
void BImportarClick(Session& session, FrontEnd& frontEnd);

} // namespace tdb::importer
