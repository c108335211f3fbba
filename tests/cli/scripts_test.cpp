// Text in every major script printed by the velm program on the built-in
// PDF printer, with the installed faces and with a font configuration that
// offers only the Liberation faces; the PDFs are read back with pdftotext.
#include "platform/core/codepage.h"
#include "support/catalogues.h"
#include "support/testing.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QString>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace velm {
namespace {

using testing::TempDir;

struct Printed {
    int status = -1;
    std::string err;
    std::string text;    // pdftotext -raw of the PDF
    std::string reading; // pdftotext in reading order (right-to-left lines logical)
};

// velm on the files, with extra environment settings; one file goes to
// <folder>/out.pdf, several to the built-in printer's folder.
Printed Print(const TempDir& folder, const std::string& files, const std::string& environment = "",
              bool oneFile = true)
{
    Printed p;
    const std::string pdf = folder.file("out.pdf");
    const std::string output = oneFile ? "-o '" + pdf + "' " : "-P 'Velm PDF' ";
    p.status = testing::run(environment + " '" VELM_BINARY "' " + output + files + " >/dev/null 2>'" +
                            folder.file("err") + "'");
    p.err = testing::readFile(folder.file("err"));
    testing::run("pdftotext -raw '" + pdf + "' - 2>/dev/null", &p.text);
    testing::run("pdftotext '" + pdf + "' - 2>/dev/null", &p.reading);
    return p;
}

std::string Corpus(const std::string& script) { return testing::sourcePath("tests/data/scripts/" + script + ".txt"); }

// The words of a line, without the marks of direction pdftotext adds.
std::vector<QString> Words(const std::string& utf8)
{
    QString text = QString::fromStdString(utf8);
    text.remove(QChar(0x202B)).remove(QChar(0x202C)).remove(QChar(0x200F));
    const QStringList words = text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    return {words.begin(), words.end()};
}

std::size_t Count(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// A line's characters without spaces and invisible format characters
// (marks of direction, joiners), which readers add or drop.
QString Letters(const QString& line)
{
    QString out;
    for (const QChar c : line)
        if (!c.isSpace() && c.category() != QChar::Other_Format)
            out += c;
    return out;
}

// A right-to-left line as a reader can give it back: its words and numbers
// in any order (poppler orders the parts of a line that mixes directions
// in its own way), without joiners and without the marks of letters whose
// glyph is also drawn bare elsewhere (ToUnicode maps a glyph to one text,
// wherever it stands).
QString RightToLeftWords(const QString& line)
{
    QStringList words{QString()};
    for (const QChar c : line) {
        const bool joiner = c == QChar(0x200C) || c == QChar(0x200D);
        if (c.isLetterOrNumber())
            words.back() += c;
        else if (c.category() != QChar::Mark_NonSpacing && !joiner && !words.back().isEmpty())
            words.push_back(QString());
    }
    words.removeAll(QString());
    words.sort();
    return words.join(QLatin1Char(' '));
}

// Every line of the catalogues, printed as one file: pdftotext gives each
// back in logical order, whatever its script and direction (shaped glyphs
// carry their text in ToUnicode and /ActualText). Not Thaana: poppler does
// not take it for right-to-left text.
TEST(Scripts, EveryCatalogueLineReadsBackInLogicalOrder)
{
    std::vector<QString> lines;
    std::string file;
    for (const auto& [script, line] : testing::Catalogue()) {
        if (script != "Thaana") {
            lines.push_back(QString::fromStdU16String(line.text));
            file += toUtf8(line.text) + "\n";
        }
    }
    lines.push_back(QStringLiteral("The file \u0645\u0644\u0641.txt was saved"));
    file += lines.back().toStdString() + "\n";
    TempDir folder;
    folder.write("catalogues.txt", file);
    const Printed p = Print(folder, "'" + folder.file("catalogues.txt") + "'");
    ASSERT_EQ(p.status, 0) << p.err;
    EXPECT_EQ(p.err, "");
    QStringList read, readRightToLeft;
    for (const QString& row : QString::fromStdString(p.reading).split(QLatin1Char('\n'))) {
        read.push_back(Letters(row));
        readRightToLeft.push_back(RightToLeftWords(row));
    }
    for (const QString& line : lines) {
        if (QString(line).isRightToLeft())
            EXPECT_TRUE(readRightToLeft.contains(RightToLeftWords(line))) << line.toStdString();
        else
            EXPECT_TRUE(read.contains(Letters(line))) << line.toStdString();
    }
}

// Only the Liberation faces: Latin, Greek, Cyrillic and Hebrew print, the
// rest prints as boxes, and each job says so once.
class OnlyLiberation : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_.write("fonts.conf", "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n"
                                    "<fontconfig><dir>/usr/share/fonts/truetype/liberation2</dir>"
                                    "<cachedir>" + folder_.file("cache") + "</cachedir></fontconfig>\n");
    }
    Printed PrintHere(const std::string& files, bool oneFile = true)
    {
        return Print(folder_, files, "FONTCONFIG_FILE='" + folder_.file("fonts.conf") + "'", oneFile);
    }
    TempDir folder_;
};

TEST_F(OnlyLiberation, UncoveredCharactersGetOneWarningPerJob)
{
    const Printed p =
        PrintHere("'" + Corpus("devanagari") + "' '" + Corpus("chinese") + "' '" + Corpus("latin") + "'", false);
    ASSERT_EQ(p.status, 0) << p.err;
    // One warning per job that met such characters, naming the first of
    // them and the package that covers them.
    EXPECT_EQ(Count(p.err, "warning"), 2u) << p.err;
    EXPECT_NE(p.err.find("devanagari.txt: no installed font has U+0928 U+092E U+0938 U+094D U+0924 U+0947 U+0926 "
                         "U+0941 ...; printed as boxes (install fonts-noto-ui-core)"),
              std::string::npos)
        << p.err;
    EXPECT_NE(p.err.find("chinese.txt: no installed font has U+4F60 U+597D U+FF0C U+4E16"), std::string::npos) << p.err;
    EXPECT_NE(p.err.find("(install fonts-wqy-microhei)"), std::string::npos) << p.err;
    EXPECT_EQ(p.err.find("latin.txt"), std::string::npos) << p.err;
    EXPECT_EQ(p.err.find("OpenType"), std::string::npos) << p.err;
}

// Inked pixels on the first sheet, rendered at 100 dpi.
long Ink(const std::string& pdf)
{
    std::string pgm;
    testing::run("pdftoppm -gray -r 100 -f 1 -l 1 '" + pdf + "' 2>/dev/null", &pgm);
    long inked = 0;
    for (std::size_t i = std::min<std::size_t>(pgm.size(), 64); i < pgm.size(); ++i) // past the PGM header
        inked += static_cast<unsigned char>(pgm[i]) < 200;
    return inked;
}

TEST_F(OnlyLiberation, BoxesStandWhereTheCharactersWould)
{
    folder_.write("blank.txt", "\n");
    Printed blank = PrintHere("'" + folder_.file("blank.txt") + "' --header=x");
    ASSERT_EQ(blank.status, 0) << blank.err;
    const long empty = Ink(folder_.file("out.pdf"));
    Printed boxes = PrintHere("'" + Corpus("devanagari") + "' --header=x");
    ASSERT_EQ(boxes.status, 0) << boxes.err;
    // Twelve boxes, each an outline of about 9 x 14 pixels at 100 dpi.
    EXPECT_GT(Ink(folder_.file("out.pdf")) - empty, 12 * 20);
}

TEST_F(OnlyLiberation, WhatLiberationCoversPrintsWithoutAWarning)
{
    for (const std::string script : {"greek", "cyrillic"}) {
        SCOPED_TRACE(script);
        const Printed p = PrintHere("'" + Corpus(script) + "'");
        ASSERT_EQ(p.status, 0) << p.err;
        EXPECT_EQ(p.err, "");
        EXPECT_NE(p.text.find(Words(testing::readFile(Corpus(script))).front().toStdString()), std::string::npos);
    }
}

} // namespace
} // namespace velm
