// The loopback server's thread runs its own event loop; answers and requests sit behind one mutex.
#include "loopback_http_server.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

LoopbackHttpServer::LoopbackHttpServer(const QHostAddress& address) : m_address(address.toString())
{
    std::promise<quint16> ready;
    std::future<quint16> port = ready.get_future();
    m_thread.reset(QThread::create([this, &ready, address] { Run(address, &ready); }));
    m_thread->start();
    m_port = port.get();
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    // A posted event rather than a queued call: the test support tells ThreadSanitizer about
    // posted events, while a queued call's hand-over stays inside Qt where it cannot see it.
    QCoreApplication::postEvent(m_loop, new QEvent(QEvent::Quit));
    m_thread->wait();
}

QString LoopbackHttpServer::Base() const
{
    return QStringLiteral("http://%1:%2").arg(m_address).arg(m_port);
}

void LoopbackHttpServer::Serve(const QString& path, const Answer& answer)
{
    const std::lock_guard lock(m_mutex);
    m_answers.insert(path, answer);
}

QStringList LoopbackHttpServer::Requests() const
{
    const std::lock_guard lock(m_mutex);
    return m_requests;
}

void LoopbackHttpServer::Run(const QHostAddress& address, std::promise<quint16>* ready)
{
    QEventLoop loop;
    QTcpServer server;
    if (address.isLoopback())
        server.listen(address, 0);
    QObject::connect(&server, &QTcpServer::newConnection, &server, [this, &server] {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            auto request = std::make_shared<QByteArray>(); // one request per connection
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, request] {
                if (request->contains("\r\n\r\n"))
                    return;
                request->append(socket->readAll());
                if (request->contains("\r\n\r\n"))
                    Respond(socket, request->left(request->indexOf("\r\n")).split(' ').value(1));
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    m_loop = &loop;
    ready->set_value(server.serverPort());
    loop.exec();
}

void LoopbackHttpServer::Respond(QTcpSocket* socket, const QByteArray& target)
{
    const QString text = QString::fromLatin1(target);
    const QString path = text.left(text.indexOf(u'?'));
    Answer answer;
    {
        const std::lock_guard lock(m_mutex);
        m_requests.append(text);
        answer = m_answers.value(path, Answer::Body("not found\n", 404));
    }
    if (answer.never)
        return;
    const QByteArray length =
        answer.noLength ? QByteArray()
                        : "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
    socket->write("HTTP/1.1 " + QByteArray::number(answer.status) + " X\r\n" + length +
                  "Connection: close\r\n" + answer.extraHeaders + "\r\n");
    if (answer.byteDelayMs <= 0) {
        socket->write(answer.body);
        socket->disconnectFromHost();
        return;
    }
    auto* timer = new QTimer(socket);
    auto sent = std::make_shared<qsizetype>(0);
    QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, sent, answer] {
        socket->write(answer.body.mid((*sent)++, 1));
        if (*sent >= answer.body.size()) {
            timer->stop();
            socket->disconnectFromHost();
        }
    });
    timer->start(answer.byteDelayMs);
}
