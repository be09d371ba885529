// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/parlotype_app.h"

#include "align/script_page.h"
#include "app/about_dlg.h"
#include "app/app_identity.h"
#include "app/main_frame.h"
#include "app/make_script_job.h"
#include "app/script_index.h"
#include "app/string_table.h"
#include "audio/recorder.h"
#include "audio/replay_buffer.h"
#include "audio/replay_file.h"
#include "mpris/mpris_service.h"
#include "platform/message_box.h"
#include "platform/web_view.h"
#include "view/command_ids.h"
#include "view/parlotype_view.h"

#include <QCoreApplication>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QUrl>

namespace {

using App = CParlotypeApp;

constexpr CommandEntry<App> kCommands[] = {
    {ID_APP_ABOUT, &App::OnAppAbout, nullptr},
    {ID_FILE_NEW, &App::OnFileNew, nullptr},
    {ID_FILE_OPEN, &App::OnFileOpen, nullptr},
    {ID_FILE_MAKE_SCRIPT, &App::OnFileMakeScript, nullptr},
    {ID_APP_EXIT, &App::OnAppExit, nullptr},
};

bool IsRecentFileCommand(int id) { return id >= ID_FILE_MRU_FILE1 && id < ID_FILE_MRU_FILE1 + kRecentFileCount; }

// A script named on the command line or chosen in a dialog, as a full path;
// a file URL becomes its path, another address with a scheme stays as it is.
QString FullPath(const QString& path) {
    if (!path.contains(QLatin1String("://"))) return QFileInfo(path).absoluteFilePath();
    const QUrl url(path);
    return url.isLocalFile() ? url.toLocalFile() : path;
}

}  // namespace

CParlotypeApp::CParlotypeApp(int& argc, char** argv) {
    Q_INIT_RESOURCE(parlotype);  // the resources live in a static library
    SetApplicationIdentity();
    if (!QCoreApplication::instance()) {
        platform::RegisterWebSchemes();
        m_pOwnApp = std::make_unique<QApplication>(argc, argv);  // takes Qt's own options out of argv
    }
    for (int i = 1; i < argc; ++i) m_args << QString::fromLocal8Bit(argv[i]);
}

CParlotypeApp::~CParlotypeApp() {
    // The devices belong to the sound server connection of this application
    // object: close them while it still exists.
    CloseAudio();
    m_pMpris.reset();
    m_pMainWnd.reset();
}

void CParlotypeApp::CloseAudio() {
    theReplayFile.Close();
    theRecorder.Close();
    theReplayBuffer.Close();
}

bool CParlotypeApp::InitInstance() {
    m_recentFiles.Load();
    m_strHelpFilePath = FindScriptIndex(QCoreApplication::applicationFilePath(), UserScriptFolder());
    m_pMainWnd = std::make_unique<CMainFrame>(this, &m_doc, m_strHelpFilePath);
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, m_pMainWnd.get(), [this] { CloseAudio(); });
    m_pMainWnd->SetRecentFiles(m_recentFiles.Files());
    CMainFrame* frame = m_pMainWnd.get();
    m_pMpris = std::make_unique<MprisService>(frame->GetActiveView(), [frame](int id) { frame->OnCommand(id); });
    m_pMpris->registerOnBus();  // without a session bus, none
    // The command line: the first argument that is not an option names a script.
    const auto script = std::find_if(m_args.begin(), m_args.end(),
                                     [](const QString& a) { return !a.startsWith(QLatin1Char('-')); });
    if (script != m_args.end()) {
        if (!OpenDocumentFile(*script)) return false;
    } else {
        OnFileNew();
    }
    m_pMainWnd->show();
    return true;
}

int CParlotypeApp::Run() { return InitInstance() ? QApplication::exec() : 1; }

bool CParlotypeApp::OpenDocumentFile(const QString& path) {
    const QString fullPath = FullPath(path);
    if (!m_doc.OnOpenDocument(fullPath)) return false;
    m_recentFiles.Add(fullPath);
    m_pMainWnd->SetRecentFiles(m_recentFiles.Files());
    m_pMainWnd->UpdateTitle(fullPath);
    m_pMainWnd->GetActiveView()->OnInitialUpdate();
    return true;
}

bool CParlotypeApp::OnCmdMsg(int id, CCmdUI* pCmdUI) {
    if (IsRecentFileCommand(id)) {
        if (pCmdUI)
            OnUpdateRecentFileMenu(pCmdUI);
        else
            OnOpenRecentFile(id - ID_FILE_MRU_FILE1);
        return true;
    }
    return RouteCmdMsg<App>(*this, kCommands, id, pCmdUI);
}

void CParlotypeApp::OnFileNew() {
    if (!m_doc.OnNewDocument()) return;
    m_pMainWnd->UpdateTitle(QString());
    m_pMainWnd->GetActiveView()->OnInitialUpdate();
}

void CParlotypeApp::OnFileOpen() {
    const QString filter = DocString(3) + QLatin1String(";;") + QCoreApplication::translate("CParlotypeApp", "All Files (*)");
    const QString path = QFileDialog::getOpenFileName(m_pMainWnd.get(), QCoreApplication::translate("CParlotypeApp", "Open"),
                                                      QString(), filter);
    if (!path.isEmpty()) OpenDocumentFile(path);
}

// The recording, then its text, then where the page goes (beside the
// recording unless the user says otherwise; the dialog asks before it
// replaces a file); the page opens when it is written.
void CParlotypeApp::OnFileMakeScript() {
    const QString recording = QFileDialog::getOpenFileName(
        m_pMainWnd.get(), QCoreApplication::translate("CParlotypeApp", "Make Script: the recording"), QString(),
        QCoreApplication::translate("CParlotypeApp", "Audio Files (*.wav *.mp3 *.WAV *.MP3);;All Files (*)"));
    if (recording.isEmpty()) return;
    if (const QString problem = recordingPathProblem(recording); !problem.isEmpty()) {
        platform::ShowMessage(problem);
        return;
    }
    const QString text = QFileDialog::getOpenFileName(
        m_pMainWnd.get(), QCoreApplication::translate("CParlotypeApp", "Make Script: its text, one sentence a line"),
        QFileInfo(recording).absolutePath(), QCoreApplication::translate("CParlotypeApp", "Text Files (*.txt);;All Files (*)"));
    if (text.isEmpty()) return;
    const QString page = QFileDialog::getSaveFileName(
        m_pMainWnd.get(), QCoreApplication::translate("CParlotypeApp", "Make Script: save the page as"),
        defaultPagePath(recording), DocString(3));
    if (page.isEmpty()) return;
    if (const QString problem = pagePathProblem(page, recording, text); !problem.isEmpty()) {
        platform::ShowMessage(problem);
        return;
    }
    MakeScriptJob job(m_pMainWnd.get());
    if (const QString made = job.run(recording, text, page); !made.isEmpty()) OpenDocumentFile(made);
}

void CParlotypeApp::OnAppAbout() {
    CAboutDlg dlg(m_pMainWnd.get());
    dlg.exec();
}

void CParlotypeApp::OnAppExit() { m_pMainWnd->close(); }

void CParlotypeApp::OnUpdateRecentFileMenu(CCmdUI* pCmdUI) {
    pCmdUI->Enable(pCmdUI->m_nID - ID_FILE_MRU_FILE1 < m_recentFiles.Files().size());
}

void CParlotypeApp::OnOpenRecentFile(int index) {
    if (index < m_recentFiles.Files().size()) OpenDocumentFile(m_recentFiles.Files()[index]);
}
