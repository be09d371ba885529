// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// ScriptView: shows script pages in the embedded browser. Audio links are
// handed to the playback session instead of navigating; "index:" leads to
// the script index. It follows and highlights the item the session reports
// sounding, and offers history, printing and the page's listings.

#include <QString>
#include <QWidget>

class PlaybackSession;
namespace platform {
class Messages;
class WebView;
}

class ScriptView : public QWidget {
    Q_OBJECT
public:
    // `scriptIndex` is the page Go Home and "index:" lead to.
    ScriptView(PlaybackSession& playback, const platform::Messages& messages, const QString& scriptIndex, QWidget* parent = nullptr);

    platform::WebView* webView() const { return m_webView; }

    // Shows the script at `path` (a full path or a URL); an empty path shows
    // the built-in home page.
    void openScript(const QString& path);
    QString scriptPath() const { return m_scriptPath; }

    void goBack();
    void goForward();
    void goHome();
    void showHomePage();  // the built-in page (Help > Contents)
    void print();
    void showSource();
    void showParse();

    // View > Follow Page: the page moves to the item sounding.
    bool followsPage() const { return m_followPage; }
    void setFollowPage(bool on);

signals:
    void followPageChanged(bool on);

private:
    bool allowNavigation(const QString& url);
    bool showsItemsPage() const;
    void showItem(const QString& name);
    void showWord(const QString& item, int index);

    PlaybackSession& m_playback;
    const platform::Messages& m_messages;
    QString m_scriptIndex;
    QString m_scriptPath;  // empty for the built-in home page
    platform::WebView* m_webView;
    QString m_marked;      // anchor name of the highlighted item
    bool m_followPage = true;
};
