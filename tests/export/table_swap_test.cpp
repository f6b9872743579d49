#include "export/export_support.h"
#include "export/table_swap.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tdb::test {
namespace {

namespace fs = std::filesystem;

class TableSwapRecovery : public ::testing::Test {
protected:
    TempDir dir;
    fs::path data = dir / "VTEMP";
    void SetUp() override {
        fs::create_directory(data);
        writeFile(data / "PROFT.DBF", "old teachers");
        writeFile(data / "proft.mdx", "old index");
        writeFile(data / "AULAT.DBF", "old rooms");
        writeFile(data / "SOLUC.DBF", "solution");
    }

    // A staging folder as an export leaves it when it dies after `done` of its moves.
    fs::path interruptedSwap(std::size_t done) {
        const fs::path staging = data / ".transdorimobrelo-abc123";
        fs::create_directories(staging / "anterior");
        writeFile(staging / "PROFT.DBF", "new teachers");
        writeFile(staging / "AULAT.DBF", "new rooms");
        const std::vector<std::pair<fs::path, fs::path>> moves = {
            {data / "PROFT.DBF", staging / "anterior" / "0-PROFT.DBF"},
            {data / "proft.mdx", staging / "anterior" / "1-proft.mdx"},
            {staging / "PROFT.DBF", data / "PROFT.DBF"},
            {data / "AULAT.DBF", staging / "anterior" / "2-AULAT.DBF"},
            {staging / "AULAT.DBF", data / "AULAT.DBF"},
        };
        std::string journal;
        for (const auto& [from, to] : moves) {
            journal += from.string() + '\0' + to.string() + '\0';
        }
        writeFile(staging / "movimientos", journal);
        for (std::size_t i = 0; i < done; ++i) {
            fs::rename(moves[i].first, moves[i].second);
        }
        return staging;
    }
};

// Whatever move the export died after, the next run finds the old tables back in place and the
// staging folder gone.
TEST_F(TableSwapRecovery, PutsBackTheOldTablesAfterADeathAtAnyMove) {
    const auto before = snapshot(data);
    for (std::size_t done = 0; done <= 5; ++done) {
        SCOPED_TRACE("moves made: " + std::to_string(done));
        interruptedSwap(done);
        exporter::recoverInterruptedExports(data);
        EXPECT_EQ(snapshot(data), before);
    }
}

TEST_F(TableSwapRecovery, LeavesARunningExportAloneAndClearsLeftovers) {
    const auto before = snapshot(data);
    const fs::path staging = interruptedSwap(2);
    {
        // The folder's lock, as a running export holds it.
        const int fd = ::open(staging.c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
        exporter::recoverInterruptedExports(data);
        EXPECT_TRUE(fs::exists(staging / "movimientos"));
        EXPECT_FALSE(fs::exists(data / "proft.mdx"));
        ::close(fd);
    }
    exporter::recoverInterruptedExports(data);
    EXPECT_EQ(snapshot(data), before);

    // A folder without a journal is what a run left before it swapped anything.
    fs::create_directory(data / ".transdorimobrelo-xyz789");
    writeFile(data / ".transdorimobrelo-xyz789" / "PROFT.DBF", "half built");
    exporter::recoverInterruptedExports(data);
    EXPECT_EQ(snapshot(data), before);
}

// A completed export leaves no journal behind: recovery never undoes it.
TEST_F(TableSwapRecovery, CompletedExportIsNeverUndone) {
    exportDocument(dir / "doc.xml",
                   exchangeDocument({list("PROFESORES", {item({"E1", "2020", "Ana", "AR"})})}),
                   data);
    const auto after = snapshot(data);
    exporter::recoverInterruptedExports(data);
    EXPECT_EQ(snapshot(data), after);
    EXPECT_EQ(readRows(data, "PROFT", {"ABREV"}), (Rows{{"AR"}}));
}

} // namespace
} // namespace tdb::test
