#include "dialogs/Cfg.h"

#include "controls/FlEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStyleOptionComboBox>
#include <QtTest>

namespace {

// The width a list needs to show its longest item uncut, arrow included.
int neededWidth(const QComboBox* list)
{
    int widest = 0;
    for (int i = 0; i < list->count(); ++i)
        widest = std::max(widest, list->fontMetrics().horizontalAdvance(list->itemText(i)));
    QStyleOptionComboBox option;
    option.initFrom(list);
    return list->style()->sizeFromContents(QStyle::CT_ComboBox, &option, QSize(widest, 0), list).width();
}

} // namespace

class TestCfg : public QObject {
    Q_OBJECT
private slots:
    void everyItemAndEveryCaptionFitsTheFixedDialog()
    {
        TCfgDialog d(nullptr, 0x3);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        for (QComboBox* list : { d.cbDigits, d.cbAlg, d.cbStopFirst }) {
            QVERIFY2(list->width() >= neededWidth(list), qPrintable(list->itemText(0)));
            QVERIFY(d.rect().contains(list->geometry()));
        }
        for (QLabel* label : d.findChildren<QLabel*>()) {
            QVERIFY2(
                label->width() >= label->fontMetrics().horizontalAdvance(label->text()), qPrintable(label->text()));
            QVERIFY(d.rect().contains(label->geometry()));
        }
        for (QWidget* w :
            std::initializer_list<QWidget*> { d.OKBtn, d.CancelBtn, d.cbPort, d.seWait, d.cbLive, d.seLivePort }) {
            QVERIFY2(d.rect().contains(w->geometry()), w->metaObject()->className());
        }
        // Nothing overlaps: every control has its own place.
        const QList<QWidget*> controls { d.cbDigits, d.cbPort, d.cbAlg, d.seWait, d.cbStopFirst, d.cbLive, d.seLivePort,
            d.OKBtn, d.CancelBtn };
        for (int i = 0; i < controls.size(); ++i) {
            for (int j = i + 1; j < controls.size(); ++j)
                QVERIFY(!controls[i]->geometry().intersects(controls[j]->geometry()));
        }
    }

    void fixedSize_offersNoMaximizeOrMinimize()
    {
        TCfgDialog d(nullptr, 0);
        QCOMPARE(d.minimumSize(), d.maximumSize());
        const Qt::WindowFlags flags = d.windowFlags();
        QVERIFY(flags & Qt::CustomizeWindowHint);
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(flags & Qt::WindowCloseButtonHint);
    }
};

QTEST_MAIN(TestCfg)
#include "tst_cfg.moc"
