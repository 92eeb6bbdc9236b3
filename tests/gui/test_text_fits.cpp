// SPDX-License-Identifier: Apache-2.0
// Every text a user reads on a label or a button must fit its control with
// the fonts the program gets on this machine: wrapped text no taller than
// the label, a single line no wider than its room.

#include "gui/tour.h"
#include "windows/fonts.h"

#include <QCheckBox>
#include <QFontInfo>
#include <QLabel>
#include <QMap>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

namespace {

// The rectangle a label draws its text in, and the flags it draws with.
QSize roomOf(const QLabel &label, int &flags) {
    flags = int(label.alignment()) | (label.wordWrap() ? Qt::TextWordWrap : 0);
    const int m = label.margin();
    return label.contentsRect().adjusted(m, m, -m, -m).size();
}

QSize roomOf(const QPushButton &button, int &flags) {
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    if (button.isDefault())
        option.features |= QStyleOptionButton::DefaultButton;
    flags = Qt::AlignCenter | Qt::TextShowMnemonic;
    return button.style()->subElementRect(QStyle::SE_PushButtonContents, &option, &button).size();
}

// A radio button's text goes beside its indicator.
QSize roomOf(const QRadioButton &button, int &flags) {
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic;
    return button.style()->subElementRect(QStyle::SE_RadioButtonContents, &option, &button).size();
}

QSize roomOf(const QCheckBox &box, int &flags) {
    QStyleOptionButton option;
    option.initFrom(&box);
    option.text = box.text();
    flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic;
    return box.style()->subElementRect(QStyle::SE_CheckBoxContents, &option, &box).size();
}

} // namespace

class TextFits : public QObject {
    Q_OBJECT

    struct Seen {
        QString text;
        QString family;
        double points;
    };
    QStringList windows_;
    QMap<QString, Seen> seen_; // "window.control"
    QStringList misfits_;

    template <class Control>
    void check(QWidget &window) {
        for (Control *c : window.findChildren<Control *>()) {
            if (!c->isVisibleTo(&window) || c->text().isEmpty())
                continue;
            const QString where = window.objectName() + QLatin1Char('.') + c->objectName();
            const QFontInfo font(c->font());
            seen_[where] = {c->text(), font.family(), font.pointSizeF()};
            int flags = 0;
            const QSize room = roomOf(*c, flags);
            const QSize need = c->fontMetrics().boundingRect(QRect(QPoint(), room), flags, c->text()).size();
            if (need.width() > room.width() || need.height() > room.height())
                misfits_ << QStringLiteral("%1 needs %2 x %3, has %4 x %5: \"%6\"")
                                .arg(where)
                                .arg(need.width())
                                .arg(need.height())
                                .arg(room.width())
                                .arg(room.height())
                                .arg(c->text());
        }
    }

private slots:
    void initTestCase() {
        ombrel::windows::useWindowFonts();
        const auto stop = [this](QWidget &window) {
            windows_ << window.objectName();
            check<QLabel>(window);
            check<QPushButton>(window);
            check<QRadioButton>(window);
            check<QCheckBox>(window);
        };
        ombrel::test::tourWindows(QStringLiteral(OMBREL_SOURCE_DIR "/samples"), stop);
        ombrel::test::tourKeyScreen(QStringLiteral(OMBREL_SOURCE_DIR "/samples"), stop);
        ombrel::test::tourCheck(QStringLiteral(OMBREL_SOURCE_DIR "/samples"), [&](QWidget &window) {
            stop(window);
            // The longest verdicts a check can give, in the same label.
            auto *verdict = window.findChild<QLabel *>(QStringLiteral("lblverdict"));
            const QString shown = verdict->text();
            for (const char *longest :
                 {"No block matches: not sealed with this key and id, or replaced whole",
                  "Altered: 11968 of 11968 blocks changed, in x 1000..1023, y 1000..1023",
                  "Intact: every one of the 868035 carried bits is as it was marked"}) {
                verdict->setText(QString::fromLatin1(longest));
                check<QLabel>(window);
            }
            verdict->setText(shown);
            seen_[QStringLiteral("frmcheck.lblverdict")].text = shown;
        });
    }

    void everyUserFacingWindowIsChecked() {
        QCOMPARE(windows_, (QStringList{"frmmain", "frmEncode1", "frmencode2", "frmencode3", "frmloading",
                                        "frmAbout", "frmDecode1", "frmdecode2", "frmkey", "frmcheck"}));
    }

    void everyTextFits() { QVERIFY2(misfits_.isEmpty(), qPrintable(misfits_.join(QLatin1Char('\n')))); }

    // Texts the program sets are checked as they read after a real walk.
    void programSetTextsAreChecked_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("text");
        QTest::newRow("size of the chosen cover") << "frmmain.lblpro" << "Image : cover.bmp\n 1024x 768";
        QTest::newRow("size of the chosen watermark") << "frmEncode1.lbl2" << " 512x 512";
        QTest::newRow("cover width") << "frmencode2.lblcoverx" << "Width:  1024";
        QTest::newRow("watermark height") << "frmencode2.lblwatery" << "Height:  512";
        QTest::newRow("application title") << "frmAbout.lblTitle" << "Ombrel's Colored Digital Watermarking ";
        QTest::newRow("version") << "frmAbout.lblVersion" << "Version 1.0.0";
        QTest::newRow("sealing button") << "frmencode2.cmdkey" << "Seal with a key...";
        QTest::newRow("extraction button") << "frmDecode1.cmdkey" << "Extract with a key...";
        QTest::newRow("key screen's default button") << "frmkey.cmduse" << "Use this key";
        QTest::newRow("passphrase option") << "frmkey.optpass" << "A passphrase:";
        QTest::newRow("verdict of a check")
            << "frmcheck.lblverdict" << "Altered: 400 of 11968 blocks changed, in x 560..759, y 296..423";
        QTest::newRow("NC of a check") << "frmcheck.lblnc" << "NC of the extracted watermark: 0.975597";
    }
    void programSetTextsAreChecked() {
        QFETCH(QString, control);
        QFETCH(QString, text);
        QVERIFY2(seen_.contains(control), qPrintable(control));
        QCOMPARE(seen_[control].text, text);
    }

    // The families the windows name, or the Liberation face that stands in
    // for a missing one.
    void fontsTheControlsGet_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("named");
        QTest::addColumn<QString>("standIn");
        QTest::addColumn<double>("points");
        QTest::newRow("title line") << "frmmain.lblintro1" << "Times New Roman" << "Liberation Serif" << 14.25;
        QTest::newRow("instructions") << "frmmain.lblintro2" << "Times New Roman" << "Liberation Serif" << 12.0;
        QTest::newRow("chooser instructions") << "frmEncode1.lblencode" << "Tahoma" << "Liberation Sans" << 12.0;
        QTest::newRow("dialog font") << "frmmain.lblbmp1" << "MS Sans Serif" << "Liberation Sans" << 8.25;
        QTest::newRow("button") << "frmmain.cmdload" << "MS Sans Serif" << "Liberation Sans" << 8.25;
        QTest::newRow("bold heading") << "frmEncode1.lblwater" << "MS Sans Serif" << "Liberation Sans" << 8.25;
        QTest::newRow("larger heading") << "frmdecode2.Label1" << "MS Sans Serif" << "Liberation Sans" << 9.75;
    }
    void fontsTheControlsGet() {
        QFETCH(QString, control);
        QFETCH(QString, named);
        QFETCH(QString, standIn);
        QFETCH(double, points);
        QVERIFY2(seen_.contains(control), qPrintable(control));
        const Seen &s = seen_[control];
        QVERIFY2(s.family == named || s.family == standIn, qPrintable(control + QStringLiteral(": ") + s.family));
        QCOMPARE(s.points, points);
    }
};

QTEST_MAIN(TextFits)
#include "test_text_fits.moc"
