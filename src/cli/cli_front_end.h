#pragma once

#include "formats/front_end.h"

#include <optional>
#include <string>
#include <vector>

namespace tdb::cli {

// The headless front end: the file comes from the command line, messages are collected for the
// caller to print, and there is no cursor, button or window.
class CliFrontEnd : public FrontEnd {
public:
    explicit CliFrontEnd(std::string file) : file_(std::move(file)) {}

    std::optional<std::string> chooseFile() override { return file_; }
    void showMessage(std::string_view text) override { messages_.emplace_back(text); }
    void setBusy(bool) override {}
    void disableActions() override {}
    void closeWindow() override {}

    const std::vector<std::string>& messages() const { return messages_; }

private:
    std::string file_;
    std::vector<std::string> messages_;
};

// Runs the command and returns the exit status: 0 completed ("Proceso finalizado" on `out`),
// 1 the file does not exist ("No existe archivo" on `err`), 2 the run failed (its message on
// `err`).
struct RunOutcome {
    int exitCode = 0;
    std::string out;
    std::string err;
};
struct Options;
RunOutcome runCommand(const Options& options);

} // namespace tdb::cli
