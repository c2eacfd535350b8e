// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The protocol table as an operator uses it: typing, loading, removing rows,
// the context menu and long times.
#include "MainWindowFixture.h"

#include "app/Application.h"
#include "app/NoteBar.h"
#include "protocol/Columns.h"
#include "protocol/EntryStatus.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>

#include <algorithm>

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
    f.w()->ui.sbLoad->click();
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
        QCOMPARE(f.cell(kColName, 1), QStringLiteral("Carla"));
        QCOMPARE(f.cell(kColRaw, 1), QStringLiteral("100000"));
        QVERIFY(!f.grid()->EditorMode());

        // A confirmed name, a number still in the editor, and the start barrier.
        f.grid()->SetCells(1, 2, QStringLiteral("Bert"));
        typeInto(f, 0, 2, QStringLiteral("42"));
        w->ui.TimerGesperrtStart->Fire(); // the start lockout is over: the barrier is free
        QCOMPARE(w->ui.ImageLSstart->Tag, 1);
        f.lines(0x20);
        QCOMPARE(f.cell(kColNr, 2), QStringLiteral("42"));
        QCOMPARE(f.cell(kColName, 2), QStringLiteral("Bert"));
        QCOMPARE(f.cell(kColRaw, 2), QStringLiteral("100000"));
    }

    void loadAfterAHeat_thenStartTwice_startsOnlyTheLoadedEntries()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        for (int i = 0; i < 5; ++i)
            f.start(1000);
        op::SelectRow(*w, 1);
        f.stop(20000);
        f.answerNextDialog(6);
        loadFile(f, QStringLiteral("heat2.txt"), "21;Anna\r\n22;Bert\r\n");
        QCOMPARE(f.grid()->RowCount(), 3);
        // Nothing runs: the clock stands at zero and ENDE is gone.
        QVERIFY(!w->ui.Clock->Enabled() && !w->ui.bEnd->isEnabled());
        QCOMPARE(w->ui.PanelTimer->Digits[0][DisplayTime::Seconds]->Value(), 0);
        QCOMPARE(f.current(), 1);
        QCOMPARE(f.grid()->Selection().Left, 0); // the whole first row
        QCOMPARE(f.grid()->Selection().Right, protocol::kTableColCount - 1);

        f.start(1000);
        f.start(1000);
        QCOMPARE(f.grid()->RowCount(), 4);
        QCOMPARE(f.grid()->Rows(3), (QStringList { "", "", "", "", "", "-", "", "", "", "" }));
        QCOMPARE(f.cell(kColSplit, 1), QStringLiteral("0,00")); // a new first start
        QCOMPARE(f.cell(kColSplit, 2), QStringLiteral("1,00"));
        op::SelectRow(*w, 1);
        f.stop(5000);
        QCOMPARE(f.cell(kColName, 1), QStringLiteral("Anna"));
        QCOMPARE(f.cell(kColPlatz, 1), QStringLiteral("1"));
        QCOMPARE(f.cell(kColName, 2), QStringLiteral("Bert"));
        QCOMPARE(f.cell(kColZeit, 2), QString());
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
        w->ui.sbLoad->click();
        QCOMPARE(w->ui.FDlgYesNo->Label1->text(), QStringLiteral("Protokoll wird ersetzt!"));
        QCOMPARE(focused, w->ui.FDlgYesNo->CancelBtn);
        QCOMPARE(captions, (QStringList { "OK", "Abbrechen" }));
        QVERIFY(dialogs::TakeFileRequests().isEmpty()); // not even the file was asked for
        QCOMPARE(allRows(f.grid()), before);
        QVERIFY(w->ui.Clock->Enabled());

        f.answerNextDialog(6);
        dialogs::QueueFileName(QDir::currentPath() + QStringLiteral("/list.txt"));
        w->ui.sbLoad->click();
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
        w->ui.Clock->Fire();
        QCOMPARE(w->ui.PanelTimer->Digits[0][DisplayTime::Seconds]->Value(), 4);
        f.stop(1000);
        QCOMPARE(f.cell(kColZeit, f.grid()->FindRow(0, "2")), QStringLiteral("3,00"));
    }

    void unreadableFile_leavesTheTableAndNamesFileAndLine()
    {
        MainWindowFixture f;
        f.start();
        f.start(1000);
        const QList<QStringList> before = allRows(f.grid());
        f.answerNextDialog(6);
        loadFile(f, QStringLiteral("picture.txt"), QByteArray("\x89PNG\r\n\x1A\n\x00\x00\x00\rIHDR", 16));
        QVERIFY(dialogs::TakeShownMessages().isEmpty()); // a notice in the header: the race goes on
        QVERIFY(f.w()->ui.LabNotice->toolTip().contains(QStringLiteral("picture.txt")));
        QVERIFY(f.w()->ui.LabNotice->toolTip().contains(QStringLiteral("Zeile 3")));
        QCOMPARE(allRows(f.grid()), before);

        QVERIFY(f.w()->ui.Clock->Enabled());

        // Only binary data refuses a file: a seventh field that is no whole
        // number loads as not started, and the note over the table says so.
        f.answerNextDialog(6);
        loadFile(f, QStringLiteral("damaged.txt"), "1;Anna\r\n2;Bert;x;y;z;-;12x\r\n");
        QVERIFY(dialogs::TakeShownMessages().isEmpty());
        QCOMPARE(
            f.grid()->Rows(f.grid()->FindRow(0, "2")).mid(0, 7), (QStringList { "2", "Bert", "x", "y", "z", "-", "" }));
        QVERIFY(f.w()->ui.PanelLoadNote->isVisible());
        QVERIFY(f.w()->ui.PanelLoadNote->toolTip().contains(QStringLiteral("damaged.txt")));
        QVERIFY(f.w()->ui.PanelLoadNote->toolTip().contains(QStringLiteral("12x")));
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
        op::SelectRow(*w, 2);
        f.stop(4000); // Bert 4,00, first; Anna runs
        w->ui.NeueZeile1->trigger(); // "3 Neue Zeile" highlighted
        const int highlighted = f.current();
        QCOMPARE(f.cell(kColName, highlighted), QStringLiteral("Neue Zeile"));
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
        op::SelectRow(*w, g->FindRow(1, QStringLiteral("Neue Zeile")));
        op::Erase(*w);
        QCOMPARE(f.shownDialogText, QString());
        QCOMPARE(g->FindRow(1, QStringLiteral("Neue Zeile")), -1);
    }

    void classStartList_timedByKeys_placesPerClassAndStatusesFromMenuAndKeys()
    {
        using protocol::EntryStatus;
        MainWindowFixture f;
        TFormMain* w = f.w();
        TSortGrid* g = f.grid();
        QCOMPARE(g->ColWidths(protocol::kColKlasse), -1); // a race without classes looks as it always did
        loadFile(f, QStringLiteral("klassen.txt"),
            "Startnr;Name;Verein;Klasse\r\n1;Anna;SV;Damen\r\n2;Bert;TV;Herren\r\n3;Cora;SV;Damen\r\n"
            "4;Dirk;TV;Herren\r\n5;Emil;SV;Herren\r\n");
        QVERIFY(g->ColWidths(protocol::kColKlasse) > 0);
        QVERIFY(g->ColWidths(protocol::kColGesamt) > 0);
        QCOMPARE(g->ColWidths(protocol::kColStatus), -1);
        QCOMPARE(f.cell(protocol::kColKlasse, 2), QStringLiteral("Herren"));
        for (int i = 0; i < 5; ++i)
            f.start(1000);
        // Emil gives up (context menu), Dirk is disqualified (Ctrl+3).
        const int emil = g->FindRow(1, QStringLiteral("Emil"));
        QTest::mouseClick(g->viewport(), Qt::RightButton, {}, cellPoint(g, 1, emil));
        QTRY_VERIFY(w->ui.PopupMenuList->isVisible());
        QVERIFY(w->ui.mStatusDNF->isEnabled());
        w->ui.PopupMenuList->hide();
        w->ui.mStatusDNF->trigger();
        QCOMPARE(f.cell(protocol::kColPlatz, g->FindRow(1, QStringLiteral("Emil"))), QStringLiteral("DNF"));
        // STOPP goes to the runners in start order, passing Emil by.
        // Runs of 5, 7, 8 and 9 seconds.
        const std::pair<const char*, int> stops[]
            = { { "Anna", 1000 }, { "Bert", 3000 }, { "Cora", 2000 }, { "Dirk", 2000 } };
        for (const auto& [name, afterMs] : stops) {
            QCOMPARE(f.cell(kColName, f.current()), QString::fromLatin1(name));
            f.stop(afterMs);
        }
        QVERIFY(!w->ui.bSTOP->isEnabled()); // only Emil is left, and he is out
        op::SelectRow(*w, g->FindRow(1, QStringLiteral("Dirk")));
        QTest::keyClick(w, Qt::Key_3, Qt::ControlModifier);
        const auto places = [&](const char* name) {
            const int r = g->FindRow(1, QString::fromLatin1(name));
            return f.cell(protocol::kColPlatz, r) + QLatin1Char('/') + f.cell(protocol::kColGesamt, r);
        };
        QCOMPARE(places("Anna"), QStringLiteral("1/1"));
        QCOMPARE(places("Cora"), QStringLiteral("2/3"));
        QCOMPARE(places("Bert"), QStringLiteral("1/2"));
        QCOMPARE(places("Dirk"), QStringLiteral("DSQ/"));
        QVERIFY(!f.cell(protocol::kColZeit, g->FindRow(1, QStringLiteral("Dirk"))).isEmpty());
        // Ctrl+Z takes the disqualification back.
        QTest::keyClick(w, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(places("Dirk"), QStringLiteral("2/4"));
        // A class typed into the table counts at once.
        typeInto(f, protocol::kColKlasse, g->FindRow(1, QStringLiteral("Bert")), QStringLiteral("Damen"));
        QTest::keyClick(g->InplaceEditor(), Qt::Key_Return);
        QTRY_COMPARE(places("Bert"), QStringLiteral("2/2"));
        QCOMPARE(places("Cora"), QStringLiteral("3/3"));
        QCOMPARE(places("Dirk"), QStringLiteral("1/4"));
        // The menu shows the entry's status; a free row takes none.
        op::SelectRow(*w, g->FindRow(1, QStringLiteral("Emil")));
        op::OpenContextMenu(*w);
        QVERIFY(w->ui.mStatusDNF->isChecked() && !w->ui.mStatusDNF->isEnabled());
        QVERIFY(w->ui.mStatusNone->isEnabled());
        op::CloseContextMenu(*w);
        op::SelectRow(*w, g->RowCount() - 1);
        QTest::keyClick(w, Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(f.cell(protocol::kColStatus, g->RowCount() - 1), QString());

        // Saved and loaded again, the table is the same.
        QList<QStringList> before = allRows(g);
        dialogs::QueueFileName(QDir::currentPath() + QStringLiteral("/klassen-ergebnis.txt"), 4);
        w->ui.sbSave->click();
        f.answerNextDialog(6);
        dialogs::QueueFileName(QDir::currentPath() + QStringLiteral("/klassen-ergebnis.txt"));
        w->ui.sbLoad->click();
        QList<QStringList> after = allRows(g);
        QCOMPARE(after.size(), before.size());
        const auto sorted = [](QList<QStringList> rows) {
            std::sort(rows.begin() + 1, rows.end());
            return rows;
        };
        QCOMPARE(sorted(after), sorted(before));
    }

    void trailingFreeRow_staysAndTheColumnsFollowTheScrollBar()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        TSortGrid* g = f.grid();
        f.start();
        f.start(1000);
        op::SelectRow(*w, 3);
        op::OpenContextMenu(*w);
        QVERIFY(!w->ui.Erase1->isEnabled());
        op::CloseContextMenu(*w);
        op::Erase(*w);
        QCOMPARE(g->RowCount(), 4);
        f.start(1000); // START still finds the free row
        QCOMPARE(f.cell(kColRaw, 3), QString::number(f.tick.tick().now()));

        // A load that brings the scroll bar: "Platz" stays in view.
        QByteArray list;
        for (int i = 1; i <= 80; ++i)
            list += QByteArray::number(i) + ";Teilnehmer " + QByteArray::number(i) + "\r\n";
        f.answerNextDialog(6);
        loadFile(f, QStringLiteral("lang.txt"), list);
        QTRY_VERIFY(g->verticalScrollBar()->isVisible());
        QTRY_COMPARE(TableRightEdge(*g), g->ClientWidth());
    }

    void contextMenu_opensBelowTheRowsAndByKey_newRowGoesWhereItWasOpened()
    {
        MainWindowFixture f;
        TFormMain* w = f.w();
        TSortGrid* g = f.grid();
        f.start();
        f.start();
        f.start();
        op::SelectRow(*w, 1);
        const QRect last = g->CellRect(1, 4);
        QTest::mouseClick(g->viewport(), Qt::RightButton, {},
            g->viewport()->mapFrom(g, QPoint(last.center().x(), last.bottom() + 40)));
        QTRY_VERIFY(w->ui.PopupMenuList->isVisible());
        QCOMPARE(f.current(), 4);
        w->ui.PopupMenuList->hide();

        g->setFocus();
        op::SelectRow(*w, 2);
        QTest::keyClick(g, Qt::Key_Menu);
        QTRY_VERIFY(w->ui.PopupMenuList->isVisible());
        w->ui.PopupMenuList->hide();
        QTest::keyClick(g, Qt::Key_F10, Qt::ShiftModifier);
        QTRY_VERIFY(w->ui.PopupMenuList->isVisible());
        w->ui.PopupMenuList->hide();
        w->ui.NeueZeile1->trigger();
        QCOMPARE(f.cell(kColName, 2), QStringLiteral("Neue Zeile"));
        QCOMPARE(f.cell(kColNr, 2), QStringLiteral("4"));
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
        op::SelectRow(*w, 1);
        f.stop(3724530 - 1000); // 1:02.04,53
        QCOMPARE(f.cell(kColZeit, 1), QStringLiteral("1:02.04,53"));
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
        op::SelectRow(*w, g->RowCount() - 1);
        f.start();
        const int late = g->RowCount() - 2;
        QCOMPARE(f.cell(kColSplit, late), QStringLiteral("11:02.04,53"));
        QVERIFY(fits(4, late));
        op::SelectRow(*w, late);
        f.stop(36000000 + 3000); // 10:00.03,00
        const int row = g->FindRow(0, QString::number(late));
        QCOMPARE(f.cell(kColZeit, row), QStringLiteral("10:00.03,00"));
        QVERIFY(fits(3, row));
        QVERIFY(g->ColWidths(1) >= 100);

        w->ui.Clock->Fire(); // 21:02.07,53 since the first start
        QVERIFY(w->ui.PanelTimer->DigitHourTens[0]->isVisible());
        QCOMPARE(w->ui.PanelTimer->DigitHourTens[0]->Value(), 2);
        QCOMPARE(w->ui.PanelTimer->Digits[0][DisplayTime::Hours]->Value(), 1);
        QCOMPARE(w->ui.PanelTimer->width(), 444 + 48);
        QVERIFY(w->ui.PanelTimer->Digits[0][0]->mapTo(w->ui.PanelTimer, QPoint()).x()
            > w->ui.PanelTimer->DigitHourTens[0]->x() + 44);
        // Reset brings the one-digit layout back.
        op::End(*w);
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
