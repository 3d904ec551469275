#pragma once
// The kernel's word (inotify) that names in a folder appeared, went or were
// renamed, or that a file in it was written and closed or touched: one queue,
// read on the thread that owns the watch. Not its subfolders.

#include "PosixFile.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QSocketNotifier;

class FolderWatch : public QObject {
    Q_OBJECT
  public:
    // `changed` is called once per folder for each batch of the kernel's notices.
    explicit FolderWatch(std::function<void(const QString& folder)> changed,
                         QObject* parent = nullptr);
    ~FolderWatch() override;

    // Watches `folder` from now on; false when the kernel cannot (no such
    // folder, no queue, its limit reached). A folder that goes is forgotten.
    bool watch(const QString& folder);
    // Adds a watch on any thread, for folders whose look may hang (a network
    // share that stopped answering): its number (negative: none) is then taken
    // in by adopt() on the owner's thread. Notices that came first are kept.
    using Adder = std::function<int(const QString& folder)>;
    Adder adder() const;
    void adopt(const QString& folder, int watch);
    bool watching(const QString& folder) const { return byFolder_.contains(folder); }
    // Whether changes reach the kernel's notices at all: not on network or
    // FUSE file systems, where another machine may write.
    static bool seesAllChanges(const QString& folder);
    // While held, notices wait in the kernel's queue, which folds repeats of
    // one notice into one: a log written line by line costs no wake-up per line.
    void hold(bool held);
    // Drops what waits in the queue (a look at the folders is about to begin,
    // which sees it all) and lets notices through again.
    void release();

  private:
    void readNotices(bool tell = true);

    std::function<void(const QString&)> changed_;
    std::shared_ptr<const PosixFile::UniqueFd> queue_; // shared with adders on other threads
    std::unique_ptr<QSocketNotifier> notifier_;
    QHash<int, QString> byWatch_;
    QHash<QString, int> byFolder_;
    QSet<int> early_; // notices for watches not adopted yet
};

// The names that came to one folder or left it, in the order the kernel told
// them, kept in a queue of their own until asked for: a keeper of a folder's
// names catches up without reading the folder again. Only where the kernel
// sees all changes (FolderWatch::seesAllChanges).
class FolderNameNotices {
  public:
    // Watches from now on; not valid when the kernel cannot.
    explicit FolderNameNotices(const QString& folder);
    bool valid() const { return watch_ >= 0; }
    struct Notice {
        enum class Kind { Came, Went, Changed };
        std::string name; // raw, as the folder holds it
        Kind kind = Kind::Came;
    };
    // What happened since the last call; absent once the queue overflowed or
    // the folder went or moved, when only reading it whole tells its names.
    std::optional<std::vector<Notice>> drain();

  private:
    PosixFile::UniqueFd queue_;
    int watch_ = -1;
};
