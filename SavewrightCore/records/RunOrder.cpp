#include "RunOrder.h"

#include "LogStore.h"
#include "platform/PosixFile.h"

#include <QDir>

#include <algorithm>

namespace {

// A name may lie after its file's last change by the file system's rounding at most.
constexpr qint64 kNameSlackMs = 2000;
// Clean-up keeps the record short; this bounds it should clean-up never run.
constexpr qsizetype kMostRecorded = 10000;

QList<DatedRun> parse(const QByteArray& bytes) {
    QList<DatedRun> runs;
    for (const QByteArray& line : bytes.split('\n')) {
        const qsizetype space = line.indexOf(' ');
        if (space <= 0) continue;
        bool ok = false;
        const qint64 ms = line.first(space).toLongLong(&ok);
        if (ok) runs.append({QString::fromUtf8(line.sliced(space + 1)), ms});
    }
    return runs;
}

} // namespace

namespace RunOrder {

QString locksFolder(const QString& logsFolder) {
    return logsFolder + u'/' + QStringLiteral(".locks");
}

QString recordFile(const QString& logsFolder, const QString& safeName) {
    return locksFolder(logsFolder) + u'/' + safeName + QStringLiteral(".runs");
}

QList<DatedRun> recorded(const QString& logsFolder, const QString& safeName) {
    const PosixFile::ReadResult r = PosixFile::readAll(recordFile(logsFolder, safeName));
    return r.ok() ? parse(r.data) : QList<DatedRun>();
}

bool record(const QString& logsFolder, const QString& safeName, const QString& name,
            Clock::time_point start) {
    const QString file = recordFile(logsFolder, safeName);
    if (!QDir().mkpath(locksFolder(logsFolder))) return false;
    const PosixFile::UniqueFd folder = PosixFile::openFolder(logsFolder);
    QList<DatedRun> runs = recorded(logsFolder, safeName);
    runs.removeIf([&](const DatedRun& r) {
        return r.name == name || !PosixFile::stampAt(folder.get(), r.name);
    });
    // Whole seconds, as the name has them.
    const auto second = std::chrono::floor<std::chrono::seconds>(start);
    runs.append(
        {name,
         std::chrono::duration_cast<std::chrono::milliseconds>(second.time_since_epoch()).count()});
    QByteArray bytes;
    for (qsizetype i = std::max<qsizetype>(0, runs.size() - kMostRecorded); i < runs.size(); ++i)
        bytes += QByteArray::number(runs[i].startMs) + ' ' + runs[i].name.toUtf8() + '\n';
    return PosixFile::replace(file, bytes) == 0;
}

qint64 believedStartMs(const QString& logsFolder, int folderFd, const QString& name,
                       qint64 nameMs) {
    const std::optional<PosixFile::Stamp> st = PosixFile::stampAt(folderFd, name);
    if (!st) return nameMs;
    const qint64 changedMs = st->mtimeNs / 1'000'000;
    if (nameMs <= changedMs + kNameSlackMs) return nameMs;
    // The run began before its log last changed, by as long as it lasted.
    const std::optional<double> lasted = LogStore::runSeconds(logsFolder + u'/' + name);
    return changedMs - static_cast<qint64>(lasted.value_or(0) * 1000);
}

QList<DatedRun> order(const QString& logsFolder, int folderFd, const QString& safeName,
                      const QStringList& names, const QList<DatedRun>& made,
                      const QHash<QString, qint64>& known) {
    struct Keyed {
        DatedRun run;
        qint64 key;
    };
    QHash<QString, qsizetype> madeAt;
    for (qsizetype i = 0; i < made.size(); ++i)
        madeAt.insert(made[i].name, i);
    QList<Keyed> all;
    all.reserve(names.size());
    QList<qsizetype> slotOfMade(made.size(), -1); // into `all`; -1: its log is gone
    for (const QString& name : names) {
        const qsizetype m = madeAt.value(name, -1);
        qint64 start;
        if (m >= 0) {
            start = made[m].startMs;
            slotOfMade[m] = all.size();
        } else if (const auto k = known.constFind(name); k != known.cend()) {
            start = *k;
        } else {
            const std::optional<QDateTime> named = LogStore::startDate(name, safeName);
            start =
                believedStartMs(logsFolder, folderFd, name, named ? named->toMSecsSinceEpoch() : 0);
        }
        all.append({{name, start}, start});
    }
    // A made run is newer than every run made before it, whatever the clock said.
    const Keyed* before = nullptr;
    for (const qsizetype slot : slotOfMade) {
        if (slot < 0) continue;
        Keyed& run = all[slot];
        if (before) run.key = std::max(run.key, before->key + 1);
        before = &run;
    }
    std::sort(all.begin(), all.end(), [](const Keyed& a, const Keyed& b) {
        return a.key != b.key ? a.key > b.key : a.run.name > b.run.name;
    });
    QList<DatedRun> runs;
    runs.reserve(all.size());
    for (Keyed& k : all)
        runs.append(std::move(k.run));
    return runs;
}

} // namespace RunOrder
