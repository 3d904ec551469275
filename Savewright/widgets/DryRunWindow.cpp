#include "DryRunWindow.h"

#include "base/Language.h"
#include "execution/TaskRunner.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QVBoxLayout>

DryRunWindow::DryRunWindow(const QString& task, const QString& output,
                           const std::optional<QString>& error, QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setWindowTitle(Language::translate("DryRunWindow", "Dry-Run: ") + task);
    auto* layout = new QVBoxLayout(this);
    auto* status = new QLabel(ending(error), this);
    status->setObjectName(QStringLiteral("ending"));
    status->setTextFormat(Qt::PlainText);
    auto* note = new QLabel(
        Language::translate("DryRunWindow", "Nur rsync-Aufrufe laufen als Dry-Run; andere Befehle "
                                            "des Skripts liefen wirklich."),
        this);
    note->setObjectName(QStringLiteral("note"));
    note->setWordWrap(true);
    auto* text = new QPlainTextEdit(this);
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Script output is text, never markup.
    text->setPlainText(output);
    layout->addWidget(status);
    layout->addWidget(note);
    layout->addWidget(text, 1);
    resize(720, 480);
    // Closes like any viewer: Ctrl+W here, Esc as it passes the read-only text up.
    connect(new QShortcut(QKeySequence::Close, this), &QShortcut::activated, this, &QWidget::close);
}

void DryRunWindow::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) return void(close());
    QWidget::keyPressEvent(e);
}

QString DryRunWindow::ending(const std::optional<QString>& error) {
    return error ? Language::translate("DryRunWindow", "Beendet mit Fehler: ") +
                       TaskRunner::shown(*error)
                 : Language::translate("DryRunWindow", "Beendet ohne Fehler (Exit-Status 0)");
}

DryRunWindow* DryRunWindow::open(const QString& task, const QString& output,
                                 const std::optional<QString>& error) {
    auto* w = new DryRunWindow(task, output, error);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}
