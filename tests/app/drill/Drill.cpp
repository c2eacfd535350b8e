// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "Drill.h"

#include "../Operator.h"

#include "app/BarrierLine.h"
#include "app/FMain.h"
#include "comm/Comms.h"
#include "controls/Dialogs.h"
#include "controls/ModalResult.h"
#include "grid/SortGrid.h"
#include "gridstore/CellTable.h"
#include "platform/BootClock.h"
#include "platform/WallClock.h"
#include "protocol/Columns.h"
#include "protocol/EntryStatus.h"
#include "race/JournalRecorder.h"
#include "race/LightBarriers.h"

#include <QAction>
#include <QDateTime>
#include <QEventLoop>
#include <QLabel>
#include <QListWidget>
#include <QRandomGenerator>
#include <QTimer>

#include <memory>

#include <unistd.h>

DrillOptions ParseDrillOptions(const QStringList& arguments)
{
    DrillOptions options;
    for (const QString& a : arguments) {
        if (a.startsWith(QLatin1String("--drill="))) {
            bool ok = false;
            const std::uint32_t seed = a.mid(8).toUInt(&ok);
            if (ok)
                options.drillSeed = seed;
            else
                options.error = QStringLiteral("--drill braucht eine Zahl: ") + a;
        } else if (a == QLatin1String("--recover-answer=wait")) {
            options.waitInQuestion = true;
        } else if (a.startsWith(QLatin1String("--script="))) {
            options.script = a.mid(9).split(QLatin1Char(','), Qt::SkipEmptyParts);
        } else if (a.startsWith(QLatin1String("--boot-id="))) {
            options.bootId = a.mid(10);
        } else if (a.startsWith(QLatin1String("--tick-shift=")) || a.startsWith(QLatin1String("--wall-shift="))) {
            bool ok = false;
            const qint64 ms = a.mid(13).toLongLong(&ok);
            if (!ok)
                options.error = QStringLiteral("%1 braucht eine Zahl").arg(a.left(12));
            else if (a.startsWith(QLatin1String("--tick")))
                options.tickShift = static_cast<std::int32_t>(ms);
            else
                options.wallShift = ms;
        } else if (a == QLatin1String("--recover-answer=yes")) {
            options.recoverAnswer = true;
        } else if (a == QLatin1String("--recover-answer=no")) {
            options.recoverAnswer = false;
        } else if (a.startsWith(QLatin1String("--recover-answer="))) {
            options.error = QStringLiteral("--recover-answer ist yes oder no: ") + a;
        } else if (a == QLatin1String("--print-digest")) {
            options.printDigest = true;
        } else if (a.startsWith(QLatin1String("--station-clock-shift="))) {
            bool ok = false;
            options.stationClockShiftMs = a.mid(22).toLongLong(&ok);
            if (!ok)
                options.error = QStringLiteral("--station-clock-shift braucht eine Zahl");
        } else if (a == QLatin1String("--print-starts")) {
            options.printStarts = true;
        }
    }
    return options;
}

void PrintLine(const QString& line)
{
    // One write per line: lines from two threads never mix.
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, p, static_cast<size_t>(left));
        if (n <= 0)
            return;
        p += n;
        left -= n;
    }
}

namespace {

// One scripted command, chosen by weight, through the handler the operator's
// key, button or menu item runs.
void DrillStep(TFormMain& w, QRandomGenerator& random)
{
    TSortGrid& grid = *w.ui.SortGrid1;
    const auto anyRow = [&] { return 1 + static_cast<int>(random.bounded(std::max(1, grid.RowCount() - 1))); };
    const int pick = static_cast<int>(random.bounded(100));
    if (pick < 22) {
        op::Trigger(w.ui.mStart);
    } else if (pick < 40) {
        op::Trigger(w.ui.mStop);
    } else if (pick < 46) {
        op::Trigger(w.ui.FStopp1);
    } else if (pick < 56) {
        // An edit of a start number or a name, typed and committed.
        const int col = random.bounded(2) == 0 ? protocol::kColNr : protocol::kColName;
        grid.SetCol(col);
        grid.SetRow(anyRow());
        grid.ShowEditor();
        if (TInplaceEdit* editor = grid.InplaceEditor()) {
            editor->setText(col == protocol::kColNr ? QString::number(random.bounded(1, 300))
                                                    : QStringLiteral("Läufer %1").arg(random.bounded(1000)));
            grid.HideEditor();
        }
    } else if (pick < 61) {
        w.ui.NeueZeile1->trigger();
    } else if (pick < 65) {
        op::SelectRow(w, anyRow());
        op::Erase(w);
    } else if (pick < 67) {
        w.ui.mUndo->trigger();
    } else if (pick < 71) {
        // A click on a column header.
        const int col = static_cast<int>(random.bounded(protocol::kProtocolColCount - 1));
        grid.HeaderClick(col, random.bounded(2) == 0);
    } else if (pick < 80) {
        // A barrier impulse as the line delivers it: the algorithm decides
        // from the levels what it asks for.
        platform::LineEvent change;
        change.levels = w.LightBarriers().Levels() ^ (random.bounded(2) == 0 ? race::kModemCts : race::kModemDsr);
        change.stamp = platform::Stamp::Now();
        w.ui.ComPort->OnLineEvent(w.ui.ComPort, change);
    } else if (pick < 84) {
        random.bounded(2) == 0 ? op::Trigger(w.ui.LockLSStart1) : op::Trigger(w.ui.LockLSStopp1);
    } else if (pick < 90) {
        op::SelectRow(w, anyRow());
    } else if (pick < 94) {
        // A status from the context menu or its key; Ctrl+Z above takes the
        // last one back.
        static const protocol::EntryStatus kStatuses[] = { protocol::EntryStatus::None, protocol::EntryStatus::DNS,
            protocol::EntryStatus::DNF, protocol::EntryStatus::DSQ };
        op::SelectRow(w, anyRow());
        op::SetStatus(w, kStatuses[random.bounded(4)]);
    } else if (pick < 96) {
        op::End(w);
    } else {
        QListWidget* interims = w.ui.ListBoxStopp;
        if (interims->count() > 0)
            interims->setCurrentRow(static_cast<int>(random.bounded(interims->count())));
        op::PasteInterim(w);
    }
}

void startDrill(TFormMain& w, std::uint32_t seed)
{
    // Every question is answered Ja and every message taken, so nothing waits
    // for an operator.
    dialogs::SetTestMode(true);
    dialogs::SetDialogHandler([](QDialog*) { return mrYes; });
    w.Journal().OnJournalEvent = [](std::uint64_t seq, const QString& digest) {
        PrintLine(QStringLiteral("event %1 %2").arg(seq).arg(digest));
    };
    PrintLine(QStringLiteral("event 0 %1").arg(w.Race().Digest()));
    auto* timer = new QTimer(&w);
    auto random = std::make_shared<QRandomGenerator>(seed);
    auto steps = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, &w, [&w, timer, random, steps] {
        // The first command starts the race, so there is a journal.
        if ((*steps)++ == 0)
            op::Trigger(w.ui.mStart);
        else
            DrillStep(w, *random);
        if (*steps >= 100000)
            timer->stop();
    });
    timer->start(1);
}

// The tick counter of the system, read as if the machine had started at
// another moment.
class ShiftedTick final : public platform::TickSource {
public:
    explicit ShiftedTick(std::int32_t shift)
        : m_shift(shift)
    {
    }
    platform::Tick now() override { return platform::TickDiff(m_system.now(), -m_shift); }

private:
    platform::SystemTickSource m_system;
    std::int32_t m_shift;
};

// Leaves the question open until something ends it (a signal to the
// program), and says so.
int waitInQuestion(QDialog* dialog)
{
    const QLabel* text = dialog->findChild<QLabel*>();
    PrintLine(
        QStringLiteral("question ") + (text ? text->text() : QString()).replace(QLatin1Char('\n'), QLatin1Char(' ')));
    QEventLoop loop;
    QObject::connect(dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    loop.exec();
    return dialog->result();
}

// The started entries whenever their number changes, for a test that
// compares them with what a timing station took.
void printStarts(TFormMain& w)
{
    auto* timer = new QTimer(&w);
    auto last = std::make_shared<int>(-1);
    QObject::connect(timer, &QTimer::timeout, &w, [&w, last] {
        const TCellTable& table = w.Race().Table();
        QStringList rows;
        for (int row = 1; row < table.TableRowCount(); ++row)
            if (w.Race().StateOf(row) != race::Race::RowState::Free)
                rows << QStringLiteral("row %1 %2")
                            .arg(table.TableCell(protocol::kColNr, row), table.TableCell(protocol::kColRaw, row));
        if (rows.size() == *last)
            return;
        *last = int(rows.size());
        for (const QString& row : rows)
            PrintLine(row);
        PrintLine(QStringLiteral("started %1").arg(rows.size()));
    });
    timer->start(50);
}

void runScript(TFormMain& w, const QStringList& steps)
{
    dialogs::SetTestMode(true); // the script names the file the open dialog returns
    for (const QString& step : steps) {
        if (step.startsWith(QLatin1String("load:")))
            op::Load(w, step.mid(5));
        else if (step == QLatin1String("start"))
            op::Trigger(w.ui.mStart);
        else if (step == QLatin1String("stop"))
            op::Trigger(w.ui.mStop);
        else if (step == QLatin1String("end"))
            op::End(w);
        else if (step == QLatin1String("free-start"))
            op::Trigger(w.ui.LockLSStart1);
        else if (step.startsWith(QLatin1String("wait:"))) {
            QEventLoop loop;
            QTimer::singleShot(step.mid(5).toInt(), &loop, &QEventLoop::quit);
            loop.exec();
        } else if (step == QLatin1String("digest"))
            PrintLine(QStringLiteral("digest-now %1").arg(w.Race().Digest()));
        else if (step == QLatin1String("run2")) {
            dialogs::SetDialogHandler([](QDialog*) { return int(mrYes); });
            op::Trigger(w.ui.mRun2);
            dialogs::SetDialogHandler({});
        }
    }
    race::RaceJournal& journal = w.Journal().File();
    journal.WaitDurable(journal.LastSeq(), 10000);
    PrintLine(QStringLiteral("scripted %1 %2").arg(journal.DurableSeq()).arg(w.Race().Digest()));
}

} // namespace

void ApplyClockOptions(const DrillOptions& options)
{
    if (!options.bootId.isEmpty())
        platform::SetBootIdSource([id = options.bootId] { return id; });
    if (options.tickShift != 0)
        platform::SetTickSource(new ShiftedTick(options.tickShift)); // for the program's whole life
    if (options.stationClockShiftMs != 0)
        platform::SetWallClockShiftNs(options.stationClockShiftMs * 1'000'000);
    if (options.wallShift != 0)
        platform::SetWallClockSource(
            [shift = options.wallShift] { return QDateTime::currentMSecsSinceEpoch() + shift; });
}

void RunDrillOptions(TFormMain& window, const DrillOptions& options)
{
    if (options.drillSeed)
        window.Journal().File().OnDurable = [](std::uint64_t seq) { PrintLine(QStringLiteral("durable %1").arg(seq)); };
    if (options.printDigest || options.waitInQuestion)
        dialogs::SetTestMode(true); // messages are printed, not shown
    if (options.waitInQuestion)
        dialogs::SetDialogHandler(waitInQuestion);
    window.offerRecovery(options.recoverAnswer);
    if (options.printStarts)
        printStarts(window);
    if (!options.script.isEmpty())
        runScript(window, options.script);
    if (options.printDigest) {
        for (const dialogs::ShownMessage& m : dialogs::TakeShownMessages())
            PrintLine(QStringLiteral("message ") + QString(m.text).replace(QLatin1Char('\n'), QLatin1Char(' ')));
        PrintLine(QStringLiteral("digest %1").arg(window.Race().Digest()));
        window.endInOrder();
    } else if (options.drillSeed) {
        startDrill(window, *options.drillSeed);
    }
}
