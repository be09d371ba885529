// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/parlotype_view.h"

#include "platform/wave_device.h"
#include "platform/web_view.h"

#include <QTimer>
#include <QVBoxLayout>

CParlotypeView::CParlotypeView(CParlotypeDoc* pDocument, const QString& scriptIndex,
                               QWidget* parent)
    : QWidget(parent),
      m_items(new AudioItem[m_nMaxItems]()),
      m_pDocument(pDocument),
      m_strScriptIndex(scriptIndex),
      m_pWebView(new platform::WebView(this)),
      m_pTurnTimer(new QTimer(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pWebView);
    setFocusProxy(m_pWebView);
    m_pWebView->setNavigationPolicy([this](const QString& url) { return OnBeforeNavigate2(url); });
    m_pTurnTimer->setSingleShot(true);
    connect(m_pTurnTimer, &QTimer::timeout, this, &CParlotypeView::EndTurn);
    LoadPracticeSettings();
}

CParlotypeView::~CParlotypeView() = default;
