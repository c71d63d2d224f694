#include "toolbox/gui/SingleInstance.h"

#include "toolbox/gui/App.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QStringList>
#include <QThread>
#include <QTimer>

#include <memory>

namespace {

constexpr int kFrameHeader = 6; // tag (4 bytes) and length (2 bytes), big-endian
constexpr int kConnectAttempts = 100;
constexpr int kConnectWaitMs = 50;
constexpr int kWriteWaitMs = 5000;

struct Guard {
    std::string name;
    std::unique_ptr<QLockFile> lock;
    std::unique_ptr<QLocalServer> server;
};

Guard& guard() {
    static Guard g;
    return g;
}

std::vector<AppRequest>& queue() {
    static std::vector<AppRequest> q;
    return q;
}

std::function<void(std::uint32_t, std::string_view)>& pieceObserver() {
    static std::function<void(std::uint32_t, std::string_view)> f;
    return f;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isPrintSwitch(std::string_view word) {
    return word.size() == 2 && word[0] == '-' && (word[1] == 'p' || word[1] == 'P');
}

std::string fullPath(std::string_view word) {
    QString path = QString::fromLocal8Bit(word.data(), static_cast<qsizetype>(word.size()));
    return QFileInfo(path).absoluteFilePath().toLocal8Bit().toStdString();
}

QString runtimeFolder() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    QDir().mkpath(dir);
    return dir;
}

std::string resolvedName(const char* name) {
    QByteArray over = qgetenv(kGuardNameVariable);
    if (!over.isEmpty()) return over.toStdString();
    return name ? name : "";
}

QString lockPath(const std::string& name) {
    return runtimeFolder() + '/' + QString::fromStdString(name) + ".lock";
}

QString socketPath(const std::string& name) {
    return runtimeFolder() + '/' + QString::fromStdString(name) + ".socket";
}

void scheduleDelivery() {
    QTimer::singleShot(0, QCoreApplication::instance(), [] { DeliverAppRequests(); });
}

// Reads the frames a second instance sends; one assembler per connection.
void serveConnection(QLocalSocket* socket) {
    auto assembler = std::make_shared<CommandLineAssembler>();
    auto pending = std::make_shared<QByteArray>();
    QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, assembler, pending] {
        pending->append(socket->readAll());
        bool queued = false;
        while (pending->size() >= kFrameHeader) {
            auto byte = [&](int i) { return static_cast<std::uint8_t>(pending->at(i)); };
            std::uint32_t tag =
                (std::uint32_t(byte(0)) << 24) | (byte(1) << 16) | (byte(2) << 8) | byte(3);
            int length = (byte(4) << 8) | byte(5);
            if (pending->size() < kFrameHeader + length) break;
            const std::string text =
                pending->mid(kFrameHeader, std::min(length, kMaxReceivedPiece)).toStdString();
            pending->remove(0, kFrameHeader + length);
            if (pieceObserver()) pieceObserver()(tag, text);
            std::string line;
            if (assembler->add(tag, text, &line)) {
                QueueCommandLine(line);
                queued = true;
            }
        }
        if (queued) scheduleDelivery();
    });
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
}

bool sendToFirstInstance(const std::string& name, const std::string& line) {
    QLocalSocket socket;
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        socket.connectToServer(socketPath(name));
        if (socket.waitForConnected(kConnectWaitMs)) break;
        // The first instance holds the lock but may not listen yet.
        QThread::msleep(kConnectWaitMs);
    }
    if (socket.state() != QLocalSocket::ConnectedState) return false;
    QByteArray frames;
    for (const CommandPiece& piece : SplitCommandLine(line)) {
        const char header[kFrameHeader] = {char(piece.tag >> 24),        char(piece.tag >> 16),
                                           char(piece.tag >> 8),         char(piece.tag),
                                           char(piece.text.size() >> 8), char(piece.text.size())};
        frames.append(header, kFrameHeader);
        frames.append(piece.text.data(), static_cast<qsizetype>(piece.text.size()));
    }
    socket.write(frames);
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(kWriteWaitMs)) return false;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(kWriteWaitMs);
    return true;
}

} // namespace

std::vector<CommandPiece> SplitCommandLine(std::string_view line) {
    std::vector<CommandPiece> pieces;
    if (line.size() <= kMaxPieceLength) {
        pieces.push_back({kPieceWhole, std::string(line)});
        return pieces;
    }
    for (std::size_t at = 0; at < line.size(); at += kMaxPieceLength) {
        std::uint32_t tag = kPieceMiddle;
        if (at == 0)
            tag = kPieceFirst;
        else if (at + kMaxPieceLength >= line.size())
            tag = kPieceLast;
        pieces.push_back({tag, std::string(line.substr(at, kMaxPieceLength))});
    }
    return pieces;
}

bool CommandLineAssembler::add(std::uint32_t tag, std::string_view text, std::string* line) {
    if ((tag & 0xFFFF0000) != kPieceTag) return false;
    std::uint32_t flags = tag & 3;
    if (flags & 1) buffer_.clear();
    buffer_.append(text);
    if (!(flags & 2)) return false;
    if (line) *line = std::move(buffer_);
    buffer_.clear();
    return true;
}

std::vector<AppRequest> ParseCommandLine(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, inWord = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (isBlank(c) && !quoted) {
            if (inWord && !word.empty()) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (!word.empty()) words.push_back(word);

    std::vector<AppRequest> requests;
    bool print = false;
    for (std::size_t i = 1; i < words.size(); ++i) {
        if (isPrintSwitch(words[i])) {
            print = true;
            continue;
        }
        requests.push_back(
            {print ? AppRequest::printDocument : AppRequest::openDocument, fullPath(words[i])});
    }
    return requests;
}

std::string BuildCommandLine(const QStringList& arguments) {
    std::string line;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        std::string word = arguments[i].toLocal8Bit().toStdString();
        if (i > 0 && !isPrintSwitch(word)) word = fullPath(word);
        if (i > 0) line += ' ';
        bool quote = word.empty() || word.find_first_of(" \t") != std::string::npos;
        if (quote) line += '"';
        line += word;
        if (quote) line += '"';
    }
    return line;
}

bool RunSingleInstanceGuard(const char* name, const QStringList& arguments) {
    Guard& g = guard();
    std::string resolved = resolvedName(name);
    std::string line = BuildCommandLine(arguments);
    auto lock = std::make_unique<QLockFile>(lockPath(resolved));
    lock->setStaleLockTime(0); // only a lock whose process has ended is stale
    if (!lock->tryLock(0)) {
        if (lock->error() == QLockFile::LockFailedError) {
            sendToFirstInstance(resolved, line);
            return false;
        }
        // The runtime folder cannot hold a lock: run without a guard.
        lock.reset();
    }
    g.name = resolved;
    g.lock = std::move(lock);
    QString path = socketPath(resolved);
    QLocalServer::removeServer(path); // left over by an instance that ended without cleaning up
    g.server = std::make_unique<QLocalServer>();
    g.server->setSocketOptions(QLocalServer::UserAccessOption);
    QObject::connect(g.server.get(), &QLocalServer::newConnection, g.server.get(), [] {
        while (QLocalSocket* socket = guard().server->nextPendingConnection())
            serveConnection(socket);
    });
    g.server->listen(path);
    QueueAppRequest({AppRequest::openApplication, {}});
    QueueCommandLine(line);
    scheduleDelivery();
    return true;
}

void ReleaseSingleInstanceGuard() {
    Guard& g = guard();
    if (g.server) g.server->close();
    g.server.reset();
    g.lock.reset(); // unlocks
    g.name.clear();
    queue().clear();
}

std::string SingleInstanceGuardName() {
    return guard().name;
}

void QueueAppRequest(const AppRequest& request) {
    auto& q = queue();
    if (request.kind == AppRequest::openDocument)
        std::erase_if(q, [](const AppRequest& r) { return r.kind == AppRequest::openApplication; });
    q.push_back(request);
}

void QueueCommandLine(std::string_view line) {
    for (const AppRequest& r : ParseCommandLine(line))
        QueueAppRequest(r);
}

const std::vector<AppRequest>& PendingAppRequests() {
    return queue();
}

void DeliverAppRequests() {
    // A handler may open windows and run the event loop; take the requests out first.
    std::vector<AppRequest> requests;
    requests.swap(queue());
    for (const AppRequest& r : requests) {
        if (r.kind != AppRequest::openDocument) continue; // no handler is installed for these
        QueueOpenDocument(r.path.c_str());                // brings the frame forward first
    }
}

void SetCommandPieceObserver(std::function<void(std::uint32_t, std::string_view)> observer) {
    pieceObserver() = std::move(observer);
}
