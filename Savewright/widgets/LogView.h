#pragma once
// One log, read-only: its end first and earlier parts on request, so a log of
// gigabytes opens at once and memory holds only what was asked for; the header
// and the markers set apart; a search that marks every match; while its run
// lasts, new output appears and the view follows the end unless scrolled up.

#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;

class LogView : public QWidget {
    Q_OBJECT
  public:
    explicit LogView(QWidget* parent = nullptr);
    // Shows the log's last part; `live` follows what its run still writes.
    void showLog(const QString& path, bool live);
    void setLive(bool live);
    void loadEarlier();
    // Marks every match in what is loaded and moves to the next one.
    void search(const QString& text);
    QPlainTextEdit* text() const { return text_; }
    qint64 loadedFrom() const { return start_; }
    qint64 loadedTo() const { return end_; }
    const QString& path() const { return path_; }
    static constexpr qint64 kChunk = 1 << 20;

  private:
    void followEnd();
    void markMatches();
    void updateEarlierButton();

    QString path_;
    qint64 start_ = 0, end_ = 0; // the bytes shown
    QPlainTextEdit* text_;
    QLineEdit* find_;
    QPushButton* earlier_;
    QLabel* matches_;
    QTimer* follow_;
};
