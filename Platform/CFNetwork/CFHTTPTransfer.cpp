#include "CFHTTPTransfer.h"

#include <CoreFoundation/CFStringUTF8.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QThread>
#include <QUrl>

#include <cerrno>

#include <netdb.h>

namespace {

constexpr qint64 kReadBufferSize = qint64(1) << 20;

// Loopback hosts never go through a proxy: a proxy elsewhere cannot reach
// this machine's own services. Everything else uses the system's settings.
class LoopbackDirectProxyFactory final : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override
    {
        const QString host = query.peerHostName();
        if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
            host.endsWith(QLatin1String(".localhost"), Qt::CaseInsensitive) || QHostAddress(host).isLoopback())
            return {QNetworkProxy(QNetworkProxy::NoProxy)};
        return systemProxyForQuery(query);
    }
};

bool OnApplicationThread()
{
    QCoreApplication* application = QCoreApplication::instance();
    return application != nullptr && application->thread() == QThread::currentThread();
}

// One manager for the application, made on first use and gone with it (a
// later application gets a new one). Going with the application matters:
// the manager's network thread must stop while the rest of Qt is still
// there.
QNetworkAccessManager* Manager()
{
    static QPointer<QNetworkAccessManager> manager;
    if (manager.isNull()) {
        manager = new QNetworkAccessManager(QCoreApplication::instance());
        manager->setProxyFactory(new LoopbackDirectProxyFactory);
        manager->setAutoDeleteReplies(false);
    }
    return manager;
}

// Whether an error only restates the status of a response that arrived
// whole (Qt reports 4xx and 5xx responses as errors; to the stream they are
// responses like any other).
bool RestatesStatus(QNetworkReply::NetworkError code, const QVariant& status)
{
    if (!status.isValid() || status.toInt() < 400)
        return false;
    return (code >= QNetworkReply::ContentAccessDenied && code <= QNetworkReply::UnknownContentError) ||
           (code >= QNetworkReply::InternalServerError && code <= QNetworkReply::UnknownServerError) ||
           code == QNetworkReply::ProtocolInvalidOperationError ||
           code == QNetworkReply::ProxyAuthenticationRequiredError;
}

CFStreamError StreamError(QNetworkReply::NetworkError code, bool certificateRejected)
{
    switch (code) {
    case QNetworkReply::NoError:
        return {0, 0};
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::ProxyConnectionRefusedError:
        return {kCFStreamErrorDomainPOSIX, ECONNREFUSED};
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::ProxyConnectionClosedError:
        return {kCFStreamErrorDomainPOSIX, ECONNRESET};
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::ProxyNotFoundError:
        return {kCFStreamErrorDomainNetDB, EAI_NONAME};
    case QNetworkReply::TimeoutError:
    case QNetworkReply::ProxyTimeoutError:
        return {kCFStreamErrorDomainPOSIX, ETIMEDOUT};
    case QNetworkReply::OperationCanceledError:
        return {kCFStreamErrorDomainPOSIX, ECANCELED};
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::BackgroundRequestNotAllowedError:
        return {kCFStreamErrorDomainPOSIX, ENETDOWN};
    case QNetworkReply::SslHandshakeFailedError:
        return {kCFStreamErrorDomainSSL, certificateRejected ? errSSLXCertChainInvalid : errSSLProtocol};
    case QNetworkReply::TooManyRedirectsError:
        return {kCFStreamErrorDomainHTTP, kCFStreamErrorHTTPRedirectionLoop};
    case QNetworkReply::InsecureRedirectError:
    case QNetworkReply::ProtocolUnknownError:
        return {kCFStreamErrorDomainHTTP, kCFStreamErrorHTTPBadURL};
    case QNetworkReply::ProtocolFailure:
        return {kCFStreamErrorDomainHTTP, kCFStreamErrorHTTPParseFailure};
    default:
        return {kCFStreamErrorDomainPOSIX, EIO};
    }
}

// Header bytes as the messages keep them: UTF-8, and anything else read as
// Latin-1 (the older rule of HTTP).
std::string HeaderText(const QByteArray& bytes)
{
    const std::string raw = bytes.toStdString();
    CFStringRef utf8 = CFStringCreateWithUTF8(raw);
    if (utf8 != nullptr) {
        CFRelease(utf8);
        return raw;
    }
    return QString::fromLatin1(bytes).toStdString();
}

QByteArray Bytes(const std::string& text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

bool IsHeaderWeSet(const std::string& name)
{
    const QByteArray lower = Bytes(name).toLower();
    return lower == "content-length" || lower == "host";
}

}  // namespace

// Lives on the application's thread beside its reply, as a child of the
// manager, so that it goes with the application; the transfer detaches it
// when it goes first, and it then goes too.
class CFHTTPTransfer::Relay final : public QObject {
public:
    Relay(QObject* parent, QNetworkReply* networkReply, std::function<void()> changedCallback)
        : QObject(parent), reply(networkReply), changed(std::move(changedCallback))
    {
        connect(reply, &QNetworkReply::readyRead, this, &Relay::Post);
        connect(reply, &QNetworkReply::finished, this, &Relay::Post);
#if QT_CONFIG(ssl)
        connect(reply, &QNetworkReply::sslErrors, this, [this] { certificateRejected = true; });
#endif
    }

    void Post()
    {
        if (posted || !changed)
            return;
        posted = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                posted = false;
                // The transfer may be gone by now; then so is the callback.
                if (changed) {
                    auto call = changed;
                    call();
                }
            },
            Qt::QueuedConnection);
    }

    // The transfer is going: nothing more is reported, the reply stops.
    void Detach()
    {
        changed = nullptr;
        if (reply) {
            reply->disconnect(this);
            reply->abort();
            reply->deleteLater();
        }
        deleteLater();
    }

    QPointer<QNetworkReply> reply;
    std::function<void()> changed;
    bool posted = false;
    bool certificateRejected = false;
};

struct CFHTTPTransfer::Handle {
    QPointer<Relay> relay;
};

CFHTTPTransfer::CFHTTPTransfer(Relay* relay) : handle_(new Handle{relay}) {}

CFHTTPTransfer::~CFHTTPTransfer()
{
    if (Relay* relay = handle_->relay.data())
        relay->Detach();
}

CFHTTPTransfer::Relay* CFHTTPTransfer::Live() const
{
    Relay* relay = handle_->relay.data();
    return relay != nullptr && relay->reply ? relay : nullptr;
}

std::unique_ptr<CFHTTPTransfer> CFHTTPTransfer::Start(const CFHTTPMessageObject& request, bool followRedirects,
                                                      std::function<void()> changed, CFStreamError* error)
{
    // The manager's replies report through the event loop of the thread
    // that made them, and only the application's thread runs Qt's loop.
    if (!OnApplicationThread()) {
        *error = {kCFStreamErrorDomainPOSIX, ENOTSUP};
        return nullptr;
    }
    const QUrl url(QString::fromStdString(CFStringToUTF8(CFURLGetString(request.url))), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        *error = {kCFStreamErrorDomainHTTP, kCFStreamErrorHTTPBadURL};
        return nullptr;
    }

    QNetworkRequest networkRequest(url);
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                followRedirects ? QNetworkRequest::NoLessSafeRedirectPolicy
                                                : QNetworkRequest::ManualRedirectPolicy);
    // The message asks for HTTP/1.x.
    networkRequest.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    for (const auto& [name, value] : request.headers)
        if (!IsHeaderWeSet(name))
            networkRequest.setRawHeader(Bytes(name), Bytes(value));

    QNetworkAccessManager* manager = Manager();
    const QByteArray method = Bytes(request.method);
    QNetworkReply* reply;
    if (method == "GET" && !request.hasBody)
        reply = manager->get(networkRequest);
    else if (method == "HEAD" && !request.hasBody)
        reply = manager->head(networkRequest);
    else
        reply = manager->sendCustomRequest(networkRequest, method,
                                           QByteArray(reinterpret_cast<const char*>(request.body.data()),
                                                      static_cast<qsizetype>(request.body.size())));
    // What the client has not read waits at the server, not here: the reply
    // stops taking bytes from the connection once this much is buffered, so
    // a body nobody reads costs no more memory than this, however large.
    reply->setReadBufferSize(kReadBufferSize);
    *error = {0, 0};
    return std::unique_ptr<CFHTTPTransfer>(new CFHTTPTransfer(new Relay(manager, reply, std::move(changed))));
}

bool CFHTTPTransfer::OnItsThread() const
{
    Relay* relay = handle_->relay.data();
    return relay != nullptr && relay->thread() == QThread::currentThread();
}

CFIndex CFHTTPTransfer::BytesAvailable() const
{
    Relay* relay = Live();
    return relay ? static_cast<CFIndex>(relay->reply->bytesAvailable()) : 0;
}

CFIndex CFHTTPTransfer::Read(UInt8* buffer, CFIndex length)
{
    Relay* relay = Live();
    if (relay == nullptr)
        return 0;
    const qint64 count = relay->reply->read(reinterpret_cast<char*>(buffer), length);
    return count < 0 ? 0 : static_cast<CFIndex>(count);
}

bool CFHTTPTransfer::IsFinished() const
{
    Relay* relay = Live();
    return relay == nullptr || relay->reply->isFinished();
}

CFStreamError CFHTTPTransfer::Error() const
{
    Relay* relay = Live();
    if (relay == nullptr)  // the application went while the transfer ran
        return {kCFStreamErrorDomainPOSIX, ECANCELED};
    if (!relay->reply->isFinished())
        return {0, 0};
    const QNetworkReply::NetworkError code = relay->reply->error();
    if (RestatesStatus(code, relay->reply->attribute(QNetworkRequest::HttpStatusCodeAttribute)))
        return {0, 0};
    return StreamError(code, relay->certificateRejected);
}

void CFHTTPTransfer::WaitForProgress()
{
    Relay* relay = Live();
    if (relay == nullptr || relay->reply->isFinished() || relay->reply->bytesAvailable() > 0)
        return;
    QEventLoop loop;
    QObject::connect(relay->reply, &QNetworkReply::readyRead, &loop, &QEventLoop::quit);
    QObject::connect(relay->reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(relay->reply, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec();
}

void CFHTTPTransfer::PostChanged()
{
    if (Relay* relay = Live())
        relay->Post();
}

CFHTTPMessageRef CFHTTPTransfer::CopyResponseHeader() const
{
    Relay* relay = Live();
    if (relay == nullptr)
        return nullptr;
    const QVariant status = relay->reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return nullptr;
    const std::string reason =
        HeaderText(relay->reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray());
    CFStringRef reasonText = CFStringCreateWithUTF8(reason);
    CFHTTPMessageRef response = CFHTTPMessageCreateResponse(nullptr, status.toInt(), reasonText, kCFHTTPVersion1_1);
    CFRelease(reasonText);
    if (response == nullptr)
        return nullptr;
    auto* message = const_cast<CFHTTPMessageObject*>(CFHTTPMessageObjectOf(response));
    for (const auto& [name, value] : relay->reply->rawHeaderPairs())
        message->headers.emplace_back(HeaderText(name), HeaderText(value));
    return response;
}

CFURLRef CFHTTPTransfer::CopyFinalURL() const
{
    Relay* relay = Live();
    if (relay == nullptr)
        return nullptr;
    const QByteArray text = relay->reply->url().toEncoded();
    CFStringRef string = CFStringCreateWithUTF8(text.toStdString());
    CFURLRef url = CFURLCreateWithString(nullptr, string, nullptr);
    CFRelease(string);
    return url;
}
