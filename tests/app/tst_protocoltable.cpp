// The protocol table as an operator uses it: typing, loading, removing rows,
// the context menu and long times.
#include "MainWindowFixture.h"

#include "app/Application.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMenu>
#include <QPushButton>

namespace {

QPoint cellPoint(TSortGrid* grid, int col, int row)
{
    return grid->viewport()->mapFrom(grid, grid->CellRect(col, row).center());
}

// Clicks a cell of "Nr." or "Name" and types the text without Enter.
void typeInto(MainWindowFixture& f, int col, int row, const QString& text)
{
    TSortGrid* g = f.grid();
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, cellPoint(g, col, row));
    if (!g->EditorMode())
        QTest::keyClick(g, text.at(0).toLatin1());
    QTRY_VERIFY(g->EditorMode());
    g->InplaceEditor()->selectAll();
    QTest::keyClicks(g->InplaceEditor(), text);
    QCOMPARE(g->InplaceEditor()->text(), text);
}

QList<QStringList> allRows(TSortGrid* g)
{
    QList<QStringList> rows;
    for (int r = 0; r < g->RowCount(); ++r)
        rows << g->Rows(r);
    return rows;
}

void loadFile(MainWindowFixture& f, const QString& name, const QByteArray& bytes)
{
    WriteFileBytes(name, bytes);
    dialogs::QueueFileName(QDir::currentPath() + QLatin1Char('/') + name);
    f.w()->sbLoadClick();
}

} // namespace

class TestProtocolTable : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        ClearSettingsStore();
        dialogs::TakeShownMessages();
        dialogs::TakeFileRequests();
    }

    void openEditor_isReadByF5AndByTheStartBarrier()
    {
        MainWindowFixture f(true);
        TFormMain* w = f.w();
        typeInto(f, 1, 1, QStringLiteral("Carla"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
        QCOMPARE(f.cell(1, 1), QStringLiteral("Carla"));
        QCOMPARE(f.cell(6, 1), QStringLiteral("100000"));
        QVERIFY(!f.grid()->EditorMode());

        // A confirmed name, a number still in the editor, and the start barrier.
        f.grid()->SetCells(1, 2, QStringLiteral("Bert"));
        typeInto(f, 0, 2, QStringLiteral("42"));
        w->ui.TimerGesperrtStart->Fire(); // the start lockout is over: the barrier is free
        QCOMPARE(w->ui.ImageLSstart->Tag, 1);
        f.lines(0x20);
        QCOMPARE(f.cell(0, 2), QStringLiteral("42"));
        QCOMPARE(f.cell(1, 2), QStringLiteral("Bert"));
        QCOMPARE(f.cell(6, 2), QStringLiteral("100000"));
    }

    void loadAfterAHeat_thenStartTwice_startsOnlyTheLoadedEntries()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        for (int i = 0; i < 5; ++i)
            f.start(1000);
        w->makeRowCurrent(1);
        f.stop(20000);
        f.answerNextDialog(6);
        loadFile(f, QStringLiteral("heat2.txt"), "21;Anna\r\n22;Bert\r\n");
        QCOMPARE(f.grid()->RowCount(), 3);
        // Nothing runs: the clock stands at zero and ENDE is gone.
        QVERIFY(!w->ui.Clock->Enabled() && !w->ui.bEnd->isEnabled());
        QCOMPARE(w->ui.PanelTimer->Digits[0][DisplayTime::Seconds]->Value(), 0);
        QCOMPARE(f.current(), 1);
        QCOMPARE(f.grid()->Selection().Left, 0); // the whole first row
        QCOMPARE(f.grid()->Selection().Right, 6);

        f.start(1000);
        f.start(1000);
        QCOMPARE(f.grid()->RowCount(), 4);
        QCOMPARE(f.grid()->Rows(3), (QStringList { "", "", "", "", "", "-", "" }));
        QCOMPARE(f.cell(4, 1), QStringLiteral("0,00")); // a new first start
        QCOMPARE(f.cell(4, 2), QStringLiteral("1,00"));
        w->makeRowCurrent(1);
        f.stop(5000);
        QCOMPARE(f.cell(1, 1), QStringLiteral("Anna"));
        QCOMPARE(f.cell(5, 1), QStringLiteral("1"));
        QCOMPARE(f.cell(1, 2), QStringLiteral("Bert"));
        QCOMPARE(f.cell(3, 2), QString());
    }

    void loadDuringARace_asksFirst()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        f.start();
        f.start(1000);
        WriteFileBytes(QStringLiteral("list.txt"), "7;Olga\r\n");
        QWidget* focused = nullptr;
        QStringList captions;
        dialogs::SetDialogHandler([&](QDialog*) {
            focused = w->ui.FDlgYesNo->ActiveControl();
            captions = QStringList { w->ui.FDlgYesNo->OKBtn->text(), w->ui.FDlgYesNo->CancelBtn->text() };
            return int(TFDlgYesNo::kResultCancel);
        });
        const QList<QStringList> before = allRows(f.grid());
        w->sbLoadClick();
        QCOMPARE(w->ui.FDlgYesNo->Label1->text(), QStringLiteral("Protokoll wird ersetzt!"));
        QCOMPARE(focused, w->ui.FDlgYesNo->CancelBtn);
        QCOMPARE(captions, (QStringList { "OK", "Abbrechen" }));
        QVERIFY(dialogs::TakeFileRequests().isEmpty()); // not even the file was asked for
        QCOMPARE(allRows(f.grid()), before);
        QVERIFY(w->ui.Clock->Enabled());

        f.answerNextDialog(6);
        dialogs::QueueFileName(QDir::currentPath() + QStringLiteral("/list.txt"));
        w->sbLoadClick();
        QCOMPARE(f.grid()->Rows(1).mid(0, 2), (QStringList { "7", "Olga" }));
        QVERIFY(!w->ui.Clock->Enabled());
        QCOMPARE(w->ui.FDlgYesNo->OKBtn->text(), QStringLiteral("Ja"));
    }

    void loadedProtocolWithARunner_runsOnFromItsFirstStart()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        // Entry 1 finished; entry 2 started 2 s after the first start, at 98000.
        loadFile(f, QStringLiteral("running.txt"),
            "Nr.\tName\tStart\tZeit\tSplit\tPlatz\t*\t\r\n"
            "1\tA\t10:00.00,00\t5,00\t0,00\t1\t5000\t\r\n"
            "2\tB\t10:00.02,00\t \t2,00\t-\t98000\t\r\n");
        QCOMPARE(w->Race().FirstStart(), std::optional<platform::Tick>(96000));
        QVERIFY(w->ui.Clock->Enabled() && w->ui.bEnd->isEnabled());
        QCOMPARE(f.current(), 2); // the runner: the next stop is its
        w->ClockTimer();
        QCOMPARE(w->ui.PanelTimer->Digits[0][DisplayTime::Seconds]->Value(), 4);
        f.stop(1000);
        QCOMPARE(f.cell(3, f.grid()->FindRow(0, "2")), QStringLiteral("3,00"));
    }

    void unreadableFile_leavesTheTableAndNamesFileAndLine()
    {
        MainWindowFixture f;
        f.start();
        f.start(1000);
        const QList<QStringList> before = allRows(f.grid());
        f.answerNextDialog(6);
        loadFile(f, QStringLiteral("picture.txt"), QByteArray("\x89PNG\r\n\x1A\n\x00\x00\x00\rIHDR", 16));
        QList<dialogs::ShownMessage> shown = dialogs::TakeShownMessages();
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown[0].text.contains(QStringLiteral("picture.txt")));
        QVERIFY(shown[0].text.contains(QStringLiteral("Zeile 3")));
        QCOMPARE(allRows(f.grid()), before);

        loadFile(f, QStringLiteral("damaged.txt"), "1;Anna\r\n2;Bert;x;y;z;-;12x\r\n");
        shown = dialogs::TakeShownMessages();
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown[0].text.contains(QStringLiteral("damaged.txt")));
        QVERIFY(shown[0].text.contains(QStringLiteral("Zeile 2")));
        QVERIFY(shown[0].text.contains(QStringLiteral("12x")));
        QCOMPARE(allRows(f.grid()), before);
        QVERIFY(f.w()->ui.Clock->Enabled());
    }

    void removeByRightClick_actsOnTheClickedRow_asksAndCtrlZTakesItBack()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        TSortGrid* g = f.grid();
        g->SetCells(1, 1, QStringLiteral("Anna Muster"));
        g->SetCells(1, 2, QStringLiteral("Bert"));
        f.start();
        f.start(1000);
        w->makeRowCurrent(2);
        f.stop(4000); // Bert 4,00, first; Anna runs
        w->NeueZeile1Click(); // "3 Neue Zeile" highlighted
        const int highlighted = f.current();
        QCOMPARE(f.cell(1, highlighted), QStringLiteral("Neue Zeile"));
        const int anna = g->FindRow(1, QStringLiteral("Anna Muster"));
        QVERIFY(anna != highlighted);

        QTest::mouseClick(g->viewport(), Qt::RightButton, {}, cellPoint(g, 1, anna));
        QTRY_VERIFY(w->ui.PopupMenuList->isVisible());
        QCOMPARE(f.current(), anna);
        w->ui.PopupMenuList->hide();
        f.answerNextDialog(TFDlgYesNo::kResultCancel);
        w->ui.Erase1->trigger();
        QCOMPARE(f.shownDialogText, QStringLiteral("Zeile mit Zeiten entfernen?"));
        QCOMPARE(g->FindRow(1, QStringLiteral("Anna Muster")), anna); // "Nein": kept

        const QList<QStringList> before = allRows(g);
        f.answerNextDialog(TFDlgYesNo::kResultYes);
        w->ui.Erase1->trigger();
        QCOMPARE(g->FindRow(1, QStringLiteral("Anna Muster")), -1);
        QVERIFY(g->FindRow(1, QStringLiteral("Neue Zeile")) > 0);
        QTest::keyClick(w, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(allRows(g), before);
        QTest::keyClick(w, Qt::Key_Z, Qt::ControlModifier); // only the last removal comes back
        QCOMPARE(allRows(g), before);

        // A row without times goes without a question.
        f.shownDialogText.clear();
        w->makeRowCurrent(g->FindRow(1, QStringLiteral("Neue Zeile")));
        w->Erase1Click();
        QCOMPARE(f.shownDialogText, QString());
        QCOMPARE(g->FindRow(1, QStringLiteral("Neue Zeile")), -1);
    }

    void contextMenu_opensBelowTheRowsAndByKey_newRowGoesWhereItWasOpened()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        TSortGrid* g = f.grid();
        f.start();
        f.start();
        f.start();
        w->makeRowCurrent(1);
        const QRect last = g->CellRect(1, 4);
        QTest::mouseClick(g->viewport(), Qt::RightButton, {},
            g->viewport()->mapFrom(g, QPoint(last.center().x(), last.bottom() + 40)));
        QTRY_VERIFY(w->ui.PopupMenuList->isVisible());
        QCOMPARE(f.current(), 4);
        w->ui.PopupMenuList->hide();

        g->setFocus();
        w->makeRowCurrent(2);
        QTest::keyClick(g, Qt::Key_Menu);
        QTRY_VERIFY(w->ui.PopupMenuList->isVisible());
        w->ui.PopupMenuList->hide();
        QTest::keyClick(g, Qt::Key_F10, Qt::ShiftModifier);
        QTRY_VERIFY(w->ui.PopupMenuList->isVisible());
        w->ui.PopupMenuList->hide();
        w->ui.NeueZeile1->trigger();
        QCOMPARE(f.cell(1, 2), QStringLiteral("Neue Zeile"));
        QCOMPARE(f.cell(0, 2), QStringLiteral("4"));
    }

    void longTimes_areShownInFull_andTheDisplayGetsASecondHourDigit()
    {
        MainWindowFixture f(false, 1000);
        TFormMain* w = f.w();
        TSortGrid* g = f.grid();
        const QFontMetrics metrics(g->font());
        auto fits = [&](int col, int row) {
            // Drawn right-aligned 2 pixels from the right edge: the whole text
            // lies inside the cell.
            return metrics.horizontalAdvance(g->Cells(col, row)) + 2 < g->ColWidths(col);
        };
        f.start();
        f.start(1000);
        w->makeRowCurrent(1);
        f.stop(3724530 - 1000); // 1:02.04,53
        QCOMPARE(f.cell(3, 1), QStringLiteral("1:02.04,53"));
        QVERIFY(fits(3, 1));
        const QByteArray shots = qgetenv("RENNZEIT_SCREENSHOT_DIR");
        if (!shots.isEmpty())
            QVERIFY(w->grab().save(QDir(QString::fromLocal8Bit(shots)).filePath(QStringLiteral("longtime.png"))));
        QCOMPARE(g->ColWidths(1),
            g->ClientWidth() - g->ColWidths(0) - g->ColWidths(2) - g->ColWidths(3) - g->ColWidths(4) - g->ColWidths(5)
                - 7);
        QCOMPARE(w->ui.PanelTimer->width(), 444);
        QVERIFY(!w->ui.PanelTimer->DigitHourTens[0]->isVisible());

        f.tick.advance(10 * 3600000); // more than ten hours into the race
        w->makeRowCurrent(g->RowCount() - 1);
        f.start();
        const int late = g->RowCount() - 2;
        QCOMPARE(f.cell(4, late), QStringLiteral("11:02.04,53"));
        QVERIFY(fits(4, late));
        w->makeRowCurrent(late);
        f.stop(36000000 + 3000); // 10:00.03,00
        const int row = g->FindRow(0, QString::number(late));
        QCOMPARE(f.cell(3, row), QStringLiteral("10:00.03,00"));
        QVERIFY(fits(3, row));
        QVERIFY(g->ColWidths(1) >= 100);

        w->ClockTimer(); // 21:02.07,53 since the first start
        QVERIFY(w->ui.PanelTimer->DigitHourTens[0]->isVisible());
        QCOMPARE(w->ui.PanelTimer->DigitHourTens[0]->Value(), 2);
        QCOMPARE(w->ui.PanelTimer->Digits[0][DisplayTime::Hours]->Value(), 1);
        QCOMPARE(w->ui.PanelTimer->width(), 444 + 48);
        QVERIFY(w->ui.PanelTimer->Digits[0][0]->mapTo(w->ui.PanelTimer, QPoint()).x()
            > w->ui.PanelTimer->DigitHourTens[0]->x() + 44);
        // Reset brings the one-digit layout back.
        w->bEndClick();
        f.answerNextDialog(6);
        f.press(w->ui.bRESET);
        QCOMPARE(w->ui.PanelTimer->width(), 444);
        QVERIFY(!w->ui.PanelTimer->DigitHourTens[0]->isVisible());
    }
};

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TestProtocolTable test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_protocoltable.moc"
