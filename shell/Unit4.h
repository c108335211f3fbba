// TDlgDoubleSided: the pause between the odd and the even pass of a
// double-sided print. It has no behaviour of its own: it ends with OK
// (Accepted) or Cancel (Rejected).
#pragma once

#include <QDialog>

class QPushButton;

namespace velm {

class TDlgDoubleSided : public QDialog {
    Q_OBJECT
public:
    explicit TDlgDoubleSided(QWidget* parent = nullptr);

    QPushButton* OKBtn;
    QPushButton* CancelBtn;
};

// The one instance, created at start-up; nullptr before and after.
extern TDlgDoubleSided* DlgDoubleSided;

} // namespace velm
