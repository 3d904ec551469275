#include "RunHistory.h"

#include "base/Language.h"
#include "base/Text.h"
#include "platform/PosixFile.h"

#include <QJsonValue>

#include <cmath>

using namespace Qt::StringLiterals;

namespace RunHistory {

namespace {

// The statistics block the runner appends.
QHash<QString, QString> stats(QStringView tail) {
    QHash<QString, QString> out;
    const qsizetype at = tail.lastIndexOf(LogStore::kStatsHeading);
    if (at < 0) return out;
    for (QStringView line : tail.mid(at + LogStore::kStatsHeading.size()).split(u'\n')) {
        const qsizetype colon = line.indexOf(u": ");
        if (colon > 0) out.insert(line.left(colon).toString(), line.mid(colon + 2).toString());
    }
    return out;
}

std::optional<qint64> leadingCount(QStringView text) {
    QString digits;
    for (const QChar c : text) {
        if (c.isDigit())
            digits += c;
        else if (c != u',' && c != u'.')
            break;
    }
    bool ok = false;
    const qint64 n = digits.toLongLong(&ok);
    return ok ? std::optional(n) : std::nullopt;
}

} // namespace

std::optional<qint64> bytesOf(QStringView text) {
    text = Text::trimBlanks(text);
    qsizetype end = 0;
    while (end < text.size() && (text[end].isDigit() || text[end] == u',' || text[end] == u'.'))
        ++end;
    if (end == 0) return std::nullopt;
    const QChar unit = end < text.size() ? text[end].toUpper() : QChar();
    static const QString kUnits = u"KMGTP"_s;
    const qsizetype power = unit.isNull() ? -1 : kUnits.indexOf(unit);
    if (power < 0) return leadingCount(text.left(end));
    // Scaled: "." is the decimal point, "," groups thousands.
    QString number = text.left(end).toString();
    number.remove(u',');
    bool ok = false;
    const double value = number.toDouble(&ok) * std::pow(1024.0, static_cast<double>(power + 1));
    if (!ok || !std::isfinite(value) || value > 9e18) return std::nullopt;
    return static_cast<qint64>(std::llround(value));
}

RunRecord readOne(const QString& path, const DatedRun& run, bool mayRun) {
    RunRecord r;
    r.file = run.name;
    r.start = QDateTime::fromMSecsSinceEpoch(run.startMs, Qt::UTC);
    const PosixFile::ReadResult end =
        PosixFile::readRange(path, -LogStore::kTailBytes, LogStore::kTailBytes);
    if (!end.ok()) return r;
    // A small log is all in its end: one read.
    const bool whole = end.data.size() < LogStore::kTailBytes;
    const std::optional<QString> head =
        whole ? LogStore::headerIn(end.data) : LogStore::header(path);
    const std::optional<LogStatus> status = head ? LogStore::status(*head) : std::nullopt;
    if (!status) return r;
    const QString tail = QString::fromUtf8(end.data);
    if (*status == LogStatus::Success)
        r.outcome = RunOutcome::Success;
    else if (*status == LogStatus::Failed)
        r.outcome = LogStore::abortedIn(tail) ? RunOutcome::Stopped : RunOutcome::Failed;
    else
        r.outcome = mayRun ? RunOutcome::Running : RunOutcome::Stopped;
    r.seconds = LogStore::runSecondsIn(*head, tail);
    const QHash<QString, QString> s = stats(tail);
    if (const auto t = s.constFind(u"Transferred size"_s); t != s.cend()) {
        r.transferred = *t;
        r.transferredBytes = bytesOf(*t);
    }
    if (const auto f = s.constFind(u"Files"_s); f != s.cend()) r.files = leadingCount(*f);
    if (r.outcome == RunOutcome::Failed) r.failureLine = LogStore::failureLineIn(end.data, !whole);
    return r;
}

QList<RunRecord> read(const LogStore& logs, const QString& safeName, bool newestRuns,
                      qsizetype limit) {
    QList<RunRecord> out;
    const QList<DatedRun> runs = logs.runs(safeName);
    const qsizetype n = limit < 0 ? runs.size() : std::min(limit, runs.size());
    out.reserve(n);
    for (qsizetype i = 0; i < n; ++i)
        out.append(readOne(logs.directory + u'/' + runs[i].name, runs[i], i == 0 && newestRuns));
    return out;
}

namespace {

// The outcome's key for programs and its word for people.
std::pair<QString, const char*> names(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::Success:
        return {u"success"_s, QT_TRANSLATE_NOOP("RunHistory", "erfolgreich")};
    case RunOutcome::Failed:
        return {u"failed"_s, QT_TRANSLATE_NOOP("RunHistory", "fehlgeschlagen")};
    case RunOutcome::Stopped:
        return {u"stopped"_s, QT_TRANSLATE_NOOP("RunHistory", "abgebrochen")};
    case RunOutcome::Running:
        return {u"running"_s, QT_TRANSLATE_NOOP("RunHistory", "läuft")};
    case RunOutcome::Unreadable:
        break;
    }
    return {u"unreadable"_s, QT_TRANSLATE_NOOP("RunHistory", "unlesbar")};
}

} // namespace

QStringList columnTitles() {
    return {Language::translate("RunHistory", "Start"),
            Language::translate("RunHistory", "Dauer"),
            Language::translate("RunHistory", "Ergebnis"),
            Language::translate("RunHistory", "Übertragen"),
            Language::translate("RunHistory", "Dateien"),
            Language::translate("RunHistory", "Meldung")};
}

QString outcomeText(RunOutcome outcome) {
    return Language::translate("RunHistory", names(outcome).second);
}

QString outcomeKey(RunOutcome outcome) {
    return names(outcome).first;
}

QString durationText(std::optional<double> seconds) {
    if (!seconds || !std::isfinite(*seconds) || *seconds < 0 || *seconds > 1e12) return {};
    const auto s = static_cast<qint64>(std::floor(*seconds));
    if (s < 3600) return u"%1:%2"_s.arg(s / 60).arg(s % 60, 2, 10, QChar(u'0'));
    return u"%1:%2:%3"_s.arg(s / 3600)
        .arg((s / 60) % 60, 2, 10, QChar(u'0'))
        .arg(s % 60, 2, 10, QChar(u'0'));
}

QJsonObject toJson(const RunRecord& r) {
    const auto orNull = [](const auto& v) {
        return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
    };
    return {{u"file"_s, r.file},
            {u"start"_s, r.start.toUTC().toString(Qt::ISODateWithMs)},
            {u"seconds"_s, orNull(r.seconds)},
            {u"outcome"_s, outcomeKey(r.outcome)},
            {u"transferred"_s, orNull(r.transferred)},
            {u"transferredBytes"_s, orNull(r.transferredBytes)},
            {u"files"_s, orNull(r.files)},
            {u"failureLine"_s, orNull(r.failureLine)}};
}

} // namespace RunHistory
