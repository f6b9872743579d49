// Exclusive opening against a real second process: one of this program's own, and the Debian
// python holding a classic POSIX lock.
#include "services/dbf_table.h"
#include "services/error.h"
#include "services/file_lock.h"
#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tdb::dbf {
namespace {

using test::TempDir;
using ::testing::HasSubstr;

const std::vector<ColumnSpec> kColumns = {{"PROF", ColumnKind::Text, 4},
                                          {"DIA", ColumnKind::Float}};

void makeTable(const TempDir& dir, const char* name) {
    auto table = Table::create(dir.path(), name, kColumns);
    table.append();
    table.setText("PROF", "P1");
    table.post();
    table.close();
}

// What the export does to replace a table: delete its files, then create it.
void catalogueLikeCreate(const TempDir& dir, const char* name) {
    deleteTable(dir.path(), name);
    Table::create(dir.path(), name, kColumns).close();
}

// A child process that opens the table, says so through a pipe and waits to be killed.
// `asChild` runs in the child before the open; `check` runs on the open table and decides
// whether the child reports success.
class Holder {
public:
    Holder(const std::filesystem::path& folder, const char* name,
           const std::function<void()>& asChild = {},
           const std::function<bool(Table&)>& check = {}) {
        int fds[2];
        if (pipe(fds) != 0) {
            throw std::runtime_error("pipe");
        }
        pid_ = fork();
        if (pid_ < 0) {
            throw std::runtime_error("fork");
        }
        if (pid_ == 0) {
            close(fds[0]);
            char answer = 'n';
            try {
                if (asChild) {
                    asChild();
                }
                auto table = Table::open(folder, name);
                answer = !check || check(table) ? 'y' : 'n';
                (void)!write(fds[1], &answer, 1);
                pause();
            } catch (...) {
                (void)!write(fds[1], &answer, 1);
            }
            _exit(0);
        }
        close(fds[1]);
        char answer = 0;
        opened_ = read(fds[0], &answer, 1) == 1 && answer == 'y';
        close(fds[0]);
        if (!opened_) {
            // The child shares this process's open tables (and so their locks) until it ends.
            stop();
        }
    }
    ~Holder() { stop(); }
    bool opened() const { return opened_; }
    // Kills the child without letting it close anything.
    void stop() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
    bool opened_ = false;
};

TEST(DbfLock, TableHeldByAnotherProcessCannotBeOpenedUntilThatProcessEnds) {
    TempDir dir;
    makeTable(dir, "SOLUC");
    const auto file = dir / "SOLUC.DBF";
    Holder holder(dir.path(), "SOLUC");
    ASSERT_TRUE(holder.opened());

    try {
        Table::open(dir.path(), "soluc");
        FAIL() << "opened a table held by another process";
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("La tabla soluc (" + file.string() +
                                        ") está en uso por otro programa"));
    }
    EXPECT_THROW(Table::create(dir.path(), "SOLUC", kColumns), Error);
    // Deleting the held table fails without a word, so its creation then fails naming it.
    deleteTable(dir.path(), "SOLUC");
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_THROW(catalogueLikeCreate(dir, "SOLUC"), Error);
    EXPECT_TRUE(isHeldByAnotherProgram(file));
    EXPECT_FALSE(FileLock::tryAcquire(file).has_value());
    // A refused create did not touch the held table.
    EXPECT_GT(std::filesystem::file_size(file), 100U);

    holder.stop(); // the lock ends with the process, whatever it did not close
    EXPECT_FALSE(isHeldByAnotherProgram(file));
    auto table = Table::open(dir.path(), "SOLUC");
    EXPECT_EQ(table.text("PROF"), "P1");
}

TEST(DbfLock, CreateRefusesWhileTheTableIsHeldUnderAnotherLetterCase) {
    TempDir dir;
    makeTable(dir, "aulat");
    std::filesystem::rename(dir / "AULAT.DBF", dir / "aulat.dbf");
    Holder holder(dir.path(), "AULAT");
    ASSERT_TRUE(holder.opened());
    try {
        Table::create(dir.path(), "AULAT", kColumns);
        FAIL() << "replaced a table in use";
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), HasSubstr((dir / "aulat.dbf").string() + ") está en uso"));
    }
    EXPECT_TRUE(std::filesystem::exists(dir / "aulat.dbf"));
    EXPECT_FALSE(std::filesystem::exists(dir / "AULAT.DBF")) << "the refused create left a file";
    holder.stop();
    EXPECT_NO_THROW(catalogueLikeCreate(dir, "AULAT"));
    EXPECT_FALSE(std::filesystem::exists(dir / "aulat.dbf"));
    EXPECT_TRUE(std::filesystem::exists(dir / "AULAT.DBF"));
}

TEST(DbfLock, ClosingReleasesTheLockAndAProbeDoesNotDisturbIt) {
    TempDir dir;
    makeTable(dir, "PROFT");
    const auto file = dir / "PROFT.DBF";
    {
        auto table = Table::open(dir.path(), "PROFT");
        // The probe's own open and close must not drop the table's lock.
        EXPECT_TRUE(isHeldByAnotherProgram(file));
        EXPECT_TRUE(isHeldByAnotherProgram(file));
        Holder other(dir.path(), "PROFT");
        EXPECT_FALSE(other.opened());
        table.close();
        Holder after(dir.path(), "PROFT");
        EXPECT_TRUE(after.opened());
    }
    {
        auto table = Table::create(dir.path(), "NUEVA", kColumns);
        Holder other(dir.path(), "NUEVA");
        EXPECT_FALSE(other.opened()) << "a table being written is held too";
    }
    Holder after(dir.path(), "NUEVA");
    EXPECT_TRUE(after.opened()) << "the destructor released the lock";
    EXPECT_FALSE(isHeldByAnotherProgram(dir / "NO_EXISTE.DBF"));
}

TEST(DbfLock, ReadOnlyFileIsOpenedWithASharedLockThatStillKeepsWritersOut) {
    TempDir dir;
    makeTable(dir, "SOLUC");
    const auto file = dir / "SOLUC.DBF";
    chmod(file.c_str(), 0444);
    // Root writes to read-only files, so the reader drops to an unprivileged user.
    auto unprivileged = [] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(1);
        }
    };
    auto readsButCannotAppend = [](Table& table) {
        if (table.text("PROF") != "P1") {
            return false;
        }
        try {
            table.append();
            return false;
        } catch (const Error& e) {
            return std::string(e.what()).find("solo lectura") != std::string::npos;
        }
    };
    Holder reader(dir.path(), "SOLUC", unprivileged, readsButCannotAppend);
    ASSERT_TRUE(reader.opened());
    EXPECT_TRUE(isHeldByAnotherProgram(file));
    EXPECT_THROW(Table::open(dir.path(), "SOLUC"), Error);
    reader.stop();
    EXPECT_FALSE(isHeldByAnotherProgram(file));
}

TEST(DbfLock, ClassicPosixLockOfAnotherProgramConflicts) {
    TempDir dir;
    makeTable(dir, "SOLUC");
    const auto file = dir / "SOLUC.DBF";
    const auto ready = dir / "ready";
    const auto release = dir / "release";
    // Python's fcntl.lockf takes a process-owned POSIX lock, not an open-file-description one;
    // on Linux the two kinds conflict all the same.
    const std::string script = R"(
import fcntl, os, sys, time
f = open(sys.argv[1], 'r+b')
fcntl.lockf(f, fcntl.LOCK_EX | fcntl.LOCK_NB)
open(sys.argv[2], 'w').close()
for _ in range(600):
    if os.path.exists(sys.argv[3]):
        break
    time.sleep(0.05)
)";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::string python = test::systemPython();
        execl(python.c_str(), python.c_str(), "-c", script.c_str(), file.c_str(), ready.c_str(),
              release.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 600 && !std::filesystem::exists(ready); ++i) {
        usleep(20000);
    }
    ASSERT_TRUE(std::filesystem::exists(ready)) << "python did not take its lock";
    EXPECT_TRUE(isHeldByAnotherProgram(file));
    EXPECT_THROW(Table::open(dir.path(), "SOLUC"), Error);
    test::writeFile(release, "");
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NO_THROW(Table::open(dir.path(), "SOLUC").close());

    // And the other way round: python cannot lock a table this engine holds.
    auto table = Table::open(dir.path(), "SOLUC");
    auto result = test::runProcess(
        {test::systemPython(), "-c",
         "import fcntl,sys\nf=open(sys.argv[1],'r+b')\ntry:\n fcntl.lockf(f, fcntl.LOCK_EX | "
         "fcntl.LOCK_NB)\n print('locked')\nexcept OSError:\n print('busy')",
         file.string()});
    EXPECT_EQ(result.out, "busy\n") << result.err;
}

TEST(DbfLock, FileLockIsMovableAndReleasesOnce) {
    TempDir dir;
    const auto file = dir / "F.DBF";
    test::writeFile(file, "x");
    auto lock = FileLock::tryAcquire(file);
    ASSERT_TRUE(lock.has_value());
    EXPECT_TRUE(lock->writable());
    FileLock moved = std::move(*lock);
    lock.reset(); // the moved-from lock releases nothing
    EXPECT_TRUE(isHeldByAnotherProgram(file));
    moved = std::move(*FileLock::tryAcquireForWriting(dir / "G.DBF"));
    EXPECT_FALSE(isHeldByAnotherProgram(file)) << "assignment released the old lock";
    EXPECT_TRUE(isHeldByAnotherProgram(dir / "G.DBF"));
    EXPECT_THROW(FileLock::tryAcquire(dir / "nada" / "X.DBF"), Error);
}

} // namespace
} // namespace tdb::dbf
