#include "shell/BrowserLists.h"

#include "platform/system/files.h"
#include "shell/BrowserDrag.h"
#include "shell/Velmwin.h"

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QMouseEvent>
#include <QScrollBar>

#include <utility>

namespace velm {

// --- Folder list ------------------------------------------------------------

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
    AnswerDrag(event, FOwner->DirectoryListBox1DragOver(DragSourceOf(event->mimeData()), event->position().toPoint().x()));
}

void TFolderListView::dragLeaveEvent(QDragLeaveEvent*) { FOwner->EndSplitLine(); }

void TFolderListView::dropEvent(QDropEvent* event)
{
    FOwner->DirectoryListBox1DragDrop(DragSourceOf(event->mimeData()), event->position().toPoint().x());
    event->acceptProposedAction();
}

// --- File list --------------------------------------------------------------

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
    // A re-read keeps the selected file selected while it is still there.
    const QListWidgetItem* current = currentItem();
    const QString selected = current && current->isSelected() ? current->text() : QString();
    const int scrolled = verticalScrollBar()->value();
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
    if (!selected.isEmpty()) {
        const QList<QListWidgetItem*> same = findItems(selected, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (!same.isEmpty())
            setCurrentItem(same.constFirst());
    }
    verticalScrollBar()->setValue(scrolled);
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
    AnswerDrag(event, FOwner->FileListDragOver(DragSourceOf(event->mimeData()), event->position().toPoint().x()));
}

void TFileListView::dragLeaveEvent(QDragLeaveEvent*) { FOwner->EndSplitLine(); }

void TFileListView::dropEvent(QDropEvent* event)
{
    std::string file;
    const TDragSource source = DragSourceOf(event->mimeData(), &file);
    FOwner->FileListDragDrop(source, event->position().toPoint().x(), file);
    event->acceptProposedAction();
}

} // namespace velm
