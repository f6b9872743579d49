#pragma once

#include "formats/front_end.h"
#include "formats/session.h"

namespace tdb::exporter {

// The export run behind the button BExportar and the command word "exportar": choose the
// exchange file, load it, write the eight timetable tables of the data folder, report. A failure
// throws tdb::Error and leaves every table of the data folder as it was.
void BExportarClick(Session& session, FrontEnd& frontEnd);

} // namespace tdb::exporter
