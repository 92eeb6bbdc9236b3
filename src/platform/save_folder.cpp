// SPDX-License-Identifier: Apache-2.0
#include "platform/save_folder.h"

#include "platform/platform.h"

#include <QDir>
#include <QFileInfo>

namespace ombrel::platform {

namespace {

QString &lastFolder() {
    static QString folder;
    return folder;
}

} // namespace

QString saveFolder() {
    const QString &folder = lastFolder();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : homeDrive();
}

void rememberSaved(const QString &fileName) { lastFolder() = QFileInfo(fileName).absolutePath(); }

void forgetSaveFolder() { lastFolder().clear(); }

} // namespace ombrel::platform
