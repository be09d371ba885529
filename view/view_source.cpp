// SPDX-License-Identifier: GPL-3.0-or-later
// View Source and View Parse: the page now shown, read afresh from its
// location, listed line by line or token by token in the Source dialog.
#include "view/parlotype_view.h"

#include "platform/message_box.h"
#include "platform/page_stream.h"
#include "platform/web_view.h"
#include "script/page_listing.h"
#include "view/source_dlg.h"

namespace {

using Listing = QByteArray (*)(ByteStream&);

// Nothing is shown for the built-in home page or when the page cannot be
// fetched; a local page that cannot be opened or read is reported.
void ShowListing(const QString& location, Listing listing, QWidget* owner) {
    if (location.startsWith(QLatin1String("res:"))) return;
    platform::PageOpenResult page = platform::openPageStream(location);
    if (page.status == platform::PageOpenStatus::Unreadable) {
        platform::showMessage(page.message);
        return;
    }
    if (page.status != platform::PageOpenStatus::Opened) return;
    const QByteArray text = listing(*page.stream);
    if (page.stream->failed()) {
        platform::showMessage(page.stream->errorMessage());
        return;
    }
    page.stream.reset();  // closed before the dialog opens
    CSourceDlg dlg(owner);
    dlg.m_strText = ListingText(text);
    dlg.DoModal();
}

}  // namespace

// The main window owns the dialog.
void CParlotypeView::OnViewSource() { ShowListing(m_pWebView->location(), &sourceListing, window()); }

void CParlotypeView::OnViewParse() { ShowListing(m_pWebView->location(), &parsedListing, window()); }
