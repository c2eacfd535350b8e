// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <array>

class QAction;
class QFrame;
class QLabel;
class QListWidget;
class QMenu;
class QToolButton;
class QWidget;
class TAudienceWindow;
class TBitBtnWithColor;
class TCfgDialog;
class TClickLabel;
class TComPort;
class TFDlgYesNo;
class THelpViewer;
class TImage;
class TLbSpeedButton;
class TMessageTimer;
class TNoteBar;
class TQrPopup;
class TRaceDisplay;
class TSortGrid;

// The main window's controls, components and dialogs, named as the operator's
// documentation names them. They show and forward; none of them keeps a
// value the program reads back.
struct MainUi {
    // Header bar
    QFrame* Panel1 = nullptr;
    TLbSpeedButton* bHelp = nullptr;
    TLbSpeedButton* bCFG = nullptr;
    TLbSpeedButton* bInfo = nullptr;
    QLabel* PanelDate = nullptr;
    std::array<QLabel*, 5> BrandLabels {}; // two shadows, two words, suffix
    // Red, shown while the chosen barrier port is not connected.
    QLabel* LabLineState = nullptr;
    // Red, shown while the race journal's lines wait for the disk; its
    // tooltip says what is not yet on it.
    QLabel* LabJournalState = nullptr;
    // What failed (red) or why a key did nothing, in place of a box that
    // would stop the race keys; its tooltip has the whole text, a click puts
    // it away.
    TClickLabel* LabNotice = nullptr;
    TClickLabel* LabLiveAddress = nullptr; // the live results' address; a click shows its QR code
    TClickLabel* LabUpload = nullptr; // the upload's state, shown while one is set; a click sends now
    TLbSpeedButton* bAnzeige = nullptr; // the spectator display

    // Upper part: the display and the race controls
    QFrame* PanelMain = nullptr;
    QWidget* PanelTimerOwner = nullptr;
    TRaceDisplay* PanelTimer = nullptr; // the seven-segment display
    QFrame* Panel3 = nullptr;
    QFrame* Panel4 = nullptr;
    QWidget* PanelLeft = nullptr; // takes the focus back after the settings dialog

    TBitBtnWithColor* bSTART = nullptr;
    TBitBtnWithColor* bSTOP = nullptr;
    TBitBtnWithColor* bEnd = nullptr;
    TBitBtnWithColor* bRESET = nullptr;
    TBitBtnWithColor* bFStopp = nullptr;
    QListWidget* ListBoxStopp = nullptr;
    TImage* ImageLSstart = nullptr;
    TImage* ImageLSstop = nullptr;

    QToolButton* sbLoad = nullptr;
    QToolButton* sbSave = nullptr;
    QToolButton* sbPrint = nullptr;
    QToolButton* sbWord = nullptr;
    QToolButton* sbExcel = nullptr;
    QToolButton* sbHTML = nullptr;

    TNoteBar* PanelLoadNote = nullptr; // the lines a load changed, until the next load or reset
    TSortGrid* SortGrid1 = nullptr;
    QMenu* PopupMenuList = nullptr;
    QAction* Erase1 = nullptr;
    QAction* NeueZeile1 = nullptr;
    QAction* PastefromFStopp = nullptr;
    QAction* mTakeBackStop = nullptr; // "Stopp zurücknehmen", Ctrl+Shift+Z
    // An entry's status; their keys live on the window as well.
    QAction* mStatusDNS = nullptr; // Ctrl+1
    QAction* mStatusDNF = nullptr; // Ctrl+2
    QAction* mStatusDSQ = nullptr; // Ctrl+3
    QAction* mStatusNone = nullptr; // Ctrl+0

    // The hidden menu carrying the keys
    QAction* mStart = nullptr;
    QAction* mStop = nullptr;
    QAction* FStopp1 = nullptr;
    QAction* mReset = nullptr;
    QAction* LockLSStart1 = nullptr;
    QAction* LockLSStopp1 = nullptr;
    QAction* EinstellunGen1 = nullptr; // Alt+E and F2
    QAction* mInfo = nullptr; // F3
    QAction* Hilfe1 = nullptr;
    QAction* mHilfe = nullptr;
    QAction* Drucker1 = nullptr;
    QAction* exporttoWord1 = nullptr; // of a context menu no control shows
    QAction* mAnzeige = nullptr; // F6: the spectator display
    // F7 "2. Lauf beginnen", in the context menu while the race has two runs.
    QAction* mRun2 = nullptr;
    QAction* mUndo = nullptr; // Ctrl+Z: takes back the last "Zeile entfernen" or status

    // The timers only schedule: the race keeps what they stand for.
    TMessageTimer* Clock = nullptr; // redraws the running race clock
    TMessageTimer* TimerDate = nullptr;
    TMessageTimer* TimerGesperrtStart = nullptr; // fires at the start lockout's end
    TMessageTimer* TimerGesperrtStop = nullptr; // fires at the stop lockout's end
    TComPort* ComPort = nullptr;

    // Dialogs and windows created after the main window or when first needed.
    TCfgDialog* CfgDialog = nullptr;
    TFDlgYesNo* FDlgYesNo = nullptr;
    THelpViewer* HelpViewer = nullptr;
    TAudienceWindow* Anzeige = nullptr;
    TQrPopup* QrPopup = nullptr;
};
