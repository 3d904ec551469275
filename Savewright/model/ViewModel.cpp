#include "ViewModel.h"

#include "base/Language.h"
#include "platform/Mounts.h"

#include <QFileInfo>

#include <cmath>

namespace ViewModel {

namespace {
QString othersName() {
    return Language::translate("ViewModel", "Sonstiges");
}
} // namespace

Tone textTone(TaskStatus status) {
    switch (status) {
    case TaskStatus::Running:
        return Tone::Accent;
    case TaskStatus::Error:
    case TaskStatus::Red:
    case TaskStatus::Never:
        return Tone::Red;
    case TaskStatus::Yellow:
        return Tone::Orange;
    case TaskStatus::Green:
        return Tone::Green;
    }
    return Tone::Primary;
}

QString countLine(const Engine::TaskList& tasks, const QDateTime& now, bool paused) {
    int green = 0, yellow = 0, overdue = 0, error = 0, running = 0, waiting = 0;
    for (const auto& t : tasks) {
        switch (t->status(now)) {
        case TaskStatus::Green:
            ++green;
            break;
        case TaskStatus::Yellow:
            ++yellow;
            break;
        case TaskStatus::Red:
        case TaskStatus::Never:
            ++overdue;
            break;
        case TaskStatus::Error:
            ++error;
            break;
        case TaskStatus::Running:
            ++running;
            break;
        }
        if (t->waiting() || (t->heldBy.value() && !t->isRunning())) ++waiting;
    }
    QStringList parts{QStringLiteral("%1 ok").arg(green)};
    const auto count = [&parts](const char* text, int n) {
        if (n) parts.append(Language::translate("ViewModel", text, nullptr, n));
    };
    count(QT_TRANSLATE_N_NOOP("ViewModel", "%n Warnung"), yellow);
    count(QT_TRANSLATE_N_NOOP("ViewModel", "%n überfällig"), overdue);
    count(QT_TRANSLATE_N_NOOP("ViewModel", "%n Fehler"), error);
    count(QT_TRANSLATE_N_NOOP("ViewModel", "%n läuft"), running);
    count(QT_TRANSLATE_N_NOOP("ViewModel", "%n wartet"), waiting);
    QString line = parts.join(QStringLiteral(" · "));
    if (paused) line += Language::translate("ViewModel", " · pausiert");
    return line;
}

std::optional<QString> errorLine(const Engine::TaskList& tasks, const QDateTime& now) {
    QList<const TaskState*> failed;
    for (const auto& t : tasks)
        if (t->status(now) == TaskStatus::Error) failed.append(t.get());
    if (failed.isEmpty()) return std::nullopt;
    const std::optional<QString> error = failed.first()->errorText();
    QString line = failed.first()->config.value().name + QStringLiteral(": ") +
                   (error ? TaskRunner::shown(*error) : Language::translate("ViewModel", "Fehler"));
    if (const qsizetype more = failed.size() - 1; more > 0)
        line += Language::translate("ViewModel", " (+%n weitere)", nullptr, more);
    return line;
}

QList<QPair<QString, Engine::TaskList>> groups(const Engine::TaskList& tasks) {
    // In the order of first appearance, "Weitere" last.
    QList<QPair<QString, Engine::TaskList>> out;
    QHash<QString, qsizetype> index;
    Engine::TaskList others;
    const QString othersTitle = othersName();
    for (const auto& t : tasks) {
        const QString name = t->config.value().group.value_or(othersTitle);
        if (name == othersTitle) {
            others.append(t);
            continue;
        }
        auto at = index.constFind(name);
        if (at == index.constEnd()) {
            at = index.insert(name, out.size());
            out.append({name, {}});
        }
        out[*at].second.append(t);
    }
    if (!others.isEmpty()) out.append({othersTitle, others});
    return out;
}

GroupModel group(const QString& name, const Engine::TaskList& tasks, const QDateTime& now,
                 bool expandAll, const QSet<QString>& expanded) {
    GroupModel g;
    g.name = name;
    const bool large = tasks.size() >= 5;
    g.open = expandAll || !large || expanded.contains(name);
    for (qsizetype i = 0; i < tasks.size(); ++i) {
        const TaskState& t = *tasks[i];
        const bool shown = g.open || i < 3 || t.status(now) != TaskStatus::Green || t.waiting() ||
                           t.heldBy.value();
        if (shown)
            g.visibleIds.append(t.id);
        else
            ++g.hidden;
    }
    g.toggle = large && !expandAll && ((!g.open && g.hidden > 0) || expanded.contains(name));
    return g;
}

PanelModel panel(const Engine& engine, bool expandAll, const QSet<QString>& expanded) {
    PanelModel m;
    const Engine::TaskList& tasks = engine.tasks.value();
    const QDateTime now = engine.now.value();
    m.title = engine.observeOnly ? Language::translate("ViewModel", "Savewright · Beobachter")
                                 : QStringLiteral("Savewright");
    m.paused = engine.paused.value();
    m.countLine = countLine(tasks, now, m.paused);
    m.headerButtons = !engine.observeOnly;
    m.update = engine.availableUpdate.value();
    m.offerTemplate = !engine.observeOnly && !engine.configMTime.value();
    for (const QString& problem : engine.problems.value())
        // No file yet is no error: the offer to write one says all there is.
        if (!m.offerTemplate || !problem.startsWith(u"config.toml")) m.banners.append(problem);
    if (const auto line = errorLine(tasks, now)) m.banners.append(*line);
    m.reportChip = engine.latestDeletionReport.value().has_value();
    m.reportUnseen = engine.deletionReportUnseen.value();
    for (const auto& [name, members] : groups(tasks))
        m.groups.append(group(name, members, now, expandAll, expanded));
    return m;
}

QString runningText(const TaskState& task, const QDateTime& now) {
    if (const auto p = task.progress.value())
        return Language::translate("ViewModel", "läuft · %1 %").arg(*p);
    const std::optional<QDateTime> start =
        task.startTime.value() ? task.startTime.value() : task.summary.value().latestStart;
    if (!start) return Language::translate("ViewModel", "läuft");
    const qint64 s = std::max<qint64>(0, start->msecsTo(now) / 1000);
    return Language::translate("ViewModel", "läuft · %1:%2")
        .arg(s / 60)
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

std::optional<QString> volumeWait(const TaskConfig& c, const Engine& engine) {
    const auto present = [&](const QString& v) { return engine.volumePresentNow(v); };
    if (c.type != TaskType::OnMount || c.watchVolumes.isEmpty() ||
        Schedule::volumesMounted(c, present))
        return std::nullopt;
    QStringList missing;
    for (const QString& v : c.watchVolumes)
        if (!present(v)) missing.append(QFileInfo(Mounts::withoutTrailingSlashes(v)).fileName());
    return Language::translate("ViewModel", "wartet auf Volume: ") +
           missing.join(QStringLiteral(", "));
}

QString heldText(const QString& reason) {
    return Language::translate("ViewModel", "zurückgestellt: ") + reason;
}

std::optional<QString> nextRunText(const Schedule::NextDue& next, bool requireAll,
                                   const QDateTime& now) {
    if (next.at) return RelativeTime::ahead(*next.at, now);
    if (next.volumes.isEmpty()) return std::nullopt;
    if (next.volumes.size() == 1)
        return Language::translate("ViewModel", "sobald %1 da ist").arg(next.volumes.first());
    if (requireAll)
        return Language::translate("ViewModel", "sobald %1 da sind")
            .arg(next.volumes.join(Language::translate("ViewModel", " und ")));
    return Language::translate("ViewModel", "sobald %1 da ist")
        .arg(next.volumes.join(Language::translate("ViewModel", " oder ")));
}

namespace {

// The description, then what the next automatic start waits for.
QString tooltip(const TaskState& task, const Engine& engine) {
    const TaskConfig& c = task.config.value();
    QStringList lines;
    if (!c.description.isEmpty()) lines.append(c.description);
    const auto wait = volumeWait(c, engine);
    if (wait) lines.append(*wait);
    if (const auto hold = task.heldBy.value()) {
        lines.append(heldText(hold->text));
    } else if (!task.isRunning() && !engine.paused.value() && !wait) {
        if (const auto next =
                nextRunText(engine.nextRun(task), c.requireAllVolumes, engine.now.value()))
            lines.append(Language::translate("ViewModel", "nächster Lauf: ") + *next);
    }
    return lines.join(u'\n');
}

} // namespace

RowModel row(const TaskState& task, const Engine& engine) {
    RowModel r;
    const QDateTime now = engine.now.value();
    const TaskConfig& c = task.config.value();
    r.id = task.id;
    r.name = c.name;
    r.description = c.description;
    r.tooltip = tooltip(task, engine);
    r.status = task.status(now);
    r.running = task.running.value();
    r.dryRun = r.running && task.runner.value() && task.runner.value()->dryRun;
    r.isRunning = task.isRunning();
    r.observeOnly = engine.observeOnly;
    if (r.isRunning) r.progressBar = task.progress.value();
    if (task.waiting() && r.status != TaskStatus::Running) {
        r.meta = Language::translate("ViewModel", "wartet");
        r.metaTone = Tone::Secondary;
        return r;
    }
    if (const auto hold = task.heldBy.value(); hold && !r.isRunning) {
        r.meta = heldText(hold->text);
        r.metaShort = hold->text;
        r.metaTone = Tone::Secondary;
        return r;
    }
    switch (r.status) {
    case TaskStatus::Running:
        r.meta = runningText(task, now);
        r.metaTone = Tone::Accent;
        break;
    case TaskStatus::Error:
        r.meta = Language::translate("ViewModel", "Fehler");
        r.metaTone = Tone::Red;
        break;
    case TaskStatus::Never:
        r.meta = Language::translate("ViewModel", "nie");
        r.metaTone = Tone::Red;
        break;
    case TaskStatus::Red:
    case TaskStatus::Yellow:
    case TaskStatus::Green:
        r.meta = RelativeTime::text(task.lastRun(), now);
        r.metaTone = r.status == TaskStatus::Red      ? Tone::Red
                     : r.status == TaskStatus::Yellow ? Tone::Orange
                                                      : Tone::Tertiary;
        break;
    }
    return r;
}

QDateTime nextChange(const Engine& engine, bool ages) {
    const QDateTime now = engine.now.value();
    QDateTime next;
    const auto consider = [&](const QDateTime& t) { Schedule::keepEarliest(next, t, now); };
    for (const auto& t : engine.tasks.value()) {
        if (const auto last = t->lastRun(); last && ages)
            consider(RelativeTime::nextChange(*last, now));
        consider(t->nextLightChange(now));
    }
    return next;
}

IconModel icon(const Engine& engine) {
    IconModel m;
    m.toolTip = QStringLiteral("Savewright\n") +
                countLine(engine.tasks.value(), engine.now.value(), engine.paused.value());
    m.symbol = engine.anyRunning()     ? QStringLiteral("arrow.triangle.2.circlepath")
               : engine.paused.value() ? QStringLiteral("pause.circle")
                                       : QStringLiteral("externaldrive");
    bool yellow = false;
    for (const auto& t : engine.tasks.value()) {
        const TaskStatus s = t->status(engine.now.value());
        if (s == TaskStatus::Error || s == TaskStatus::Red || s == TaskStatus::Never) {
            m.dot = Tone::Red;
            return m;
        }
        yellow = yellow || s == TaskStatus::Yellow;
    }
    if (yellow) m.dot = Tone::Yellow;
    return m;
}

} // namespace ViewModel
