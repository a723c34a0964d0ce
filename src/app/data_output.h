// Standard output for a program's data. A script must never take a cut-off answer for the
// whole one, so every failed write — a full disk, a closed stdout, a reader that went away — is
// noticed and the program ends with an error instead of 0.
#pragma once

#include <string>
#include <string_view>

namespace nicops::app {

class DataOutput {
public:
    // Ignores SIGPIPE, so a reader that went away shows as a write error (EPIPE) rather than
    // ending the process unnoticed, and holds closed standard descriptors open on /dev/null so
    // that no file or socket opened later takes their number. Data for a closed stdout then
    // fails with EBADF. On Windows it puts the standard streams in binary mode, so they carry
    // the same bytes as on Linux (LF line ends). Construct once, first thing in main.
    // `program` names the program in the message of a failed write.
    explicit DataOutput(const char* program);

    // Writes all of `data` to stdout; false when it couldn't (then and after).
    bool write(std::string_view data);

    // Why the output failed: "cannot write the output (REASON)".
    std::string error() const;

    // Writes `data` and gives the exit status it earns: 0 when all of it reached
    // stdout, else 1 with "PROGRAM: cannot write the output (REASON)" on stderr.
    int writeStatus(std::string_view data);

private:
    const char* program_;
    bool stdoutClosed_ = false;
    int errno_ = 0;  // of the first failed write
};

}  // namespace nicops::app
