// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CParlotypeApp: the application. Owns the QApplication (unless one exists
// already, as in tests), the document, the main frame with its view and the
// recent-files list; runs the start-up sequence and the file commands.

#include "app/parlotype_doc.h"
#include "app/recent_files.h"
#include "view/command_map.h"

#include <QStringList>
#include <memory>

class MprisService;

class CMainFrame;
class QApplication;

class CParlotypeApp : public CCmdTarget {
public:
    // Registers the web schemes and makes the QApplication from argc/argv
    // when none exists yet. Arguments after argv[0] are the command line.
    CParlotypeApp(int& argc, char** argv);
    ~CParlotypeApp() override;
    CParlotypeApp(const CParlotypeApp&) = delete;
    CParlotypeApp& operator=(const CParlotypeApp&) = delete;

    // Start-up: script index path, main window, the command line (a script
    // path opens it; none shows the home page), window shown. False ends the program.
    bool InitInstance();
    // InitInstance, then the event loop; the program's exit code.
    int Run();

    bool OpenDocumentFile(const QString& path);
    bool OnCmdMsg(int id, CCmdUI* pCmdUI) override;
    void OnFileNew();
    void OnFileOpen();
    void OnFileMakeScript();
    void OnAppAbout();
    void OnAppExit();
    void OnUpdateRecentFileMenu(CCmdUI* pCmdUI);

    CMainFrame* GetMainWnd() const { return m_pMainWnd.get(); }
    CParlotypeDoc& GetDocument() { return m_doc; }
    const CRecentFileList& GetRecentFiles() const { return m_recentFiles; }

    QString m_strHelpFilePath;  // the script index

private:
    void OnOpenRecentFile(int index);
    void CloseAudio();

    std::unique_ptr<QApplication> m_pOwnApp;
    QStringList m_args;
    CParlotypeDoc m_doc;
    CRecentFileList m_recentFiles;
    std::unique_ptr<CMainFrame> m_pMainWnd;
    std::unique_ptr<MprisService> m_pMpris;  // the desktop's media controls; gone before the window
};
