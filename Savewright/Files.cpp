#include "Files.h"

#include "update/BuildInfo.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QSaveFile>

namespace Files {

namespace {
Opener& opener() {
    static Opener o = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    return o;
}
} // namespace

void setOpener(Opener o) {
    opener() = std::move(o);
}
void open(const QUrl& url) {
    opener()(url);
}
void openPath(const QString& path) {
    open(QUrl::fromLocalFile(path));
}
void openInTextEdit(const QString& path) {
    openPath(path);
}

void showAbout() {
    const QString version =
        BuildInfo::version().isEmpty() ? QStringLiteral("?") : BuildInfo::version();
    const QString build =
        BuildInfo::buildNumber().isEmpty() ? QStringLiteral("?") : BuildInfo::buildNumber();
    const QString commit =
        BuildInfo::commit().isEmpty() ? QStringLiteral("dev") : BuildInfo::commit();
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("Über Savewright"));
    box.setIconPixmap(QApplication::windowIcon().pixmap(64, 64));
    box.setText(QStringLiteral("<b>Savewright</b><br>Version %1-%2")
                    .arg(version.toHtmlEscaped(), build.toHtmlEscaped()));
    box.setInformativeText(
        QStringLiteral("<span style='font-size:11px; color:gray'>Commit %1</span>")
            .arg(commit.toHtmlEscaped()));
    box.exec();
}

void openLatestLog(const TaskState& task, const Paths& paths) {
    const QStringList logs = LogStore(paths.logs()).files(task.config.value().safeName());
    openPath(logs.isEmpty() ? paths.logs() : logs.first());
}

QString redirectPage(const QString& page, const QString& anchor) {
    const QString target = QString::fromUtf8(QUrl::toPercentEncoding(QFileInfo(page).fileName())) +
                           u'#' + QString::fromUtf8(QUrl::toPercentEncoding(anchor));
    return QStringLiteral(
               "<!doctype html><meta charset='utf-8'><meta http-equiv='refresh' content='0; url=") +
           target + QStringLiteral("'>") + QStringLiteral("<a href='") + target +
           QStringLiteral("'>Löschbericht</a>");
}

void open(const QString& page, const std::optional<QString>& anchor) {
    if (!anchor || anchor->isEmpty()) return openPath(page);
    const QString redirect = QFileInfo(page).path() + QStringLiteral("/Löschbericht-öffnen.html");
    QSaveFile file(redirect);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(redirectPage(page, *anchor).toUtf8());
        if (file.commit()) return openPath(redirect);
    }
    openPath(page);
}

} // namespace Files
