// The IPv4 address box: a dialog control that holds either nothing or four numbers 0 to 255.
// The add dialog's mask and every address field of the properties dialog are such boxes; their
// text rules live here so each view only shows what these functions say.
#pragma once

#include <string>
#include <string_view>

namespace nicops::ipops {

// What the box reads after being set from `text`: surrounding white space (CR and LF included)
// dropped; split at the first three "." into four parts (the fourth is the whole rest); each
// part's leading decimal number after its own white space is dropped (0 when it has none); with
// three dots and every number 0 to 255 the four numbers joined by "." ("010.1.1.1x" reads
// "10.1.1.1"), otherwise "" (blank).
std::string ipv4BoxText(std::string_view text);

}  // namespace nicops::ipops
