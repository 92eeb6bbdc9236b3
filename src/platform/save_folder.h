// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>

namespace ombrel::platform {

// The folder the save dialog opens in: the folder of the last file saved
// during this run, or the home folder before the first save (and when that
// folder has gone since).
QString saveFolder();
// A file was just saved under this name.
void rememberSaved(const QString &fileName);
// A fresh run: back to the home folder.
void forgetSaveFolder();

} // namespace ombrel::platform
