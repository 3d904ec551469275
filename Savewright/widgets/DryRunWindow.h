#pragma once
// What a dry run would have done: its output, read-only, with how it ended and
// a word on what "dry" means for a script. A dry run leaves no log, so this
// window is the only place its output is shown.

#include <QWidget>

#include <optional>

class DryRunWindow : public QWidget {
    Q_OBJECT
  public:
    DryRunWindow(const QString& task, const QString& output, const std::optional<QString>& error,
                 QWidget* parent = nullptr);
    // A new window that deletes itself when closed.
    static DryRunWindow* open(const QString& task, const QString& output,
                              const std::optional<QString>& error);

    static QString ending(const std::optional<QString>& error);

  protected:
    void keyPressEvent(QKeyEvent* e) override;
};
