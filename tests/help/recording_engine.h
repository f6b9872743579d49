#pragma once

#include "help/application_help.h"

#include <QString>

#include <memory>
#include <ostream>
#include <vector>

class QWidget;

namespace tdb::help::test {

struct EngineCall {
    QWidget* window;
    QString file;
    int command;
    QString data;

    bool operator==(const EngineCall&) const = default;
};

inline void PrintTo(const EngineCall& call, std::ostream* os) {
    *os << "{window " << static_cast<const void*>(call.window) << ", \"" << call.file.toStdString()
        << "\", command " << call.command << ", \"" << call.data.toStdString() << "\"}";
}

// Keeps what the viewer asked of the engine; the log outlives the engine, which the help
// system owns.
class RecordingEngine final : public HtmlHelpEngine {
public:
    explicit RecordingEngine(std::shared_ptr<std::vector<EngineCall>> log) : log_(std::move(log)) {}
    void call(QWidget* window, const QString& file, int command, const QString& data) override {
        log_->push_back({window, file, command, data});
    }

private:
    std::shared_ptr<std::vector<EngineCall>> log_;
};

} // namespace tdb::help::test
