#include "help/chm_file.h"
#include "help/chm_help_engine.h"
#include "help/help_window.h"
#include "help/sitemap.h"
#include "qt_printing.h"
#include "support/test_support.h"

#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

#include <gtest/gtest.h>

namespace tdb::help {
namespace {

namespace fs = std::filesystem;

QString qpath(const fs::path& path) {
    return QString::fromStdString(path.string());
}

// The help file the build placed beside the program.
QString breloChm() {
    return qpath(test::binaryDir() / "src" / "app" / "BRELO.chm");
}

// The pages of the help sources, by file name.
QStringList sourcePages() {
    return QDir(qpath(test::sourceDir() / "help-content"))
        .entryList({QStringLiteral("*.htm")}, QDir::Files, QDir::Name);
}

void processDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class BreloChm : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(breloChm().toStdString()))
            << breloChm().toStdString() << " missing: build the target brelo_chm first";
    }
    void TearDown() override {
        engine.call(nullptr, QString(), HH_CLOSE_ALL, QString());
        processDeferredDeletes();
    }

    HelpWindow* onlyWindow() {
        const auto windows = engine.windows();
        return windows.size() == 1 ? windows.front() : nullptr;
    }

    ChmHelpEngine engine;
};

TEST_F(BreloChm, ContextThreeShowsTheMainWindowTopic) {
    engine.call(nullptr, breloChm(), HH_HELP_CONTEXT, QStringLiteral("3"));
    HelpWindow* window = onlyWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->currentTopic(), QStringLiteral("ventana_principal.htm"));
    EXPECT_TRUE(window->pageText().contains(QStringLiteral("La ventana principal")));
    EXPECT_TRUE(window->pageText().contains(QStringLiteral("F1 Ayuda")));
    EXPECT_FALSE(window->showsIndex());
}

TEST_F(BreloChm, EveryContextOfTheMapLeadsToAPage) {
    const struct {
        const char* id;
        const char* topic;
    } cases[] = {
        {"1", "presentacion.htm"}, {"3", "ventana_principal.htm"}, {"10", "exportar.htm"},
        {"20", "importar.htm"},    {"90", "mensajes.htm"},
    };
    for (const auto& c : cases) {
        engine.call(nullptr, breloChm(), HH_HELP_CONTEXT, QString::fromUtf8(c.id));
        HelpWindow* window = onlyWindow();
        ASSERT_NE(window, nullptr) << c.id;
        EXPECT_EQ(window->currentTopic(), QString::fromUtf8(c.topic)) << c.id;
    }
}

TEST_F(BreloChm, UnknownOrMalformedContextShowsNothing) {
    for (const char* id : {"4", "0", "-1", "tres", "", "99999999999"}) {
        engine.call(nullptr, breloChm(), HH_HELP_CONTEXT, QString::fromUtf8(id));
        EXPECT_TRUE(engine.windows().empty()) << id;
    }
    // An open window stays as it was.
    engine.call(nullptr, breloChm(), HH_HELP_CONTEXT, QStringLiteral("10"));
    engine.call(nullptr, breloChm(), HH_HELP_CONTEXT, QStringLiteral("4"));
    ASSERT_NE(onlyWindow(), nullptr);
    EXPECT_EQ(onlyWindow()->currentTopic(), QStringLiteral("exportar.htm"));
}

TEST_F(BreloChm, TableOfContentsListsEveryPageAndOpensTheDefaultTopic) {
    engine.call(nullptr, breloChm(), HH_DISPLAY_TOC, QString());
    HelpWindow* window = onlyWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->showsIndex());
    EXPECT_EQ(window->currentTopic(), QStringLiteral("presentacion.htm"));

    QStringList listed = window->contentsTopics();
    EXPECT_EQ(listed.size(), window->contentsTitles().size());
    EXPECT_FALSE(window->contentsTitles().contains(QString()));
    listed.sort();
    EXPECT_EQ(listed, sourcePages());
}

TEST_F(BreloChm, IndexKeywordIsSelectedAndAnExactOneOpensItsPage) {
    const struct {
        const char* typed;
        const char* selected;
        const char* topic;
    } cases[] = {
        {"Vestrano.ini", "Vestrano.ini", "linea_de_ordenes.htm"},
        {"vestrano.INI", "Vestrano.ini", "linea_de_ordenes.htm"},
        {"exportar", "exportar", "exportar.htm"},
        {"No existe archivo", "No existe archivo", "mensajes.htm"},
        {"  SOLUC ", "SOLUC", "tablas.htm"},
        {"códigos cortos", "códigos cortos", "codigos_cortos.htm"},
        // A beginning selects the first keyword that starts so and opens nothing new.
        {"Transf", "Transformado", "presentacion.htm"},
        {"zzz", "", "presentacion.htm"},
    };
    for (const auto& c : cases) {
        engine.call(nullptr, QString(), HH_CLOSE_ALL, QString());
        engine.call(nullptr, breloChm(), HH_DISPLAY_INDEX, QString::fromUtf8(c.typed));
        HelpWindow* window = onlyWindow();
        ASSERT_NE(window, nullptr) << c.typed;
        EXPECT_TRUE(window->showsIndex()) << c.typed;
        EXPECT_EQ(window->indexText(), QString::fromUtf8(c.typed));
        EXPECT_EQ(window->selectedKeyword(), QString::fromUtf8(c.selected)) << c.typed;
        EXPECT_EQ(window->currentTopic(), QString::fromUtf8(c.topic)) << c.typed;
    }
}

TEST_F(BreloChm, TopicUrlOpensThePageInTheSameWindow) {
    const struct {
        const char* url;
        const char* topic;
        bool found;
    } cases[] = {
        {"::/tablas.htm", "tablas.htm", true},
        {"::/TABLAS.HTM", "tablas.htm", true},
        {"::tablas.htm", "tablas.htm", true},
        {"::/linea_de_ordenes.htm#estado", "linea_de_ordenes.htm", true},
        {"::/./sub/../importar.htm", "importar.htm", true},
        {"::/", "presentacion.htm", true},
        {"::/intro.htm", "", false},
    };
    for (const auto& c : cases) {
        engine.call(nullptr, breloChm() + QString::fromUtf8(c.url), HH_DISPLAY_TOPIC, QString());
        HelpWindow* window = onlyWindow();
        ASSERT_NE(window, nullptr) << c.url;
        EXPECT_EQ(window->currentTopic(), QString::fromUtf8(c.topic)) << c.url;
        if (!c.found) {
            EXPECT_TRUE(window->pageText().contains(QStringLiteral("intro.htm"))) << c.url;
        }
    }
    // Another name of the same file uses the same window.
    const QString other = QDir(qpath(test::binaryDir())).filePath("src/app/../app/BRELO.chm");
    engine.call(nullptr, other + "::/exportar.htm", HH_DISPLAY_TOPIC, QString());
    ASSERT_NE(onlyWindow(), nullptr);
    EXPECT_EQ(onlyWindow()->currentTopic(), QStringLiteral("exportar.htm"));
}

TEST_F(BreloChm, CloseAllClosesEveryWindow) {
    test::TempDir dir;
    const QString copy = qpath(dir / "copia.chm");
    ASSERT_TRUE(QFile::copy(breloChm(), copy));
    engine.call(nullptr, breloChm(), HH_DISPLAY_TOC, QString());
    engine.call(nullptr, copy, HH_HELP_CONTEXT, QStringLiteral("3"));
    ASSERT_EQ(engine.windows().size(), 2u);
    QList<QPointer<HelpWindow>> opened;
    for (HelpWindow* window : engine.windows()) {
        EXPECT_TRUE(window->isVisible());
        opened.append(window);
    }

    engine.call(nullptr, QString(), HH_CLOSE_ALL, QString());
    EXPECT_TRUE(engine.windows().empty());
    for (const auto& window : opened) {
        EXPECT_TRUE(window.isNull() || !window->isVisible());
    }
    processDeferredDeletes();
    for (const auto& window : opened) {
        EXPECT_TRUE(window.isNull());
    }
    // A window the user closed is forgotten too, and a later request opens a new one.
    engine.call(nullptr, breloChm(), HH_DISPLAY_TOC, QString());
    ASSERT_NE(onlyWindow(), nullptr);
    onlyWindow()->close();
    processDeferredDeletes();
    EXPECT_TRUE(engine.windows().empty());
}

TEST_F(BreloChm, LinksAndStyleSheetsOfEveryPageAreInsideTheFile) {
    const auto file = ChmFile::open(breloChm());
    ASSERT_NE(file, nullptr);
    const QRegularExpression reference(QStringLiteral(R"re((?:href|src)\s*=\s*"([^"]*)")re"),
                                       QRegularExpression::CaseInsensitiveOption);
    for (const QString& page : sourcePages()) {
        const auto bytes = file->read(page);
        ASSERT_TRUE(bytes.has_value()) << page.toStdString();
        const QString html = QString::fromUtf8(*bytes);
        EXPECT_TRUE(html.contains(QStringLiteral("charset=utf-8"))) << page.toStdString();
        for (auto match = reference.globalMatch(html); match.hasNext();) {
            const QUrl url =
                QUrl(QStringLiteral("chm:/") + page).resolved(QUrl(match.next().captured(1)));
            if (url.scheme() != QLatin1String("chm")) {
                continue;
            }
            EXPECT_TRUE(file->contains(url.path()))
                << page.toStdString() << " -> " << url.toString().toStdString();
        }
    }
}

TEST_F(BreloChm, IndexPagesExistAndTheSystemRecordsNameTheFiles) {
    const auto file = ChmFile::open(breloChm());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->contentsFile(), QStringLiteral("contenido.hhc"));
    EXPECT_EQ(file->indexFile(), QStringLiteral("indice.hhk"));
    EXPECT_EQ(file->defaultTopic(), QStringLiteral("presentacion.htm"));
    EXPECT_EQ(file->title(), QStringLiteral("Ayuda de TransDorimoBrelo"));
    const auto index = parseSitemap(file->read(file->indexFile()).value_or(QByteArray()));
    ASSERT_GT(index.size(), 20u);
    for (const auto& keyword : index) {
        const QString page = keyword.local.section(QLatin1Char('#'), 0, 0);
        EXPECT_TRUE(file->contains(page)) << keyword.name.toStdString();
    }
}

TEST(ChmHelpEngine, MissingUnreadableOrDamagedFileShowsNothing) {
    test::TempDir dir;
    test::writeFile(dir / "texto.chm", "esto no es un archivo de ayuda compilado\n");
    test::writeFile(dir / "vacio.chm", "");
    // A real file cut short: its header promises directory blocks that are not there.
    const std::string whole = test::readFile(breloChm().toStdString());
    test::writeFile(dir / "cortado.chm", whole.substr(0, whole.size() / 3));
    std::string scrambled = whole;
    for (std::size_t i = 0x60; i < scrambled.size(); i += 7) {
        scrambled[i] = static_cast<char>(scrambled[i] ^ 0x5A);
    }
    test::writeFile(dir / "revuelto.chm", scrambled);
    fs::create_directory(dir / "carpeta.chm");

    ChmHelpEngine engine;
    for (const char* name : {"no-existe.chm", "texto.chm", "vacio.chm", "carpeta.chm"}) {
        for (int command : {HH_DISPLAY_TOC, HH_DISPLAY_TOPIC, HH_DISPLAY_INDEX, HH_HELP_CONTEXT}) {
            engine.call(nullptr, qpath(dir / name), command, QStringLiteral("3"));
            EXPECT_TRUE(engine.windows().empty()) << name << " " << command;
        }
    }
    engine.call(nullptr, QString(), HH_DISPLAY_TOC, QString());
    engine.call(nullptr, breloChm(), 7, QString()); // a command the engine does not know
    EXPECT_TRUE(engine.windows().empty());

    // Damaged inside: whatever opens must answer without crashing.
    for (const char* name : {"cortado.chm", "revuelto.chm"}) {
        for (int command : {HH_DISPLAY_TOC, HH_DISPLAY_INDEX, HH_HELP_CONTEXT, HH_DISPLAY_TOPIC}) {
            engine.call(nullptr, qpath(dir / name) + "::/tablas.htm", command, QStringLiteral("3"));
        }
        for (HelpWindow* window : engine.windows()) {
            (void)window->pageText();
            (void)window->contentsTopics();
        }
    }
    engine.call(nullptr, QString(), HH_CLOSE_ALL, QString());
    processDeferredDeletes();
}

// A small help project compiled here, with one page name at two depths: the context map holds
// this machine's absolute paths and must lead to the deeper page, not the one of the same name.
class CompiledFixture : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir / "proyecto" / "sub");
        test::writeFile(
            dir / "proyecto" / "p.hhp",
            "[OPTIONS]\nCompiled file=" + (dir / "proyecto" / "p.chm").string() +
                "\nContents file=t.hhc\n"
                "Default topic=raiz.htm\nTitle=Prueba\n\n[FILES]\nraiz.htm\npagina.htm\n"
                "sub/"
                "pagina.htm\nwindows.htm\nlatin1.htm\n\n[ALIAS]\nIDH_RAIZ=raiz.htm\nIDH_SUB=sub/"
                "pagina.htm\n"
                "IDH_PAG=pagina.htm\n\n[MAP]\n#define IDH_RAIZ 3\n#define IDH_SUB 7\n"
                "#define IDH_PAG 8\n");
        test::writeFile(
            dir / "proyecto" / "raiz.htm",
            "<html><body><h1>Raiz</h1><a href=\"sub/pagina.htm\">sub</a></body></html>");
        test::writeFile(dir / "proyecto" / "pagina.htm",
                        "<html><body><h1>Arriba</h1></body></html>");
        test::writeFile(dir / "proyecto" / "sub" / "pagina.htm",
                        "<html><body><h1>Abajo</h1></body></html>");
        // Pages of other encodings: one declared Windows-1252 (ellipsis and euro sign), one
        // undeclared and not UTF-8.
        test::writeFile(
            dir / "proyecto" / "windows.htm",
            "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
            "charset=windows-1252\"></head><body>Espere\x85 10 \x80, \xF1</body></html>");
        test::writeFile(dir / "proyecto" / "latin1.htm", "<html><body>Espa\xF1\x61</body></html>");
        test::writeFile(dir / "proyecto" / "t.hhc",
                        "<ul><li><object type=\"text/sitemap\"><param name=\"Name\" value=\"Raiz\">"
                        "<param name=\"Local\" value=\"raiz.htm\"></object></ul>");
        const auto result =
            test::runProcess({"/usr/bin/chmcmd", (dir / "proyecto" / "p.hhp").string()});
        ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
        file = ChmFile::open(qpath(dir / "proyecto" / "p.chm"));
        ASSERT_NE(file, nullptr);
    }

    test::TempDir dir;
    std::unique_ptr<ChmFile> file;
};

TEST_F(CompiledFixture, ContextMapLeadsToTheLongestTrailingPartOfTheStoredPath) {
    EXPECT_EQ(file->topicOfContext(3), QStringLiteral("raiz.htm"));
    EXPECT_EQ(file->topicOfContext(7), QStringLiteral("sub/pagina.htm"));
    EXPECT_EQ(file->topicOfContext(8), QStringLiteral("pagina.htm"));
    EXPECT_EQ(file->topicOfContext(4), std::nullopt);
}

TEST_F(CompiledFixture, StoredPathsResolveInsideTheFile) {
    const struct {
        const char* stored;
        std::optional<QString> found;
    } cases[] = {
        {"/home/otra/maquina/proyecto/sub/pagina.htm", QStringLiteral("sub/pagina.htm")},
        {"C:\\Proyectos\\ayuda\\sub\\pagina.htm", QStringLiteral("sub/pagina.htm")},
        {"C:\\Proyectos\\ayuda\\pagina.htm", QStringLiteral("pagina.htm")},
        {"/x/SUB/PAGINA.HTM", QStringLiteral("sub/pagina.htm")},
        {"raiz.htm", QStringLiteral("raiz.htm")},
        {"/x/otra/nada.htm", std::nullopt},
        {"/", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(file->resolveStoredPath(QString::fromUtf8(c.stored)), c.found) << c.stored;
    }
}

TEST_F(CompiledFixture, EngineFollowsTheContextAndALinkIntoASubfolder) {
    ChmHelpEngine engine;
    engine.call(nullptr, file->fileName(), HH_HELP_CONTEXT, QStringLiteral("7"));
    ASSERT_EQ(engine.windows().size(), 1u);
    HelpWindow* window = engine.windows().front();
    EXPECT_EQ(window->currentTopic(), QStringLiteral("sub/pagina.htm"));
    EXPECT_TRUE(window->pageText().contains(QStringLiteral("Abajo")));
    EXPECT_EQ(window->contentsTopics(), QStringList{QStringLiteral("raiz.htm")});
    engine.call(nullptr, file->fileName() + "::/windows.htm", HH_DISPLAY_TOPIC, QString());
    EXPECT_TRUE(window->pageText().contains(QStringLiteral("Espere\u2026 10 \u20ac, \u00f1")))
        << window->pageText().toStdString();
    engine.call(nullptr, file->fileName() + "::/latin1.htm", HH_DISPLAY_TOPIC, QString());
    EXPECT_TRUE(window->pageText().contains(QStringLiteral("Espa\u00f1a")));
    // No index in this file: the index tab is empty and a keyword selects nothing.
    engine.call(nullptr, file->fileName(), HH_DISPLAY_INDEX, QStringLiteral("Raiz"));
    EXPECT_EQ(window->selectedKeyword(), QString());
    EXPECT_EQ(window->currentTopic(), QStringLiteral("latin1.htm"));
    engine.call(nullptr, QString(), HH_CLOSE_ALL, QString());
    processDeferredDeletes();
}

} // namespace
} // namespace tdb::help
