// The window that shows what a dry run would have done.
#include "widgets/DryRunWindow.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

TEST(DryRunWindow, ShowsOutputEndingAndWhatDryMeans) {
    const QString output = QStringLiteral("<b>not markup</b>\nsending incremental file list\n");
    DryRunWindow w(QStringLiteral("Fotos NAS"), output,
                   QStringLiteral("Script exited with code 23"));
    EXPECT_EQ(w.windowTitle(), u"Dry-Run: Fotos NAS");
    const auto* text = w.findChild<QPlainTextEdit*>();
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_EQ(text->toPlainText(), output);
    EXPECT_EQ(w.findChild<QLabel*>(QStringLiteral("ending"))->text(),
              u"Beendet mit Fehler: Script exited with code 23");
    EXPECT_EQ(w.findChild<QLabel*>(QStringLiteral("note"))->text(),
              u"Nur rsync-Aufrufe laufen als Dry-Run; andere Befehle des Skripts liefen wirklich.");
    EXPECT_EQ(DryRunWindow::ending(std::nullopt), u"Beendet ohne Fehler (Exit-Status 0)");
    // Rendered offscreen: the text is drawn, not an empty window.
    w.show();
    const QImage shot = w.grab().toImage();
    ASSERT_FALSE(shot.isNull());
    EXPECT_GE(shot.width(), 600);
    QSet<QRgb> colours;
    for (int y = 0; y < shot.height(); y += 3)
        for (int x = 0; x < shot.width(); x += 3)
            colours.insert(shot.pixel(x, y));
    EXPECT_GT(colours.size(), 3) << "more than a blank window";
}

TEST(DryRunWindow, ClosesWithEscapeAndControlW) {
    for (const QKeyCombination keys :
         {QKeyCombination(Qt::Key_Escape), QKeyCombination(Qt::ControlModifier, Qt::Key_W)}) {
        QPointer<DryRunWindow> w = DryRunWindow::open(QStringLiteral("T"), QString(), std::nullopt);
        ASSERT_TRUE(QTest::qWaitForWindowActive(w));
        QTest::keySequence(w, QKeySequence(keys));
        EXPECT_TRUE(!w || !w->isVisible()) << QKeySequence(keys).toString().toStdString();
        delete w;
    }
}
