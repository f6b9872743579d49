#include "app/main_window.h"

#include "app/dialogs.h"
#include "app_support.h"
#include "services/error.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tdb::app {
namespace {

namespace fs = std::filesystem;

class MainWindowTest : public testing::Test {
protected:
    static void SetUpTestSuite() { test::application(); }

    void TearDown() override {
        // No test may leave the hourglass behind for the next one.
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }

    // A window on a fresh session, with an existing data folder unless told otherwise.
    std::unique_ptr<TMForm> makeForm(std::vector<std::string> params = {},
                                     bool dataDirExists = true) {
        if (dataDirExists) {
            fs::create_directories(dataDir() / "brelo");
        }
        auto form = std::make_unique<TMForm>(
            TMForm::Settings{std::move(params), dataDir(), statusFile()}, dialogs);
        QObject::connect(form.get(), &TMForm::formClosed, [this] { ++closedSignals; });
        return form;
    }

    fs::path dataDir() const { return dir / "VTEMP"; }
    fs::path statusFile() const { return dir / "Vestrano.ini"; }
    // The sample school, copied into `folder`.
    QString sample(const fs::path& folder) {
        auto copy = folder / "colegio.xml";
        fs::create_directories(copy.parent_path());
        fs::copy_file(test::sourceDir() / "samples" / "colegio.xml", copy,
                      fs::copy_options::overwrite_existing);
        return QString::fromStdString(copy.string());
    }
    std::string statusText() const {
        return fs::exists(statusFile()) ? test::readFile(statusFile()) : std::string("(none)");
    }
    static std::string statusOf(int value) {
        return "[Transformadores]\r\nTransformado=" + std::to_string(value) + "\r\n";
    }

    template <typename T> static T* child(QWidget& form, const char* name) {
        auto* found = form.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    static void settle() {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::processEvents();
        }
    }

    test::TempDir dir;
    test::ScriptedDialogs dialogs;
    int closedSignals = 0;
};

TEST_F(MainWindowTest, WindowIsBuiltFromItsLayoutTable) {
    auto form = makeForm();
    EXPECT_EQ(form->objectName(), "MForm");
    EXPECT_EQ(form->windowTitle(), "Exportar e importar datos entre Vestrano y Brelo ");
    EXPECT_EQ(form->minimumSize(), QSize(632, 266));
    EXPECT_EQ(form->maximumSize(), QSize(632, 266));
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form->windowFlags() & Qt::FramelessWindowHint);

    struct Component {
        const char* name;
        const char* parent;
        QRect geometry;
        const char* text; // nothing for the panels
    };
    const Component components[] = {
        {"Draw3D1", "MForm", {0, 168, 633, 97}, nullptr},
        {"Draw3D2", "MForm", {1, 0, 315, 169}, nullptr},
        {"Draw3D3", "MForm", {316, 0, 317, 169}, nullptr},
        {"Label3", "Draw3D2", {24, 24, 265, 57}, "Transformar datos desde Brelo hacia Vestrano "},
        {"BExportar", "Draw3D2", {96, 120, 89, 25}, "Aceptar"},
        {"Label4", "Draw3D3", {8, 24, 305, 57}, "Transformar datos desde Vestrano hacia Brelo"},
        {"BImportar", "Draw3D3", {96, 120, 89, 25}, "Aceptar"},
        {"Label1", "Draw3D1", {8, 72, 220, 13}, "TransVestranoBrelo para RT48 V-1.0"},
        {"BClose", "Draw3D1", {256, 32, 89, 25}, "&Salir"},
        {"Button1", "Draw3D1", {512, 56, 75, 25}, "F1 Ayuda"},
    };
    for (const auto& c : components) {
        SCOPED_TRACE(c.name);
        auto* widget = child<QWidget>(*form, c.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget()->objectName(), c.parent);
        EXPECT_EQ(widget->geometry(), c.geometry);
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            EXPECT_EQ(label->text(), QString::fromUtf8(c.text));
        } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
            EXPECT_EQ(button->text(), QString::fromUtf8(c.text));
            EXPECT_TRUE(button->isEnabled());
        }
    }
}

TEST_F(MainWindowTest, LabelsUseTheirFontsColoursAndWrapping) {
    auto form = makeForm();
    struct Look {
        const char* name;
        const char* family;
        int pixelSize;
        bool wrapped;
        QColor colour;
    };
    const QColor windowText = form->palette().color(QPalette::WindowText);
    const Look looks[] = {
        {"Label3", "Arial", 16, true, windowText},
        {"Label4", "Arial", 16, true, windowText},
        {"Label1", "MS Sans Serif", 11, false, Qt::red},
    };
    for (const auto& l : looks) {
        SCOPED_TRACE(l.name);
        auto* label = child<QLabel>(*form, l.name);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->font().families().value(0), l.family);
        EXPECT_TRUE(label->font().families().contains("Liberation Sans"));
        EXPECT_EQ(label->font().pixelSize(), l.pixelSize);
        EXPECT_TRUE(label->font().bold());
        EXPECT_EQ(label->wordWrap(), l.wrapped);
        EXPECT_EQ(label->palette().color(QPalette::WindowText), l.colour);
        EXPECT_FALSE(label->autoFillBackground());
        EXPECT_EQ(label->alignment(), Qt::AlignLeft | Qt::AlignTop);
        // The text fits the label's fixed box in the font actually found.
        QFontMetrics metrics(label->font());
        QRect needed = metrics.boundingRect(QRect(0, 0, label->width(), 1000),
                                            l.wrapped ? Qt::TextWordWrap : 0, label->text());
        EXPECT_LE(needed.width(), label->width());
        EXPECT_LE(needed.height(), label->height());
    }
    // The heading breaks into two lines, as laid out.
    auto* label3 = child<QLabel>(*form, "Label3");
    QFontMetrics metrics(label3->font());
    int height =
        metrics.boundingRect(QRect(0, 0, 265, 1000), Qt::TextWordWrap, label3->text()).height();
    EXPECT_EQ(qRound(static_cast<double>(height) / metrics.lineSpacing()), 2) << height;
}

TEST_F(MainWindowTest, PanelsPaintTheirThreeColourGradients) {
    auto form = makeForm();
    struct Panel {
        const char* name;
        QColor top, middle, bottom;
    };
    const Panel panels[] = {
        {"Draw3D1", QColor(204, 216, 230), QColor(207, 242, 254), QColor(194, 205, 254)},
        {"Draw3D2", QColor(255, 238, 221), Qt::white, QColor(249, 211, 125)},
        {"Draw3D3", QColor(255, 238, 221), Qt::white, QColor(249, 211, 125)},
    };
    auto near = [](QColor a, QColor b) {
        return std::abs(a.red() - b.red()) <= 4 && std::abs(a.green() - b.green()) <= 4 &&
               std::abs(a.blue() - b.blue()) <= 4;
    };
    for (const auto& p : panels) {
        SCOPED_TRACE(p.name);
        auto* panel = child<QWidget>(*form, p.name);
        ASSERT_NE(panel, nullptr);
        // Children hidden, so only the panel's own painting is sampled.
        for (auto* c : panel->findChildren<QWidget*>()) {
            c->hide();
        }
        QImage image = panel->grab().toImage();
        ASSERT_EQ(image.size(), panel->size());
        for (int x : {0, image.width() / 2, image.width() - 1}) {
            SCOPED_TRACE(x);
            EXPECT_TRUE(near(image.pixelColor(x, 0), p.top))
                << image.pixelColor(x, 0).name().toStdString();
            EXPECT_TRUE(near(image.pixelColor(x, image.height() / 2), p.middle))
                << image.pixelColor(x, image.height() / 2).name().toStdString();
            EXPECT_TRUE(near(image.pixelColor(x, image.height() - 1), p.bottom))
                << image.pixelColor(x, image.height() - 1).name().toStdString();
        }
    }
}

TEST_F(MainWindowTest, ButtonsCarryTheirKindsGlyphsAndKeys) {
    auto form = makeForm();
    for (const char* name : {"BExportar", "BImportar", "BClose"}) {
        SCOPED_TRACE(name);
        auto* button = child<QPushButton>(*form, name);
        ASSERT_NE(button, nullptr);
        QImage glyph = button->icon().pixmap(18, 18).toImage();
        ASSERT_FALSE(glyph.isNull());
        int painted = 0;
        for (int y = 0; y < glyph.height(); ++y) {
            for (int x = 0; x < glyph.width(); ++x) {
                painted += glyph.pixelColor(x, y).alpha() > 0;
            }
        }
        EXPECT_GT(painted, 20);
    }
    EXPECT_TRUE(child<QPushButton>(*form, "Button1")->icon().isNull());
    EXPECT_EQ(child<QPushButton>(*form, "BClose")->shortcut(), QKeySequence(Qt::ALT | Qt::Key_S));
}

TEST_F(MainWindowTest, TabOrderRunsBottomPanelThenLeftThenRight) {
    auto form = makeForm();
    form->show();
    settle();
    std::vector<QString> order;
    QWidget* start = child<QWidget>(*form, "BClose");
    EXPECT_EQ(form->focusWidget(), start);
    QWidget* widget = start;
    do {
        if (widget->focusPolicy() & Qt::TabFocus) {
            order.push_back(widget->objectName());
        }
        widget = widget->nextInFocusChain();
    } while (widget != start);
    EXPECT_EQ(order, (std::vector<QString>{"BClose", "Button1", "BExportar", "BImportar"}));
    form->close();
}

TEST_F(MainWindowTest, HelpButtonAndF1ReachTheHelpEngine) {
    test::RecordingHelpEngine engine;
    auto form = makeForm();
    child<QPushButton>(*form, "Button1")->click();
    ASSERT_EQ(engine.calls.size(), 1u);
    EXPECT_EQ(engine.calls[0].command, help::HH_DISPLAY_TOC);
    EXPECT_TRUE(engine.calls[0].file.endsWith("BRELO.chm")) << engine.calls[0].file.toStdString();

    // F1 on every control that can hold the focus, on the window itself and on a label.
    const char* targets[] = {"BExportar", "BImportar", "BClose", "Button1", "Label3", "Draw3D1"};
    for (const char* name : targets) {
        SCOPED_TRACE(name);
        engine.calls.clear();
        QWidget* target = child<QWidget>(*form, name);
        EXPECT_EQ(helpContextOf(target), kHelpContext);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        ASSERT_EQ(engine.calls.size(), 1u);
        EXPECT_EQ(engine.calls[0].command, help::HH_HELP_CONTEXT);
        EXPECT_EQ(engine.calls[0].data, "3");
    }
    // Shift+F1 is not the help key.
    engine.calls.clear();
    QKeyEvent shifted(QEvent::KeyPress, Qt::Key_F1, Qt::ShiftModifier);
    QApplication::sendEvent(form.get(), &shifted);
    EXPECT_TRUE(engine.calls.empty());
}

TEST_F(MainWindowTest, DialogsAreBuiltAsTheWindowAsksForThem) {
    auto form = makeForm();
    ASSERT_FALSE(form->chooseFile().has_value());
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    const auto& settings = dialogs.fileRequests[0];
    EXPECT_EQ(settings.title, "Archivo XML");
    EXPECT_EQ(settings.defaultSuffix, "xml");
    EXPECT_EQ(settings.directory, QString::fromStdString((dataDir() / "brelo").string()));

    auto dialog = makeFileDialog(form.get(), settings);
    EXPECT_EQ(dialog->windowTitle(), "Archivo XML");
    EXPECT_EQ(dialog->nameFilters(), QStringList{"*.xml (*.xml)"});
    EXPECT_EQ(dialog->defaultSuffix(), "xml");
    EXPECT_EQ(dialog->fileMode(), QFileDialog::AnyFile);
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(fs::path(dialog->directory().absolutePath().toStdString()), dataDir() / "brelo");

    struct Box {
        std::unique_ptr<QMessageBox> box;
        QMessageBox::Icon icon;
    };
    Box boxes[] = {{makeMessageBox(form.get(), "Proceso finalizado"), QMessageBox::NoIcon},
                   {makeErrorBox(form.get(), "Fallo"), QMessageBox::Critical}};
    for (const auto& b : boxes) {
        SCOPED_TRACE(b.box->text().toStdString());
        EXPECT_EQ(b.box->windowTitle(), "TransDorimoBrelo");
        EXPECT_EQ(b.box->icon(), b.icon);
        ASSERT_EQ(b.box->buttons().size(), 1);
        EXPECT_EQ(b.box->buttons()[0]->text(), "Aceptar");
    }
}

// Runs `answer` on the modal dialog once it is up.
void whenModal(std::function<void(QWidget*)> answer) {
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [answer, poll] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            answer(modal);
            *poll = nullptr; // the running copy keeps what it needs; this ends the cycle
        } else {
            QTimer::singleShot(10, *poll);
        }
    };
    QTimer::singleShot(0, *poll);
}

TEST_F(MainWindowTest, RealFileDialogTakesATypedNameThatNeedNotExist) {
    QtDialogs real;
    FileDialogSettings settings{"Archivo XML", "*.xml (*.xml)", "xml",
                                QString::fromStdString(dir.path().string())};
    struct Case {
        QString typed;
        std::optional<QString> chosen; // nothing: cancelled
    };
    const QString folder = QString::fromStdString(dir.path().string());
    const Case cases[] = {
        {folder + "/nuevo", folder + "/nuevo.xml"},
        {folder + "/otro.xml", folder + "/otro.xml"},
        {QString(), std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        whenModal([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            if (c.chosen) {
                dialog->selectFile(c.typed);
                static_cast<QDialog*>(dialog)->accept();
            } else {
                dialog->reject();
            }
        });
        EXPECT_EQ(real.chooseFile(nullptr, settings), c.chosen);
    }
}

TEST_F(MainWindowTest, RealMessageBoxWaitsForAceptar) {
    QtDialogs real;
    QString seenText;
    whenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        seenText = box->text();
        box->buttons().at(0)->click();
    });
    real.message(nullptr, "No existe archivo");
    EXPECT_EQ(seenText, "No existe archivo");
}

// How a handler scenario starts and what the window shows for it.
enum class Start { Show, ClickExport, ClickImport };
enum class Answer { Cancel, Sample, MissingFile };

struct Scenario {
    const char* name;
    std::vector<std::string> params;
    Start start;
    Answer answer;
    bool dataDirExists;
    std::vector<QString> messages;
    int errors;
    bool closedByRun;
    int runStatus;
    bool actionsEnabled;
    std::string statusAfterRun;   // "(none)": no status file
    std::string statusAfterClose; // once the user closes a window the run left open
};

void PrintTo(const Scenario& scenario, std::ostream* out) {
    *out << scenario.name;
}

class HandlerTest : public MainWindowTest, public testing::WithParamInterface<Scenario> {};

TEST_P(HandlerTest, RunsAndReportsAsTheModeRequires) {
    const Scenario& s = GetParam();
    auto form = makeForm(s.params, s.dataDirExists);
    switch (s.answer) {
    case Answer::Cancel:
        break;
    case Answer::Sample:
        // Outside the data folder, which may have to stay missing.
        dialogs.files.push_back(sample(dir.path()));
        break;
    case Answer::MissingFile:
        dialogs.files.push_back(QString::fromStdString((dir / "no-existe.xml").string()));
        break;
    }
    // No box is ever shown under the hourglass.
    dialogs.onBox = [](const QString&) { EXPECT_EQ(QApplication::overrideCursor(), nullptr); };

    form->show();
    settle();
    if (s.start == Start::ClickExport) {
        child<QPushButton>(*form, "BExportar")->click();
    } else if (s.start == Start::ClickImport) {
        child<QPushButton>(*form, "BImportar")->click();
    }

    EXPECT_EQ(dialogs.messages, s.messages);
    EXPECT_EQ(static_cast<int>(dialogs.errors.size()), s.errors);
    for (const auto& error : dialogs.errors) {
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_EQ(form->isVisible(), !s.closedByRun);
    EXPECT_EQ(closedSignals, s.closedByRun ? 1 : 0);
    EXPECT_EQ(form->session().RunStatus, s.runStatus);
    EXPECT_EQ(child<QPushButton>(*form, "BExportar")->isEnabled(), s.actionsEnabled);
    EXPECT_EQ(child<QPushButton>(*form, "BImportar")->isEnabled(), s.actionsEnabled);
    EXPECT_TRUE(child<QPushButton>(*form, "BClose")->isEnabled());
    EXPECT_TRUE(child<QPushButton>(*form, "Button1")->isEnabled());
    EXPECT_EQ(statusText(), s.statusAfterRun);
    EXPECT_FALSE(form->embedded());

    if (!s.closedByRun) {
        child<QPushButton>(*form, "BClose")->click();
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(closedSignals, 1);
        EXPECT_EQ(statusText(), s.statusAfterClose);
    }
}

const std::string kNone = "(none)";
const std::vector<std::string> kAutoExport = {"exportar", "1A04B2"};
const std::vector<std::string> kAutoImport = {"importar", "1A04B2"};

INSTANTIATE_TEST_SUITE_P(Window, HandlerTest,
                         testing::Values(Scenario{"InteractiveCancelInAFreshProcess",
                                                  {},
                                                  Start::ClickExport,
                                                  Answer::Cancel,
                                                  true,
                                                  {"No existe archivo"},
                                                  0,
                                                  false,
                                                  0,
                                                  true,
                                                  kNone,
                                                  kNone},
                                         Scenario{"InteractiveImportOfATypedMissingFile",
                                                  {"exportar"},
                                                  Start::ClickImport,
                                                  Answer::MissingFile,
                                                  true,
                                                  {"No existe archivo"},
                                                  0,
                                                  false,
                                                  0,
                                                  true,
                                                  kNone,
                                                  kNone},
                                         Scenario{"InteractiveExportCompletes",
                                                  {},
                                                  Start::ClickExport,
                                                  Answer::Sample,
                                                  true,
                                                  {"Proceso finalizado"},
                                                  0,
                                                  false,
                                                  1,
                                                  false,
                                                  kNone,
                                                  kNone},
                                         Scenario{"AutomatedImportCancelled",
                                                  kAutoImport,
                                                  Start::Show,
                                                  Answer::Cancel,
                                                  true,
                                                  {"No existe archivo"},
                                                  0,
                                                  true,
                                                  -1,
                                                  true,
                                                  "[Transformadores]\r\nTransformado=-1\r\n",
                                                  ""},
                                         Scenario{"AutomatedExportInCapitalsCompletes",
                                                  {"EXPORTAR", "1a04b2"},
                                                  Start::Show,
                                                  Answer::Sample,
                                                  true,
                                                  {"Proceso finalizado"},
                                                  0,
                                                  true,
                                                  1,
                                                  false,
                                                  "[Transformadores]\r\nTransformado=1\r\n",
                                                  ""},
                                         Scenario{"AutomatedExportFailure",
                                                  kAutoExport,
                                                  Start::Show,
                                                  Answer::Sample,
                                                  false,
                                                  {},
                                                  1,
                                                  false,
                                                  0,
                                                  true,
                                                  kNone,
                                                  "[Transformadores]\r\nTransformado=0\r\n"},
                                         Scenario{"AutomatedUnknownWordWaitsForTheUser",
                                                  {"exportar ", "1A04B2"},
                                                  Start::Show,
                                                  Answer::Sample,
                                                  true,
                                                  {},
                                                  0,
                                                  false,
                                                  0,
                                                  true,
                                                  kNone,
                                                  "[Transformadores]\r\nTransformado=0\r\n"},
                                         Scenario{"BadHandleRunsTheWordInAnOrdinaryWindow",
                                                  {"exportar", "0x1A04B2"},
                                                  Start::Show,
                                                  Answer::Sample,
                                                  true,
                                                  {"Proceso finalizado"},
                                                  1,
                                                  false,
                                                  1,
                                                  false,
                                                  kNone,
                                                  kNone},
                                         Scenario{"ThreeParametersRunNothing",
                                                  {"exportar", "1A04B2", "otra"},
                                                  Start::Show,
                                                  Answer::Sample,
                                                  true,
                                                  {},
                                                  0,
                                                  false,
                                                  0,
                                                  true,
                                                  kNone,
                                                  kNone}),
                         [](const testing::TestParamInfo<Scenario>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(MainWindowTest, BadHandleIsReportedWhileTheWindowIsCreated) {
    auto form = makeForm({"exportar", "0x1A04B2"});
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_TRUE(dialogs.errors[0].contains("0x1A04B2"));
    EXPECT_FALSE(form->session().automated());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(MainWindowTest, CompletedImportDisablesBothActionsAndKeepsTheWindow) {
    QString xml = sample(dataDir() / "brelo");
    {
        // The tables come from an export, the solution from the stand-in timetabler.
        auto exporting = makeForm();
        dialogs.files.push_back(xml);
        exporting->BExportarClick();
        ASSERT_EQ(dialogs.messages, std::vector<QString>{"Proceso finalizado"});
        ASSERT_TRUE(dialogs.errors.empty()) << dialogs.errors[0].toStdString();
    }
    auto timetabler = test::runProcess(
        {(test::binaryDir() / "tools" / "demo-timetabler").string(), dataDir().string()});
    ASSERT_EQ(timetabler.exitCode, 0) << timetabler.err;

    dialogs.messages.clear();
    auto form = makeForm();
    form->show();
    settle();
    dialogs.files.push_back(xml);
    child<QPushButton>(*form, "BImportar")->click();
    ASSERT_TRUE(dialogs.errors.empty()) << dialogs.errors[0].toStdString();
    EXPECT_EQ(dialogs.messages, std::vector<QString>{"Proceso finalizado"});
    EXPECT_TRUE(fs::exists(dataDir() / "brelo" / "ResultadoDorimocolegio.xml"));
    EXPECT_EQ(form->session().RunStatus, 1);
    EXPECT_FALSE(child<QPushButton>(*form, "BExportar")->isEnabled());
    EXPECT_FALSE(child<QPushButton>(*form, "BImportar")->isEnabled());
    EXPECT_TRUE(form->isVisible());
    // A disabled action does nothing, not even ask for a file.
    child<QPushButton>(*form, "BExportar")->click();
    EXPECT_EQ(dialogs.fileRequests.size(), 2u);
    form->close();
    EXPECT_FALSE(fs::exists(statusFile()));
}

TEST_F(MainWindowTest, FailingRunNeverLeavesTheHourglass) {
    auto form = makeForm();
    struct Case {
        const char* name;
        TMForm::Run run;
        QString error; // empty: the run returns
    };
    Qt::CursorShape during = Qt::ArrowCursor;
    const Case cases[] = {
        {"thrown inside a busy scope",
         [&](Session&, FrontEnd& frontEnd) {
             BusyCursor busy(frontEnd);
             during = QApplication::overrideCursor()->shape();
             throw Error("Fallo de la tabla ASIGT");
         },
         "Fallo de la tabla ASIGT"},
        {"busy left set by a failing run",
         [](Session&, FrontEnd& frontEnd) {
             frontEnd.setBusy(true);
             frontEnd.setBusy(true);
             throw Error("Fallo en el paso");
         },
         "Fallo en el paso"},
        {"other exception", [](Session&, FrontEnd&) { throw std::runtime_error("sin memoria"); },
         "sin memoria"},
        {"busy left set by a run that returns",
         [](Session&, FrontEnd& frontEnd) { frontEnd.setBusy(true); }, QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.errors.clear();
        QCursor* atBox = reinterpret_cast<QCursor*>(1);
        dialogs.onBox = [&](const QString&) { atBox = QApplication::overrideCursor(); };
        form->runConversion(c.run);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        if (c.error.isEmpty()) {
            EXPECT_TRUE(dialogs.errors.empty());
        } else {
            EXPECT_EQ(dialogs.errors, std::vector<QString>{c.error});
            EXPECT_EQ(atBox, nullptr);
        }
    }
    EXPECT_EQ(during, Qt::WaitCursor);
    EXPECT_TRUE(child<QPushButton>(*form, "BExportar")->isEnabled());
}

TEST_F(MainWindowTest, UnwritableStatusFileIsReportedAndTheProgramStillEnds) {
    fs::create_directories(statusFile()); // a folder where the file should be
    auto form = makeForm({"otra", "1A04B2"});
    form->show();
    settle();
    form->close();
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_TRUE(dialogs.errors[0].contains(QString::fromStdString(statusFile().string())))
        << dialogs.errors[0].toStdString();
    EXPECT_EQ(closedSignals, 1);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(MainWindowTest, TheStatusIsHandedOnOnceWhateverClosesTheWindow) {
    auto form = makeForm({"otra", "1A04B2"});
    form->show();
    settle();
    form->session().RunStatus = 1;
    form->closeWindow();
    form->session().RunStatus = -1;
    form->closeWindow();
    form->close();
    EXPECT_EQ(statusText(), statusOf(1));
    EXPECT_EQ(closedSignals, 1);
}

} // namespace
} // namespace tdb::app
