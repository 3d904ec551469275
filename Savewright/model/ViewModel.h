#pragma once
// What the panel, its rows and the status icon show, as plain values computed
// from the engine. Widgets only paint these.

#include "engine/Engine.h"
#include "records/RelativeTime.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

// The colour a text or indicator takes, resolved against the active palette.
enum class Tone { Primary, Secondary, Tertiary, Accent, Red, Yellow, Orange, Green };

struct RowModel {
    QString id;
    QString name;
    QString description;
    QString tooltip; // the description, and what an automatic start waits for
    TaskStatus status = TaskStatus::Never;
    QString meta;
    QString metaShort; // what `meta` shrinks to where the row is narrow, if it may
    Tone metaTone = Tone::Tertiary;
    std::optional<int> progressBar; // shown while running with a reported percentage
    bool running = false;           // runs in this copy
    bool dryRun = false;            // the run under way here is a dry run
    bool isRunning = false;         // here or elsewhere
    bool observeOnly = false;
    friend bool operator==(const RowModel&, const RowModel&) = default;
};

struct GroupModel {
    QString name;
    QStringList visibleIds;
    bool toggle = false; // the expand/collapse row is shown
    bool open = false;
    int hidden = 0;
    friend bool operator==(const GroupModel&, const GroupModel&) = default;
};

struct PanelModel {
    QString title;
    QString countLine;
    bool headerButtons = true;
    bool paused = false;
    std::optional<UpdateInfo> update;
    QStringList banners;        // problems, then the error line
    bool offerTemplate = false; // no config.toml yet: a button writes a commented one
    bool reportChip = false;
    bool reportUnseen = false;
    QList<GroupModel> groups;
    friend bool operator==(const PanelModel&, const PanelModel&) = default;
};

struct IconModel {
    QString symbol;          // a symbol name of the Symbols table
    std::optional<Tone> dot; // Red or Yellow
    QString toolTip;         // "Savewright" and the count line
    friend bool operator==(const IconModel&, const IconModel&) = default;
};

namespace ViewModel {

QString countLine(const Engine::TaskList& tasks, const QDateTime& now, bool paused);
std::optional<QString> errorLine(const Engine::TaskList& tasks, const QDateTime& now);
// Groups in order of first appearance, "Sonstiges" (and tasks without a group) last.
QList<QPair<QString, Engine::TaskList>> groups(const Engine::TaskList& tasks);
GroupModel group(const QString& name, const Engine::TaskList& tasks, const QDateTime& now,
                 bool expandAll, const QSet<QString>& expanded);
PanelModel panel(const Engine& engine, bool expandAll, const QSet<QString>& expanded);

QString runningText(const TaskState& task, const QDateTime& now);
// "wartet auf Volume: nas, usb" for an on_mount task whose volumes are absent.
std::optional<QString> volumeWait(const TaskConfig& task, const Engine& engine);
RowModel row(const TaskState& task, const Engine& engine);
// "zurückgestellt: Akkubetrieb": what a held task says in its row, tooltip and status.
QString heldText(const QString& reason);
// When a task starts next: "in 12 Min.", "Sonntag 02:00", "sobald /mnt/nas da ist"; absent
// for a task that never starts by itself.
std::optional<QString> nextRunText(const Schedule::NextDue& next, bool requireAll,
                                   const QDateTime& now);

IconModel icon(const Engine& engine);
// The first moment after the engine's `now` at which a light, and with `ages`
// a relative time, the views show changes by the clock alone; invalid when none will.
QDateTime nextChange(const Engine& engine, bool ages = true);
Tone textTone(TaskStatus status);

} // namespace ViewModel
