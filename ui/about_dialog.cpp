// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/about_dialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("About %1").arg(QCoreApplication::applicationName()));
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/icons/parlotype.svg")).pixmap(48, 48));
    auto* text = new QLabel(tr("<b>%1 Version %2</b><br>"
                               "Scripted audio playback: audio links in HTML scripts<br>"
                               "play their stretch of a WAV or MP3 file.<br><br>"
                               "Free software under the GNU General Public License,<br>"
                               "version 3 or (at your option) any later version:<br>"
                               "<a href=\"https://www.gnu.org/licenses/gpl-3.0.html\">"
                               "https://www.gnu.org/licenses/gpl-3.0.html</a><br>"
                               "There is NO WARRANTY, to the extent permitted by law.")
                                .arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion()),
                            this);
    text->setOpenExternalLinks(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
