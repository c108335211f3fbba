// TChangeDlg and the file operations of the browser's Edit menu, which
// platform/system/file_operations carries out: copy in fixed-size chunks,
// move by rename with a copy-and-delete fallback; no failure loses a file.
#pragma once

#include "platform/system/file_operations.h"

#include <QDialog>

#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace velm {

// The error classes of the file operations.
using EFOpenError = FileOpenError;
using EFCreateError = FileCreateError;
using EFCantMove = FileMoveError;

class TChangeDlg : public QDialog {
    Q_OBJECT
public:
    // The latest dialog made is ChangeDlg until it is destroyed.
    explicit TChangeDlg(QWidget* parent = nullptr);
    ~TChangeDlg() override;
    // OK: refused, with a message, while the target is empty.
    void accept() override;
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

// The file operations under their names in the Edit menu's code.
inline void CopyFileTo(const std::string& Source, const std::string& Target) { copyFile(Source, Target); }
inline void MoveFileTo(const std::string& Source, const std::string& Target) { moveFile(Source, Target); }

} // namespace velm
