#pragma once

#include "app/dialogs.h"
#include "formats/front_end.h"
#include "formats/session.h"

#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QWindow;

namespace tdb::app {

class GradientPanel;

// The help context of the window, its panels and its buttons.
constexpr int kHelpContext = 3;

// The program's one window: two panels with an action button each, a bottom panel with the
// close and help buttons. It owns the session the conversions share and is their front end.
class TMForm : public QWidget, public FrontEnd {
    Q_OBJECT
public:
    struct Settings {
        // The command-line parameters, the program path not counted.
        std::vector<std::string> params;
        // Folder of the timetable tables.
        std::filesystem::path dataDir;
        // The status file written on close in automated mode.
        std::filesystem::path statusFile;
    };
    using Run = std::function<void(Session&, FrontEnd&)>;

    // Builds the window and runs FormCreate: an unusable handle is reported in an error box and
    // the window goes on in interactive mode.
    TMForm(Settings settings, Dialogs& dialogs, QWidget* parent = nullptr);
    ~TMForm() override;

    Session& session() { return session_; }
    // True when the window sits inside the caller's window.
    bool embedded() const { return foreignParent_ != nullptr; }

    void BExportarClick();
    void BImportarClick();
    void Button1Click();
    // The conversion named by the command word; runs once the window is on the screen.
    void FormShow();

    // Runs a conversion as the buttons do: a failure is shown in an error box and leaves the
    // window open and usable; the busy cursor never outlives the run.
    void runConversion(const Run& run);

    std::optional<std::string> chooseFile() override;
    void showMessage(std::string_view text) override;
    void setBusy(bool busy) override;
    void disableActions() override;
    void closeWindow() override;

signals:
    // The window has closed for good: the program ends.
    void formClosed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildLayout();
    void FormCreate();
    void FormClose();
    void finish();
    void watchCaller();
    void restoreCursor();

    Settings settings_;
    Dialogs& dialogs_;
    Session session_;
    int busyDepth_ = 0;
    bool closed_ = false;
    std::uint32_t parentHandle_ = 0;
    std::unique_ptr<QWindow> foreignParent_;
    QTimer callerWatch_;

    GradientPanel* Draw3D1 = nullptr;
    GradientPanel* Draw3D2 = nullptr;
    QPushButton* BExportar = nullptr;
    QPushButton* BClose = nullptr;
    QLabel* Label3 = nullptr;
    GradientPanel* Draw3D3 = nullptr;
    QLabel* Label4 = nullptr;
    QPushButton* BImportar = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* Button1 = nullptr;
};

// The help context that F1 asks for on `widget`: its own, else the nearest ancestor's.
int helpContextOf(const QWidget* widget);

} // namespace tdb::app
