#include "support/http/LoopbackHttpServer.h"

#include <QFile>
#include <QHostAddress>
#include <QPointer>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <stdexcept>

namespace testsupport {

namespace {

struct TestIdentity {
    QSslCertificate certificate;
    QSslKey key;
};

// A self-signed certificate for 127.0.0.1, made once per process.
const TestIdentity& testIdentity() {
    static const TestIdentity identity = [] {
        QTemporaryDir folder;
        if (!folder.isValid()) throw std::runtime_error("no temporary folder for the certificate");
        const QString keyPath = folder.filePath(QStringLiteral("key.pem"));
        const QString certificatePath = folder.filePath(QStringLiteral("certificate.pem"));
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                       QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                       QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                       QStringLiteral("-keyout"), keyPath, QStringLiteral("-out"), certificatePath,
                       QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                       QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                       QStringLiteral("subjectAltName=IP:127.0.0.1")});
        if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
            throw std::runtime_error("openssl could not make the test certificate: " +
                                     openssl.readAllStandardError().toStdString());
        QFile keyFile(keyPath);
        QFile certificateFile(certificatePath);
        if (!keyFile.open(QIODevice::ReadOnly) || !certificateFile.open(QIODevice::ReadOnly))
            throw std::runtime_error("cannot read the test certificate");
        TestIdentity made{QSslCertificate(certificateFile.readAll(), QSsl::Pem),
                          QSslKey(keyFile.readAll(), QSsl::Ec, QSsl::Pem)};
        if (made.certificate.isNull() || made.key.isNull())
            throw std::runtime_error("the test certificate cannot be loaded");
        return made;
    }();
    return identity;
}

QByteArray reasonOf(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 204:
            return "No Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 307:
            return "Temporary Redirect";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        default:
            return "Status";
    }
}

}  // namespace

ScriptedAnswer ScriptedAnswer::json(QByteArray body, int status) {
    ScriptedAnswer answer;
    answer.status = status;
    answer.body = std::move(body);
    return answer;
}

ScriptedAnswer ScriptedAnswer::redirect(const QUrl& to, int status) {
    ScriptedAnswer answer;
    answer.status = status;
    answer.headers.append({"Location", to.toEncoded()});
    return answer;
}

QByteArray RecordedRequest::header(const QByteArray& lowerCaseName) const {
    for (const auto& [name, value] : headers)
        if (name == lowerCaseName) return value;
    return {};
}

struct LoopbackHttpServer::Connection {
    QPointer<QTcpSocket> socket;
    QByteArray buffer;
    bool answered = false;
};

LoopbackHttpServer::LoopbackHttpServer(Mode mode) : mode_(mode) {
    defaultAnswer_ = ScriptedAnswer::json("{}");
    if (mode_ == Mode::https) {
        const TestIdentity& identity = testIdentity();
        auto* sslServer = new QSslServer(this);
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificate(identity.certificate);
        configuration.setPrivateKey(identity.key);
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        sslServer->setSslConfiguration(configuration);
        server_ = sslServer;
    } else {
        server_ = new QTcpServer(this);
    }
    connect(server_, &QTcpServer::pendingConnectionAvailable, this, &LoopbackHttpServer::accept);
    if (!server_->listen(QHostAddress::LocalHost, 0))
        throw std::runtime_error("the test server cannot listen: " +
                                 server_->errorString().toStdString());
}

LoopbackHttpServer::~LoopbackHttpServer() = default;

QUrl LoopbackHttpServer::url(const QString& pathAndQuery) const {
    const QString scheme = mode_ == Mode::https ? QStringLiteral("https") : QStringLiteral("http");
    return QUrl(QStringLiteral("%1://127.0.0.1:%2%3")
                    .arg(scheme)
                    .arg(server_->serverPort())
                    .arg(pathAndQuery));
}

void LoopbackHttpServer::enqueue(ScriptedAnswer answer) {
    script_.push_back(std::move(answer));
}

void LoopbackHttpServer::setDefaultAnswer(ScriptedAnswer answer) {
    defaultAnswer_ = std::move(answer);
}

void LoopbackHttpServer::accept() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        socket->setParent(this);
        auto connection = std::make_shared<Connection>();
        connection->socket = socket;
        connect(socket, &QTcpSocket::readyRead, this, [this, connection] { readFrom(connection); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        readFrom(connection);
    }
}

void LoopbackHttpServer::readFrom(const std::shared_ptr<Connection>& connection) {
    QTcpSocket* socket = connection->socket;
    if (!socket || connection->answered) return;
    connection->buffer += socket->readAll();
    const qsizetype headerEnd = connection->buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0) return;

    RecordedRequest request;
    const QList<QByteArray> lines = connection->buffer.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    request.target = requestLine.value(1);
    qsizetype contentLength = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon < 0) continue;
        const QByteArray name = lines[i].left(colon).trimmed().toLower();
        const QByteArray value = lines[i].mid(colon + 1).trimmed();
        request.headers.append({name, value});
        if (name == "content-length") contentLength = value.toLongLong();
    }
    const qsizetype bodyStart = headerEnd + 4;
    if (connection->buffer.size() - bodyStart < contentLength) return;
    request.body = connection->buffer.mid(bodyStart, contentLength);
    connection->answered = true;
    requests_.push_back(std::move(request));

    ScriptedAnswer next = defaultAnswer_;
    if (!script_.empty()) {
        next = std::move(script_.front());
        script_.pop_front();
    }
    ++pending_;
    if (next.delay.count() > 0) {
        QPointer<QTcpSocket> guarded = socket;
        QTimer::singleShot(next.delay, this, [this, guarded, next] {
            --pending_;
            if (guarded) answer(guarded, next);
        });
    } else {
        --pending_;
        answer(socket, next);
    }
}

void LoopbackHttpServer::answer(QTcpSocket* socket, const ScriptedAnswer& scripted) {
    if (scripted.closeWithoutAnswer) {
        socket->abort();
        return;
    }
    QByteArray head = "HTTP/1.1 " + QByteArray::number(scripted.status) + ' ' +
                      reasonOf(scripted.status) + "\r\nConnection: close\r\n";
    if (!scripted.contentType.isEmpty()) head += "Content-Type: " + scripted.contentType + "\r\n";
    if (!scripted.endlessBody)
        head += "Content-Length: " + QByteArray::number(scripted.body.size()) + "\r\n";
    for (const auto& [name, value] : scripted.headers)
        head += name + ": " + value + "\r\n";
    head += "\r\n";
    socket->write(head);
    if (!scripted.endlessBody) {
        socket->write(scripted.body);
        socket->disconnectFromHost();
        return;
    }
    // Keeps about 64 KiB in the socket's buffer until the client hangs up.
    const QByteArray chunk = scripted.body.isEmpty() ? QByteArray(64 * 1024, 'x') : scripted.body;
    auto pump = [socket, chunk] {
        while (socket->state() == QAbstractSocket::ConnectedState &&
               socket->bytesToWrite() < 64 * 1024)
            socket->write(chunk);
    };
    connect(socket, &QTcpSocket::bytesWritten, socket, pump);
    if (auto* sslSocket = qobject_cast<QSslSocket*>(socket))
        connect(sslSocket, &QSslSocket::encryptedBytesWritten, sslSocket, pump);
    pump();
}

void trustTestCertificate() {
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    const QSslCertificate& certificate = testIdentity().certificate;
    if (configuration.caCertificates().contains(certificate)) return;
    configuration.addCaCertificate(certificate);
    QSslConfiguration::setDefaultConfiguration(configuration);
}

}  // namespace testsupport
