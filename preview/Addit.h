// TAddition: the Print Options dialog of the preview. The user picks all
// pages, the current page or a typed range, and all, odd or even pages;
// "&Print" (result 1) asks for one pass, "&Close" (result 2), Esc and the
// close box end the loop that shows it.
#pragma once

#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velm {

// An editable drop-down list as the system's own: typing neither adds
// entries nor completes them, and it leaves no entry selected.
void MakeEditableList(QComboBox* box);

class TAddition : public QDialog {
    Q_OBJECT
public:
    explicit TAddition(QWidget* parent = nullptr);

    // Empties Edit1 unless Range is checked; Edit1, Label1 and Label3 are
    // enabled exactly when it is.
    void RangeClick();

    QGroupBox* PageRange;
    QRadioButton* All;
    QRadioButton* Current;
    QRadioButton* Range;
    QLineEdit* Edit1;
    QLabel* Label1;
    QLabel* Label3;
    QLabel* Label2;
    QComboBox* ComboBox1; // parity mode = selected entry (-1: none, every page)
    QPushButton* Print;
    QPushButton* CancelBtn;

protected:
    bool event(QEvent* e) override;

private:
    void FormCreate();
};

} // namespace velm
