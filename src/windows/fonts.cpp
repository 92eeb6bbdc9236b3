// SPDX-License-Identifier: Apache-2.0
#include "windows/fonts.h"

#include <QApplication>
#include <QFont>

namespace ombrel::windows {

void useWindowFonts() {
    // Liberation Serif and Sans share the advance widths of Times New Roman and
    // Arial; Arial is also the closest of them to Tahoma and MS Sans Serif.
    // Qt consults a substitute only when the family itself is missing.
    QFont::insertSubstitution(QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"));
    QFont::insertSubstitution(QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QFont dialog(QStringLiteral("MS Sans Serif"));
    dialog.setPointSizeF(8.25);
    QApplication::setFont(dialog);
}

} // namespace ombrel::windows
