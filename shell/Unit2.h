// TConfigureVelm: the configuration dialog of the toolbar and the folder
// monitor. It loads every control from the settings file each time it is
// shown and writes them back only on OK; its font dialog holds the print
// font that every toolbar and monitor job copies.
#pragma once

#include "engine/Graphics.h"

#include <QDialog>
#include <string>

class QCheckBox;
class QComboBox;
class QFontDialog;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;

namespace velm {

// The font dialog with a colour choice: face, size and style come from
// Qt's font chooser, the colour from the sixteen basic colours.
class TFontDialog : public QDialog {
    Q_OBJECT
public:
    explicit TFontDialog(QWidget* parent = nullptr);

    // Shows the dialog on Font; OK stores the choice in Font.
    bool Execute();

    TFont Font{"Arial", -13, clBlack, 0, 96};
    QFontDialog* Chooser;
    QComboBox* ColorBox;
};

// A folder list: the current folder, its parent entry and its sub-folders;
// activating an entry enters it.
class TMonitorFolderBox : public QWidget {
    Q_OBJECT
public:
    explicit TMonitorFolderBox(QWidget* parent = nullptr);

    const std::string& Directory() const { return FDirectory; }
    // Enters the folder; false (nothing changes) when it cannot be read.
    bool SetDirectory(const std::string& Folder);

    QLabel* PathLabel;
    QListWidget* List;

signals:
    void DirectoryChanged();

private:
    void ItemActivated(QListWidgetItem* Item);
    std::string FDirectory;
};

class TConfigureVelm : public QDialog {
    Q_OBJECT
public:
    explicit TConfigureVelm(QWidget* parent = nullptr);

    void FormActivate();
    void OKBtnClick();
    void MonitorEnabledClick();
    void Button1Click();

    QTabWidget* TabbedNotebook1;
    QLabel* Label3;
    QComboBox* ColCount;
    QLabel* Label4;
    QCheckBox* DoubleSided;
    QLabel* Label1;
    QCheckBox* HTMAsText;
    QLabel* Label5;
    QCheckBox* LineNumbers;
    QLabel* Label6;
    QCheckBox* Highlight;
    // HTM files as a browser shows them, the page's title in the header.
    QLabel* Label16;
    QCheckBox* FullHtml;
    // Plain text as text tools print it, and the header's and footer's
    // formats with fields (empty: the file's path, "Page Footer").
    QLabel* Label12;
    QSpinBox* TabSize;
    QLabel* Label13;
    QCheckBox* FormFeed;
    QLabel* Label14;
    QLineEdit* HeaderFormat;
    QLabel* Label15;
    QLineEdit* FooterFormat;
    QPushButton* Button1;
    QLabel* Label2;
    QCheckBox* MonitorEnabled;
    QLabel* Label11;
    QComboBox* DriveComboBox1;
    QLabel* Label7;
    TMonitorFolderBox* DirectoryListBox1;
    QLabel* Label8;
    QFrame* Panel2;
    QLabel* Label9;
    QLabel* Label10;
    QRadioButton* View;
    QRadioButton* Print;
    QLabel* Memo1;
    QPushButton* OKBtn;
    TFontDialog* FontDialog1;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* GlobalSetupPage();
    QWidget* MonitorPage();
    void FillDrives();
    void DriveChanged(int Index);
    void SelectDriveOf(const std::string& Folder);
};

// The one instance, created at start-up; nullptr before and after.
extern TConfigureVelm* ConfigureVelm;

// The print font for toolbar and monitor jobs: the configuration dialog's
// font, or the stored font while the dialog does not exist yet.
TFont PrintFont();

} // namespace velm
