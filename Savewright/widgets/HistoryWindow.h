#pragma once
// "Verlauf" of one task: its runs as a chart and a list, newest first, and the
// selected run's log below. Follows the logs while open (a run starting or
// ending shows at once); closed, it costs nothing.

#include "model/EngineWatch.h"
#include "records/RunHistory.h"

#include <QWidget>

class HistoryChart;
class LogView;
class QLabel;
class QTreeWidget;

class HistoryWindow : public QWidget {
    Q_OBJECT
  public:
    HistoryWindow(Engine* engine, std::shared_ptr<TaskState> task, QWidget* parent = nullptr);
    // The task's window, made or raised; it deletes itself when closed.
    static HistoryWindow* open(Engine* engine, const std::shared_ptr<TaskState>& task);
    // Reads the runs again, keeping the selected one.
    void reload();
    const QList<RunRecord>& runs() const { return runs_; }
    QTreeWidget* list() const { return list_; }
    QString title() const;
    HistoryChart* chart() const { return chart_; }
    LogView* log() const { return log_; }

  protected:
    void keyPressEvent(QKeyEvent* e) override;

  private:
    void engineChanged(bool clockOnly);
    void showRun(int row);
    void updateTitle();

    Engine* engine_;
    std::shared_ptr<TaskState> task_;
    QList<RunRecord> runs_;
    QLabel* title_;
    HistoryChart* chart_;
    QTreeWidget* list_;
    LogView* log_;
    std::pair<std::optional<QString>, std::optional<LogStatus>> seen_; // newest file, its status
    bool seenRunning_ = false;
    EngineWatch watch_;
};
