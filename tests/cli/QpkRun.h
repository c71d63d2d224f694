// qpk run as a program from a test with its own scratch folder: its exit code and what it wrote
// to standard output and standard error.
#pragma once
#include "tests/support/Files.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>

namespace {

struct QpkRun {
    int status;
    std::string out, err;
};

struct QpkTest : test_support::ScratchTest {
    // shellFirst: shell commands run before qpk, in the same shell (limits, signals).
    QpkRun qpk(const std::string& args, const std::string& shellFirst = "") {
        const std::string cmd =
            shellFirst + std::string(QPK_PATH) + " " + args + " >" + dir + "/out 2>" + dir + "/err";
        const int rc = std::system(cmd.c_str());
        return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, test_support::readText(dir + "/out"),
                test_support::readText(dir + "/err")};
    }
    // qpk run with its exit code checked.
    QpkRun run(const std::string& args, int status) {
        QpkRun r = qpk(args);
        EXPECT_EQ(r.status, status) << args << ": " << r.err;
        return r;
    }
};

} // namespace
