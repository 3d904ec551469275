#pragma once
// The log folder's names, kept from one look to the next. A look decodes and
// groups only the names that came or went since the one before, so a run's
// end costs what its own logs cost, not what the whole folder holds.

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

class FolderNameNotices;

class LogFolderNames {
  public:
    LogFolderNames();
    ~LogFolderNames();
    // Reads the folder's names whole; a folder that cannot be read holds none.
    // Where the kernel tells every change, it is asked to from now on.
    void reread(const QString& folder);
    // Whether the kernel tells every change of `folder` since the last reread.
    bool told(const QString& folder) const;
    // Takes in what the kernel told since the last look; reads the folder
    // whole when it lost count.
    void catchUp();
    // The names that may be logs of `safeName`, unsorted (LogListing::candidates).
    QStringList candidates(const QString& safeName) const { return groups_.value(safeName); }
    // Changes whenever the candidates of `safeName` do.
    quint64 generation(const QString& safeName) const { return generations_.value(safeName); }
    // The names that came with the last look (at the first, every name).
    const QStringList& added() const { return added_; }
    // Whether the file `name` was written to or came anew between the look
    // before and this one, as the kernel told; absent where it does not tell.
    std::optional<bool> changed(const QString& name) const {
        return toldContent_ ? std::optional(touched_.contains(name)) : std::nullopt;
    }

  private:
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    // Raw name → the look that last saw it.
    using Seen = std::unordered_map<std::string, quint64, Hash, std::equal_to<>>;

    void came(std::string_view raw);
    void went(std::string_view raw);
    Seen::iterator forget(Seen::iterator known);
    void group(const QString& name, bool came);
    // Notices that came while the folder was read whole are no news, or the
    // latest; false when the kernel lost count.
    bool applyNotices();

    Seen seen_;
    quint64 look_ = 0;
    QHash<QString, QStringList> groups_;
    QHash<QString, quint64> generations_;
    QStringList added_;
    QSet<QString> touched_; // names written to or come at the last look
    bool toldContent_ = false;
    QString folder_;
    std::unique_ptr<FolderNameNotices> notices_;
};
