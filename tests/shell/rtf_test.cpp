// Our RTF reader and writer on files written by hand and by another
// program, the round trip through the writer, and printing to a PDF.
#include "shell/RichText.h"

#include "platform/printing/printer.h"
#include "shell/shell_support.h"

#include <QTextBlock>
#include <QTextDocument>

namespace velm {
namespace {

using namespace velm::testing;

// One line per paragraph: alignment, then each run with its attributes.
std::string Summary(const QTextDocument& document)
{
    std::string out;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const Qt::Alignment a = block.blockFormat().alignment() & Qt::AlignHorizontal_Mask;
        out += a == Qt::AlignHCenter ? "C" : a == Qt::AlignRight ? "R" : a == Qt::AlignJustify ? "J" : "L";
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            const QFont font = f.font();
            std::string marks;
            marks += font.bold() ? "b" : "";
            marks += font.italic() ? "i" : "";
            marks += font.underline() ? "u" : "";
            out += " [" + it.fragment().text().toStdString() + "|" + marks + "|" +
                   std::to_string(static_cast<int>(font.pointSizeF())) + "]";
        }
        out += "\n";
    }
    return out;
}

QTextCharFormat FormatAt(const QTextDocument& document, const QString& text)
{
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().text().contains(text))
                return it.fragment().charFormat();
    ADD_FAILURE() << "no run with " << text.toStdString();
    return {};
}

std::string Data(const std::string& name) { return readFile(sourcePath("tests/data/rtf/" + name)); }

TEST(RichText, HandWrittenFileLoadsWithItsFormatting)
{
    QTextDocument document;
    LoadRichText(document, Data("formatting.rtf"));
    EXPECT_EQ(Summary(document),
              "L [Plain |" "|12] [bold|b|12] [ |" "|12] [italic|i|12] [ |" "|12] [underlined|u|12] [ not|" "|12]\n"
              "C [Centred large||20]\n"
              "R [Right red||10]\n"
              "J [Caf\u00e9 \u20ac euro tab\tend\u2028next||10]\n");
    EXPECT_EQ(FormatAt(document, "Centred").font().family(), "Arial");
    EXPECT_EQ(FormatAt(document, "Plain").font().family(), "Times New Roman");
    EXPECT_EQ(FormatAt(document, "Right red").foreground().color(), QColor(255, 0, 0));
    const QString text = document.toPlainText();
    for (const char* hidden : {"Not shown", "Nobody", "Normal", "Hand", "hidden", "0102"})
        EXPECT_FALSE(text.contains(hidden)) << hidden;
}

TEST(RichText, CodePageBytesUnicodeSkippingAndDamage)
{
    QTextDocument document;
    LoadRichText(document, Data("cyrillic.rtf"));
    EXPECT_EQ(document.toPlainText().toStdString(), "\u041f\u0440  \u0414\nunclosed group");
    EXPECT_TRUE(FormatAt(document, "unclosed").font().bold());

    // Every cut of a file loads as far as it goes, never past it.
    const std::string whole = Data("formatting.rtf");
    for (std::size_t n = 0; n <= whole.size(); ++n) {
        QTextDocument cut;
        LoadRichText(cut, std::string_view(whole).substr(0, n));
    }
    LoadRichText(document, "{\\rtf1 \\u-3999? x\\fs99999999999999 big\\'zz\\bin999999999}");
    EXPECT_TRUE(document.toPlainText().startsWith(QChar(static_cast<char16_t>(65536 - 3999))));

    LoadRichText(document, "just text\nsecond line");
    EXPECT_EQ(document.toPlainText(), "just text\nsecond line") << "text that is not RTF loads as it is";
}

TEST(RichText, SavingAndLoadingAgainKeepsTheFormatting)
{
    QTextDocument document;
    LoadRichText(document, Data("formatting.rtf"));
    const std::string saved = SaveRichText(document);
    EXPECT_TRUE(IsRichText(saved));
    QTextDocument again;
    LoadRichText(again, saved);
    EXPECT_EQ(Summary(again), Summary(document));
    EXPECT_EQ(FormatAt(again, "Centred").font().family(), "Arial");
    EXPECT_EQ(FormatAt(again, "Right red").foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(SaveRichText(again), saved);

    document.setPlainText("braces {} and \\ back\u0416slash");
    LoadRichText(again, SaveRichText(document));
    EXPECT_EQ(again.toPlainText(), document.toPlainText());
}

TEST(RichText, Windows1252BytesReadAndWriteAsTheCodePageHasThem)
{
    // The codes the code page leaves undefined keep their byte both ways.
    QTextDocument document;
    LoadRichText(document, "{\\rtf1\\ansi \\'80\\'81\\'8d\\'9f\\'e9\\'93x\\'94}");
    EXPECT_EQ(document.toPlainText(), QString::fromUtf16(u"\u20ac\u0081\u008d\u0178\u00e9\u201cx\u201d"));
    const std::string saved = SaveRichText(document);
    EXPECT_NE(saved.find("\\'80\\'81\\'8d\\'9f\\'e9\\'93x\\'94"), std::string::npos) << saved;

    document.setPlainText(QString::fromUtf16(u"\u0080\u0416\u000b."));
    const std::string other = SaveRichText(document);
    EXPECT_NE(other.find("\\u128?\\u1046?."), std::string::npos) << "no byte of the code page: " << other;
}

TEST(RichText, FileWrittenByAnOfficeSuiteLoads)
{
    TempDir dir;
    dir.write("doc.html",
              "<html><body><p align=\"center\"><b>Bold words</b> <i>Italic words</i> <u>Under words</u></p>"
              "<p align=\"right\"><font size=\"6\">Big right</font></p><p>Plain last</p></body></html>");
    const int status = run("cd '" + dir.path() + "' && timeout 180 soffice -env:UserInstallation=file://" +
                           dir.path() + "/profile --headless --infilter='HTML (StarWriter)' --convert-to rtf "
                           "--outdir '" + dir.path() + "' doc.html >/dev/null 2>&1");
    if (status != 0 || !fileExists(dir.file("doc.rtf")))
        VELM_SKIP_MISSING("soffice could not convert (install libreoffice-writer-nogui)");
    QTextDocument document;
    LoadRichText(document, readFile(dir.file("doc.rtf")));
    const QString text = document.toPlainText();
    EXPECT_TRUE(text.contains("Bold words Italic words Under words")) << text.toStdString();
    EXPECT_TRUE(FormatAt(document, "Bold words").font().bold());
    EXPECT_FALSE(FormatAt(document, "Bold words").font().italic());
    EXPECT_TRUE(FormatAt(document, "Italic words").font().italic());
    EXPECT_TRUE(FormatAt(document, "Under words").font().underline());
    EXPECT_FALSE(FormatAt(document, "Plain last").font().underline());
    EXPECT_EQ(FormatAt(document, "Big right").font().pointSize(), 24);
    EXPECT_EQ(document.findBlock(static_cast<int>(text.indexOf("Bold"))).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
              Qt::AlignHCenter);
    EXPECT_EQ(document.findBlock(static_cast<int>(text.indexOf("Big"))).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
              Qt::AlignRight);

    QTextDocument again;
    LoadRichText(again, SaveRichText(document));
    EXPECT_EQ(Summary(again), Summary(document));
}

// A printer that keeps the text runs of every sheet.
class RunPrinter : public Printer, public PrintDocument, public PageDevice {
public:
    std::vector<std::vector<TextRun>> Sheets;
    std::string Title;
    bool Ended = false;
    std::string name() const override { return "runs"; }
    PrinterCaps caps() const override { return {4800, 6600, 600, 600, 203, 279}; }
    PaperOrientation orientation() const override { return PaperOrientation::Portrait; }
    void setOrientation(PaperOrientation) override {}
    std::unique_ptr<PrintDocument> beginDocument(const std::string& title) override
    {
        Title = title;
        Sheets.assign(1, {});
        return std::unique_ptr<PrintDocument>(new Forward(*this));
    }
    PageDevice& device() override { return *this; }
    void placePages(const PagePlacement&) override {}
    void newPage() override { Sheets.emplace_back(); }
    void end() override { Ended = true; }
    void abort() override {}
    bool isOpen() const override { return !Ended; }
    int sheetCount() const override { return static_cast<int>(Sheets.size()); }
    void beginPage(const PageSpace&) override {}
    void endPage() override {}
    void line(PointF, PointF, const LogPen&, double) override {}
    void polyline(const std::vector<PointF>&, const LogPen&, double) override {}
    void polygon(const std::vector<PointF>&, const LogPen&, double, const LogBrush&, int) override {}
    void fillRect(double, double, double, double, const LogBrush&) override {}
    void rectangle(double, double, double, double, const LogPen&, double, const LogBrush&) override {}
    void text(const TextRun& run) override { Sheets.back().push_back(run); }
    void intersectClip(double, double, double, double) override {}
    void resetClip() override {}

private:
    // The document handed out; the printer itself stays with the test.
    struct Forward : PrintDocument {
        explicit Forward(RunPrinter& p) : printer(p) {}
        PageDevice& device() override { return printer; }
        void placePages(const PagePlacement&) override {}
        void newPage() override { printer.newPage(); }
        void end() override { printer.end(); }
        void abort() override {}
        bool isOpen() const override { return printer.isOpen(); }
        int sheetCount() const override { return printer.sheetCount(); }
        RunPrinter& printer;
    };
};

TEST(RichText, PrintedRunsKeepLinesTogetherAndFillPagesInOrder)
{
    RunPrinter printer;
    QTextDocument document;
    LoadRichText(document, Data("formatting.rtf"));
    PrintRichText(document, printer, "formatting.rtf");
    EXPECT_EQ(printer.Title, "formatting.rtf");
    EXPECT_TRUE(printer.Ended);
    ASSERT_EQ(printer.Sheets.size(), 1u);
    const std::vector<TextRun>& runs = printer.Sheets[0];
    ASSERT_GE(runs.size(), 7u);
    // "Plain ", "bold", " ", "italic", ...: one line, one baseline, left to right.
    for (std::size_t i = 1; i < 7; ++i) {
        EXPECT_DOUBLE_EQ(runs[i].origin.y, runs[0].origin.y) << i;
        EXPECT_GT(runs[i].origin.x, runs[i - 1].origin.x) << i;
    }
    EXPECT_EQ(runs[0].origin.x, 300) << "half an inch of margin at 600 dpi";
    EXPECT_EQ(runs[0].font.height, -100) << "12 points at 600 dpi";
    EXPECT_EQ(runs[1].font.weight, 700);

    std::string many;
    for (int i = 1; i <= 200; ++i)
        many += "\\par Paragraph " + std::to_string(i);
    LoadRichText(document, "{\\rtf1 First" + many + "}");
    PrintRichText(document, printer, "long");
    ASSERT_GE(printer.Sheets.size(), 2u);
    std::size_t seen = 0;
    for (const auto& sheet : printer.Sheets) {
        double y = -1;
        for (const TextRun& run : sheet) {
            EXPECT_GT(run.origin.y, y);
            EXPECT_LT(run.origin.y, 6600 - 300);
            y = run.origin.y;
            ++seen;
        }
    }
    EXPECT_EQ(seen, 201u);
}

TEST(RichText, PrintsTheWholeTextAsOnePdf)
{
    TempDir out;
    TestPrinter printer(out.path());
    QTextDocument document;
    LoadRichText(document, Data("formatting.rtf"));
    std::string many;
    for (int i = 1; i <= 120; ++i)
        many += "\\par Paragraph " + std::to_string(i);
    QTextDocument longer;
    LoadRichText(longer, "{\\rtf1 First" + many + "}");

    PrintRichText(document, Printers::instance().selected(), "formatting.rtf");
    PrintRichText(longer, Printers::instance().selected(), "long.rtf");
    const std::vector<std::string> pdfs = filesIn(out.path());
    ASSERT_EQ(pdfs.size(), 2u);
    std::string first = PdfText(out.file(pdfs[0])), second = PdfText(out.file(pdfs[1]));
    if (first.find("First") != std::string::npos)
        std::swap(first, second);
    for (const char* words : {"Plain bold italic underlined not", "Centred large", "Right red", "euro"})
        EXPECT_NE(first.find(words), std::string::npos) << words << "\n" << first;
    EXPECT_NE(second.find("Paragraph 120"), std::string::npos);
    EXPECT_GE(PdfPages(out.file(pdfs[0])) + PdfPages(out.file(pdfs[1])), 4) << "the long text goes on to more pages";
}

} // namespace
} // namespace velm
