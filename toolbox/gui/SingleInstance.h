// Single instance and the command line.
//
// The guard is a lock file in the user's runtime directory, named after the guard name; the
// first instance holding it listens on a local socket of the same name. A second instance
// sends its command line there in pieces of at most 200 characters, each tagged
// 0xFEED0000 + 1 (first piece), + 2 (last piece) or + 3 (one piece holding the whole line),
// and then ends with exit code 1. The first instance reassembles the pieces and parses the
// line: words separated by blanks, double quotes group blanks into one word and are dropped, the
// first word (the program) is skipped, a word "-p" (any case) turns every later word into a
// print request; every other word becomes a full path and an open-document request.
//
// Requests wait in a queue until DeliverAppRequests hands them to the application: an
// open-document request goes to QueueOpenDocument (App.h), which brings the frame to the front
// (restoring it when minimised) before the open document handler runs; open-application and
// print requests have no handler and are dropped. Queuing an open-document request removes a
// pending open-application request.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <QtContainerFwd>

constexpr std::uint32_t kPieceTag = 0xFEED0000;
constexpr std::uint32_t kPieceFirst = kPieceTag + 1;
constexpr std::uint32_t kPieceLast = kPieceTag + 2;
constexpr std::uint32_t kPieceWhole = kPieceTag + 3;
constexpr std::uint32_t kPieceMiddle = kPieceTag; // neither first nor last
constexpr int kMaxPieceLength = 200;
constexpr int kMaxReceivedPiece = 256; // characters of a piece the receiver keeps

// When set, this environment variable replaces the guard name (parallel test runs use it).
constexpr const char* kGuardNameVariable = "OK_INSTANCE_GUARD";

struct CommandPiece {
    std::uint32_t tag;
    std::string text;
};

struct AppRequest {
    enum Kind : std::uint8_t { openApplication, openDocument, printDocument };
    Kind kind;
    std::string path;
    friend bool operator==(const AppRequest&, const AppRequest&) = default;
};

// Cuts a command line into tagged pieces of at most kMaxPieceLength characters. An empty line
// is one whole, empty piece.
std::vector<CommandPiece> SplitCommandLine(std::string_view line);

// Reassembles pieces: a first (or whole) piece starts a new line, any other piece is appended.
class CommandLineAssembler {
public:
    // True when the piece completed a line, which is then stored in *line.
    bool add(std::uint32_t tag, std::string_view text, std::string* line);

private:
    std::string buffer_;
};

// The requests a command line makes (the program word skipped; paths made full).
std::vector<AppRequest> ParseCommandLine(std::string_view line);
// A command line built from program arguments: arguments after the program are made full
// paths (except "-p") and quoted when they hold a blank.
std::string BuildCommandLine(const QStringList& arguments);

// Runs the guard with name (or the name in kGuardNameVariable). In the first instance it takes
// the lock, listens, queues the open-application request and the requests of its own command
// line, and returns true. In a second instance it sends the command line to the first and
// returns false; the caller then ends the process with exit code 1.
bool RunSingleInstanceGuard(const char* name, const QStringList& arguments);
// Stops listening and releases the lock (at quit, and between tests).
void ReleaseSingleInstanceGuard();
// The resolved guard name of the running guard (empty when none runs).
std::string SingleInstanceGuardName();

// The request queue.
void QueueAppRequest(const AppRequest& request);
void QueueCommandLine(std::string_view line);
const std::vector<AppRequest>& PendingAppRequests();
// Hands every queued request to the application's handlers, oldest first.
void DeliverAppRequests();

// Tests: sees every piece the first instance receives, before reassembly.
void SetCommandPieceObserver(std::function<void(std::uint32_t tag, std::string_view)> observer);
