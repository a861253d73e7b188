#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>

namespace quorel::test {

// A loopback HTTP server for the update check: answers every GET with the response set up
// beforehand, or not at all, and records the requests it saw.
class FeedServer : public QObject {
    Q_OBJECT
public:
    struct Request {
        QByteArray method;
        QByteArray target;
        QByteArray head;  // the whole request head
    };

    FeedServer();
    quint16 port() const { return server_.serverPort(); }
    QString url() const;

    // The response to send: status line code, body, and whether to answer at all.
    void respond(int status, QByteArray body)
    {
        status_ = status;
        body_ = std::move(body);
        silent_ = false;
    }
    void stayQuiet() { silent_ = true; }
    // Called when a request arrives, before it is answered.
    std::function<void(const Request&)> onRequest;

    const QList<Request>& requests() const { return requests_; }

private:
    void serve(QTcpSocket* socket);

    QTcpServer server_;
    int status_ = 200;
    QByteArray body_;
    bool silent_ = false;
    QList<Request> requests_;
};

}  // namespace quorel::test
