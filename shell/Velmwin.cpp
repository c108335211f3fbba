#include "shell/Velmwin.h"

#include "engine/UserInterface.h"
#include "platform/core/codepage.h"
#include "platform/core/convert.h"
#include "platform/core/errors.h"
#include "platform/system/files.h"
#include "platform/system/output_file.h"
#include "platform/printing/printer.h"
#include "platform/system/settings.h"
#include "platform/rendering/wmf_picture.h"
#include "preview/Presenter.h"
#include "shell/JobDesign.h"
#include "shell/About.h"
#include "shell/Chgdlg.h"
#include "shell/RichText.h"
#include "shell/Unit1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QDrag>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QUrl>
#include <QVBoxLayout>

#include <sys/statvfs.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace velm {

TVelmWindow* VelmWindow = nullptr;

namespace {

const char* const DragMime = "application/x-velm-browser-drag";
const char* const PageNames[] = {"ASCII", "HTML", "RTF", "BMP"};
constexpr int SplitRefuseX = 40;

std::string Upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

// The text from the last dot of the file name on, upper-cased; empty when
// the name has no dot.
std::string ExtensionOf(const std::string& FileName)
{
    const auto slash = FileName.rfind('/');
    const auto dot = FileName.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return Upper(FileName.substr(dot));
}

void ShowErrorBox(const std::string& text)
{
    ShowMessageBox(QMessageBox::Critical, QString::fromStdString(text));
}

std::string ReadWholeFile(const std::string& FileName)
{
    std::ifstream in(FileName, std::ios::binary);
    if (!in)
        throw EFOpenError(format("Cannot open file %s", FileName.c_str()));
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        throw EFOpenError(format("Cannot open file %s", FileName.c_str()));
    return bytes.str();
}

// A saved file is replaced only once the new content is on disk.
void WriteWholeFile(const std::string& FileName, const std::string& Bytes)
{
    if (!writeWholeFile(FileName, Bytes))
        throw EFCreateError(format("Cannot create file %s", FileName.c_str()));
}

QString PlainTextOf(const std::string& Bytes)
{
    const std::u16string text = toUnicode(Bytes);
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

TFont ToTFont(const QFont& font)
{
    TFont result;
    result.Name = font.family().toStdString();
    result.Color = clWindowText;
    result.PixelsPerInch = 96;
    result.SetSize(std::max(1, font.pointSize()));
    result.Style = (font.bold() ? fsBold : 0u) | (font.italic() ? fsItalic : 0u) |
                   (font.underline() ? fsUnderline : 0u) | (font.strikeOut() ? fsStrikeOut : 0u);
    return result;
}

// The drag a browser widget sees: what is dragged, and the file for an item.
TDragSource DragSourceOf(const QMimeData* mime, std::string* File = nullptr)
{
    if (!mime || !mime->hasFormat(DragMime))
        return TDragSource::None;
    const QString text = QString::fromUtf8(mime->data(DragMime));
    if (text == "Panel1")
        return TDragSource::Panel1;
    if (text == "Panel2")
        return TDragSource::Panel2;
    if (text.startsWith("file:")) {
        if (File)
            *File = text.mid(5).toStdString();
        return TDragSource::FileItem;
    }
    return TDragSource::None;
}

void StartDrag(QWidget* source, TDragSource what, const std::string& File = {})
{
    auto* drag = new QDrag(source);
    drag->setMimeData(BrowserDragData(what, File));
    drag->exec(Qt::MoveAction | Qt::CopyAction);
}

void Answer(QDropEvent* event, bool accepted)
{
    if (accepted)
        event->acceptProposedAction();
    else
        event->ignore();
}

// --- Pictures drawn for the top bar and the drive tabs ---------------------

QPixmap ColumnsPicture(int columns)
{
    QPixmap pixmap(35, 20);
    pixmap.fill(Qt::white);
    QPainter p(&pixmap);
    p.setPen(Qt::black);
    p.drawRect(0, 0, 34, 19);
    const int width = 33 / columns;
    for (int c = 0; c < columns; ++c) {
        const int left = 1 + c * width;
        if (c > 0)
            p.drawLine(left, 1, left, 18);
        for (int y = 4; y < 17; y += 3)
            p.drawLine(left + 2, y, left + width - 3, y);
    }
    return pixmap;
}

QPixmap DrivePicture(TDrive::Kind kind)
{
    QPixmap pixmap(16, 9);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(Qt::black);
    switch (kind) {
    case TDrive::Floppy:
        p.setBrush(QColor(0, 0, 128));
        p.drawRect(3, 0, 9, 8);
        p.fillRect(5, 1, 5, 3, Qt::white);
        break;
    case TDrive::Fixed:
        p.setBrush(Qt::lightGray);
        p.drawRect(0, 2, 15, 6);
        p.fillRect(12, 5, 2, 1, Qt::green);
        break;
    case TDrive::Network:
        p.setBrush(Qt::lightGray);
        p.drawRect(0, 0, 15, 5);
        p.drawLine(8, 6, 8, 8);
        p.drawLine(2, 8, 14, 8);
        break;
    }
    return pixmap;
}

// The families as a user names them: a family that several foundries
// provide is listed once, without the foundry's tag ("C059 [UKWN]").
QStringList ScreenFontNames()
{
    QStringList names;
    for (QString family : QFontDatabase::families()) {
        const qsizetype tag = family.lastIndexOf(" [");
        if (tag > 0 && family.endsWith(']'))
            family.truncate(tag);
        names << family;
    }
    names.removeDuplicates();
    return names;
}

QIcon TextIcon(const QString& text, bool bold, bool italic, bool underline)
{
    QPixmap pixmap(18, 18);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    QFont font("Times New Roman", 11);
    font.setBold(bold);
    font.setItalic(italic);
    font.setUnderline(underline);
    p.setFont(font);
    p.drawText(pixmap.rect(), Qt::AlignCenter, text);
    return QIcon(pixmap);
}

QIcon AlignIcon(Qt::Alignment alignment)
{
    QPixmap pixmap(18, 18);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    for (int i = 0; i < 5; ++i) {
        const int length = (i % 2) ? 10 : 14;
        int left = 2;
        if (alignment == Qt::AlignHCenter)
            left = 2 + (14 - length) / 2;
        else if (alignment == Qt::AlignRight)
            left = 16 - length;
        p.drawLine(left, 3 + i * 3, left + length, 3 + i * 3);
    }
    return QIcon(pixmap);
}

bool IsPseudoFileSystem(const std::string& type)
{
    static const char* const pseudo[] = {
        "proc", "sysfs", "devtmpfs", "devpts", "tmpfs", "ramfs", "cgroup", "cgroup2", "securityfs",
        "debugfs", "tracefs", "pstore", "bpf", "mqueue", "hugetlbfs", "configfs", "fusectl",
        "autofs", "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs", "squashfs", "fuse.gvfsd-fuse",
        "fuse.portal", "selinuxfs", "overlay_internal"};
    return std::find(std::begin(pseudo), std::end(pseudo), type) != std::end(pseudo);
}

bool IsNetworkFileSystem(const std::string& type)
{
    static const char* const network[] = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "sshfs",
                                          "9p", "afs", "ceph", "glusterfs", "fuse.glusterfs", "davfs",
                                          "fuse.davfs", "ncpfs", "fuse.rclone"};
    return std::find(std::begin(network), std::end(network), type) != std::end(network);
}

std::string ReadLineOf(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// A partition's disk tells whether the medium is removable.
bool IsRemovableDevice(const std::string& device)
{
    if (device.rfind("/dev/", 0) != 0)
        return false;
    const std::string name = device.substr(5);
    const std::string own = "/sys/class/block/" + name;
    std::string flag = ReadLineOf(own + "/removable");
    if (flag.empty())
        flag = ReadLineOf(own + "/../removable");
    return flag == "1";
}

// /proc/self/mounts escapes blanks in paths as octal.
std::string UnescapeMountField(const std::string& field)
{
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() + 0 && std::isdigit(static_cast<unsigned char>(field[i + 1]))) {
            out += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

} // namespace

QMimeData* BrowserDragData(TDragSource Source, const std::string& File)
{
    auto* mime = new QMimeData;
    const QString what = Source == TDragSource::Panel1   ? "Panel1"
                         : Source == TDragSource::Panel2 ? "Panel2"
                         : Source == TDragSource::FileItem ? "file:" + QString::fromStdString(File)
                                                           : QString();
    mime->setData(DragMime, what.toUtf8());
    return mime;
}

std::vector<TDrive> MountedDrives(const std::string& mountTable)
{
    std::vector<TDrive> drives;
    const auto listed = [&](const std::string& point) {
        return std::any_of(drives.begin(), drives.end(), [&](const TDrive& d) { return d.MountPoint == point; });
    };
    std::ifstream mounts(mountTable);
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string device, mountPoint, type;
        if (!(fields >> device >> mountPoint >> type))
            continue;
        mountPoint = UnescapeMountField(mountPoint);
        if (IsPseudoFileSystem(type) || mountPoint.rfind("/proc", 0) == 0 || mountPoint.rfind("/sys", 0) == 0 ||
            mountPoint.rfind("/dev", 0) == 0 || mountPoint.rfind("/run", 0) == 0)
            continue;
        if (listed(mountPoint))
            continue;
        TDrive drive;
        drive.MountPoint = mountPoint;
        const bool optical = type == "iso9660" || type == "udf" || device.rfind("/dev/sr", 0) == 0;
        if (IsNetworkFileSystem(type))
            drive.Type = TDrive::Network;
        else if (!optical && IsRemovableDevice(device))
            drive.Type = TDrive::Floppy;
        drives.push_back(drive);
    }
    if (!listed("/"))
        drives.push_back(TDrive{"/", TDrive::Fixed});
    std::sort(drives.begin(), drives.end(), [](const TDrive& a, const TDrive& b) { return a.MountPoint < b.MountPoint; });
    return drives;
}

// --- Editor lines for the print job ----------------------------------------

int TEditorLines::Count() const
{
    const QTextDocument* doc = FPlain ? FPlain->document() : FRich->document();
    return doc->blockCount();
}

std::string TEditorLines::Line(int index) const
{
    const QTextDocument* doc = FPlain ? FPlain->document() : FRich->document();
    QString text = doc->findBlockByNumber(index).text();
    text.replace(QChar::LineSeparator, ' ');
    return text.toStdString();
}

// --- Folder list -------------------------------------------------------------

TFolderListView::TFolderListView(TVelmWindow* Owner) : QListWidget(Owner), FOwner(Owner)
{
    setAcceptDrops(true);
    connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        SetDirectory(item->data(Qt::UserRole).toString().toStdString());
    });
}

bool TFolderListView::SetDirectory(const std::string& Folder)
{
    QDir dir(QString::fromStdString(Folder));
    if (!dir.exists() || !dir.isReadable())
        return false;
    const QString path = dir.canonicalPath();
    FDirectory = path.toStdString();
    setCurrentDirectory(FDirectory);
    clear();
    // The ancestors from the root down, indented, then the sub-folders.
    QStringList parts = path.split('/', Qt::SkipEmptyParts);
    QString walked;
    auto* root = new QListWidgetItem("/", this);
    root->setData(Qt::UserRole, "/");
    for (int i = 0; i < parts.size(); ++i) {
        walked += "/" + parts[i];
        auto* item = new QListWidgetItem(QString(2 * (i + 1), ' ') + parts[i], this);
        item->setData(Qt::UserRole, walked);
    }
    setCurrentRow(count() - 1);
    const QString indent(2 * (parts.size() + 1), ' ');
    for (const QString& sub : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        auto* item = new QListWidgetItem(indent + sub, this);
        item->setData(Qt::UserRole, dir.filePath(sub));
    }
    emit Changed();
    return true;
}

void TFolderListView::dragEnterEvent(QDragEnterEvent* event) { dragMoveEvent(event); }

void TFolderListView::dragMoveEvent(QDragMoveEvent* event)
{
    Answer(event, FOwner->DirectoryListBox1DragOver(DragSourceOf(event->mimeData()), event->position().toPoint().x()));
}

void TFolderListView::dragLeaveEvent(QDragLeaveEvent*) { FOwner->EndSplitLine(); }

void TFolderListView::dropEvent(QDropEvent* event)
{
    FOwner->DirectoryListBox1DragDrop(DragSourceOf(event->mimeData()), event->position().toPoint().x());
    event->acceptProposedAction();
}

// --- File list ----------------------------------------------------------------

TFileListView::TFileListView(TVelmWindow* Owner) : QListWidget(Owner), FOwner(Owner)
{
    setAcceptDrops(true);
    setSortingEnabled(false);
}

void TFileListView::SetDirectory(const std::string& Folder)
{
    FDirectory = Folder;
    Update();
}

void TFileListView::SetMask(const std::string& Mask)
{
    FMask = Mask.empty() ? "*.*" : Mask;
    Update();
}

std::string TFileListView::FileName() const
{
    const QListWidgetItem* item = currentItem();
    if (!item || !item->isSelected())
        return {};
    return joinPath(FDirectory, item->text().toStdString());
}

void TFileListView::Update()
{
    const QSignalBlocker quiet(this);
    clear();
    QDir dir(QString::fromStdString(FDirectory));
    // "*.*" means every file, with or without a dot, as the mask always did.
    const QString mask = QString::fromStdString(FMask);
    const QStringList patterns = mask == "*.*" ? QStringList{"*"} : mask.split(';', Qt::SkipEmptyParts);
    dir.setNameFilters(patterns);
    dir.setFilter(QDir::Files | QDir::Hidden | QDir::System);
    dir.setSorting(QDir::Name);
    for (const QString& name : dir.entryList())
        addItem(name);
}

void TFileListView::mousePressEvent(QMouseEvent* event)
{
    QListWidget::mousePressEvent(event);
    FDragged.clear();
    if (event->button() == Qt::LeftButton) {
        if (QListWidgetItem* item = itemAt(event->position().toPoint())) {
            FDragged = joinPath(FDirectory, item->text().toStdString());
            FPressPos = event->position().toPoint();
        }
    }
}

void TFileListView::mouseMoveEvent(QMouseEvent* event)
{
    if (!FDragged.empty() && (event->buttons() & Qt::LeftButton) &&
        (event->position().toPoint() - FPressPos).manhattanLength() >= QApplication::startDragDistance()) {
        const std::string dragged = std::exchange(FDragged, {});
        StartDrag(this, TDragSource::FileItem, dragged);
        return;
    }
    QListWidget::mouseMoveEvent(event);
}

void TFileListView::dragEnterEvent(QDragEnterEvent* event) { dragMoveEvent(event); }

void TFileListView::dragMoveEvent(QDragMoveEvent* event)
{
    Answer(event, FOwner->FileListDragOver(DragSourceOf(event->mimeData()), event->position().toPoint().x()));
}

void TFileListView::dragLeaveEvent(QDragLeaveEvent*) { FOwner->EndSplitLine(); }

void TFileListView::dropEvent(QDropEvent* event)
{
    std::string file;
    const TDragSource source = DragSourceOf(event->mimeData(), &file);
    FOwner->FileListDragDrop(source, event->position().toPoint().x(), file);
    event->acceptProposedAction();
}

// --- Save dialog -------------------------------------------------------------

bool TSaveDialog::Execute(QWidget* Parent)
{
    QFileDialog dialog(Parent, "Save As");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // Saving replaces an existing file without asking, as Save does.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    // "Description|Pattern|..." pairs become the dialog's name filters.
    const QStringList parts = QString::fromStdString(Filter).split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        filters << (parts[i].contains('(') ? parts[i] : parts[i] + " (" + parts[i + 1] + ")");
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    dialog.selectFile(QString::fromStdString(FileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    FileName = dialog.selectedFiles().constFirst().toStdString();
    return true;
}

// --- The window ----------------------------------------------------------------

TVelmWindow::TVelmWindow(QWidget* parent)
    : QMainWindow(parent), FMemoLines(static_cast<const QPlainTextEdit*>(nullptr)),
      FHtmlLines(static_cast<const QPlainTextEdit*>(nullptr))
{
    VelmWindow = this;
    setWindowTitle("VelmWindow");
    setAcceptDrops(true);
    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    CreateTopBar();
    column->addWidget(SpeedPanel);
    auto* middle = new QHBoxLayout;
    middle->setSpacing(0);
    CreateLeftSide();
    middle->addWidget(DirectoryListBox1);
    middle->addWidget(Panel1);
    middle->addWidget(FileList);
    middle->addWidget(Panel2);
    auto* viewer = new QVBoxLayout;
    viewer->setSpacing(0);
    CreateRichTextBar();
    CreateViewer();
    viewer->addWidget(Panel3);
    viewer->addWidget(Notebook1, 1);
    viewer->addWidget(TabSet1);
    middle->addLayout(viewer, 1);
    column->addLayout(middle, 1);
    CreateBottom();
    column->addWidget(DriveTabSet);
    CreateMenus();
    FSplitLine = new QFrame(central);
    FSplitLine->setStyleSheet("background: black");
    FSplitLine->hide();
    FMemoLines = TEditorLines(MemoRich);
    FHtmlLines = TEditorLines(MemoHTML);
    SetJobDesignValues();
    ChangeDlg = new TChangeDlg(this);
    resize(656, 635);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    FormCreate();
}

TVelmWindow::~TVelmWindow()
{
    if (VelmWindow == this)
        VelmWindow = nullptr;
}

void TVelmWindow::CreateTopBar()
{
    SpeedPanel = new QWidget(this);
    SpeedPanel->setFixedHeight(33);
    auto* row = new QHBoxLayout(SpeedPanel);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(2);
    WindowList = new QComboBox(SpeedPanel);
    WindowList->setEditable(true);
    WindowList->setInsertPolicy(QComboBox::NoInsert);
    WindowList->setFixedWidth(301);
    WindowList->setMaxVisibleItems(18);
    WindowList->setToolTip("Select file to view");
    connect(WindowList, qOverload<int>(&QComboBox::activated), this, &TVelmWindow::WindowListChange);
    BitBtn1 = new QToolButton(SpeedPanel);
    BitBtn1->setText("Clear");
    connect(BitBtn1, &QToolButton::clicked, this, &TVelmWindow::BitBtn1Click);
    Fixed = new QLabel(SpeedPanel);
    Network = new QLabel(SpeedPanel);
    Floppy = new QLabel(SpeedPanel);
    Fixed->setPixmap(DrivePicture(TDrive::Fixed));
    Network->setPixmap(DrivePicture(TDrive::Network));
    Floppy->setPixmap(DrivePicture(TDrive::Floppy));
    for (QLabel* picture : {Fixed, Network, Floppy})
        picture->hide();
    Left = new QToolButton(SpeedPanel);
    Left->setArrowType(Qt::LeftArrow);
    Left->setToolTip("Move to Previous File");
    connect(Left, &QToolButton::clicked, this, &TVelmWindow::LeftClick);
    Right = new QToolButton(SpeedPanel);
    Right->setArrowType(Qt::RightArrow);
    Right->setToolTip("Move To Next File");
    connect(Right, &QToolButton::clicked, this, &TVelmWindow::RightClick);
    ComboBox2 = new QComboBox(SpeedPanel);
    ComboBox2->setEditable(true);
    ComboBox2->setInsertPolicy(QComboBox::NoInsert);
    ComboBox2->setToolTip("Select file specification");
    QStringList specs{"*.*", "*.bat", "*.bat", "*.bmp", "*.c", "*.cpp", "*.exe", "*.htm",
                      "*.ico", "*.pas", "*.rtf", "*.txt", "*.wmf"};
    specs.sort();
    ComboBox2->addItems(specs);
    ComboBox2->setCurrentText("*.*");
    connect(ComboBox2, &QComboBox::currentTextChanged, this, &TVelmWindow::ComboBox2Change);
    Panel7 = new QFrame(SpeedPanel);
    Panel7->setFixedSize(35, 20);
    Notebook2 = new QStackedWidget(Panel7);
    Notebook2->setGeometry(0, 0, 35, 20);
    const char* const hints[] = {"View/Print 1 Column wide", "View/Print 2 Columns wide",
                                 "View/Print 3 Columns wide", "View/Print 4 Columns wide"};
    for (int i = 0; i < 4; ++i) {
        Cols[i] = new QToolButton(Notebook2);
        Cols[i]->setObjectName(QString("Cols%1").arg(i + 1));
        Cols[i]->setIcon(ColumnsPicture(i + 1));
        Cols[i]->setIconSize(QSize(35, 20));
        Cols[i]->setAutoRaise(true);
        Cols[i]->setToolTip(hints[i]);
        connect(Cols[i], &QToolButton::clicked, this, &TVelmWindow::Cols1Click);
        Notebook2->addWidget(Cols[i]);
    }
    Preview = new QToolButton(SpeedPanel);
    Preview->setText("Preview");
    Preview->setToolTip("Drag a file onto button to view or Press button to View");
    Preview->setAcceptDrops(true);
    Preview->installEventFilter(this);
    connect(Preview, &QToolButton::clicked, this, &TVelmWindow::PreviewClick);
    Print = new QToolButton(SpeedPanel);
    Print->setText("Print");
    Print->setToolTip("Drag a file onto button to print or press button to print");
    Print->setAcceptDrops(true);
    Print->installEventFilter(this);
    connect(Print, &QToolButton::clicked, this, &TVelmWindow::PrintClick);
    for (QWidget* w : std::initializer_list<QWidget*>{WindowList, BitBtn1, Left, Right, ComboBox2, Panel7,
                                                        Preview, Print})
        row->addWidget(w);
    row->addStretch(1);
}

void TVelmWindow::CreateLeftSide()
{
    DirectoryListBox1 = new TFolderListView(this);
    DirectoryListBox1->setFixedWidth(113);
    connect(DirectoryListBox1, &TFolderListView::Changed, this, &TVelmWindow::DirectoryListBox1Change);
    FileList = new TFileListView(this);
    FileList->setFixedWidth(141);
    connect(FileList, &QListWidget::itemDoubleClicked, this, &TVelmWindow::FileListDblClick);
    connect(FileList, &QListWidget::currentRowChanged, this, &TVelmWindow::FileListChange);
    const auto bar = [this](const char* name) {
        auto* panel = new QFrame(this);
        panel->setObjectName(name);
        panel->setFixedWidth(3);
        panel->setFrameShape(QFrame::VLine);
        panel->setCursor(Qt::SplitHCursor);
        panel->installEventFilter(this);
        return panel;
    };
    Panel1 = bar("Panel1");
    Panel2 = bar("Panel2");
}

void TVelmWindow::CreateRichTextBar()
{
    Panel3 = new QWidget(this);
    auto* row = new QHBoxLayout(Panel3);
    row->setContentsMargins(2, 1, 2, 1);
    row->setSpacing(1);
    FontName = new QComboBox(Panel3);
    FontName->addItems(ScreenFontNames());
    // Rich text starts in "Times New Roman", 12 points: show the face that serves it.
    FontName->setCurrentText(QFontInfo(QFont("Times New Roman")).family());
    FontName->setMinimumWidth(140);
    connect(FontName, qOverload<int>(&QComboBox::activated), this, &TVelmWindow::FontNameChange);
    FontSize = new QLineEdit("12", Panel3);
    FontSize->setFixedWidth(32);
    connect(FontSize, &QLineEdit::textEdited, this, &TVelmWindow::FontSizeChange);
    UpDown1Up = new QToolButton(Panel3);
    UpDown1Up->setArrowType(Qt::UpArrow);
    UpDown1Down = new QToolButton(Panel3);
    UpDown1Down->setArrowType(Qt::DownArrow);
    connect(UpDown1Up, &QToolButton::clicked, this, [this] { UpDown1Click(1); });
    connect(UpDown1Down, &QToolButton::clicked, this, [this] { UpDown1Click(-1); });
    const auto toggle = [this](const QIcon& icon, const char* name) {
        auto* button = new QToolButton(Panel3);
        button->setObjectName(name);
        button->setIcon(icon);
        button->setCheckable(true);
        button->setAutoRaise(true);
        return button;
    };
    LeftAlign = toggle(AlignIcon(Qt::AlignLeft), "LeftAlign");
    LeftAlign->setProperty("Tag", 0);
    CenterAlign = toggle(AlignIcon(Qt::AlignHCenter), "CenterAlign");
    CenterAlign->setProperty("Tag", 2);
    RightAlign = toggle(AlignIcon(Qt::AlignRight), "RightAlign");
    RightAlign->setProperty("Tag", 1);
    for (QToolButton* b : {LeftAlign, CenterAlign, RightAlign})
        connect(b, &QToolButton::clicked, this, [this, b] { AlignButtonClick(b); });
    BoldButton = toggle(TextIcon("B", true, false, false), "BoldButton");
    ItalicButton = toggle(TextIcon("I", false, true, false), "ItalicButton");
    UnderlineButton = toggle(TextIcon("U", false, false, true), "UnderlineButton");
    connect(BoldButton, &QToolButton::clicked, this, &TVelmWindow::BoldButtonClick);
    connect(ItalicButton, &QToolButton::clicked, this, &TVelmWindow::ItalicButtonClick);
    connect(UnderlineButton, &QToolButton::clicked, this, &TVelmWindow::UnderlineButtonClick);
    for (QWidget* w : std::initializer_list<QWidget*>{FontName, FontSize, UpDown1Up, UpDown1Down, LeftAlign,
                                                        CenterAlign, RightAlign, BoldButton, ItalicButton,
                                                        UnderlineButton})
        row->addWidget(w);
    row->addStretch(1);
}

void TVelmWindow::CreateViewer()
{
    Notebook1 = new QStackedWidget(this);
    const auto plain = [this] {
        auto* editor = new QPlainTextEdit(Notebook1);
        editor->setLineWrapMode(QPlainTextEdit::NoWrap);
        editor->setFrameShape(QFrame::NoFrame);
        editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        editor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        editor->setFont(QFont("Courier New", 10));
        editor->viewport()->installEventFilter(this);
        editor->viewport()->setAcceptDrops(true);
        return editor;
    };
    MemoRich = plain();
    MemoHTML = plain();
    RichEdit2 = new QTextEdit(Notebook1);
    RichEdit2->setAcceptRichText(true);
    RichEdit2->setFrameShape(QFrame::NoFrame);
    RichEdit2->viewport()->installEventFilter(this);
    ImagePage = new QScrollArea(Notebook1);
    Image1 = new QLabel;
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ImagePage->setWidget(Image1);
    ImagePage->setWidgetResizable(true);
    ImagePage->viewport()->installEventFilter(this);
    ImagePage->viewport()->setAcceptDrops(true);
    Notebook1->addWidget(MemoRich);
    Notebook1->addWidget(MemoHTML);
    Notebook1->addWidget(RichEdit2);
    Notebook1->addWidget(ImagePage);
    TabSet1 = new QTabBar(this);
    TabSet1->setShape(QTabBar::RoundedSouth);
    // A click on the tab in front shows its page again (and its file name).
    connect(TabSet1, &QTabBar::tabBarClicked, this, [this](int index) {
        if (index >= 0 && index == TabSet1->currentIndex())
            ShowActivePage();
    });
    connect(TabSet1, &QTabBar::currentChanged, this, &TVelmWindow::TabSet1Change);
}

void TVelmWindow::CreateBottom()
{
    DriveTabSet = new QTabBar(this);
    DriveTabSet->setShape(QTabBar::RoundedSouth);
    DriveTabSet->setAutoFillBackground(true);
    DriveTabSet->setStyleSheet("QTabBar { background: #c0c0c0; }");
    DriveTabSet->setIconSize(QSize(16, 9));
    DriveTabSet->setExpanding(false);
    DriveTabSet->setDrawBase(false);
    connect(DriveTabSet, &QTabBar::tabBarClicked, this, &TVelmWindow::DriveTabSetClick);
    Label1 = new QLabel(this);
    Label1->setFixedWidth(320);
    Label2 = new QLabel(this);
    statusBar()->addWidget(Label1);
    statusBar()->addWidget(Label2, 1);
}

void TVelmWindow::CreateMenus()
{
    const auto item = [this](QMenu* menu, const char* caption, auto handler) {
        QAction* action = menu->addAction(caption);
        connect(action, &QAction::triggered, this, [this, handler] { Guarded([&] { handler(); }); });
        return action;
    };
    QMenu* file = menuBar()->addMenu("&File");
    OpenItem = item(file, "&Open", [this] { OpenItemClick(); });
    OpenItem->setShortcut(QKeySequence("Ctrl+O"));
    file->addSeparator();
    Save1 = item(file, "&Save", [this] { Save1Click(); });
    SaveAs1 = item(file, "Save As...", [this] { SaveAs1Click(); });
    file->addSeparator();
    PrintSetup1 = item(file, "Prin&t Setup...", [this] { PrintSetup1Click(); });
    QMenu* preview = file->addMenu("Print Pre&View");
    PrintPreView2 = preview->menuAction();
    TextPreview = item(preview, "&Text", [this] { TextPreviewClick(); });
    HTMLPreview = item(preview, "&HTML", [this] { HTMLPreviewClick(); });
    file->addSeparator();
    QMenu* oneSided = file->addMenu("&1 Sided Printing");
    OneSidedPrinting = oneSided->menuAction();
    OneSidedText = item(oneSided, "&Text", [this] { PrintSidedPage("ASCII", pAll); });
    OneSidedHTML = item(oneSided, "&HTML", [this] { PrintSidedPage("HTML", pAll); });
    QMenu* twoSided = file->addMenu("&2 Sided Printing");
    TwoSidedPrinting = twoSided->menuAction();
    QMenu* twoText = twoSided->addMenu("&Text");
    TwoSidedText = twoText->menuAction();
    TwoSidedTextOdd = item(twoText, "&Odd Pages", [this] { PrintSidedPage("ASCII", pOdd); });
    TwoSidedTextEven = item(twoText, "&Even Pages", [this] { PrintSidedPage("ASCII", pEven); });
    QMenu* twoHtml = twoSided->addMenu("&HTML");
    TwoSidedHTML = twoHtml->menuAction();
    TwoSidedHTMLOdd = item(twoHtml, "&Odd Pages", [this] { PrintSidedPage("HTML", pOdd); });
    TwoSidedHTMLEven = item(twoHtml, "&Even Pages", [this] { PrintSidedPage("HTML", pEven); });
    file->addSeparator();
    Exit1 = item(file, "E&xit", [this] { Exit1Click(); });

    QMenu* edit = menuBar()->addMenu("&Edit");
    Copy1 = item(edit, "&Copy", [this] { FileChange(Copy1); });
    Move1 = item(edit, "&Move", [this] { Move1Click(); });
    Delete1 = item(edit, "&Delete", [this] { Delete1Click(); });
    Delete1->setShortcut(QKeySequence(Qt::Key_Delete));
    // Del deletes a file only from the file list; in an editor it deletes text.
    Delete1->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    FileList->addAction(Delete1);
    Rename1 = item(edit, "&Rename", [this] { Rename1Click(); });

    QMenu* options = menuBar()->addMenu("&Options");
    // A checkable action toggles its own check mark when chosen.
    AutoView1 = options->addAction("&AutoView");
    AutoView1->setShortcut(QKeySequence(Qt::Key_F7));
    AutoView1->setCheckable(true);
    Font1 = item(options, "&Font", [this] { Font1Click(); });

    QMenu* help = menuBar()->addMenu("&Help");
    About2 = item(help, "&About...", [this] { About2Click(); });
}

void TVelmWindow::SetJobDesignValues()
{
    SetToolbarJobDesignValues(PrintFile1);
    PrintFile1.FrameStyleTop = frDoubleThickThin;
}

template <class F> void TVelmWindow::Guarded(F&& Command)
{
    try {
        Command();
    } catch (const std::exception& e) {
        ShowErrorBox(e.what());
    }
}

void TVelmWindow::FormCreate()
{
    FTextLoaded = FBitmapLoaded = false;
    FCurrentFile.clear();
    BuildDriveTabs();
    for (const char* name : PageNames)
        TabSet1->addTab(name);
    {
        const QSignalBlocker quiet(TabSet1);
        TabSet1->setCurrentIndex(2);
    }
    Notebook1->setCurrentIndex(2);
    SetRichToolBarEnabled(true);
    FAsciiFile.clear();
    FHtmlFile.clear();
    FRtfFile.clear();
    FBmpFile.clear();
    DirectoryListBox1->SetDirectory(currentDirectory());
    MarkEditorsUnmodified();
    UpdateStatus(true);
    MarkEditorsUnmodified();
}

void TVelmWindow::BuildDriveTabs()
{
    FDrives = MountedDrives();
    const std::string current = currentDirectory();
    int selected = -1;
    std::size_t longest = 0;
    for (const TDrive& drive : FDrives) {
        const QLabel* picture = drive.Type == TDrive::Floppy ? Floppy : drive.Type == TDrive::Network ? Network : Fixed;
        const int index = DriveTabSet->addTab(picture->pixmap(), QString::fromStdString(drive.MountPoint));
        const std::string& m = drive.MountPoint;
        const bool contains = current == m || current.rfind(m == "/" ? m : m + "/", 0) == 0;
        if (contains && m.size() >= longest) {
            longest = m.size();
            selected = index;
        }
    }
    if (selected >= 0)
        DriveTabSet->setCurrentIndex(selected);
}

void TVelmWindow::MarkEditorsUnmodified()
{
    MemoRich->document()->setModified(false);
    MemoHTML->document()->setModified(false);
    RichEdit2->document()->setModified(false);
}

// --- Opening files -------------------------------------------------------------

std::string TVelmWindow::ViewerPageFor(const std::string& FileName)
{
    const std::string ext = ExtensionOf(FileName);
    if (ext == ".BMP" || ext == ".WMF" || ext == ".ICO")
        return "BMP";
    if (ext == ".RTF")
        return "RTF";
    if (ext == ".HTM" || ext == ".HTML")
        return "HTML";
    if (ext == ".EXE" || ext == ".HLP")
        return {};
    return "ASCII";
}

std::string TVelmWindow::ActivePage() const { return PageNames[std::clamp(Notebook1->currentIndex(), 0, 3)]; }

void TVelmWindow::SetActivePage(const std::string& Page)
{
    for (int i = 0; i < 4; ++i)
        if (Page == PageNames[i])
            Notebook1->setCurrentIndex(i);
}

void TVelmWindow::CheckUnsavedChanges(const std::string& FileName)
{
    const std::string page = ViewerPageFor(FileName);
    if (page.empty())
        return;
    SetActivePage(page);
    // Save As starts from the page's own file, never from a file another
    // page showed last, so an edited text cannot be offered over a picture.
    const auto offer = [this](QTextDocument* document, const std::string& pageFile) {
        if (!document->isModified())
            return;
        Label2->setText(QString::fromStdString(pageFile));
        SaveAs1Click();
        document->setModified(false);
    };
    if (page == "ASCII")
        offer(MemoRich->document(), FAsciiFile);
    else if (page == "RTF")
        offer(RichEdit2->document(), FRtfFile);
    else if (page == "HTML")
        offer(MemoHTML->document(), FHtmlFile);
}

void TVelmWindow::OpenFile(const std::string& FileName, bool AddToHistory)
{
    CheckUnsavedChanges(FileName);
    FCurrentFile = FShownFile = FileName;
    if (AddToHistory) {
        const int found = FindInHistory(FileName);
        if (found < 0) {
            WindowList->addItem(QString::fromStdString(FileName));
            WindowList->setCurrentIndex(WindowList->count() - 1);
        } else {
            WindowList->setCurrentIndex(found);
        }
    }
    const std::string ext = ExtensionOf(FileName);
    if (ext == ".EXE") {
        QProcess::startDetached(QString::fromStdString(FileName), {});
        return;
    }
    if (ext == ".HLP") {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(FileName)));
        return;
    }
    const std::string page = ViewerPageFor(FileName);
    SetActivePage(page);
    Guarded([&] {
        const QString shown = QString::fromStdString(FileName);
        if (page == "BMP") {
            LoadPicture(FileName);
            Label2->setText(shown);
            FBitmapLoaded = ext == ".BMP";
            FBmpFile = FileName;
        } else if (page == "RTF") {
            LoadRichText(*RichEdit2->document(), ReadWholeFile(FileName));
            Label2->setText(shown);
            FRtfFile = FileName;
            RichEdit2->document()->setModified(false);
        } else if (page == "HTML") {
            MemoHTML->setPlainText(PlainTextOf(ReadWholeFile(FileName)));
            Label2->setText(shown);
            FHtmlFile = FileName;
            MemoHTML->document()->setModified(false);
        } else {
            MemoRich->setPlainText(PlainTextOf(ReadWholeFile(FileName)));
            Label2->setText(shown);
            FTextLoaded = true;
            FAsciiFile = FileName;
            MemoRich->document()->setModified(false);
        }
        UpdatePrintMenus();
    });
}

void TVelmWindow::LoadPicture(const std::string& FileName)
{
    QImage image;
    if (ExtensionOf(FileName) == ".WMF") {
        image = renderWmfPicture(ReadWholeFile(FileName));
    } else {
        QImageReader reader(QString::fromStdString(FileName));
        reader.setDecideFormatFromContent(true);
        image = reader.read();
        if (image.isNull())
            throw FileError(format("Cannot load picture %s: %s", FileName.c_str(),
                                   reader.errorString().toStdString().c_str()));
    }
    Image1->setPixmap(QPixmap::fromImage(image));
}

void TVelmWindow::FileListDblClick()
{
    const std::string file = FileList->FileName();
    if (!file.empty())
        OpenFile(file, true);
}

void TVelmWindow::FileListChange()
{
    const std::string file = FileList->FileName();
    if (AutoView1->isChecked() && !file.empty())
        OpenFile(file, false);
}

void TVelmWindow::OpenItemClick()
{
    QFileDialog dialog(this, "Open");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix("");
    // The descriptions alone show; the patterns behind them also match
    // lower-case names.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters({"All Files (*.*) (*)", "Bitmap Files (*.BMP) (*.BMP *.bmp)",
                           "HTML Files (*.HTM) (*.HTM *.htm)", "Text Files (*.TXT) (*.TXT *.txt)",
                           "DBF Files (*.DBF) (*.DBF *.dbf)", "DB Files (*.DB) (*.DB *.db)",
                           "BAT Files (*.BAT) (*.BAT *.bat)", "INI Files (*.INI) (*.INI *.ini)",
                           "Pascal Files (*.PAS) (*.PAS *.pas)", "C Files (*.C) (*.C *.c)",
                           "C++ Files (*.CPP) (*.CPP *.cpp)"});
    dialog.setDirectory(QString::fromStdString(currentDirectory()));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        OpenFile(dialog.selectedFiles().constFirst().toStdString(), true);
}

// --- History ---------------------------------------------------------------------

int TVelmWindow::FindInHistory(const std::string& FileName) const
{
    return WindowList->findText(QString::fromStdString(FileName), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

bool TVelmWindow::SameFileGroup(const std::string& A, const std::string& B)
{
    if (A == B)
        return true;
    const auto group = [](const std::string& ext) {
        if (ext == ".BMP" || ext == ".WMF" || ext == ".ICO")
            return 1;
        if (ext == ".DBF" || ext == ".DB")
            return 2;
        if (ext == ".RTF")
            return 3;
        if (ext == ".HTM" || ext == ".HTML")
            return 4;
        return 0;
    };
    return group(A) == group(B);
}

bool TVelmWindow::TryHistoryEntry(const std::string& Extension, const std::string& Entry, int Index)
{
    if (Entry.empty() || !SameFileGroup(Extension, ExtensionOf(Entry)))
        return false;
    WindowList->setCurrentIndex(Index);
    OpenFile(Entry, false);
    return true;
}

void TVelmWindow::StepHistory(bool Forward)
{
    const std::string current = Label2->text().toStdString();
    const std::string ext = ExtensionOf(current);
    const int n = WindowList->count();
    const int i = FindInHistory(current);
    // Entries after (or before) the current one first, then round from the other end.
    for (int step = 1; step <= n; ++step) {
        const int index = i < 0 ? (Forward ? step - 1 : n - step) : ((i + (Forward ? step : -step)) % n + n) % n;
        if (index == i)
            break;
        if (TryHistoryEntry(ext, WindowList->itemText(index).toStdString(), index))
            return;
    }
}

void TVelmWindow::LeftClick() { StepHistory(false); }
void TVelmWindow::RightClick() { StepHistory(true); }

void TVelmWindow::WindowListChange(int Index)
{
    if (Index >= 0)
        OpenFile(WindowList->itemText(Index).toStdString(), false);
}

void TVelmWindow::BitBtn1Click()
{
    WindowList->clear();
    WindowList->setEditText({});
}

// --- Folders, drives, pages ---------------------------------------------------------

void TVelmWindow::ComboBox2Change() { FileList->SetMask(ComboBox2->currentText().toStdString()); }

void TVelmWindow::DirectoryListBox1Change() { FileList->SetDirectory(DirectoryListBox1->Directory()); }

void TVelmWindow::DriveTabSetClick(int Index)
{
    if (Index < 0 || Index >= static_cast<int>(FDrives.size()))
        return;
    if (!DirectoryListBox1->SetDirectory(FDrives[static_cast<std::size_t>(Index)].MountPoint))
        ShowErrorBox("Cannot find directory " + FDrives[static_cast<std::size_t>(Index)].MountPoint);
    UpdateStatus(false);
}

void TVelmWindow::TabSet1Change(int Index)
{
    if (Index >= 0)
        ShowActivePage();
}

void TVelmWindow::SetRichToolBarEnabled(bool Enabled)
{
    for (QWidget* w : std::initializer_list<QWidget*>{FontName, FontSize, UpDown1Up, UpDown1Down, BoldButton,
                                                        ItalicButton, UnderlineButton, LeftAlign, CenterAlign,
                                                        RightAlign})
        w->setEnabled(Enabled);
}

void TVelmWindow::ShowActivePage()
{
    const int index = TabSet1->currentIndex();
    Notebook1->setCurrentIndex(index);
    SetRichToolBarEnabled(false);
    const std::string* files[] = {&FAsciiFile, &FHtmlFile, &FRtfFile, &FBmpFile};
    Label2->setText(QString::fromStdString(*files[std::clamp(index, 0, 3)]));
    if (index == 2)
        SetRichToolBarEnabled(true);
    FCurrentFile = Label2->text().toStdString();
}

void TVelmWindow::UpdatePrintMenus()
{
    QAction* all[] = {PrintPreView2, TextPreview, HTMLPreview, OneSidedPrinting, OneSidedText, OneSidedHTML,
                      TwoSidedPrinting, TwoSidedText, TwoSidedTextOdd, TwoSidedTextEven, TwoSidedHTML,
                      TwoSidedHTMLOdd, TwoSidedHTMLEven};
    for (QAction* a : all)
        a->setEnabled(FTextLoaded);
    if (FBitmapLoaded) {
        PrintPreView2->setEnabled(true);
        OneSidedPrinting->setEnabled(true);
    }
    TabSet1->setCurrentIndex(Notebook1->currentIndex());
}

void TVelmWindow::UpdateStatus(bool PickColumns)
{
    double freeBytes = -1, totalBytes = -1;
    struct statvfs fs {};
    if (statvfs(currentDirectory().c_str(), &fs) == 0) {
        freeBytes = static_cast<double>(fs.f_bavail) * static_cast<double>(fs.f_frsize);
        totalBytes = static_cast<double>(fs.f_blocks) * static_cast<double>(fs.f_frsize);
    }
    Label1->setText(QString::fromStdString("  " + formatFixed(freeBytes / 1048576.0, 2) + " MB Free, " +
                                           formatFixed(totalBytes / 1048576.0, 2) + " MB Total"));
    if (PickColumns) {
        const int count = SettingsFile().readInteger("Velm", "ColCount", 0);
        if (count >= 0 && count <= 3)
            Notebook2->setCurrentIndex(count);
    }
}

void TVelmWindow::FormActivate()
{
    UpdateStatus(false);
    MarkEditorsUnmodified();
}

void TVelmWindow::Font1Click()
{
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, MemoRich->font(), this, "Font",
                                            QFontDialog::DontUseNativeDialog);
    const QFont chosen = ok ? font : MemoRich->font();
    MemoRich->setFont(chosen);
    MemoHTML->setFont(chosen);
}

void TVelmWindow::PrintSetup1Click() { TPrinterSetupDialog(this).Execute(); }

void TVelmWindow::About2Click() { TAboutBox(this).exec(); }

void TVelmWindow::Exit1Click() { hide(); }

void TVelmWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    hide();
}

bool TVelmWindow::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate)
        FormActivate();
    return QMainWindow::event(e);
}

// --- Split bars and drags ------------------------------------------------------------

void TVelmWindow::ShowSplitLine(QWidget* Over, int X, bool Visible)
{
    FSplitControl = Over;
    FSplitX = X;
    if (!Visible) {
        FSplitLine->hide();
        return;
    }
    const int x = Over->mapTo(centralWidget(), QPoint(X, 0)).x();
    FSplitLine->setGeometry(x - 1, 0, 3, centralWidget()->height());
    FSplitLine->show();
    FSplitLine->raise();
}

void TVelmWindow::EndSplitLine()
{
    FSplitLine->hide();
    FSplitX = -10;
    FSplitControl = nullptr;
}

bool TVelmWindow::DirectoryListBox1DragOver(TDragSource Source, int X)
{
    if (Source == TDragSource::Panel1 && X > SplitRefuseX) {
        ShowSplitLine(DirectoryListBox1, X, true);
        return true;
    }
    EndSplitLine();
    return Source == TDragSource::FileItem;
}

void TVelmWindow::DirectoryListBox1DragDrop(TDragSource Source, int X)
{
    EndSplitLine();
    if (Source == TDragSource::Panel1 && X > SplitRefuseX)
        DirectoryListBox1->setFixedWidth(X);
}

bool TVelmWindow::FileListDragOver(TDragSource Source, int X)
{
    if (Source == TDragSource::Panel1 || Source == TDragSource::Panel2) {
        ShowSplitLine(FileList, X, true);
        return true;
    }
    EndSplitLine();
    return Source == TDragSource::FileItem;
}

void TVelmWindow::FileListDragDrop(TDragSource Source, int X, const std::string&)
{
    EndSplitLine();
    if (Source == TDragSource::Panel1)
        DirectoryListBox1->setFixedWidth(std::max(1, DirectoryListBox1->width() + X));
    else if (Source == TDragSource::Panel2)
        FileList->setFixedWidth(std::max(1, X));
}

bool TVelmWindow::AllDragOver(QWidget* Over, TDragSource Source, int X)
{
    if (Source == TDragSource::Panel2) {
        // Over the editors the position is only tracked; the picture shows the line.
        ShowSplitLine(Over, X, Over == ImagePage->viewport());
        return true;
    }
    EndSplitLine();
    return Source == TDragSource::FileItem;
}

void TVelmWindow::AllDragDrop(TDragSource Source, int X, const std::string& File)
{
    EndSplitLine();
    if (Source == TDragSource::Panel2)
        FileList->setFixedWidth(std::max(1, FileList->width() + X));
    else if (Source == TDragSource::FileItem)
        OpenFile(File, true);
}

bool TVelmWindow::eventFilter(QObject* watched, QEvent* e)
{
    if ((watched == Panel1 || watched == Panel2) && e->type() == QEvent::MouseButtonPress) {
        StartDrag(static_cast<QWidget*>(watched), watched == Panel1 ? TDragSource::Panel1 : TDragSource::Panel2);
        return true;
    }
    const bool dragEvent = e->type() == QEvent::DragEnter || e->type() == QEvent::DragMove ||
                           e->type() == QEvent::Drop || e->type() == QEvent::DragLeave;
    if (!dragEvent)
        return QMainWindow::eventFilter(watched, e);
    auto* widget = static_cast<QWidget*>(watched);
    if (e->type() == QEvent::DragLeave) {
        EndSplitLine();
        return false;
    }
    auto* drag = static_cast<QDropEvent*>(e);
    std::string file;
    const TDragSource source = DragSourceOf(drag->mimeData(), &file);
    const int x = drag->position().toPoint().x();
    if (watched == Preview || watched == Print) {
        const bool item = source == TDragSource::FileItem;
        if (e->type() != QEvent::Drop) {
            Answer(drag, item);
            return true;
        }
        if (item) {
            drag->acceptProposedAction();
            FCurrentFile = file;
            Guarded([&] { watched == Preview ? PreviewCurrent() : PrintCurrent(); });
        }
        return true;
    }
    // The viewer: our own drags are handled here, anything else goes to the editor.
    if (source == TDragSource::None)
        return false;
    if (e->type() == QEvent::Drop) {
        drag->acceptProposedAction();
        AllDragDrop(source, x, file);
    } else {
        Answer(drag, AllDragOver(widget, source, x));
    }
    return true;
}

// --- Print commands ---------------------------------------------------------------------

int TVelmWindow::ColumnPicture() const { return Notebook2->currentIndex() + 1; }

void TVelmWindow::Cols1Click() { Notebook2->setCurrentIndex(ColumnPicture() % 4); }

void TVelmWindow::ApplyColumns()
{
    static const TPageLayout layouts[] = {pl_1x1, pl_1x2, pl_1x3, pl_1x4};
    PrintFile1.PageLayout = layouts[ColumnPicture() - 1];
    switch (PrintFile1.PageLayout) {
    case pl_1x1: PrintFile1.ContentsFont.SetSize(12); break;
    case pl_1x2: PrintFile1.ContentsFont.SetSize(10); break;
    case pl_1x3: PrintFile1.ContentsFont.SetSize(9); break;
    case pl_1x4: PrintFile1.ContentsFont.SetSize(8); break;
    default: break;
    }
}

namespace {

// Whatever a command does, the job rests at the viewer and all pages afterwards.
struct JobAtRest {
    TPrintFile& job;
    ~JobAtRest()
    {
        job.OutputTo = poViewer;
        job.PagesToPrint = pAll;
    }
};

} // namespace

void TVelmWindow::RunJob(TInput Input)
{
    const JobAtRest rest{PrintFile1};
    PrintFile1.Filename = FCurrentFile;
    if (FCurrentFile.empty()) {
        ShowMessage("No file selected");
        return;
    }
    PrintFile1.HeaderStringCenter = FCurrentFile;
    PrintFile1.Input = Input;
    if (Input == frHTML) {
        PrintFile1.RichEdit = &FHtmlLines;
        PrintFile1.ContentsFont = ToTFont(MemoHTML->font());
    } else {
        PrintFile1.ContentsFont = ToTFont(MemoRich->font());
    }
    ApplyColumns();
    PrintFile1.Execute();
    ProcessMessages();
}

void TVelmWindow::TextPreviewClick() { RunJob(frFile); }
void TVelmWindow::HTMLPreviewClick() { RunJob(frHTML); }

void TVelmWindow::TakePageFile()
{
    if (!FCurrentFile.empty())
        return;
    const std::string page = ActivePage();
    const std::string* file = page == "RTF" ? &FRtfFile : page == "HTML" ? &FHtmlFile : page == "ASCII" ? &FAsciiFile : nullptr;
    if (!file)
        return;
    FCurrentFile = *file;
    Label2->setText(QString::fromStdString(FCurrentFile));
}

namespace {
bool IsPicture(const std::string& ext) { return ext == ".BMP" || ext == ".ICO" || ext == ".WMF"; }
bool IsHtml(const std::string& ext) { return ext == ".HTM" || ext == ".HTML"; }
} // namespace

bool IsHtmlFile(const std::string& FileName) { return IsHtml(ExtensionOf(FileName)); }

void TVelmWindow::PreviewCurrent()
{
    TakePageFile();
    if (FCurrentFile.empty()) {
        ShowMessage("No file selected");
        return;
    }
    PrintFile1.OutputTo = poViewer;
    const std::string ext = ExtensionOf(FCurrentFile);
    if (IsPicture(ext))
        ShowMessage("Files with extension " + ext + " can only be viewed and not printed");
    else if (ext == ".RTF")
        ShowMessage("Files with extension .RTF can only be printed - not viewed");
    else if (IsHtml(ext))
        HTMLPreviewClick();
    else
        TextPreviewClick();
}

void TVelmWindow::PrintCurrent()
{
    const JobAtRest rest{PrintFile1};
    PrintFile1.OutputTo = poPrinter;
    TakePageFile();
    if (FCurrentFile.empty()) {
        ShowMessage("No file selected");
        return;
    }
    const std::string ext = ExtensionOf(FCurrentFile);
    if (IsPicture(ext))
        ShowMessage("Files with extension " + ext + " can only be viewed and not printed");
    else if (ext == ".RTF")
        PrintRichText(FCurrentFile);
    else if (IsHtml(ext))
        HTMLPreviewClick();
    else
        TextPreviewClick();
}

void TVelmWindow::PrintRichText(const std::string& Title)
{
    velm::PrintRichText(*RichEdit2->document(), Printers::instance().selected(), Title);
}

void TVelmWindow::PreviewClick()
{
    FCurrentFile.clear();
    Guarded([this] { PreviewCurrent(); });
}

void TVelmWindow::PrintClick()
{
    FCurrentFile.clear();
    Guarded([this] { PrintCurrent(); });
}

void TVelmWindow::PrintSidedPage(const char* Page, TPagesToPrint Pages)
{
    SetActivePage(Page);
    PrintFile1.PagesToPrint = Pages;
    FCurrentFile.clear();
    PrintCurrent();
}

void TVelmWindow::Save1Click()
{
    const std::string file = Label2->text().toStdString();
    if (file.empty()) {
        ShowMessage("No file selected");
        return;
    }
    const std::string page = ActivePage();
    if (page == "ASCII")
        WriteWholeFile(file, MemoRich->toPlainText().toStdString());
    else if (page == "HTML")
        WriteWholeFile(file, MemoHTML->toPlainText().toStdString());
    else if (page == "RTF")
        WriteWholeFile(file, SaveRichText(*RichEdit2->document()));
}

void TVelmWindow::SaveAs1Click()
{
    const std::string page = ActivePage();
    if (page == "BMP") {
        ShowMessage("File cannot be saved");
        return;
    }
    const std::string shown = Label2->text().toStdString();
    const auto slash = shown.rfind('/');
    const auto dot = shown.rfind('.');
    const bool noExtension = dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
                             dot + 1 == shown.size();
    if (noExtension) {
        if (page == "ASCII")
            SaveDialog1.Filter = "Text Files (*.txt)|*.txt";
        else if (page == "HTML")
            SaveDialog1.Filter = "HTML Files (*.htm)|*.htm";
        else
            SaveDialog1.Filter = "Rich Text Format Files (*.rtf)|*.rtf";
    }
    SaveDialog1.FileName = shown;
    if (!SaveDialog1.Execute(this))
        return;
    Label2->setText(QString::fromStdString(SaveDialog1.FileName));
    Save1Click();
}

// --- Rich-text tool bar ------------------------------------------------------------------

void TVelmWindow::CurrentTextAttributes(const QTextCharFormat& Change)
{
    QTextCursor cursor = RichEdit2->textCursor();
    if (cursor.hasSelection()) {
        cursor.mergeCharFormat(Change);
        return;
    }
    QTextCharFormat next = RichEdit2->currentCharFormat();
    next.merge(Change);
    RichEdit2->setCurrentCharFormat(next);
}

void TVelmWindow::BoldButtonClick()
{
    QTextCharFormat change;
    change.setFontWeight(BoldButton->isChecked() ? QFont::Bold : QFont::Normal);
    CurrentTextAttributes(change);
}

void TVelmWindow::ItalicButtonClick()
{
    QTextCharFormat change;
    change.setFontItalic(ItalicButton->isChecked());
    CurrentTextAttributes(change);
}

void TVelmWindow::UnderlineButtonClick()
{
    QTextCharFormat change;
    change.setFontUnderline(UnderlineButton->isChecked());
    CurrentTextAttributes(change);
}

void TVelmWindow::FontNameChange()
{
    QTextCharFormat change;
    change.setFontFamilies({FontName->currentText()});
    CurrentTextAttributes(change);
}

void TVelmWindow::FontSizeChange()
{
    // A box being emptied while typing is not a size yet.
    if (FontSize->text().trimmed().isEmpty())
        return;
    Guarded([this] {
        const int size = strToInt(FontSize->text().toStdString());
        if (size <= 0)
            return;
        QTextCharFormat change;
        change.setFontPointSize(size);
        CurrentTextAttributes(change);
    });
}

void TVelmWindow::UpDown1Click(int Step)
{
    const int now = strToIntDef(FontSize->text().toStdString(), 0);
    FontSize->setText(QString::number(std::max(0, now + Step)));
    FontSizeChange();
}

void TVelmWindow::AlignButtonClick(QToolButton* Button)
{
    // One of the three down at a time; all up is allowed.
    if (Button->isChecked())
        for (QToolButton* b : {LeftAlign, CenterAlign, RightAlign})
            if (b != Button)
                b->setChecked(false);
    static const Qt::Alignment byTag[] = {Qt::AlignLeft, Qt::AlignRight, Qt::AlignHCenter};
    QTextCursor cursor = RichEdit2->textCursor();
    QTextBlockFormat paragraph;
    paragraph.setAlignment(byTag[std::clamp(Button->property("Tag").toInt(), 0, 2)]);
    cursor.mergeBlockFormat(paragraph);
    RichEdit2->setTextCursor(cursor);
}

} // namespace velm
