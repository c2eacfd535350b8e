// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The spectator display: a second window with the race clock and the latest
// finishers, sized to whatever screen it is shown on.
#include "app/AudienceWindow.h"

#include "app/LiveWidgets.h"
#include "app/UiHelpers.h"
#include "controls/Udigit.h"
#include "race/RaceSnapshot.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

// The operator's display, in its own pixels: digit lefts, the width of the
// digit area at each accuracy, and the separators (left, top below the digit
// tops).
constexpr int kDigitLefts[DisplayTime::DigitCount] = { 8, 88, 136, 216, 264, 344, 392 };
constexpr int kDigitWidth = 45;
constexpr int kDigitHeight = 89;
constexpr int kPanelWidths[3] = { 316, 399, 444 };
constexpr int kFinisherColumns = 4; // place, number, name, time
constexpr int kNameColumn = 2;
// What the place, number and time columns hold at least, so they keep their
// widths while the first finishers come in.
const char* const kNarrowestTexts[kFinisherColumns] = { "99", "999", "", "9.59,99" };

QLabel* separator(QWidget* parent, const QString& text)
{
    auto* l = new QLabel(text, parent);
    l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    l->setAttribute(Qt::WA_TranslucentBackground);
    return l;
}

} // namespace

TAudienceWindow::TAudienceWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Anzeige"));
    // The race window decides when the program ends, and showing this one
    // leaves the keyboard with the operator.
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setMinimumSize(320, 200);
    resize(960, 600);

    for (int i = 0; i < DisplayTime::DigitCount; ++i) {
        auto* d = new TDigit(this);
        d->SetSeparation(1);
        Digits[static_cast<size_t>(i)] = d;
    }
    LabHour = separator(this, QStringLiteral(":"));
    LabMin = separator(this, QStringLiteral("."));
    LabSec = separator(this, QStringLiteral(","));

    LabTitle = new QLabel(this);
    LabTitle->setAlignment(Qt::AlignCenter);
    LabTitle->hide();
    Caption = new QLabel(QStringLiteral("Zuletzt im Ziel"), this);
    for (auto& row : Rows) {
        for (int c = 0; c < kFinisherColumns; ++c) {
            auto* l = new QLabel(this);
            l->setAlignment((c == kNameColumn ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
            row[static_cast<size_t>(c)] = l;
        }
    }
    QrImage = new QLabel(this);
    QrImage->setAlignment(Qt::AlignCenter);
    QrImage->hide();
    QrCaption = new QLabel(this);
    QrCaption->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QrCaption->hide();

    auto* fullScreen = new QAction(QStringLiteral("Vollbild"), this);
    fullScreen->setShortcut(Qt::Key_F11);
    fullScreen->setShortcutContext(Qt::WindowShortcut);
    addAction(fullScreen);
    connect(fullScreen, &QAction::triggered, this, [this] { ToggleFullScreen(); });

    ContextMenu = new QMenu(this);
    m_clock = new QTimer(this);
    m_clock->setTimerType(Qt::PreciseTimer);
    m_clock->setInterval(10);
    connect(m_clock, &QTimer::timeout, this, [this] { ClockTick(); });

    SetColours(m_colours);
    applyAccuracy(race::RaceSettings().accuracy);
}

TAudienceWindow::~TAudienceWindow() = default;

void TAudienceWindow::SetColours(const settings::Colours& colours)
{
    m_colours = colours;
    SetBackgroundColor(this, colours.background);
    for (TDigit* d : Digits) {
        d->SetColor(colours.background);
        d->SetColorOff(colours.background);
        d->SetColorOn(colours.digit);
    }
    for (QLabel* l : { LabHour, LabMin, LabSec, QrCaption, LabTitle })
        SetFontColor(l, colours.digit);
    SetFontColor(Caption, colours.dim);
    for (size_t r = 0; r < Rows.size(); ++r) {
        for (QLabel* l : Rows[r])
            SetFontColor(l, r == 0 ? colours.secondRow : colours.digit);
    }
}

void TAudienceWindow::ShowResults(const race::Snapshot& results)
{
    m_results = results;
    // A class the results no longer have shows every class again.
    if (!m_classFilter.isEmpty() && !results.classes.contains(m_classFilter))
        m_classFilter.clear();
    const QString ofClass = m_classFilter.isEmpty() ? QString() : QStringLiteral(" – ") + m_classFilter;
    const auto nameOf = [this](const race::SnapshotEntry& e) {
        // With classes the place is the class place; the class stands
        // beside the name unless the display shows only that class.
        const bool withClass = !e.klasse.isEmpty() && m_classFilter.isEmpty();
        return withClass ? e.name + QStringLiteral(" · ") + e.klasse : e.name;
    };
    const auto inFilter
        = [this](const race::SnapshotEntry& e) { return m_classFilter.isEmpty() || e.klasse == m_classFilter; };
    std::vector<QStringList> rows;
    if (results.run == 2 && results.startList) {
        // Between the runs: who starts run 2 first, with run 1's time.
        Caption->setText(QStringLiteral("Startliste 2. Lauf") + ofClass);
        int n = 0;
        for (const race::SnapshotEntry& e : results.entries) {
            if (!e.status.isEmpty() || !inFilter(e))
                continue;
            ++n;
            if (rows.size() < Rows.size())
                rows.push_back({ QStringLiteral("%1.").arg(n), e.number, nameOf(e), e.run1 });
        }
    } else if (results.run == 2) {
        // Run 2: a runner on course with run 1's time, a finisher with the
        // total, its place by the total and the gap to the leader.
        Caption->setText(QStringLiteral("2. Lauf – zuletzt im Ziel") + ofClass);
        for (const race::SnapshotEntry& e : results.entries)
            if (e.state == race::Race::RowState::Running && e.status.isEmpty() && inFilter(e) && rows.size() < 2)
                rows.push_back({ QString(), e.number, nameOf(e) + QStringLiteral(" · 1. Lauf"), e.run1 });
        for (const int i : race::LastFinishers(results, kFinisherRows, m_classFilter)) {
            if (rows.size() >= Rows.size())
                break;
            const race::SnapshotEntry& e = results.entries[static_cast<size_t>(i)];
            const QString total = e.total.isEmpty() ? e.time : e.total;
            rows.push_back(
                { e.place, e.number, nameOf(e), e.behind.isEmpty() ? total : total + QLatin1Char(' ') + e.behind });
        }
    } else {
        Caption->setText(QStringLiteral("Zuletzt im Ziel") + ofClass);
        for (const int i : race::LastFinishers(results, kFinisherRows, m_classFilter)) {
            const race::SnapshotEntry& e = results.entries[static_cast<size_t>(i)];
            rows.push_back({ e.place, e.number, nameOf(e), e.time });
        }
    }
    for (size_t r = 0; r < Rows.size(); ++r)
        m_rowTexts[r] = r < rows.size() ? rows[r] : QStringList { QString(), QString(), QString(), QString() };
    layOut();
}

void TAudienceWindow::SetClassFilter(const QString& klasse)
{
    m_classFilter = klasse;
    ShowResults(m_results);
}

void TAudienceWindow::SetTitle(const QString& title)
{
    if (title == m_title)
        return;
    m_title = title;
    LabTitle->setVisible(!title.isEmpty());
    LabTitle->setToolTip(title);
    layOut();
}

void TAudienceWindow::SetAddress(const QString& url)
{
    if (url == m_address)
        return;
    m_address = url;
    QrImage->setVisible(!url.isEmpty());
    QrCaption->setVisible(!url.isEmpty());
    QrCaption->setText(url);
    layOut();
}

void TAudienceWindow::ShowOn(QScreen* screen, bool fullScreen)
{
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (isFullScreen())
        showNormal();
    setScreen(screen);
    const QRect area = screen->availableGeometry();
    if (fullScreen) {
        setGeometry(screen->geometry());
        showFullScreen();
    } else {
        resize(std::min(960, area.width() * 4 / 5), std::min(600, area.height() * 4 / 5));
        move(area.center() - QPoint(width() / 2, height() / 2));
        showNormal();
    }
}

void TAudienceWindow::ToggleFullScreen()
{
    if (isFullScreen())
        showNormal();
    else
        showFullScreen();
}

void TAudienceWindow::ClockTick()
{
    if (!ClockSource)
        return;
    const race::RaceClock clock = ClockSource();
    applyAccuracy(clock.accuracy);
    const DisplayTime d = SplitDisplayTime(clock.ms, 0);
    for (int i = 0; i < DisplayTime::DigitCount; ++i) {
        TDigit* digit = Digits[static_cast<size_t>(i)];
        digit->SetValue(d.value[static_cast<size_t>(i)]);
        digit->SetColorOn(d.lit[static_cast<size_t>(i)] ? m_colours.digit : m_colours.dim);
    }
    SetFontColor(LabHour, d.lit[DisplayTime::Hours] ? m_colours.digit : m_colours.dim);
    SetFontColor(LabMin, d.lit[DisplayTime::Minutes] ? m_colours.digit : m_colours.dim);
}

void TAudienceWindow::applyAccuracy(int accuracy)
{
    accuracy = std::clamp(accuracy, 0, 2);
    if (accuracy == m_accuracy)
        return;
    m_accuracy = accuracy;
    Digits[DisplayTime::Tenths]->setVisible(accuracy > 0);
    Digits[DisplayTime::Hundredths]->setVisible(accuracy == 2);
    LabSec->setVisible(accuracy > 0);
    layOut();
}

void TAudienceWindow::layOut()
{
    const int w = width(), h = height();
    const int margin = std::max(6, static_cast<int>(std::min(w, h) * 0.03));

    // The race's title on top, in one line as wide as the window.
    int titleHeight = 0;
    if (!m_title.isEmpty()) {
        titleHeight = std::max(14, h / 11);
        const QFont font = DesignFont(QStringLiteral("Arial"), std::max(8, titleHeight * 7 / 10), true);
        LabTitle->setFont(font);
        LabTitle->setGeometry(margin, margin / 2, w - 2 * margin, titleHeight);
        LabTitle->setText(QFontMetrics(font).elidedText(m_title, Qt::ElideRight, w - 2 * margin));
    }

    // The clock: the operator's display scaled to the upper part.
    const int clockHeight = static_cast<int>((h - 2 * margin - titleHeight) * 0.44);
    const int panelWidth = kPanelWidths[std::max(0, m_accuracy)];
    const double k = std::min(double(w - 2 * margin) / panelWidth, double(clockHeight) / (kDigitHeight + 6));
    const int x0 = static_cast<int>((w - panelWidth * k) / 2);
    const int y0 = margin + titleHeight + static_cast<int>((clockHeight - kDigitHeight * k) / 2);
    auto scaled = [k](double v) { return static_cast<int>(std::lround(v * k)); };
    for (int i = 0; i < DisplayTime::DigitCount; ++i) {
        TDigit* d = Digits[static_cast<size_t>(i)];
        d->setGeometry(x0 + scaled(kDigitLefts[i]), y0, scaled(kDigitWidth), scaled(kDigitHeight));
        d->SetThickness(std::max(1, scaled(5)));
        d->SetSeparation(std::max(1, scaled(1)));
    }
    const QFont sepFont = DesignFont(QStringLiteral("Times New Roman"), std::max(8, scaled(64)), true);
    const struct {
        QLabel* label;
        int left;
        int top;
    } separators[] = { { LabHour, 61, 0 }, { LabMin, 192, 30 }, { LabSec, 320, 30 } };
    for (const auto& s : separators) {
        s.label->setFont(sepFont);
        s.label->setGeometry(x0 + scaled(s.left), y0 + scaled(s.top), scaled(25), scaled(81));
    }

    // The finishers below, the address's QR code to their right.
    const int top = margin + titleHeight + clockHeight + margin / 2;
    const int available = std::max(1, h - top - margin);
    const int rowHeight = static_cast<int>(available / (kFinisherRows + 0.6));
    int tableRight = w - margin;
    if (!m_address.isEmpty()) {
        const int captionHeight = std::max(12, rowHeight / 3);
        const int side = std::max(40, std::min(available - captionHeight, w / 4));
        const QPixmap qr = QrPixmap(m_address, side);
        QrImage->setPixmap(qr);
        QrImage->setGeometry(w - margin - side, h - margin - captionHeight - side, side, side);
        QrCaption->setFont(DesignFont(QStringLiteral("Arial"), std::max(9, captionHeight * 2 / 3)));
        QrCaption->setGeometry(
            w - margin - side - margin, h - margin - captionHeight, side + 2 * margin, captionHeight);
        tableRight = w - 2 * margin - side;
    }
    const int tableWidth = std::max(1, tableRight - margin);
    Caption->setFont(DesignFont(QStringLiteral("Arial"), std::max(8, rowHeight * 3 / 10)));
    Caption->setGeometry(margin, top, tableWidth, rowHeight * 6 / 10);
    layOutFinishers(top + rowHeight * 6 / 10, margin, tableWidth, rowHeight);
}

void TAudienceWindow::layOutFinishers(int top, int left, int width, int rowHeight)
{
    // Place, number and time are as wide as their texts; the name takes the
    // rest of the line and is shortened only when it does not fit there. In
    // a narrow window the letters get smaller before the name gets less than
    // half the line.
    int pixels = std::max(8, rowHeight * 62 / 100);
    const int gap = std::max(4, rowHeight / 5);
    std::array<int, kFinisherColumns> widths {};
    QFont font;
    for (;; --pixels) {
        font = DesignFont(QStringLiteral("Arial"), pixels, true);
        const QFontMetrics metrics(font);
        int fixed = 0;
        for (int c = 0; c < kFinisherColumns; ++c) {
            if (c == kNameColumn)
                continue;
            int widest = metrics.horizontalAdvance(QLatin1String(kNarrowestTexts[c]));
            for (const QStringList& texts : m_rowTexts)
                widest = std::max(widest, metrics.horizontalAdvance(texts.value(c)));
            widths[static_cast<size_t>(c)] = widest;
            fixed += widest + gap;
        }
        widths[kNameColumn] = std::max(1, width - fixed);
        if (fixed <= width / 2 || pixels <= 8)
            break;
    }
    const QFontMetrics metrics(font);
    for (size_t r = 0; r < Rows.size(); ++r) {
        int x = left;
        const int y = top + static_cast<int>(r) * rowHeight;
        for (int c = 0; c < kFinisherColumns; ++c) {
            const int cw = widths[static_cast<size_t>(c)];
            QLabel* l = Rows[r][static_cast<size_t>(c)];
            l->setFont(font);
            l->setGeometry(x, y, cw, rowHeight);
            const QString& text = m_rowTexts[r].value(c);
            const QString shown = metrics.elidedText(text, Qt::ElideRight, cw);
            l->setText(shown);
            l->setToolTip(shown != text ? text : QString());
            x += cw + gap;
        }
    }
}

void TAudienceWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layOut();
}

void TAudienceWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    ClockTick();
    m_clock->start();
}

void TAudienceWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_clock->stop();
}

void TAudienceWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && isFullScreen()) {
        showNormal();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TAudienceWindow::fillContextMenu()
{
    ContextMenu->clear();
    QAction* full = ContextMenu->addAction(QStringLiteral("Vollbild (F11)"), this, [this] { ToggleFullScreen(); });
    full->setCheckable(true);
    full->setChecked(isFullScreen());
    ContextMenu->addSeparator();
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (int i = 0; i < screens.size(); ++i) {
        QScreen* s = screens[i];
        const QString text = QStringLiteral("Bildschirm %1: %2 (%3 × %4)")
                                 .arg(i + 1)
                                 .arg(s->name())
                                 .arg(s->geometry().width())
                                 .arg(s->geometry().height());
        QAction* a = ContextMenu->addAction(text, this, [this, s] { ShowOn(s, true); });
        a->setCheckable(true);
        a->setChecked(s == screen());
    }
    if (!m_results.classes.isEmpty()) {
        ContextMenu->addSeparator();
        QAction* all = ContextMenu->addAction(QStringLiteral("Alle Klassen"), this, [this] { SetClassFilter({}); });
        all->setCheckable(true);
        all->setChecked(m_classFilter.isEmpty());
        for (const QString& klasse : std::as_const(m_results.classes)) {
            QAction* a = ContextMenu->addAction(
                QStringLiteral("Nur %1").arg(klasse), this, [this, klasse] { SetClassFilter(klasse); });
            a->setCheckable(true);
            a->setChecked(klasse == m_classFilter);
        }
    }
    ContextMenu->addSeparator();
    ContextMenu->addAction(QStringLiteral("Schließen (F6)"), this, [this] { close(); });
}

void TAudienceWindow::contextMenuEvent(QContextMenuEvent* event)
{
    fillContextMenu();
    ContextMenu->popup(event->globalPos());
}
