#include "shell/Unit2.h"

#include "engine/HeaderFields.h"
#include "engine/PrnFile.h"
#include "engine/UserInterface.h"
#include "platform/core/convert.h"
#include "platform/core/errors.h"
#include "platform/system/files.h"
#include "platform/system/settings.h"
#include "preview/Presenter.h"
#include "shell/JobDesign.h"
#include "shell/Unit1.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFontDialog>
#include <QFontInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStorageInfo>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace velm {

TConfigureVelm* ConfigureVelm = nullptr;

namespace {

const char* const Section = "Velm";

QColor ToQColor(TColor c)
{
    const auto rgb = static_cast<std::uint32_t>(ColorToRGB(c));
    return QColor(static_cast<int>(rgb & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                  static_cast<int>((rgb >> 16) & 0xFF));
}

QFont ToQFont(const TFont& f)
{
    QFont font(QString::fromStdString(f.Name));
    font.setPointSize(std::max(1, f.Size()));
    font.setBold(f.Has(fsBold));
    font.setItalic(f.Has(fsItalic));
    font.setUnderline(f.Has(fsUnderline));
    font.setStrikeOut(f.Has(fsStrikeOut));
    return font;
}

// The sixteen basic colours the font dialog offers, as 0x00BBGGRR.
struct NamedColor {
    const char* Name;
    TColor Value;
};
constexpr NamedColor BasicColors[] = {
    {"Black", 0x000000}, {"Maroon", 0x000080}, {"Green", 0x008000}, {"Olive", 0x008080},
    {"Navy", 0x800000}, {"Purple", 0x800080}, {"Teal", 0x808000}, {"Gray", 0x808080},
    {"Silver", 0xC0C0C0}, {"Red", 0x0000FF}, {"Lime", 0x00FF00}, {"Yellow", 0x00FFFF},
    {"Blue", 0xFF0000}, {"Fuchsia", 0xFF00FF}, {"Aqua", 0xFFFF00}, {"White", 0xFFFFFF},
};

QLabel* NewLabel(const char* text, QWidget* parent)
{
    return new QLabel(QString::fromUtf8(text), parent);
}

} // namespace

// --- TFontDialog -----------------------------------------------------------

TFontDialog::TFontDialog(QWidget* parent) : QDialog(parent, DialogBorder)
{
    setWindowTitle("Font");
    Font.SetSize(10);
    Chooser = new QFontDialog(this);
    Chooser->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    Chooser->setWindowFlags(Qt::Widget);
    // Esc or Enter inside the embedded chooser ends the chooser alone and
    // hides it; they end the whole dialog instead.
    connect(Chooser, &QDialog::rejected, this, &QDialog::reject);
    connect(Chooser, &QDialog::accepted, this, &QDialog::accept);
    ColorBox = new QComboBox(this);
    for (const NamedColor& c : BasicColors) {
        QPixmap swatch(16, 12);
        swatch.fill(ToQColor(c.Value));
        ColorBox->addItem(QIcon(swatch), c.Name, c.Value);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* colorRow = new QHBoxLayout;
    QLabel* colorLabel = NewLabel("&Color:", this);
    colorLabel->setObjectName("ColorLabel");
    colorLabel->setBuddy(ColorBox);
    colorRow->addWidget(colorLabel);
    colorRow->addWidget(ColorBox, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Chooser);
    layout->addLayout(colorRow);
    layout->addWidget(buttons);
}

bool TFontDialog::Execute()
{
    // Names like "Arial" are served by a metric-compatible face that the
    // chooser lists under its own name: show that face, and keep the stored
    // name while the user stays with it.
    const QFont stored = ToQFont(Font);
    const QString shownFamily = QFontInfo(stored).family();
    QFont shown = stored;
    shown.setFamily(shownFamily);
    Chooser->setCurrentFont(shown);
    int index = ColorBox->findData(ColorToRGB(Font.Color));
    if (index < 0) {
        // A stored colour outside the basic ones stays choosable as it is.
        ColorBox->addItem(QString("Custom %1").arg(ColorToRGB(Font.Color)), ColorToRGB(Font.Color));
        index = ColorBox->count() - 1;
    }
    ColorBox->setCurrentIndex(index);
    Chooser->show();
    if (exec() != QDialog::Accepted)
        return false;
    const QFont chosen = Chooser->currentFont();
    if (chosen.family() != shownFamily)
        Font.Name = chosen.family().toStdString();
    Font.SetSize(chosen.pointSize() > 0 ? chosen.pointSize() : Font.Size());
    Font.Color = ColorBox->currentData().toInt();
    Font.Style = (chosen.bold() ? fsBold : 0u) | (chosen.italic() ? fsItalic : 0u)
                 | (chosen.underline() ? fsUnderline : 0u) | (chosen.strikeOut() ? fsStrikeOut : 0u);
    return true;
}

// --- TMonitorFolderBox -----------------------------------------------------

TMonitorFolderBox::TMonitorFolderBox(QWidget* parent) : QWidget(parent)
{
    PathLabel = new QLabel(this);
    PathLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    List = new QListWidget(this);
    connect(List, &QListWidget::itemActivated, this, &TMonitorFolderBox::ItemActivated);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(PathLabel);
    layout->addWidget(List, 1);
}

bool TMonitorFolderBox::SetDirectory(const std::string& Folder)
{
    QDir dir(QString::fromStdString(Folder));
    if (!dir.exists() || !dir.isReadable())
        return false;
    FDirectory = QDir::cleanPath(dir.absolutePath()).toStdString();
    PathLabel->setText(QString::fromStdString(FDirectory));
    List->clear();
    if (!dir.isRoot())
        List->addItem("..");
    List->addItems(dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase));
    emit DirectoryChanged();
    return true;
}

void TMonitorFolderBox::ItemActivated(QListWidgetItem* Item)
{
    SetDirectory(QDir(QString::fromStdString(FDirectory)).filePath(Item->text()).toStdString());
}

// --- TConfigureVelm --------------------------------------------------------

TConfigureVelm::TConfigureVelm(QWidget* parent) : QDialog(parent, DialogBorder)
{
    setWindowTitle("Configure Velm!");
    setFixedSize(592, 389);
    FontDialog1 = new TFontDialog(this);

    TabbedNotebook1 = new QTabWidget(this);
    TabbedNotebook1->setToolTip("Monitor directory for changes");
    TabbedNotebook1->addTab(GlobalSetupPage(), "Global Setup");
    TabbedNotebook1->addTab(MonitorPage(), "Monitor");

    OKBtn = new QPushButton("OK", this);
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &TConfigureVelm::OKBtnClick);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(TabbedNotebook1, 1);
    layout->addLayout(buttons);
    FormActivate();
}

QWidget* TConfigureVelm::GlobalSetupPage()
{
    auto* page = new QWidget;
    Label3 = NewLabel("Number of columns per page", page);
    ColCount = new QComboBox(page);
    ColCount->addItems({"1", "2", "3", "4"});
    Label4 = NewLabel("Double Sided printing", page);
    DoubleSided = new QCheckBox(page);
    Label1 = NewLabel("Interpret HTM and HTML files as text", page);
    HTMAsText = new QCheckBox(page);
    Label16 = NewLabel("Print HTM files as a browser shows them", page);
    FullHtml = new QCheckBox(page);
    Label5 = NewLabel("Line numbers", page);
    LineNumbers = new QCheckBox(page);
    Label6 = NewLabel("Highlight program source", page);
    Highlight = new QCheckBox(page);
    Label12 = NewLabel("Tab stops every (columns)", page);
    TabSize = new QSpinBox(page);
    TabSize->setRange(0, TPrintFile::kMaxTabSize);
    TabSize->setSpecialValueText("3 spaces");
    Label13 = NewLabel("Form feed starts a new page", page);
    FormFeed = new QCheckBox(page);
    Label14 = NewLabel("Header (%F name, %p page, %P pages, %D date)", page);
    HeaderFormat = new QLineEdit(page);
    HeaderFormat->setPlaceholderText("the file's path");
    Label15 = NewLabel("Footer", page);
    FooterFormat = new QLineEdit(page);
    FooterFormat->setPlaceholderText("Page Footer");
    Button1 = new QPushButton("Set Print &Font", page);
    connect(Button1, &QPushButton::clicked, this, &TConfigureVelm::Button1Click);
    Label3->setBuddy(ColCount);
    Label4->setBuddy(DoubleSided);
    Label1->setBuddy(HTMAsText);
    Label16->setBuddy(FullHtml);
    Label5->setBuddy(LineNumbers);
    Label6->setBuddy(Highlight);
    Label12->setBuddy(TabSize);
    Label13->setBuddy(FormFeed);
    Label14->setBuddy(HeaderFormat);
    Label15->setBuddy(FooterFormat);

    auto* grid = new QGridLayout(page);
    grid->addWidget(Label3, 0, 0);
    grid->addWidget(ColCount, 0, 1);
    grid->addWidget(Label4, 1, 0);
    grid->addWidget(DoubleSided, 1, 1);
    grid->addWidget(Label1, 2, 0);
    grid->addWidget(HTMAsText, 2, 1);
    grid->addWidget(Label5, 3, 0);
    grid->addWidget(LineNumbers, 3, 1);
    grid->addWidget(Label6, 4, 0);
    grid->addWidget(Highlight, 4, 1);
    grid->addWidget(Label12, 5, 0);
    grid->addWidget(TabSize, 5, 1);
    grid->addWidget(Label13, 6, 0);
    grid->addWidget(FormFeed, 6, 1);
    grid->addWidget(Label14, 7, 0);
    grid->addWidget(HeaderFormat, 7, 1, 1, 2);
    grid->addWidget(Label15, 8, 0);
    grid->addWidget(FooterFormat, 8, 1, 1, 2);
    grid->addWidget(Label16, 9, 0);
    grid->addWidget(FullHtml, 9, 1);
    grid->addWidget(Button1, 10, 0);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(11, 1);
    return page;
}

QWidget* TConfigureVelm::MonitorPage()
{
    auto* page = new QWidget;
    Label2 = NewLabel("Monitoring Enabled", page);
    MonitorEnabled = new QCheckBox(page);
    MonitorEnabled->setChecked(true);
    Label2->setBuddy(MonitorEnabled);
    connect(MonitorEnabled, &QCheckBox::toggled, this, &TConfigureVelm::MonitorEnabledClick);
    Label11 = NewLabel("Drive", page);
    DriveComboBox1 = new QComboBox(page);
    // Long mount points must not push the action choices off the page.
    DriveComboBox1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    DriveComboBox1->setMinimumContentsLength(12);
    connect(DriveComboBox1, &QComboBox::activated, this, &TConfigureVelm::DriveChanged);
    Label7 = NewLabel("Directory", page);
    DirectoryListBox1 = new TMonitorFolderBox(page);
    connect(DirectoryListBox1, &TMonitorFolderBox::DirectoryChanged, this,
            [this] { SelectDriveOf(DirectoryListBox1->Directory()); });
    Label8 = NewLabel("Upon detection of file ", page);

    Panel2 = new QFrame(page);
    Panel2->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Label9 = NewLabel("View", Panel2);
    Label10 = NewLabel("Print", Panel2);
    View = new QRadioButton(Panel2);
    Print = new QRadioButton(Panel2);
    View->setChecked(true);
    Label9->setBuddy(View);
    Label10->setBuddy(Print);
    auto* choices = new QGridLayout(Panel2);
    choices->addWidget(View, 0, 0);
    choices->addWidget(Label9, 0, 1);
    choices->addWidget(Print, 1, 0);
    choices->addWidget(Label10, 1, 1);

    Memo1 = new QLabel(
        "Please Note: DO NOT USE the root directory or Windows\n"
        "directory or temp directory because Windows continuously\n"
        "writes in these directories and then Velm will try to print it.\n"
        "Rather create a directory called Velm and use that or some other sub-directory",
        page);
    Memo1->setAlignment(Qt::AlignCenter);
    QFont bold = Memo1->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() - 1);
    Memo1->setFont(bold);
    Memo1->setAutoFillBackground(true);
    Memo1->setBackgroundRole(QPalette::Button);
    Memo1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // All four lines always show; the folder list gives up the height.
    Memo1->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    auto* grid = new QGridLayout(page);
    // Narrow margins: the note's longest line needs nearly the whole page width.
    grid->setContentsMargins(6, 6, 8, 6);
    grid->addWidget(Label2, 0, 0);
    grid->addWidget(MonitorEnabled, 0, 1);
    grid->addWidget(Label11, 1, 0);
    grid->addWidget(DriveComboBox1, 1, 1);
    grid->addWidget(Label7, 2, 0, Qt::AlignTop);
    grid->addWidget(DirectoryListBox1, 2, 1, 3, 1);
    grid->addWidget(Label8, 2, 2, Qt::AlignTop);
    grid->addWidget(Panel2, 3, 2);
    grid->addWidget(Memo1, 5, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(4, 1);
    // The fixed client area leaves the folder column what the other two do not need.
    DriveComboBox1->setMaximumWidth(280);
    DirectoryListBox1->setMaximumWidth(280);
    return page;
}

void TConfigureVelm::showEvent(QShowEvent* event)
{
    FormActivate();
    QDialog::showEvent(event);
}

void TConfigureVelm::FormActivate()
{
    const SettingsFile ini;
    // An index outside 0..3 selects no entry, as the list would.
    const int columns = ini.readInteger(Section, "ColCount", 0);
    ColCount->setCurrentIndex(columns >= 0 && columns < ColCount->count() ? columns : -1);
    DoubleSided->setChecked(ini.readBool(Section, "DoubleSided", false));
    FillDrives();
    const std::string folder = MonitorFolderPath(ini.readString(Section, "MonitorDir", DefaultMonitorDir));
    if (!DirectoryListBox1->SetDirectory(folder))
        DirectoryListBox1->SetDirectory(QDir::homePath().toStdString());
    MonitorEnabled->setChecked(ini.readBool(Section, "MonitorEnabled", true));
    MonitorEnabledClick();
    const bool view = ini.readBool(Section, "MonitorView", true);
    View->setChecked(view);
    Print->setChecked(!view);
    HTMAsText->setChecked(ini.readBool(Section, "HTMAsText", false));
    FullHtml->setChecked(ini.readBool(Section, "FullHTML", false));
    LineNumbers->setChecked(ini.readBool(Section, "LineNumbers", false));
    Highlight->setChecked(ini.readBool(Section, "Highlight", false));
    TabSize->setValue(std::clamp(ini.readInteger(Section, "TabSize", 0), 0, TPrintFile::kMaxTabSize));
    FormFeed->setChecked(ini.readBool(Section, "FormFeed", false));
    HeaderFormat->setText(QString::fromStdString(ini.readString(Section, "HeaderFormat", "")));
    FooterFormat->setText(QString::fromStdString(ini.readString(Section, "FooterFormat", "")));
    FontDialog1->Font = StoredPrintFont();
}

void TConfigureVelm::OKBtnClick()
{
    // Columns and a font that leave no room for text on the printer's page
    // are not taken.
    TPrintFile job;
    SetToolbarJobDesignValues(job);
    job.PageLayout = static_cast<TPageLayout>(pl_1x1 + std::max(ColCount->currentIndex(), 0));
    job.ContentsFont.SetSize(FontDialog1->Font.Size());
    if (const std::string problem = job.GeometryProblem(); !problem.empty()) {
        ShowMessage("Error: " + problem + "; the settings are not saved");
        return;
    }
    for (const auto& [name, edit] : {std::pair{"Header", HeaderFormat}, std::pair{"Footer", FooterFormat}})
        if (const std::string problem = HeaderFormatProblem(edit->text().toStdString()); !problem.empty()) {
            ShowMessage(std::string("Error: ") + name + ": " + problem + "; the settings are not saved");
            return;
        }
    SettingsFile ini;
    ini.writeInteger(Section, "ColCount", ColCount->currentIndex());
    ini.writeBool(Section, "DoubleSided", DoubleSided->isChecked());
    ini.writeBool(Section, "MonitorEnabled", MonitorEnabled->isChecked());
    ini.writeBool(Section, "HTMAsText", HTMAsText->isChecked());
    ini.writeBool(Section, "FullHTML", FullHtml->isChecked());
    ini.writeBool(Section, "LineNumbers", LineNumbers->isChecked());
    ini.writeBool(Section, "Highlight", Highlight->isChecked());
    ini.writeInteger(Section, "TabSize", TabSize->value());
    ini.writeBool(Section, "FormFeed", FormFeed->isChecked());
    ini.writeString(Section, "HeaderFormat", HeaderFormat->text().toStdString());
    ini.writeString(Section, "FooterFormat", FooterFormat->text().toStdString());
    ini.writeBool(Section, "MonitorView", View->isChecked());
    ini.writeString(Section, "MonitorDir", DirectoryListBox1->Directory());
    const TFont& font = FontDialog1->Font;
    ini.writeString(Section, "FontName", font.Name);
    ini.writeInteger(Section, "FontSize", font.Size());
    ini.writeString(Section, "FontColor", format("%10.0f", static_cast<double>(font.Color)));
    const std::string style = {font.Has(fsBold) ? '1' : '0', font.Has(fsItalic) ? '1' : '0',
                               font.Has(fsUnderline) ? '1' : '0'};
    ini.writeString(Section, "FontStyle", style);
    accept();
}

void TConfigureVelm::MonitorEnabledClick()
{
    const bool on = MonitorEnabled->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{DriveComboBox1, DirectoryListBox1, Label11, Label7,
                                                     Label8, Panel2, View, Print})
        w->setEnabled(on);
}

void TConfigureVelm::Button1Click() { FontDialog1->Execute(); }

void TConfigureVelm::FillDrives()
{
    DriveComboBox1->clear();
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && volume.isReady())
            roots << volume.rootPath();
    // The root folder even where the mount table leaves it out (a chroot).
    roots << "/" << QDir::homePath();
    roots.removeDuplicates();
    roots.sort();
    DriveComboBox1->addItems(roots);
}

void TConfigureVelm::DriveChanged(int Index)
{
    if (Index >= 0)
        DirectoryListBox1->SetDirectory(DriveComboBox1->itemText(Index).toStdString());
}

void TConfigureVelm::SelectDriveOf(const std::string& Folder)
{
    // The drive of a folder is the longest mount point (or home) it lies under.
    const QString path = QString::fromStdString(Folder);
    int best = -1;
    for (int i = 0; i < DriveComboBox1->count(); ++i) {
        const QString root = DriveComboBox1->itemText(i);
        const bool under = path == root || path.startsWith(root.endsWith('/') ? root : root + '/');
        if (under && (best < 0 || root.size() > DriveComboBox1->itemText(best).size()))
            best = i;
    }
    DriveComboBox1->setCurrentIndex(best);
}

TFont PrintFont() { return ConfigureVelm ? ConfigureVelm->FontDialog1->Font : StoredPrintFont(); }

} // namespace velm
