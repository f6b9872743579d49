#include "app/command_line.h"

#include "app/ascii.h"

#include "services/error.h"

namespace tdb::app {
namespace {

// A parameter as it may appear in a message box: bounded, without control characters, cut on
// a UTF-8 character boundary.
std::string shownValue(std::string_view text) {
    constexpr std::size_t limit = 40;
    std::string shown;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        bool starts = (byte & 0xC0) != 0x80;
        if (starts && ++characters > limit) {
            return shown + "…";
        }
        shown += byte < 0x20 || byte == 0x7F ? '?' : text[i];
    }
    return shown;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

std::uint32_t parseWindowHandle(std::string_view text) {
    auto fail = [&]() -> Error {
        return Error("El parámetro 2 de la línea de órdenes, \"" + shownValue(text) +
                     "\", no es un identificador de ventana válido: se esperan de 1 a 8 cifras "
                     "hexadecimales, sin prefijo, signo ni espacios");
    };
    if (text.empty() || text.size() > 8) {
        throw fail();
    }
    std::uint32_t value = 0;
    for (char c : text) {
        int digit = hexDigit(c);
        if (digit < 0) {
            throw fail();
        }
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return value;
}

Command commandWord(std::string_view word) {
    std::string lowered(word);
    for (char& c : lowered) {
        c = asciiLower(c);
    }
    if (lowered == "importar") {
        return Command::Importar;
    }
    if (lowered == "exportar") {
        return Command::Exportar;
    }
    return Command::None;
}

Launch parseLaunch(const std::vector<std::string>& params) {
    Launch launch;
    if (params.size() != 2) {
        return launch;
    }
    try {
        launch.parentHandle = parseWindowHandle(params[1]);
    } catch (const Error& e) {
        launch.error = e.what();
    }
    return launch;
}

Command showCommand(const std::vector<std::string>& params) {
    return params.size() == 2 ? commandWord(params[0]) : Command::None;
}

std::optional<std::string> forcedPlatform(const std::vector<std::string>& params,
                                          std::optional<std::string_view> currentPlatform) {
#ifdef _WIN32
    (void)params;
    (void)currentPlatform;
    return std::nullopt;
#else
    if (!parseLaunch(params).automated()) {
        return std::nullopt;
    }
    if (currentPlatform) {
        // "offscreen:fontengine=..." and the like carry options after the name.
        auto name = currentPlatform->substr(0, currentPlatform->find(':'));
        if (name == "offscreen" || name == "minimal") {
            return std::nullopt;
        }
    }
    return "xcb";
#endif
}

} // namespace tdb::app
