#include "shell/Velmwin.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTabBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

namespace velm {

TVelmWindow* VelmWindow = nullptr;

int TEditorLines::Count() const
{
    return FPlain ? FPlain->document()->blockCount() : FRich->document()->blockCount();
}

std::string TEditorLines::Line(int index) const
{
    const QTextDocument* doc = FPlain ? FPlain->document() : FRich->document();
    return doc->findBlockByNumber(index).text().toStdString();
}

TFolderListView::TFolderListView(TVelmWindow* Owner) : QListWidget(Owner), FOwner(Owner) {}
bool TFolderListView::SetDirectory(const std::string& Folder) { FDirectory = Folder; emit Changed(); return true; }
void TFolderListView::dragMoveEvent(QDragMoveEvent* event) { QListWidget::dragMoveEvent(event); }
void TFolderListView::dragEnterEvent(QDragEnterEvent* event) { QListWidget::dragEnterEvent(event); }
void TFolderListView::dragLeaveEvent(QDragLeaveEvent* event) { QListWidget::dragLeaveEvent(event); }
void TFolderListView::dropEvent(QDropEvent* event) { QListWidget::dropEvent(event); }

TFileListView::TFileListView(TVelmWindow* Owner) : QListWidget(Owner), FOwner(Owner) {}
void TFileListView::mousePressEvent(QMouseEvent* event) { QListWidget::mousePressEvent(event); }
void TFileListView::mouseMoveEvent(QMouseEvent* event) { QListWidget::mouseMoveEvent(event); }
void TFileListView::dragEnterEvent(QDragEnterEvent* event) { QListWidget::dragEnterEvent(event); }
void TFileListView::dragMoveEvent(QDragMoveEvent* event) { QListWidget::dragMoveEvent(event); }
void TFileListView::dragLeaveEvent(QDragLeaveEvent* event) { QListWidget::dragLeaveEvent(event); }
void TFileListView::dropEvent(QDropEvent* event) { QListWidget::dropEvent(event); }

TVelmWindow::TVelmWindow(QWidget* parent)
    : QMainWindow(parent), FMemoLines(static_cast<QPlainTextEdit*>(nullptr)),
      FHtmlLines(static_cast<QPlainTextEdit*>(nullptr))
{
    setWindowTitle("VelmWindow");
    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* row = new QHBoxLayout(central);
    DirectoryListBox1 = new TFolderListView(this);
    FileList = new TFileListView(this);
    Notebook1 = new QStackedWidget(central);
    row->addWidget(DirectoryListBox1);
    row->addWidget(FileList);
    row->addWidget(Notebook1, 1);
    resize(656, 635);
    VelmWindow = this;
}

TVelmWindow::~TVelmWindow()
{
    if (VelmWindow == this)
        VelmWindow = nullptr;
}

void TVelmWindow::OpenFile(const std::string& FileName, bool AddToHistory)
{
    (void)AddToHistory;
    FCurrentFile = FShownFile = FileName;
}

void TVelmWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    hide();
}

bool TVelmWindow::event(QEvent* e) { return QMainWindow::event(e); }
bool TVelmWindow::eventFilter(QObject* watched, QEvent* e) { return QMainWindow::eventFilter(watched, e); }

} // namespace velm
