#pragma once
// CReplayFile: the file player. Streams a WAV or MP3 file to the wave output
// device through a ring of eight 64 KB buffers.
//
// Threads: the GUI thread owns all player state. The device posts an
// OutDone event per finished buffer to the receiver given to Play(); that
// receiver calls OnBufferDone() on the GUI thread. No locks.
//
// (Public interface fixed here; the implementation owns the private part.)

#include <QString>

class QObject;

class CReplayFile {
public:
    CReplayFile();
    virtual ~CReplayFile();
    CReplayFile(const CReplayFile&) = delete;
    CReplayFile& operator=(const CReplayFile&) = delete;

    int Open(const QString& path);            // 1 when the file is open and recognised
    int Close();
    int Play(QObject* notify, double startSeconds);
    int OnBufferDone();                       // once per OutDone event
    int CloseDevice();
    int Pause();
    int Resume();
    int IsPaused() const;
    int IsPlaying() const;
    int IsLoaded() const;
    double GetPosition() const;               // seconds into the file now heard
    QString GetFileName() const;              // the path given to the last Open
};

// The process-wide player, constructed by a static initialiser.
extern CReplayFile theReplayFile;
