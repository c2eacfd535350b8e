// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/UploadLink.h"

#include "controls/Dialogs.h"
#include "upload/KnownHosts.h"

#include <QDir>
#include <QInputDialog>
#include <QLineEdit>
#include <QWidget>

namespace {

// Asks for the password in a small dialog of the window; tests answer it
// through the dialog wrapper.
class PasswordDialogPrompt final : public upload::PasswordPrompt {
public:
    explicit PasswordDialogPrompt(QWidget* window)
        : m_window(window)
    {
    }

    std::optional<QString> AskPassword(const upload::Target& target, const QString& note) override
    {
        QInputDialog dialog(m_window);
        dialog.setWindowTitle(QStringLiteral("Ergebnisse hochladen"));
        dialog.setLabelText((target.IsSsh() ? QStringLiteral("Passphrase des SSH-Schlüssels für %1:")
                                            : QStringLiteral("Passwort für %1:"))
                                .arg(target.Address())
            + QStringLiteral("\n") + note);
        dialog.setTextEchoMode(QLineEdit::Password);
        if (dialogs::ExecDialog(&dialog) != QDialog::Accepted)
            return std::nullopt;
        return dialog.textValue();
    }

private:
    QWidget* m_window;
};

// The key file as typed, with "~/" taken as the user's home folder, as a
// shell would.
QString keyPath(const QString& typed)
{
    return typed.startsWith(QStringLiteral("~/")) ? QDir::homePath() + typed.mid(1) : typed;
}

} // namespace

UploadLink::UploadLink(QWidget* window, upload::Timing timing, QObject* parent)
    : QObject(parent)
    , m_window(window)
    , m_prompt(std::make_unique<PasswordDialogPrompt>(window))
    , m_passwords(*m_prompt, m_keyring)
    , m_outbox(std::make_unique<upload::Outbox>(timing))
{
    // The outbox reports from its own thread; the header is drawn here.
    connect(m_outbox.get(), &upload::Outbox::statusChanged, this, &UploadLink::statusArrived, Qt::QueuedConnection);
}

UploadLink::~UploadLink() = default;

void UploadLink::Configure(const QString& address, const QString& keyFile)
{
    const QString trimmed = address.trimmed();
    const QString key = keyFile.trimmed();
    if (trimmed == m_address && key == m_keyFile)
        return;
    m_address = trimmed;
    m_keyFile = key;
    m_problem.clear();
    m_target.reset();
    m_handed.clear();
    if (!m_address.isEmpty()) {
        m_target = upload::ParseTarget(m_address, &m_problem);
        if (m_target)
            m_address = m_target->Address();
    }
    if (m_target) {
        const upload::Login login = loginFor(*m_target, m_keyFile);
        m_outbox->SetTarget(m_target, login);
    } else {
        m_outbox->SetTarget(std::nullopt, {});
    }
    if (OnStateChanged)
        OnStateChanged();
}

upload::Login UploadLink::loginFor(const upload::Target& target, const QString& keyFile)
{
    upload::Login login;
    login.keyFile = keyPath(keyFile);
    m_withPassword = upload::NeedsPassword(target, login.keyFile);
    if (m_withPassword)
        login.password = m_passwords.For(target).password.value_or(QString());
    return login;
}

void UploadLink::Put(const QString& name, const QByteArray& bytes)
{
    if (!m_target)
        return;
    auto handed = m_handed.find(name);
    if (handed != m_handed.end() && handed->second == bytes)
        return;
    if (m_outbox->Put(name, bytes))
        m_handed[name] = bytes;
}

void UploadLink::statusArrived()
{
    const upload::UploadStatus status = m_outbox->Status();
    // A refused password is asked for again at the next configuration, not
    // in the middle of the race.
    if (m_target && m_withPassword && status.failure == upload::Failure::Login && status.failures == 1)
        m_passwords.Refused(*m_target);
    if (OnStateChanged)
        OnStateChanged();
}

bool UploadLink::Failing() const
{
    return !m_problem.isEmpty() || (m_target && m_outbox->Status().Failing());
}

QString UploadLink::StateText() const
{
    if (!m_problem.isEmpty())
        return QStringLiteral("Upload: Adresse ungültig");
    return upload::StatusText(m_outbox->Status());
}

QString UploadLink::StateTip() const
{
    if (!m_problem.isEmpty())
        return m_problem + QStringLiteral("\nDie Adresse steht in den Einstellungen (F2).");
    const upload::UploadStatus status = m_outbox->Status();
    QString tip = QStringLiteral("Ergebnisse nach %1").arg(m_address);
    if (status.WaitsForHostKey())
        return tip + QStringLiteral("\n") + status.reason + QStringLiteral("\nKlick: Schlüssel des Servers prüfen");
    if (status.Failing()) {
        tip += QStringLiteral("\n") + status.reason;
        if (status.retryIn.count() > 0)
            tip += QStringLiteral("\nNächster Versuch in %1 s").arg((status.retryIn.count() + 999) / 1000);
    }
    return tip + QStringLiteral("\nKlick: jetzt hochladen");
}

void UploadLink::Clicked()
{
    if (!m_target)
        return;
    const upload::UploadStatus status = m_outbox->Status();
    if (status.WaitsForHostKey()) {
        if (status.hostKey.IsValid() && askHostKey(*m_target, status.hostKey))
            m_outbox->AcceptHostKey(status.hostKey.Fingerprint());
        return;
    }
    m_outbox->RetryNow();
}

QString UploadLink::HostKeyQuestion(const upload::Target& target, const upload::HostKey& key)
{
    const QString where = target.HostAndPort();
    if (key.changed) {
        return QStringLiteral("Der Server %1 zeigt einen anderen Schlüssel als bisher:\n%2 %3\n\n"
                              "Das kann ein Umzug des Webspace sein, aber auch ein Angreifer. Nur mit Ja "
                              "antworten, wenn der Anbieter genau diesen Fingerabdruck nennt.\n\nSchlüssel annehmen?")
            .arg(where, key.Type(), key.Fingerprint());
    }
    return QStringLiteral("Der Server %1 ist noch unbekannt. Sein Schlüssel:\n%2 %3\n\n"
                          "Stimmt der Fingerabdruck mit dem überein, den der Anbieter des Webspace nennt?\n"
                          "Mit Ja wird er in ~/.ssh/known_hosts eingetragen.")
        .arg(where, key.Type(), key.Fingerprint());
}

bool UploadLink::askHostKey(const upload::Target& target, const upload::HostKey& key)
{
    return dialogs::ShowMessage(m_window, key.changed ? dialogs::Icon::Warning : dialogs::Icon::Question,
               QStringLiteral("Schlüssel des Servers"), HostKeyQuestion(target, key),
               QMessageBox::Yes | QMessageBox::No)
        == QMessageBox::Yes;
}

QString UploadLink::TrialText(const upload::Target& target, const upload::TransferResult& result)
{
    if (result.Ok())
        return QStringLiteral("Verbunden mit %1: eine Probedatei wurde in %2 geschrieben, umbenannt und wieder "
                              "gelöscht. Das Hochladen wird funktionieren.")
            .arg(target.HostAndPort(), target.folder);
    return QStringLiteral("Fehlgeschlagen: %1").arg(result.reason);
}

void UploadLink::Try(const QString& address, const QString& keyFile, std::function<void(const QString&, bool)> done)
{
    QString message;
    const std::optional<upload::Target> target = upload::ParseTarget(address.trimmed(), &message);
    if (!target) {
        done(message, false);
        return;
    }
    const QString key = keyFile.trimmed();
    upload::Login login;
    login.keyFile = keyPath(key);
    const bool withPassword = upload::NeedsPassword(*target, login.keyFile);
    if (withPassword)
        login.password = m_passwords.For(*target).password.value_or(QString());
    m_trial = std::make_unique<upload::TargetTrial>(*target, login);
    connect(m_trial.get(), &upload::TargetTrial::finished, this,
        [this, tried = *target, address, key, done, withPassword](const upload::TransferResult& result) {
            // The trial has ended; it goes once its signal is delivered.
            m_trial.release()->deleteLater();
            if (result.failure == upload::Failure::HostKeyUnknown
                || result.failure == upload::Failure::HostKeyChanged) {
                if (!result.hostKey.IsValid() || !askHostKey(tried, result.hostKey)) {
                    done(QStringLiteral("Der Schlüssel des Servers wurde nicht angenommen; es wurde nichts "
                                        "hochgeladen."),
                        false);
                    return;
                }
                QString reason;
                if (!upload::AddHostKey(upload::KnownHostsFile(), tried.host, tried.port, result.hostKey, &reason)) {
                    done(QStringLiteral("Der Schlüssel konnte nicht in %1 eingetragen werden: %2")
                             .arg(upload::KnownHostsFile(), reason),
                        false);
                    return;
                }
                Try(address, key, done);
                return;
            }
            if (result.failure == upload::Failure::Login && withPassword)
                m_passwords.Refused(tried);
            done(TrialText(tried, result), result.Ok());
        });
}
