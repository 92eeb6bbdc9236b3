// SPDX-License-Identifier: Apache-2.0
#include "platform/platform.h"

#include "platform/qt_services.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

namespace ombrel::platform {

Services &services() {
    static QtServices qt;
    static Services current = qt.services();
    return current;
}

void install(const Services &s) { services() = s; }

QString qtFilter(const QString &filter) {
    const QStringList parts = filter.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString &description = parts[i];
        const QString &pattern = parts[i + 1];
        // Qt reads the patterns from the parentheses of each entry.
        entries << (description.contains(QLatin1Char('(') + pattern + QLatin1Char(')'))
                        ? description
                        : description + QStringLiteral(" (") + pattern + QLatin1Char(')'));
    }
    return entries.join(QStringLiteral(";;"));
}

bool fileExists(const QString &name) { return services().files->exists(name); }

QString homeDrive() { return services().files->home(); }

QList<Drive> drives() { return services().files->drives(); }

QString chooseFile(const QString &filter, const QString &folder, const QString &title) {
    OpenDialogService *open = services().open;
    return open ? open->choose(filter, folder, title) : QString();
}

QString fixedFile(const QString &name) { return QDir(homeDrive()).filePath(name); }

bool isOrdinaryFile(const QString &name) {
    if (name.isEmpty())
        return false;
    const QFileInfo info(name);
    return info.exists() && info.isFile() && !info.isHidden();
}

bool isAnyFile(const QString &name) {
    const QFileInfo info(name);
    return !name.isEmpty() && info.exists() && !info.isDir();
}

QList<Drive> drivesWithHome(const QString &home) {
    QList<Drive> list{{QStringLiteral("c: [") + QDir::toNativeSeparators(home) + QLatin1Char(']'), home},
                      {QStringLiteral("/"), QStringLiteral("/")}};
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        if (!volume.isValid() || !volume.isReady() || root == QLatin1String("/"))
            continue;
        // Only volumes a person would browse: removable media and home mounts.
        if (root.startsWith(QLatin1String("/media/")) || root.startsWith(QLatin1String("/mnt/")) ||
            root.startsWith(QLatin1String("/run/media/")))
            list.append({root, root});
    }
    return list;
}

QString fromStd(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

} // namespace ombrel::platform
