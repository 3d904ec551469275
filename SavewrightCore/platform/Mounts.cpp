#include "Mounts.h"

#include "PosixFile.h"
#include "Spawn.h"

#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

namespace Mounts {

QString withoutTrailingSlashes(const QString& path) {
    QString p = path;
    while (p.size() > 1 && p.endsWith(u'/'))
        p.chop(1);
    return p;
}

QString gvfsRoot() {
    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty()) runtime = QStringLiteral("/run/user/%1").arg(::getuid());
    return withoutTrailingSlashes(runtime) + QStringLiteral("/gvfs");
}

bool isMountPoint(const QString& written) {
    const QString path = withoutTrailingSlashes(written);
    struct stat self {
    }, parent{};
    if (::stat(PosixFile::encodePath(path).constData(), &self) != 0) return false;
    const QString up = QFileInfo(path).path();
    if (::stat(PosixFile::encodePath(up).constData(), &parent) != 0) return false;
    return self.st_dev != parent.st_dev;
}

bool isPresent(const QString& written) {
    const QString path = withoutTrailingSlashes(written);
    // gvfs shares are folders of one FUSE mount: same device as their parent.
    if (QFileInfo(path).path() == gvfsRoot()) {
        struct stat st {};
        return ::stat(PosixFile::encodePath(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    return isMountPoint(path);
}

void mount(const QString& volume, const QString& address) {
    // Looked up each time: mounting is rare, and a tool installed later counts.
    Spawn::Options o;
    if (address == kFstab) {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("mount"));
        o.program =
            PosixFile::encodePath(program.isEmpty() ? QStringLiteral("/bin/mount") : program);
        o.arguments = {PosixFile::encodePath(withoutTrailingSlashes(volume))};
    } else {
        const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
        if (gio.isEmpty()) return;
        o.program = PosixFile::encodePath(gio);
        o.arguments = {"mount", address.toUtf8()};
    }
    Spawn::startUnwaited(o);
}

QString gvfsFolder(const QString& address) {
    const QUrl url(address);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty()) return {};
    QString name;
    const QString host = url.host();
    const QString user =
        url.userName().isEmpty() ? QString() : QStringLiteral(",user=") + url.userName();
    const QString port = url.port() > 0 ? QStringLiteral(",port=%1").arg(url.port()) : QString();
    if (scheme == u"smb") {
        const QString share = url.path().section(u'/', 1, 1);
        if (share.isEmpty()) return {};
        // gvfs writes server and share in lower case.
        name = QStringLiteral("smb-share:server=%1,share=%2%3")
                   .arg(host.toLower(), share.toLower(), user);
    } else if (scheme == u"sftp" || scheme == u"ftp" || scheme == u"afp") {
        name = scheme + QStringLiteral(":host=") + host + port + user;
    } else if (scheme == u"dav" || scheme == u"davs") {
        name = QStringLiteral("dav:host=%1%2,ssl=%3%4")
                   .arg(host, port, scheme == u"davs" ? u"true" : u"false", user);
    } else {
        return {};
    }
    return gvfsRoot() + u'/' + name;
}

std::optional<int> serverPort(const QString& scheme) {
    static const QHash<QString, int> ports{
        {QStringLiteral("smb"), 445},  {QStringLiteral("cifs"), 445},
        {QStringLiteral("afp"), 548},  {QStringLiteral("sftp"), 22},
        {QStringLiteral("ssh"), 22},   {QStringLiteral("ftp"), 21},
        {QStringLiteral("dav"), 80},   {QStringLiteral("http"), 80},
        {QStringLiteral("davs"), 443}, {QStringLiteral("https"), 443},
        {QStringLiteral("nfs"), 2049}};
    const auto it = ports.constFind(scheme.toLower());
    if (it == ports.constEnd()) return std::nullopt;
    return *it;
}

} // namespace Mounts
