// Copy, move, rename and delete: the helpers on real files, and the Edit
// menu of the browser window with its dialog and questions answered.
#include "shell/Chgdlg.h"

#include "shell/Velmwin.h"
#include "shell/shell_support.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <sys/stat.h>

#include <memory>

namespace velm {
namespace {

using namespace velm::testing;

std::string Bytes(std::size_t n)
{
    std::string bytes(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
}

dev_t DeviceOf(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_dev : 0;
}

TEST(CopyFileTo, CopiesWholeFilesIntoFoldersAndRelativeNames)
{
    TempDir from, to;
    for (std::size_t size : {0u, 1u, 8191u, 8192u, 8193u, 3u * 8192u + 5u}) {
        const std::string name = "F" + std::to_string(size) + ".BIN";
        from.write(name, Bytes(size));
        CopyFileTo(from.file(name), to.path()); // an existing folder
        EXPECT_EQ(readFile(to.file(name)), Bytes(size)) << size;
    }
    CurrentDir here(to.path());
    from.write("A.TXT", "alpha");
    CopyFileTo(from.file("A.TXT"), "NEW.TXT");
    EXPECT_EQ(readFile(to.file("NEW.TXT")), "alpha");
    to.write("OLD.TXT", "a much longer old content");
    CopyFileTo(from.file("A.TXT"), "OLD.TXT");
    EXPECT_EQ(readFile(to.file("OLD.TXT")), "alpha") << "an existing target is replaced whole";
}

TEST(CopyFileTo, ReportsTheFileItCannotOpenOrCreate)
{
    TempDir dir;
    try {
        CopyFileTo(dir.file("MISSING"), dir.file("X"));
        FAIL() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_STREQ(e.what(), ("Cannot open file " + dir.file("MISSING")).c_str());
    }
    EXPECT_FALSE(fileExists(dir.file("X")));
    dir.write("A", "a");
    try {
        CopyFileTo(dir.file("A"), dir.file("NO/SUCH/B"));
        FAIL() << "no error";
    } catch (const EFCreateError& e) {
        EXPECT_STREQ(e.what(), ("Cannot create file " + dir.file("NO/SUCH/B")).c_str());
    }
}

TEST(CopyAndMove, OntoItselfIsRefusedAndTheFileKept)
{
    TempDir dir;
    dir.write("A.TXT", "precious");
    CurrentDir here(dir.path());
    ::symlink(dir.file("A.TXT").c_str(), dir.file("LINK.TXT").c_str());
    ::link(dir.file("A.TXT").c_str(), dir.file("HARD.TXT").c_str());
    for (const std::string& target : {dir.file("A.TXT"), std::string("A.TXT"), dir.path(), std::string("."),
                                      dir.file("LINK.TXT"), dir.file("HARD.TXT")}) {
        EXPECT_THROW(CopyFileTo(dir.file("A.TXT"), target), EFSameFile) << target;
        EXPECT_THROW(MoveFileTo(dir.file("A.TXT"), target), EFSameFile) << target;
        EXPECT_EQ(readFile(dir.file("A.TXT")), "precious") << target;
    }
    try {
        CopyFileTo(dir.file("A.TXT"), dir.path());
    } catch (const EFSameFile& e) {
        EXPECT_STREQ(e.what(), ("Cannot copy file " + dir.file("A.TXT") + " onto itself").c_str());
    }
}

TEST(MoveFileTo, RenamesOnTheSameFileSystemAndFallsBackIntoFolders)
{
    TempDir dir;
    dir.write("A.TXT", "alpha");
    MoveFileTo(dir.file("A.TXT"), dir.file("B.TXT"));
    EXPECT_FALSE(fileExists(dir.file("A.TXT")));
    EXPECT_EQ(readFile(dir.file("B.TXT")), "alpha");

    ASSERT_EQ(::mkdir(dir.file("SUB").c_str(), 0755), 0);
    MoveFileTo(dir.file("B.TXT"), dir.file("SUB"));
    EXPECT_FALSE(fileExists(dir.file("B.TXT")));
    EXPECT_EQ(readFile(dir.file("SUB/B.TXT")), "alpha");

    // The rename never replaces an existing target; the copy path does.
    dir.write("C.TXT", "new");
    dir.write("D.TXT", "old");
    EXPECT_FALSE(MoveFileNoReplace(dir.file("C.TXT"), dir.file("D.TXT")));
    EXPECT_EQ(readFile(dir.file("D.TXT")), "old");
    MoveFileTo(dir.file("C.TXT"), dir.file("D.TXT"));
    EXPECT_EQ(readFile(dir.file("D.TXT")), "new");
    EXPECT_FALSE(fileExists(dir.file("C.TXT")));
}

TEST(MoveFileTo, ReadOnlyFileAcrossFileSystemsIsNotMoved)
{
    TempDir here;
    const std::string other = "/dev/shm";
    if (!directoryExists(other) || DeviceOf(other) == DeviceOf(here.path()) || ::access(other.c_str(), W_OK) != 0)
        VELM_SKIP_MISSING("needs /dev/shm writable on another file system than " << here.path());
    here.write("RO.TXT", "stay");
    ASSERT_TRUE(setFileAttributes(here.file("RO.TXT"), faReadOnly));
    const std::string target = other + "/velm-move-test-" + std::to_string(::getpid());
    try {
        MoveFileTo(here.file("RO.TXT"), target);
        FAIL() << "moved";
    } catch (const EFCantMove& e) {
        EXPECT_STREQ(e.what(), ("Cannot move file " + here.file("RO.TXT")).c_str());
    }
    EXPECT_EQ(readFile(here.file("RO.TXT")), "stay");
    EXPECT_FALSE(fileExists(target));

    here.write("RW.TXT", "go");
    MoveFileTo(here.file("RW.TXT"), target);
    EXPECT_FALSE(fileExists(here.file("RW.TXT")));
    EXPECT_EQ(readFile(target), "go");
    deleteFile(target);

    EXPECT_THROW(MoveFileTo(here.file("GONE.TXT"), target), EFCantMove) << "a missing source counts as read-only";
    EXPECT_TRUE(HasAttr(here.file("GONE.TXT"), faReadOnly | faHidden));
}

TEST(CopyAndMove, AFailedCopyLosesNothing)
{
    TempDir dir;
    dir.write("BIG.BIN", Bytes(5 * 8192));
    dir.write("OLD.BIN", "the old target");
    ::symlink("OLD.BIN", dir.file("LINK.BIN").c_str());
    {
        // The disk fills up half-way through the copy.
        testing::FileSizeLimit limit(3 * 8192);
        for (const char* target : {"OLD.BIN", "LINK.BIN", "NEW.BIN"}) {
            try {
                CopyFileTo(dir.file("BIG.BIN"), dir.file(target));
                ADD_FAILURE() << "copied onto " << target;
            } catch (const VelmError& e) {
                EXPECT_STREQ(e.what(), ("Cannot write file " + dir.file(target)).c_str());
            }
        }
    }
    EXPECT_EQ(readFile(dir.file("OLD.BIN")), "the old target");
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"BIG.BIN", "LINK.BIN", "OLD.BIN"}))
        << "no partial file";

    // A copy onto a link writes its target and keeps the link.
    CopyFileTo(dir.file("BIG.BIN"), dir.file("LINK.BIN"));
    EXPECT_EQ(readFile(dir.file("OLD.BIN")), Bytes(5 * 8192));
    struct stat link {};
    ASSERT_EQ(::lstat(dir.file("LINK.BIN").c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
}

TEST(MoveFileTo, AFailedCopyAcrossFileSystemsKeepsTheSource)
{
    TempDir here;
    const std::string other = "/dev/shm";
    if (!directoryExists(other) || DeviceOf(other) == DeviceOf(here.path()) || ::access(other.c_str(), W_OK) != 0)
        VELM_SKIP_MISSING("needs /dev/shm writable on another file system than " << here.path());
    here.write("BIG.BIN", Bytes(5 * 8192));
    const std::string target = other + "/velm-move-test-" + std::to_string(::getpid());
    {
        testing::FileSizeLimit limit(3 * 8192);
        EXPECT_THROW(MoveFileTo(here.file("BIG.BIN"), target), VelmError);
    }
    EXPECT_EQ(readFile(here.file("BIG.BIN")), Bytes(5 * 8192));
    EXPECT_FALSE(fileExists(target));
}

// The Edit menu, with the dialog filled in and the questions answered.
class EditMenuTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        dir.write("A.TXT", "alpha");
        here = std::make_unique<CurrentDir>(dir.path());
        window = std::make_unique<TVelmWindow>();
        window->show();
        window->FileList->setCurrentRow(0);
    }
    void TearDown() override
    {
        window.reset();
        here.reset();
        ShellTest::TearDown();
    }
    // Answers the dialog with To, then the question with Yes or No.
    std::vector<std::string> Run(QAction* item, const std::string& to, bool ok = true, bool yes = true)
    {
        ModalAnswerer answerer([&](QWidget* w) {
            if (auto* dialog = qobject_cast<TChangeDlg*>(w)) {
                dialog->ToFileName->setText(QString::fromStdString(to));
                ok ? dialog->accept() : dialog->reject();
            } else if (auto* box = qobject_cast<QMessageBox*>(w)) {
                if (box->button(QMessageBox::Yes))
                    (yes ? box->button(QMessageBox::Yes) : box->button(QMessageBox::No))->click();
                else
                    box->accept();
            }
        });
        item->trigger();
        return answerer.Seen;
    }
    TempDir dir;
    std::unique_ptr<CurrentDir> here;
    std::unique_ptr<TVelmWindow> window;
};

TEST_F(EditMenuTest, CopyAsksOnceAndRereadsTheList)
{
    const auto seen = Run(window->Copy1, "B.TXT");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "Copy");
    EXPECT_EQ(seen[1], "Copy " + dir.file("A.TXT") + " to B.TXT?");
    EXPECT_EQ(readFile(dir.file("B.TXT")), "alpha");
    EXPECT_EQ(window->FileList->count(), 2);
    EXPECT_EQ(ChangeDlg->CurrentDir->text().toStdString(), dir.path());
}

TEST_F(EditMenuTest, CancelNoAndAnEmptyTargetDoNothing)
{
    EXPECT_EQ(Run(window->Move1, "B.TXT", false).size(), 1u) << "Cancel asks nothing";
    EXPECT_EQ(Run(window->Copy1, "").size(), 1u) << "an empty To field asks nothing";
    EXPECT_EQ(Run(window->Rename1, "B.TXT", true, false).size(), 2u);
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"A.TXT"});
    window->FileList->clearSelection();
    EXPECT_EQ(Run(window->Copy1, "B.TXT").size(), 0u) << "no file selected: no dialog";
}

TEST_F(EditMenuTest, MoveRenameAndDelete)
{
    ASSERT_EQ(::mkdir(dir.file("SUB").c_str(), 0755), 0);
    Run(window->Move1, dir.file("SUB"));
    EXPECT_EQ(readFile(dir.file("SUB/A.TXT")), "alpha");
    EXPECT_EQ(window->FileList->count(), 0);

    dir.write("C.TXT", "c");
    window->FileList->Update();
    window->FileList->setCurrentRow(0);
    Run(window->Rename1, "D.TXT");
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"D.TXT", "SUB"}));

    window->FileList->setCurrentRow(0);
    const auto seen = Run(window->Delete1, "");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], "Delete " + dir.file("D.TXT") + "?");
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"SUB"});
}

TEST_F(EditMenuTest, CopyOntoItselfShowsTheErrorAndKeepsTheFile)
{
    const auto seen = Run(window->Copy1, "A.TXT");
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[2], "Cannot copy file " + dir.file("A.TXT") + " onto itself");
    EXPECT_EQ(readFile(dir.file("A.TXT")), "alpha");
}

} // namespace
} // namespace velm
