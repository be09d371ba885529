// The table of the page's audio items and the tracking of the item now sounding.
#include "view/parlotype_view.h"

void CParlotypeView::ScanItems(const QString&) { m_nItems = 0; }
