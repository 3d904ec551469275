// Which other processes count as a working copy. Reads the real process table
// too, so it runs apart from every test that starts the program.
#include "engine/Engine.h"
#include "platform/ProcessTable.h"

#include <gtest/gtest.h>

TEST(InstanceGuards, SyntheticProcessTables) {
    // Entries as /proc gives them: arguments separated by NULs.
    const auto entry = [](pid_t pid, const char* cmdline) {
        const QByteArray raw = QByteArray(cmdline).replace('|', '\0');
        return ProcessEntry{pid, ProcessTable::parseCommandLine(raw),
                            ProcessTable::parseProgram(raw)};
    };
    const QList<ProcessEntry> table = {
        entry(10, "/opt/savewright/bin/savewright|--observe"),
        entry(11, "/usr/bin/savewright|--snapshot|/tmp/x.png"),
        entry(12, "/home/u/savewright-src/build/savewright|--run-spiegel"),
        entry(13, "/usr/bin/python3|/home/u/run.py.bak"),
        entry(14, "/usr/bin/vim|/home/u/savewright"),
        entry(15, "/opt/My Apps/savewright|--observe"),
    };
    EXPECT_FALSE(Engine::otherWorkingInstanceRunning(table, 99));
    EXPECT_FALSE(Engine::pythonShellRunning(table));
    QList<ProcessEntry> working = table;
    working.append(entry(20, "/usr/local/bin/savewright|--support|/x"));
    EXPECT_TRUE(Engine::otherWorkingInstanceRunning(working, 99));
    EXPECT_FALSE(Engine::otherWorkingInstanceRunning(working, 20)) << "its own entry never counts";
    // A program path with a blank is still this program.
    EXPECT_TRUE(Engine::otherWorkingInstanceRunning({entry(30, "/opt/My Apps/savewright")}, 99));
    EXPECT_FALSE(
        Engine::otherWorkingInstanceRunning({entry(31, "/opt/My Apps/savewright-helper")}, 99));
    working.append(entry(21, "/usr/local/bin/Python3.11|/srv/shell/run.py"));
    EXPECT_TRUE(Engine::pythonShellRunning(working));
    EXPECT_FALSE(Engine::otherWorkingInstanceRunning()) << "no other copy runs in the test";
}
