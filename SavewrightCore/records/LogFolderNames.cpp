#include "LogFolderNames.h"

#include "LogStore.h"
#include "platform/PosixFile.h"

void LogFolderNames::reread(const QString& folder) {
    const quint64 look = ++look_;
    added_.clear();
    PosixFile::eachName(folder, [&](std::string_view raw) {
        const auto known = seen_.find(raw);
        if (known != seen_.end()) {
            known->second = look;
            return;
        }
        seen_.emplace(std::string(raw), look);
        const QString name = PosixFile::decodeName(raw);
        group(name, true);
        added_.append(name);
    });
    for (auto it = seen_.begin(); it != seen_.end();) {
        if (it->second == look) {
            ++it;
            continue;
        }
        group(PosixFile::decodeName(it->first), false);
        it = seen_.erase(it);
    }
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
