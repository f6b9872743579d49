#include "app/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QWindow>

#include <algorithm>

namespace tdb::app {
namespace {

std::unique_ptr<QMessageBox> makeBox(QWidget* parent, const QString& text, QMessageBox::Icon icon) {
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(kApplicationTitle);
    box->setIcon(icon);
    box->setText(text);
    box->setTextFormat(Qt::PlainText);
    box->setStandardButtons(QMessageBox::Ok);
    box->button(QMessageBox::Ok)->setText(QStringLiteral("Aceptar"));
    box->setDefaultButton(QMessageBox::Ok);
    box->setEscapeButton(QMessageBox::Ok);
    return box;
}

// A window embedded in a foreign one cannot own a dialog in Qt's eyes: the dialog then belongs to
// the outermost window, the caller's, and stays in front of it.
QWindow* foreignOwner(QWidget* parent) {
    QWindow* window = parent != nullptr ? parent->window()->windowHandle() : nullptr;
    if (window == nullptr || window->parent() == nullptr) {
        return nullptr;
    }
    while (window->parent() != nullptr) {
        window = window->parent();
    }
    return window;
}

// Runs `dialog` over `parent`; over the embedded window it is placed by hand, since Qt knows
// nothing of where the caller's window is.
int runModal(QDialog& dialog, QWidget* parent, QWindow* owner) {
    if (owner != nullptr) {
        dialog.winId();
        dialog.windowHandle()->setTransientParent(owner);
        QWidget* window = parent->window();
        QPoint centre = window->mapToGlobal(window->rect().center());
        QSize size = dialog.sizeHint();
        dialog.move(centre.x() - size.width() / 2, std::max(0, centre.y() - size.height() / 2));
    }
    return dialog.exec();
}

} // namespace

std::unique_ptr<QFileDialog> makeFileDialog(QWidget* parent, const FileDialogSettings& settings) {
    auto dialog =
        std::make_unique<QFileDialog>(parent, settings.title, settings.directory, settings.filter);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    // A typed name is taken as it is, whether or not such a file exists: the run itself
    // reports a missing file.
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(settings.defaultSuffix);
    return dialog;
}

std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, const QString& text) {
    return makeBox(parent, text, QMessageBox::NoIcon);
}

std::unique_ptr<QMessageBox> makeErrorBox(QWidget* parent, const QString& text) {
    return makeBox(parent, text, QMessageBox::Critical);
}

std::optional<QString> QtDialogs::chooseFile(QWidget* parent, const FileDialogSettings& settings) {
    QWindow* owner = foreignOwner(parent);
    auto dialog = makeFileDialog(owner != nullptr ? nullptr : parent, settings);
    if (runModal(*dialog, parent, owner) != QDialog::Accepted ||
        dialog->selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog->selectedFiles().constFirst();
}

void QtDialogs::message(QWidget* parent, const QString& text) {
    QWindow* owner = foreignOwner(parent);
    runModal(*makeMessageBox(owner != nullptr ? nullptr : parent, text), parent, owner);
}

void QtDialogs::error(QWidget* parent, const QString& text) {
    QWindow* owner = foreignOwner(parent);
    runModal(*makeErrorBox(owner != nullptr ? nullptr : parent, text), parent, owner);
}

} // namespace tdb::app
