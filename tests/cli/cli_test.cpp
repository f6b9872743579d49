#include "cli/cli_options.h"
#include "services/cp1252.h"
#include "services/file_lock.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace tdb::test {
namespace {

namespace fs = std::filesystem;
using cli::Parsed;

struct ParseCase {
    std::vector<std::string> args;
    Parsed::Kind kind;
    cli::Command command = cli::Command::Exportar;
    std::string file;
    std::string dataDir;
};

TEST(CommandLine, ParsesTheContract) {
    const std::vector<ParseCase> cases = {
        {{"exportar", "a.xml"}, Parsed::Kind::Run, cli::Command::Exportar, "a.xml", ""},
        {{"ImPoRtAr", "a.xml"}, Parsed::Kind::Run, cli::Command::Importar, "a.xml", ""},
        {{"--data-dir", "/d", "EXPORTAR", "b.xml"},
         Parsed::Kind::Run,
         cli::Command::Exportar,
         "b.xml",
         "/d"},
        {{"--data-dir=/e", "importar", "-raro.xml"},
         Parsed::Kind::Run,
         cli::Command::Importar,
         "-raro.xml",
         "/e"},
        {{"--help"}, Parsed::Kind::Help, cli::Command::Exportar, "", ""},
        {{"exportar", "a.xml", "--help"}, Parsed::Kind::Help, cli::Command::Exportar, "", ""},
        {{}, Parsed::Kind::UsageError, cli::Command::Exportar, "", ""},
        {{"exportar"}, Parsed::Kind::UsageError, cli::Command::Exportar, "", ""},
        {{"exportar ", "a.xml"}, Parsed::Kind::UsageError, cli::Command::Exportar, "", ""},
        {{"exportar", "a.xml", "b.xml"}, Parsed::Kind::UsageError, cli::Command::Exportar, "", ""},
        {{"convertir", "a.xml"}, Parsed::Kind::UsageError, cli::Command::Exportar, "", ""},
        {{"EXPORTAŔ", "a.xml"}, Parsed::Kind::UsageError, cli::Command::Exportar, "", ""},
        {{"--data-dir"}, Parsed::Kind::UsageError, cli::Command::Exportar, "", ""},
        {{"--verbose", "exportar", "a.xml"},
         Parsed::Kind::UsageError,
         cli::Command::Exportar,
         "",
         ""},
    };
    for (const auto& c : cases) {
        const auto parsed = cli::parseCommandLine(c.args);
        std::string shown;
        for (const auto& a : c.args) {
            shown += "[" + a + "]";
        }
        ASSERT_EQ(parsed.kind, c.kind) << shown;
        if (c.kind == Parsed::Kind::Run) {
            EXPECT_EQ(parsed.options.command, c.command) << shown;
            EXPECT_EQ(parsed.options.file, c.file) << shown;
            EXPECT_EQ(parsed.options.dataDir.value_or("").string(), c.dataDir) << shown;
        }
        if (c.kind == Parsed::Kind::UsageError) {
            EXPECT_FALSE(parsed.error.empty()) << shown;
        }
    }
}

class CliRun : public ::testing::Test {
protected:
    TempDir dir;
    fs::path data = dir / "VTEMP";
    std::string cli = (binaryDir() / "src" / "cli" / "transdorimobrelo-cli").string();
    std::string sample = (sourceDir() / "samples" / "colegio.xml").string();

    void SetUp() override { fs::create_directory(data); }
    ProcessResult run(std::vector<std::string> args, std::vector<std::string> env = {}) {
        args.insert(args.begin(), cli);
        env.push_back("HOME=" + (dir / "home").string());
        return runProcess(args, env);
    }
};

TEST_F(CliRun, ExitStatusesAndMessages) {
    writeFile(dir / "roto.xml", "<SERVICIO><SALIDAS></SERVICIO>");
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string out;
        std::string errPart;
    };
    const std::vector<Case> cases = {
        {{"--data-dir", data.string(), "EXPORTAR", sample}, 0, "Proceso finalizado\n", ""},
        {{"--data-dir", data.string(), "exportar", (dir / "falta.xml").string()},
         1,
         "",
         "No existe archivo"},
        {{"--data-dir", data.string(), "exportar", (dir / "roto.xml").string()}, 2, "", "roto.xml"},
        {{"--data-dir", (dir / "no-hay").string(), "exportar", sample}, 2, "", "no-hay"},
        {{"exportar ", sample}, 64, "", "Uso:"},
        {{"borrar", sample}, 64, "", "Uso:"},
        {{}, 64, "", "Uso:"},
    };
    for (const auto& c : cases) {
        auto result = run(c.args);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
        EXPECT_EQ(result.out, c.out) << result.err;
        EXPECT_NE(result.err.find(c.errPart), std::string::npos) << result.err;
    }
    auto help = run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("exportar|importar"), std::string::npos);
}

// Without --data-dir: $VTEMP, else $WINEPREFIX/drive_c/VTEMP, else ~/.wine/drive_c/VTEMP.
TEST_F(CliRun, FindsTheDataFolder) {
    const fs::path prefixData = dir / "prefix" / "drive_c" / "VTEMP";
    const fs::path homeData = dir / "home" / ".wine" / "drive_c" / "VTEMP";
    fs::create_directories(prefixData);
    fs::create_directories(homeData);
    struct Case {
        std::vector<std::string> env;
        fs::path expected;
    };
    for (const auto& c :
         {Case{{"VTEMP=" + data.string(), "WINEPREFIX=" + (dir / "prefix").string()}, data},
          Case{{"VTEMP=", "WINEPREFIX=" + (dir / "prefix").string()}, prefixData},
          Case{{"VTEMP=", "WINEPREFIX="}, homeData}}) {
        auto result = run({"exportar", sample}, c.env);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_TRUE(fs::exists(c.expected / "PROFT.DBF")) << c.expected;
        fs::remove(c.expected / "PROFT.DBF");
    }
}

std::vector<std::pair<std::string, std::string>> filesOf(const fs::path& folder) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        files.emplace_back(entry.path().filename().string(),
                           entry.is_regular_file() ? readFile(entry.path()) : "<dir>");
    }
    std::sort(files.begin(), files.end());
    return files;
}

// A failed export, whatever stops it, leaves the tables of an earlier export byte for byte.
TEST_F(CliRun, FailureKeepsTheEarlierTables) {
    ASSERT_EQ(run({"--data-dir", data.string(), "exportar", sample}).exitCode, 0);
    const auto before = filesOf(data);

    std::string bad = readFile(sample);
    bad.replace(bad.find(">240<"), 5, ">4h<");
    writeFile(dir / "malo.xml", bad);
    auto result = run({"--data-dir", data.string(), "exportar", (dir / "malo.xml").string()});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("\"4h\""), std::string::npos) << result.err;
    EXPECT_EQ(filesOf(data), before);

    // Another program holds one of the tables.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        auto lock = FileLock::tryAcquire(data / "AULAT.DBF");
        char ok = lock ? '1' : '0';
        if (write(ready[1], &ok, 1) != 1) {
            _exit(1);
        }
        pause();
        _exit(0);
    }
    char ok = '0';
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');
    result = run({"--data-dir", data.string(), "exportar", sample});
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("AULAT"), std::string::npos) << result.err;
    EXPECT_EQ(filesOf(data), before);
}

// The tables of the sample open in an independent reader with the expected values.
TEST_F(CliRun, SampleTablesReadInDbfread) {
    ASSERT_EQ(run({"--data-dir", data.string(), "exportar", sample}).exitCode, 0);
    const std::string script = R"(
import sys
from dbfread import DBF
d = sys.argv[1]
for name in ["ASIGNOMT", "ASIGNOMT2", "PROFT", "AULAT", "CURSOST", "GRUPOST", "ASIGT", "DIASHORAST"]:
    print(name, len(DBF(d + "/" + name + ".DBF", encoding="cp1252", load=True)))
t = DBF(d + "/PROFT.DBF", encoding="cp1252", load=True)
print(t.records[0]["NOMBRE"], t.records[0]["DNI"])
a = DBF(d + "/ASIGT.DBF", encoding="cp1252", load=True)
print(a.records[0]["CASIG"], a.records[0]["HORAS"], a.records[0]["SESIONES"])
h = DBF(d + "/DIASHORAST.DBF", encoding="cp1252", load=True)
print(h.records[0]["DIHO"], h.records[0]["HORADESDE"], h.records[0]["MINUTOS"])
)";
    writeFile(dir / "read.py", script);
    auto result = runProcess({systemPython(), (dir / "read.py").string(), data.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "ASIGNOMT 58\n"
                          "ASIGNOMT2 165\n"
                          "PROFT 60\n"
                          "AULAT 30\n"
                          "CURSOST 12\n"
                          "GRUPOST 24\n"
                          "ASIGT 300\n"
                          "DIASHORAST 49\n"
                          "Inés Cortés Gutiérrez None\n"
                          "LENGUA 4.0 1111\n"
                          "11 08:30 55\n");
}

} // namespace
} // namespace tdb::test
