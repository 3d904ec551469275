#include "LogView.h"

#include "base/Language.h"
#include "platform/PosixFile.h"
#include "shell/Files.h"
#include "widgets/Palette.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSyntaxHighlighter>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr int kFollowMs = 500;
constexpr int kMostMarks = 1000;
constexpr int kHeaderLines = 4;

// The header's lines and the runner's "--- … ---" markers, set apart from the output.
class Markers : public QSyntaxHighlighter {
  public:
    Markers(QTextDocument* document, const LogView* view)
        : QSyntaxHighlighter(document), view_(view) {}

  protected:
    void highlightBlock(const QString& line) override {
        const QPalette& pal = view_->palette();
        QTextCharFormat f;
        if (line.startsWith(u"--- ")) {
            f.setFontWeight(QFont::Bold);
            f.setForeground(Palette::color(Tone::Accent, pal));
        } else if (view_->loadedFrom() == 0 && currentBlock().blockNumber() < kHeaderLines) {
            f.setForeground(Palette::color(Tone::Secondary, pal));
        } else {
            return;
        }
        setFormat(0, static_cast<int>(line.size()), f);
    }

  private:
    const LogView* view_;
};

// Bytes of the file as text, starting at a whole line unless at its start.
QString textOf(const QByteArray& bytes, bool atFileStart) {
    qsizetype from = 0;
    if (!atFileStart) from = bytes.indexOf('\n') + 1;
    return QString::fromUtf8(bytes.mid(from));
}

} // namespace

LogView::LogView(QWidget* parent) : QWidget(parent) {
    text_ = new QPlainTextEdit(this);
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    new Markers(text_->document(), this);
    find_ = new QLineEdit(this);
    find_->setPlaceholderText(Language::translate("LogView", "Suchen"));
    find_->setClearButtonEnabled(true);
    matches_ = new QLabel(this);
    earlier_ = new QPushButton(Language::translate("LogView", "Früheres laden"), this);
    auto* editor = new QPushButton(Language::translate("LogView", "Im Editor öffnen"), this);
    auto* folder = new QPushButton(Language::translate("LogView", "Ordner öffnen"), this);
    follow_ = new QTimer(this);
    follow_->setInterval(kFollowMs);

    auto* bar = new QHBoxLayout;
    bar->addWidget(find_, 1);
    bar->addWidget(matches_);
    bar->addWidget(earlier_);
    bar->addWidget(editor);
    bar->addWidget(folder);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(bar);
    layout->addWidget(text_, 1);

    connect(find_, &QLineEdit::textChanged, this, [this] { markMatches(); });
    connect(find_, &QLineEdit::returnPressed, this, [this] { search(find_->text()); });
    connect(earlier_, &QPushButton::clicked, this, &LogView::loadEarlier);
    connect(editor, &QPushButton::clicked, this, [this] {
        if (!path_.isEmpty()) Files::openInTextEdit(path_);
    });
    connect(folder, &QPushButton::clicked, this, [this] {
        if (!path_.isEmpty()) Files::openPath(QFileInfo(path_).path());
    });
    connect(follow_, &QTimer::timeout, this, &LogView::followEnd);
    updateEarlierButton();
}

void LogView::showLog(const QString& path, bool live) {
    path_ = path;
    const auto stamp = PosixFile::stamp(path);
    end_ = stamp ? stamp->size : 0;
    start_ = std::max<qint64>(0, end_ - kChunk);
    const PosixFile::ReadResult r = PosixFile::readRange(path, start_, end_ - start_);
    text_->setPlainText(r.ok() ? textOf(r.data, start_ == 0)
                               : Language::translate("LogView", "Log nicht lesbar: ") + path);
    if (r.ok() && start_ > 0) start_ += r.data.indexOf('\n') + 1;
    text_->verticalScrollBar()->setValue(text_->verticalScrollBar()->maximum());
    updateEarlierButton();
    markMatches();
    setLive(live);
}

void LogView::setLive(bool live) {
    if (live)
        follow_->start();
    else
        follow_->stop();
}

void LogView::loadEarlier() {
    if (start_ == 0 || path_.isEmpty()) return;
    const qint64 from = std::max<qint64>(0, start_ - kChunk);
    const PosixFile::ReadResult r = PosixFile::readRange(path_, from, start_ - from);
    if (!r.ok()) return;
    const QString earlier = textOf(r.data, from == 0);
    start_ = from == 0 ? 0 : from + r.data.indexOf('\n') + 1;
    QScrollBar* bar = text_->verticalScrollBar();
    const int fromBottom = bar->maximum() - bar->value();
    QTextCursor at(text_->document());
    at.movePosition(QTextCursor::Start);
    at.insertText(earlier);
    bar->setValue(bar->maximum() - fromBottom); // the same lines stay in view
    updateEarlierButton();
    if (start_ == 0) text_->document()->markContentsDirty(0, text_->document()->characterCount());
}

void LogView::followEnd() {
    const auto stamp = PosixFile::stamp(path_);
    if (!stamp || stamp->size == end_) return;
    if (stamp->size < end_) return showLog(path_, true); // cut to its limit meanwhile
    const PosixFile::ReadResult r = PosixFile::readRange(path_, end_, stamp->size - end_);
    if (!r.ok() || r.data.isEmpty()) return;
    // Whole lines only; the rest comes with the next look.
    const qsizetype whole = r.data.lastIndexOf('\n') + 1;
    if (whole == 0) return;
    QScrollBar* bar = text_->verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    QTextCursor at(text_->document());
    at.movePosition(QTextCursor::End);
    at.insertText(QString::fromUtf8(r.data.first(whole)));
    end_ += whole;
    if (atEnd) bar->setValue(bar->maximum());
}

void LogView::search(const QString& needle) {
    find_->setText(needle);
    if (needle.isEmpty()) return;
    if (!text_->find(needle)) {
        text_->moveCursor(QTextCursor::Start);
        text_->find(needle);
    }
}

void LogView::markMatches() {
    QList<QTextEdit::ExtraSelection> marks;
    const QString needle = find_->text();
    if (!needle.isEmpty()) {
        QTextCharFormat mark;
        mark.setBackground(Palette::color(Tone::Yellow, palette()));
        mark.setForeground(Qt::black);
        for (QTextCursor c = text_->document()->find(needle);
             !c.isNull() && marks.size() < kMostMarks; c = text_->document()->find(needle, c))
            marks.append({c, mark});
    }
    text_->setExtraSelections(marks);
    const int found = static_cast<int>(marks.size());
    QString count;
    if (found >= kMostMarks)
        count = Language::translate("LogView", "über %n Treffer", nullptr, kMostMarks);
    else if (!needle.isEmpty())
        count = Language::translate("LogView", "%n Treffer", nullptr, found);
    matches_->setText(count);
}

void LogView::updateEarlierButton() {
    earlier_->setVisible(start_ > 0);
}
