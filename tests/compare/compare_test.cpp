// SPDX-License-Identifier: GPL-3.0-or-later
// A take against the model: alignment of a slower take, words missed, pitch of a glide of known F0, the
// command's output and exit codes; takes kept per item, across a restart, and those of the drill's turns;
// a script's takes found after it is edited or moved.
#include "align/features.h"
#include "audio/recorder.h"
#include "audio/recording_player.h"
#include "common/spoken_recording.h"
#include "common/test_audio.h"
#include "compare/pitch_track.h"
#include "compare/take_comparison.h"
#include "platform/sim_audio.h"
#include "session/recording_session.h"
#include "takes/take_store.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>

namespace {

const QString kText = QStringLiteral("The fishermen would sail north, toward distant islands.");

bool say(const QString& path, const QString& text, const QString& voice) {
    testaudio::SpokenRecording r;
    if (!r.addSentence(text, voice, 0.4)) return false;
    r.addSilence(0.4);
    r.addNoise(30);
    return r.writeWave(path);
}

class Compare : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(say(model, kText, QStringLiteral("espeak:en-us:150"))); }
    std::shared_ptr<const Comparison> Run(const QString& take) {
        TakeComparer comparer;
        comparer.setInput({model, 0, 0, kText}, take);
        EXPECT_EQ(comparer.run(), TakeComparer::Result::Ok) << comparer.errorText().toStdString();
        return comparer.comparison() ? comparer.comparison() : std::make_shared<Comparison>();
    }
    QTemporaryDir dir;
    const QString model = dir.filePath("model.wav");
};

// The model slowed to 0.7 of its tempo: each word is found at its time / 0.7, none missing.
TEST_F(Compare, SlowerTakeLinesUpWordByWord) {
    const QString slow = dir.filePath("slow.wav");
    ASSERT_EQ(QProcess::execute("sox", {model, slow, "tempo", "0.7"}), 0);
    const std::shared_ptr<const Comparison> c = Run(slow);
    EXPECT_NEAR(c->pace(), 1 / 0.7, 0.1);
    EXPECT_EQ(c->missingWords(), QStringList());
    ASSERT_EQ(c->words.size(), 8u);
    for (const WordMatch& w : c->words) EXPECT_NEAR(w.takeStart, w.modelStart / 0.7, 0.08) << w.word.toStdString();
    EXPECT_GT(c->melody, 0.8);
}

// Takes by other voices than the model's, complete or with a word left out.
TEST_F(Compare, WordsMissed) {
    const struct { const char* take; const char* voice; const char* missing; } cases[] = {
        {"The fishermen would sail north, toward distant islands.", "flite:slt", ""},
        {"The fishermen would sail north, toward distant islands.", "espeak:en-gb-x-rp:140", ""},
        {"The fishermen would sail toward distant islands.", "flite:slt", "north"},
        {"The fishermen would sail north, toward islands.", "espeak:en-gb-x-rp:140", "distant"},
        {"The fishermen would north, toward distant islands.", "flite:awb", "sail"},
        {"The fishermen would north, toward distant islands.", "flite:slt", "sail"},  // a woman's voice against a man's
        {"The fishermen would sail north, distant islands.", "flite:slt", "toward"},
        {"The fishermen sail north, toward distant islands.", "flite:awb", "would"},  // a short word, a man's voice unlike the model's
    };
    for (const auto& test : cases) {
        const QString take = dir.filePath("take.wav");
        ASSERT_TRUE(say(take, test.take, test.voice));
        EXPECT_EQ(Run(take)->missingWords().join(u' ').toStdString(), test.missing) << test.voice << ": " << test.take;
    }
}

// A glide of 15 harmonics from 100 to 300 Hz in 1 s, then 0.3 s of silence: the glide's frames within 2 %
// of the F0 at their centre (so also placed right in time), the silence's frames unvoiced.
TEST(Pitch, GlideOfKnownF0) {
    std::vector<float> glide(size_t(1.3 * kAnalysisRate));
    double phase = 0;
    auto f0 = [](size_t n) { return 100 * std::pow(3.0, double(n) / kAnalysisRate); };
    for (size_t n = 0; n < size_t(kAnalysisRate); ++n) {
        phase += 2 * M_PI * f0(n) / kAnalysisRate;
        for (int k = 1; k <= 15; ++k) glide[n] += float(0.2 * std::sin(k * phase) / k);
    }
    const std::vector<float> hz = trackPitch(glide);
    ASSERT_EQ(hz.size(), size_t((glide.size() - kWindowSamples) / kHopSamples + 1));
    int close = 0, glideFrames = (kAnalysisRate - kWindowSamples) / kHopSamples;
    for (int f = 0; f < glideFrames; ++f) close += std::abs(hz[size_t(f)] / f0(size_t(f) * kHopSamples + kWindowSamples / 2) - 1) < 0.02;
    EXPECT_GE(close, glideFrames * 9 / 10);
    for (size_t f = size_t(kAnalysisRate + 600) / kHopSamples; f < hz.size(); ++f) EXPECT_EQ(hz[f], 0.0f) << f;
}

TEST_F(Compare, CommandOutputAndExitCodes) {
    const QString page = dir.filePath("page.htm"), cut = dir.filePath("cut.wav");
    ASSERT_TRUE(testaudio::writeFile(page, "<p><a name=intro href='model.wav#0#0.3'>Listen.</a> <a name=fish "
                                           "href='model.wav#0'>The fishermen would sail north, toward distant islands.</a>"));
    ASSERT_TRUE(say(cut, "The fishermen would sail toward distant islands.", "flite:slt"));
    const struct { QStringList args; int exit; const char* out; } cases[] = {
        {{page, "fish", cut}, 0, "missing: north\npace: "},
        {{page, "2", model}, 0, "missing:\npace: 1.00"},
        {{page, "3", model}, 1, ""},
        {{page, "whale", model}, 1, ""},
        {{page, "fish", dir.filePath("none.wav")}, 1, ""},
        {{dir.filePath("none.htm"), "fish", model}, 1, ""},
        {{page, "fish"}, 2, ""},
    };
    for (const auto& test : cases) {
        QProcess p;
        p.start(PARLOTYPE_BINARY_DIR "/parlotype", QStringList{"--compare"} + test.args);
        ASSERT_TRUE(p.waitForFinished(60000));
        const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
        EXPECT_EQ(p.exitCode(), test.exit) << test.args.join(u' ').toStdString() << p.readAllStandardError().toStdString();
        EXPECT_EQ(out.left(qsizetype(strlen(test.out))).toStdString(), test.out);
        EXPECT_EQ(out.contains("\nmelody: "), test.exit == 0) << out.toStdString();
    }
}

// Takes are listed per item, survive a restart, can be deleted; a take cut while being written is not listed.
TEST(Takes, KeptPerItem) {
    QTemporaryDir dir;
    const std::vector<int16_t> samples(4410, 1000);
    QString error;
    {
        TakeStore store(dir.path());
        for (const char* item : {"s1", "s1", "fish & chips", ""}) EXPECT_FALSE(store.save(item, samples, 22050, error).isEmpty());
    }
    ASSERT_TRUE(testaudio::writeFile(dir.filePath("s1@20260101-120000-000.wav.part"), "RIFF"));
    TakeStore store(dir.path());
    ASSERT_EQ(store.takes("s1").size(), 2);
    EXPECT_EQ(TakeStore::itemOf(store.takes("fish & chips").value(0)), "fish & chips");
    EXPECT_EQ(store.takes("").size(), 1);
    EXPECT_TRUE(store.remove(store.takes("s1")[0]));
    EXPECT_EQ(TakeStore(dir.path()).takes("s1").size(), 1);
}

// A script's takes are found by its path, else by its bytes, through the index the folder keeps: in
// turn edited in place, moved, edited where it went (found by the path now kept), moved and edited.
// An old folder named by the hash, with no index, is found by the bytes and then follows edits too.
TEST(Takes, FoundByPathThenBytes) {
    QTemporaryDir dir;
    const QString root = dir.filePath("takes");
    QDir().mkpath(dir.filePath("b"));
    QString error;
    ASSERT_TRUE(testaudio::writeFile(dir.filePath("a.htm"), "<p>one</p>"));
    ASSERT_FALSE(TakeStore::forScript(dir.filePath("a.htm"), root)->save("s1", {1, 2}, 22050, error).isEmpty());
    const struct { const char* from; const char* to; const char* add; int takes; } cases[] = {
        {"a.htm", "a.htm", "<p>two</p>", 1}, {"a.htm", "b/a.htm", "", 1}, {"b/a.htm", "b/a.htm", "<p>3</p>", 1},
        {"b/a.htm", "c.htm", "<p>4</p>", 0}, {"old.htm", "old.htm", "", 1}, {"old.htm", "old.htm", "<p>5</p>", 1}};
    const QByteArray old = "<p>old</p>";
    const QString oldFolder = root + '/' + QCryptographicHash::hash(old, QCryptographicHash::Sha1).toHex();
    QDir().mkpath(oldFolder);
    ASSERT_TRUE(testaudio::writeFile(dir.filePath("old.htm"), old.toStdString()));
    ASSERT_TRUE(testaudio::writeFile(oldFolder + "/s1@20260101-120000-000.wav", TakeStore::waveBytes({1}, 22050).toStdString()));
    for (const auto& test : cases) {
        const std::string bytes = testaudio::readFile(dir.filePath(test.from)) + test.add;
        ASSERT_TRUE(QFile::remove(dir.filePath(test.from)) && testaudio::writeFile(dir.filePath(test.to), bytes));
        EXPECT_EQ(TakeStore::forScript(dir.filePath(test.to), root)->takes("s1").size(), test.takes) << test.to << test.add;
    }
    EXPECT_FALSE(TakeStore::forScript(dir.filePath("none.htm"), root));
}

// Record through the drill: each turn is a take of the item just heard; a recording without turns is one take.
TEST(Takes, TurnsAndPlainRecordings) {
    platform::SimAudioBackend sim{platform::SimAudioBackend::Clock::Stepped};
    sim.setInputSignal([](uint64_t frame, int) { return int16_t(frame % 100); });
    Recorder recorder{sim};
    RecordingPlayer player{sim};
    RecordingSession rec(recorder, player);
    QSignalSpy takes(&rec, &RecordingSession::takeFinished);
    auto pass = [&](int ms) {
        for (int t = 0; t < ms; t += 20) sim.advance(20), QCoreApplication::sendPostedEvents();
    };
    rec.setCurrentItem("s1");
    rec.toggleRecord();
    pass(1000);  // hearing s1: no take
    rec.startTurn();
    pass(1000);
    rec.endTurn();
    rec.setCurrentItem("s2");
    pass(1000);
    rec.startTurn();
    pass(500);
    rec.toggleRecord();  // ends the turn's take too
    rec.toggleRecord();
    pass(700);
    rec.toggleRecord();
    ASSERT_EQ(takes.count(), 3);
    const struct { const char* item; double seconds; } expected[] = {{"s1", 1.0}, {"s2", 0.5}, {"s2", 0.7}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(takes[i][0].toString(), expected[i].item);
        EXPECT_NEAR(takes[i][1].value<std::vector<int16_t>>().size() / double(RecordingSession::kRate), expected[i].seconds, 0.1);
    }
}

}  // namespace
