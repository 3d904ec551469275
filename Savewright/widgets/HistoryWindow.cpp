#include "HistoryWindow.h"

#include "base/Language.h"
#include "execution/TaskRunner.h"
#include "platform/PosixFile.h"
#include "widgets/HistoryChart.h"
#include "widgets/LogView.h"
#include "widgets/Palette.h"

#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr int kDurationColumn = 1, kOutcomeColumn = 2;

QHash<QString, QPointer<HistoryWindow>>& openWindows() {
    static QHash<QString, QPointer<HistoryWindow>> windows;
    return windows;
}

} // namespace

HistoryWindow::HistoryWindow(Engine* engine, std::shared_ptr<TaskState> task, QWidget* parent)
    : QWidget(parent), engine_(engine), task_(std::move(task)),
      watch_(engine, this, [this](bool clockOnly) { engineChanged(clockOnly); }) {
    setWindowTitle(Language::translate("HistoryWindow", "Verlauf: ") + task_->config.value().name);
    title_ = new QLabel(this);
    chart_ = new HistoryChart(this);
    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setHeaderLabels(RunHistory::columnTitles());
    list_->header()->setStretchLastSection(true);
    log_ = new LogView(this);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(list_);
    split->addWidget(log_);
    split->setStretchFactor(1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title_);
    layout->addWidget(chart_);
    layout->addWidget(split, 1);
    connect(list_, &QTreeWidget::currentItemChanged, this,
            [this] { showRun(list_->indexOfTopLevelItem(list_->currentItem())); });
    resize(820, 680);
    reload();
}

HistoryWindow* HistoryWindow::open(Engine* engine, const std::shared_ptr<TaskState>& task) {
    QPointer<HistoryWindow>& window = openWindows()[task->id];
    if (!window) {
        window = new HistoryWindow(engine, task);
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void HistoryWindow::reload() {
    const TaskConfig& c = task_->config.value();
    const QString selected =
        list_->currentItem() ? list_->currentItem()->data(0, Qt::UserRole).toString() : QString();
    const bool newestRuns = task_->isRunning();
    runs_ = RunHistory::read(LogStore(engine_->paths.logs()), c.safeName(), newestRuns);
    const QDateTime now = engine_->now.value();
    chart_->setRuns(runs_, now);
    updateTitle();
    const QSignalBlocker quiet(list_);
    list_->clear();
    QList<QTreeWidgetItem*> items;
    for (const RunRecord& r : runs_) {
        const auto seconds = r.outcome == RunOutcome::Running
                                 ? std::optional(r.start.msecsTo(now) / 1000.0)
                                 : r.seconds;
        auto* item = new QTreeWidgetItem(
            {r.start.toLocalTime().toString(
                 Language::translate("HistoryWindow", "dd.MM.yyyy HH:mm:ss")),
             RunHistory::durationText(seconds), RunHistory::outcomeText(r.outcome),
             r.transferred.value_or(QString()), r.files ? QString::number(*r.files) : QString(),
             r.failureLine.value_or(QString())});
        item->setData(0, Qt::UserRole, r.file);
        item->setForeground(kOutcomeColumn,
                            Palette::color(HistoryChart::toneOf(r.outcome), palette()));
        items.append(item);
    }
    list_->addTopLevelItems(items);
    for (int c = 0; c + 1 < list_->columnCount(); ++c)
        list_->resizeColumnToContents(c);
    int row = 0;
    for (int i = 0; i < runs_.size(); ++i)
        if (runs_[i].file == selected) row = i;
    if (!runs_.isEmpty()) {
        list_->setCurrentItem(list_->topLevelItem(row));
        showRun(row);
    }
    const LogSummary& s = task_->summary.value();
    seen_ = {s.latestFile, s.latestStatus};
    seenRunning_ = task_->isRunning();
}

void HistoryWindow::showRun(int row) {
    if (row < 0 || row >= runs_.size()) return;
    const QString path = engine_->paths.logs() + u'/' + runs_[row].file;
    const bool live = runs_[row].outcome == RunOutcome::Running;
    if (path == log_->path()) return log_->setLive(live);
    log_->showLog(path, live);
}

// A run that starts or ends, or a log that appears, shows at once; while one
// runs, its time counts up.
void HistoryWindow::engineChanged(bool clockOnly) {
    const LogSummary& s = task_->summary.value();
    const bool changed =
        std::pair(s.latestFile, s.latestStatus) != seen_ || task_->isRunning() != seenRunning_;
    if (changed) return reload();
    updateTitle();
    if (!clockOnly || !seenRunning_ || runs_.isEmpty()) return;
    // The run under way: its time counts up in the list and the chart.
    const QDateTime now = engine_->now.value();
    chart_->setRuns(runs_, now);
    if (runs_.first().outcome == RunOutcome::Running)
        list_->topLevelItem(0)->setText(
            kDurationColumn, RunHistory::durationText(runs_.first().start.msecsTo(now) / 1000.0));
}

QString HistoryWindow::title() const {
    return title_->text();
}

// The task, its number of runs, and while one runs how far it got.
void HistoryWindow::updateTitle() {
    const int runs = static_cast<int>(runs_.size());
    QString text = task_->config.value().name + u" · "_s +
                   (runs == 1 ? Language::translate("HistoryWindow", "1 Lauf")
                              : Language::translate("HistoryWindow", "%n Läufe", nullptr, runs));
    if (task_->isRunning()) text += u" · "_s + ViewModel::runningText(*task_, engine_->now.value());
    title_->setText(text);
}

void HistoryWindow::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(e);
}
