// Who may connect to a modem port: strict IP address literals and the allow list of addresses and
// networks given by the "tcp_allow" key.
#include "core/client_allow_list.h"

#include <QRegularExpression>

namespace {

bool parse_prefix(const QString& text, int max, int& prefix)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,3}$"));
    if (!digits.match(text).hasMatch())
        return false;
    prefix = text.toInt();
    return prefix <= max;
}

// "ADDRESS" or "ADDRESS/PREFIX", with mapped IPv6 forms turned into IPv4.
bool parse_network(const QString& text, QPair<QHostAddress, int>& network)
{
    const int slash = text.indexOf(QLatin1Char('/'));
    QHostAddress address;
    if (!parse_ip_literal(text.left(slash), address))
        return false;
    const bool v4 = address.protocol() == QAbstractSocket::IPv4Protocol;
    int prefix = v4 ? 32 : 128;
    if (slash >= 0 && !parse_prefix(text.mid(slash + 1), prefix, prefix))
        return false;
    const QHostAddress plain = unmapped(address);
    if (!v4 && plain.protocol() == QAbstractSocket::IPv4Protocol) {
        if (prefix < 96)
            return false;
        prefix -= 96;
    }
    network = qMakePair(plain, prefix);
    return true;
}

}  // namespace

QHostAddress unmapped(const QHostAddress& address)
{
    bool is_v4 = false;
    const quint32 v4 = address.toIPv4Address(&is_v4);
    return is_v4 ? QHostAddress(v4) : address;
}

bool parse_ip_literal(const QString& text, QHostAddress& address)
{
    static const QRegularExpression v4(QStringLiteral("^[0-9]{1,3}(\\.[0-9]{1,3}){3}$"));
    static const QRegularExpression v6(QStringLiteral("^[0-9A-Fa-f:.]*:[0-9A-Fa-f:.]*(%[0-9A-Za-z_.-]+)?$"));
    if (!v4.match(text).hasMatch() && !v6.match(text).hasMatch())
        return false;
    return address.setAddress(text);
}

bool Client_allow_list::parse(const QString& text, QString& bad_entry)
{
    QVector<QPair<QHostAddress, int>> parsed;
    for (const QString& entry : text.split(QLatin1Char(','))) {
        bad_entry = entry.trimmed();
        QPair<QHostAddress, int> network;
        if (!parse_network(bad_entry, network))
            return false;
        parsed.append(network);
    }
    networks = parsed;
    return true;
}

bool Client_allow_list::allows(QHostAddress peer) const
{
    peer = unmapped(peer);
    for (const auto& network : networks)
        if (peer.isInSubnet(network.first, network.second))
            return true;
    return false;
}
