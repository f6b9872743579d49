#include "help/application_help.h"
#include "help/help_system.h"
#include "help/zeb_html_help.h"
#include "qt_printing.h"
#include "recording_engine.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace tdb::help {
namespace {

using test::EngineCall;
using test::RecordingEngine;
using ZebHtmlHelp::TZebHtmlHelpViewer;
using ZebHtmlHelp::TZebWinHelpTester;

const QString programDir = QStringLiteral("/opt/escuela/transdorimobrelo/");
const QString breloChm = programDir + QStringLiteral("BRELO.chm");

// The program folder and the application help file as a test sets them, put back afterwards.
class HelpEnvironment : public ::testing::Test {
protected:
    void SetUp() override {
        setProgramDirectory(programDir);
        setApplicationHelpFile(QStringLiteral("BRELO.chm"));
    }
    void TearDown() override {
        setProgramDirectory(QString());
        setApplicationHelpFile(QStringLiteral("BRELO.chm"));
    }
};

// A help manager that answers with a fixed file and window.
class FixedManager final : public HelpManager {
public:
    QString file;
    QWidget* window = nullptr;
    std::vector<int> released;

    QString helpFile() const override { return file; }
    QWidget* handle() const override { return window; }
    void release(int viewerId) override { released.push_back(viewerId); }
};

struct ViewerFixture {
    std::shared_ptr<std::vector<EngineCall>> log = std::make_shared<std::vector<EngineCall>>();
    FixedManager manager;
    TZebHtmlHelpViewer viewer{std::make_unique<RecordingEngine>(log)};

    explicit ViewerFixture(const QString& managerFile) {
        manager.file = managerFile;
        viewer.setManager(&manager);
    }
};

// --- the viewer's own rules ---

TEST(ZebHtmlHelpRules, ChmTestLooksAtTheLastDotIgnoringAsciiCase) {
    const struct {
        const char* name;
        bool chm;
    } cases[] = {
        {"BRELO.chm", true},
        {"BRELO.CHM", true},
        {"ayuda.ChM", true},
        {"/opt/a.b/BRELO.chm", true},
        {".chm", true},
        {"BRELO", false},
        {"", false},
        {"BRELO.chm.bak", false},
        {"BRELO.chmx", false},
        {"BRELO.hlp", false},
        {"carpeta.chm/BRELO", false},
        {"BRELO.ch", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ZebHtmlHelp::isChmFile(QString::fromUtf8(c.name)), c.chm) << c.name;
    }
    // Only A to Z fold: a look-alike letter of another script is no letter of the extension.
    EXPECT_FALSE(ZebHtmlHelp::isChmFile(QStringLiteral("BRELO.\u0421HM"))); // Cyrillic Es
}

TEST_F(HelpEnvironment, ResolvedHelpFileTakesManagerThenApplicationAndAddsProgramFolder) {
    const struct {
        const char* managerFile;
        const char* applicationFile;
        QString expected;
    } cases[] = {
        {"", "BRELO.chm", breloChm},
        {"otra.chm", "BRELO.chm", programDir + "otra.chm"},
        {"/srv/ayuda/otra.chm", "BRELO.chm", QStringLiteral("/srv/ayuda/otra.chm")},
        {"ayuda/otra.chm", "BRELO.chm", QStringLiteral("ayuda/otra.chm")},
        {"", "", QString()},
        {"", "manual.hlp", programDir + "manual.hlp"},
    };
    for (const auto& c : cases) {
        setApplicationHelpFile(QString::fromUtf8(c.applicationFile));
        ViewerFixture f(QString::fromUtf8(c.managerFile));
        EXPECT_EQ(f.viewer.resolvedHelpFile(), c.expected)
            << c.managerFile << " / " << c.applicationFile;
    }
}

TEST_F(HelpEnvironment, ActiveFormsOwnHelpFileComesBeforeTheApplications) {
    QWidget form;
    QWidget button(&form);
    ViewerFixture f{QString()};
    f.manager.window = &button;
    EXPECT_EQ(f.viewer.resolvedHelpFile(), breloChm);
    form.setProperty("helpFile", QStringLiteral("propia.chm"));
    EXPECT_EQ(f.viewer.resolvedHelpFile(), programDir + "propia.chm");
}

TEST_F(HelpEnvironment, TopicUrlKeepsHtmlPagesAndAddsHtmToTheRest) {
    const struct {
        const char* topic;
        const char* page;
    } cases[] = {
        {"intro", "intro.htm"},
        {"Start.HTML", "Start.HTML"},
        {"notes.txt", "notes.txt.htm"},
        {"exportar.htm", "exportar.htm"},
        {"sub/Tablas.HtM", "sub/Tablas.HtM"},
        {"v1.2/leeme", "v1.2/leeme.htm"},
        {"pagina.html5", "pagina.html5.htm"},
        {"", ".htm"},
    };
    ViewerFixture f{QString()};
    for (const auto& c : cases) {
        EXPECT_EQ(f.viewer.topicUrl(QString::fromUtf8(c.topic)),
                  breloChm + "::/" + QString::fromUtf8(c.page))
            << c.topic;
    }
}

TEST(ZebHtmlHelpRules, KeywordIsTheEntryAfterItsFirstColonTrimmed) {
    const struct {
        const char* entry;
        const char* keyword;
    } cases[] = {
        {"ZebHtmlHelp: exportar", "exportar"},
        {"ZebHtmlHelp:\t carpeta de datos \r\n", "carpeta de datos"},
        {"ZebHtmlHelp: C:\\VTEMP", "C:\\VTEMP"},
        {"a: b: c", "b: c"},
        {"sin dos puntos", "sin dos puntos"},
        {"  sin dos puntos\t", "sin dos puntos"},
        {"ZebHtmlHelp:", ""},
        {":", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TZebHtmlHelpViewer::keywordOfEntry(QString::fromUtf8(c.entry)),
                  QString::fromUtf8(c.keyword))
            << c.entry;
    }
    // Only blanks and control characters go, not other white space such as a no-break space.
    EXPECT_EQ(TZebHtmlHelpViewer::keywordOfEntry(QStringLiteral("x:\u00a0SOLUC\u00a0")),
              QStringLiteral("\u00a0SOLUC\u00a0"));
}

// --- the fifteen operations ---

TEST_F(HelpEnvironment, ViewerAnswers) {
    ViewerFixture chm{QString()};
    ViewerFixture hlp(QStringLiteral("manual.hlp"));

    EXPECT_EQ(chm.viewer.viewerName(), QStringLiteral("ZebHtmlHelp"));
    EXPECT_EQ(chm.viewer.understandsKeyword(QStringLiteral("exportar")), 1);
    EXPECT_EQ(hlp.viewer.understandsKeyword(QStringLiteral("exportar")), 0);
    EXPECT_EQ(chm.viewer.helpStrings(QStringLiteral("tablas")),
              QStringList{QStringLiteral("ZebHtmlHelp: tablas")});
    EXPECT_EQ(chm.viewer.helpStrings(QStringLiteral("%1 %s")),
              QStringList{QStringLiteral("ZebHtmlHelp: %1 %s")});
    EXPECT_TRUE(chm.viewer.canShowTableOfContents());
    EXPECT_TRUE(hlp.viewer.canShowTableOfContents());
    EXPECT_TRUE(chm.viewer.understandsTopic(QStringLiteral("intro")));
    EXPECT_FALSE(hlp.viewer.understandsTopic(QStringLiteral("intro")));
    // The context test looks at the given file, not at the resolved one.
    EXPECT_TRUE(hlp.viewer.understandsContext(3, QStringLiteral("BRELO.chm")));
    EXPECT_FALSE(chm.viewer.understandsContext(3, QStringLiteral("BRELO.hlp")));
    EXPECT_FALSE(chm.viewer.understandsContext(3, QString()));

    chm.viewer.notifyId(42);
    EXPECT_EQ(chm.viewer.viewerId(), 42);
}

TEST(ZebHtmlHelpSelector, SelectKeywordPicksTheFirstEntryOfThisViewer) {
    const struct {
        QStringList entries;
        int index;
    } cases[] = {
        {{"ZebHtmlHelp: exportar", "WinHelp: exportar"}, 0},
        {{"WinHelp: exportar", "ZebHtmlHelp: exportar"}, 1},
        {{"Otro: a", "WinHelp: a", "ZebHtmlHelp:a", "ZebHtmlHelp: b"}, 2},
        {{"ZebHtmlHelpX: a", "zebhtmlhelp: a", "ZebHtmlHelp: a"}, 2},
        {{"WinHelp: a", "zebhtmlhelp: a"}, 0},
        {{"ZebHtmlHelp"}, 0},
        {{"WinHelp: a", "ZebHtmlHelp"}, 1},
        {{}, 0},
    };
    TZebHtmlHelpViewer viewer(nullptr);
    for (const auto& c : cases) {
        EXPECT_EQ(viewer.selectKeyword(c.entries), c.index) << c.entries.join('|').toStdString();
    }
}

TEST(ZebHtmlHelpSelector, TableOfContentsIsThePositionOfTheViewerName) {
    TZebHtmlHelpViewer viewer(nullptr);
    EXPECT_EQ(viewer.tableOfContents({"WinHelp", "ZebHtmlHelp"}), 1);
    EXPECT_EQ(viewer.tableOfContents({"ZebHtmlHelp", "WinHelp"}), 0);
    EXPECT_EQ(viewer.tableOfContents({"Otro", "WinHelp", "ZebHtmlHelp"}), 2);
    EXPECT_EQ(viewer.tableOfContents({"WinHelp"}), -1);
}

TEST_F(HelpEnvironment, ViewerSendsTheEngineItsCommands) {
    QWidget window;
    const struct {
        const char* what;
        const char* managerFile;
        std::function<void(TZebHtmlHelpViewer&)> operation;
        std::optional<EngineCall> expected;
    } cases[] = {
        {"contents", "", [](auto& v) { v.showTableOfContents(); },
         EngineCall{&window, breloChm, HH_DISPLAY_TOC, QString()}},
        {"contents of a WinHelp file", "manual.hlp", [](auto& v) { v.showTableOfContents(); },
         std::nullopt},
        {"keyword entry", "", [](auto& v) { v.showHelp(QStringLiteral("ZebHtmlHelp: exportar")); },
         EngineCall{&window, breloChm, HH_DISPLAY_INDEX, QStringLiteral("exportar")}},
        {"keyword of a WinHelp file", "manual.hlp",
         [](auto& v) { v.showHelp(QStringLiteral("ZebHtmlHelp: exportar")); }, std::nullopt},
        {"topic", "", [](auto& v) { v.displayTopic(QStringLiteral("intro")); },
         EngineCall{&window, breloChm + "::/intro.htm", HH_DISPLAY_TOPIC, QString()}},
        {"topic of a WinHelp file", "manual.hlp",
         [](auto& v) { v.displayTopic(QStringLiteral("intro")); }, std::nullopt},
        // The context goes to the resolved file, whatever file the request named.
        {"context", "", [](auto& v) { v.displayHelpByContext(3, QStringLiteral("otro.hlp")); },
         EngineCall{&window, breloChm, HH_HELP_CONTEXT, QStringLiteral("3")}},
        {"context of another help file", "/srv/otra.chm",
         [](auto& v) { v.displayHelpByContext(90, QStringLiteral("BRELO.chm")); },
         EngineCall{&window, QStringLiteral("/srv/otra.chm"), HH_HELP_CONTEXT,
                    QStringLiteral("90")}},
        {"context of a WinHelp file", "manual.hlp",
         [](auto& v) { v.displayHelpByContext(3, QStringLiteral("BRELO.chm")); }, std::nullopt},
        // Closing needs no file and no window.
        {"soft shut-down", "manual.hlp", [](auto& v) { v.softShutDown(); },
         EngineCall{nullptr, QString(), HH_CLOSE_ALL, QString()}},
        {"shut-down", "", [](auto& v) { v.shutDown(); },
         EngineCall{nullptr, QString(), HH_CLOSE_ALL, QString()}},
    };
    for (const auto& c : cases) {
        ViewerFixture f(QString::fromUtf8(c.managerFile));
        f.manager.window = &window;
        c.operation(f.viewer);
        if (c.expected) {
            ASSERT_EQ(f.log->size(), 1u) << c.what;
            EXPECT_EQ(f.log->front(), *c.expected) << c.what;
        } else {
            EXPECT_TRUE(f.log->empty()) << c.what;
        }
    }
}

TEST_F(HelpEnvironment, ShutDownDropsTheManagerAndAViewerWithoutEngineShowsNothing) {
    ViewerFixture f{QString()};
    f.viewer.shutDown();
    EXPECT_EQ(f.viewer.manager(), nullptr);

    // Without the engine (library or entry point missing) every request passes silently.
    TZebHtmlHelpViewer bare(nullptr);
    bare.setManager(&f.manager);
    EXPECT_EQ(bare.understandsKeyword(QStringLiteral("x")), 1);
    bare.showTableOfContents();
    bare.showHelp(QStringLiteral("ZebHtmlHelp: x"));
    bare.displayTopic(QStringLiteral("x"));
    bare.displayHelpByContext(3, QStringLiteral("BRELO.chm"));
    bare.shutDown();
    EXPECT_EQ(f.log->size(), 1u); // only the first viewer's close
}

TEST(ZebWinHelpTester, DeclinesEverything) {
    TZebWinHelpTester tester;
    EXPECT_FALSE(tester.canShowALink(QStringLiteral("exportar"), QStringLiteral("BRELO.hlp")));
    EXPECT_FALSE(tester.canShowTopic(QStringLiteral("intro"), QStringLiteral("BRELO.hlp")));
    EXPECT_FALSE(tester.canShowContext(3, QStringLiteral("BRELO.hlp")));
    EXPECT_EQ(tester.helpStrings(QStringLiteral("enlace")),
              QStringList{QStringLiteral(": enlace")});
    EXPECT_EQ(tester.helpPath(), QString());
    EXPECT_EQ(tester.defaultHelpFile(), QString());
}

// --- routing through the help system ---

// A third viewer that claims every request, to show that the selector and the order decide.
class GreedyViewer final : public ExtendedHelpViewer {
public:
    QStringList shown;
    QString viewerName() override { return QStringLiteral("Otro"); }
    int understandsKeyword(const QString&) override { return 1; }
    QStringList helpStrings(const QString& keyword) override { return {"Otro: " + keyword}; }
    bool canShowTableOfContents() override { return true; }
    void showTableOfContents() override { shown.append("contents"); }
    void showHelp(const QString& entry) override { shown.append("keyword " + entry); }
    void notifyId(int) override {}
    void softShutDown() override {}
    void shutDown() override {}
    bool understandsTopic(const QString&) override { return true; }
    void displayTopic(const QString& topic) override { shown.append("topic " + topic); }
    bool understandsContext(int, const QString&) override { return true; }
    void displayHelpByContext(int id, const QString&) override {
        shown.append("context " + QString::number(id));
    }
};

// The help system as the program sets it up: the WinHelp viewer registered first, then the
// module's viewer, its selector and its tester.
class Routing : public HelpEnvironment {
protected:
    void SetUp() override {
        HelpEnvironment::SetUp();
        winHelp->setManager(&system->registerViewer(winHelp));
        ZebHtmlHelp::initialize(*system, *winHelp, std::make_unique<RecordingEngine>(log));
    }
    void TearDown() override {
        ZebHtmlHelp::finalize();
        system.reset();
        HelpEnvironment::TearDown();
    }

    std::shared_ptr<std::vector<EngineCall>> log = std::make_shared<std::vector<EngineCall>>();
    std::unique_ptr<HelpSystem> system = std::make_unique<HelpSystem>();
    std::shared_ptr<WinHelpViewer> winHelp = std::make_shared<WinHelpViewer>();
};

TEST_F(Routing, EachRequestEndsWithTheChmViewerAndTheWinHelpViewerShowsNothing) {
    QWidget window;
    const struct {
        const char* what;
        std::function<bool(HelpSystem&)> request;
        EngineCall expected;
    } cases[] = {
        {"help button",
         [&](HelpSystem& s) { return s.helpCommand(&window, HELP_CONTENTS, 0, {}); },
         {&window, breloChm, HH_DISPLAY_TOC, QString()}},
        {"F1",
         [&](HelpSystem& s) { return s.showContextHelp(&window, 3, "BRELO.chm"); },
         {&window, breloChm, HH_HELP_CONTEXT, QStringLiteral("3")}},
        {"WinHelp context command",
         [&](HelpSystem& s) { return s.helpCommand(&window, HELP_CONTEXT, 10, "BRELO.chm"); },
         {&window, breloChm, HH_HELP_CONTEXT, QStringLiteral("10")}},
        {"keyword",
         [&](HelpSystem& s) { return s.showHelp(&window, "Vestrano.ini", {}); },
         {&window, breloChm, HH_DISPLAY_INDEX, QStringLiteral("Vestrano.ini")}},
        {"topic",
         [&](HelpSystem& s) { return s.showTopicHelp(&window, "tablas", {}); },
         {&window, breloChm + "::/tablas.htm", HH_DISPLAY_TOPIC, QString()}},
    };
    ASSERT_NE(winHelp->tester(), nullptr);
    for (const auto& c : cases) {
        log->clear();
        EXPECT_TRUE(c.request(*system)) << c.what;
        ASSERT_EQ(log->size(), 1u) << c.what;
        EXPECT_EQ(log->front(), c.expected) << c.what;
        EXPECT_EQ(winHelp->lastShown(), QString()) << c.what;
    }
}

TEST_F(Routing, WithoutTheTesterTheWinHelpViewerTakesWhatComesFirst) {
    winHelp->setTester(nullptr);
    // A WinHelp file: the WinHelp viewer is offered the context first and takes it.
    EXPECT_TRUE(system->showContextHelp(nullptr, 3, QStringLiteral("BRELO.hlp")));
    EXPECT_EQ(winHelp->lastShown(), QStringLiteral("context 3"));
    EXPECT_TRUE(log->empty());
    // A .chm file: the WinHelp stand-in has no use for it and the .chm viewer answers.
    EXPECT_TRUE(system->showContextHelp(nullptr, 3, QStringLiteral("BRELO.chm")));
    ASSERT_EQ(log->size(), 1u);
    EXPECT_EQ(log->front().command, HH_HELP_CONTEXT);
}

TEST_F(Routing, SelectorChoosesTheChmViewerAmongSeveral) {
    auto greedy = std::make_shared<GreedyViewer>();
    system->registerViewer(greedy);

    // Sorted names "Otro", "WinHelp", "ZebHtmlHelp": the selector answers 2.
    EXPECT_TRUE(system->showTableOfContents(nullptr));
    // Entries "Otro: SOLUC" and "ZebHtmlHelp: SOLUC": the selector answers 1.
    EXPECT_TRUE(system->showHelp(nullptr, QStringLiteral("SOLUC"), QString()));
    EXPECT_TRUE(greedy->shown.isEmpty());
    ASSERT_EQ(log->size(), 2u);
    EXPECT_EQ((*log)[0].command, HH_DISPLAY_TOC);
    EXPECT_EQ((*log)[1], (EngineCall{nullptr, breloChm, HH_DISPLAY_INDEX, "SOLUC"}));

    // Topics and contexts go to the first viewer in registration order that takes them.
    EXPECT_TRUE(system->showContextHelp(nullptr, 3, QStringLiteral("BRELO.chm")));
    EXPECT_EQ(log->size(), 3u);
    EXPECT_TRUE(greedy->shown.isEmpty());
}

TEST_F(Routing, NonChmFileIsDeclinedEverywhere) {
    setApplicationHelpFile(QStringLiteral("BRELO.txt"));
    EXPECT_FALSE(system->showContextHelp(nullptr, 3, QStringLiteral("BRELO.txt")));
    EXPECT_FALSE(system->showHelp(nullptr, QStringLiteral("exportar"), QString()));
    EXPECT_FALSE(system->showTopicHelp(nullptr, QStringLiteral("intro"), QString()));
    // The contents request is taken (both viewers can show contents) but shows nothing.
    EXPECT_TRUE(system->showTableOfContents(nullptr));
    EXPECT_TRUE(log->empty());
}

TEST_F(Routing, ModuleEndReleasesTheViewerId) {
    auto* viewer = ZebHtmlHelp::HtmlHelpViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->manager(), system.get());
    EXPECT_EQ(system->viewerCount(), 2u);

    ZebHtmlHelp::finalize();
    EXPECT_EQ(system->viewerCount(), 1u);
    // Registered no more, the viewer is out of the routing: the WinHelp viewer alone answers.
    log->clear();
    EXPECT_TRUE(system->showTableOfContents(nullptr));
    EXPECT_EQ(winHelp->lastShown(), QStringLiteral("contents"));
    EXPECT_TRUE(log->empty());
    // The help system held it as its selector; with the system gone the module reference clears.
    system.reset();
    EXPECT_EQ(ZebHtmlHelp::HtmlHelpViewer(), nullptr);
}

// --- what the main window calls ---

TEST_F(HelpEnvironment, ApplicationHelpCallsReachTheEngine) {
    auto log = std::make_shared<std::vector<EngineCall>>();
    install();
    setEngine(std::make_unique<RecordingEngine>(log));
    QWidget window;

    showContents(&window);
    showContext(&window, 3);
    ASSERT_EQ(log->size(), 2u);
    EXPECT_EQ((*log)[0], (EngineCall{&window, breloChm, HH_DISPLAY_TOC, QString()}));
    EXPECT_EQ((*log)[1], (EngineCall{&window, breloChm, HH_HELP_CONTEXT, QStringLiteral("3")}));

    // At the end of the program the help windows close.
    uninstall();
    ASSERT_EQ(log->size(), 3u);
    EXPECT_EQ((*log)[2].command, HH_CLOSE_ALL);
    EXPECT_EQ(ZebHtmlHelp::HtmlHelpViewer(), nullptr);
}

TEST_F(HelpEnvironment, EngineSetBeforeInstallIsTheOneUsed) {
    auto log = std::make_shared<std::vector<EngineCall>>();
    setEngine(std::make_unique<RecordingEngine>(log));
    // The first request installs the help system when the program did not.
    showContext(nullptr, 3);
    ASSERT_EQ(log->size(), 1u);
    EXPECT_EQ(log->front(), (EngineCall{nullptr, breloChm, HH_HELP_CONTEXT, QStringLiteral("3")}));

    // Replacing the engine hands back the previous one, still working.
    auto previous = setEngine(nullptr);
    ASSERT_NE(previous, nullptr);
    previous->call(nullptr, QStringLiteral("x.chm"), HH_DISPLAY_TOC, QString());
    EXPECT_EQ(log->size(), 2u);
    showContents(nullptr);
    EXPECT_EQ(log->size(), 2u);
    uninstall();
}

} // namespace
} // namespace tdb::help
