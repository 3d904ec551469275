// Which other processes count as a working copy: synthetic tables for the rules,
// and the real process table with stand-ins under the program's name.
#include "engine/InstanceGuards.h"
#include "platform/ProcessTable.h"
#include "support/Child.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <unistd.h>

namespace {

constexpr uid_t kUser = 1000;
const QString kSupport = QStringLiteral("/home/u/.local/share/Ferrymat");

// An entry as /proc gives it: arguments separated by NULs ('|' here).
ProcessEntry entry(pid_t pid, const char* cmdline, uid_t uid = kUser,
                   const QString& support = kSupport) {
    const QByteArray raw = QByteArray(cmdline).replace('|', '\0');
    return ProcessEntry{pid,
                        ProcessTable::parseCommandLine(raw),
                        ProcessTable::parseProgram(raw),
                        ProcessTable::parseArguments(raw),
                        uid,
                        support};
}

bool another(const QList<ProcessEntry>& table, pid_t self = 99) {
    return InstanceGuards::otherWorkingCopyRunning(table, self, kUser, kSupport);
}

} // namespace

TEST(InstanceGuards, WhatCountsAsAnotherWorkingCopy) {
    const QList<ProcessEntry> table = {
        entry(10, "/opt/savewright/bin/savewright|--observe"),
        entry(11, "/usr/bin/savewright|--snapshot|/tmp/x.png"),
        entry(12, "/home/u/savewright-src/build/savewright|--run-spiegel"),
        entry(13, "/usr/bin/python3|/home/u/run.py.bak"),
        entry(14, "/usr/bin/vim|/home/u/savewright"),
        entry(15, "/opt/My Apps/savewright|--observe"),
        // Commands a status bar or a shell runs beside the working copy.
        entry(16, "/usr/bin/savewright|status|--line"),
        entry(17, "/usr/bin/savewright|--repo|/r|run|Fotos"),
        entry(18, "/usr/bin/savewright|--version"),
        entry(19, "/usr/bin/savewright|statsu"),
        // Another person's copy, and one of this person's with another support folder.
        entry(20, "/usr/bin/savewright", 1001),
        entry(21, "/usr/bin/savewright", kUser, QStringLiteral("/home/u/test-support")),
        entry(22, "/usr/bin/savewright", kUser, QString()),
    };
    EXPECT_FALSE(another(table));
    EXPECT_FALSE(InstanceGuards::pythonShellRunning(table));

    EXPECT_TRUE(another({entry(30, "/usr/local/bin/savewright|--repo|/r")}));
    EXPECT_TRUE(another({entry(31, "/usr/bin/savewright")}));
    EXPECT_FALSE(another({entry(31, "/usr/bin/savewright")}, 31)) << "its own entry never counts";
    // A program path with a blank is still this program; a longer name is not.
    EXPECT_TRUE(another({entry(32, "/opt/My Apps/savewright")}));
    EXPECT_FALSE(another({entry(33, "/opt/My Apps/savewright-helper")}));
    // The same folder spelt otherwise is the same folder.
    EXPECT_TRUE(another({entry(34, "/usr/bin/savewright", kUser,
                               QStringLiteral("/home/u/./.local/share/Ferrymat/"))}));

    QList<ProcessEntry> withShell = table;
    withShell.append(entry(40, "/usr/local/bin/Python3.11|/srv/shell/run.py"));
    EXPECT_TRUE(InstanceGuards::pythonShellRunning(withShell));
}

TEST(InstanceGuards, ReadsUsersFoldersAndArgumentsFromTheProcessTable) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString program = dir.filePath(QStringLiteral("savewright"));
    ASSERT_TRUE(QFile::link(QStringLiteral(SAVEWRIGHT_SLEEPER), program));
    const QString home1 = dir.filePath(QStringLiteral("home1"));
    const QString home2 = dir.filePath(QStringLiteral("home2"));
    std::vector<std::unique_ptr<Child>> copies;
    const auto start = [&](const QString& home, const QStringList& arguments) {
        ChildSetup setup;
        setup.environment = QList<QByteArray>{"HOME=" + home.toUtf8()};
        setup.workingDirectory = dir.path();
        copies.push_back(std::make_unique<Child>(program, arguments, setup));
        EXPECT_TRUE(copies.back()->started());
    };
    const auto support = [](const QString& home) {
        return home + QStringLiteral("/.local/share/Ferrymat");
    };
    start(home1, {});
    start(home2, {QStringLiteral("status"), QStringLiteral("--line")});
    start(home2, {QStringLiteral("--support"), QStringLiteral("own")});

    EXPECT_TRUE(InstanceGuards::otherWorkingCopyRunning(support(home1)));
    EXPECT_FALSE(InstanceGuards::otherWorkingCopyRunning(support(home2)))
        << "a status command is no working copy";
    // A relative --support is taken from the copy's own folder.
    EXPECT_TRUE(InstanceGuards::otherWorkingCopyRunning(dir.filePath(QStringLiteral("own"))));
    EXPECT_FALSE(InstanceGuards::otherWorkingCopyRunning(dir.filePath(QStringLiteral("other"))));

    bool found = false;
    for (const ProcessEntry& p : InstanceGuards::processes()) {
        if (p.pid != copies.front()->pid()) continue;
        found = true;
        EXPECT_EQ(p.uid, ::getuid());
        EXPECT_EQ(p.supportFolder, support(home1));
    }
    EXPECT_TRUE(found);
    copies.clear();
    EXPECT_FALSE(InstanceGuards::otherWorkingCopyRunning(support(home1)));
}
