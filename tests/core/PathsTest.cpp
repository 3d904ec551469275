#include "config/Paths.h"
#include "base/Text.h"
#include "support/TempRepo.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A support folder without config.toml: the machine's own never counts.
const QString kNoSupport = QStringLiteral("/proc/self/no-support");

QStringList args(std::initializer_list<const char*> list) {
    QStringList out{QStringLiteral("/prog")};
    for (const char* a : list)
        out.append(QString::fromUtf8(a));
    return out;
}
} // namespace

TEST(CommandLine, OptionLookupRules) {
    const QString s = QStringLiteral("--support");
    EXPECT_EQ(CommandLine::value(args({"--support", "/a", "--support", "/b"}), s), u"/a");
    EXPECT_FALSE(CommandLine::value(args({"--support"}), s));
    // A trailing first occurrence has no value; a later one is never looked at.
    EXPECT_EQ(CommandLine::value(args({"--repo", "--observe"}), QStringLiteral("--repo")),
              u"--observe");
    EXPECT_TRUE(CommandLine::has(args({"--repo", "--observe"}), QStringLiteral("--observe")));
    EXPECT_FALSE(CommandLine::has(args({"--observe=1"}), QStringLiteral("--observe")));
    EXPECT_FALSE(CommandLine::value(args({"--Support", "/x"}), s));
}

TEST(Paths, ResolveUsesOptionsOrDefaults) {
    const Paths p = Paths::resolve(args({"--support", "/s", "--repo", "/r"}), QStringLiteral("/x"));
    EXPECT_EQ(p.appSupport, u"/s");
    EXPECT_EQ(p.repo, u"/r");
    EXPECT_EQ(p.configFile(), u"/s/config.toml");
    EXPECT_EQ(p.logs(), u"/r/logs");
    EXPECT_EQ(p.scripts(), u"/r/Scripts");
    const Paths d = Paths::resolve(args({"--support"}), QStringLiteral("/nowhere/bin/prog"));
    EXPECT_EQ(d.appSupport, Paths::defaultAppSupport());
    EXPECT_TRUE(Paths::defaultAppSupport().endsWith(u"/Ferrymat"));
    EXPECT_EQ(Paths::resolve(args({"--support", "rel"}), QStringLiteral("/x")).appSupport,
              QDir::current().absoluteFilePath(QStringLiteral("rel")));
    // Used as given: "a/link/.." is the link target's parent, not "a".
    TempRepo t;
    t.write(QStringLiteral("target/inner/x"), "x");
    ASSERT_TRUE(QDir().mkpath(t.root() + QStringLiteral("/a")));
    ASSERT_TRUE(QFile::link(t.root() + QStringLiteral("/target/inner"),
                            t.root() + QStringLiteral("/a/lnk")));
    const Paths viaLink = Paths::resolve(
        args({"--repo", (t.root() + QStringLiteral("/a/lnk/..")).toUtf8().constData()}),
        QStringLiteral("/x"));
    EXPECT_TRUE(QFileInfo::exists(viaLink.repo + QStringLiteral("/inner/x")));
}

TEST(Paths, UpwardSearchSkipsFoldersOthersControl) {
    TempRepo t;
    const QString program = t.write(QStringLiteral("shared/repo/bin/savewright"), "x");
    t.write(QStringLiteral("shared/Scripts/evil.sh"), "x");
    const QString shared = t.root() + QStringLiteral("/shared");
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 01777), 0); // like /tmp
    EXPECT_NE(Paths::resolveRepo(args({}), program, kNoSupport), shared)
        << "anybody may create Scripts there";
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 0755), 0);
    EXPECT_EQ(Paths::resolveRepo(args({}), program, kNoSupport), shared);
    // A Scripts folder of another user's.
    if (::geteuid() == 0) {
        const QString scripts = shared + QStringLiteral("/Scripts");
        ASSERT_EQ(::chown(QFile::encodeName(scripts).constData(), 65534, 65534), 0);
        EXPECT_NE(Paths::resolveRepo(args({}), program, kNoSupport), shared);
    }
}

TEST(Text, DecimalNumbersAreWhollyNumbersAndFinite) {
    EXPECT_EQ(Text::parseDecimal(u"2"), 2.0);
    EXPECT_EQ(Text::parseDecimal(u"-0.5"), -0.5);
    EXPECT_EQ(Text::parseDecimal(u".25"), 0.25);
    EXPECT_EQ(Text::parseDecimal(u"1e2"), 100.0);
    for (const char16_t* bad :
         {u" 2", u"2 ", u"nan", u"inf", u"-inf", u"1e999", u"", u"0x10", u"1,5"})
        EXPECT_FALSE(Text::parseDecimal(bad)) << QString::fromUtf16(bad).toStdString();
}

TEST(Paths, UpwardSearchFindsNearestScriptsFolderThroughSymlinks) {
    TempRepo t;
    const QString repo = t.root() + QStringLiteral("/repo");
    const QString program = t.write(QStringLiteral("repo/build/bin/deep/savewright"), "x");
    EXPECT_EQ(Paths::resolveRepo(args({}), program, kNoSupport), repo);
    // A folder with a plain file named Scripts does not count.
    t.write(QStringLiteral("other/Scripts"), "not a folder");
    const QString elsewhere = t.write(QStringLiteral("other/bin/savewright"), "x");
    const QString found = Paths::resolveRepo(args({}), elsewhere, kNoSupport);
    EXPECT_NE(found, t.root() + QStringLiteral("/other"));
    // Started through a link outside the repository: the link's target decides.
    const QString link = t.root() + QStringLiteral("/other/bin/link");
    ASSERT_TRUE(QFile::link(program, link));
    EXPECT_EQ(Paths::resolveRepo(args({}), link, kNoSupport), repo);
    EXPECT_EQ(Paths::resolveRepo(args({"--repo", "/given"}), link, kNoSupport), u"/given");
}

TEST(Paths, NoScriptsUpToTheRootGivesTheDefault) {
    EXPECT_EQ(
        Paths::resolveRepo(args({}), QStringLiteral("/proc/self/savewright-none"), kNoSupport),
        Paths::defaultRepo());
}

TEST(CommandLine, WholeLineGrammar) {
    const auto parse = [](std::initializer_list<const char*> list) {
        return CommandLine::parse(args(list));
    };
    // Lines the tray program and its modes take, the Part's odd ones included.
    for (const auto& line : {args({}), args({"--support"}), args({"--snapshot"}),
                             args({"--repo", "--observe"}), args({"--repo", "status"}),
                             args({"--snapshot", "x.png", "--dark", "--expand", "--wait", "abc"}),
                             args({"-session", "1234abc", "-platform", "xcb"})}) {
        const CommandLine::Parsed p = CommandLine::parse(line);
        EXPECT_FALSE(p.command) << line.join(u' ').toStdString();
        EXPECT_TRUE(p.error.isEmpty()) << line.join(u' ').toStdString();
    }
    EXPECT_EQ(parse({"--repo", "/r", "status", "--json"}).command, u"status");
    const CommandLine::Parsed run = parse({"run", "Fotos NAS", "--support", "/s"});
    EXPECT_EQ(run.command, u"run");
    EXPECT_EQ(run.task, u"Fotos NAS");
    EXPECT_EQ(parse({"status", "--hilfe", "--help"}).command, u"--help");
    EXPECT_TRUE(parse({"stop"}).error.startsWith(u"„stop“ braucht den Namen eines Tasks."));
    EXPECT_TRUE(parse({"status", "run", "x"}).error.startsWith(u"Zu viele Angaben: „run“."));
    EXPECT_TRUE(parse({"--line"}).error.startsWith(u"Unbekannte Option „--line“."));

    EXPECT_TRUE(CommandLine::startsWorkingCopy(args({"--repo", "/r", "--support", "/s"})));
    for (const auto& line : {args({"status"}), args({"-h"}), args({"show"}), args({"--observe"}),
                             args({"--snapshot", "x"}), args({"--run-spiegel"}), args({"x"})})
        EXPECT_FALSE(CommandLine::startsWorkingCopy(line)) << line.join(u' ').toStdString();
}
