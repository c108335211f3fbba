// Copy, move, rename and delete: the Edit menu of the browser window with
// its dialog and questions answered.
#include "shell/Chgdlg.h"

#include "shell/Velmwin.h"
#include "shell/shell_support.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <memory>

namespace velm {
namespace {

using namespace velm::testing;

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
                if (dialog->isVisible()) // an empty target was refused
                    dialog->reject();
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
    EXPECT_EQ(Run(window->Copy1, " "), (std::vector<std::string>{"Copy", "Enter the name or folder to copy " + dir.file("A.TXT") + " to."}))
        << "an empty To field is refused with a word and asks nothing";
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
