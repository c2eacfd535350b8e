// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "dialogs/Cfg.h"

#include "controls/Dialogs.h"
#include "controls/FlEdit.h"
#include "dialogs/StationsDialog.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPalette>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <algorithm>
#include <cmath>

namespace {

// The tooltip a setting shows while it can be changed.
constexpr char kPlainTip[] = "rennzeitPlainTip";

QLabel* labelAt(QWidget* parent, const QString& text, int left, int top, int width)
{
    auto* l = new QLabel(text, parent);
    l->setGeometry(left, top, width, 21);
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return l;
}

QComboBox* listAt(QWidget* parent, const QStringList& items, int left, int top, int width)
{
    auto* cb = new QComboBox(parent);
    cb->addItems(items);
    cb->setGeometry(left, top, width, 21);
    return cb;
}

// The width at which the list's field, where the chosen item shows, holds its
// longest item in the list's own font: `designed` where it does already, else
// as much wider as the item needs. The list's size hint adds the style's
// padding on top and would widen it where every item fits.
int fittingWidth(QComboBox* list, int designed)
{
    int widest = 0;
    for (int i = 0; i < list->count(); ++i)
        widest = std::max(widest, list->fontMetrics().horizontalAdvance(list->itemText(i)));
    list->resize(designed, list->height());
    QStyleOptionComboBox option;
    option.initFrom(list);
    const QRect field = list->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list);
    return designed + std::max(0, widest - field.width());
}

} // namespace

TCfgDialog::TCfgDialog(QWidget* owner, std::uint32_t portMask)
    : QDialog(owner,
        Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
            | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Einstellungen"));
    // The window's standard small font, so the captions fit beside the lists.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(11);
    setFont(font);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Abbrechen"), this);
    connect(OKBtn, &QPushButton::clicked, this, [this] {
        // A mistyped upload address is said here, not found out during the race.
        const QString problem = CheckUploadAddress ? CheckUploadAddress(eUploadUrl->text().trimmed()) : QString();
        if (!problem.isEmpty()) {
            ShowUploadResult(problem, false);
            eUploadUrl->setFocus();
            return;
        }
        // Empty: the program makes a new one.
        if (!eStationCode->text().isEmpty() && !settings::IsPairingCode(eStationCode->text())) {
            dialogs::ShowError(this, QStringLiteral("Der Code der Station hat sechs Ziffern (leer: ein neuer)."));
            eStationCode->setFocus();
            return;
        }
        accept();
    });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    Label2 = labelAt(this, QStringLiteral("Uhrzeitformat:"), 4, 7, 74);
    cbDigits = listAt(this, { QStringLiteral("HH:MM.SS,ms"), QStringLiteral("HH:MM.SS,s"), QStringLiteral("HH:MM.SS") },
        80, 7, kDigitsListWidth);
    // As wide as designed, unless the system's font needs more room for
    // "HH:MM.SS,ms": a cut format is no choice.
    cbDigits->resize(fittingWidth(cbDigits, kDigitsListWidth), cbDigits->height());
    Label1 = labelAt(this, QStringLiteral("Lichtschranke:"), 4, 29, 74);
    // Wider than the other lists: its items name the device as well.
    cbPort = listAt(this, PortItems(portMask), 80, 29, 115);
    cbPort->setToolTip(QStringLiteral("LS-Start:4-6, LS-Stop:7-8"));
    Label6 = labelAt(this, QStringLiteral("Algorithmus:"), 4, 51, 74);
    cbAlg = listAt(this, { QStringLiteral("Ein"), QStringLiteral("Aus") }, 80, 51, 62);
    Label10 = labelAt(this, QStringLiteral("Start-Sperrzeit:"), 4, 73, 76);

    seWait = new TSpinFloatEdit(this);
    seWait->BeginLoading();
    seWait->SetIncrement(0.1L);
    seWait->SetDigits(1);
    seWait->SetValue(3.0L);
    seWait->SetMin(settings::kStartLockoutMs.low / 1000.0L);
    seWait->SetMax(settings::kStartLockoutMs.high / 1000.0L);
    seWait->EndLoading();
    seWait->SetAlignment(Qt::AlignRight);
    seWait->setGeometry(80, 73, 62, std::max(21, seWait->MinHeight()));
    Label5 = labelAt(this, QStringLiteral("Sek."), 147, 76, 30);
    // Below the others: the caption is too long to stand beside its list.
    LabelStopFirst = labelAt(this, QStringLiteral("Stopp-Lichtschranke stoppt:"), 4, 101, 190);
    cbStopFirst = listAt(this, { QStringLiteral("gewählte Zeile"), QStringLiteral("ersten Läufer") }, 80, 121, 115);
    cbStopFirst->setToolTip(
        QStringLiteral("ersten Läufer: STOPP gilt dem am frühesten gestarteten laufenden Eintrag, wenn die gewählte "
                       "Zeile nicht läuft"));

    LabRuns = labelAt(this, QStringLiteral("Läufe:"), 4, 0, 104);
    cbRuns = listAt(this, { QStringLiteral("1"), QStringLiteral("2") }, 110, 0, 62);
    cbRuns->setToolTip(QStringLiteral("2: nach \u201e2. Lauf beginnen\u201c (F7) folgt ein zweiter Lauf"));
    LabRuns->setBuddy(cbRuns);
    LabRunsReverse = labelAt(this, QStringLiteral("Umkehr der Besten:"), 4, 0, 104);
    seRunsReverse = new QSpinBox(this);
    seRunsReverse->setRange(0, 999);
    seRunsReverse->setAlignment(Qt::AlignRight);
    seRunsReverse->setToolTip(QStringLiteral("So viele Beste des 1. Laufs starten den 2. Lauf in umgekehrter "
                                             "Reihenfolge (Gleichplatzierte auf dem letzten Platz mit); 0: "
                                             "Reihenfolge des 1. Laufs"));
    LabRunsReverse->setBuddy(seRunsReverse);
    LabRunsScoring = labelAt(this, QStringLiteral("Wertung:"), 4, 0, 104);
    cbRunsScoring = listAt(this, { QStringLiteral("Summe"), QStringLiteral("Bester Lauf") }, 110, 0, 85);
    LabRunsScoring->setBuddy(cbRunsScoring);
    for (QWidget* w : std::initializer_list<QWidget*> { cbRuns, seRunsReverse, cbRunsScoring })
        w->setProperty(kPlainTip, w->toolTip());

    LabAdapter = new QLabel(this);
    LabAdapter->setVisible(false);
    LabAdapterWarning = new QLabel(this);
    LabAdapterWarning->setWordWrap(true);
    LabAdapterWarning->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabAdapterWarning->setTextInteractionFlags(Qt::TextSelectableByMouse); // the command can be copied
    QPalette red = LabAdapterWarning->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    LabAdapterWarning->setPalette(red);
    LabAdapterWarning->setVisible(false);

    cbLive = new QCheckBox(QStringLiteral("Live-Ergebnisse im Netz"), this);
    cbLive->setToolTip(QStringLiteral("Ergebnisse und Rennzeit für Browser im selben Netz"));
    LabLivePort = labelAt(this, QStringLiteral("Port:"), 4, 0, 74);
    seLivePort = new QSpinBox(this);
    seLivePort->setRange(settings::kLivePort.low, settings::kLivePort.high);
    seLivePort->setAlignment(Qt::AlignRight);
    seLivePort->setEnabled(false);
    LabVeranstaltung = labelAt(this, QStringLiteral("Veranstaltung:"), 4, 0, 190);
    eVeranstaltung = new QLineEdit(this);
    eVeranstaltung->setMaxLength(settings::kMaxTitleLength);
    eVeranstaltung->setPlaceholderText(QStringLiteral("z. B. Vereinsmeisterschaft Slalom 2027"));
    eVeranstaltung->setToolTip(QStringLiteral("Steht über dem Protokoll, der Webseite, dem Ausdruck, den Dokumenten, "
                                              "den Live-Ergebnissen und der Anzeige; leer: wie bisher"));
    LabVeranstaltung->setBuddy(eVeranstaltung);
    LabUpload = labelAt(this, QStringLiteral("Ergebnisse hochladen:"), 4, 0, 190);
    eUploadUrl = new QLineEdit(this);
    eUploadUrl->setPlaceholderText(QStringLiteral("sftp://benutzer@server/ordner/"));
    eUploadUrl->setToolTip(QStringLiteral(
        "Ordner auf dem Webspace des Vereins: sftp://benutzer@server[:port]/ordner/, https://server/ordner/ "
        "(WebDAV) oder ftps://benutzer@server/ordner/; leer: kein Hochladen"));
    LabUpload->setBuddy(eUploadUrl);
    LabUploadKey = labelAt(this, QStringLiteral("SSH-Schlüssel:"), 4, 0, 84);
    eUploadKey = new QLineEdit(this);
    eUploadKey->setPlaceholderText(QStringLiteral("der übliche (~/.ssh/id_ed25519)"));
    eUploadKey->setToolTip(
        QStringLiteral("Datei des privaten Schlüssels für sftp://; leer: der übliche des Benutzers"));
    LabUploadKey->setBuddy(eUploadKey);
    bUploadTry = new QPushButton(QStringLiteral("Verbindung testen"), this);
    LabUploadResult = new QLabel(this);
    LabUploadResult->setWordWrap(true);
    LabUploadResult->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabUploadResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabUploadResult->setVisible(false);
    connect(bUploadTry, &QPushButton::clicked, this, [this] {
        if (!OnTryUpload)
            return;
        ShowUploadResult(QStringLiteral("Verbindung wird getestet …"), true);
        bUploadTry->setEnabled(false);
        OnTryUpload(eUploadUrl->text().trimmed(), eUploadKey->text().trimmed());
    });
    LabStation = labelAt(this, QStringLiteral("Station:"), 4, 0, 74);
    cbStation = listAt(this,
        { QStringLiteral("Ziel"), QStringLiteral("Start"), QStringLiteral("Zwischenzeit 1"),
            QStringLiteral("Zwischenzeit 2"), QStringLiteral("Zwischenzeit 3"), QStringLiteral("Zwischenzeit 4") },
        80, 0, 115);
    cbStation->setToolTip(QStringLiteral("Ziel: hier ist das Rennen; Start und Zwischenzeit: dieser Rechner nimmt nur "
                                         "Impulse und gibt sie dem Ziel über das Netz (Port wie Live-Ergebnisse)"));
    LabStation->setBuddy(cbStation);
    LabStationCode = labelAt(this, QStringLiteral("Code:"), 4, 0, 74);
    eStationCode = new QLineEdit(this);
    eStationCode->setMaxLength(6);
    eStationCode->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,6}")), eStationCode));
    eStationCode->setToolTip(QStringLiteral("Sechs Ziffern, die das Ziel für diese Station eingetragen haben muss"));
    LabStationCode->setBuddy(eStationCode);
    bStations = new QPushButton(QStringLiteral("Stationen…"), this);
    bStations->setToolTip(QStringLiteral("Die Stationen, deren Impulse dieses Ziel übernimmt: Adresse und Code"));
    connect(cbStation, &QComboBox::currentIndexChanged, this, [this] { stationRoleChanged(); });
    connect(bStations, &QPushButton::clicked, this, [this] { editStations(); });
    Relayout();
    connect(cbLive, &QCheckBox::toggled, seLivePort, &QWidget::setEnabled);

    setTabOrder(OKBtn, CancelBtn);
    setTabOrder(CancelBtn, cbDigits);
    setTabOrder(cbDigits, cbPort);
    setTabOrder(cbPort, cbAlg);
    setTabOrder(cbAlg, seWait);
    setTabOrder(seWait, cbStopFirst);
    setTabOrder(cbStopFirst, cbRuns);
    setTabOrder(cbRuns, seRunsReverse);
    setTabOrder(seRunsReverse, cbRunsScoring);
    setTabOrder(cbRunsScoring, cbLive);
    setTabOrder(cbLive, seLivePort);
    setTabOrder(seLivePort, eVeranstaltung);
    setTabOrder(eVeranstaltung, eUploadUrl);
    setTabOrder(eUploadUrl, eUploadKey);
    setTabOrder(eUploadKey, bUploadTry);
    setTabOrder(bUploadTry, cbStation);
    setTabOrder(cbStation, eStationCode);
    setTabOrder(eStationCode, bStations);

    connect(cbDigits, &QComboBox::activated, this, [this] { cbDigitsChange(); });
    connect(cbPort, &QComboBox::activated, this, [this] { cbPortChange(); });
    connect(cbPort, &QComboBox::currentIndexChanged, this, [this] { ShowAdapter(); });
}

void TCfgDialog::Relayout()
{
    // The adapter's line and its warnings stand below the barrier settings;
    // the live-results rows and the buttons follow. The dialog is as wide as
    // the line needs, at least its usual 201.
    int width = 260;
    if (LabAdapter->isVisibleTo(this))
        width = std::max(width, LabAdapter->fontMetrics().horizontalAdvance(LabAdapter->text()) + 12);
    int y = 146;
    if (LabAdapter->isVisibleTo(this)) {
        LabAdapter->setGeometry(4, y, width - 8, 16);
        y += 18;
    }
    if (LabAdapterWarning->isVisibleTo(this)) {
        const int height = LabAdapterWarning->heightForWidth(width - 8);
        LabAdapterWarning->setGeometry(4, y, width - 8, height);
        y += height + 4;
    }
    const int runsTop = std::max(150, y + 4);
    LabRuns->setGeometry(4, runsTop, 104, 21);
    cbRuns->setGeometry(110, runsTop, 62, 21);
    LabRunsReverse->setGeometry(4, runsTop + 24, 104, 21);
    seRunsReverse->setGeometry(110, runsTop + 24, 62, 21);
    LabRunsScoring->setGeometry(4, runsTop + 48, 104, 21);
    cbRunsScoring->setGeometry(110, runsTop + 48, 85, 21);
    const int liveTop = runsTop + 74;
    cbLive->setGeometry(4, liveTop, 190, 21);
    LabLivePort->setGeometry(4, liveTop + 24, 74, 21);
    seLivePort->setGeometry(80, liveTop + 24, 62, 21);
    // The race's title across the whole width: it is free text.
    LabVeranstaltung->setGeometry(4, liveTop + 50, width - 8, 16);
    eVeranstaltung->setGeometry(4, liveTop + 67, width - 8, 21);
    // The upload's address is long: its rows take the whole width.
    const int uploadTop = liveTop + 96;
    LabUpload->setGeometry(4, uploadTop, width - 8, 16);
    eUploadUrl->setGeometry(4, uploadTop + 17, width - 8, 21);
    // As wide as its caption needs in the system's font.
    const int keyLabel = std::max(74, LabUploadKey->fontMetrics().horizontalAdvance(LabUploadKey->text()) + 4);
    LabUploadKey->setGeometry(4, uploadTop + 44, keyLabel, 21);
    eUploadKey->setGeometry(keyLabel + 6, uploadTop + 44, width - keyLabel - 10, 21);
    bUploadTry->setGeometry(4, uploadTop + 70, width - 8, 24);
    int stationTop = uploadTop + 100;
    if (LabUploadResult->isVisibleTo(this)) {
        const int height = LabUploadResult->heightForWidth(width - 8);
        LabUploadResult->setGeometry(4, stationTop, width - 8, height);
        stationTop += height + 6;
    }
    LabStation->setGeometry(4, stationTop, 74, 21);
    cbStation->setGeometry(80, stationTop, width - 84, 21);
    LabStationCode->setGeometry(4, stationTop + 24, 74, 21);
    eStationCode->setGeometry(80, stationTop + 24, 62, 21);
    bStations->setGeometry(4, stationTop + 50, width - 8, 24);
    const int buttonsTop = stationTop + 80;
    OKBtn->setGeometry(7, buttonsTop, 90, 28);
    CancelBtn->setGeometry(104, buttonsTop, 89, 28);
    setFixedSize(width, buttonsTop + 35);
}

namespace {

// "1 ms", "0,125 ms": a pulse length for the operator.
QString pulseText(int us)
{
    if (us % 1000 == 0)
        return QStringLiteral("%1 ms").arg(us / 1000);
    return QStringLiteral("%1 ms").arg(QLocale(QLocale::German).toString(us / 1000.0, 'g', 3));
}

} // namespace

QString TCfgDialog::AdapterLine(const platform::SerialAdapter& adapter)
{
    using platform::LineReports;
    if (adapter.driver.isEmpty() && !adapter.opened)
        return {};
    QString line;
    const QString family = platform::AdapterFamily(adapter.driver);
    if (adapter.driver.isEmpty())
        line = QStringLiteral("Treiber unbekannt");
    else if (family == adapter.driver)
        line = adapter.driver;
    else
        line = QStringLiteral("%1 (%2)").arg(family, adapter.driver);
    if (adapter.latencyMs >= 0)
        line += QStringLiteral(", Latenz %1 ms").arg(adapter.latencyMs);
    // What tells the program of a change: a count of each change, the
    // comparison of status reports, or its own look every millisecond.
    const LineReports reports = platform::HowLinesAreReported(adapter);
    if (reports == LineReports::Polled)
        line += QStringLiteral(", Abfrage jede ms");
    if (reports != LineReports::Unknown || adapter.opened) {
        if (!platform::CountsLineChanges(adapter))
            line += QStringLiteral(", ohne Zähler");
        else
            line += reports == LineReports::EveryChange ? QStringLiteral(", zählt jeden Wechsel")
                                                        : QStringLiteral(", zählt Wechsel");
    }
    const int shortest = platform::ShortestPulseUs(adapter);
    if (shortest == 0)
        line += QStringLiteral(", kürzester Impuls: beliebig");
    else if (shortest > 0)
        line += QStringLiteral(", kürzester Impuls: ") + pulseText(shortest);
    if (adapter.opened)
        line += adapter.realtime ? QStringLiteral(", Echtzeit: ja") : QStringLiteral(", Echtzeit: nein");
    return line;
}

QStringList TCfgDialog::AdapterWarnings(const platform::SerialAdapter& adapter)
{
    using platform::LineReports;
    QStringList warnings;
    const QString family = platform::AdapterFamily(adapter.driver);
    const LineReports reports = platform::HowLinesAreReported(adapter);
    const int shortest = platform::ShortestPulseUs(adapter);
    bool recommend = false;
    if (!adapter.carriesCts) {
        warnings << QStringLiteral("%1 meldet kein CTS: Die Stopp-Lichtschranke (Pin 7-8) kann an diesem Adapter "
                                   "nicht arbeiten und wird nicht benutzt.")
                        .arg(adapter.driver);
        recommend = true;
    }
    if (adapter.latencyMs > platform::kMaxGoodLatencyMs) {
        warnings << QStringLiteral(
            "Latenz %1 ms: Zeiten können bis %1 ms zu spät sein, kürzere Impulse gehen "
            "verloren. Senken mit: echo 1 | sudo tee /sys/bus/usb-serial/devices/%2/latency_timer")
                        .arg(adapter.latencyMs)
                        .arg(adapter.tty);
    } else if (reports == LineReports::StatusReports && shortest > platform::kMaxGoodLatencyMs * 1000) {
        warnings << QStringLiteral("%1 meldet die Leitungen nur alle %2: Zeiten können so viel zu spät sein, "
                                   "kürzere Impulse gehen verloren.")
                        .arg(family, pulseText(shortest));
        recommend = true;
    }
    if (reports == LineReports::Polled) {
        warnings << QStringLiteral("%1 meldet Wechsel nicht von selbst: Das Programm fragt die Leitungen jede "
                                   "Millisekunde ab. Zeiten können bis 1 ms zu spät sein, ein kürzerer Impuls kann "
                                   "fehlen.")
                        .arg(family.isEmpty() ? QStringLiteral("Der Treiber") : family);
        recommend = true;
    } else if ((reports == LineReports::StatusReports || adapter.opened) && !platform::CountsLineChanges(adapter)) {
        warnings << QStringLiteral("%1 zählt die Wechsel nicht: Kommen beide Flanken eines Impulses, während das "
                                   "Programm die vorige Flanke meldet, fehlt der Impuls.")
                        .arg(family.isEmpty() ? QStringLiteral("Der Treiber") : family);
        recommend = true;
    }
    if (recommend) {
        warnings << QStringLiteral("Genaue Zeiten an beiden Lichtschranken: eine eingebaute Schnittstelle oder ein "
                                   "FTDI-Adapter mit Latenz 1 ms.");
    }
    return warnings;
}

void TCfgDialog::SetAdapterInfo(int portNumber, const platform::SerialAdapter& adapter)
{
    m_adapterPort = portNumber;
    m_adapter = adapter;
    ShowAdapter();
}

platform::SerialAdapter TCfgDialog::AdapterOf(int index) const
{
    const int number = PortNumber(index);
    if (number <= 0)
        return {};
    if (number == m_adapterPort)
        return m_adapter;
    return platform::DescribeSerialNode(cbPort->itemData(index, Qt::UserRole + 2).toString());
}

void TCfgDialog::ShowAdapter()
{
    const platform::SerialAdapter adapter = AdapterOf(cbPort->currentIndex());
    const QString line = AdapterLine(adapter);
    const QStringList warnings = AdapterWarnings(adapter);
    LabAdapter->setText(line);
    LabAdapter->setToolTip(line);
    LabAdapter->setVisible(!line.isEmpty());
    LabAdapterWarning->setText(warnings.join(QLatin1Char('\n')));
    LabAdapterWarning->setVisible(!warnings.isEmpty());
    Relayout();
}

QStringList TCfgDialog::PortItems(std::uint32_t portMask)
{
    QStringList items { QStringLiteral("Keine") };
    const int highest = static_cast<int>(portMask >> 16);
    for (int n = 1; n <= highest && n <= 16; ++n) {
        if (portMask & (1u << (n - 1)))
            items << QStringLiteral("COM") + QString::number(n);
    }
    return items;
}

QString TCfgDialog::PortItemText(const platform::SerialPortInfo& port)
{
    const QString name = port.DeviceName();
    QString text = QStringLiteral("COM") + QString::number(port.number);
    if (!name.isEmpty())
        text += QStringLiteral(" – ") + name;
    return text;
}

void TCfgDialog::SetPorts(const std::vector<platform::SerialPortInfo>& ports)
{
    cbPort->clear();
    cbPort->addItem(QStringLiteral("Keine"), 0);
    for (const platform::SerialPortInfo& port : ports)
        EnsurePortItem(port, QString());
}

int TCfgDialog::EnsurePortItem(const platform::SerialPortInfo& port, const QString& note)
{
    const int existing = PortIndex(port.number);
    if (existing >= 0)
        return existing;
    QString text = PortItemText(port);
    if (!note.isEmpty())
        text += QStringLiteral(" (") + note + QLatin1Char(')');
    int at = 1;
    while (at < cbPort->count() && PortNumber(at) < port.number)
        ++at;
    cbPort->insertItem(at, text, port.number);
    cbPort->setItemData(at, port.stablePath, Qt::UserRole + 1);
    cbPort->setItemData(at, port.node.isEmpty() ? port.stablePath : port.node, Qt::UserRole + 2);
    cbPort->setItemData(at, text, Qt::ToolTipRole);
    // The open list is as wide as its longest item; the closed box shows what fits.
    int widest = 0;
    for (int i = 0; i < cbPort->count(); ++i)
        widest = std::max(widest, cbPort->fontMetrics().horizontalAdvance(cbPort->itemText(i)));
    cbPort->view()->setMinimumWidth(widest + 24);
    return at;
}

int TCfgDialog::PortIndex(int number) const
{
    if (number <= 0)
        return number == 0 ? 0 : -1;
    for (int i = 1; i < cbPort->count(); ++i) {
        if (PortNumber(i) == number)
            return i;
    }
    return -1;
}

int TCfgDialog::PortNumber(int index) const
{
    if (index <= 0 || index >= cbPort->count())
        return 0;
    bool ok = false;
    const int number = cbPort->itemData(index).toInt(&ok);
    if (ok)
        return number;
    // Items from the start-up scan are plain "COMn": the number follows "COM".
    const int n = cbPort->itemText(index).mid(3).section(QLatin1Char(' '), 0, 0).toInt(&ok);
    return ok ? n : 0;
}

QString TCfgDialog::PortStablePath(int index) const
{
    return index > 0 && index < cbPort->count() ? cbPort->itemData(index, Qt::UserRole + 1).toString() : QString();
}

int TCfgDialog::ShowModal()
{
    return dialogs::ExecDialog(this);
}

void TCfgDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TCfgDialog::Load(const settings::Values& v, bool accuracyLocked)
{
    m_shown = v;
    // 1-2: the port and the algorithm as they stand.
    cbPort->setCurrentIndex(PortIndex(v.port));
    cbAlg->setEnabled(v.port != 0);
    // A value the list does not offer selects nothing; OK without a choice
    // keeps it (Chosen).
    cbAlg->setCurrentIndex(v.algorithm >= 0 && v.algorithm < cbAlg->count() ? v.algorithm : -1);
    AlgorithmValue = v.algorithm;
    seWait->SetValue(static_cast<long double>(v.timing.startLockoutMs) / 1000.0L);
    cbDigits->setCurrentIndex(2 - v.timing.accuracy);
    // Times already in the table keep their format, and ranking by mixed
    // formats would compare unlike texts: the format waits for the race's end.
    cbDigits->setEnabled(!accuracyLocked);
    cbDigits->setToolTip(accuracyLocked
            ? QStringLiteral("Das Uhrzeitformat kann während des Rennens nicht geändert werden.")
            : QString());
    cbStopFirst->setCurrentIndex(v.timing.stopFirst ? 1 : 0);
    cbRuns->setCurrentIndex(v.timing.runs == 2 ? 1 : 0);
    seRunsReverse->setValue(v.timing.runsReverse);
    cbRunsScoring->setCurrentIndex(v.timing.runsScoring == 1 ? 1 : 0);
    // The race's runs, like its time format, are fixed while its clock runs.
    const QString runsTip = QStringLiteral("Die Läufe können während des Rennens nicht geändert werden.");
    for (QWidget* w : std::initializer_list<QWidget*> { cbRuns, seRunsReverse, cbRunsScoring }) {
        w->setEnabled(!accuracyLocked);
        w->setToolTip(accuracyLocked ? runsTip : w->property(kPlainTip).toString());
    }
    m_shownPortIndex = cbPort->currentIndex();
    cbLive->setChecked(v.liveOn);
    seLivePort->setValue(v.livePort);
    eVeranstaltung->setText(v.event.title);
    eUploadUrl->setText(v.uploadUrl);
    eUploadKey->setText(v.uploadKey);
    LabUploadResult->setVisible(false);
    bUploadTry->setEnabled(true);
    cbStation->setCurrentIndex(settings::kStationRole.Clamp(v.stations.role));
    eStationCode->setText(v.stations.code);
    m_peers = v.stations.peers;
    stationRoleChanged();
    Relayout();
}

void TCfgDialog::stationRoleChanged()
{
    // A station reads no other station; only the finish has a list of them.
    bStations->setEnabled(cbStation->currentIndex() == 0);
}

void TCfgDialog::editStations()
{
    TStationsDialog dialog(this);
    dialog.Load(m_peers);
    if (dialog.ShowModal() == QDialog::Accepted)
        m_peers = dialog.Chosen();
}

void TCfgDialog::ShowUploadResult(const QString& text, bool ok)
{
    QPalette palette = LabUploadResult->palette();
    palette.setColor(QPalette::WindowText, ok ? palette.color(QPalette::Active, QPalette::ButtonText) : Qt::red);
    LabUploadResult->setPalette(palette);
    LabUploadResult->setText(text);
    LabUploadResult->setVisible(true);
    bUploadTry->setEnabled(true);
    Relayout();
}

bool TCfgDialog::PortChanged() const
{
    return cbPort->currentIndex() != m_shownPortIndex;
}

settings::Values TCfgDialog::Chosen() const
{
    settings::Values v = m_shown;
    if (cbDigits->isEnabled())
        v.timing.accuracy = 2 - cbDigits->currentIndex();
    v.timing.stopFirst = cbStopFirst->currentIndex() == 1;
    if (cbRuns->isEnabled()) {
        v.timing.runs = cbRuns->currentIndex() == 1 ? 2 : 1;
        v.timing.runsReverse = seRunsReverse->value();
        v.timing.runsScoring = cbRunsScoring->currentIndex() == 1 ? 1 : 0;
    }
    // Halves to even, as the toolkit's rounding does.
    v.timing.startLockoutMs = static_cast<int>(std::nearbyintl(seWait->Value() * 1000.0L));
    const int index = cbPort->currentIndex();
    if (index != 0) {
        v.port = PortNumber(index);
        if (PortChanged())
            v.portDevice = PortStablePath(index);
        // Nothing selected (a stored value the list does not offer): the
        // value stays, rather than becoming -1 and locking the port list.
        if (cbAlg->currentIndex() >= 0)
            v.algorithm = cbAlg->currentIndex();
    } else {
        v.port = 0;
        v.portDevice.clear();
    }
    v.liveOn = cbLive->isChecked();
    v.livePort = seLivePort->value();
    v.event.title = eVeranstaltung->text().simplified();
    v.uploadUrl = eUploadUrl->text().trimmed();
    v.uploadKey = eUploadKey->text().trimmed();
    v.stations.role = cbStation->currentIndex();
    v.stations.code = eStationCode->text();
    v.stations.peers = m_peers;
    return v;
}

void TCfgDialog::FormShow()
{
    cbPort->setEnabled(AlgorithmValue >= 0);
}

void TCfgDialog::cbDigitsChange()
{
    if (OnDigitsChange)
        OnDigitsChange(2 - cbDigits->currentIndex());
}

void TCfgDialog::cbPortChange()
{
    cbAlg->setEnabled(cbPort->currentIndex() > 0);
}
