// A fixed text job printed by the velm command, byte for byte: with
// SOURCE_DATE_EPOCH set, the same input gives the same PDF, here and on any
// machine with the faces the Makefile installs (the job names DejaVu Sans
// Mono for the text; header and footer are in Liberation Sans).
//
// After a deliberate change of the output, regenerate the golden file from
// the source tree's root (with a fresh settings folder, as the test has) and
// look at it before committing it:
//   cd tests/data/golden
//   export SOURCE_DATE_EPOCH=1700000000 PAPERSIZE=a4 QT_QPA_PLATFORM=offscreen VELM_CONFIG_DIR=$(mktemp -d)
//   ../../../build/velm --no-date --header=Golden -f 'DejaVu Sans Mono' -o text-job.pdf text-job.txt
#include "support/testing.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace velm {
namespace {

using testing::Quote;
using testing::TempDir;

// The job's PDF, written to `output`. No date stamp: the page carries no time.
void printJob(const std::string& output)
{
    const std::string command = "cd " + Quote(testing::sourcePath("tests/data/golden")) +
                                " && SOURCE_DATE_EPOCH=1700000000 PAPERSIZE=a4 " + Quote(VELM_BINARY) +
                                " --no-date --header=Golden -f 'DejaVu Sans Mono' -o " + Quote(output) +
                                " text-job.txt >/dev/null";
    ASSERT_EQ(testing::run(command), 0) << command;
}

TEST(PdfGolden, ATextJobGivesTheSameBytesEveryTimeAndEverywhere)
{
    TempDir dir;
    printJob(dir.file("first.pdf"));
    printJob(dir.file("second.pdf"));
    const std::string first = testing::readFile(dir.file("first.pdf"));
    ASSERT_FALSE(first.empty());
    EXPECT_TRUE(first == testing::readFile(dir.file("second.pdf"))) << "two runs differ";
    EXPECT_NE(first.find("/CreationDate(D:20231114221320Z)"), std::string::npos);

    const std::string golden = testing::readFile(testing::sourcePath("tests/data/golden/text-job.pdf"));
    const auto differ = std::mismatch(first.begin(), first.end(), golden.begin(), golden.end());
    EXPECT_TRUE(first == golden) << "differs from the golden file at byte " << (differ.first - first.begin())
                                 << " (" << first.size() << " bytes, golden " << golden.size()
                                 << "); see this file's comment to regenerate it";
}

// The stamp is part of the pages, so it takes the same time as the file.
TEST(PdfGolden, TheStampTakesItsTimeFromSourceDateEpoch)
{
    TempDir dir;
    std::string text;
    for (const char* name : {"first.pdf", "second.pdf"}) {
        const std::string command = "cd " + Quote(testing::sourcePath("tests/data/golden")) +
                                    " && SOURCE_DATE_EPOCH=1700000000 TZ=UTC " + Quote(VELM_BINARY) + " -o " +
                                    Quote(dir.file(name)) + " text-job.txt >/dev/null";
        ASSERT_EQ(testing::run(command), 0) << command;
    }
    EXPECT_TRUE(testing::readFile(dir.file("first.pdf")) == testing::readFile(dir.file("second.pdf")));
    ASSERT_EQ(testing::run("pdftotext " + Quote(dir.file("first.pdf")) + " -", &text), 0);
    EXPECT_NE(text.find("at 22:13:20"), std::string::npos) << text;
}

} // namespace
} // namespace velm
