// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's name, version and organization, set once on QCoreApplication
// before anything reads them: the settings file ("Phonic Ledger Suite/Parlotype"),
// the About box and --version.

void setApplicationIdentity();
