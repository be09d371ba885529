// SPDX-License-Identifier: GPL-3.0-or-later
// Marks through the window: "&Mark!" on the menu bar takes the position of
// the file that plays, View > Marks shows the list in the Marks dialog, whose
// Clear and OK empty it. The dialog is answered from inside its own loop.
#include "transport_fixture.h"

#include "view/marks_dlg.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <vector>

namespace {

const char* const kCrLf = "\r\n";

QPushButton* Button(CMarksDlg* dlg, const char* text) {
    for (QPushButton* b : dlg->findChildren<QPushButton*>())
        if (b->text() == QLatin1String(text)) return b;
    return nullptr;
}

class MarksTest : public TransportTest {
protected:
    void Mark(TestWindow& w) { Choose(w, nullptr, "&Mark!"); }

    // Chooses View > Marks and, once the dialog is open, notes the text it
    // shows and clicks the named buttons in turn. Returns the text shown.
    QString ViewMarks(TestWindow& w, std::initializer_list<const char*> clicks) {
        QString shown;
        bool answered = false;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto* dlg = dynamic_cast<CMarksDlg*>(QApplication::activeModalWidget());
            if (!dlg || answered) return;
            answered = true;
            shown = dlg->findChild<QPlainTextEdit*>()->toPlainText();
            for (const char* text : clicks) {
                QPushButton* b = Button(dlg, text);
                EXPECT_TRUE(b) << text;
                if (b) QTest::mouseClick(b, Qt::LeftButton);
            }
        });
        answer.start(20);
        Choose(w, "&View", "&Marks");
        EXPECT_TRUE(answered);
        EXPECT_FALSE(QApplication::activeModalWidget());
        return shown;
    }

    static QString Line(const QString& file, const char* seconds) {
        return file + QLatin1Char('#') + QLatin1String(seconds) + QLatin1String(kCrLf);
    }
};

TEST_F(MarksTest, NoMarkWithNothingLoadedOrWhenStopped) {
    auto w = OpenPage();
    w->LetIdle();
    Mark(*w);
    EXPECT_TRUE(w->View()->m_marks.isEmpty());

    ASSERT_TRUE(PlayLink(*w, "t10", Path("talk.wav"), 10.0));
    Choose(*w, "&Audio", "S&top");
    Mark(*w);
    EXPECT_TRUE(w->View()->m_marks.isEmpty());
    EXPECT_TRUE(m_messages.isEmpty());
    EXPECT_EQ(ViewMarks(*w, {"OK"}), QString());
    EXPECT_TRUE(w->View()->m_marks.isEmpty());
}

TEST_F(MarksTest, MarkTextNamesTheOpenedFileAndTheTimeToOneDecimal) {
    auto w = OpenPage();
    ASSERT_TRUE(PlayLink(*w, "t83", Path("talk.wav"), 83.46));
    Mark(*w);
    EXPECT_EQ(w->View()->m_marks, QStringList{Line(Path("talk.wav"), "83.5")});
    // Two marks at one position are two equal lines.
    Mark(*w);
    EXPECT_EQ(w->View()->m_marks, QStringList(2, Line(Path("talk.wav"), "83.5")));
    EXPECT_EQ(ViewMarks(*w, {"Cancel"}),
              QStringLiteral("%1#83.5\n%1#83.5\n").arg(Path("talk.wav")));
}

TEST_F(MarksTest, MarkWhilePausedTakesThePausedPosition) {
    auto w = OpenPage();
    ASSERT_TRUE(PlayLink(*w, "t10", Path("talk.wav"), 10.0));
    Advance(*w, 2000);
    Choose(*w, "&Audio", "&Pause");
    Advance(*w, 1000);
    Mark(*w);
    EXPECT_EQ(w->View()->m_marks, QStringList{Line(Path("talk.wav"), "12.0")});
    EXPECT_TRUE(theReplayFile.IsPaused());
}

TEST_F(MarksTest, MarksFromTwoFilesKeepTheirNamesInOrder) {
    auto w = OpenPage();
    ASSERT_TRUE(PlayLink(*w, "t10", Path("talk.wav"), 10.0));
    Advance(*w, 500);
    Mark(*w);
    ASSERT_TRUE(PlayLink(*w, "o1", Path("other.wav"), 1.25));
    Mark(*w);
    ASSERT_TRUE(PlayLink(*w, "t10", Path("talk.wav"), 10.0));
    Mark(*w);
    const QStringList marks{Line(Path("talk.wav"), "10.5"), Line(Path("other.wav"), "1.2"),
                            Line(Path("talk.wav"), "10.0")};
    EXPECT_EQ(w->View()->m_marks, marks);
    // One mark a line, oldest first; navigation keeps them.
    ASSERT_TRUE(w->Click(QStringLiteral("#next")));
    ASSERT_TRUE(w->WaitForPage(Url("next.htm")));
    EXPECT_EQ(ViewMarks(*w, {"OK"}), QString(marks.join(QString())).replace(QLatin1String(kCrLf), QLatin1String("\n")));
    EXPECT_EQ(w->View()->m_marks, marks);  // OK without Clear changes nothing
}

TEST_F(MarksTest, ClearEmptiesTheListOnlyWhenOkFollows) {
    auto w = OpenPage();
    ASSERT_TRUE(PlayLink(*w, "o1", Path("other.wav"), 1.25));
    Mark(*w);
    const QStringList marks = w->View()->m_marks;
    ASSERT_EQ(marks.size(), 1);
    const QString shown = Path("other.wav") + QStringLiteral("#1.2\n");

    EXPECT_EQ(ViewMarks(*w, {"Clear", "Cancel"}), shown);
    EXPECT_EQ(w->View()->m_marks, marks);

    EXPECT_EQ(ViewMarks(*w, {"Clear", "OK"}), shown);
    EXPECT_TRUE(w->View()->m_marks.isEmpty());
    EXPECT_EQ(ViewMarks(*w, {"OK"}), QString());

    // New marks collect again after a clear.
    Mark(*w);
    EXPECT_EQ(w->View()->m_marks, marks);
}

TEST_F(MarksTest, ClearEmptiesTheTextAtOnceAndEscapeKeepsTheList) {
    auto w = OpenPage();
    ASSERT_TRUE(PlayLink(*w, "o1", Path("other.wav"), 1.25));
    Mark(*w);
    QString afterClear = QStringLiteral("unset");
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* dlg = dynamic_cast<CMarksDlg*>(QApplication::activeModalWidget());
        if (!dlg) return;
        QTest::mouseClick(Button(dlg, "Clear"), Qt::LeftButton);
        afterClear = dlg->findChild<QPlainTextEdit*>()->toPlainText();
        QTest::keyClick(dlg, Qt::Key_Escape);
    });
    answer.start(20);
    Choose(*w, "&View", "&Marks");
    EXPECT_EQ(afterClear, QString());
    EXPECT_EQ(w->View()->m_marks.size(), 1);
}

// The template's layout: the text above three buttons, OK, Cancel and Clear
// from the left, in the template's proportions; the text is read-only.
TEST_F(MarksTest, DialogFollowsTheTemplate) {
    CMarksDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Marks"));
    QPushButton* ok = Button(&dlg, "OK");
    QPushButton* cancel = Button(&dlg, "Cancel");
    QPushButton* clear = Button(&dlg, "Clear");
    auto* edit = dlg.findChild<QPlainTextEdit*>();
    ASSERT_TRUE(ok && cancel && clear && edit);
    EXPECT_TRUE(edit->isReadOnly());
    EXPECT_TRUE(ok->isDefault());
    EXPECT_LT(ok->x(), cancel->x());
    EXPECT_LT(cancel->x(), clear->x());
    EXPECT_EQ(ok->y(), clear->y());
    EXPECT_LT(edit->geometry().bottom(), ok->y());
    EXPECT_NEAR(double(edit->width()) / dlg.width(), 223.0 / 237, 0.02);
    EXPECT_NEAR(double(edit->height()) / dlg.height(), 174.0 / 210, 0.02);
    // Tab order: OK, text, Clear, Cancel, and round again.
    std::vector<QWidget*> order;
    for (QWidget* w = ok; order.size() < 5; w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus) order.push_back(w);
    EXPECT_EQ(order, (std::vector<QWidget*>{ok, edit, clear, cancel, ok}));
}

TEST(DialogUnits, ScaleByAQuarterCharacterAcrossAndAnEighthDown) {
    EXPECT_EQ(DialogUnitsToPixels(QRect(7, 7, 223, 174), 6, 13), QRect(11, 11, 335, 283));
    EXPECT_EQ(DialogUnitsToPixels(QRect(0, 0, 237, 210), 8, 16), QRect(0, 0, 474, 420));
    EXPECT_EQ(DialogUnitsToPixels(QRect(-2, -3, 1, 1), 6, 12), QRect(-3, -5, 2, 2));
}

}  // namespace
