#include "Symbols.h"

#include <QHash>
#include <QPainter>

namespace Symbols {

namespace {

const QHash<QString, QString>& table() {
    static const QHash<QString, QString> names = {
        {QStringLiteral("arrow.triangle.2.circlepath"),
         QStringLiteral("emblem-synchronizing-symbolic")},
        {QStringLiteral("pause.circle"), QStringLiteral("media-playback-pause-symbolic")},
        {QStringLiteral("externaldrive"), QStringLiteral("drive-harddisk-symbolic")},
        {QStringLiteral("externaldrive.badge.checkmark"),
         QStringLiteral("drive-harddisk-symbolic")},
        {QStringLiteral("playpause"), QStringLiteral("media-playback-start-symbolic")},
        {QStringLiteral("pause"), QStringLiteral("media-playback-pause-symbolic")},
        // "Alle starten" beside resume's ▶ when paused: two arrows, all tasks.
        {QStringLiteral("play"), QStringLiteral("media-seek-forward-symbolic")},
        {QStringLiteral("exclamationmark.triangle"), QStringLiteral("dialog-warning-symbolic")},
        {QStringLiteral("arrow.down.circle"), QStringLiteral("folder-download-symbolic")},
        {QStringLiteral("chart.bar.doc.horizontal"),
         QStringLiteral("x-office-spreadsheet-symbolic")},
        {QStringLiteral("trash"), QStringLiteral("user-trash-symbolic")},
        {QStringLiteral("folder"), QStringLiteral("folder-symbolic")},
        {QStringLiteral("gearshape"), QStringLiteral("emblem-system-symbolic")},
        {QStringLiteral("arrow.clockwise"), QStringLiteral("view-refresh-symbolic")},
        {QStringLiteral("info.circle"), QStringLiteral("help-about-symbolic")},
        {QStringLiteral("power"), QStringLiteral("system-shutdown-symbolic")},
        {QStringLiteral("chevron.down"), QStringLiteral("pan-down-symbolic")},
        {QStringLiteral("chevron.right"), QStringLiteral("pan-end-symbolic")},
        {QStringLiteral("stop.fill"), QStringLiteral("media-playback-stop-symbolic")},
        {QStringLiteral("play.fill"), QStringLiteral("media-playback-start-symbolic")},
        {QStringLiteral("doc.text"), QStringLiteral("text-x-generic-symbolic")},
        {QStringLiteral("chevron.left.forwardslash.chevron.right"),
         QStringLiteral("document-edit-symbolic")},
    };
    return names;
}

} // namespace

void setUpTheme() {
    if (!QIcon::themeName().isEmpty() &&
        !QIcon::fromTheme(QStringLiteral("folder-symbolic")).isNull())
        return;
    QStringList paths = QIcon::themeSearchPaths();
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty()) dirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& d : dirs.split(u':', Qt::SkipEmptyParts))
        if (!paths.contains(d + QStringLiteral("/icons")))
            paths.append(d + QStringLiteral("/icons"));
    QIcon::setThemeSearchPaths(paths);
    if (QIcon::themeName().isEmpty() ||
        QIcon::fromTheme(QStringLiteral("folder-symbolic")).isNull())
        QIcon::setThemeName(QStringLiteral("Adwaita"));
}

QString themeName(const QString& symbol) {
    return table().value(symbol);
}

QIcon icon(const QString& symbol) {
    const QString name = themeName(symbol);
    return name.isEmpty() ? QIcon() : QIcon::fromTheme(name);
}

void draw(QPainter& painter, const QString& symbol, const QRectF& rect, double size,
          const QColor& color) {
    const QIcon source = icon(symbol);
    if (source.isNull()) return;
    const double dpr = painter.device()->devicePixelRatioF();
    const int pixels = static_cast<int>(std::ceil(size * dpr));
    QImage tinted = source.pixmap(QSize(pixels, pixels))
                        .toImage()
                        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (tinted.width() != pixels)
        tinted = tinted.scaled(pixels, pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    {
        // Only the symbol's own pixels take the colour.
        QPainter p(&tinted);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(tinted.rect(), color);
    }
    tinted.setDevicePixelRatio(dpr);
    const QRectF target(rect.center().x() - size / 2, rect.center().y() - size / 2, size, size);
    painter.drawImage(target, tinted);
}

} // namespace Symbols
