// A small HTTP/1.1 server on 127.0.0.1 for the tests of HTTP streams and
// requests. It runs on the test's own thread, so it answers while the test
// runs the event loop. Each path has a canned response; every request is
// recorded. One request per connection (the response says so).
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <CarbonCore/CarbonEventLoop.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct CannedResponse {
    int status = 200;
    std::string reason = "OK";
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // The body goes out in pieces of these sizes with a pause before each
    // further one (empty: at once); what the sizes leave over goes last.
    std::vector<size_t> pieces;
    int pauseMilliseconds = 30;
    // Announces `announcedExtra` more bytes than it sends, then hangs up.
    size_t announcedExtra = 0;
};

struct RecordedRequest {
    std::string method;
    std::string path;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
};

class LocalHTTPServer {
public:
    LocalHTTPServer()
    {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection())
                Serve(socket);
        });
    }

    quint16 Port() const { return server_.serverPort(); }
    std::string URL(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(Port()) + path; }

    void Route(const std::string& path, CannedResponse response) { routes_[path] = std::move(response); }
    const std::vector<RecordedRequest>& Requests() const { return requests_; }

    // A port on which nothing listens (it was free a moment ago).
    static quint16 ClosedPort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 port = probe.serverPort();
        probe.close();
        return port;
    }

private:
    void Serve(QTcpSocket* socket)
    {
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
            buffer->append(socket->readAll());
            const qsizetype headerEnd = buffer->indexOf("\r\n\r\n");
            if (headerEnd < 0)
                return;
            RecordedRequest request;
            const QList<QByteArray> lines = buffer->left(headerEnd).split('\n');
            const QList<QByteArray> start = lines.value(0).trimmed().split(' ');
            request.method = start.value(0).toStdString();
            request.path = start.value(1).toStdString();
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const qsizetype colon = lines[i].indexOf(':');
                if (colon > 0)
                    request.headers[lines[i].left(colon).trimmed().toLower().toStdString()] =
                        lines[i].mid(colon + 1).trimmed().toStdString();
            }
            const size_t length =
                std::stoul(request.headers.count("content-length") ? request.headers["content-length"] : "0");
            if (static_cast<size_t>(buffer->size() - headerEnd - 4) < length)
                return;
            request.body = buffer->mid(headerEnd + 4, static_cast<qsizetype>(length)).toStdString();
            buffer->clear();
            requests_.push_back(request);
            Respond(socket, request.path);
        });
    }

    void Respond(QTcpSocket* socket, const std::string& path)
    {
        auto route = routes_.find(path);
        CannedResponse response;
        if (route != routes_.end()) {
            response = route->second;
        } else {
            response.status = 404;
            response.reason = "Not Found";
            response.body = "no route";
        }
        std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " + response.reason + "\r\n";
        for (const auto& [name, value] : response.headers)
            head += name + ": " + value + "\r\n";
        head += "Content-Length: " + std::to_string(response.body.size() + response.announcedExtra) + "\r\n";
        head += "Connection: close\r\n\r\n";
        socket->write(head.data(), static_cast<qint64>(head.size()));

        std::vector<std::string> parts;
        size_t at = 0;
        for (size_t size : response.pieces) {
            parts.push_back(response.body.substr(at, size));
            at = std::min(response.body.size(), at + size);
        }
        parts.push_back(response.body.substr(at));
        WriteParts(socket, std::make_shared<std::vector<std::string>>(std::move(parts)), 0, response.pauseMilliseconds,
                   response.announcedExtra > 0);
    }

    static void WriteParts(QPointer<QTcpSocket> socket, std::shared_ptr<std::vector<std::string>> parts, size_t index,
                           int pause, bool hangUp)
    {
        if (!socket)
            return;
        const std::string& part = (*parts)[index];
        socket->write(part.data(), static_cast<qint64>(part.size()));
        socket->flush();
        if (index + 1 < parts->size()) {
            QTimer::singleShot(pause, socket, [=] { WriteParts(socket, parts, index + 1, pause, hangUp); });
            return;
        }
        if (hangUp)
            socket->abort();
        else
            socket->disconnectFromHost();
    }

    QTcpServer server_;
    std::map<std::string, CannedResponse> routes_;
    std::vector<RecordedRequest> requests_;
};

// One pass of the main event loop (timers, then Qt's events), then a short
// rest. Passes rather than timed runs: a timed run that starts late under a
// loaded machine can miss its own timeout and wait for ever.
inline void RunLoopPass()
{
    RunCurrentEventLoop(kEventDurationNoWait);
    QThread::msleep(2);
}

// Runs the main event loop until `done` holds or `seconds` have gone by;
// answers whether it held.
inline bool RunLoopUntil(const std::function<bool()>& done, double seconds = 20)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > seconds * 1000)
            return false;
        RunLoopPass();
    }
    return true;
}

// Runs the main event loop for a while, for checks that nothing more happens.
inline void RunLoopFor(double seconds)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000)
        RunLoopPass();
}

// The application the streams need: Qt's loop is what carries them.
class TestApplication {
public:
    TestApplication() : app_(argc_, argv_) {}
    // Qt's network thread frees what a finished or dropped transfer leaves
    // on its next turns; stopped with the application before that, it would
    // leave them behind for the leak checker.
    ~TestApplication() { RunLoopFor(0.2); }

private:
    int argc_ = 1;
    char name_[16] = "HTTPTests";
    char* argv_[2] = {name_, nullptr};
    QCoreApplication app_;
};
