// The kernel's notices of a folder: names and finished writes, once each.
#include "platform/FolderWatch.h"
#include "support/EventLoop.h"
#include "support/TempRepo.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <thread>
#include <unistd.h>

TEST(FolderWatch, TellsOfNamesAndFinishedWritesOnceAndFoldsWhatWaited) {
    TempRepo dir;
    const QString folder = dir.root() + QStringLiteral("/w");
    QDir().mkpath(folder);
    int told = 0;
    FolderWatch watch([&](const QString& f) {
        EXPECT_EQ(f, folder);
        ++told;
    });
    ASSERT_TRUE(watch.watch(folder));
    EXPECT_TRUE(FolderWatch::seesAllChanges(folder));
    EXPECT_FALSE(watch.watch(folder + QStringLiteral("/missing")));

    // A file written a hundred times is one notice, when it is closed.
    const QByteArray path = (folder + QStringLiteral("/log")).toUtf8();
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    waitUntil([&] { return told == 1; }, 2000); // its creation
    told = 0;
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(::write(fd, "line\n", 5), 5);
        QCoreApplication::processEvents();
    }
    waitUntil([] { return false; }, 100);
    EXPECT_EQ(told, 0) << "no notice per write";
    ::close(fd);
    EXPECT_TRUE(waitUntil([&] { return told == 1; }, 2000));

    // Held: fifty appends wait in the queue, and are one notice after.
    told = 0;
    watch.hold(true);
    for (int i = 0; i < 50; ++i) {
        QFile f(QString::fromUtf8(path));
        f.open(QIODevice::Append);
        f.write("more\n");
    }
    waitUntil([] { return false; }, 200);
    EXPECT_EQ(told, 0);
    watch.hold(false);
    EXPECT_TRUE(waitUntil([&] { return told == 1; }, 2000));
    waitUntil([] { return false; }, 100);
    EXPECT_EQ(told, 1);

    // A folder that goes is forgotten, and watched again when it is back.
    QDir(folder).removeRecursively();
    EXPECT_TRUE(waitUntil([&] { return !watch.watching(folder); }, 2000));
    QDir().mkpath(folder);
    EXPECT_TRUE(watch.watch(folder));
}

TEST(FolderWatch, AWatchAddedOnAnotherThreadKeepsWhatCameBeforeItWasTakenIn) {
    TempRepo dir;
    const QString folder = dir.root() + QStringLiteral("/w");
    QDir().mkpath(folder);
    QStringList told;
    FolderWatch watch([&](const QString& f) { told.append(f); });
    int wd = -1;
    std::thread([&, add = watch.adder()] { wd = add(folder); }).join();
    ASSERT_GE(wd, 0);
    dir.write(QStringLiteral("w/new"), "x");
    waitUntil([] { return false; }, 100);
    EXPECT_TRUE(told.isEmpty()) << "not taken in yet";
    watch.adopt(folder, wd);
    EXPECT_EQ(told, QStringList{folder});
    EXPECT_TRUE(watch.watching(folder));
}
