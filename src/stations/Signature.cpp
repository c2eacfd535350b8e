// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "stations/Signature.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>

#include <cstdlib>

namespace stations {

namespace {

constexpr QByteArrayView kMarker = " sig=";

// Compares without stopping at the first difference, so the time taken tells
// nothing about how much of a forged signature was right.
bool SameBytes(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

QByteArray RequestText(QByteArrayView method, QByteArrayView target, std::int64_t timeMs, QByteArrayView nonce)
{
    return QByteArray("request ") + method.toByteArray() + ' ' + target.toByteArray() + ' '
        + QByteArray::number(qint64(timeMs)) + ' ' + nonce.toByteArray();
}

} // namespace

QByteArray Sign(const QString& code, QByteArrayView text)
{
    return QMessageAuthenticationCode::hash(text.toByteArray(), code.toUtf8(), QCryptographicHash::Sha256).toHex();
}

bool Verify(const QString& code, QByteArrayView text, QByteArrayView signatureHex)
{
    return SameBytes(Sign(code, text), signatureHex);
}

QByteArray SignedLine(const QString& code, QByteArrayView text)
{
    return text.toByteArray() + kMarker.toByteArray() + Sign(code, text);
}

std::optional<QByteArray> VerifiedText(const QString& code, QByteArrayView line)
{
    const qsizetype at = line.lastIndexOf(kMarker);
    if (at < 0)
        return std::nullopt;
    const QByteArrayView text = line.first(at);
    if (!Verify(code, text, line.sliced(at + kMarker.size())))
        return std::nullopt;
    return text.toByteArray();
}

QString GeneratePairingCode()
{
    // bounded() draws without the bias a plain modulo would have.
    const quint32 number = QRandomGenerator::system()->bounded(1000000u);
    return QStringLiteral("%1").arg(number, 6, 10, QLatin1Char('0'));
}

bool IsPairingCode(const QString& code)
{
    if (code.size() != 6)
        return false;
    for (QChar c : code) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

RequestSignature SignRequest(const QString& code, QByteArrayView method, QByteArrayView target, std::int64_t timeMs)
{
    RequestSignature request;
    request.timeMs = timeMs;
    quint32 random[4];
    QRandomGenerator::system()->fillRange(random);
    request.nonce = QByteArray(reinterpret_cast<const char*>(random), sizeof random).toHex();
    request.signature = Sign(code, RequestText(method, target, timeMs, request.nonce));
    return request;
}

RequestGuard::RequestGuard(QString code, std::int64_t toleranceMs)
    : m_code(std::move(code))
    , m_toleranceMs(toleranceMs)
{
}

RequestGuard::Verdict RequestGuard::Check(
    QByteArrayView method, QByteArrayView target, const RequestSignature& request, std::int64_t nowMs, bool checkTime)
{
    if (request.nonce.size() < 16 || request.nonce.size() > 64
        || !Verify(m_code, RequestText(method, target, request.timeMs, request.nonce), request.signature))
        return Verdict::BadSignature;
    if (checkTime && std::llabs(request.timeMs - nowMs) > m_toleranceMs)
        return Verdict::Stale;
    for (auto it = m_seen.begin(); it != m_seen.end();) {
        if (it.value() < nowMs)
            it = m_seen.erase(it);
        else
            ++it;
    }
    if (m_seen.contains(request.nonce))
        return Verdict::Replayed;
    m_seen.insert(request.nonce, nowMs + 2 * m_toleranceMs);
    return Verdict::Accepted;
}

} // namespace stations
