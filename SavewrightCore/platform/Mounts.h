#pragma once
// Volumes as Linux mounts them: a mount point (fstab, automount, udisks below
// /media/$USER), or a share folder of gvfs below $XDG_RUNTIME_DIR/gvfs; and
// mounting one, through `gio mount <address>` or, for fstab entries with the
// `user` option, `mount <folder>`. Each test may hang on a dead network
// volume: call it off the main thread.

#include <QString>

#include <optional>

namespace Mounts {

// "/media/nas/" is the volume "/media/nas".
QString withoutTrailingSlashes(const QString& path);
QString gvfsRoot();
bool isMountPoint(const QString& path);
// A mount point, or an existing folder right below the gvfs root.
bool isPresent(const QString& path);
// The `mount_url` that mounts a watched folder through its fstab entry.
inline const QString kFstab = QStringLiteral("fstab");
// Starts the mount without a shell and without waiting for it.
void mount(const QString& volume, const QString& address);
// Where gio mount puts the share of `address` (smb, sftp, ftp, dav, afp);
// empty when the address is not of those kinds.
QString gvfsFolder(const QString& address);
// The port a server of the address's kind answers on, for the reachability
// test; absent for kinds without a server (fstab, archive, mtp …).
std::optional<int> serverPort(const QString& scheme);

} // namespace Mounts
