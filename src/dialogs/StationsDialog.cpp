// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "dialogs/StationsDialog.h"

#include "controls/Dialogs.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRegularExpressionValidator>

namespace {

const char* const kCaptions[settings::kStationPeers]
    = { "Start", "Zwischenzeit 1", "Zwischenzeit 2", "Zwischenzeit 3", "Zwischenzeit 4" };

} // namespace

TStationsDialog::TStationsDialog(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Stationen"));
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Station"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Adresse (Rechner:Port)"), this), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Code"), this), 0, 2);
    for (int i = 0; i < settings::kStationPeers; ++i) {
        auto* caption = new QLabel(QString::fromUtf8(kCaptions[i]), this);
        eAddress[i] = new QLineEdit(this);
        eAddress[i]->setPlaceholderText(i == 0 ? QStringLiteral("z. B. 192.168.1.20:8080") : QString());
        eAddress[i]->setMinimumWidth(200);
        caption->setBuddy(eAddress[i]);
        eCode[i] = new QLineEdit(this);
        eCode[i]->setMaxLength(6);
        eCode[i]->setFixedWidth(70);
        eCode[i]->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,6}")), eCode[i]));
        grid->addWidget(caption, i + 1, 0);
        grid->addWidget(eAddress[i], i + 1, 1);
        grid->addWidget(eCode[i], i + 1, 2);
    }
    auto* hint = new QLabel(QStringLiteral("Den Code zeigt die Station in ihrem Fenster und in ihren Einstellungen. "
                                           "Leere Adresse: die Station nimmt nicht teil."),
        this);
    hint->setWordWrap(true);
    grid->addWidget(hint, settings::kStationPeers + 1, 0, 1, 3);
    LabProblem = new QLabel(this);
    LabProblem->setWordWrap(true);
    QPalette red = LabProblem->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    LabProblem->setPalette(red);
    LabProblem->setVisible(false);
    grid->addWidget(LabProblem, settings::kStationPeers + 2, 0, 1, 3);
    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Abbrechen"), this);
    grid->addWidget(OKBtn, settings::kStationPeers + 3, 1, Qt::AlignRight);
    grid->addWidget(CancelBtn, settings::kStationPeers + 3, 2);
    connect(OKBtn, &QPushButton::clicked, this, [this] {
        const QString problem = Problem();
        LabProblem->setText(problem);
        LabProblem->setVisible(!problem.isEmpty());
        if (problem.isEmpty())
            accept();
    });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TStationsDialog::Load(const Peers& peers)
{
    for (int i = 0; i < settings::kStationPeers; ++i) {
        eAddress[i]->setText(peers[i].address);
        eCode[i]->setText(peers[i].code);
    }
    LabProblem->setVisible(false);
}

TStationsDialog::Peers TStationsDialog::Chosen() const
{
    Peers peers;
    for (int i = 0; i < settings::kStationPeers; ++i)
        peers[i] = { eAddress[i]->text().trimmed(), eCode[i]->text().trimmed() };
    return peers;
}

QString TStationsDialog::Problem() const
{
    const Peers peers = Chosen();
    for (int i = 0; i < settings::kStationPeers; ++i) {
        const QString name = QString::fromUtf8(kCaptions[i]);
        if (peers[i].address.isEmpty())
            continue;
        if (!settings::IsStationAddress(peers[i].address))
            return QStringLiteral("%1: „%2“ ist keine Adresse der Form Rechner:Port (z. B. 192.168.1.20:8080).")
                .arg(name, peers[i].address);
        if (!settings::IsPairingCode(peers[i].code))
            return QStringLiteral("%1: der Code hat sechs Ziffern, wie die Station ihn zeigt.").arg(name);
    }
    return {};
}

int TStationsDialog::ShowModal()
{
    return dialogs::ExecDialog(this);
}
