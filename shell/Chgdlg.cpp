#include "shell/Chgdlg.h"

#include "platform/system/files.h"
#include "preview/Presenter.h"
#include "shell/Velmwin.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace velm {

TChangeDlg* ChangeDlg = nullptr;

TChangeDlg::TChangeDlg(QWidget* parent) : QDialog(parent, DialogBorder)
{
    setWindowTitle("Dialog");
    setFixedSize(478, 151);
    setFont(QFont("MS Sans Serif", 8));
    auto* Bevel1 = new QFrame(this);
    Bevel1->setFrameShape(QFrame::Box);
    Bevel1->setGeometry(8, 8, 361, 135);
    CurrentDir = new QLabel(this);
    CurrentDir->setGeometry(16, 16, 345, 16);
    Label1 = new QLabel("From:", this);
    Label1->setGeometry(16, 48, 80, 16);
    FromFileName = new QLineEdit(this);
    FromFileName->setGeometry(96, 44, 257, 22);
    Label2 = new QLabel("To:", this);
    Label2->setGeometry(16, 88, 80, 16);
    ToFileName = new QLineEdit(this);
    ToFileName->setGeometry(96, 84, 257, 22);
    OKBtn = new QPushButton("OK", this);
    OKBtn->setGeometry(384, 8, 75, 25);
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton("Cancel", this);
    CancelBtn->setGeometry(384, 40, 75, 25);
    connect(OKBtn, &QPushButton::clicked, this, &TChangeDlg::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    // The user's first keys go into the target; OK and Enter still close it.
    setTabOrder(ToFileName, OKBtn);
    setTabOrder(OKBtn, CancelBtn);
    setTabOrder(CancelBtn, FromFileName);
    ToFileName->setFocus();
    ChangeDlg = this;
}

void TChangeDlg::accept()
{
    // OK with an empty target would do nothing without a word: say so and
    // stay open for the name.
    if (ToFileName->text().trimmed().isEmpty()) {
        ShowMessageBox(QMessageBox::Warning, QStringLiteral("Enter the name or folder to %1 %2 to.")
                                                 .arg(windowTitle().toLower(), FromFileName->text()));
        ToFileName->setFocus();
        return;
    }
    QDialog::accept();
}

TChangeDlg::~TChangeDlg()
{
    if (ChangeDlg == this)
        ChangeDlg = nullptr;
}

namespace {

bool AskYesNo(const std::string& Question)
{
    return ShowMessageBox(QMessageBox::Question, QString::fromStdString(Question),
                          QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
           == QMessageBox::Yes;
}

} // namespace

bool ConfirmFileChange(const std::string& Op, const std::string& Source, const std::string& Target)
{
    if (!AskYesNo(format("%s %s to %s?", Op.c_str(), Source.c_str(), Target.c_str())) || Source.empty())
        return false;
    if (Op == "Move")
        MoveFileTo(Source, Target);
    else if (Op == "Copy")
        CopyFileTo(Source, Target);
    else if (Op == "Rename")
        renameNoReplace(Source, absoluteTarget(Target));
    else
        return false;
    return true;
}

// --- The Edit menu of the browser window --------------------------------------

void TVelmWindow::FileChange(QAction* Sender)
{
    const char* op = Sender == Copy1 ? "Copy" : Sender == Move1 ? "Move" : Sender == Rename1 ? "Rename" : nullptr;
    if (!op)
        return;
    ChangeDlg->setWindowTitle(op);
    ChangeDlg->CurrentDir->setText(QString::fromStdString(DirectoryListBox1->Directory()));
    ChangeDlg->FromFileName->setText(QString::fromStdString(FileList->FileName()));
    ChangeDlg->ToFileName->clear();
    if (ChangeDlg->FromFileName->text().isEmpty())
        return;
    ChangeDlg->ToFileName->setFocus();
    if (ChangeDlg->exec() != QDialog::Accepted)
        return;
    const std::string target = ChangeDlg->ToFileName->text().toStdString();
    if (target.empty())
        return;
    if (ConfirmFileChange(op, ChangeDlg->FromFileName->text().toStdString(), target))
        FileList->Update();
}

void TVelmWindow::Move1Click() { FileChange(Move1); }
void TVelmWindow::Rename1Click() { FileChange(Rename1); }

void TVelmWindow::Delete1Click()
{
    const std::string file = FileList->FileName();
    if (!AskYesNo("Delete " + file + "?") || file.empty())
        return;
    if (deleteFile(file))
        FileList->Update();
}

} // namespace velm
