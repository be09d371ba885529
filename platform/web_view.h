// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// WebView: the embedded browser that shows script pages (Qt WebEngine).
// It offers the script view only what the view needs: a navigation policy
// that may cancel any navigation, page loads, the built-in home page, the
// location, moving to an anchor, history and printing.
//
// Built-in pages live under the "res:" scheme (served from Qt resources
// below :/home). "index:" is registered too, with a handler that serves
// nothing, so that navigations to it reach the policy instead of being
// blocked by the engine before it is asked.

#include <QString>
#include <QWebEngineView>
#include <functional>
#include <memory>

class QPrinter;
class QUrl;

namespace platform {

// Registers the "res:" and "index:" schemes with the web engine. Must run
// before the QApplication is constructed; later calls have no effect.
void registerWebSchemes();

// The address of `url` as the navigation policy reads it: for a file: URL
// its local path, then '?' and the query and '#' and the fragment as written
// when it has them; for any other URL its full text.
QString linkAsDelivered(const QUrl& url);

// The built-in home page's address.
inline constexpr char kHomePageUrl[] = "res:/home.htm";

class WebView : public QWebEngineView {
    Q_OBJECT
public:
    // Decides one navigation of the page or one of its frames, raised before
    // it starts (link clicks, script, form submissions, the program's own
    // loads). `link` is linkAsDelivered() of the target. Return false to
    // cancel it. Runs inside the engine's navigation callback: anything that
    // starts a new load from here must go through navigate(), which defers it.
    using NavigationPolicy = std::function<bool(const QString& link)>;

    explicit WebView(QWidget* parent = nullptr);
    ~WebView() override;

    void setNavigationPolicy(NavigationPolicy policy);

    // Loads a local path or a URL, once control is back in the event loop
    // (so it is safe inside the policy). The load is decided by the policy
    // like any other navigation.
    void navigate(const QString& pathOrUrl);
    void loadHomePage();

    // The address of the page now shown, with any fragment; file: pages as
    // an encoded file:/// URL, which can be opened again for reading.
    QString location() const;

    // Moves the page to an anchor: `address` is the page's address followed
    // by '#' and the anchor's name. A same-document navigation: the page is
    // not reloaded and location() then carries "#name". Ignored while another
    // page loads, which the move would cancel.
    void moveToAnchor(const QString& address);

    // Highlights the element of the anchor named `name` (or, when it holds
    // no text, its parent) with the class "parlotype-current", taking the
    // class off any other element; an empty name only takes it off. The
    // default look is a rule of no weight, so a page's own rule for the
    // class wins.
    void markElement(const QString& name);

    // Highlights word `index` (counted from 0 among the timed words,
    // [data-begin], of the item whose anchor is named `item`) with the class
    // "parlotype-current-word", taking it off any other; -1 only takes it off.
    // A page's own rule for the class wins over the default look. A click on
    // such a word plays from its start to the end of its item.
    void markWord(const QString& item, int index);

    // Prints the page on the default printer without asking; with no printer
    // configured, asks with the print dialog (which can print to a PDF file).
    // Returns at once; printing finishes in the background.
    void printPage();
    // Prints the page on `printer`, which it keeps until printing has
    // finished (printFinished). Ignored while a print is under way.
    void printOn(std::unique_ptr<QPrinter> printer);

signals:
    // markElement() was asked to mark `name`: the moment the program made that
    // item current, before the engine has drawn it.
    void elementMarked(const QString& name);
    // markWord() was asked to mark word `index` of `item`.
    void wordMarked(const QString& item, int index);
    // moveToAnchor() is moving the page to `address`.
    void movingToAnchor(const QString& address);

private:
    class Page;

    Page* m_page;
    std::unique_ptr<QPrinter> m_printer;  // the printer of the print under way
};

}  // namespace platform
