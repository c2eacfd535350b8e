#include "app/LiveFeed.h"

#include "app/AudienceWindow.h"
#include "app/FMain.h"
#include "grid/GridCommaText.h"
#include "grid/SortGrid.h"
#include "protocol/Columns.h"
#include "race/RaceText.h"

namespace {

QString hexColour(TColor c)
{
    return ToQColor(ColorToRGB(c)).name(QColor::HexRgb);
}

} // namespace

live::Snapshot LiveSnapshotOf(const TFormMain& window)
{
    using namespace protocol;
    const TCellStore& cells = window.SortGrid1->Store();
    live::Snapshot s;
    const RaceClock clock = window.RaceClockNow();
    s.running = clock.running;
    s.raceMs = clock.ms;
    s.title = window.Title;
    s.accuracy = window.Accuracy;
    s.colours = { hexColour(window.BackgroundColor), hexColour(window.DigitColor), hexColour(window.DimColor),
        hexColour(window.SecondRowColor) };

    s.entries.reserve(static_cast<size_t>(std::max(0, cells.RowCount() - 1)));
    QString firstSplit;
    for (int r = 1; r < cells.RowCount(); ++r) {
        live::Entry e;
        e.number = cells.Cell(kColNr, r);
        e.name = cells.Cell(kColName, r);
        e.start = cells.Cell(kColStart, r);
        e.time = cells.Cell(kColZeit, r);
        e.split = cells.Cell(kColSplit, r);
        e.place = cells.Cell(kColPlatz, r);
        const QString raw = cells.Cell(kColRaw, r);
        e.state = live::StateOf(raw, e.time);
        if (e.state == live::EntryState::Free && TrimBlanks(e.number).isEmpty() && TrimBlanks(e.name).isEmpty())
            continue; // the free row a start leaves at the end
        if (e.state == live::EntryState::Finished) {
            bool ok = false;
            const qlonglong run = TrimBlanks(raw).toLongLong(&ok);
            if (ok)
                e.runMs = run;
        }
        // The race's first start is the start with the smallest split.
        if (e.state != live::EntryState::Free && !e.start.isEmpty()
            && (s.firstStart.isEmpty() || TimeTextOrder(e.split, firstSplit) < 0)) {
            s.firstStart = e.start;
            firstSplit = e.split;
        }
        s.entries.push_back(std::move(e));
    }
    return s;
}
