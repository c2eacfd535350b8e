// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The main window's controls, at the places and sizes the operator knows, and
// which handler each of them runs.
#include "app/FMain.h"

#include "app/Application.h"
#include "app/Glyphs.h"
#include "app/HeldKeys.h"
#include "app/LiveWidgets.h"
#include "app/NoteBar.h"
#include "app/RaceDisplay.h"
#include "app/TimingKeys.h"
#include "app/UiHelpers.h"
#include "comm/Comms.h"
#include "controls/ButtonGlyphs.h"
#include "controls/ButtonWithColor.h"
#include "controls/Image.h"
#include "controls/LbSpeedButton.h"
#include "controls/MessageTimer.h"
#include "grid/SortGrid.h"
#include "platform/Version.h"
#include "protocol/Columns.h"
#include "protocol/EntryStatus.h"

#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QToolButton>
#include <QVBoxLayout>

#include <utility>

namespace {

constexpr int kUpperHeight = 241;
constexpr int kFileBarHeight = 41;
constexpr int kHeaderHeight = 38;
constexpr int kHeaderButtonWidth = 40;
constexpr int kClockMs = 10; // the race clock's redraw
constexpr int kDateMs = 5000; // the time of day's
constexpr int kNoteMs = 15000; // how long a note on a command shows

QFrame* panel(
    QWidget* parent, TColor colour, QFrame::Shape shape = QFrame::NoFrame, QFrame::Shadow shadow = QFrame::Plain)
{
    auto* frame = new QFrame(parent);
    frame->setFrameShape(shape);
    frame->setFrameShadow(shadow);
    SetBackgroundColor(frame, colour);
    return frame;
}

} // namespace

void TFormMain::buildUi()
{
    MainUi& u = ui;
    u.Clock = new TMessageTimer(this, kClockMs, false, Qt::PreciseTimer);
    u.TimerDate = new TMessageTimer(this, kDateMs, true);
    u.TimerGesperrtStart = new TMessageTimer(this, race::RaceSettings().startLockoutMs, false);
    u.TimerGesperrtStop = new TMessageTimer(this, race::RaceSettings::kStopLockoutMs, false);
    u.Clock->OnTimer = GuardedSlot(this, &TFormMain::ClockTimer);
    u.TimerDate->OnTimer = GuardedSlot(this, &TFormMain::TimerDateTimer);
    for (TMessageTimer* lockout : { u.TimerGesperrtStart, u.TimerGesperrtStop })
        lockout->OnTimer = GuardedSlot(this, [this, lockout] { TimerGesperrtTimer(lockout); });

    u.ComPort = new TComPort(this);
    TComPort& port = *u.ComPort;
    port.SetBaudRate(br9600);
    port.SetBaudRateUser(28800);
    port.SetPort(0);
    port.SetParity(prNone);
    port.SetStopBits(sbOneStopBit);
    port.SetFlowControl(fcRtsCts);
    port.SetDataBits(5);
    TEvents events;
    events.Include(evCTS);
    events.Include(evDSR);
    port.SetEvents(events);
    port.SetEnableDTR(true);
    port.SetWriteBufSize(64);
    port.SetReadBufSize(64);

    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    buildHeader(*column);
    QVBoxLayout& mainColumn = buildRaceControls(*column);
    buildFileBar();
    buildTable(mainColumn);
    buildActions();
}

// The header bar: settings, help and information, the brand, the notices,
// the live address, the spectator display's button and the time of day.
void TFormMain::buildHeader(QVBoxLayout& column)
{
    MainUi& u = ui;
    QWidget* central = centralWidget();
    u.Panel1 = panel(central, clBtnShadow);
    u.Panel1->setFixedHeight(kHeaderHeight);
    column.addWidget(u.Panel1);
    auto headerButton = [&](HeaderGlyphKind kind, const QString& hint, int left, void (TFormMain::*handler)()) {
        auto* b = new TLbSpeedButton(u.Panel1);
        b->setGeometry(left, 0, kHeaderButtonWidth, kHeaderHeight);
        b->SetFlat(true);
        b->SetGlyph(HeaderGlyph(kind));
        b->setToolTip(hint);
        b->OnClick = GuardedSlot(this, handler);
        return b;
    };
    u.bHelp = headerButton(HeaderGlyphKind::Help, QStringLiteral("Hilfe (F1)"), 9, &TFormMain::bHelpClick);
    u.bCFG = headerButton(HeaderGlyphKind::Settings, QStringLiteral("Einstellungen (F2)"), 51, &TFormMain::bCFGClick);
    u.bInfo = headerButton(HeaderGlyphKind::Info, QStringLiteral("Info (F3)"), 97, &TFormMain::bInfoClick);

    const int brandRight = buildBrand();
    buildHeaderNotices();
    buildHeaderLinks();

    // The buttons and the brand keep their places; the time of day stays at
    // the right end whatever the window's width.
    auto* headerRow = new QHBoxLayout(u.Panel1);
    headerRow->setContentsMargins(0, 0, 0, 0);
    headerRow->setSpacing(0);
    headerRow->addSpacing(brandRight + 12);
    // The notices share their room; the stretch keeps it (and the time of
    // day at the right end) when none shows.
    auto* notices = new QHBoxLayout;
    notices->addWidget(u.LabLineState, 1);
    notices->addWidget(u.LabJournalState, 1);
    notices->addWidget(u.LabNotice, 1);
    notices->addStretch();
    headerRow->addLayout(notices, 1);
    headerRow->addSpacing(8);
    headerRow->addWidget(u.LabUpload);
    headerRow->addSpacing(8);
    headerRow->addWidget(u.LabLiveAddress);
    headerRow->addSpacing(6);
    headerRow->addWidget(u.bAnzeige);
    headerRow->addSpacing(4);
    headerRow->addWidget(u.PanelDate);
}

// The brand caption: the program's name as two coloured words over black
// copies two pixels down and right, and its version as a short black suffix.
// Where it ends, for the notices beside it.
int TFormMain::buildBrand()
{
    MainUi& u = ui;
    const QFont brand = DesignFont(QStringLiteral("Arial"), 27, true);
    const QString first = QStringLiteral("Renn"), second = QStringLiteral("zeit");
    const int x = 150, y = 2;
    const int w1 = QFontMetrics(brand).horizontalAdvance(first);
    const int w2 = QFontMetrics(brand).horizontalAdvance(second);
    auto brandLabel = [&](const QString& text, int left, int top, TColor colour, bool link) {
        QLabel* l = PlacedLabel(u.Panel1, text, brand,
            QRect(left, top, QFontMetrics(brand).horizontalAdvance(text) + 4, 34), Qt::AlignLeft | Qt::AlignVCenter);
        SetFontColor(l, colour);
        if (link) {
            l->setCursor(Qt::PointingHandCursor);
            l->installEventFilter(this);
        } else {
            l->setAttribute(Qt::WA_TransparentForMouseEvents);
        }
        return l;
    };
    u.BrandLabels[0] = brandLabel(first, x + 2, y + 2, clBlack, false);
    u.BrandLabels[1] = brandLabel(second, x + w1 + 2, y + 2, clBlack, false);
    u.BrandLabels[2] = brandLabel(first, x, y, clRed, true);
    u.BrandLabels[3] = brandLabel(second, x + w1, y, clLime, true);
    u.BrandLabels[4]
        = PlacedLabel(u.Panel1, QString::fromLatin1(platform::kVersion), DesignFont(QStringLiteral("Arial"), 15, true),
            QRect(x + w1 + w2 + 4, y + 12, 40, 20), Qt::AlignLeft | Qt::AlignVCenter);
    SetFontColor(u.BrandLabels[4], clBlack);
    u.BrandLabels[4]->setCursor(Qt::PointingHandCursor);
    u.BrandLabels[4]->installEventFilter(this);
    return x + w1 + w2 + 4 + 40;
}

// Between the brand and the links, in red while there is trouble: the
// barrier line's port not connected, the journal not written; and the
// notice on what failed or why a key did nothing.
void TFormMain::buildHeaderNotices()
{
    MainUi& u = ui;
    const auto troubleLabel = [&u] {
        auto* label = new QLabel(u.Panel1);
        label->setFont(DesignFont(QStringLiteral("Arial"), 13, true));
        SetFontColor(label, clRed);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        label->setVisible(false);
        return label;
    };
    u.LabLineState = troubleLabel();
    u.LabJournalState = troubleLabel();
    u.LabNotice = new TClickLabel(u.Panel1);
    u.LabNotice->setFont(DesignFont(QStringLiteral("Arial"), 13, true));
    u.LabNotice->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    u.LabNotice->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    u.LabNotice->setCursor(Qt::PointingHandCursor);
    u.LabNotice->setVisible(false);
    u.LabNotice->OnClick = [this] { ui.LabNotice->hide(); };
    m_noteTimer.setSingleShot(true);
    m_noteTimer.setInterval(kNoteMs);
    connect(&m_noteTimer, &QTimer::timeout, this, [this] {
        if (!m_noticeIsFailure)
            ui.LabNotice->hide();
    });
}

// The upload's state, the live results' address, the spectator display's
// button and the time of day.
void TFormMain::buildHeaderLinks()
{
    MainUi& u = ui;
    u.LabLiveAddress = new TClickLabel(u.Panel1);
    u.LabLiveAddress->setFont(DesignFont(QStringLiteral("Arial"), 14, true));
    u.LabLiveAddress->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    u.LabLiveAddress->OnClick = GuardedSlot(this, &TFormMain::LabLiveAddressClick);
    u.LabLiveAddress->hide();
    u.LabUpload = new TClickLabel(u.Panel1);
    u.LabUpload->setFont(DesignFont(QStringLiteral("Arial"), 13, true));
    u.LabUpload->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    u.LabUpload->setCursor(Qt::PointingHandCursor);
    u.LabUpload->OnClick = GuardedSlot(this, &TFormMain::LabUploadClick);
    u.LabUpload->hide();
    u.bAnzeige = new TLbSpeedButton(u.Panel1);
    u.bAnzeige->setFixedSize(kHeaderButtonWidth, kHeaderHeight);
    u.bAnzeige->SetFlat(true);
    u.bAnzeige->SetGlyph(HeaderGlyph(HeaderGlyphKind::Spectator));
    u.bAnzeige->setToolTip(QStringLiteral("Anzeige (F6)"));
    u.bAnzeige->OnClick = GuardedSlot(this, &TFormMain::mAnzeigeClick);

    u.PanelDate = new QLabel(QStringLiteral("00:00"), u.Panel1);
    u.PanelDate->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    u.PanelDate->setLineWidth(2);
    u.PanelDate->setAlignment(Qt::AlignCenter);
    u.PanelDate->setFont(DesignFont(QStringLiteral("Arial"), 24));
    SetBackgroundColor(u.PanelDate, clBlack);
    SetFontColor(u.PanelDate, clSilver);
    u.PanelDate->setFixedSize(240, kHeaderHeight);
}

// The upper part: the display and the race controls.
QVBoxLayout& TFormMain::buildRaceControls(QVBoxLayout& column)
{
    MainUi& u = ui;
    QWidget* central = centralWidget();
    u.PanelMain = panel(central, clBtnShadow, QFrame::Panel, QFrame::Sunken);
    u.PanelMain->setLineWidth(1);
    column.addWidget(u.PanelMain, 1);
    auto* mainColumn = new QVBoxLayout(u.PanelMain);
    mainColumn->setContentsMargins(1, 1, 1, 1);
    mainColumn->setSpacing(0);

    u.PanelTimerOwner = new QWidget(u.PanelMain);
    u.PanelTimerOwner->setFixedHeight(kUpperHeight);
    auto* upper = new QHBoxLayout(u.PanelTimerOwner);
    upper->setContentsMargins(0, 0, 0, 0);
    upper->setSpacing(0);
    mainColumn->addWidget(u.PanelTimerOwner);

    u.PanelTimer = new TRaceDisplay(u.PanelTimerOwner);
    u.PanelLeft = u.PanelTimer;
    upper->addWidget(u.PanelTimer);

    u.Panel3 = panel(u.PanelTimerOwner, clSkyBlue);
    upper->addWidget(u.Panel3, 1);
    auto* controls = new QWidget(u.Panel3);
    controls->setGeometry(0, 0, 260, kUpperHeight - kFileBarHeight);
    const QFont big = DesignFont(QStringLiteral("Arial"), 24, true);
    auto command = [&](const QString& caption, int top) {
        auto* b = new TBitBtnWithColor(controls);
        b->setText(caption);
        b->setFont(big);
        b->setGeometry(8, top, 95, 42);
        SetFontColor(b, clWhite);
        b->SetFontColor(clWhite);
        return b;
    };
    u.bSTART = command(QStringLiteral("START"), 4);
    u.bSTART->setToolTip(QStringLiteral("F5"));
    u.bSTART->SetColor(clGreen); // START is available at start-up
    u.bSTOP = command(QStringLiteral("STOPP"), 54);
    u.bSTOP->setToolTip(QStringLiteral("F9"));
    u.bSTOP->setFocusPolicy(Qt::ClickFocus);
    u.bSTOP->setEnabled(false);
    u.bEnd = command(QStringLiteral("ENDE"), 104);
    u.bEnd->setEnabled(false);
    u.bRESET = command(QStringLiteral("00:00"), 154);
    u.bRESET->setEnabled(false);

    u.bFStopp = new TBitBtnWithColor(controls);
    u.bFStopp->setText(QStringLiteral("F.Stopp"));
    u.bFStopp->setToolTip(QStringLiteral("F8"));
    u.bFStopp->setFont(DesignFont(QStringLiteral("Arial"), 19, true));
    u.bFStopp->SetFontColor(clYellow);
    u.bFStopp->setGeometry(137, 4, 107, 30);
    u.bFStopp->setFocusPolicy(Qt::ClickFocus);
    u.bFStopp->setEnabled(false);

    u.ListBoxStopp = new QListWidget(controls);
    u.ListBoxStopp->setGeometry(137, 38, 107, 158);
    u.ListBoxStopp->setFont(DesignFont(QStringLiteral("Arial"), 15));
    u.ListBoxStopp->setUniformItemSizes(true);
    u.ListBoxStopp->setStyleSheet(QStringLiteral("QListWidget { color: black; } QListWidget::item { height: 17px; }"));

    auto indicator = [&](const QString& hint, int top) {
        auto* image = new TImage(controls);
        image->setGeometry(109, top, 22, 22);
        image->setToolTip(hint);
        image->Tag = 0;
        image->SetPicture(LockPicture(0));
        image->setVisible(false);
        image->OnClick = GuardedSlot(this, [this, image] { ImageLSClick(image); });
        return image;
    };
    u.ImageLSstart = indicator(QStringLiteral("Start-LS frei/gesperrt (F11)"), 14);
    u.ImageLSstop = indicator(QStringLiteral("Stopp-LS frei/gesperrt (F12)"), 64);

    return *mainColumn;
}

// The file bar under the race controls: load, save, print, the exports.
void TFormMain::buildFileBar()
{
    MainUi& u = ui;
    u.Panel4 = panel(u.Panel3, clSkyBlue, QFrame::Panel, QFrame::Raised);
    u.Panel4->setFixedHeight(kFileBarHeight);
    auto* fileRow = new QHBoxLayout(u.Panel4);
    fileRow->setContentsMargins(3, 2, 3, 2);
    fileRow->setSpacing(2);
    auto speed = [&](FileGlyph glyph, const QString& hint, auto handler) {
        auto* b = new QToolButton(u.Panel4);
        b->setIcon(QIcon(FileBarGlyph(glyph)));
        b->setIconSize(QSize(24, 24));
        b->setAutoRaise(true);
        b->setFixedSize(34, 34);
        b->setToolTip(hint);
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QToolButton::clicked, this, GuardedSlot(this, handler));
        return b;
    };
    u.sbLoad = speed(FileGlyph::Open, QStringLiteral("Startliste öffnen"), &TFormMain::sbLoadClick);
    u.sbSave = speed(FileGlyph::Save, QStringLiteral("Protokoll speichern unter"), &TFormMain::sbSaveClick);
    u.sbPrint = speed(FileGlyph::Print, QStringLiteral("Protokoll drucken"), [this] { sbHTMLClick(1); });
    u.sbWord = speed(FileGlyph::Word, QStringLiteral("Datei in MS Word"), &TFormMain::sbWordClick);
    u.sbExcel = speed(FileGlyph::Excel, QStringLiteral("Datei in MS Excel"), &TFormMain::sbExcelClick);
    u.sbHTML = speed(FileGlyph::Html, QStringLiteral("Als Webseite"), [this] { sbHTMLClick(0); });
    auto* caption = new QLabel(QStringLiteral("Protokoll"), u.Panel4);
    caption->setAlignment(Qt::AlignCenter);
    caption->setFont(DesignFont(QStringLiteral("Arial"), 15, true));
    for (QToolButton* b : { u.sbLoad, u.sbSave, u.sbPrint })
        fileRow->addWidget(b);
    fileRow->addWidget(caption, 1);
    for (QToolButton* b : { u.sbWord, u.sbExcel, u.sbHTML })
        fileRow->addWidget(b);
    auto* panel3Column = new QVBoxLayout(u.Panel3);
    panel3Column->setContentsMargins(0, 0, 0, 0);
    panel3Column->setSpacing(0);
    panel3Column->addStretch(1);
    panel3Column->addWidget(u.Panel4);
}

// The protocol table with its context menu.
void TFormMain::buildTable(QVBoxLayout& mainColumn)
{
    MainUi& u = ui;
    u.SortGrid1 = new TSortGrid(u.PanelMain);
    TSortGrid& grid = *u.SortGrid1;
    // Configured inside the update bracket, as a designed form loads it: the
    // new grid counts as unmodified.
    grid.BeginUpdate();
    grid.SetColCount(protocol::kTableColCount);
    grid.SetRowCount(2);
    grid.SetDefaultColWidth(46);
    grid.SetDefaultRowHeight(20);
    grid.setFont(DesignFont(QStringLiteral("Courier New"), 15));
    grid.SetOptions(
        goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goDrawFocusSelected | goColSizing | goRowSelect);
    grid.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid.SetAlignmentHorz(taRightJustify);
    grid.SetAlignmentVert(taTopJustify);
    TSortOptions& sort = grid.SortOptions();
    sort.CanSort = false;
    sort.SortStyle = TSortStyle::ssNormal;
    sort.SortCaseSensitive = false;
    sort.SortCol = 3;
    sort.SortDirection = TSortDirection::sdAscending;
    grid.EndUpdate();
    // What a load had to change in its file, over the table it went into.
    u.PanelLoadNote = new TNoteBar(u.PanelMain);
    mainColumn.addWidget(u.PanelLoadNote);
    mainColumn.addWidget(u.SortGrid1, 1);
    // The "Name" column takes what the others leave whenever the grid's size
    // changes with the window.
    grid.installEventFilter(this);
    // The vertical scroll bar comes and goes with the rows and narrows the
    // client area when it comes: the columns follow it as well.
    grid.viewport()->installEventFilter(this);
    grid.OnSelectCell = [this](QObject*, int acol, int arow, bool& canSelect) {
        Guarded(this, [&] { SortGrid1SelectCell(acol, arow, canSelect); });
    };
    grid.OnGetSortStyle = [this](QObject*, int col, TSortStyle& style) { SortGrid1GetSortStyle(col, style); };
    grid.OnGetCellFormat = [this](QObject*, int col, int row, TGridDrawState, TFormatOptions& format, bool&, bool&,
                               bool&) { SortGrid1GetCellFormat(col, row, format); };

    u.PopupMenuList = new QMenu(this);
    u.Erase1 = u.PopupMenuList->addAction(QStringLiteral("Zeile entfernen"));
    u.NeueZeile1 = u.PopupMenuList->addAction(QStringLiteral("Neue Zeile"));
    u.PastefromFStopp = u.PopupMenuList->addAction(QStringLiteral("Einzusetzen aus F.Stopp"));
    u.mTakeBackStop = u.PopupMenuList->addAction(QStringLiteral("Stopp zurücknehmen"));
    u.mTakeBackStop->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    u.mTakeBackStop->setShortcutContext(Qt::WindowShortcut);
    u.mTakeBackStop->setAutoRepeat(false);
    addAction(u.mTakeBackStop);
    connect(u.mTakeBackStop, &QAction::triggered, this, GuardedSlot(this, &TFormMain::mTakeBackStopClick));
    connect(u.Erase1, &QAction::triggered, this, GuardedSlot(this, &TFormMain::Erase1Click));
    connect(u.NeueZeile1, &QAction::triggered, this, GuardedSlot(this, &TFormMain::NeueZeile1Click));
    connect(u.PastefromFStopp, &QAction::triggered, this, GuardedSlot(this, &TFormMain::PastefromFStoppClick));
    connect(u.PopupMenuList, &QMenu::aboutToShow, this, GuardedSlot(this, &TFormMain::PopupMenuProtokolPopup));
    connect(u.PopupMenuList, &QMenu::aboutToHide, this, GuardedSlot(this, &TFormMain::popupMenuHidden));
    grid.SetPopupMenu(u.PopupMenuList);
}

// The hidden menu carrying the keys, and the race buttons' own events.
void TFormMain::buildActions()
{
    MainUi& u = ui;
    auto action = [this](const QString& text, const QKeySequence& key, auto handler) {
        auto* a = new QAction(text, this);
        a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
        // One key press is one command: a held key must not start or stop
        // entry after entry.
        a->setAutoRepeat(false);
        addAction(a);
        connect(a, &QAction::triggered, this, GuardedSlot(this, handler));
        return a;
    };
    u.mStart = action(QStringLiteral("Start"), Qt::Key_F5, &TFormMain::mStartClick);
    u.mStop = action(QStringLiteral("Sto&pp"), Qt::Key_F9, &TFormMain::mStopClick);
    u.mStop->setEnabled(false);
    u.FStopp1 = action(QStringLiteral("F.Stopp"), Qt::Key_F8, &TFormMain::FStopp1Click);
    u.mReset = action(QStringLiteral("0,00"), QKeySequence(), &TFormMain::mResetClick);
    u.mReset->setEnabled(false);
    u.LockLSStart1 = action(QStringLiteral("Lock LS Start"), Qt::Key_F11, &TFormMain::LockLSStart1Click);
    u.LockLSStopp1 = action(QStringLiteral("Lock LS Stopp"), Qt::Key_F12, &TFormMain::LockLSStopp1Click);
    // No box stops the race: the race keys pressed in one reach their
    // commands. Installed first, so the filter below has taken a held key's
    // repeats before it looks.
    qApp->installEventFilter(new TTimingKeyPassage(this,
        { { Qt::Key_F5, u.mStart }, { Qt::Key_F9, u.mStop }, { Qt::Key_F8, u.FStopp1 }, { Qt::Key_F11, u.LockLSStart1 },
            { Qt::Key_F12, u.LockLSStopp1 } }));
    // What the actions' own setting misses of a held key's repeats.
    qApp->installEventFilter(
        new THeldKeyFilter({ Qt::Key_F5, Qt::Key_F9, Qt::Key_F8, Qt::Key_F11, Qt::Key_F12 }, this));
    u.EinstellunGen1
        = action(QStringLiteral("&Einstellungen"), QKeySequence(Qt::ALT | Qt::Key_E), &TFormMain::bCFGClick);
    // F2 and F3 as the hints of bCFG and bInfo name them.
    u.EinstellunGen1->setShortcuts({ QKeySequence(Qt::ALT | Qt::Key_E), QKeySequence(Qt::Key_F2) });
    u.mInfo = action(QStringLiteral("Info"), Qt::Key_F3, &TFormMain::bInfoClick);
    u.Hilfe1 = action(QStringLiteral("H&ilfe"), QKeySequence(Qt::ALT | Qt::Key_I), &TFormMain::bHelpClick);
    u.mHilfe = action(QStringLiteral("Hilfe"), Qt::Key_F1, &TFormMain::bHelpClick);
    u.mUndo = action(QStringLiteral("Rückgängig"), QKeySequence(Qt::CTRL | Qt::Key_Z), &TFormMain::mUndoClick);
    u.mAnzeige = action(QStringLiteral("Anzeige"), Qt::Key_F6, &TFormMain::mAnzeigeClick);
    u.mRun2 = action(QStringLiteral("2. Lauf beginnen"), Qt::Key_F7, &TFormMain::mRun2Click);
    u.PopupMenuList->setToolTipsVisible(true);
    // The status items of the table's context menu, with their keys.
    u.PopupMenuList->addSeparator();
    auto status = [&](const QString& text, Qt::Key key, protocol::EntryStatus entryStatus) {
        QAction* a = action(text, QKeySequence(Qt::CTRL | key), [this, entryStatus] { statusClick(entryStatus); });
        a->setCheckable(entryStatus != protocol::EntryStatus::None);
        u.PopupMenuList->addAction(a);
        return a;
    };
    u.mStatusDNS = status(QStringLiteral("DNS – nicht gestartet"), Qt::Key_1, protocol::EntryStatus::DNS);
    u.mStatusDNF = status(QStringLiteral("DNF – nicht im Ziel"), Qt::Key_2, protocol::EntryStatus::DNF);
    u.mStatusDSQ = status(QStringLiteral("DSQ – disqualifiziert"), Qt::Key_3, protocol::EntryStatus::DSQ);
    u.mStatusNone = status(QStringLiteral("Status aufheben"), Qt::Key_0, protocol::EntryStatus::None);
    u.Drucker1 = action(QStringLiteral("&Drucker"), QKeySequence(Qt::ALT | Qt::Key_D), [this] { sbHTMLClick(1); });
    u.exporttoWord1 = new QAction(QStringLiteral("Datei in MS Word konvertieren"), this);
    connect(u.exporttoWord1, &QAction::triggered, this, GuardedSlot(this, &TFormMain::exporttoWord1Click));

    // The race buttons act when a mouse button goes down, not on release.
    auto onPress = [this](TBitBtnWithColor* button, QAction* item) {
        button->OnMouseDown = [this, item](TBitBtnWithColor* sender, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
            if (sender == ui.bRESET)
                m_resetPressedByMouse = true;
            item->trigger(); // guarded as every action
        };
    };
    onPress(u.bSTART, u.mStart);
    onPress(u.bSTOP, u.mStop);
    onPress(u.bRESET, u.mReset);
    // The reset button also answers the keyboard when it has the focus; a
    // click that follows its own mouse press is not a second reset.
    u.bRESET->OnClick = [this](TBitBtnWithColor*) {
        if (!std::exchange(m_resetPressedByMouse, false))
            ui.mReset->trigger();
    };
    u.bEnd->OnClick = GuardedSlot(this, &TFormMain::bEndClick);
    u.bFStopp->OnClick = GuardedSlot(this, &TFormMain::FStopp1Click);
}
