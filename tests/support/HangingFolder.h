#pragma once
// A folder whose every look hangs, like a share whose server vanished: the
// hangfs helper mounted on it until release() (SIGKILL to the helper makes every
// look that waits fail at once).

#include "Child.h"

#include <QString>

#include <memory>

// Whether `folder` is in the mount table, read without looking at the folder.
bool listedAsMount(const QString& folder);

class HangingFolder {
  public:
    // `helper`: the built hangfs; mounted() is false where FUSE is not to be had.
    HangingFolder(const QString& helper, QString folder);
    ~HangingFolder() { release(); }
    bool mounted() const { return mounted_; }
    void release();

  private:
    QString folder_;
    std::unique_ptr<Child> fs_;
    bool mounted_ = false;
};
