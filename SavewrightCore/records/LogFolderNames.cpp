#include "LogFolderNames.h"

#include "LogStore.h"
#include "platform/FolderWatch.h"
#include "platform/PosixFile.h"

LogFolderNames::LogFolderNames() = default;
LogFolderNames::~LogFolderNames() = default;

void LogFolderNames::reread(const QString& folder) {
    const quint64 look = ++look_;
    added_.clear();
    touched_.clear();
    toldContent_ = false;
    folder_ = folder;
    // Asked before the read: a change during it is told afterwards.
    notices_.reset();
    if (FolderWatch::seesAllChanges(folder)) {
        notices_ = std::make_unique<FolderNameNotices>(folder);
        if (!notices_->valid()) notices_.reset();
    }
    PosixFile::eachName(folder, [&](std::string_view raw) {
        const auto known = seen_.find(raw);
        if (known != seen_.end())
            known->second = look;
        else
            came(raw);
    });
    for (auto it = seen_.begin(); it != seen_.end();)
        it = it->second == look ? std::next(it) : forget(it);
    // Lost count already: the folder's time tells of changes, as without notices.
    if (notices_ && !applyNotices()) notices_.reset();
}

bool LogFolderNames::told(const QString& folder) const {
    return notices_ && folder == folder_;
}

void LogFolderNames::catchUp() {
    added_.clear();
    touched_.clear();
    toldContent_ = applyNotices();
    if (!toldContent_) reread(folder_);
}

bool LogFolderNames::applyNotices() {
    const auto notices = notices_->drain();
    if (!notices) return false;
    using Kind = FolderNameNotices::Notice::Kind;
    for (const FolderNameNotices::Notice& n : *notices) {
        if (n.kind != Kind::Went) touched_.insert(PosixFile::decodeName(n.name));
        if (n.kind == Kind::Came)
            came(n.name);
        else if (n.kind == Kind::Went)
            went(n.name);
    }
    return true;
}

void LogFolderNames::came(std::string_view raw) {
    if (seen_.find(raw) != seen_.end()) return;
    seen_.emplace(std::string(raw), look_);
    const QString name = PosixFile::decodeName(raw);
    group(name, true);
    added_.append(name);
}

void LogFolderNames::went(std::string_view raw) {
    const auto known = seen_.find(raw);
    if (known != seen_.end()) forget(known);
}

LogFolderNames::Seen::iterator LogFolderNames::forget(Seen::iterator known) {
    const QString name = PosixFile::decodeName(known->first);
    group(name, false);
    added_.removeOne(name);
    return seen_.erase(known);
}

void LogFolderNames::group(const QString& name, bool came) {
    const auto owner = LogListing::ownerOf(name);
    if (!owner) return;
    const QString safeName = owner->toString();
    QStringList& names = groups_[safeName];
    if (came)
        names.append(name);
    else
        names.removeOne(name);
    if (names.isEmpty()) groups_.remove(safeName);
    ++generations_[safeName];
}
