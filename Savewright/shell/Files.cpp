#include "Files.h"

#include "base/Language.h"
#include "update/BuildInfo.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "base/MainThread.h"
#include "platform/Detached.h"
#include "platform/Spawn.h"

#include <chrono>
#include <cstdio>

namespace Files {

namespace {

// A handler that fails later than this has opened the file and was closed.
constexpr auto kLateFailure = std::chrono::seconds(30);

FailureHandler& failureHandler() {
    static FailureHandler h = [](const QString& what) {
        const QString line = Language::translate("Files", "Nicht zu öffnen: %1\n").arg(what);
        std::fputs(line.toUtf8().constData(), stderr);
    };
    return h;
}

void failed(const QUrl& url) {
    failureHandler()(url.isLocalFile() ? url.toLocalFile() : url.toString());
}

// xdg-open tells by its exit status whether a handler took the file, which
// QDesktopServices does not pass on; it may wait for that handler, so on a thread.
void openWithDesktop(const QUrl& url) {
    const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (xdgOpen.isEmpty()) {
        // Without a display (--headless) there is no desktop to hand it to.
        const bool gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
        if (!gui || !QDesktopServices::openUrl(url)) failed(url);
        return;
    }
    Spawn::Options o;
    o.program = QFile::encodeName(xdgOpen);
    o.arguments = {url.isLocalFile() ? QFile::encodeName(url.toLocalFile())
                                     : url.toEncoded(QUrl::FullyEncoded)};
    const bool threaded = startDetached([o, url] {
        const auto begun = std::chrono::steady_clock::now();
        const Spawn::Finished f = Spawn::runToEnd(o, 512);
        const bool early = std::chrono::steady_clock::now() - begun < kLateFailure;
        if (!f.started || (f.status != 0 && early)) postToMain([url] { failed(url); });
    });
    if (!threaded) failed(url);
}

Opener& opener() {
    static Opener o = openWithDesktop;
    return o;
}

} // namespace

void setOpener(Opener o) {
    opener() = o ? std::move(o) : Opener(openWithDesktop);
}
void setFailureHandler(FailureHandler handler) {
    failureHandler() = std::move(handler);
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
    static QPointer<QDialog> shown;
    if (shown) return shown->raise(), shown->activateWindow();
    const QString version =
        BuildInfo::version().isEmpty() ? QStringLiteral("?") : BuildInfo::version();
    const QString build =
        BuildInfo::buildNumber().isEmpty() ? QStringLiteral("?") : BuildInfo::buildNumber();
    const QString commit =
        BuildInfo::commit().isEmpty() ? QStringLiteral("dev") : BuildInfo::commit();
    // Never waited for: the about box closes by itself with Esc or its button.
    auto* box = new QDialog;
    shown = box;
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName(QStringLiteral("about"));
    box->setWindowTitle(Language::translate("Files", "Über Savewright"));
    box->setMinimumWidth(360);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(28, 24, 28, 18);
    column->setSpacing(6);
    auto* icon = new QLabel(box);
    icon->setPixmap(QApplication::windowIcon().pixmap(64, 64));
    icon->setAlignment(Qt::AlignHCenter);
    column->addWidget(icon);
    const auto line = [&](const QString& text, int pixels, QFont::Weight weight, bool dim) {
        auto* l = new QLabel(text, box);
        l->setTextFormat(Qt::PlainText);
        l->setAlignment(Qt::AlignHCenter);
        QFont f = l->font();
        f.setPixelSize(pixels);
        f.setWeight(weight);
        l->setFont(f);
        if (dim) l->setForegroundRole(QPalette::PlaceholderText);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        column->addWidget(l);
    };
    line(QStringLiteral("Savewright"), 18, QFont::Bold, false);
    line(Language::translate("Files", "Version %1-%2").arg(version, build), 13, QFont::Normal,
         false);
    line(QStringLiteral("Commit %1").arg(commit), 11, QFont::Normal, true);
    column->addSpacing(10);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, box);
    buttons->button(QDialogButtonBox::Close)->setText(Language::translate("Files", "Schließen"));
    QObject::connect(buttons, &QDialogButtonBox::rejected, box, &QDialog::reject);
    column->addWidget(buttons);
    box->show();
    box->raise();
    box->activateWindow();
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
           QStringLiteral("'>") + Language::translate("Files", "Löschbericht").toHtmlEscaped() +
           QStringLiteral("</a>");
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
