// SPDX-License-Identifier: GPL-3.0-or-later
// File > Make Script... in the program's window: the recording and the text
// chosen in file dialogs, the progress dialog shown while the work runs, the
// new page opened in the window, and one of its sentences played on the
// simulated sound device from the time the page gives.
#include "common/spoken_recording.h"
#include "gui/gui_harness.h"

#include "app/main_frame.h"
#include "audio/replay_file.h"
#include "platform/message_box.h"
#include "platform/sim_audio.h"
#include "view/command_ids.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

TEST(MakeScriptWindow, MakesOpensAndPlaysThePage) {
    platform::SimAudioBackend sim{platform::SimAudioBackend::Clock::Stepped};
    platform::setAudioBackend(&sim);
    QStringList messages;
    platform::SetMessageSink([&](const QString& text) { messages << text; });
    PageFolder folder;
    testaudio::SpokenRecording rec;
    for (const char* s : {"The Fox and the Grapes", "A hungry fox saw some fine bunches of grapes.",
                          "He tried his best to reach them, but in vain."})
        ASSERT_TRUE(rec.addSentence(QLatin1String(s), "espeak:en-gb:150", 0.5));
    rec.addSilence(0.5);
    rec.addNoise(30);
    ASSERT_TRUE(rec.writeWave(folder.Path("fox.wav")));
    folder.Write("fox.txt", "The Fox and the Grapes\n\nA hungry fox saw some fine bunches of grapes.\n"
                            "He tried his best to reach them, but in vain.\n");

    TestWindow w;
    // Answers the two file dialogs in turn, each until it closes, and notes
    // the progress dialog.
    const QStringList answers{folder.Path("fox.wav"), folder.Path("fox.txt")};
    QStringList titles;
    QPointer<QFileDialog> current;  // null again once the dialog is gone
    bool progressSeen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            if (dialog != current) {
                if (titles.size() == answers.size()) return;
                current = dialog;
                titles << dialog->windowTitle();
            }
            // Typed into the name field, as a user would: a full path needs no folder listing.
            if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit")) name->setText(answers[titles.size() - 1]);
            static_cast<QDialog*>(dialog)->accept();
        }
        if (qobject_cast<QProgressDialog*>(modal)) progressSeen = true;
    });
    poll.start(20);
    w.LetIdle();
    ASSERT_TRUE(w.Frame()->Action(ID_FILE_MAKE_SCRIPT)->isEnabled());
    w.Frame()->Action(ID_FILE_MAKE_SCRIPT)->trigger();
    const QString page = folder.Path("fox.htm");
    ASSERT_TRUE(w.WaitForPage(QUrl::fromLocalFile(page))) << messages.join(QLatin1Char(10)).toStdString();
    EXPECT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char(10)).toStdString();
    EXPECT_EQ(titles, (QStringList{"Make Script: the recording", "Make Script: its text, one sentence a line"}));
    EXPECT_TRUE(progressSeen);
    EXPECT_TRUE(w.Frame()->windowTitle().contains("fox.htm")) << w.Frame()->windowTitle().toStdString();

    const auto items = testaudio::ReadPageItems(page);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_NEAR(items[1].start, rec.start(1), 0.08);
    ASSERT_TRUE(w.Click("a[name=s2]"));
    EXPECT_TRUE(WaitUntil([&] { return theReplayFile.GetFileName() == folder.Path("fox.wav"); }));
    EXPECT_NEAR(theReplayFile.GetPosition(), items[1].start, 0.05);
    theReplayFile.Close();
    platform::SetMessageSink({});
    platform::setAudioBackend(nullptr);
}

}  // namespace
