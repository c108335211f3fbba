#include "shell/BrowserDrag.h"

#include "shell/BrowserSupport.h"

#include <QDrag>
#include <QDropEvent>
#include <QFrame>
#include <QMimeData>
#include <QScrollArea>
#include <QToolButton>

#include <algorithm>

namespace velm {

namespace {

const char* const DragMime = "application/x-velm-browser-drag";
constexpr int SplitRefuseX = 40;

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

TDragSource DragSourceOf(const QMimeData* mime, std::string* File)
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

void StartDrag(QWidget* source, TDragSource what, const std::string& File)
{
    auto* drag = new QDrag(source);
    drag->setMimeData(BrowserDragData(what, File));
    drag->exec(Qt::MoveAction | Qt::CopyAction);
}

void AnswerDrag(QDropEvent* event, bool accepted)
{
    if (accepted)
        event->acceptProposedAction();
    else
        event->ignore();
}

// --- The window's split bars and drops ----------------------------------------

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
            AnswerDrag(drag, item);
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
        AnswerDrag(drag, AllDragOver(widget, source, x));
    }
    return true;
}

} // namespace velm
