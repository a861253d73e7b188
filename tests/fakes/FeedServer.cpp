#include "FeedServer.h"

#include <QHostAddress>

namespace quorel::test {

FeedServer::FeedServer()
{
    server_.listen(QHostAddress::LocalHost);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            socket->setParent(this);
            auto buffer = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                *buffer += socket->readAll();
                const qsizetype end = buffer->indexOf("\r\n\r\n");
                if (end < 0) return;
                const QByteArray head = buffer->left(end);
                buffer->remove(0, end + 4);
                const QList<QByteArray> words = head.left(head.indexOf("\r\n")).split(' ');
                requests_.append({words.value(0), words.value(1), head});
                if (onRequest) onRequest(requests_.last());
                serve(socket);
            });
        }
    });
}

QString FeedServer::url() const { return QStringLiteral("http://127.0.0.1:%1/updates/appcast.json").arg(port()); }

void FeedServer::serve(QTcpSocket* socket)
{
    if (silent_) return;
    QByteArray response = "HTTP/1.1 " + QByteArray::number(status_) + " Status\r\n";
    if (status_ != 304)
        response += "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body_.size()) + "\r\n";
    response += "Connection: close\r\n\r\n";
    if (status_ != 304) response += body_;
    socket->write(response);
    socket->disconnectFromHost();
}

}  // namespace quorel::test
