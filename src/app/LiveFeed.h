#pragma once

#include "live/LiveSnapshot.h"

class TFormMain;

// The results as spectators see them, read from the window's protocol cells
// and race clock: every entry row that holds a start, a number or a name, in
// the table's order, with its state and run time.
live::Snapshot LiveSnapshotOf(const TFormMain& window);
