// TChangeDlg and the file operations of the browser's Edit menu: copy in
// fixed-size chunks, move by rename with a copy-and-delete fallback; no
// failure loses a file.
// Paths use "/"; a relative target is taken from the process's current
// directory, and a target naming an existing folder receives the source's
// file name in it.
#pragma once

#include "platform/core/errors.h"

#include <QDialog>

#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace velm {

// "Cannot open file %s": the source cannot be read.
class EFOpenError : public VelmError {
public:
    using VelmError::VelmError;
};
// "Cannot create file %s": the target cannot be written.
class EFCreateError : public VelmError {
public:
    using VelmError::VelmError;
};
// "Cannot move file %s": a read-only or missing source on the copy path.
class EFCantMove : public VelmError {
public:
    using VelmError::VelmError;
};
// A copy or move whose target is the source itself; nothing was touched.
class EFSameFile : public VelmError {
public:
    using VelmError::VelmError;
};

class TChangeDlg : public QDialog {
    Q_OBJECT
public:
    // The latest dialog made is ChangeDlg until it is destroyed.
    explicit TChangeDlg(QWidget* parent = nullptr);
    ~TChangeDlg() override;
    QLabel* CurrentDir;
    QLabel* Label1;
    QLineEdit* FromFileName;
    QLabel* Label2;
    QLineEdit* ToFileName;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
};

extern TChangeDlg* ChangeDlg;

// Asks "<Op> <Source> to <Target>?" and on Yes carries it out. True when
// the operation ran (the file list should be re-read). Copy and Move raise
// the errors above; Rename reports nothing when the system refuses.
bool ConfirmFileChange(const std::string& Op, const std::string& Source, const std::string& Target);

// Throws EFOpenError, EFCreateError, EFSameFile, or VelmError on a failed
// read or write. The copy goes to a temporary file beside the target that
// is synced and renamed into place: a failed copy leaves an existing target
// whole and no partial file (a device or FIFO target is written into).
void CopyFileTo(const std::string& Source, const std::string& Target);
// Renames when the target does not exist and lies on the same file system;
// otherwise copies and deletes the source once the copy is on disk. Throws
// EFCantMove for a read-only or missing source, and as CopyFileTo.
void MoveFileTo(const std::string& Source, const std::string& Target);
// True when every bit of Mask is set; a failed query counts as all bits set.
bool HasAttr(const std::string& Name, int Mask);

// The file system's move call with the rule that an existing target makes
// it fail (it is never replaced). False on any failure.
bool MoveFileNoReplace(const std::string& Source, const std::string& Target);
// Target made absolute and resolved to a file name when it is a folder.
std::string ResolveTarget(const std::string& Source, const std::string& Target);

} // namespace velm
