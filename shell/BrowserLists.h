// The browser window's folder list and file list.
#pragma once

#include <QListWidget>
#include <QPoint>

#include <string>

namespace velm {

class TVelmWindow;

// The folder list: the current folder's ancestors, then its sub-folders.
// Activating an entry makes it the current folder.
class TFolderListView : public QListWidget {
    Q_OBJECT
public:
    explicit TFolderListView(TVelmWindow* Owner);
    const std::string& Directory() const { return FDirectory; }
    // False (nothing changes) when the folder cannot be read.
    bool SetDirectory(const std::string& Folder);

signals:
    void Changed();

protected:
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    TVelmWindow* FOwner;
    std::string FDirectory;
};

// The file list: the regular files of a folder matching a mask (compared
// without regard to case, as the mask entries are written in lower case).
class TFileListView : public QListWidget {
    Q_OBJECT
public:
    explicit TFileListView(TVelmWindow* Owner);
    const std::string& Directory() const { return FDirectory; }
    void SetDirectory(const std::string& Folder);
    void SetMask(const std::string& Mask);
    // Full path of the selected file; empty when none is selected.
    std::string FileName() const;
    void Update();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    TVelmWindow* FOwner;
    std::string FDirectory;
    std::string FMask = "*.*";
    std::string FDragged;
    QPoint FPressPos;
};

} // namespace velm
