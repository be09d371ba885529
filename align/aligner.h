// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finds where each item of a text is spoken in a recording: the items are
// synthesized, the synthetic and the real speech matched frame by frame
// (WarpPath), and each item's mapped edges moved to the pauses around it.
// Audio before the first item or after the last (an announcement, music) is
// left out. run() is long: it may be called on a worker thread, and reports
// through signals; cancel() may be called from any thread.

#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <vector>

class FeatureStream;

// Where one item was found, and how sure the aligner is of it.
class AlignedItem {
public:
    AlignedItem(double start, double end, double confidence, bool sure)
        : m_dStart(start), m_dEnd(end), m_dConfidence(confidence), m_bSure(sure) {}
    double start() const { return m_dStart; }  // seconds in the player's timeline
    double end() const { return m_dEnd; }
    double confidence() const { return m_dConfidence; }  // 0..1
    bool isSure() const { return m_bSure; }

private:
    double m_dStart, m_dEnd, m_dConfidence;
    bool m_bSure;
};

class Aligner : public QObject {
    Q_OBJECT
public:
    enum class Result { Ok, Cancelled, BadRecording, NoSpeech, UnknownLanguage, NoVoiceData, SkipTooLong };
    Q_ENUM(Result)

    explicit Aligner(QObject* parent = nullptr);
    // The recording, its items, the language for speaking them, and the
    // seconds at the recording's start that are not part of the reading.
    void setInput(const QString& recording, const QStringList& items, const QString& language, double skip);

    Result run();
    void cancel() { m_bCancel = true; }

    // After run(): the items in text order (when Ok), or what went wrong.
    const std::vector<AlignedItem>& items() const { return m_items; }
    QString errorText() const { return m_strError; }
    double recordingSeconds() const { return m_dSeconds; }

signals:
    void progress(int percent);
    void finished(Aligner::Result result);

private:
    Result fail(Result result, const QString& text);
    Result synthesize(FeatureStream& features, std::vector<std::pair<long, long>>& spans);

    QString m_strRecording, m_strLanguage;
    QStringList m_texts;
    double m_dSkip = 0, m_dSeconds = 0;
    std::atomic<bool> m_bCancel{false};
    std::vector<AlignedItem> m_items;
    QString m_strError;
};
