// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <cstdint>
#include <optional>

// Only the paired finish reads a station, and only the station's own words
// reach the race: every impulse, heartbeat and clock answer carries an
// HMAC-SHA256 under the six-digit pairing code, and so does every request of
// the finish. A signed line is the text, a blank and "sig=<64 hex digits>".
namespace stations {

QByteArray Sign(const QString& code, QByteArrayView text);
bool Verify(const QString& code, QByteArrayView text, QByteArrayView signatureHex);
QByteArray SignedLine(const QString& code, QByteArrayView text);
// The text of a signed line whose signature holds; nothing when it is
// missing or wrong.
std::optional<QByteArray> VerifiedText(const QString& code, QByteArrayView line);

// Six digits from the system's cryptographic random source, leading zeros kept.
QString GeneratePairingCode();
bool IsPairingCode(const QString& code);

// The headers a request of the finish carries. The time is the finish's
// best guess of the station's wall clock (its own plus the measured offset),
// so a station accepts it without the clocks agreeing; the nonce makes each
// request one of a kind.
struct RequestSignature {
    std::int64_t timeMs = 0;
    QByteArray nonce;
    QByteArray signature;
};
inline constexpr char kTimeHeader[] = "X-Rennzeit-Zeit";
inline constexpr char kNonceHeader[] = "X-Rennzeit-Nonce";
inline constexpr char kSignatureHeader[] = "X-Rennzeit-Signatur";

RequestSignature SignRequest(const QString& code, QByteArrayView method, QByteArrayView target, std::int64_t timeMs);

// The station's side: a request is taken when its signature holds, its time
// is within the tolerance of the station's clock and its nonce has not come
// before within twice that time. A recorded request therefore works once, and
// only for a short while.
class RequestGuard final {
public:
    enum class Verdict { Accepted, BadSignature, Stale, Replayed };
    explicit RequestGuard(QString code, std::int64_t toleranceMs = 30000);
    void SetCode(const QString& code) { m_code = code; }
    // `checkTime` false for the clock exchange: the finish cannot know the
    // station's time before its first answer, and a replayed exchange
    // only gives a fresh, signed time of the station.
    Verdict Check(QByteArrayView method, QByteArrayView target, const RequestSignature& request, std::int64_t nowMs,
        bool checkTime);

private:
    QString m_code;
    std::int64_t m_toleranceMs;
    QHash<QByteArray, std::int64_t> m_seen; // nonce -> when it may be forgotten
};

} // namespace stations
