#include "export/export_steps.h"
#include "export/whole_number.h"
#include "formats/exchange_document.h"
#include "formats/table_catalogue.h"
#include "services/cp1252.h"
#include "services/error.h"

#include <array>
#include <optional>
#include <vector>

namespace tdb::exporter {
namespace {

constexpr int kPasses = 40;
constexpr int kDays = 7;

struct Interval {
    std::size_t position = 0;
    std::string codigo;
    std::string nombre;
    std::string inicio;
    std::string fin;
};

// Minutes of a time text: its first two characters as hours, its characters from the fourth on
// (at most five) as minutes.
int minutesOf(const Interval& interval, const std::string& time, const char* what) {
    auto hours = parseWholeNumber(std::string_view(time).substr(0, 2));
    auto minutes = parseWholeNumber(time.size() > 3 ? std::string_view(time).substr(3, 5)
                                                    : std::string_view());
    if (!hours || !minutes) {
        throw Error("Lista INTERVALOS, elemento " + std::to_string(interval.position) +
                    " (tramo \"" + cp1252::toUtf8(interval.codigo) + "\"): la hora de " + what +
                    " \"" + cp1252::toUtf8(time) + "\" no es una hora válida (hh:mm)");
    }
    return *hours * 60 + *minutes;
}

void padTime(std::string& time) {
    if (time.size() < 5) {
        time.insert(time.begin(), '0');
    }
}

} // namespace

// Seven records, days 1 to 7, per period; periods numbered in ascending ORDEN 1 to 40 and, for
// equal ORDEN, in document order. An item without ORDEN, or with any other ORDEN text, is not
// a period.
void ExportarTramos(ExportContext& context) {
    auto table = catalogue::createTable(context.folder, catalogue::TableId::DIASHORAST);
    const struct {
        int diho, dia, hora, textohor, coddiho, horadesde, horahasta, minutos;
    } col{table.columnIndex("DIHO"),      table.columnIndex("DIA"),
          table.columnIndex("HORA"),      table.columnIndex("TEXTOHOR"),
          table.columnIndex("CODDIHO"),   table.columnIndex("HORADESDE"),
          table.columnIndex("HORAHASTA"), table.columnIndex("MINUTOS")};

    std::array<std::vector<Interval>, kPasses + 1> byOrden;
    for (const auto& item : context.items("INTERVALOS")) {
        Interval interval;
        interval.position = item.position();
        std::optional<std::string> orden;
        for (auto& [dato, value] : item.namedFields()) {
            if (dato == "CODIGO_BRELO") {
                interval.codigo = std::move(value);
            } else if (dato == "NOMBRE") {
                interval.nombre = std::move(value);
            } else if (dato == "INICIO") {
                interval.inicio = std::move(value);
            } else if (dato == "FIN") {
                interval.fin = std::move(value);
            } else if (dato == "ORDEN") {
                orden = std::move(value);
            }
        }
        if (!orden) {
            continue;
        }
        for (int v = 1; v <= kPasses; ++v) {
            if (*orden == std::to_string(v)) {
                byOrden[static_cast<std::size_t>(v)].push_back(std::move(interval));
                break;
            }
        }
    }

    int period = 1;
    for (auto& pass : byOrden) {
        for (auto& interval : pass) {
            const std::string hora = std::to_string(period);
            for (int day = 1; day <= kDays; ++day) {
                const std::string dia = std::to_string(day);
                table.append();
                table.setText(col.diho, dia + hora);
                table.setText(col.dia, dia);
                table.setText(col.hora, hora);
                table.setText(col.textohor, interval.nombre);
                table.setText(col.coddiho, interval.codigo);
                // The padding is applied per record and kept for the following days.
                padTime(interval.inicio);
                table.setText(col.horadesde, interval.inicio);
                padTime(interval.fin);
                table.setText(col.horahasta, interval.fin);
                const int start = minutesOf(interval, interval.inicio, "inicio");
                const int end = minutesOf(interval, interval.fin, "fin");
                table.setText(col.minutos, std::to_string(end - start));
                table.post();
            }
            ++period;
        }
    }
    table.close();
}

} // namespace tdb::exporter
