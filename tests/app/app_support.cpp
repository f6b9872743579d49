#include "app_support.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

namespace tdb::test {

namespace {

std::unique_ptr<QApplication>& applicationObject() {
    static std::unique_ptr<QApplication> app;
    return app;
}

// The application object and the help system go at the end of the test run, before the exit
// handlers tear down the Qt globals they still use.
class ApplicationEnvironment : public testing::Environment {
public:
    void TearDown() override {
        if (applicationObject()) {
            help::uninstall();
            applicationObject().reset();
        }
    }
};

[[maybe_unused]] testing::Environment* const kEnvironment =
    testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

} // namespace

QApplication& application() {
    static int argc = 1;
    static char name[] = "app_test";
    static char* argv[] = {name, nullptr};
    auto& app = applicationObject();
    if (!app) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        app = std::make_unique<QApplication>(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    return *app;
}

std::optional<QString> ScriptedDialogs::chooseFile(QWidget*,
                                                   const app::FileDialogSettings& settings) {
    fileRequests.push_back(settings);
    if (files.empty()) {
        return std::nullopt;
    }
    const bool cancelled = !files.front().has_value();
    QString path = files.front().value_or(QString());
    files.pop_front();
    if (cancelled) {
        return std::nullopt;
    }
    return path;
}

void ScriptedDialogs::message(QWidget*, const QString& text) {
    if (onBox) {
        onBox(text);
    }
    messages.push_back(text);
}

void ScriptedDialogs::error(QWidget*, const QString& text) {
    if (onBox) {
        onBox(text);
    }
    errors.push_back(text);
}

namespace {

class Recorder : public help::HtmlHelpEngine {
public:
    explicit Recorder(std::vector<HelpCall>& calls) : calls_(calls) {}
    void call(QWidget*, const QString& file, int command, const QString& data) override {
        calls_.push_back({command, file, data});
    }

private:
    std::vector<HelpCall>& calls_;
};

} // namespace

RecordingHelpEngine::RecordingHelpEngine() {
    help::install();
    previous_ = help::setEngine(std::make_unique<Recorder>(calls));
}

RecordingHelpEngine::~RecordingHelpEngine() {
    help::setEngine(std::move(previous_));
}

} // namespace tdb::test
