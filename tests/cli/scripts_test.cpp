// Text in every major script printed by the velm program on the built-in
// PDF printer, with the installed faces and with a font configuration that
// offers only the Liberation faces; the PDFs are read back with pdftotext.
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
    std::string text; // pdftotext -raw of the PDF
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

TEST(Scripts, EveryScriptPrintsAndReadsBack)
{
    // Right-to-left words are drawn in visual order and read back in
    // logical order.
    for (const std::string script : {"latin", "greek", "cyrillic", "chinese", "japanese", "korean", "hebrew", "arabic"}) {
        SCOPED_TRACE(script);
        TempDir folder;
        const Printed p = Print(folder, "'" + Corpus(script) + "'");
        ASSERT_EQ(p.status, 0) << p.err;
        EXPECT_EQ(p.err, ""); // no warning, and none of Qt's notes
        const std::vector<QString> read = Words(p.text);
        for (const QString& word : Words(testing::readFile(Corpus(script))))
            EXPECT_NE(std::find(read.begin(), read.end(), word), read.end()) << word.toStdString();
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
