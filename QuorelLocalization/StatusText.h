#pragma once

#include <QString>

#include <cstdint>

namespace quorel {

// A status or a four-character selector as text, for the messages that name one: the four
// characters between apostrophes when all four bytes are printable ASCII; a negative error number
// as the sound server and the kernel give them (-1 to -4095) signed, with the system's words for
// it where it has some ("-110 (Connection timed out)"); else the unsigned decimal value.
QString statusText(uint32_t value);
QString statusText(int32_t value);

}  // namespace quorel
