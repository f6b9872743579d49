#pragma once

#include <QString>

#include <memory>
#include <optional>

class QFileDialog;
class QMessageBox;
class QWidget;

// The window's modal dialogs behind one small seam: the program shows the real ones, a test
// answers in their place.
namespace tdb::app {

// Caption of every message and error box, and the application's name on the task bar.
inline const QString kApplicationTitle = QStringLiteral("TransDorimoBrelo");

struct FileDialogSettings {
    QString title;
    QString filter;
    QString defaultSuffix;
    QString directory;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // The confirmed path, or nothing when cancelled.
    virtual std::optional<QString> chooseFile(QWidget* parent,
                                              const FileDialogSettings& settings) = 0;
    // A plain modal message: title caption, no icon, one button "Aceptar".
    virtual void message(QWidget* parent, const QString& text) = 0;
    // The error box of a failure: title caption, error icon, one button "Aceptar".
    virtual void error(QWidget* parent, const QString& text) = 0;
};

// The dialogs as the program builds them, ready to be run.
std::unique_ptr<QFileDialog> makeFileDialog(QWidget* parent, const FileDialogSettings& settings);
std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, const QString& text);
std::unique_ptr<QMessageBox> makeErrorBox(QWidget* parent, const QString& text);

class QtDialogs : public Dialogs {
public:
    std::optional<QString> chooseFile(QWidget* parent, const FileDialogSettings& settings) override;
    void message(QWidget* parent, const QString& text) override;
    void error(QWidget* parent, const QString& text) override;
};

} // namespace tdb::app
