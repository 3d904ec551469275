#pragma once
// The drop-down panel: header with counts and the two main buttons, banners,
// links, the grouped task rows with long groups collapsed, and the footer.

#include "model/EngineWatch.h"
#include "model/ViewModel.h"

#include <QHash>
#include <QPointer>
#include <QWidget>

class Banner;
class GroupToggle;
class HeaderButton;
class LinkChip;
class QLabel;
class ClampedText;
class QVBoxLayout;
class TaskRow;

class PanelView : public QWidget {
    Q_OBJECT
  public:
    PanelView(Engine* engine, bool expandAll, QWidget* parent = nullptr);

    // View-local state; never saved.
    QSet<QString> expanded;
    bool dashboardBusy = false;
    std::optional<QString> dashboardError;
    std::optional<QString> openFailure;     // a file no program could open
    std::optional<QString> templateWritten; // the template just written: what to do next

    const PanelModel& model() const { return shown_; }
    // Makes the panel exactly as tall as its content at its width; when that is
    // taller than `maxHeight` (default: the screen's available height), the
    // task list scrolls.
    void fitHeight(int maxHeight = -1);
    TaskRow* row(const QString& id) const { return rows_.value(id); }
    void toggleGroup(const QString& name);
    void generateDashboard();
    void openReport();
    // Every row at once, without a scroll bar, however tall (snapshots).
    void showWhole();
    // Says that `what` could not be opened, offering its path.
    void showOpenFailure(const QString& what);
    // Quits, after asking once when runs of this copy are under way.
    void quitAsking();

  signals:
    // The panel took the height of its content.
    void heightFitted();

  protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void changeEvent(QEvent* e) override;

  private:
    QWidget* buildHeader();
    QWidget* buildLinks();
    QWidget* buildFooter();
    void apply(bool clockOnly = false);
    void syncHover();
    void rebuildBanners(const PanelModel& m);
    void createConfigTemplate();
    void rebuildGroups(const PanelModel& m);

    Engine* engine_;
    bool expandAll_;
    struct ViewState {
        bool busy = false;
        std::optional<QString> error;
        std::optional<QString> openFailure;
        std::optional<QString> templateWritten;
        friend bool operator==(const ViewState&, const ViewState&) = default;
    };
    PanelModel shown_;
    ViewState shownView_;
    EngineWatch watch_;
    bool shownOnce_ = false;

    QLabel* title_ = nullptr;
    QLabel* count_ = nullptr;
    HeaderButton* pause_ = nullptr;
    QWidget* headerButtons_ = nullptr;
    QVBoxLayout* banners_ = nullptr;
    LinkChip* dashboard_ = nullptr;
    LinkChip* report_ = nullptr;
    ClampedText* dashboardErrorLabel_ = nullptr;
    QVBoxLayout* groups_ = nullptr;
    class QScrollArea* scroll_ = nullptr;
    QHash<QString, TaskRow*> rows_;
};
