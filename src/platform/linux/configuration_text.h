// Text as every part of the Linux adapter configuration reads and shows it: the lines of a
// program's output or of a small host file, trimmed; an errno, a link's name and an undone change
// as its messages show them (GBK).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/rtnl_records.h"

namespace nicops::platform::linux_host {

// Without blanks, tabs, CR and LF at either end.
std::string trimmed(std::string_view text);
// The lines of a text, without their '\n'; a last line without '\n' counts.
std::vector<std::string> linesOf(std::string_view text);
// A regular file of at most 1 MiB; nullopt when it can't be read.
std::optional<std::string> readTextFile(const std::string& path);
// strerror's text, converted from the terminal's encoding.
std::string errnoText(int error);
// The link's name on one line.
std::string linkText(const LinkRecord& link);
// The problem of a change that was undone: the failure, then that the settings from before are
// back or, when `undoFailure` says why not, that putting them back failed.
std::string afterUndo(const std::string& failure, const std::string& undoFailure);

}  // namespace nicops::platform::linux_host
