#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tdb {

// What a conversion run needs of the program that started it: the desktop window, the
// command-line front end, or a test's fake.
class FrontEnd {
public:
    virtual ~FrontEnd() = default;
    // Asks for the exchange file; nothing when the user cancels. A typed name need not exist.
    virtual std::optional<std::string> chooseFile() = 0;
    // A plain modal message: "No existe archivo", "Proceso finalizado".
    virtual void showMessage(std::string_view text) = 0;
    // The hourglass over every window of the program while a conversion works.
    virtual void setBusy(bool busy) = 0;
    // After a completed run both action buttons stay disabled for the rest of the process.
    virtual void disableActions() = 0;
    // The automated close of the main window.
    virtual void closeWindow() = 0;
};

// Keeps the busy cursor up for a scope, and takes it down on every path out.
class BusyCursor {
public:
    explicit BusyCursor(FrontEnd& frontEnd) : frontEnd_(frontEnd) { frontEnd_.setBusy(true); }
    ~BusyCursor() { frontEnd_.setBusy(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    FrontEnd& frontEnd_;
};

} // namespace tdb
