#pragma once
// Timed directory listings of volumes, at most one under way per volume: a
// probe that finds one in flight (a hung share keeps its listing for ever)
// waits for that one instead of adding a thread.

#include "Engine.h"

#include <QString>

#include <functional>
#include <map>
#include <mutex>
#include <vector>

class VolumeListings {
  public:
    using Lister = std::function<bool(const QString&)>;
    explicit VolumeListings(Lister lister);
    // `answer` gets the listing's result, or false once `timeoutSeconds` pass; once.
    void respond(const QString& path, double timeoutSeconds, Engine::Answer answer);

  private:
    void finish(const QString& path, bool ok);
    Lister lister_;
    std::mutex mutex_;
    std::map<QString, std::vector<std::function<void(bool)>>> inFlight_;
};
