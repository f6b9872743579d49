#include "app/main_window.h"

#include "app/button_glyphs.h"
#include "app/command_line.h"
#include "app/embedding.h"
#include "app/gradient_panel.h"
#include "app/run_status.h"
#include "export/export_run.h"
#include "help/application_help.h"
#include "import/import_run.h"
#include "services/data_dir.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

namespace tdb::app {
namespace {

const char* const kHelpContextProperty = "helpContext";
const QString kHelpFile = QStringLiteral("BRELO.chm");

// Arial where it is installed, else its metric twin, so the texts wrap where they were laid out.
QFont arialBold() {
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPixelSize(16); // 12 point at 96 dots per inch
    font.setBold(true);
    return font;
}

QFont dialogFont(bool bold) {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPixelSize(11); // 8 point at 96 dots per inch
    font.setBold(bold);
    return font;
}

GradientPanel* warmPanel(QWidget* parent) {
    return new GradientPanel(QColor(255, 238, 221), Qt::white, QColor(249, 211, 125), Qt::green,
                             parent);
}

QLabel* label(const QString& name, const QString& text, QWidget* parent, const QRect& geometry) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QPushButton* button(const QString& name, const QString& text, const QIcon& glyph, QWidget* parent,
                    const QRect& geometry) {
    auto* button = new QPushButton(glyph, text, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setIconSize(QSize(18, 18));
    // Return presses the focused button, as on the platform the window was laid out for.
    button->setAutoDefault(true);
    return button;
}

QString fromPath(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

} // namespace

int helpContextOf(const QWidget* widget) {
    for (; widget != nullptr; widget = widget->parentWidget()) {
        int context = widget->property(kHelpContextProperty).toInt();
        if (context != 0) {
            return context;
        }
    }
    return 0;
}

TMForm::TMForm(Settings settings, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), settings_(std::move(settings)), dialogs_(dialogs) {
    buildLayout();
    FormCreate();
}

TMForm::~TMForm() {
    callerWatch_.stop();
    restoreCursor();
    if (foreignParent_) {
        // The native window is a child of the foreign one: let it go first.
        destroy();
    }
}

void TMForm::buildLayout() {
    setObjectName(QStringLiteral("MForm"));
    setWindowTitle(QStringLiteral("Exportar e importar datos entre Vestrano y Brelo "));
    setFont(dialogFont(false));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(632, 266);

    Draw3D1 = new GradientPanel(QColor(204, 216, 230), QColor(207, 242, 254), QColor(194, 205, 254),
                                QColor(204, 216, 230), this);
    Draw3D1->setObjectName(QStringLiteral("Draw3D1"));
    Draw3D1->setGeometry(0, 168, 633, 97);

    Draw3D2 = warmPanel(this);
    Draw3D2->setObjectName(QStringLiteral("Draw3D2"));
    Draw3D2->setGeometry(1, 0, 315, 169);

    BExportar = button(QStringLiteral("BExportar"), QStringLiteral("Aceptar"), okGlyph(), Draw3D2,
                       QRect(96, 120, 89, 25));
    BClose = button(QStringLiteral("BClose"), QStringLiteral("&Salir"), closeGlyph(), Draw3D1,
                    QRect(256, 32, 89, 25));

    Label3 = label(QStringLiteral("Label3"),
                   QStringLiteral("Transformar datos desde Brelo hacia Vestrano "), Draw3D2,
                   QRect(24, 24, 265, 57));
    Label3->setFont(arialBold());
    Label3->setWordWrap(true);

    Draw3D3 = warmPanel(this);
    Draw3D3->setObjectName(QStringLiteral("Draw3D3"));
    Draw3D3->setGeometry(316, 0, 317, 169);

    Label4 = label(QStringLiteral("Label4"),
                   QStringLiteral("Transformar datos desde Vestrano hacia Brelo"), Draw3D3,
                   QRect(8, 24, 305, 57));
    Label4->setFont(arialBold());
    Label4->setWordWrap(true);

    BImportar = button(QStringLiteral("BImportar"), QStringLiteral("Aceptar"), okGlyph(), Draw3D3,
                       QRect(96, 120, 89, 25));

    Label1 = label(QStringLiteral("Label1"), QStringLiteral("TransVestranoBrelo para RT48 V-1.0"),
                   Draw3D1, QRect(8, 72, 220, 13));
    Label1->setFont(dialogFont(true));
    QPalette red = Label1->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    Label1->setPalette(red);

    Button1 = button(QStringLiteral("Button1"), QStringLiteral("F1 Ayuda"), QIcon(), Draw3D1,
                     QRect(512, 56, 75, 25));

    for (QWidget* widget : std::initializer_list<QWidget*>{this, Draw3D1, Draw3D2, Draw3D3,
                                                           BExportar, BImportar, BClose, Button1}) {
        widget->setProperty(kHelpContextProperty, kHelpContext);
    }

    // Panels in the order bottom, left, right; within the bottom one, close before help.
    setTabOrder(BClose, Button1);
    setTabOrder(Button1, BExportar);
    setTabOrder(BExportar, BImportar);
    BClose->setFocus();

    connect(BExportar, &QPushButton::clicked, this, &TMForm::BExportarClick);
    connect(BImportar, &QPushButton::clicked, this, &TMForm::BImportarClick);
    connect(BClose, &QPushButton::clicked, this, &TMForm::closeWindow);
    connect(Button1, &QPushButton::clicked, this, &TMForm::Button1Click);
}

void TMForm::FormCreate() {
    session_.dataDir = settings_.dataDir;
    session_.UsedShortCodes.clear();
    session_.SeenLongCodes.clear();
    session_.RunStatus = 0;

    if (QScreen* screen = this->screen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    Launch launch = parseLaunch(settings_.params);
    if (launch.error) {
        dialogs_.error(nullptr, QString::fromStdString(*launch.error));
        return;
    }
    if (!launch.automated()) {
        return;
    }
    parentHandle_ = *launch.parentHandle;
    foreignParent_ = embedInNativeWindow(*this, parentHandle_);
    if (foreignParent_) {
        watchCaller();
    }
    session_.LaunchParamCount = 2;
}

void TMForm::watchCaller() {
    // When the caller's window goes away, so does this one with it: end the program.
    callerWatch_.setInterval(500);
    connect(&callerWatch_, &QTimer::timeout, this, [this] {
        if (!nativeWindowSize(parentHandle_)) {
            callerWatch_.stop();
            finish();
        }
    });
    callerWatch_.start();
}

void TMForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        // Queued, so the window (and, embedded, the caller's view of it) is on the screen
        // before the file dialog opens over it.
        QMetaObject::invokeMethod(this, &TMForm::FormShow, Qt::QueuedConnection);
    }
}

void TMForm::FormShow() {
    if (closed_) {
        return;
    }
    switch (showCommand(settings_.params)) {
    case Command::Importar:
        BImportarClick();
        break;
    case Command::Exportar:
        BExportarClick();
        break;
    case Command::None:
        break;
    }
}

void TMForm::BExportarClick() {
    runConversion(&exporter::BExportarClick);
}

void TMForm::BImportarClick() {
    runConversion(&importer::BImportarClick);
}

void TMForm::Button1Click() {
    help::setApplicationHelpFile(kHelpFile);
    help::showContents(this);
}

void TMForm::runConversion(const Run& run) {
    QString failure;
    try {
        run(session_, *this);
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
    } catch (...) {
        failure = QStringLiteral("Error inesperado durante la conversión");
    }
    restoreCursor();
    if (!failure.isNull()) {
        dialogs_.error(this, failure);
    }
}

std::optional<std::string> TMForm::chooseFile() {
    FileDialogSettings settings{QStringLiteral("Archivo XML"), QStringLiteral("*.xml (*.xml)"),
                                QStringLiteral("xml"),
                                fromPath(dialogStartFolder(session_.dataDir))};
    auto chosen = dialogs_.chooseFile(this, settings);
    if (!chosen) {
        return std::nullopt;
    }
    return QFile::encodeName(*chosen).toStdString();
}

void TMForm::showMessage(std::string_view text) {
    dialogs_.message(this, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void TMForm::setBusy(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++busyDepth_;
    } else if (busyDepth_ > 0) {
        QApplication::restoreOverrideCursor();
        --busyDepth_;
    }
}

void TMForm::restoreCursor() {
    while (busyDepth_ > 0) {
        setBusy(false);
    }
}

void TMForm::disableActions() {
    BExportar->setEnabled(false);
    BImportar->setEnabled(false);
}

void TMForm::closeWindow() {
    if (!closed_) {
        close();
    }
}

void TMForm::closeEvent(QCloseEvent* event) {
    event->accept();
    if (!closed_) {
        finish();
    }
}

void TMForm::finish() {
    closed_ = true;
    callerWatch_.stop();
    FormClose();
    emit formClosed();
}

void TMForm::FormClose() {
    if (session_.LaunchParamCount != 2) {
        return;
    }
    try {
        writeRunStatus(settings_.statusFile, session_.RunStatus);
    } catch (const std::exception& e) {
        // The program ends all the same: the caller is waiting for it, not for the status.
        dialogs_.error(this, QString::fromUtf8(e.what()));
    }
}

void TMForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        QWidget* focus = focusWidget();
        help::showContext(this, helpContextOf(focus != nullptr ? focus : this));
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace tdb::app
