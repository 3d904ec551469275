#pragma once
// One task in the panel: indicator, name, and either its status text or, under
// the pointer, its action buttons; a progress bar while it reports a percentage.

#include "model/ViewModel.h"

#include <QWidget>

class QMenu;
class RowButton;

class TaskRow : public QWidget {
    Q_OBJECT
  public:
    TaskRow(std::shared_ptr<TaskState> task, Engine* engine, QWidget* parent = nullptr);
    const RowModel& model() const { return model_; }
    // Reads the task again; repaints when what it shows changed.
    void refresh();
    bool hovering() const { return hovering_; }
    // Shows or hides the hover state (used by tests and the panel).
    void setHovering(bool on);
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void contextMenuEvent(QContextMenuEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void hideEvent(QHideEvent*) override;

  private:
    void rebuildButtons();
    void addPauseActions(QMenu* menu);
    void placeButtons();
    void start(bool dryRun);
    void stop();
    void openLog();
    void openHistory();
    void openScript();

    std::shared_ptr<TaskState> task_;
    Engine* engine_;
    RowModel model_;
    bool hovering_ = false;
    QWidget* buttons_;
};
