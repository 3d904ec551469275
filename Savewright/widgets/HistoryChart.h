#pragma once
// The runs of a task as a chart: one bar per run, as tall as it lasted and
// coloured by how it ended, placed by when it started; the transferred size as
// a second series where the statistics tell it. Colours come from the palette,
// so it reads on light and dark panels alike.

#include "model/ViewModel.h"
#include "records/RunHistory.h"

#include <QWidget>

class HistoryChart : public QWidget {
    Q_OBJECT
  public:
    explicit HistoryChart(QWidget* parent = nullptr);
    // Runs newest first, as RunHistory reads them; the newest few are drawn.
    void setRuns(const QList<RunRecord>& runs, const QDateTime& now);
    static constexpr qsizetype kShownRuns = 60;
    // How a run's outcome is coloured, here and in the list.
    static Tone toneOf(RunOutcome outcome);
    QSize sizeHint() const override { return {560, 150}; }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    QList<RunRecord> runs_; // oldest first
    QDateTime now_;
};
