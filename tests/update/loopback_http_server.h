// A small HTTP/1.1 server on a loopback address for the update tests. It runs on a thread of its
// own, so it answers while the test's thread sits in a modal loop; it serves fixed answers by
// path, records every request target, and can hold a connection without ever answering.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QMap>
#include <QString>
#include <QStringList>

#include <future>
#include <memory>
#include <mutex>
#include <utility>

class QEventLoop;
class QTcpSocket;
class QThread;

class LoopbackHttpServer {
public:
    struct Answer {
        int status = 200;
        QByteArray body{};
        QByteArray extraHeaders{}; // whole lines, each ending in "\r\n"
        bool never = false;        // read the request, then never answer
        int byteDelayMs = 0;       // > 0: the body goes out a byte at a time, this far apart
        bool noLength = false;     // no Content-Length: the body ends where the connection does

        static Answer Body(QByteArray body, int status = 200) { return {status, std::move(body)}; }
        static Answer Redirect(const QByteArray& to)
        {
            return {302, {}, "Location: " + to + "\r\n"};
        }
        static Answer Never() { return {.never = true}; }
        static Answer Slow(QByteArray body, int ms)
        {
            return {200, std::move(body), {}, false, ms};
        }
    };

    // A second server on 127.0.0.2 is "another host" to the first.
    explicit LoopbackHttpServer(const QHostAddress& address = QHostAddress::LocalHost);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    QString Base() const; // "http://ADDRESS:PORT"
    quint16 Port() const { return m_port; }
    // Answers requests for path (the target without its query); unknown paths get 404.
    void Serve(const QString& path, const Answer& answer);
    // Request targets (path and query) in the order they arrived.
    QStringList Requests() const;

private:
    void Run(const QHostAddress& address, std::promise<quint16>* ready);
    void Respond(QTcpSocket* socket, const QByteArray& target);

    std::unique_ptr<QThread> m_thread;
    QEventLoop* m_loop = nullptr; // lives on m_thread's stack while it runs
    QString m_address;
    quint16 m_port = 0;
    mutable std::mutex m_mutex;
    QMap<QString, Answer> m_answers;
    QStringList m_requests;
};
