#include "shell/Chgdlg.h"

#include "platform/system/files.h"
#include "platform/system/output_file.h"
#include "preview/Presenter.h"
#include "shell/Velmwin.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <vector>

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
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    setTabOrder(OKBtn, CancelBtn);
    OKBtn->setFocus();
    ChangeDlg = this;
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

std::string NameOf(const std::string& Path)
{
    const auto slash = Path.rfind('/');
    return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

// The same file under two names: one inode of one file system (hard links
// and symbolic links included).
bool SameFile(const std::string& A, const std::string& B)
{
    struct stat a {}, b {};
    return ::stat(A.c_str(), &a) == 0 && ::stat(B.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

void RefuseSelf(const char* Verb, const std::string& Source, const std::string& Target)
{
    if (SameFile(Source, Target))
        throw EFSameFile(format("Cannot %s file %s onto itself", Verb, Source.c_str()));
}

// Closes a descriptor on every way out of the copy.
struct Descriptor {
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

ssize_t ReadSome(int fd, char* data, std::size_t size)
{
    // A full chunk unless the file ends, so a short read means the end.
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, data + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

} // namespace

std::string ResolveTarget(const std::string& Source, const std::string& Target)
{
    std::string full = !Target.empty() && Target.front() == '/' ? Target : joinPath(currentDirectory(), Target);
    if (directoryExists(full))
        full = joinPath(full, NameOf(Source));
    return full;
}

bool MoveFileNoReplace(const std::string& Source, const std::string& Target)
{
    if (::renameat2(AT_FDCWD, Source.c_str(), AT_FDCWD, Target.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the no-replace flag: a hard link fails on an
    // existing target just as well, and the old name is dropped after it.
    if (::link(Source.c_str(), Target.c_str()) != 0)
        return false;
    ::unlink(Source.c_str());
    return true;
}

bool HasAttr(const std::string& Name, int Mask)
{
    const int attributes = fileAttributes(Name);
    return (attributes & Mask) == Mask;
}

void CopyFileTo(const std::string& Source, const std::string& Target)
{
    const std::string target = ResolveTarget(Source, Target);
    RefuseSelf("copy", Source, target);
    Descriptor in{::open(Source.c_str(), O_RDONLY | O_CLOEXEC)};
    struct stat info {};
    if (in.fd < 0 || ::fstat(in.fd, &info) != 0 || S_ISDIR(info.st_mode))
        throw EFOpenError(format("Cannot open file %s", Source.c_str()));
    // An existing target keeps its content until the whole copy is on disk.
    OutputFile out;
    if (!out.open(target))
        throw EFCreateError(format("Cannot create file %s", target.c_str()));
    constexpr std::size_t ChunkSize = 8192;
    std::vector<char> buffer(ChunkSize);
    for (;;) {
        const ssize_t got = ReadSome(in.fd, buffer.data(), ChunkSize);
        if (got < 0)
            throw VelmError(format("Cannot read file %s", Source.c_str()));
        if (!out.write(std::string_view(buffer.data(), static_cast<std::size_t>(got))))
            throw VelmError(format("Cannot write file %s", target.c_str()));
        if (static_cast<std::size_t>(got) < ChunkSize)
            break;
    }
    if (!out.commit())
        throw VelmError(format("Cannot write file %s", target.c_str()));
}

void MoveFileTo(const std::string& Source, const std::string& Target)
{
    const std::string full = !Target.empty() && Target.front() == '/' ? Target : joinPath(currentDirectory(), Target);
    RefuseSelf("move", Source, ResolveTarget(Source, full));
    if (MoveFileNoReplace(Source, full))
        return;
    if (HasAttr(Source, faReadOnly))
        throw EFCantMove(format("Cannot move file %s", Source.c_str()));
    CopyFileTo(Source, full); // on disk before the source goes
    deleteFile(Source);
}

bool ConfirmFileChange(const std::string& Op, const std::string& Source, const std::string& Target)
{
    if (!AskYesNo(format("%s %s to %s?", Op.c_str(), Source.c_str(), Target.c_str())) || Source.empty())
        return false;
    if (Op == "Move")
        MoveFileTo(Source, Target);
    else if (Op == "Copy")
        CopyFileTo(Source, Target);
    else if (Op == "Rename")
        MoveFileNoReplace(Source, !Target.empty() && Target.front() == '/' ? Target
                                                                           : joinPath(currentDirectory(), Target));
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
    ChangeDlg->OKBtn->setFocus();
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
