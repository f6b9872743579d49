#include "export/export_support.h"

#include "export/export_run.h"
#include "services/cp1252.h"
#include "services/dbf_table.h"
#include "services/file_lock.h"
#include "support/test_support.h"

#include <algorithm>
#include <csignal>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace tdb::test {

std::string item(std::initializer_list<std::string> fields) {
    std::string out = "<listasal>";
    for (const auto& f : fields) {
        out += "<salida>" + f + "</salida>";
    }
    return out + "</listasal>";
}

std::string namedItem(std::initializer_list<std::pair<std::string, std::string>> fields) {
    std::string out = "<listasal>";
    for (const auto& [dato, value] : fields) {
        out += "<salida dato=\"" + dato + "\">" + value + "</salida>";
    }
    return out + "</listasal>";
}

std::string list(const std::string& name, std::initializer_list<std::string> items) {
    std::string out = "<listasal seq=\"" + name + "\">";
    for (const auto& i : items) {
        out += i;
    }
    return out + "</listasal>";
}

std::string exchangeDocument(std::initializer_list<std::string> lists) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SERVICIO><SALIDAS>";
    for (const auto& l : lists) {
        out += l;
    }
    return out + "</SALIDAS></SERVICIO>\n";
}

Rows readRows(const std::filesystem::path& folder, const std::string& table,
              std::initializer_list<std::string> columns) {
    auto t = dbf::Table::open(folder, table);
    Rows rows;
    for (t.first(); !t.eof(); t.next()) {
        std::vector<std::string> row;
        for (const auto& c : columns) {
            row.push_back(cp1252::toUtf8(t.text(c)));
        }
        rows.push_back(std::move(row));
    }
    t.close();
    return rows;
}

std::vector<std::pair<std::string, std::string>> snapshot(const std::filesystem::path& folder) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        files.emplace_back(entry.path().filename().string(),
                           entry.is_regular_file() ? readFile(entry.path()) : std::string("<dir>"));
    }
    std::sort(files.begin(), files.end());
    return files;
}

void exportDocument(const std::filesystem::path& file, const std::string& xml,
                    const std::filesystem::path& dataDir) {
    writeFile(file, xml);
    Session session;
    session.dataDir = dataDir;
    FakeFrontEnd frontEnd;
    frontEnd.nextFile = file.string();
    exporter::BExportarClick(session, frontEnd);
    if (session.RunStatus != 1) {
        throw std::runtime_error("the export did not complete");
    }
}

LockHolder::LockHolder(const std::filesystem::path& file) {
    int ready[2];
    if (pipe(ready) != 0) {
        throw std::runtime_error("pipe failed");
    }
    pid_ = fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        close(ready[0]);
        auto lock = FileLock::tryAcquire(file);
        char ok = lock ? '1' : '0';
        if (write(ready[1], &ok, 1) != 1) {
            _exit(1);
        }
        pause();
        _exit(0);
    }
    close(ready[1]);
    char ok = '0';
    if (read(ready[0], &ok, 1) != 1 || ok != '1') {
        close(ready[0]);
        throw std::runtime_error("the other process could not lock " + file.string());
    }
    close(ready[0]);
}

LockHolder::~LockHolder() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

} // namespace tdb::test
