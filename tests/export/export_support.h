#pragma once

#include "formats/front_end.h"
#include "formats/session.h"

#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tdb::test {

// A front end that answers the file dialog with a set answer and records what the run did.
class FakeFrontEnd : public FrontEnd {
public:
    std::optional<std::string> nextFile;
    std::vector<std::string> messages;
    int busyDepth = 0;
    bool actionsDisabled = false;
    bool closed = false;

    std::optional<std::string> chooseFile() override { return nextFile; }
    void showMessage(std::string_view text) override { messages.emplace_back(text); }
    void setBusy(bool busy) override { busyDepth += busy ? 1 : -1; }
    void disableActions() override { actionsDisabled = true; }
    void closeWindow() override { closed = true; }
};

// Building blocks of small exchange documents (UTF-8 text).
std::string item(std::initializer_list<std::string> fields);
std::string namedItem(std::initializer_list<std::pair<std::string, std::string>> fields);
std::string list(const std::string& name, std::initializer_list<std::string> items);
std::string exchangeDocument(std::initializer_list<std::string> lists);

// The values of the given columns of every visible record, in table order, as UTF-8.
using Rows = std::vector<std::vector<std::string>>;
Rows readRows(const std::filesystem::path& folder, const std::string& table,
              std::initializer_list<std::string> columns);

// Every file of a folder with its bytes, for before/after comparisons.
std::vector<std::pair<std::string, std::string>> snapshot(const std::filesystem::path& folder);

// Writes `xml` to folder/name and runs the export on it into `dataDir`.
void exportDocument(const std::filesystem::path& file, const std::string& xml,
                    const std::filesystem::path& dataDir);

// Another process holding the exclusive lock of a file until the object goes.
class LockHolder {
public:
    explicit LockHolder(const std::filesystem::path& file);
    ~LockHolder();
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

private:
    int pid_ = -1;
};

} // namespace tdb::test
