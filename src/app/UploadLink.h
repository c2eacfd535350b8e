// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "upload/Outbox.h"
#include "upload/Passwords.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>

class QWidget;

// The upload of the results to the club's web host as the window sees it:
// the settings "UploadUrl" and "UploadKey", the outbox that sends on its
// own thread, the password from the keyring or the operator, and the link's
// state for the header bar. Nothing here waits for the network.
class UploadLink final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UploadLink)
public:
    // `window` parents the password prompt.
    explicit UploadLink(QWidget* window, upload::Timing timing = {}, QObject* parent = nullptr);
    ~UploadLink() override;

    // The address (empty: no upload) and the key file (empty: the user's
    // usual key). An address that cannot be read switches the upload off;
    // Problem() says why.
    void Configure(const QString& address, const QString& keyFile);
    QString Address() const { return m_address; }
    QString KeyFile() const { return m_keyFile; }
    // A target is set: the publisher hands files over.
    bool Active() const { return m_target.has_value(); }
    // Hands over the newest version of a file; one that did not change since
    // the last call is not handed over again.
    void Put(const QString& name, const QByteArray& bytes);

    // What the header bar shows: hidden without an address.
    bool Shown() const { return !m_address.isEmpty(); }
    QString StateText() const;
    QString StateTip() const;
    bool Failing() const;
    // The header's click: a server key waiting for the operator's word is
    // shown for confirmation; otherwise a round starts now.
    void Clicked();

    upload::UploadStatus Status() const { return m_outbox->Status(); }
    upload::Outbox& Outbox() { return *m_outbox; }

    // The settings dialog's button: tries `address` once with `keyFile` and
    // calls `done` with a German sentence (and whether it worked). A new or
    // changed server key is shown for confirmation first and written to
    // known_hosts only after Ja, then the try is made again.
    void Try(const QString& address, const QString& keyFile, std::function<void(const QString&, bool)> done);
    // The sentence for a try's result.
    static QString TrialText(const upload::Target& target, const upload::TransferResult& result);
    // The question for a server key ("Ja" accepts it).
    static QString HostKeyQuestion(const upload::Target& target, const upload::HostKey& key);

    std::function<void()> OnStateChanged;

private:
    upload::Login loginFor(const upload::Target& target, const QString& keyFile);
    bool askHostKey(const upload::Target& target, const upload::HostKey& key);
    void statusArrived();

    QWidget* m_window;
    std::unique_ptr<upload::PasswordPrompt> m_prompt;
    upload::DesktopKeyring m_keyring;
    upload::Passwords m_passwords;
    std::unique_ptr<upload::Outbox> m_outbox;
    QString m_address;
    QString m_keyFile;
    QString m_problem;
    std::optional<upload::Target> m_target;
    bool m_withPassword = false;
    std::map<QString, QByteArray> m_handed;
    std::unique_ptr<upload::TargetTrial> m_trial;
};
