#include "support/ManifestServer.h"

#include <QTcpSocket>
#include <QTimer>

#include <gtest/gtest.h>

namespace quindle::test {

namespace {

QByteArray head(const char *status, const std::optional<qsizetype> &contentLength) {
    QByteArray text = QByteArray("HTTP/1.1 ") + status + "\r\nConnection: close\r\n";
    if (contentLength)
        text += "Content-Type: application/json\r\nContent-Length: " +
                QByteArray::number(*contentLength) + "\r\n";
    return text + "\r\n";
}

void sendAndClose(QTcpSocket *socket, const QByteArray &bytes) {
    socket->write(bytes);
    socket->disconnectFromHost();
}

// Sends `body` one byte a second until it is all sent or the client goes away.
void drip(QTcpSocket *socket, const QByteArray &body) {
    auto *timer = new QTimer(socket);
    QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, body, sent = 0]() mutable {
        if (sent == body.size() || socket->state() != QAbstractSocket::ConnectedState) {
            timer->stop();
            return;
        }
        socket->write(body.mid(sent++, 1));
    });
    timer->start(1000);
}

} // namespace

ManifestServer::ManifestServer(SignedManifest manifest, QObject *parent)
    : QObject(parent)
    , m_manifest(std::move(manifest)) {
    EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost)) << m_server.errorString().toStdString();
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        }
    });
}

QUrl ManifestServer::address() const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1/manifest.json").arg(m_server.serverPort()));
}

QUrl ManifestServer::serveFile(const QByteArray &path, const QByteArray &body) {
    m_files.insert(path, body);
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2")
                    .arg(m_server.serverPort())
                    .arg(QString::fromUtf8(path)));
}

QUrl ManifestServer::base(const QByteArray &path) const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2")
                    .arg(m_server.serverPort())
                    .arg(QString::fromUtf8(path)));
}

void ManifestServer::read(QTcpSocket *socket) {
    // The request is whole once its head has ended and Content-Length bytes followed.
    QByteArray received = socket->property("received").toByteArray() + socket->readAll();
    socket->setProperty("received", received);
    const qsizetype end = received.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    const QList<QByteArray> lines = received.left(end).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    Request request{requestLine.value(0), requestLine.value(1), {}, {}};
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines.at(i).indexOf(':');
        if (colon > 0)
            request.headers.insert(lines.at(i).left(colon).trimmed().toLower(),
                                   lines.at(i).mid(colon + 1).trimmed());
    }
    const qsizetype length = request.headers.value("content-length").toLongLong();
    if (received.size() - end - 4 < length)
        return;
    request.body = received.mid(end + 4, length);
    m_requests.append(request);
    socket->disconnect(this);
    answer(socket, request.target);
}

void ManifestServer::answerScripted(QTcpSocket *socket, const Scripted &scripted) {
    const QByteArray head =
        "HTTP/1.1 " + QByteArray::number(scripted.status) +
        " Scripted\r\nConnection: close\r\nContent-Type: " + scripted.contentType +
        "\r\nContent-Length: " + QByteArray::number(scripted.body.size()) + "\r\n\r\n";
    switch (scripted.mode) {
    case Scripted::Mode::Answer:
        sendAndClose(socket, head + scripted.body);
        break;
    case Scripted::Mode::Close:
        socket->disconnectFromHost();
        break;
    case Scripted::Mode::Silence:
        break;
    case Scripted::Mode::Drip:
        socket->write(head);
        drip(socket, scripted.body);
        break;
    }
}

void ManifestServer::answer(QTcpSocket *socket, const QByteArray &target) {
    if (const auto scripted = m_scripts.constFind(target); scripted != m_scripts.cend())
        return answerScripted(socket, *scripted);
    const bool file = m_files.contains(target);
    const Answer answer = file ? m_fileAnswer : m_answer;
    const QByteArray &good = file ? m_files.value(target) : m_manifest.good;
    switch (answer) {
    case Answer::Good:
        sendAndClose(socket, head("200 OK", good.size()) + good);
        break;
    case Answer::Tampered:
    case Answer::Unsigned: {
        const QByteArray &body = file                         ? good
                                 : answer == Answer::Tampered ? m_manifest.tampered
                                                              : m_manifest.unsigned_;
        sendAndClose(socket, head("200 OK", body.size()) + body);
        break;
    }
    case Answer::NotModified:
        sendAndClose(socket, head("304 Not Modified", std::nullopt));
        break;
    case Answer::ServerError:
        sendAndClose(socket, head("500 Internal Server Error", 0));
        break;
    case Answer::NotJson: {
        const QByteArray page = "<html><body>Maintenance</body></html>";
        sendAndClose(socket, head("200 OK", page.size()) + page);
        break;
    }
    case Answer::CutShort:
        sendAndClose(socket, head("200 OK", good.size()) + good.left(good.size() / 2));
        break;
    case Answer::CutShortWithoutLength:
        sendAndClose(socket, head("200 OK", std::nullopt) + good.left(good.size() / 2));
        break;
    case Answer::Silence:
        break;
    case Answer::Stall: {
        // The body apart from the head: Qt reads body bytes that came with the head only when
        // more arrive.
        socket->write(head("200 OK", good.size()));
        const QByteArray half = good.left(good.size() / 2);
        QTimer::singleShot(100, socket, [socket, half] { socket->write(half); });
        break;
    }
    case Answer::RedirectAway:
        sendAndClose(socket, "HTTP/1.1 302 Found\r\nLocation: http://192.0.2.1/manifest.json\r\n"
                             "Content-Length: 0\r\nConnection: close\r\n\r\n");
        break;
    case Answer::Drip:
        socket->write(head("200 OK", good.size()));
        drip(socket, good);
        break;
    }
}

} // namespace quindle::test
