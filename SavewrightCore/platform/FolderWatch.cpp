#include "FolderWatch.h"

#include <QSocketNotifier>

#include <algorithm>
#include <array>
#include <cerrno>

#include <linux/magic.h>
#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

// Written files are seen when closed: a run's log is not a notice per write.
constexpr uint32_t kNotices = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE |
                              IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// File systems whose files other machines change without the kernel knowing.
bool remote(__fsword_t type) {
    constexpr std::array<unsigned long, 10> kRemote = {NFS_SUPER_MAGIC,
                                                       SMB_SUPER_MAGIC,
                                                       0xFF534D42 /* cifs */,
                                                       0xFE534D42 /* smb2 */,
                                                       0x65735546 /* fuse */,
                                                       CODA_SUPER_MAGIC,
                                                       AFS_SUPER_MAGIC,
                                                       0x00C36400 /* ceph */,
                                                       V9FS_MAGIC,
                                                       0x6B414653 /* afs (kAFS) */};
    const auto t = static_cast<unsigned long>(type);
    return std::find(kRemote.begin(), kRemote.end(), t) != kRemote.end();
}

// Calls `each` with every notice waiting in a queue opened non-blocking.
void eachNotice(int queue, const std::function<void(const inotify_event&)>& each) {
    alignas(inotify_event) std::array<char, 16384> buffer{};
    for (;;) {
        const ssize_t n = ::read(queue, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer.data() + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            each(*e);
        }
    }
}

} // namespace

FolderWatch::FolderWatch(std::function<void(const QString&)> changed, QObject* parent)
    : QObject(parent), changed_(std::move(changed)),
      queue_(
          std::make_shared<const PosixFile::UniqueFd>(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))) {
    if (!*queue_) return;
    notifier_ = std::make_unique<QSocketNotifier>(queue_->get(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { readNotices(); });
}

FolderWatch::~FolderWatch() = default;

FolderWatch::Adder FolderWatch::adder() const {
    return [queue = queue_](const QString& folder) {
        if (!*queue) return -1;
        return ::inotify_add_watch(queue->get(), PosixFile::encodePath(folder).constData(),
                                   kNotices);
    };
}

void FolderWatch::adopt(const QString& folder, int watch) {
    if (watch < 0) return;
    // A folder that went and came back under the same watch (a hard link) keeps one name.
    byFolder_.remove(byWatch_.value(watch));
    byWatch_.insert(watch, folder);
    byFolder_.insert(folder, watch);
    if (early_.remove(watch)) changed_(folder);
}

bool FolderWatch::watch(const QString& folder) {
    if (watching(folder)) return true;
    const int wd = adder()(folder);
    adopt(folder, wd);
    return wd >= 0;
}

bool FolderWatch::seesAllChanges(const QString& folder) {
    struct statfs fs {};
    if (::statfs(PosixFile::encodePath(folder).constData(), &fs) != 0) return false;
    return !remote(fs.f_type);
}

void FolderWatch::hold(bool held) {
    if (notifier_) notifier_->setEnabled(!held);
}

void FolderWatch::release() {
    readNotices(false);
    hold(false);
}

void FolderWatch::readNotices(bool tell) {
    QSet<int> touched, ended;
    eachNotice(queue_->get(), [&](const inotify_event& e) {
        if (e.wd < 0) { // the queue overflowed: anything may have changed
            for (auto it = byWatch_.cbegin(); it != byWatch_.cend(); ++it)
                touched.insert(it.key());
            return;
        }
        touched.insert(e.wd);
        // A folder moved away is no longer where its name says.
        if (e.mask & (IN_IGNORED | IN_MOVE_SELF)) ended.insert(e.wd);
    });
    QStringList folders;
    for (const int wd : std::as_const(touched)) {
        const QString folder = byWatch_.value(wd);
        if (folder.isEmpty()) {
            if (!ended.contains(wd)) early_.insert(wd);
            continue;
        }
        folders.append(folder);
        if (!ended.contains(wd)) continue;
        ::inotify_rm_watch(queue_->get(), wd);
        byWatch_.remove(wd);
        byFolder_.remove(folder);
    }
    if (!tell) return;
    for (const QString& folder : std::as_const(folders))
        changed_(folder);
}

FolderNameNotices::FolderNameNotices(const QString& folder)
    : queue_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (queue_)
        watch_ =
            ::inotify_add_watch(queue_.get(), PosixFile::encodePath(folder).constData(),
                                IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY |
                                    IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);
}

std::optional<std::vector<FolderNameNotices::Notice>> FolderNameNotices::drain() {
    if (!valid()) return std::nullopt;
    std::vector<Notice> notices;
    eachNotice(queue_.get(), [&](const inotify_event& e) {
        if (e.mask & (IN_Q_OVERFLOW | IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT))
            watch_ = -1; // told no more: the folder must be read whole
        else if (e.len > 0)
            notices.push_back({std::string(e.name),
                               (e.mask & (IN_CREATE | IN_MOVED_TO))     ? Notice::Kind::Came
                               : (e.mask & (IN_DELETE | IN_MOVED_FROM)) ? Notice::Kind::Went
                                                                        : Notice::Kind::Changed});
    });
    if (!valid()) return std::nullopt;
    return notices;
}
