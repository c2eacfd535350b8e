// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/SerialDevice.h"
#include "platform/Settings.h"

#include <QDialog>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class TSpinFloatEdit;

// The settings dialog "Einstellungen": display format, light-barrier port,
// barrier algorithm and start lockout; at the bottom the live results in the
// network and their port. It edits the program's settings values: the main
// window loads them before each showing and takes them back on OK; the ranges
// and limits are the settings table's.
class TCfgDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TCfgDialog)
public:
    // The time format list's designed width.
    static constexpr int kDigitsListWidth = 98;

    // portMask: the start-up scan's result (bit n-1 for port n, the highest
    // number found in the high 16 bits); the found ports are listed once.
    TCfgDialog(QWidget* owner, std::uint32_t portMask);

    // The items of the port list for a scan result: "Keine", then "COMn".
    static QStringList PortItems(std::uint32_t portMask);
    // "COMn – <device>", the device by its /dev/serial/by-id name where it
    // has one.
    static QString PortItemText(const platform::SerialPortInfo& port);

    // Lists "Keine" and the given ports (a new scan), each item carrying its
    // number and stable path.
    void SetPorts(const std::vector<platform::SerialPortInfo>& ports);
    // Makes sure the port has an item (a chosen port the scan did not find:
    // busy, unplugged, or our own open one), with a note after its name when
    // given; returns the item's index.
    int EnsurePortItem(const platform::SerialPortInfo& port, const QString& note);
    // The index of the item for port number n; -1 when there is none.
    int PortIndex(int number) const;
    // The port number and stable path of an item ("Keine": 0). An item
    // without a number falls back to its text after "COM".
    int PortNumber(int index) const;
    QString PortStablePath(int index) const;

    // Selects what the values say; the port list is loaded before (SetPorts,
    // EnsurePortItem). An algorithm the list does not offer selects nothing.
    // While a race runs (accuracyLocked) the format and the runs wait for its end.
    void Load(const settings::Values& values, bool accuracyLocked);
    // The values as the operator left them, everything the dialog does not
    // show as it was loaded; the algorithm is the shown one where no port is
    // chosen or no item selected, and the accuracy where it was locked. The
    // race title comes without surplus blanks.
    settings::Values Chosen() const;
    // Whether another port item is chosen than at the showing.
    bool PortChanged() const;

    // What the owner knows of the open port's adapter (number 0: none open).
    // The line under the port list shows it while that port is chosen; for
    // another port it shows what sysfs tells without opening it.
    void SetAdapterInfo(int portNumber, const platform::SerialAdapter& adapter);
    // "FTDI (ftdi_sio), Latenz 1 ms, zählt Wechsel, kürzester Impuls: 1 ms,
    // Echtzeit: ja": the adapter in one line, with what its driver counts,
    // whether its lines are polled and the shortest pulse it can report
    // (empty when nothing is known).
    static QString AdapterLine(const platform::SerialAdapter& adapter);
    // Where timing cannot be right with this adapter or edges can be lost,
    // each with what to do, and then which adapters time right.
    static QStringList AdapterWarnings(const platform::SerialAdapter& adapter);
    // The adapter of an item: the owner's facts for the open port, else sysfs.
    platform::SerialAdapter AdapterOf(int index) const;

    // Shows the dialog modally (through the dialog wrapper, so tests can act
    // as the operator) and returns QDialog::Accepted or Rejected.
    int ShowModal();

    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QComboBox* cbDigits = nullptr;
    QComboBox* cbPort = nullptr;
    QComboBox* cbAlg = nullptr;
    // "Stopp-Lichtschranke stoppt:" 0 "gewählte Zeile", 1 "ersten Läufer".
    QComboBox* cbStopFirst = nullptr;
    TSpinFloatEdit* seWait = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label10 = nullptr;
    QCheckBox* cbLive = nullptr;
    QLabel* LabLivePort = nullptr;
    QSpinBox* seLivePort = nullptr;
    QLabel* LabVeranstaltung = nullptr;
    QLineEdit* eVeranstaltung = nullptr;
    QLabel* LabelStopFirst = nullptr;
    // Two runs: "Läufe" 1 or 2, "Umkehr der Besten" (how many of run 1's best
    // start run 2 in reverse) and "Wertung" 0 "Summe", 1 "Bester Lauf".
    QLabel* LabRuns = nullptr;
    QComboBox* cbRuns = nullptr;
    QLabel* LabRunsReverse = nullptr;
    QSpinBox* seRunsReverse = nullptr;
    QLabel* LabRunsScoring = nullptr;
    QComboBox* cbRunsScoring = nullptr;
    // The upload of the results to a web host: its address, the SSH key file,
    // a button that tries it once and the answer in words.
    QLabel* LabUpload = nullptr;
    QLineEdit* eUploadUrl = nullptr;
    QLabel* LabUploadKey = nullptr;
    QLineEdit* eUploadKey = nullptr;
    QPushButton* bUploadTry = nullptr;
    QLabel* LabUploadResult = nullptr;
    // The timing stations: this instance's role, its pairing code, and at
    // the finish the stations it reads (their own dialog).
    QLabel* LabStation = nullptr;
    QComboBox* cbStation = nullptr;
    QLabel* LabStationCode = nullptr;
    QLineEdit* eStationCode = nullptr;
    QPushButton* bStations = nullptr;
    // The chosen port's adapter, and in red what keeps its timing from being right.
    QLabel* LabAdapter = nullptr;
    QLabel* LabAdapterWarning = nullptr;

    // The barrier algorithm value the owner shows (its port list is disabled
    // for a negative value).
    int AlgorithmValue = 0;

    // Live preview of the display format: called with the accuracy 2 - index.
    std::function<void(int accuracy)> OnDigitsChange;
    // The upload button: the owner tries the address with the key file and
    // answers through ShowUploadResult.
    std::function<void(const QString& address, const QString& keyFile)> OnTryUpload;
    // What is wrong with an upload address (empty: nothing); OK stays in
    // the dialog while there is something.
    std::function<QString(const QString& address)> CheckUploadAddress;
    // The answer of a try, in words; red when it failed.
    void ShowUploadResult(const QString& text, bool ok);

    void FormShow();
    void cbDigitsChange();
    void cbPortChange();

protected:
    void showEvent(QShowEvent* event) override;

private:
    settings::Values m_shown;
    std::array<settings::StationPeer, settings::kStationPeers> m_peers;
    void stationRoleChanged();
    void editStations();
    int m_shownPortIndex = -1;

    // Shows the chosen port's adapter and fits the dialog around it.
    void ShowAdapter();
    void Relayout();

    int m_adapterPort = 0;
    platform::SerialAdapter m_adapter;
};
