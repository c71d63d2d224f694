// The single-instance guard: pieces, reassembly, parsing, the request queue, and the handover
// from a real second process.
#include "toolbox/gui/App.h"
#include "toolbox/gui/SingleInstance.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> gOpened;
void openDocument(const char* path) {
    gOpened.push_back(path);
}

TEST(SingleInstance, PiecesReassembleIntoTheLine) {
    std::string line(450, 'a');
    for (std::size_t i = 0; i < line.size(); ++i)
        line[i] = char('a' + i % 26);
    std::vector<CommandPiece> pieces = SplitCommandLine(line);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].tag, 0xFEED0001u);
    EXPECT_EQ(pieces[1].tag, 0xFEED0000u);
    EXPECT_EQ(pieces[2].tag, 0xFEED0002u);
    EXPECT_EQ(pieces[2].text.size(), 50u); // after two of 200
    EXPECT_EQ(SplitCommandLine(std::string(200, 'x')).front().tag, 0xFEED0003u);
    EXPECT_EQ(SplitCommandLine(std::string(400, 'x')).size(), 2u);

    CommandLineAssembler assembler;
    std::string out;
    EXPECT_FALSE(assembler.add(kPieceMiddle, "stale", &out)); // dropped when a first piece comes
    for (std::size_t i = 0; i < pieces.size(); ++i)
        EXPECT_EQ(assembler.add(pieces[i].tag, pieces[i].text, &out), i == 2);
    EXPECT_EQ(out, line);
    EXPECT_TRUE(assembler.add(kPieceWhole, "prog x", &out));
    EXPECT_EQ(out, "prog x");
    EXPECT_FALSE(assembler.add(0x12340003, "not ours", &out));
}

TEST(SingleInstance, ParsingQuotesProgramWordAndPrintSwitch) {
    const std::string y = QDir::current().absoluteFilePath("y").toStdString(); // a full path
    EXPECT_EQ(
        ParseCommandLine("\"/opt/my app/prog\"  /a/one.qpk \"/b/two words.qpk\" -P /c/x.qpk  y"),
        (std::vector<AppRequest>{{AppRequest::openDocument, "/a/one.qpk"},
                                 {AppRequest::openDocument, "/b/two words.qpk"},
                                 {AppRequest::printDocument, "/c/x.qpk"},
                                 {AppRequest::printDocument, y}}));
    EXPECT_TRUE(ParseCommandLine("prog").empty());
    EXPECT_TRUE(ParseCommandLine("").empty());

    EXPECT_EQ(BuildCommandLine({"prog", "/a b/c.qpk", "-p", "/d.qpk"}),
              "prog \"/a b/c.qpk\" -p /d.qpk");
}

TEST(SingleInstance, OpenDocumentRequestReplacesPendingOpenApplication) {
    ReleaseSingleInstanceGuard(); // an empty queue
    QueueAppRequest({AppRequest::openApplication, {}});
    QueueCommandLine("prog -p /x.qpk");
    ASSERT_EQ(PendingAppRequests().size(), 2u); // a print request leaves it
    QueueCommandLine("prog /a.qpk /b.qpk");
    ASSERT_EQ(PendingAppRequests().size(), 3u);
    EXPECT_EQ(PendingAppRequests()[0].kind, AppRequest::printDocument);
    EXPECT_EQ(PendingAppRequests()[2].path, "/b.qpk");

    gOpened.clear();
    OpenDocumentHandler old = SetOpenDocumentHandler(openDocument);
    DeliverAppRequests();
    EXPECT_TRUE(PendingAppRequests().empty());
    ProcessPendingEvents();
    EXPECT_EQ(gOpened, (std::vector<std::string>{"/a.qpk", "/b.qpk"})); // print dropped
    SetOpenDocumentHandler(old);
}

TEST(SingleInstance, SecondProcessHandsItsCommandLineOverAndExitsWithOne) {
    const QByteArray guardName =
        "ok-test-guard-" + QByteArray::number(QCoreApplication::applicationPid());
    qputenv(kGuardNameVariable, guardName);
    ASSERT_TRUE(RunSingleInstanceGuard("Ortix-Kelvane MUTEX", {"ortix-kelvane"}));
    EXPECT_EQ(SingleInstanceGuardName(), guardName.toStdString());

    std::vector<CommandPiece> received;
    SetCommandPieceObserver([&](std::uint32_t tag, std::string_view text) {
        received.push_back({tag, std::string(text)});
    });
    gOpened.clear();
    OpenDocumentHandler old = SetOpenDocumentHandler(openDocument);

    // A 450-character command line: the program, two documents (one with blanks), then "-p"
    // and a print request; the filler path makes the length exact.
    const QString helper = QCoreApplication::applicationDirPath() + "/single_instance_helper";
    QStringList args = {"/tmp/with blanks/first.qpk", "/F", "-p", "/tmp/printed.qpk"};
    const int fixed = int(BuildCommandLine(QStringList{helper} + args).size()) - 2;
    const QString filler = "/tmp/" + QString(450 - fixed - 9, 'f') + ".qpk";
    args[1] = filler;
    const std::string line = BuildCommandLine(QStringList{helper} + args);
    ASSERT_EQ(line.size(), 450u);

    // Until both documents have come and the second process has ended; a hung handover fails
    // the test after 20 seconds instead of blocking it.
    QProcess second;
    QEventLoop loop;
    const QDeadlineTimer limit(20000);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if ((gOpened.size() >= 2 && second.state() == QProcess::NotRunning) || limit.hasExpired())
            loop.quit();
    });
    poll.start(10);
    second.start(helper, args);
    loop.exec();

    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 1);
    ASSERT_EQ(received.size(), 3u); // as the pieces test above cuts them
    EXPECT_EQ(received[2].tag, kPieceLast);
    EXPECT_EQ(received[0].text + received[1].text + received[2].text, line);
    EXPECT_EQ(gOpened,
              (std::vector<std::string>{"/tmp/with blanks/first.qpk", filler.toStdString()}));

    SetCommandPieceObserver(nullptr);
    SetOpenDocumentHandler(old);
    ReleaseSingleInstanceGuard();
    qunsetenv(kGuardNameVariable);

    // With the guard released, the next start is the first instance again.
    QProcess alone;
    qputenv(kGuardNameVariable, guardName);
    alone.start(helper, {});
    ASSERT_TRUE(alone.waitForFinished(20000));
    EXPECT_EQ(alone.exitCode(), 0);
    qunsetenv(kGuardNameVariable);
}

} // namespace
