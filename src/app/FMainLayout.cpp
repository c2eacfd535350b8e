// The main window's controls, at the places and sizes the operator knows.
#include "app/FMain.h"

#include "app/Application.h"
#include "app/Glyphs.h"
#include "app/HeldKeys.h"
#include "app/UiHelpers.h"
#include "controls/ButtonGlyphs.h"
#include "controls/ButtonWithColor.h"
#include "controls/Image.h"
#include "controls/LbSpeedButton.h"
#include "controls/MessageTimer.h"
#include "controls/Udigit.h"
#include "grid/SortGrid.h"

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

constexpr TColor kSkyBlue = 0xF0CAA6; // #A6CAF0
constexpr int kUpperHeight = 241;
constexpr int kFileBarHeight = 41;

QFrame* panel(
    QWidget* parent, TColor colour, QFrame::Shape shape = QFrame::NoFrame, QFrame::Shadow shadow = QFrame::Plain)
{
    auto* frame = new QFrame(parent);
    frame->setFrameShape(shape);
    frame->setFrameShadow(shadow);
    SetBackgroundColor(frame, colour);
    return frame;
}

QLabel* label(QWidget* parent, const QString& text, const QFont& font, QRect geometry, Qt::Alignment align)
{
    auto* l = new QLabel(text, parent);
    l->setFont(font);
    l->setGeometry(geometry);
    l->setAlignment(align);
    l->setAttribute(Qt::WA_TranslucentBackground);
    return l;
}

} // namespace

void TFormMain::BuildLayout()
{
    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    BuildHeader();
    column->addWidget(Panel1);

    PanelMain = panel(central, clBtnShadow, QFrame::Panel, QFrame::Sunken);
    PanelMain->setLineWidth(1);
    column->addWidget(PanelMain, 1);
    auto* mainColumn = new QVBoxLayout(PanelMain);
    mainColumn->setContentsMargins(1, 1, 1, 1);
    mainColumn->setSpacing(0);

    PanelTimerOwner = new QWidget(PanelMain);
    PanelTimerOwner->setFixedHeight(kUpperHeight);
    auto* upper = new QHBoxLayout(PanelTimerOwner);
    upper->setContentsMargins(0, 0, 0, 0);
    upper->setSpacing(0);
    mainColumn->addWidget(PanelTimerOwner);

    BuildDisplay();
    upper->addWidget(PanelTimer);
    BuildRaceControls();
    upper->addWidget(Panel3, 1);

    BuildGrid();
    mainColumn->addWidget(SortGrid1, 1);
    BuildActions();
}

void TFormMain::BuildHeader()
{
    Panel1 = panel(nullptr, clBtnShadow);
    Panel1->setFixedHeight(38);
    auto makeButton = [this](HeaderGlyphKind kind, const QString& hint, int left) {
        auto* b = new TLbSpeedButton(Panel1);
        b->setGeometry(left, 0, 40, 38);
        b->SetFlat(true);
        b->SetGlyph(HeaderGlyph(kind));
        b->setToolTip(hint);
        return b;
    };
    bHelp = makeButton(HeaderGlyphKind::Help, QStringLiteral("Hilfe (F1)"), 9);
    bCFG = makeButton(HeaderGlyphKind::Settings, QStringLiteral("Einstellungen (F2)"), 51);
    bInfo = makeButton(HeaderGlyphKind::Info, QStringLiteral("Info (F3)"), 97);
    bHelp->OnClick = [this](TLbSpeedButton*) { Guarded(this, [this] { bHelpClick(); }); };
    bCFG->OnClick = [this](TLbSpeedButton*) { Guarded(this, [this] { bCFGClick(); }); };
    bInfo->OnClick = [this](TLbSpeedButton*) { Guarded(this, [this] { bInfoClick(); }); };

    // The brand caption: the program's name as two coloured words over black
    // copies two pixels down and right, and its version as a short black
    // suffix.
    const QFont brand = DesignFont(QStringLiteral("Arial"), 27, true);
    const QString first = QStringLiteral("Renn"), second = QStringLiteral("zeit");
    const int x = 150, y = 2;
    const int w1 = QFontMetrics(brand).horizontalAdvance(first);
    const int w2 = QFontMetrics(brand).horizontalAdvance(second);
    auto brandLabel = [&](const QString& text, int left, int top, TColor colour, bool link) {
        QLabel* l = label(Panel1, text, brand, QRect(left, top, QFontMetrics(brand).horizontalAdvance(text) + 4, 34),
            Qt::AlignLeft | Qt::AlignVCenter);
        SetFontColor(l, colour);
        if (link) {
            l->setCursor(Qt::PointingHandCursor);
            l->installEventFilter(this);
        } else {
            l->setAttribute(Qt::WA_TransparentForMouseEvents);
        }
        return l;
    };
    BrandLabels[0] = brandLabel(first, x + 2, y + 2, clBlack, false);
    BrandLabels[1] = brandLabel(second, x + w1 + 2, y + 2, clBlack, false);
    BrandLabels[2] = brandLabel(first, x, y, clRed, true);
    BrandLabels[3] = brandLabel(second, x + w1, y, clLime, true);
    BrandLabels[4] = label(Panel1, QStringLiteral("1.5"), DesignFont(QStringLiteral("Arial"), 15, true),
        QRect(x + w1 + w2 + 4, y + 12, 40, 20), Qt::AlignLeft | Qt::AlignVCenter);
    SetFontColor(BrandLabels[4], clBlack);
    BrandLabels[4]->setCursor(Qt::PointingHandCursor);
    BrandLabels[4]->installEventFilter(this);

    PanelDate = new QLabel(QStringLiteral("00:00"), Panel1);
    PanelDate->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    PanelDate->setLineWidth(2);
    PanelDate->setAlignment(Qt::AlignCenter);
    PanelDate->setFont(DesignFont(QStringLiteral("Arial"), 24));
    SetBackgroundColor(PanelDate, clBlack);
    SetFontColor(PanelDate, clSilver);
    PanelDate->setFixedSize(240, 38);
    // Between the brand and the time of day: the barrier line's state while
    // its port is not connected.
    LabLineState = new QLabel(Panel1);
    LabLineState->setFont(DesignFont(QStringLiteral("Arial"), 13, true));
    SetFontColor(LabLineState, clRed);
    LabLineState->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    policy.setRetainSizeWhenHidden(true); // the time of day stays at the right end
    LabLineState->setSizePolicy(policy);
    LabLineState->setVisible(false);

    // The buttons and the brand keep their places; the time of day stays at
    // the right end whatever the window's width.
    auto* row = new QHBoxLayout(Panel1);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addSpacing(x + w1 + w2 + 4 + 40 + 12);
    row->addWidget(LabLineState, 1);
    row->addSpacing(8);
    row->addWidget(PanelDate);
}

void TFormMain::BuildDisplay()
{
    PanelTimer = panel(PanelTimerOwner, BackgroundColor);
    PanelTimer->setFixedWidth(444);
    PanelLeft = PanelTimer;
    PanelTimer->setFocusPolicy(Qt::StrongFocus);

    // The digits and labels sit on a face that moves right by one digit
    // place when the tens of hours appear at the left.
    PanelTimerFace = new QWidget(PanelTimer);
    PanelTimerFace->setGeometry(0, 0, 460, kUpperHeight);
    constexpr int lefts[DisplayTime::DigitCount] = { 8, 88, 136, 216, 264, 344, 392 };
    constexpr int tops[2] = { 11, 136 };
    auto digit = [](QWidget* parent, int left, int top) {
        auto* d = new TDigit(parent);
        d->setGeometry(left, top, 45, 89);
        d->SetThickness(5);
        d->SetSeparation(1);
        d->SetColor(clBlack);
        d->SetColorOff(clBlack);
        return d;
    };
    for (int row = 0; row < 2; ++row) {
        for (int i = 0; i < DisplayTime::DigitCount; ++i)
            Digits[row][i] = digit(PanelTimerFace, lefts[i], tops[row]);
        DigitHourTens[row] = digit(PanelTimer, 8, tops[row]);
        DigitHourTens[row]->setVisible(false);
    }
    Digit8 = Digits[0][DisplayTime::Hundredths];

    const QFont sep = DesignFont(QStringLiteral("Times New Roman"), 64, true);
    auto separator = [&](const QString& text, int left, int top) {
        return label(PanelTimerFace, text, sep, QRect(left, top, 25, 81), Qt::AlignHCenter | Qt::AlignTop);
    };
    LabHour = separator(QStringLiteral(":"), 61, 11);
    LabHour2 = separator(QStringLiteral(":"), 61, 136);
    LabMin = separator(QStringLiteral("."), 192, 41);
    LabMin2 = separator(QStringLiteral("."), 192, 166);
    LabSec = separator(QStringLiteral(","), 320, 41);
    LabSec2 = separator(QStringLiteral(","), 320, 166);

    const QFont unit = DesignFont(QStringLiteral("Arial"), 19, true);
    auto caption = [&](const QString& text, int left) {
        const int w = QFontMetrics(unit).horizontalAdvance(text) + 2;
        return label(PanelTimerFace, text, unit, QRect(left, 106, w, 24), Qt::AlignCenter);
    };
    Lab_Hour = caption(QStringLiteral("Std."), 12);
    Lab_Min = caption(QStringLiteral("Min."), 116);
    Lab_sek = caption(QStringLiteral("Sek."), 244);
    Lab_100 = caption(QStringLiteral("1/100"), 366);
}

void TFormMain::BuildRaceControls()
{
    Panel3 = panel(PanelTimerOwner, kSkyBlue);
    auto* controls = new QWidget(Panel3);
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
    bSTART = command(QStringLiteral("START"), 4);
    bSTART->setToolTip(QStringLiteral("F5"));
    bSTART->SetColor(0x008000);
    bSTOP = command(QStringLiteral("STOPP"), 54);
    bSTOP->setToolTip(QStringLiteral("F9"));
    bSTOP->setFocusPolicy(Qt::ClickFocus);
    bSTOP->setEnabled(false);
    bEnd = command(QStringLiteral("ENDE"), 104);
    bEnd->setEnabled(false);
    bRESET = command(QStringLiteral("00:00"), 154);
    bRESET->setEnabled(false);

    bFStopp = new TBitBtnWithColor(controls);
    bFStopp->setText(QStringLiteral("F.Stopp"));
    bFStopp->setToolTip(QStringLiteral("F8"));
    bFStopp->setFont(DesignFont(QStringLiteral("Arial"), 19, true));
    bFStopp->SetFontColor(clYellow);
    bFStopp->setGeometry(137, 4, 107, 30);
    bFStopp->setFocusPolicy(Qt::ClickFocus);
    bFStopp->setEnabled(false);

    ListBoxStopp = new QListWidget(controls);
    ListBoxStopp->setGeometry(137, 38, 107, 158);
    ListBoxStopp->setFont(DesignFont(QStringLiteral("Arial"), 15));
    ListBoxStopp->setUniformItemSizes(true);
    ListBoxStopp->setStyleSheet(QStringLiteral("QListWidget { color: black; } QListWidget::item { height: 17px; }"));

    auto indicator = [&](const QString& hint, int top) {
        auto* image = new TImage(controls);
        image->setGeometry(109, top, 22, 22);
        image->setToolTip(hint);
        image->Tag = 0;
        image->SetPicture(LockPicture(0));
        image->setVisible(false);
        image->OnClick = [this](TImage* sender) { Guarded(this, [this, sender] { ImageLSClick(sender); }); };
        return image;
    };
    ImageLSstart = indicator(QStringLiteral("Start-LS frei/gesperrt (F11)"), 14);
    ImageLSstop = indicator(QStringLiteral("Stopp-LS frei/gesperrt (F12)"), 64);

    BuildFileBar();
    auto* v = new QVBoxLayout(Panel3);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    v->addStretch(1);
    v->addWidget(Panel4);
}

void TFormMain::BuildFileBar()
{
    Panel4 = panel(Panel3, kSkyBlue, QFrame::Panel, QFrame::Raised);
    Panel4->setFixedHeight(kFileBarHeight);
    auto* row = new QHBoxLayout(Panel4);
    row->setContentsMargins(3, 2, 3, 2);
    row->setSpacing(2);
    auto speed = [&](FileGlyph glyph, const QString& hint) {
        auto* b = new QToolButton(Panel4);
        b->setIcon(QIcon(FileBarGlyph(glyph)));
        b->setIconSize(QSize(24, 24));
        b->setAutoRaise(true);
        b->setFixedSize(34, 34);
        b->setToolTip(hint);
        b->setFocusPolicy(Qt::NoFocus);
        return b;
    };
    sbLoad = speed(FileGlyph::Open, QStringLiteral("Startliste öffnen"));
    sbSave = speed(FileGlyph::Save, QStringLiteral("Protokoll speichern unter"));
    sbPrint = speed(FileGlyph::Print, QStringLiteral("Protokoll drucken"));
    sbWord = speed(FileGlyph::Word, QStringLiteral("Datei in MS Word"));
    sbExcel = speed(FileGlyph::Excel, QStringLiteral("Datei in MS Excel"));
    sbHTML = speed(FileGlyph::Html, QStringLiteral("Als Webseite"));
    auto* caption = new QLabel(QStringLiteral("Protokoll"), Panel4);
    caption->setAlignment(Qt::AlignCenter);
    caption->setFont(DesignFont(QStringLiteral("Arial"), 15, true));
    for (QToolButton* b : { sbLoad, sbSave, sbPrint })
        row->addWidget(b);
    row->addWidget(caption, 1);
    for (QToolButton* b : { sbWord, sbExcel, sbHTML })
        row->addWidget(b);

    connect(sbLoad, &QToolButton::clicked, this, [this] { Guarded(this, [this] { sbLoadClick(); }); });
    connect(sbSave, &QToolButton::clicked, this, [this] { Guarded(this, [this] { sbSaveClick(); }); });
    connect(sbPrint, &QToolButton::clicked, this, [this] { Guarded(this, [this] { sbHTMLClick(1); }); });
    connect(sbHTML, &QToolButton::clicked, this, [this] { Guarded(this, [this] { sbHTMLClick(0); }); });
    connect(sbWord, &QToolButton::clicked, this, [this] { Guarded(this, [this] { sbWordClick(); }); });
    connect(sbExcel, &QToolButton::clicked, this, [this] { Guarded(this, [this] { sbExcelClick(); }); });
}

void TFormMain::BuildGrid()
{
    SortGrid1 = new TSortGrid(PanelMain);
    // Configured inside the update bracket, as a designed form loads it: the
    // new grid counts as unmodified.
    SortGrid1->BeginUpdate();
    SortGrid1->SetColCount(7);
    SortGrid1->SetRowCount(2);
    SortGrid1->SetDefaultColWidth(46);
    SortGrid1->SetDefaultRowHeight(20);
    SortGrid1->setFont(DesignFont(QStringLiteral("Courier New"), 15));
    SortGrid1->SetOptions(
        goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goDrawFocusSelected | goColSizing | goRowSelect);
    SortGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    SortGrid1->SetAlignmentHorz(taRightJustify);
    SortGrid1->SetAlignmentVert(taTopJustify);
    TSortOptions& sort = SortGrid1->SortOptions();
    sort.CanSort = false;
    sort.SortStyle = TSortStyle::ssNormal;
    sort.SortCaseSensitive = false;
    sort.SortCol = 3;
    sort.SortDirection = TSortDirection::sdAscending;
    SortGrid1->EndUpdate();
    // The "Name" column takes what the others leave whenever the grid's size
    // changes with the window.
    SortGrid1->installEventFilter(this);

    SortGrid1->OnSelectCell = [this](QObject*, int acol, int arow, bool& canSelect) {
        Guarded(this, [&] { SortGrid1SelectCell(acol, arow, canSelect); });
    };
    SortGrid1->OnGetSortStyle = [this](QObject*, int col, TSortStyle& style) { SortGrid1GetSortStyle(col, style); };
    SortGrid1->OnGetCellFormat = [this](QObject*, int col, int row, TGridDrawState, TFormatOptions& format, bool&,
                                     bool&, bool&) { SortGrid1GetCellFormat(col, row, format); };

    PopupMenuList = new QMenu(this);
    Erase1 = PopupMenuList->addAction(QStringLiteral("Zeile entfernen"));
    NeueZeile1 = PopupMenuList->addAction(QStringLiteral("Neue Zeile"));
    PastefromFStopp = PopupMenuList->addAction(QStringLiteral("Einzusetzen aus F.Stopp"));
    connect(Erase1, &QAction::triggered, this, [this] { Guarded(this, [this] { Erase1Click(); }); });
    connect(NeueZeile1, &QAction::triggered, this, [this] { Guarded(this, [this] { NeueZeile1Click(); }); });
    connect(PastefromFStopp, &QAction::triggered, this, [this] { Guarded(this, [this] { PastefromFStoppClick(); }); });
    connect(PopupMenuList, &QMenu::aboutToShow, this, [this] { Guarded(this, [this] { PopupMenuProtokolPopup(); }); });
    SortGrid1->SetPopupMenu(PopupMenuList);
}

void TFormMain::BuildActions()
{
    auto action = [this](const QString& caption, const QKeySequence& key, auto handler) {
        auto* a = new QAction(caption, this);
        a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
        // One key press is one command: a held key must not start or stop
        // entry after entry.
        a->setAutoRepeat(false);
        addAction(a);
        connect(
            a, &QAction::triggered, this, [this, handler] { Guarded(this, [this, handler] { (this->*handler)(); }); });
        return a;
    };
    // What the actions' own setting misses of a held key's repeats.
    qApp->installEventFilter(
        new THeldKeyFilter({ Qt::Key_F5, Qt::Key_F9, Qt::Key_F8, Qt::Key_F11, Qt::Key_F12 }, this));
    mStart = action(QStringLiteral("Start"), Qt::Key_F5, &TFormMain::mStartClick);
    mStop = action(QStringLiteral("Sto&pp"), Qt::Key_F9, &TFormMain::mStopClick);
    mStop->setEnabled(false);
    FStopp1 = action(QStringLiteral("F.Stopp"), Qt::Key_F8, &TFormMain::FStopp1Click);
    mReset = action(QStringLiteral("0,00"), QKeySequence(), &TFormMain::mResetClick);
    mReset->setEnabled(false);
    LockLSStart1 = action(QStringLiteral("Lock LS Start"), Qt::Key_F11, &TFormMain::LockLSStart1Click);
    LockLSStopp1 = action(QStringLiteral("Lock LS Stopp"), Qt::Key_F12, &TFormMain::LockLSStopp1Click);
    EinstellunGen1 = action(QStringLiteral("&Einstellungen"), QKeySequence(Qt::ALT | Qt::Key_E), &TFormMain::bCFGClick);
    // F2 and F3 as the hints of bCFG and bInfo name them.
    EinstellunGen1->setShortcuts({ QKeySequence(Qt::ALT | Qt::Key_E), QKeySequence(Qt::Key_F2) });
    mInfo = action(QStringLiteral("Info"), Qt::Key_F3, &TFormMain::bInfoClick);
    Hilfe1 = action(QStringLiteral("H&ilfe"), QKeySequence(Qt::ALT | Qt::Key_I), &TFormMain::bHelpClick);
    mHilfe = action(QStringLiteral("Hilfe"), Qt::Key_F1, &TFormMain::bHelpClick);
    mUndo = action(QStringLiteral("Rückgängig"), QKeySequence(Qt::CTRL | Qt::Key_Z), &TFormMain::mUndoClick);
    Drucker1 = new QAction(QStringLiteral("&Drucker"), this);
    Drucker1->setShortcut(QKeySequence(Qt::ALT | Qt::Key_D));
    Drucker1->setAutoRepeat(false);
    addAction(Drucker1);
    connect(Drucker1, &QAction::triggered, this, [this] { Guarded(this, [this] { sbHTMLClick(1); }); });
    exporttoWord1 = new QAction(QStringLiteral("Datei in MS Word konvertieren"), this);
    connect(exporttoWord1, &QAction::triggered, this, [this] { Guarded(this, [this] { exporttoWord1Click(); }); });

    // The race buttons act when a mouse button goes down, not on release.
    auto onPress = [this](TBitBtnWithColor* button, QAction* item) {
        button->OnMouseDown = [this, item](TBitBtnWithColor* sender, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
            if (sender == bRESET)
                m_resetPressedByMouse = true;
            Guarded(this, [item] { item->trigger(); });
        };
    };
    onPress(bSTART, mStart);
    onPress(bSTOP, mStop);
    onPress(bRESET, mReset);
    // The reset button also answers the keyboard when it has the focus; a
    // click that follows its own mouse press is not a second reset.
    bRESET->OnClick = [this](TBitBtnWithColor*) {
        if (std::exchange(m_resetPressedByMouse, false))
            return;
        Guarded(this, [this] { mResetClick(); });
    };
    bEnd->OnClick = [this](TBitBtnWithColor*) { Guarded(this, [this] { bEndClick(); }); };
    bFStopp->OnClick = [this](TBitBtnWithColor*) { Guarded(this, [this] { FStopp1Click(); }); };
}
