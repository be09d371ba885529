// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main_window.h"

#include "align/script_page.h"
#include "formats/cue_reader.h"
#include "formats/export_command.h"
#include "platform/message_box.h"
#include "platform/web_view.h"
#include "script/time_text.h"
#include "session/playback_session.h"
#include "session/recording_session.h"
#include "takes/take_store.h"
#include "ui/about_dialog.h"
#include "ui/comparison_pane.h"
#include "ui/make_script_job.h"
#include "ui/marks_dialog.h"
#include "ui/script_view.h"
#include "ui/status_pane.h"
#include "ui/takes_panel.h"

#include <QAction>
#include <QCryptographicHash>
#include <QDir>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QSaveFile>
#include <QStandardPaths>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>

namespace {

enum class Kind { Menu, Item, Separator, BarItem, RecentFiles, Speeds, Export };

struct MenuEntry {
    Kind kind;
    const char* what = nullptr;  // a menu's title (marked for translation), an item's action name
};

// Within a menu no two items share an access letter.
constexpr MenuEntry kMenus[] = {
    {Kind::Menu, QT_TRANSLATE_NOOP("MainWindow", "&File")},
    {Kind::Item, "fileOpen"}, {Kind::Item, "fileSaveScriptPage"}, {Kind::Item, "fileSaveRecording"},
    {Kind::Export, QT_TRANSLATE_NOOP("MainWindow", "Expor&t")},
    {Kind::Item, "filePrint"}, {Kind::Item, "fileMakeScript"}, {Kind::Separator},
    {Kind::RecentFiles}, {Kind::Separator}, {Kind::Item, "fileExit"},
    {Kind::Menu, QT_TRANSLATE_NOOP("MainWindow", "&Go")},
    {Kind::Item, "goBack"}, {Kind::Item, "goForward"}, {Kind::Item, "goHome"},
    {Kind::Menu, QT_TRANSLATE_NOOP("MainWindow", "&Audio")},
    {Kind::Item, "audioStart"}, {Kind::Item, "audioStop"}, {Kind::Item, "audioPause"}, {Kind::Item, "audioRewind"},
    {Kind::Item, "audioForward"}, {Kind::Item, "audioPreviousItem"}, {Kind::Item, "audioNextItem"}, {Kind::Separator},
    {Kind::Speeds, QT_TRANSLATE_NOOP("MainWindow", "Spee&d")}, {Kind::Item, "audioSlower"}, {Kind::Item, "audioFaster"},
    {Kind::Separator},
    {Kind::Item, "audioSingleItem"}, {Kind::Item, "audioRepeat"}, {Kind::Item, "audioPauseAfterItem"}, {Kind::Separator},
    {Kind::Item, "audioRecord"}, {Kind::Item, "audioPlayRecorded"}, {Kind::Item, "audioShadow"}, {Kind::Item, "audioMark"},
    {Kind::BarItem, "audioMark"},
    {Kind::Menu, QT_TRANSLATE_NOOP("MainWindow", "&View")},
    {Kind::Item, "viewSource"}, {Kind::Item, "viewParse"}, {Kind::Item, "viewMarks"}, {Kind::Item, "viewTakes"},
    {Kind::Item, "viewFollowPage"},
    {Kind::Separator}, {Kind::Item, "viewToolbar"}, {Kind::Item, "viewStatusBar"},
    {Kind::Menu, QT_TRANSLATE_NOOP("MainWindow", "&Help")},
    {Kind::Item, "helpContents"}, {Kind::Item, "helpAbout"},
};

// The toolbar's buttons; null is a separator.
constexpr const char* kToolBar[] = {
    "fileOpen", nullptr, "filePrint", nullptr, "audioSingleItem", "audioStart", "audioPause", "audioStop", nullptr,
    "audioRewind", "audioForward", nullptr, "audioRecord", "audioPlayRecorded", nullptr, "goBack", "goHome", "goForward",
};

// File > Export: the formats and their actions.
constexpr const char* kExports[] = {"fileExportVtt", "fileExportSrt", "fileExportLabels", "fileExportJson",
                                    "fileExportEpub", "fileExportWeb"};

const char kTitle[] = QT_TRANSLATE_NOOP("MainWindow", "Parlotype");
const char kScriptFilter[] = QT_TRANSLATE_NOOP("MainWindow", "Parlotype Files (*.htm)");
const char kTimedTextFilter[] = QT_TRANSLATE_NOOP("MainWindow", "Subtitles and Labels (*.vtt *.srt *.txt)");
const char kAudioFilter[] =
    QT_TRANSLATE_NOOP("MainWindow", "Audio Files (*.wav *.mp3 *.flac *.ogg *.opus *.WAV *.MP3 *.FLAC *.OGG *.OPUS)");

}  // namespace

MainWindow::MainWindow(PlaybackSession& playback, RecordingSession& recording, const platform::Messages& messages,
                       const QString& scriptIndex)
    : m_playback(playback), m_recording(recording), m_messages(messages),
      m_view(new ScriptView(playback, messages, scriptIndex, this)) {
    setWindowIcon(QIcon(QStringLiteral(":/icons/parlotype.svg")));
    setUpTakes();
    createActions();
    createMenus();
    createToolBar();
    createStatusBar();
    resize(900, 700);
    setAcceptDrops(true);
    updateTitle(QString());
    connect(&m_playback, &PlaybackSession::fileChanged, this, &MainWindow::refreshActions);
    connect(&m_playback, &PlaybackSession::stateChanged, this, &MainWindow::refreshActions);
    connect(&m_playback, &PlaybackSession::speedChanged, this, &MainWindow::refreshActions);
    connect(&m_playback, &PlaybackSession::practiceChanged, this, &MainWindow::refreshActions);
    connect(&m_recording, &RecordingSession::stateChanged, this, &MainWindow::refreshActions);
    connect(m_view, &ScriptView::followPageChanged, this, &MainWindow::refreshActions);
    connect(m_toolBar, &QToolBar::visibilityChanged, this, &MainWindow::refreshActions);
    connect(&m_playback, &PlaybackSession::positionChanged, this, &MainWindow::refreshPanes);
    connect(&m_playback, &PlaybackSession::positionJumped, this, &MainWindow::refreshPanes);
    setRecentFiles({});
}

// The dock and the toolbar say they are hidden while the base class closes the
// window, when this class's members are gone: they no longer refresh the actions.
MainWindow::~MainWindow() {
    disconnect(m_takesPanel, nullptr, this, nullptr);
    disconnect(m_toolBar, nullptr, this, nullptr);
}

QAction* MainWindow::action(const QString& name) const {
    for (const BoundAction& bound : m_actions)
        if (bound.action->objectName() == name) return bound.action;
    return nullptr;
}

void MainWindow::createActions() {
    for (ActionEntry& entry : actionTable()) {
        auto* action = new QAction(this);
        action->setObjectName(QLatin1String(entry.name));
        if (entry.text) {
            const QString text = tr(entry.text);
            action->setText(text.section(QLatin1Char('\t'), 0, 0));
            if (const QString key = text.section(QLatin1Char('\t'), 1, 1); !key.isEmpty())
                action->setShortcut(QKeySequence::fromString(key, QKeySequence::PortableText));
        }
        if (entry.global) action->setShortcutContext(Qt::ApplicationShortcut);
        action->setStatusTip(tr(entry.prompt));
        action->setToolTip(tr(entry.tip));
        action->setCheckable(bool(entry.checked));
        if (entry.ownIcon) {
            const QIcon own(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(entry.ownIcon)));
            action->setIcon(entry.themeIcon ? QIcon::fromTheme(QLatin1String(entry.themeIcon), own) : own);
        }
        // A checkable action toggles itself: its state is set again from the table.
        connect(action, &QAction::triggered, this, [this, trigger = entry.trigger] {
            trigger();
            refreshActions();
        });
        m_actions.push_back({action, std::move(entry.enabled), std::move(entry.checked)});
    }
    addAction(action(QStringLiteral("homePage")));  // a key with no menu item
}

void MainWindow::createMenus() {
    QMenu* menu = nullptr;
    for (const MenuEntry& e : kMenus) {
        switch (e.kind) {
        case Kind::Menu:
            menu = menuBar()->addMenu(tr(e.what));
            break;
        case Kind::Item:
            menu->addAction(action(QLatin1String(e.what)));
            break;
        case Kind::Separator:
            menu->addSeparator();
            break;
        case Kind::BarItem:
            menuBar()->addAction(action(QLatin1String(e.what)));
            break;
        case Kind::RecentFiles:
            for (int i = 0; i < kRecentFileCount; ++i) menu->addAction(action(QStringLiteral("fileRecent%1").arg(i)));
            break;
        case Kind::Export: {
            QMenu* exports = menu->addMenu(tr(e.what));
            for (const char* name : kExports) exports->addAction(action(QLatin1String(name)));
            break;
        }
        case Kind::Speeds: {
            QMenu* speeds = menu->addMenu(tr(e.what));
            for (size_t i = 0; i < PlaybackSession::kSpeeds.size(); ++i) {
                QAction* speed = action(QStringLiteral("audioSpeed%1").arg(i));
                speed->setText(QString::number(PlaybackSession::kSpeeds[i]) + QChar(0x00D7));
                speeds->addAction(speed);
            }
            break;
        }
        }
    }
}

// Icons come from the desktop's icon theme where it has them, else from the
// program's own SVG icons, which stay sharp at any screen scale.
void MainWindow::createToolBar() {
    m_toolBar = addToolBar(tr("Toolbar"));
    m_toolBar->setObjectName(QStringLiteral("toolbar"));
    m_toolBar->setIconSize(QSize(16, 16));
    for (const char* name : kToolBar) {
        if (name)
            m_toolBar->addAction(action(QLatin1String(name)));
        else
            m_toolBar->addSeparator();
    }
}

// The message area shows an action's prompt while the pointer is on it, and
// "Ready" otherwise; then the indicators.
void MainWindow::createStatusBar() {
    QStatusBar* bar = statusBar();
    const QString idle = tr("Ready");
    connect(bar, &QStatusBar::messageChanged, bar, [bar, idle](const QString& text) {
        if (text.isEmpty()) bar->showMessage(idle);
    });
    bar->showMessage(idle);
    m_turnPane = new StatusPane(QStringLiteral("turn"), tr("Your turn"), bar);
    m_turnPane->setPaneText(tr("Your turn"));
    m_recordingPane = new StatusPane(QStringLiteral("recording"), tr("** Recording **"), bar);
    m_recordingPane->setPaneText(tr("** Recording **"));
    m_speedPane = new StatusPane(QStringLiteral("speed"), QStringLiteral("0.75\u00d7"), bar);
    m_timePane = new StatusPane(QStringLiteral("time"), QStringLiteral("00.00.0"), bar);
    for (StatusPane* pane : {m_turnPane, m_recordingPane, m_speedPane, m_timePane}) bar->addPermanentWidget(pane);
}

void MainWindow::refreshActions() {
    for (const BoundAction& bound : m_actions) {
        bound.action->setEnabled(!bound.enabled || bound.enabled());
        if (bound.checked) bound.action->setChecked(bound.checked());
    }
    refreshPanes();
}

void MainWindow::refreshPanes() {
    m_timePane->setOn(m_playback.isPlaying());
    if (m_playback.isPlaying()) m_timePane->setPaneText(timeText(m_playback.position()));
    m_turnPane->setOn(m_playback.state() == PlaybackSession::State::Turn);
    m_recordingPane->setOn(m_recording.isRecording());
    m_speedPane->setOn(m_playback.speed() != 1.0);
    m_speedPane->setPaneText(QString::number(m_playback.speed()) + QChar(0x00D7));
}

// The page above the comparison pane (shown once there is a comparison),
// and the Takes dock (View > Takes).
void MainWindow::setUpTakes() {
    auto* split = new QSplitter(Qt::Vertical, this);
    m_comparisonPane = new ComparisonPane(split);
    split->addWidget(m_view);
    split->addWidget(m_comparisonPane);
    split->setStretchFactor(0, 1);
    m_comparisonPane->hide();
    setCentralWidget(split);
    m_takesPanel = new TakesPanel(m_playback, m_recording, *m_comparisonPane,
                                  [this] { return m_view->webView()->url().toLocalFile(); }, this);
    addDockWidget(Qt::RightDockWidgetArea, m_takesPanel);
    m_takesPanel->hide();
    connect(m_takesPanel, &TakesPanel::message, this, [this](const QString& text) { statusBar()->showMessage(text, 8000); });
    connect(m_takesPanel, &TakesPanel::compared, m_comparisonPane, &QWidget::show);
    connect(m_takesPanel, &QDockWidget::visibilityChanged, this, &MainWindow::refreshActions);
}

void MainWindow::showScript(const QString& page, const QString& origin) {
    m_origin = origin.isEmpty() ? page : origin;
    updateTitle(m_origin);
    m_view->openScript(page);
    refreshActions();
}

bool MainWindow::showsScript() const { return !m_view->scriptPath().isEmpty() && !m_view->scriptPath().contains(QLatin1String("://")); }

QString MainWindow::pageForTimedText(const QString& path) {
    const CueReading cues = readCueFile(path);
    if (!cues.ok()) {
        m_messages.show(cues.error);
        return {};
    }
    const AudioBeside beside = findAudioBeside(path);
    QString audio = beside.found == AudioBeside::Found::One ? beside.paths.first() : QString();
    if (audio.isEmpty())
        audio = QFileDialog::getOpenFileName(this, tr("The recording of %1").arg(QFileInfo(path).fileName()),
                                             QFileInfo(path).absolutePath(), tr(kAudioFilter) + QLatin1String(";;") + tr("All Files (*)"));
    if (audio.isEmpty()) return {};
    // One page per file opened, in the cache: the user's folder is left as it is.
    const QByteArray key = QCryptographicHash::hash(QFileInfo(path).absoluteFilePath().toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/pages/") + QLatin1String(key);
    const QString page = folder + QLatin1Char('/') + QFileInfo(path).completeBaseName() + QStringLiteral(".htm");
    QString error = QDir().mkpath(folder) ? QString() : tr("Could not make the folder '%1'").arg(folder);
    if (error.isEmpty()) error = writeScriptPageFromCues(page, audio, QFileInfo(path).fileName(), cues.cues);
    if (error.isEmpty()) return page;
    m_messages.show(error);
    return {};
}

// File > Export and Save as Script Page: the script shown, in another form.
void MainWindow::exportScript(const QString& format) {
    static const QHash<QString, std::pair<const char*, const char*>> kinds = {
        {QStringLiteral("vtt"), {".vtt", QT_TRANSLATE_NOOP("MainWindow", "WebVTT Subtitles (*.vtt)")}},
        {QStringLiteral("srt"), {".srt", QT_TRANSLATE_NOOP("MainWindow", "SRT Subtitles (*.srt)")}},
        {QStringLiteral("labels"), {".txt", QT_TRANSLATE_NOOP("MainWindow", "Audacity Labels (*.txt)")}},
        {QStringLiteral("json"), {".json", QT_TRANSLATE_NOOP("MainWindow", "JSON Sync Map (*.json)")}},
        {QStringLiteral("epub"), {".epub", QT_TRANSLATE_NOOP("MainWindow", "EPUB Books (*.epub)")}},
        {QStringLiteral("web"), {".html", QT_TRANSLATE_NOOP("MainWindow", "Web Pages (*.html);;Folders (*)")}},
        {QStringLiteral("html"), {".htm", kScriptFilter}},
    };
    const auto [suffix, filter] = kinds.value(format);
    const QFileInfo origin(m_origin);
    const QString proposed = origin.absoluteDir().filePath(origin.completeBaseName() + QLatin1String(suffix));
    const QString out = QFileDialog::getSaveFileName(this, tr("Export"), proposed, tr(filter));
    if (out.isEmpty()) return;  // the dialog asked before replacing a file
    if (const QString error = ::exportScript(format, m_view->scriptPath(), QString(), out, true); !error.isEmpty())
        m_messages.show(error);
}

// File > Save Recording As: the last recording as a 16-bit mono WAV file; the
// dialog asks before it replaces a file, which is replaced whole or not at all.
void MainWindow::saveRecording() {
    const std::vector<int16_t>& samples = m_recording.recording();
    if (m_recording.isRecording() || samples.empty()) return;
    const QString proposed = QFileInfo(m_origin).absoluteDir().filePath(tr("recording") + QLatin1String(".wav"));
    const QString path = QFileDialog::getSaveFileName(this, tr("Save Recording As"), proposed, tr("WAV Files (*.wav)"));
    if (path.isEmpty()) return;
    const QByteArray bytes = TakeStore::waveBytes(samples, RecordingSession::kRate);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        m_messages.show(tr("Could not write '%1': %2").arg(path, file.errorString()));
}

void MainWindow::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls() && e->mimeData()->urls().first().isLocalFile()) e->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* e) {
    emit openRequested(e->mimeData()->urls().first().toLocalFile());
    e->acceptProposedAction();
}

void MainWindow::updateTitle(const QString& path) {
    const QString title = tr(kTitle);
    setWindowTitle(path.isEmpty() ? title : QFileInfo(path).fileName() + QStringLiteral(" - ") + title);
}

void MainWindow::setRecentFiles(const QStringList& paths) {
    m_recentFiles = paths.mid(0, kRecentFileCount);
    for (int i = 0; i < kRecentFileCount; ++i) {
        QAction* recent = action(QStringLiteral("fileRecent%1").arg(i));
        if (i < m_recentFiles.size()) {
            QString shown = QDir::toNativeSeparators(m_recentFiles[i]);
            recent->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(shown.replace(QLatin1Char('&'), QLatin1String("&&"))));
            recent->setVisible(true);
        } else {
            // With no recent file, the first item is a greyed placeholder.
            recent->setText(tr("Recent File"));
            recent->setVisible(i == 0);
        }
    }
    refreshActions();
}

void MainWindow::openFile() {
    const QString filter = tr(kScriptFilter) + QLatin1String(";;") + tr(kTimedTextFilter) + QLatin1String(";;") + tr("All Files (*)");
    const QString path = QFileDialog::getOpenFileName(this, tr("Open"), QString(), filter);
    if (!path.isEmpty()) emit openRequested(path);
}

void MainWindow::openRecentFile(int index) {
    if (index < m_recentFiles.size()) emit openRequested(m_recentFiles[index]);
}

// The recording, then its text, then where the page goes (beside the
// recording unless the user says otherwise; the dialog asks before it
// replaces a file); the page opens when it is written.
void MainWindow::makeScript() {
    const QString recording = QFileDialog::getOpenFileName(this, tr("Make Script: the recording"), QString(),
                                                           tr(kAudioFilter) + QLatin1String(";;") + tr("All Files (*)"));
    if (recording.isEmpty()) return;
    if (const QString problem = recordingPathProblem(recording); !problem.isEmpty()) {
        m_messages.show(problem);
        return;
    }
    const QString text = QFileDialog::getOpenFileName(this, tr("Make Script: its text, one sentence a line"),
                                                      QFileInfo(recording).absolutePath(),
                                                      tr("Text Files (*.txt);;All Files (*)"));
    if (text.isEmpty()) return;
    const QString page = QFileDialog::getSaveFileName(this, tr("Make Script: save the page as"),
                                                      defaultPagePath(recording), tr(kScriptFilter));
    if (page.isEmpty()) return;
    if (const QString problem = pagePathProblem(page, recording, text); !problem.isEmpty()) {
        m_messages.show(problem);
        return;
    }
    MakeScriptJob job(m_messages, this);
    if (const QString made = job.run(recording, text, page); !made.isEmpty()) emit openRequested(made);
}

// The text is read-only: at OK it is either the whole list or, after Clear, empty.
void MainWindow::showMarks() {
    MarksDialog dialog(m_playback.marks().join(QString()), this);
    if (dialog.exec() == QDialog::Accepted && dialog.text().isEmpty()) m_playback.clearMarks();
}

void MainWindow::showAbout() {
    AboutDialog dialog(this);
    dialog.exec();
}
