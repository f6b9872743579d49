#include "app/command_line.h"
#include "app/dialogs.h"
#include "app/main_window.h"
#include "app/run_status.h"
#include "help/application_help.h"
#include "services/data_dir.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

int main(int argc, char* argv[]) {
    // The command line is the caller's two-parameter protocol, read as given: Qt sees none of
    // it, so no parameter is taken for one of Qt's own options.
    std::vector<std::string> params;
    for (int i = 1; i < argc; ++i) {
        params.push_back(QString::fromLocal8Bit(argv[i]).toStdString());
    }
    std::optional<std::string_view> platform;
    if (const char* current = std::getenv("QT_QPA_PLATFORM")) {
        platform = current;
    }
    if (auto forced = tdb::app::forcedPlatform(params, platform)) {
        qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(*forced));
    }
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    // The application name (not the display name, which Qt would append to every window title).
    QApplication::setApplicationName(tdb::app::kApplicationTitle);
    QGuiApplication::setDesktopFileName(QStringLiteral("transdorimobrelo"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/transdorimobrelo.png")));
    // The program ends when its window closes, embedded or not (an embedded window is never
    // the "last window" Qt waits for).
    QApplication::setQuitOnLastWindowClosed(false);

    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Spanish, QLocale::Spain), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }

    tdb::help::install();
    tdb::help::setApplicationHelpFile(QStringLiteral("BRELO.chm"));

    int status = 0;
    {
        tdb::app::QtDialogs dialogs;
        auto programDir = QFile::encodeName(QApplication::applicationDirPath()).toStdString();
        tdb::app::TMForm MForm(
            {params, tdb::resolveDataDir(std::nullopt), tdb::app::statusFilePath(programDir)},
            dialogs);
        // exit(), not quit(): an embedded window does not take part in quit().
        QObject::connect(&MForm, &tdb::app::TMForm::formClosed, &application,
                         [] { QCoreApplication::exit(0); });
        MForm.show();
        status = QApplication::exec();
    }
    tdb::help::uninstall();
    return status;
}
