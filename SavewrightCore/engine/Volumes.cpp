// Network volumes: presence and probes with time limits, and mounting in the background.
#include "Engine.h"

#include "Once.h"
#include "VolumeListings.h"
#include "base/MainThread.h"
#include "platform/Detached.h"
#include "platform/Mounts.h"
#include "platform/PosixFile.h"
#include "platform/Spawn.h"
#include "platform/Tcp.h"

#include <QFileInfo>
#include <QPointer>
#include <QThread>
#include <QUrl>

namespace {

constexpr int kSmbPort = 445;

// `answer`, wrapped so that the first of a result and `timeout` wins: the
// returned function delivers a result; false goes out by itself at the limit.
std::function<void(bool)> answerOnceWithin(double timeoutSeconds, Engine::Answer answer) {
    auto once = std::make_shared<Once>();
    auto shared = std::make_shared<Engine::Answer>(std::move(answer));
    const auto deliver = [once, shared](bool ok) {
        if (once->claim()) (*shared)(ok);
    };
    afterDelay(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                   std::chrono::duration<double>(timeoutSeconds)),
               [deliver] { deliver(false); });
    return deliver;
}

// Runs `work` on a thread of its own; `answer` gets its result or, when it takes
// longer than `timeout`, false — exactly once. A hung `work` ends whenever it ends.
void answerWithin(double timeoutSeconds, std::function<bool()> work, Engine::Answer answer) {
    const auto deliver = answerOnceWithin(timeoutSeconds, std::move(answer));
    if (!startDetached([deliver, work = std::move(work)] { deliver(work()); })) deliver(false);
}

} // namespace

VolumeListings::VolumeListings(Lister lister) : lister_(std::move(lister)) {}

void VolumeListings::respond(const QString& path, double timeoutSeconds, Engine::Answer answer) {
    const auto deliver = answerOnceWithin(timeoutSeconds, std::move(answer));
    bool first = false;
    {
        const std::lock_guard lock(mutex_);
        auto& waiters = inFlight_[path];
        first = waiters.empty();
        waiters.push_back(deliver);
    }
    if (first && !startDetached([this, path] { finish(path, lister_(path)); })) finish(path, false);
}

void VolumeListings::finish(const QString& path, bool ok) {
    std::vector<std::function<void(bool)>> waiters;
    {
        const std::lock_guard lock(mutex_);
        waiters = std::move(inFlight_[path]);
        inFlight_.erase(path);
    }
    for (const auto& w : waiters)
        w(ok);
}

namespace {

bool lists(const QString& path, bool mustBePresent) {
    // The mount-point test is a stat() of the volume: a dead server hangs it too.
    if (mustBePresent && !Mounts::isPresent(path)) return false;
    return PosixFile::readsThrough(path);
}

} // namespace

void Engine::isReachableDefault(const QString& address, double timeoutSeconds, Answer answer) {
    const QUrl url(address);
    const int port = url.port(Mounts::serverPort(url.scheme()).value_or(kSmbPort));
    if (!url.isValid() || url.host().isEmpty() || port < 0 || port > 65535) return answer(false);
    const QByteArray host = url.host(QUrl::FullyEncoded).toUtf8();
    answerWithin(
        timeoutSeconds,
        [host, port, timeoutSeconds] { return Tcp::connects(host, port, timeoutSeconds); },
        std::move(answer));
}

void Engine::volumeRespondsDefault(const QString& path, double timeoutSeconds, Answer answer,
                                   bool mustBePresent) {
    // Threads outlive engines: the registries live as long as the process.
    static VolumeListings* folders =
        new VolumeListings([](const QString& p) { return lists(p, false); });
    static VolumeListings* volumes =
        new VolumeListings([](const QString& p) { return lists(p, true); });
    (mustBePresent ? volumes : folders)->respond(path, timeoutSeconds, std::move(answer));
}

void Engine::volumePresentDefault(const QString& path, double timeoutSeconds, Answer answer) {
    static VolumeListings* looks = new VolumeListings(Mounts::isPresent);
    looks->respond(path, timeoutSeconds, std::move(answer));
}

bool Engine::volumePresentNow(const QString& volume) const {
    return volumePresence.value().value(volume, false);
}

void Engine::checkVolumes() {
    QSet<QString> watched;
    for (const auto& t : tasks.value())
        for (const QString& v : t->config.value().watchVolumes)
            watched.insert(v);
    QHash<QString, bool> kept = volumePresence;
    kept.removeIf([&](const auto& entry) { return !watched.contains(entry.key()); });
    volumePresence_ = kept;
    QPointer<Engine> engine(this);
    for (const QString& v : watched) {
        if (presenceInFlight_.contains(v)) continue;
        presenceInFlight_.insert(v);
        volumePresent(v, [engine, v](bool present) {
            // An answer given at once (tests) is taken at once, any other on the main thread.
            if (engine && QThread::currentThread() == engine->thread())
                return engine->takePresence(v, present);
            postToMain([engine, v, present] {
                if (engine) engine->takePresence(v, present);
            });
        });
    }
}

void Engine::takePresence(const QString& volume, bool present) {
    presenceInFlight_.remove(volume);
    const auto known = volumePresence.value().constFind(volume);
    if (known != volumePresence.value().constEnd() && *known == present) return;
    QHash<QString, bool> presence = volumePresence;
    presence.insert(volume, present);
    volumePresence_ = presence;
    if (!started || observeOnly) return;
    // A volume found absent is mounted now, not at the next poll.
    if (!present && !paused) tryMountVolumes();
    startReady();
}

QList<Engine::MountTarget> Engine::mountTargets(
    const QList<TaskConfig>& tasks, const std::function<bool(const QString&)>& isMounted,
    const QHash<QString, QDateTime>& lastAttempt, const QDateTime& now, double retryMinutes) {
    QSet<QString> decided;
    QList<MountTarget> targets;
    for (const TaskConfig& t : tasks) {
        if (t.watchVolumes.isEmpty() || (t.mountURL.isEmpty() && t.mountURLs.isEmpty())) continue;
        for (const QString& volume : t.watchVolumes) {
            if (decided.contains(volume)) continue;
            const QString url = t.mountURLFor(volume);
            if (url.isEmpty()) continue; // a later task may still name an address
            decided.insert(volume);
            if (isMounted(volume)) continue;
            const auto last = lastAttempt.constFind(volume);
            if (last != lastAttempt.constEnd() &&
                static_cast<double>(last->msecsTo(now)) < retryMinutes * 60'000.0)
                continue;
            targets.append({volume, url});
        }
    }
    return targets;
}

void Engine::noteMountAttempt(const QString& volume) {
    QHash<QString, QDateTime> attempts = lastMountAttempt;
    attempts.insert(volume, currentTime());
    lastMountAttempt_ = attempts;
}

void Engine::tryMountVolumes() {
    QList<TaskConfig> configs;
    for (const auto& t : tasks.value())
        configs.append(t->config.value());
    // A volume not asked about yet is left alone until the answer comes.
    const QList<MountTarget> targets = mountTargets(
        configs, [this](const QString& v) { return volumePresence.value().value(v, true); },
        lastMountAttempt, now, config.value().mountRetryMinutes);
    QPointer<Engine> engine(this);
    for (const MountTarget& target : targets) {
        if (mountInFlight.value().contains(target.volume)) continue;
        // An fstab entry or a local archive names no server to ask first: mount
        // answers for itself, and is asked again only after the retry pause.
        if (!Mounts::serverPort(QUrl(target.url).scheme())) {
            mountVolume(target);
            noteMountAttempt(target.volume);
            continue;
        }
        QSet<QString> inFlight = mountInFlight;
        inFlight.insert(target.volume);
        mountInFlight_ = inFlight;
        isReachable(target.url, [engine, target](bool reachable) {
            postToMain([engine, target, reachable] {
                if (!engine) return;
                QSet<QString> inFlight = engine->mountInFlight;
                inFlight.remove(target.volume);
                engine->mountInFlight_ = inFlight;
                if (reachable) {
                    engine->mountVolume(target);
                } else {
                    engine->noteMountAttempt(target.volume);
                }
            });
        });
    }
}
