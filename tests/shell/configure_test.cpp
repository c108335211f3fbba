// The configuration dialog driven through its controls, read back from the
// real settings file.
#include "shell/Unit2.h"
#include "shell/shell_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDialog>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include <filesystem>

using namespace velm;
using namespace velm::testing;

namespace {

class ConfigureTest : public ShellTest {
protected:
    // Opens the dialog as the menu entry does (a fresh showing reloads it).
    void Open()
    {
        dialog.hide();
        dialog.show();
        QCoreApplication::processEvents();
    }
    TConfigureVelm dialog;
};

TEST_F(ConfigureTest, PrintChosenAndOkIsStoredAndShownAgain)
{
    Open();
    ASSERT_TRUE(dialog.View->isChecked());
    dialog.Print->click();
    dialog.OKBtn->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(Get("MonitorView"), "0");

    Open();
    EXPECT_TRUE(dialog.Print->isChecked());
    EXPECT_FALSE(dialog.View->isChecked());
}

TEST_F(ConfigureTest, CloseBoxWritesNothing)
{
    Open();
    dialog.Print->click();
    dialog.DoubleSided->setChecked(true);
    dialog.close();
    EXPECT_EQ(Get("MonitorView"), "<missing>");
    EXPECT_EQ(Get("DoubleSided"), "<missing>");

    Open();
    EXPECT_TRUE(dialog.View->isChecked());
    EXPECT_FALSE(dialog.DoubleSided->isChecked());
    dialog.OKBtn->click();
    EXPECT_EQ(Get("MonitorView"), "1");
}

TEST_F(ConfigureTest, SourceChoicesAreOffUntilCheckedAndRoundTrip)
{
    Open();
    EXPECT_FALSE(dialog.LineNumbers->isChecked());
    EXPECT_FALSE(dialog.Highlight->isChecked());
    dialog.LineNumbers->click();
    dialog.OKBtn->click();
    EXPECT_EQ(Get("LineNumbers"), "1");
    EXPECT_EQ(Get("Highlight"), "0");

    Open();
    EXPECT_TRUE(dialog.LineNumbers->isChecked());
    dialog.LineNumbers->click();
    dialog.Highlight->click();
    dialog.OKBtn->click();
    EXPECT_EQ(Get("LineNumbers"), "0");
    EXPECT_EQ(Get("Highlight"), "1");

    Open();
    EXPECT_FALSE(dialog.LineNumbers->isChecked());
    EXPECT_TRUE(dialog.Highlight->isChecked());
}

// Tab stops, form feeds and the header and footer formats round-trip; a
// format with an unknown field is refused and nothing is saved.
TEST_F(ConfigureTest, PlainTextChoicesAndFormatsRoundTrip)
{
    Open();
    EXPECT_EQ(dialog.TabSize->value(), 0);
    EXPECT_FALSE(dialog.FormFeed->isChecked());
    EXPECT_TRUE(dialog.HeaderFormat->text().isEmpty());
    dialog.TabSize->setValue(8);
    dialog.FormFeed->click();
    QTest::keyClicks(dialog.HeaderFormat, "%F page %p of %P");
    QTest::keyClicks(dialog.FooterFormat, "%q");
    dialog.OKBtn->click();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "Error: Footer: '%q' is not a field (%% prints a percent sign); the settings are not saved");
    EXPECT_EQ(Get("TabSize"), "<missing>");
    dialog.FooterFormat->setText("%u");
    dialog.OKBtn->click();
    EXPECT_EQ(Get("TabSize"), "8");
    EXPECT_EQ(Get("FormFeed"), "1");
    EXPECT_EQ(Get("HeaderFormat"), "%F page %p of %P");
    EXPECT_EQ(Get("FooterFormat"), "%u");
    Open();
    EXPECT_EQ(dialog.TabSize->value(), 8);
    EXPECT_TRUE(dialog.FormFeed->isChecked());
    EXPECT_EQ(dialog.HeaderFormat->text(), "%F page %p of %P");
}

TEST_F(ConfigureTest, MonitoringEnabledGreysTheMonitorControls)
{
    Open();
    dialog.TabbedNotebook1->setCurrentIndex(1);
    const std::vector<QWidget*> controls = {dialog.DriveComboBox1, dialog.DirectoryListBox1, dialog.Label11,
                                            dialog.Label7, dialog.Label8, dialog.Panel2,
                                            dialog.View, dialog.Print};
    dialog.MonitorEnabled->click();
    EXPECT_FALSE(dialog.MonitorEnabled->isChecked());
    for (QWidget* w : controls)
        EXPECT_FALSE(w->isEnabled()) << w->metaObject()->className();
    EXPECT_TRUE(dialog.Label2->isEnabled());

    dialog.MonitorEnabled->click();
    for (QWidget* w : controls)
        EXPECT_TRUE(w->isEnabled());

    dialog.MonitorEnabled->click();
    dialog.OKBtn->click();
    EXPECT_EQ(Get("MonitorEnabled"), "0");
    Open();
    EXPECT_FALSE(dialog.View->isEnabled());
}

TEST_F(ConfigureTest, ChosenFontIsWrittenInTheStoredFormat)
{
    ConfigureVelm = &dialog;
    Open();
    ModalAnswerer answerer([&](QWidget* w) {
        auto* fonts = dynamic_cast<TFontDialog*>(w);
        ASSERT_NE(fonts, nullptr);
        // The face the stored "Arial" is shown as, made bold italic 12 point and red.
        QFont font(fonts->Chooser->currentFont().family(), 12);
        font.setBold(true);
        font.setItalic(true);
        fonts->Chooser->setCurrentFont(font);
        fonts->ColorBox->setCurrentIndex(fonts->ColorBox->findText("Red"));
        fonts->accept();
    });
    dialog.Button1->click();
    ConfigureVelm = nullptr;
    ASSERT_EQ(answerer.Seen, std::vector<std::string>{"Font"});
    EXPECT_EQ(Get("FontSize"), "<missing>");

    dialog.OKBtn->click();
    const std::string ini = readFile(SettingsFile().path());
    EXPECT_NE(ini.find("FontName=Arial\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("FontSize=12\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("FontColor=       255\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("FontStyle=110\n"), std::string::npos) << ini;
}

TEST_F(ConfigureTest, JobsUseTheChosenFontBeforeOk)
{
    ConfigureVelm = &dialog;
    Open();
    ModalAnswerer answerer([&](QWidget* w) {
        auto* fonts = dynamic_cast<TFontDialog*>(w);
        ASSERT_NE(fonts, nullptr);
        fonts->Chooser->setCurrentFont(QFont("Liberation Mono", 9));
        fonts->accept();
    });
    dialog.Button1->click();
    const TFont font = PrintFont();
    ConfigureVelm = nullptr;
    EXPECT_EQ(font.Name, "Liberation Mono");
    EXPECT_EQ(font.Size(), 9);
    EXPECT_EQ(StoredPrintFont().Name, "Arial");
}

TEST_F(ConfigureTest, LoadsStoredValuesWithTheirOddities)
{
    Set("ColCount", "0x2");
    Set("HTMAsText", "1");
    Set("FontName", "Courier New");
    Set("FontSize", "9");
    Set("FontColor", "  blue");
    Set("FontStyle", "1x");
    Open();
    EXPECT_EQ(dialog.ColCount->currentText(), "3");
    EXPECT_TRUE(dialog.HTMAsText->isChecked());
    EXPECT_EQ(dialog.DirectoryListBox1->Directory(), watched.path());
    const TFont& font = dialog.FontDialog1->Font;
    EXPECT_EQ(font.Name, "Courier New");
    EXPECT_EQ(font.Size(), 9);
    EXPECT_EQ(font.Color, 0);
    EXPECT_EQ(font.Style, static_cast<unsigned>(fsBold));

    Set("ColCount", "7");
    Open();
    EXPECT_EQ(dialog.ColCount->currentIndex(), -1);
    dialog.OKBtn->click();
    EXPECT_EQ(Get("ColCount"), "-1");
    EXPECT_EQ(Get("MonitorDir"), watched.path());
}

TEST_F(ConfigureTest, FolderListEntersSubFoldersAndFollowsTheDrive)
{
    TempDir root;
    std::filesystem::create_directories(root.file("Velm"));
    Open();
    ASSERT_TRUE(dialog.DirectoryListBox1->SetDirectory(root.path()));
    const auto items = dialog.DirectoryListBox1->List->findItems("Velm", Qt::MatchExactly);
    ASSERT_EQ(items.size(), 1);
    dialog.DirectoryListBox1->List->setCurrentItem(items[0]);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(dialog.DirectoryListBox1->List, &enter);
    EXPECT_EQ(dialog.DirectoryListBox1->Directory(), root.file("Velm"));
    EXPECT_GE(dialog.DriveComboBox1->currentIndex(), 0);
    EXPECT_GE(dialog.DriveComboBox1->findText("/"), 0) << "the root folder, listed or not";
    EXPECT_FALSE(dialog.DirectoryListBox1->SetDirectory(root.file("missing")));
    EXPECT_EQ(dialog.DirectoryListBox1->Directory(), root.file("Velm"));
}

} // namespace

// Esc typed into the font chooser cancels the whole font dialog; the next
// showing has its chooser back.
TEST_F(ConfigureTest, EscapeInTheFontChooserCancelsAndTheChooserComesBack)
{
    ConfigureVelm = &dialog;
    Open();
    bool stillOpen = true;
    {
        ModalAnswerer escape([&](QWidget* w) {
            auto* fonts = dynamic_cast<TFontDialog*>(w);
            ASSERT_NE(fonts, nullptr);
            QTest::keyClick(fonts->Chooser->findChild<QListView*>(), Qt::Key_Escape);
            stillOpen = fonts->isVisible();
            if (stillOpen)
                fonts->reject();
        });
        dialog.Button1->click();
    }
    EXPECT_FALSE(stillOpen);

    bool chooserShown = false;
    QLabel* colorLabel = nullptr;
    ModalAnswerer look([&](QWidget* w) {
        auto* fonts = dynamic_cast<TFontDialog*>(w);
        ASSERT_NE(fonts, nullptr);
        chooserShown = fonts->Chooser->isVisible();
        colorLabel = fonts->findChild<QLabel*>("ColorLabel");
        // With its buddy the "&" marks the shortcut instead of showing.
        EXPECT_TRUE(colorLabel && colorLabel->buddy() == fonts->ColorBox);
        fonts->reject();
    });
    dialog.Button1->click();
    ConfigureVelm = nullptr;
    EXPECT_TRUE(chooserShown);
    EXPECT_NE(colorLabel, nullptr);
}

// The fixed-size dialog shows the whole note on the Monitor page.
TEST_F(ConfigureTest, MonitorPageShowsTheWholeNote)
{
    Open();
    dialog.TabbedNotebook1->setCurrentIndex(1);
    QCoreApplication::processEvents();
    const QWidget* page = dialog.TabbedNotebook1->currentWidget();
    EXPECT_GE(dialog.Memo1->height(), dialog.Memo1->sizeHint().height());
    EXPECT_GE(dialog.Memo1->width(), dialog.Memo1->sizeHint().width());
    EXPECT_TRUE(page->rect().contains(dialog.Memo1->geometry())) << page->rect().height();
}


// On a postcard-sized page four columns leave no room for text: the dialog
// says so and keeps the settings; one column is taken.
TEST_F(ConfigureTest, ColumnsThePageCannotHoldAreRefused)
{
    const TempDir out;
    const TestPrinter postcard(out.path(), 1050, 1500, 300, "Velm Test Postcard");
    Open();
    dialog.ColCount->setCurrentIndex(3);
    dialog.OKBtn->click();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "Error: borders of 0.25 in and 0.25 in leave 0.68 in of text width per column; "
                           "at least 1.00 in is needed; the settings are not saved");
    EXPECT_EQ(Get("ColCount"), "<missing>");
    dialog.ColCount->setCurrentIndex(0);
    dialog.OKBtn->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(Get("ColCount"), "0");
}
