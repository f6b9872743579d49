#include "app/ini_file.h"
#include "app/run_status.h"

#include "services/error.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace tdb::app {
namespace {

struct IniCase {
    const char* name;
    std::string before;
    std::string after;
};

// Every case sets [Transformadores] Transformado=1.
const IniCase kIniCases[] = {
    {"empty file", "", "[Transformadores]\r\nTransformado=1\r\n"},
    {"value replaced in place, CR LF kept",
     "; ajustes\r\n[General]\r\nRuta=C:\\VTEMP\r\n\r\n[Transformadores]\r\nTransformado=0\r\n"
     "Otro=5\r\n",
     "; ajustes\r\n[General]\r\nRuta=C:\\VTEMP\r\n\r\n[Transformadores]\r\nTransformado=1\r\n"
     "Otro=5\r\n"},
    {"names matched ignoring case, spelling and blanks kept",
     "[TRANSFORMADORES]\n  transformado =  -1\nx=y\n",
     "[TRANSFORMADORES]\n  transformado =  1\nx=y\n"},
    {"blanks inside the brackets", "[ Transformadores ]\nTransformado=0\n",
     "[ Transformadores ]\nTransformado=1\n"},
    {"whole old value replaced, last line without line ending",
     "[Transformadores]\nTransformado=12345 ; nota", "[Transformadores]\nTransformado=1"},
    {"first of two matching keys", "[Transformadores]\nTransformado=0\nTransformado=7\n",
     "[Transformadores]\nTransformado=1\nTransformado=7\n"},
    {"first of two matching sections",
     "[Transformadores]\na=1\n[Transformadores]\nTransformado=0\n",
     "[Transformadores]\na=1\nTransformado=1\n[Transformadores]\nTransformado=0\n"},
    {"key of another section untouched",
     "[Otros]\nTransformado=9\n\n[Transformadores]\nUltimo=3\n\n\n[Final]\nk=v\n",
     "[Otros]\nTransformado=9\n\n[Transformadores]\nUltimo=3\nTransformado=1\n\n\n[Final]\nk=v\n"},
    {"key added after a comment that ends the section",
     "[Transformadores]\r\n;Transformado=3\r\n\r\n[B]\r\n",
     "[Transformadores]\r\n;Transformado=3\r\nTransformado=1\r\n\r\n[B]\r\n"},
    {"key added to an empty section at the end without line ending", "[A]\nx=1\n[Transformadores]",
     "[A]\nx=1\n[Transformadores]\nTransformado=1\n"},
    {"a line that only starts like the key is another key",
     "[Transformadores]\nTransformadoAntes=4\nTransformado\n",
     "[Transformadores]\nTransformadoAntes=4\nTransformado\nTransformado=1\n"},
    {"section added at the end", "[A]\r\nx=1\r\n\r\n",
     "[A]\r\nx=1\r\n\r\n[Transformadores]\r\nTransformado=1\r\n"},
    {"section added after a last line without line ending", "[A]\nx=1",
     "[A]\nx=1\n[Transformadores]\nTransformado=1\n"},
    {"byte order mark kept, first line still a section",
     "\xEF\xBB\xBF[Transformadores]\nTransformado=0\n",
     "\xEF\xBB\xBF[Transformadores]\nTransformado=1\n"},
    {"other bytes kept as they are",
     "[Año]\nclave=\xF1\xE1\n[Transformadores]\n\tTransformado\t=\t0\t\n",
     "[Año]\nclave=\xF1\xE1\n[Transformadores]\n\tTransformado\t=\t1\n"},
    {"bracket text that is not the section", "[Transformadores2]\nTransformado=0\n",
     "[Transformadores2]\nTransformado=0\n[Transformadores]\nTransformado=1\n"},
};

TEST(IniWriter, ChangesOnlyTheKeyLine) {
    for (const auto& c : kIniCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(setIniValue(c.before, "Transformadores", "Transformado", "1"), c.after);
    }
}

TEST(IniWriter, WritingTwiceGivesTheSameFileAsWritingOnce) {
    for (const auto& c : kIniCases) {
        SCOPED_TRACE(c.name);
        auto once = setIniValue(c.before, "Transformadores", "Transformado", "-1");
        EXPECT_EQ(setIniValue(once, "Transformadores", "Transformado", "-1"), once);
        EXPECT_EQ(setIniValue(once, "Transformadores", "Transformado", "1"),
                  setIniValue(c.before, "Transformadores", "Transformado", "1"));
    }
}

TEST(RunStatusFile, WritesTheStatusCreatingOrUpdatingTheFile) {
    test::TempDir dir;
    auto file = dir / "Vestrano.ini";
    writeRunStatus(file, -1);
    EXPECT_EQ(test::readFile(file), "[Transformadores]\r\nTransformado=-1\r\n");

    test::writeFile(file, "[Vestrano]\nVersion=4\n\n[Transformadores]\nTransformado=-1\n");
    chmod(file.c_str(), 0600);
    writeRunStatus(file, 1);
    EXPECT_EQ(test::readFile(file), "[Vestrano]\nVersion=4\n\n[Transformadores]\nTransformado=1\n");
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // Nothing of the temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(RunStatusFile, FindsTheFileWhateverTheLetterCaseOfItsName) {
    struct Case {
        const char* existing; // nothing when the folder has no such file
        const char* expected;
    };
    const Case cases[] = {
        {nullptr, "Vestrano.ini"},
        {"Vestrano.ini", "Vestrano.ini"},
        {"VESTRANO.INI", "VESTRANO.INI"},
        {"vestrano.Ini", "vestrano.Ini"},
        {"Vestrano.ini.bak", "Vestrano.ini"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.existing ? c.existing : "none");
        test::TempDir dir;
        if (c.existing) {
            test::writeFile(dir / c.existing, "[A]\n");
        }
        EXPECT_EQ(statusFilePath(dir.path()), dir / c.expected);
    }
}

TEST(RunStatusFile, UnwritableFileFailsNamingItAndLeavesItAsItWas) {
    test::TempDir dir;
    auto missingFolder = dir / "no-existe" / "Vestrano.ini";
    auto folderInstead = dir / "carpeta";
    std::filesystem::create_directory(folderInstead);
    auto readOnlyDir = dir / "solo-lectura";
    std::filesystem::create_directory(readOnlyDir);
    test::writeFile(readOnlyDir / "Vestrano.ini", "[Transformadores]\nTransformado=0\n");
    chmod(readOnlyDir.c_str(), 0500);
    const bool privileged = geteuid() == 0;

    for (const auto& file : {missingFolder, folderInstead, readOnlyDir / "Vestrano.ini"}) {
        if (privileged && file.parent_path() == readOnlyDir) {
            continue; // root writes into a read-only folder
        }
        SCOPED_TRACE(file.string());
        try {
            writeRunStatus(file, 1);
            ADD_FAILURE() << "written";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(test::readFile(readOnlyDir / "Vestrano.ini"), "[Transformadores]\nTransformado=0\n");
    EXPECT_TRUE(std::filesystem::is_directory(folderInstead));
    chmod(readOnlyDir.c_str(), 0700);
}

} // namespace
} // namespace tdb::app
