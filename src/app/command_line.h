#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The two-parameter protocol by which the timetabling program drives the window: a command word
// and the handle of the caller's window. Pure functions, so every rule has a table test.
namespace tdb::app {

enum class Command { None, Exportar, Importar };

// Parameter 2 as a window handle: 1 to 8 hexadecimal digits, either case, nothing else (no
// prefix, sign or blank). Throws tdb::Error naming the parameter and its value otherwise.
std::uint32_t parseWindowHandle(std::string_view text);

// The command word after lowering the ASCII letters A to Z only; no trimming.
Command commandWord(std::string_view word);

// What the window makes of its parameters (the program path not counted) when it is created.
struct Launch {
    // Set when there are exactly two parameters and the second is a valid handle.
    std::optional<std::uint32_t> parentHandle;
    // The conversion error of a bad parameter 2, shown while the window is created.
    std::optional<std::string> error;

    bool automated() const { return parentHandle.has_value(); }
};
Launch parseLaunch(const std::vector<std::string>& params);

// The conversion the show handler starts: decided by the raw parameter count, so a bad handle
// still runs the command (in a window that is not embedded).
Command showCommand(const std::vector<std::string>& params);

// The Qt platform to force before the application object exists: embedding needs foreign
// windows, which on X11 only the xcb platform has. A headless platform chosen by the caller
// (offscreen, minimal) is kept; nothing is forced without a valid parent handle.
std::optional<std::string> forcedPlatform(const std::vector<std::string>& params,
                                          std::optional<std::string_view> currentPlatform);

} // namespace tdb::app
