// Noticing each new journal entry exactly once, across restarts, and the report page.
#include "Engine.h"

#include "base/Language.h"
#include "platform/PosixFile.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

namespace {

const QString kSeenKey = QStringLiteral("lastDeletionEvent");
constexpr qint64 kLongestLine = 1 << 20;
constexpr qint64 kFirstWindow = 64 * 1024;

} // namespace

std::optional<DeletionEvent> DeletionEvent::fromJsonLine(const QString& line) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject o = doc.object();
    const QJsonValue id = o.value(u"id");
    if (!id.isString() || id.toString().isEmpty()) return std::nullopt;
    const QJsonValue kind = o.value(u"kind"), summary = o.value(u"summary");
    return DeletionEvent{id.toString(),
                         kind.isString() ? kind.toString() : QStringLiteral("schutz"),
                         summary.isString() ? summary.toString() : QString()};
}

QString DeletionEvent::title() const {
    return kind == u"woche" ? Language::translate("DeletionEvents", "Löschbericht")
                            : Language::translate("DeletionEvents", "Löschschutz");
}

QString Engine::journalFolder() const {
    return paths.appSupport + QStringLiteral("/state");
}

QString Engine::journalPath() const {
    return journalFolder() + QStringLiteral("/loeschschutz.jsonl");
}

std::optional<QString> Engine::lastJournalLine(const QString& path) {
    for (qint64 window = kFirstWindow;; window *= 4) {
        const PosixFile::ReadResult r = PosixFile::readRange(path, -window, window);
        if (!r.ok()) return std::nullopt;
        const bool wholeFile = r.data.size() < window;
        qsizetype end = r.data.size();
        while (end > 0 && r.data[end - 1] == '\n')
            --end;
        const qsizetype start = end > 0 ? r.data.lastIndexOf('\n', end - 1) + 1 : 0;
        if (end - start > kLongestLine) return std::nullopt;
        // The line is whole when a line feed stands before it, or the file starts there.
        if (end > 0 && (start > 0 || wholeFile)) {
            QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString line = decoder(QByteArrayView(r.data).sliced(start, end - start));
            if (decoder.hasError()) return std::nullopt;
            return line;
        }
        if (wholeFile || window > 4 * kLongestLine) return std::nullopt;
    }
}

void Engine::checkDeletionEvents() {
    const QString path = journalPath();
    std::pair<std::optional<qint64>, qint64> stamp{std::nullopt, -1};
    if (const auto file = PosixFile::stamp(path)) {
        stamp = {file->mtimeNs, file->size};
    } else if (!seenStore->value(kSeenKey).canConvert<QString>()) {
        seenStore->setValue(kSeenKey, QString());
    }
    if (eventsStamp == stamp) return;
    eventsStamp = stamp;
    if (const std::optional<QString> line = lastJournalLine(path)) checkDeletionEvent(*line);
}

void Engine::checkDeletionEvent(const QString& lastLine) {
    const std::optional<DeletionEvent> event = DeletionEvent::fromJsonLine(lastLine);
    if (!event) return;
    const QVariant previous = seenStore->value(kSeenKey);
    if (previous.isValid() && previous.toString() == event->id) return;
    seenStore->setValue(kSeenKey, event->id);
    // The newest entry of a journal found at the very first check counts as seen.
    if (!previous.isValid()) return;
    deletionReportUnseen_ = true;
    if (onNewDeletionEvent)
        onNewDeletionEvent(*event);
    else
        unannouncedDeletionEvent = event;
}

void Engine::checkDeletionReport(const QStringList& added) {
    for (const QString& name : added) {
        if (name.normalized(QString::NormalizationForm_C) == DeletionEvent::pageName()) {
            latestDeletionReport_ = paths.logs() + u'/' + name;
            return;
        }
    }
}

void Engine::markDeletionReportSeen() {
    deletionReportUnseen_ = false;
}
