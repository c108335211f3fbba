#include "platform/core/errors.h"
#include "platform/system/files.h"
#include "platform/system/settings.h"

#include "support/testing.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velm {
namespace {

using testing::TempDir;
using testing::filesIn;
using testing::readFile;

TEST(Settings, NoFileGivesTheDefaults)
{
    TempDir dir;
    SettingsFile settings(dir.file("Pellido.Ini"));
    EXPECT_EQ(settings.readInteger("Velm", "X", 60), 60);
    EXPECT_EQ(settings.readInteger("Velm", "ColCount", 0), 0);
    EXPECT_FALSE(settings.readBool("Velm", "DoubleSided", false));
    EXPECT_TRUE(settings.readBool("Velm", "MonitorEnabled", true));
    EXPECT_EQ(settings.readString("Velm", "MonitorDir", "c:\\tmp"), "c:\\tmp");
    EXPECT_EQ(settings.readString("Velm", "FontStyle", "000"), "000");
    EXPECT_FALSE(fileExists(dir.file("Pellido.Ini")));
}

TEST(Settings, BareNameLivesInTheSettingsFolder)
{
    EXPECT_EQ(SettingsFile::settingsDirectory(), testing::settingsFolder());
    EXPECT_EQ(SettingsFile().path(), testing::settingsFolder() + "/Pellido.Ini");
    EXPECT_EQ(SettingsFile("Other.ini").path(), testing::settingsFolder() + "/Other.ini");
    EXPECT_EQ(SettingsFile("/x/y.ini").path(), "/x/y.ini");
}

TEST(Settings, FolderFromTheEnvironment)
{
    std::string saved = std::getenv("VELM_CONFIG_DIR");
    const char* home = std::getenv("HOME");
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string savedHome = home ? home : "";
    std::string savedXdg = xdg ? xdg : "";
    unsetenv("VELM_CONFIG_DIR");
    setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
    EXPECT_EQ(SettingsFile::settingsDirectory(), "/somewhere/config/velm");
    setenv("XDG_CONFIG_HOME", "relative", 1);
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(SettingsFile::settingsDirectory(), "/home/someone/.config/velm");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SettingsFile::settingsDirectory(), "/home/someone/.config/velm");
    setenv("VELM_CONFIG_DIR", "/tests/config", 1);
    EXPECT_EQ(SettingsFile::settingsDirectory(), "/tests/config");
    setenv("VELM_CONFIG_DIR", saved.c_str(), 1);
    setenv("HOME", savedHome.c_str(), 1);
    if (xdg)
        setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
}

TEST(Settings, ValuesAsTheConfigurationDialogWritesThem)
{
    TempDir dir;
    dir.write("Pellido.Ini",
              "[Velm]\nColCount=0x2\nFontColor=       255\nFontStyle=101\nX=abc\nY=  -7\n"
              "Big=0x7fffffff\nZ=0x\nDollar=$10\n");
    SettingsFile settings(dir.file("Pellido.Ini"));
    EXPECT_EQ(settings.readInteger("Velm", "ColCount", 0), 2);
    EXPECT_EQ(settings.readInteger("Velm", "FontColor", 0), 255);
    EXPECT_EQ(settings.readString("Velm", "FontColor", ""), "255");
    EXPECT_EQ(settings.readString("Velm", "FontStyle", "000"), "101");
    EXPECT_EQ(settings.readInteger("Velm", "X", 60), 60);
    EXPECT_EQ(settings.readInteger("Velm", "Y", 2), -7);
    EXPECT_EQ(settings.readInteger("Velm", "Big", 0), 0x7fffffff);
    EXPECT_EQ(settings.readInteger("Velm", "Z", 5), 5); // "0x" alone is no number
    EXPECT_EQ(settings.readInteger("Velm", "Dollar", 0), 16);
    EXPECT_TRUE(settings.readBool("Velm", "FontColor", false));
    EXPECT_FALSE(settings.readBool("Velm", "X", false));
}

TEST(Settings, WriteThenReadAndFileLayout)
{
    TempDir dir;
    SettingsFile settings(dir.file("Pellido.Ini"));
    settings.writeInteger("Velm", "X", 120);
    settings.writeBool("Velm", "DoubleSided", true);
    settings.writeString("Printer", "Preview Heading", "My preview");
    settings.writeString("Velm", "FontColor", "       255");
    EXPECT_EQ(readFile(dir.file("Pellido.Ini")),
              "[Velm]\nX=120\nDoubleSided=1\nFontColor=       255\n"
              "[Printer]\nPreview Heading=My preview\n");
    EXPECT_EQ(settings.readInteger("Velm", "X", 60), 120);
    EXPECT_TRUE(settings.readBool("Velm", "DoubleSided", false));
    EXPECT_EQ(settings.readString("Printer", "Preview Heading", ""), "My preview");
    settings.writeInteger("Velm", "X", -5);
    EXPECT_EQ(settings.readInteger("Velm", "X", 60), -5);
    settings.writeString("Velm", "FontStyle", "");
    EXPECT_EQ(settings.readString("Velm", "FontStyle", "000"), "");
}

TEST(Settings, NamesMatchWithoutRegardToCase)
{
    TempDir dir;
    dir.write("Pellido.Ini", "[VELM]\ncolcount=3\n  MonitorDir =  /data/watch  \n");
    SettingsFile settings(dir.file("Pellido.Ini"));
    EXPECT_EQ(settings.readInteger("Velm", "ColCount", 0), 3);
    EXPECT_EQ(settings.readString("velm", "monitordir", ""), "/data/watch");
    settings.writeInteger("Velm", "COLCOUNT", 1);
    // The line keeps its spelling; no second section or key appears.
    EXPECT_EQ(readFile(dir.file("Pellido.Ini")), "[VELM]\ncolcount=1\n  MonitorDir =  /data/watch  \n");
}

TEST(Settings, EverythingElseIsKeptByteForByte)
{
    TempDir dir;
    const std::string before =
        "; Pellido settings\r\n"
        "[Other]\r\n"
        "Key = spaced value ; not a comment\r\n"
        "NoEquals line\r\n"
        "\r\n"
        "[Velm]\r\n"
        "X=60\r\n"
        "; a comment inside\r\n"
        "Y=2\r\n"
        "\r\n"
        "[Printer]\r\n"
        "PageWidth=4800";
    dir.write("Pellido.Ini", before);
    SettingsFile settings(dir.file("Pellido.Ini"));
    settings.writeInteger("Velm", "Y", 30);
    settings.writeInteger("Velm", "ColCount", 2);
    settings.writeInteger("Printer", "PageHeight", 6600);
    settings.writeString("New", "Key", "v");
    EXPECT_EQ(readFile(dir.file("Pellido.Ini")),
              "; Pellido settings\r\n"
              "[Other]\r\n"
              "Key = spaced value ; not a comment\r\n"
              "NoEquals line\r\n"
              "\r\n"
              "[Velm]\r\n"
              "X=60\r\n"
              "; a comment inside\r\n"
              "Y=30\r\n"
              "ColCount=2\r\n"
              "\r\n"
              "[Printer]\r\n"
              "PageWidth=4800\r\n"
              "PageHeight=6600\r\n"
              "[New]\r\n"
              "Key=v\r\n");
    EXPECT_EQ(settings.readString("Other", "Key", ""), "spaced value ; not a comment");
    EXPECT_EQ(settings.readInteger("Printer", "PageWidth", 0), 4800);
}

TEST(Settings, ALoneCarriageReturnAtTheEndIsNoLineBreakButIsOneBeforeANewLine)
{
    TempDir dir;
    for (const char* section : {"Printer", "New"}) {
        dir.write("Pellido.Ini", "[Printer]\nPageWidth=4800\r");
        SettingsFile settings(dir.file("Pellido.Ini"));
        settings.writeString(section, "Key", "v");
        EXPECT_EQ(settings.readString(section, "Key", "none"), "v") << section;
        EXPECT_EQ(settings.readInteger("Printer", "PageWidth", 0), 4800) << section;
    }
}

TEST(Settings, SeveralKeysInOneWriteLeaveTheFileAsSeparateWritesDo)
{
    TempDir dir;
    const std::string before = "[velm]\r\nx=1\r\n\r\n[Printer]\r\npagewidth=1\r\n; note\r\n";
    dir.write("one.ini", before);
    dir.write("each.ini", before);
    const std::vector<std::pair<std::string, std::string>> entries = {
        {"PageWidth", "4800"}, {"PageHeight", "6600"}, {"Directory", "/tmp/a\nb"}, {"PageHeight", "7000"}};
    SettingsFile(dir.file("one.ini")).writeStrings("printer", entries);
    SettingsFile each(dir.file("each.ini"));
    for (const auto& [key, value] : entries)
        each.writeString("printer", key, value);
    EXPECT_EQ(readFile(dir.file("one.ini")), readFile(dir.file("each.ini")));
    EXPECT_EQ(readFile(dir.file("one.ini")),
              "[velm]\r\nx=1\r\n\r\n[Printer]\r\npagewidth=4800\r\n; note\r\nPageHeight=7000\r\n"
              "Directory=/tmp/a\r\n");
}

TEST(Settings, ReadsThroughA1024ByteBuffer)
{
    TempDir dir;
    SettingsFile settings(dir.file("Pellido.Ini"));
    std::string longValue(2000, 'x');
    settings.writeString("Printer", "Directory", longValue);
    EXPECT_EQ(settings.readString("Printer", "Directory", ""), std::string(1023, 'x'));
    settings.writeString("Printer", "Directory", std::string(1023, 'y'));
    EXPECT_EQ(settings.readString("Printer", "Directory", ""), std::string(1023, 'y'));
    // The cut never splits a UTF-8 character.
    settings.writeString("Printer", "Directory", std::string(1022, 'z') + "\xC3\xA9");
    EXPECT_EQ(settings.readString("Printer", "Directory", ""), std::string(1022, 'z'));
}

// Each kind of settings file that cannot be written says why, and none of
// them keeps the writer waiting (a FIFO has no writer and no reader).
TEST(Settings, UnwritableFilesNameTheRealReason)
{
    TempDir dir;
    dir.write("plain", "a file, not a folder");
    const std::string blocked = dir.file("plain/Pellido.Ini");
    ::mkdir(dir.file("folder").c_str(), 0755);
    dir.write("readonly.ini", "[Velm]\nX=5\n");
    ::chmod(dir.file("readonly.ini").c_str(), 0444);
    ::symlink(dir.file("gone/Pellido.Ini").c_str(), dir.file("dangling.ini").c_str());
    ::mkfifo(dir.file("fifo.ini").c_str(), 0600);
    const std::pair<std::string, std::string> kinds[] = {
        {blocked, "Not a directory"},
        {dir.file("folder"), "it is a directory"},
        {dir.file("readonly.ini"), "it is read-only"},
        {dir.file("dangling.ini"), "it is a link to " + dir.file("gone/Pellido.Ini") + " (No such file or directory)"},
        {dir.file("fifo.ini"), "it is not a regular file"},
    };
    for (const auto& [path, reason] : kinds) {
        SettingsFile settings(path);
        try {
            settings.writeInteger("Velm", "X", 1);
            ADD_FAILURE() << path << ": no error";
        } catch (const FileError& e) {
            EXPECT_EQ(std::string(e.what()), "Unable to write to " + path + ": " + reason);
        }
        EXPECT_NE(settings.readInteger("Velm", "X", 60), 1) << path;
    }
    EXPECT_EQ(SettingsFile(dir.file("readonly.ini")).readInteger("Velm", "X", 60), 5);
    EXPECT_EQ(SettingsFile(dir.file("folder")).damage(), "it is a directory");
    dir.write("damaged.ini", "[Velm]\nX=5\n[Printer\n\n; a comment\ngarbage\n");
    EXPECT_EQ(SettingsFile(dir.file("damaged.ini")).damage(), "lines 3, 6 are not settings");
    EXPECT_EQ(SettingsFile(dir.file("readonly.ini")).damage(), "");
}

// Two processes that save at once keep every key of both.
TEST(Settings, TwoWritersAtOnceLoseNothing)
{
    TempDir dir;
    const std::string path = dir.file("Pellido.Ini");
    constexpr int kKeys = 300;
    const auto writeKeys = [&](const char* prefix) {
        SettingsFile settings(path);
        for (int i = 0; i < kKeys; ++i)
            settings.writeInteger("Velm", prefix + std::to_string(i), i);
    };
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        writeKeys("child");
        ::_exit(0);
    }
    writeKeys("parent");
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    int kept = 0;
    for (const auto& [key, value] : SettingsFile(path).readSection("Velm"))
        kept += key.starts_with("child") || key.starts_with("parent") ? 1 : 0;
    EXPECT_EQ(kept, 2 * kKeys);
}

TEST(Settings, WritesAreAtomicAndCreateTheFolder)
{
    TempDir dir;
    const std::string folder = dir.file("deep/config/velm");
    SettingsFile settings(folder + "/Pellido.Ini");
    for (int i = 0; i < 20; ++i)
        settings.writeInteger("Velm", "X", i);
    // No temporary left; the lock file stays for the next writer.
    EXPECT_EQ(filesIn(folder), (std::vector<std::string>{".Pellido.Ini.lock", "Pellido.Ini"}));
    EXPECT_EQ(settings.readInteger("Velm", "X", 60), 19);
    // The file keeps its permissions across the rename.
    chmod(settings.path().c_str(), 0640);
    settings.writeInteger("Velm", "X", 1);
    struct stat st;
    ASSERT_EQ(stat(settings.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(Settings, RobustToOddFiles)
{
    TempDir dir;
    const char raw[] = "\x00\xFF[\x01=\x02\n[Velm\nX=5\n]]]\n=\n[Velm]\nX=7\n\x00garbage";
    const std::string junk(raw, sizeof raw - 1);
    dir.write("Pellido.Ini", junk);
    SettingsFile settings(dir.file("Pellido.Ini"));
    EXPECT_EQ(settings.readInteger("Velm", "X", 60), 7);
    settings.writeInteger("Velm", "Y", 3);
    EXPECT_EQ(settings.readInteger("Velm", "Y", 0), 3);
    std::string after = readFile(dir.file("Pellido.Ini"));
    EXPECT_EQ(after, junk + "\nY=3\n");
    // A last line without a line ending gets one before the new key.
    dir.write("b.ini", "[Velm]\nX=1");
    SettingsFile b(dir.file("b.ini"));
    b.writeInteger("Velm", "Y", 2);
    EXPECT_EQ(readFile(dir.file("b.ini")), "[Velm]\nX=1\nY=2\n");
    // A value with a line break cannot make a key of its own.
    b.writeString("Velm", "Z", "one\nW=two");
    EXPECT_EQ(b.readString("Velm", "Z", ""), "one");
    EXPECT_EQ(b.readString("Velm", "W", "none"), "none");
    // Enclosing quotes are dropped, as the Windows service does.
    dir.write("c.ini", "[Velm]\nA=\"quoted\"\nB='x'\nC=\"half\n");
    SettingsFile c(dir.file("c.ini"));
    EXPECT_EQ(c.readString("Velm", "A", ""), "quoted");
    EXPECT_EQ(c.readString("Velm", "B", ""), "x");
    EXPECT_EQ(c.readString("Velm", "C", ""), "\"half");
}

} // namespace
} // namespace velm
