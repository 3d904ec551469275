#include "HangingFolder.h"

#include "EventLoop.h"

#include <QDir>
#include <QFile>

#include <sys/mount.h>

bool listedAsMount(const QString& folder) {
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly)) return false;
    return table.readAll().contains(" " + folder.toUtf8() + " ");
}

HangingFolder::HangingFolder(const QString& helper, QString folder) : folder_(std::move(folder)) {
    QDir().mkpath(folder_);
    fs_ = std::make_unique<Child>(helper, QStringList{folder_});
    mounted_ = fs_->started() && waitUntil([&] { return listedAsMount(folder_); }, 5000);
    if (!mounted_) release();
}

void HangingFolder::release() {
    if (!fs_) return;
    fs_.reset();
    ::umount2(folder_.toUtf8().constData(), MNT_DETACH);
    mounted_ = false;
}
